// Entry point of zarvik: reads the command line and runs one mode.
#include "app/modes.h"
#include "platform/clock.h"
#include "platform/console.h"

int main(int argc, char **argv) {
  plat::ConsoleStart();
  plat::RequestFineTimer();
  const CommandLine commandLine = ParseCommandLine(argc, argv);
  switch (commandLine.mode) {
  case RunMode::Help:
    return ExitNumber(RunHelpMode());
  case RunMode::Version:
    return ExitNumber(RunVersionMode());
  case RunMode::Report:
    return ExitNumber(RunReportMode(commandLine.report));
  case RunMode::Archive:
    return ExitNumber(RunArchiveMode(commandLine.archive));
  case RunMode::Verify:
    return ExitNumber(RunVerifyMode(commandLine.verify));
  case RunMode::Audit:
    return ExitNumber(RunAuditMode(commandLine.audit));
  }
  return ExitNumber(ExitCode::kDone);
}
