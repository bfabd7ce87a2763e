// The command line: mode selection and the values handed to the modes.
#include "app/modes.h"

#include <cstdint>
#include <string>

#include "platform/numtext.h"
#include "platform/text.h"

namespace {

// Argument n as typed; a missing argument is an empty text.
std::string Arg(int argc, const char *const *argv, int n) {
  if (argv == nullptr || n >= argc || argv[n] == nullptr) return std::string();
  return std::string(argv[n]);
}

bool BeginsWith(const std::string &upper, const char *keyword) {
  return upper.find(keyword) == 0;
}

bool Contains(const std::string &upper, const char *keyword) {
  return upper.find(keyword) != std::string::npos;
}

// The decimal number after the first "COM" of an upper-cased argument (blanks,
// one sign and leading zeros skipped; no digits give 0), read in 64 bits; the
// low 32 bits are kept.
int32_t PortNumberAfterCom(const std::string &upper) {
  const int64_t value = DecimalAfter(upper, "COM");
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void ReadReportOptions(int argc, const char *const *argv, ReportOptions &report) {
  report.reportPath = Arg(argc, argv, 2);
  const std::string options = plat::AnsiUpper(Arg(argc, argv, 3));
  // Each negative keyword contains its positive one, so it is tested first.
  if (Contains(options, "NALL")) {
    report.allDevices = false;
  } else {
    report.allDevices = Contains(options, "ALL");
  }
  if (Contains(options, "NFILTER")) {
    report.vendorFilter = false;
  } else {
    report.vendorFilter = Contains(options, "FILTER");
  }
  // "COM" switches serialOnly on, which it already is when neither is given.
  report.serialOnly = !Contains(options, "NCOM");
}

void ReadArchiveOptions(int argc, const char *const *argv, ArchiveOptions &archive) {
  const std::string windowPrefix = std::string(kWindowKeyword) + "=";
  archive.targetPath = Arg(argc, argv, 1);
  for (int n = 2;; ++n) {
    const std::string arg = Arg(argc, argv, n);
    if (arg.empty()) break;
    const std::string upper = plat::AnsiUpper(arg);
    if (Contains(upper, "DR")) {
      archive.viaPrinter = true;
    } else if (Contains(upper, "COM")) {
      const int32_t port = PortNumberAfterCom(upper);
      if (!archive.comSeen) {
        archive.firstPort = port;
        archive.comSeen = true;
      }
      archive.lastPort = port;
    } else if (BeginsWith(upper, windowPrefix.c_str())) {
      archive.windowGiven = true;
      archive.printerWindow = arg.substr(windowPrefix.size());
    }
  }
}

} // namespace

CommandLine ParseCommandLine(int argc, const char *const *argv) {
  CommandLine result;
  const std::string first = plat::AnsiUpper(Arg(argc, argv, 1));
  if (BeginsWith(first, "LIST")) {
    result.mode = RunMode::Report;
    ReadReportOptions(argc, argv, result.report);
  } else if (BeginsWith(first, "HELP") || BeginsWith(first, "?") || first == "--HELP" || first == "-H" ||
             first == "/?") {
    result.mode = RunMode::Help;
  } else if (first == "--VERSION") {
    result.mode = RunMode::Version;
  } else if (BeginsWith(first, "VERIFY")) {
    result.mode = RunMode::Verify;
    result.verify.targetPath = Arg(argc, argv, 2);
    // The third word is FIX in any letter case, or a usage error.
    const std::string word = Arg(argc, argv, 3);
    result.verify.fix = plat::AnsiUpper(word) == "FIX";
    if (!word.empty() && !result.verify.fix)
      result.verify.unknownWord = word;
  } else if (BeginsWith(first, "AUDIT")) {
    // Words after the report file are ignored.
    result.mode = RunMode::Audit;
    result.audit.targetPath = Arg(argc, argv, 2);
    result.audit.reportPath = Arg(argc, argv, 3);
  } else {
    result.mode = RunMode::Archive;
    ReadArchiveOptions(argc, argv, result.archive);
  }
  return result;
}
