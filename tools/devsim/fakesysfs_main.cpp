// devsim-sysfs: builds the fake sysfs tree and device root of the usual test
// set-up, so that the Linux zarvik finds simulated devices.
//
//   devsim-sysfs [--serial-base] SYSROOT DEVROOT [TARGET ...]
//
// --serial-base builds the layout of kernels from 6.5 on, where each ttyS
// port hangs below a serial-base controller and port.
// The TARGETs are the tty node targets in the order of StandardFakeDevices
// (fakesysfs.h): printer channel ttyUSB0 (com33), KE channel ttyUSB1 (com34),
// KE module ttyUSB2 (com35), adapter ttyUSB3 (com36), printer port ttyS4
// (com5). A TARGET of "-" leaves that node out. Run zarvik with
// ZARVIK_SYSFS_ROOT=SYSROOT and ZARVIK_DEV_ROOT=DEVROOT.
#include <cstdio>
#include <string>
#include <vector>

#include "fakesysfs.h"

int main(int argc, char **argv) {
  const bool serialBase = argc > 1 && std::string(argv[1]) == "--serial-base";
  if (serialBase) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: devsim-sysfs [--serial-base] SYSROOT DEVROOT [TARGET ...]\n");
    return 2;
  }
  std::vector<std::string> targets;
  for (int i = 3; i < argc; ++i)
    targets.push_back(std::string(argv[i]) == "-" ? std::string() : std::string(argv[i]));
  std::string error;
  if (!devsim::BuildFakeSysfs(argv[1], argv[2], devsim::StandardFakeDevices(targets), &error,
                              serialBase ? devsim::SysfsLayout::kSerialBase : devsim::SysfsLayout::kClassic)) {
    std::fprintf(stderr, "devsim-sysfs: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
