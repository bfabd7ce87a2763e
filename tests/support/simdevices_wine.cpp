// SimDevices in the Windows build: the native simulator runs beside Wine;
// scripts/wine-with-devsim passes the COM numbers and recording files.
#include <cstdlib>

#include "base/testdir.h"
#include "support/simdevices.h"

namespace {

std::string EnvName(const char *prefix, const std::string &name) {
  std::string out = prefix;
  for (char c : name) {
    if (c >= 'a' && c <= 'z')
      out += static_cast<char>(c - 'a' + 'A');
    else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      out += c;
    else
      out += '_';
  }
  return out;
}

} // namespace

bool SimDevices::UnderWine() { return true; }

SimDevices::SimDevices() {
  if (std::getenv("ZARVIK_SIM_ACTIVE") == nullptr)
    error = "no simulator: run this program through scripts/wine-with-devsim";
}

int SimDevices::Com(const std::string &name) const {
  const char *value = std::getenv(EnvName("ZARVIK_SIM_COM_", name).c_str());
  return value ? std::atoi(value) : 0;
}

std::string SimDevices::Received(const std::string &name) const {
  const char *path = std::getenv(EnvName("ZARVIK_SIM_REC_", name).c_str());
  return path ? ReadAll(path) : std::string();
}
