// The waiting helpers of SimDevices, shared by both builds: they look at the
// recording every few milliseconds (sleeping in between).
#include <chrono>
#include <thread>

#include "support/simdevices.h"

namespace {

// Looks at the recording of line name until done says so or time runs out.
template <class Done> bool WaitFor(const SimDevices &sim, const std::string &name, int timeoutMs, Done done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done(sim.Received(name)))
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

} // namespace

SimDevices &SimDevices::Get() {
  static SimDevices devices;
  return devices;
}

bool SimDevices::WaitReceived(const std::string &name, size_t count, int timeoutMs) const {
  return WaitFor(*this, name, timeoutMs, [&](const std::string &got) { return got.size() >= count; });
}

bool SimDevices::WaitReceivedContains(const std::string &name, const std::string &needle, size_t from,
                                      int timeoutMs) const {
  return WaitFor(*this, name, timeoutMs, [&](const std::string &got) {
    return from <= got.size() && got.find(needle, from) != std::string::npos;
  });
}

std::string SimDevices::Port(const std::string &name) const { return "com" + std::to_string(Com(name)); }
