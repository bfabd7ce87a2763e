// A serial port held open by another process, for tests of exclusive use.
#pragma once

#include <cstdint>
#include <string>

class PortHolder {
public:
  PortHolder() = default;
  ~PortHolder() { Stop(); }
  PortHolder(const PortHolder &) = delete;
  PortHolder &operator=(const PortHolder &) = delete;

  // Starts a process that opens port (with FastCom) and keeps it open. True
  // once that process reports the port open.
  bool Start(const std::string &port);
  // Ends the process; its handle goes with it.
  void Stop();

private:
  intptr_t process = 0;
  int channel = -1;
};
