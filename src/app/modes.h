// The run modes the entry point hands over to, and the values it read from
// the command line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "archive/exitcode.h"

struct ReportOptions {
  std::string reportPath;  // may be empty: the platform default
  bool allDevices = false;
  bool vendorFilter = false;
  bool serialOnly = true;
};

struct ArchiveOptions {
  std::string targetPath;  // as typed, may be empty
  bool viaPrinter = false;
  int32_t firstPort = 1;
  int32_t lastPort = 255;
  bool comSeen = false;
  // OKNO=HH:MM-HH:MM: the printer window given on the command line (an
  // installed task has no environment of its own); it holds over the
  // variable. windowGiven with any text, even an empty one.
  bool windowGiven = false;
  std::string printerWindow;
};

// The command-line keyword of the printer window (it holds neither of the
// letters the parser looks for in an argument: DR, COM).
constexpr const char *kWindowKeyword = "OKNO";

struct VerifyOptions {
  std::string targetPath;  // as typed, may be empty
  bool fix = false;        // move damaged files aside, add missing checksum lines
  std::string unknownWord; // a third word that is not FIX: a usage error
};

struct AuditOptions {
  std::string targetPath;  // as typed, may be empty
  std::string reportPath;  // the HTML report; empty: a usage error
};

enum class RunMode { Help, Version, Report, Archive, Verify, Audit };

struct CommandLine {
  RunMode mode = RunMode::Archive;
  ReportOptions report;
  ArchiveOptions archive;
  VerifyOptions verify;
  AuditOptions audit;
};

// Reads the command line (argv[0] is the program's name).
CommandLine ParseCommandLine(int argc, const char *const *argv);

// Help mode: prints the usage text, waits for Enter (or the end of input).
ExitCode RunHelpMode();
// Prints one line, the program's name and version; returns kDone.
ExitCode RunVersionMode();
// Device report mode; returns the process exit code.
ExitCode RunReportMode(const ReportOptions &options);
// Archive mode; returns the process exit code.
ExitCode RunArchiveMode(const ArchiveOptions &options);
// Checks an archive against its SHA256SUMS lists; returns kDone,
// kArchiveProblem when a problem was found, or kUsage (nothing done)
// when the third word is not FIX.
ExitCode RunVerifyMode(const VerifyOptions &options);
// Writes the archive's account (HTML, and JSON beside it); returns kDone,
// kArchiveProblem when the archive has a problem, kReportNotWritten, or
// kUsage (nothing done) when no report file is named.
ExitCode RunAuditMode(const AuditOptions &options);
// The JSON report's path beside the HTML one: its extension made ".json".
std::string JsonReportPath(const std::string &htmlPath);
// The discovery failure report: console text, the error file; returns
// kDiscoveryFailed.
ExitCode DiscoveryFailureReport(const char *errorText);
// Prints the usage text.
void PrintUsage();
