// Entry point of zarvik: reads the command line and runs one mode.
#include <exception>
#include <string>

#include "app/modes.h"
#include "archive/archmessages.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {

ExitCode RunOneMode(const CommandLine &commandLine) {
  switch (commandLine.mode) {
  case RunMode::Help:
    return RunHelpMode();
  case RunMode::Version:
    return RunVersionMode();
  case RunMode::Report:
    return RunReportMode(commandLine.report);
  case RunMode::Archive:
    return RunArchiveMode(commandLine.archive);
  case RunMode::Verify:
    return RunVerifyMode(commandLine.verify);
  case RunMode::Audit:
    return RunAuditMode(commandLine.audit);
  }
  return ExitCode::kDone;
}

// The code of a mode that an error of the program itself ended: what the
// mode says when it could not finish its work.
ExitCode AbortedCode(RunMode mode) {
  switch (mode) {
  case RunMode::Verify:
  case RunMode::Audit:
    return ExitCode::kArchiveProblem;
  case RunMode::Report:
    return ExitCode::kReportNotWritten;
  default:
    return ExitCode::kFilesNotArchived;
  }
}

} // namespace

int main(int argc, char **argv) {
  plat::ConsoleStart();
  plat::RequestFineTimer();
  RunMode mode = RunMode::Archive;
  // Whatever escapes a mode (memory exhausted, a library's error) ends the
  // program with that mode's documented code and one line, never an abort.
  try {
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    mode = commandLine.mode;
    return ExitNumber(RunOneMode(commandLine));
  } catch (const std::exception &error) {
    plat::ConsoleWrite(std::string(msg::kJobAborted) + error.what() + "\r\n");
  } catch (...) {
    plat::ConsoleWrite(std::string(msg::kJobAborted) + "?\r\n");
  }
  return ExitNumber(AbortedCode(mode));
}
