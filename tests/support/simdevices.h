// The simulated devices of a test program, the same way natively and under
// Wine.
//
// A test program added with zarvik_add_devsim_test has one scenario (see
// tools/devsim/devsim.h). Natively the simulator runs inside the test
// program, started at the first use of SimDevices::Get(), with
// ZARVIK_DEV_ROOT pointing at its device root. In the Windows build the
// native devsim program runs beside the Wine process (scripts/wine-with-devsim),
// the devices are reached through <WINEPREFIX>/dosdevices/com<n> links, and
// this helper reads the environment and the recording files the driver
// passes (ZARVIK_SIM_COM_<NAME>, ZARVIK_SIM_REC_<NAME>; NAME upper case with
// every other character than letters and digits as '_').
#pragma once

#include <cstddef>
#include <string>

class SimDevices {
public:
  // The devices of this program's scenario, started at the first call.
  static SimDevices &Get();

  // False (with Error()) when the simulator could not be started or reached.
  bool Ok() const { return error.empty(); }
  const std::string &Error() const { return error; }
  // True in the Windows build (the devices live in another process).
  static bool UnderWine();

  // COM number of the device line name; 0 when there is no such line.
  int Com(const std::string &name) const;
  // "com<n>" of the device line name.
  std::string Port(const std::string &name) const;

  // Everything the device line name has received so far.
  std::string Received(const std::string &name) const;
  size_t ReceivedCount(const std::string &name) const { return Received(name).size(); }
  // Waits until at least count bytes have been received in total.
  bool WaitReceived(const std::string &name, size_t count, int timeoutMs) const;
  // Waits until needle occurs in the recording at or after offset from.
  bool WaitReceivedContains(const std::string &name, const std::string &needle, size_t from,
                            int timeoutMs) const;

private:
  SimDevices();
  std::string error;
};
