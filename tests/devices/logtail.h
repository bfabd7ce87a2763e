// The printer's log lines written during one test: error_log.txt in the
// default log directory (or its fallback), read from where it ended when the
// test began. Natively HOME points at a directory of the test program's own,
// so the lines land in $HOME/vemora_log and not in the user's.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/testdir.h"
#include "platform/files.h"

class LogTail {
public:
  LogTail() {
    for (int i = 0; i < 2; ++i)
      start[i] = Size(Path(i));
  }
  // The bytes appended since construction.
  std::string Text() const {
    std::string out;
    for (int i = 0; i < 2; ++i) {
      const std::string all = ReadAll(Path(i));
      if (all.size() > start[i])
        out += all.substr(start[i]);
    }
    return out;
  }

private:
  static std::string Path(int which) {
    std::string dir = plat::DefaultLogDirectory();
    if (which == 1)
      dir = plat::FallbackLogDirectory(dir);
    return dir + plat::PathSeparator() + "error_log.txt";
  }
  static size_t Size(const std::string &path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<size_t>(size);
  }
  size_t start[2];
};

// Natively: a fresh HOME for the program, removed at its end.
class PrivateHome : public ::testing::Environment {
public:
  void SetUp() override {
#ifndef _WIN32
    dir = std::filesystem::temp_directory_path() / ("zarvik-proto-home-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ::setenv("HOME", dir.c_str(), 1);
#endif
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty())
      std::filesystem::remove_all(dir, ignored);
  }

private:
  std::filesystem::path dir;
};
