// Shared set-up of the protocol tests: a device simulator whose root the
// program's ports resolve to, and a private HOME so that the printer's log
// lines land in a log directory of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "devsim.h"

class SimTest : public ::testing::Test {
protected:
  void SetUp() override {
    sim = std::make_unique<devsim::Simulator>();
    ::setenv("ZARVIK_DEV_ROOT", sim->DeviceRoot().c_str(), 1);
    home = std::filesystem::temp_directory_path() /
           ("proto-home-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
  }
  void TearDown() override {
    sim->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }

  // The printer's log file error_log.txt in $HOME/vemora_log.
  std::string PrinterLog() const {
    std::ifstream in(home / "vemora_log" / "error_log.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<devsim::Simulator> sim;
  std::filesystem::path home;
  static inline int counter = 0;
};

// Milliseconds taken by f().
template <class F> long long TimedMs(F &&f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}

inline std::string Hex(const std::string &bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty())
      out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}
