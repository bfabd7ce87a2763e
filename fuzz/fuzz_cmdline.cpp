// Command lines of any bytes through the mode selection and the option
// reading. The input is cut into arguments at NUL bytes (argument 0 is the
// program's name). Beyond crashes and undefined behaviour the target checks
// what the reading promises: the archive values come from the arguments as
// typed, the port range only from an argument holding "COM" and the printer
// window only from one that begins with OKNO= in any letter case; VERIFY's
// target is argument 2 as typed and FIX comes from argument 3 alone; AUDIT's
// target and report are arguments 2 and 3 as typed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/modes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 4096)
    return 0;
  std::vector<std::string> args{"zarvik"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  args.push_back(current);
  std::vector<const char *> argv;
  for (const std::string &arg : args)
    argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), argv.data());
  if (line.mode == RunMode::Archive) {
    if (line.archive.targetPath != args[1])
      std::abort();
    if (!line.archive.comSeen && (line.archive.firstPort != 1 || line.archive.lastPort != 255))
      std::abort();
    bool windowTyped = !line.archive.windowGiven;
    for (size_t n = 2; n < args.size() && !windowTyped; ++n) {
      const std::string &arg = args[n];
      windowTyped = arg.size() >= 5 && (arg[0] | 0x20) == 'o' && (arg[1] | 0x20) == 'k' && (arg[2] | 0x20) == 'n' &&
                    (arg[3] | 0x20) == 'o' && arg[4] == '=' && arg.substr(5) == line.archive.printerWindow;
    }
    if (!windowTyped)
      std::abort();
  } else if (line.mode == RunMode::Report) {
    const std::string expected = args.size() > 2 ? args[2] : std::string();
    if (line.report.reportPath != expected)
      std::abort();
  } else if (line.mode == RunMode::Verify) {
    // The target as typed; FIX is read from argument 3 alone.
    if (line.verify.targetPath != (args.size() > 2 ? args[2] : std::string()))
      std::abort();
    if (line.verify.fix && (args.size() < 4 || args[3].size() < 3))
      std::abort();
  } else if (line.mode == RunMode::Audit) {
    if (line.audit.targetPath != (args.size() > 2 ? args[2] : std::string()) ||
        line.audit.reportPath != (args.size() > 3 ? args[3] : std::string()))
      std::abort();
  } else if (line.mode != RunMode::Help && line.mode != RunMode::Version) {
    std::abort();
  }
  return 0;
}
