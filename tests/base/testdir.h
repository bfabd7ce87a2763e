// A fresh directory under the system's temporary directory, removed at the
// end of the test, and small file helpers for the foundation tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/files.h"

class TestDir {
public:
  TestDir() {
    std::random_device seed;
    auto base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
      auto candidate = base / ("zarvik_base_" + std::to_string(seed()));
      if (std::filesystem::create_directory(candidate)) {
        root = candidate.string();
        return;
      }
    }
    throw std::runtime_error("no test directory");
  }
  ~TestDir() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  // The root joined with a name by the platform's separator.
  std::string Path(const std::string &name) const { return root + plat::PathSeparator() + name; }
  std::string operator/(const std::string &name) const { return Path(name); }

  std::string root;
};

inline std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool WriteAll(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::string &value) : name(name), wasSet(std::getenv(name) != nullptr) {
    old = wasSet ? std::getenv(name) : "";
    Set(value.c_str());
  }
  ~ScopedEnv() { Set(wasSet ? old.c_str() : nullptr); }

private:
  void Set(const char *value) { // null removes it
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
#endif
  }
  const char *name;
  bool wasSet;
  std::string old;
};
