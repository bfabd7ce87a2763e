// The waiting helpers of SimDevices, shared by both builds: they look at the
// recording every few milliseconds (sleeping in between).
#include <chrono>
#include <thread>

#include "support/simdevices.h"

bool SimDevices::WaitReceived(const std::string &name, size_t count, int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Received(name).size() >= count)
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool SimDevices::WaitReceivedContains(const std::string &name, const std::string &needle, size_t from,
                                      int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::string got = Received(name);
    if (from <= got.size() && got.find(needle, from) != std::string::npos)
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string SimDevices::Port(const std::string &name) const { return "com" + std::to_string(Com(name)); }
