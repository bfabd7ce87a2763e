// Before a file of a KE is touched, the run makes sure it talks to the right
// device in the right state: the printer answers and may be read, the KE is
// present and tells its identity, the KE belongs to that printer's fiscal
// memory, and its Directory can be read.
#include <cstring>
#include <string>

#include "archive/archmessages.h"
#include "archive/archrun.h"
#include "devices/controlbytes.h"
#include "platform/numtext.h"

namespace {

// The presence loop: one listen with the request and at most 20 without.
constexpr int kSilentListens = 20;

void Fail(JobRun &run, const std::string &label, const std::string &text, ExitCode code) {
  run.errorLog.Log("<" + label + "> " + text);
  SetExitCode(run, code);
  run.failed = true;
}

void CheckPrinter(JobRun &run) {
  ArchiveJob &job = run.job;
  DrukarkaClass &printer = *run.printer;
  const std::string label = PrinterLabel(job);
  int8_t statusByte = -1;
  bool answered = false;
  for (int printerSpeed = 9600; printerSpeed <= 38400; printerSpeed *= 2) {
    printer.SetPort(job.printerPort->comNumber, printerSpeed);
    printer.Open();
    statusByte = printer.QueryStatus();
    if (statusByte > 0) {
      answered = true;
      break;
    }
    printer.Close();
  }
  if (!answered) {
    Fail(run, label, msg::kNoPrinterReply, ExitCode::kCheckFailed);
    return;
  }
  if (!run.failed) {
    if (!Has(static_cast<uint8_t>(statusByte), PrinterStatus::kFiscalMode)) {
      run.errorLog.Log("<" + label + "> " + msg::kPrinterInTraining);
      SetExitCode(run, ExitCode::kTrainingMode);
    }
    if (Has(static_cast<uint8_t>(statusByte), PrinterStatus::kInTransaction))
      Fail(run, label, msg::kPrinterInTransaction, ExitCode::kCheckFailed);
  }
  if (!run.failed) {
    run.fiscalNumberPrinter = printer.ReadUniqueNumber();
    if (run.fiscalNumberPrinter.size() < 11)
      Fail(run, label, msg::kPrinterFiscalIdUnread, ExitCode::kCheckFailed);
  }
  if (!job.viaPrinter)
    printer.Close();
}

void CheckIdentity(JobRun &run, const std::string &label) {
  VemoraCopyClass &copy = *run.copy;
  const std::string *identity = copy.ReadIdentity(run.response, true);
  for (int listens = 0;; ++listens) {
    const std::string &raw = identity[0];
    if (!raw.empty() && static_cast<uint8_t>(raw[0]) == kSub) {
      Fail(run, label, run.serialNumber + msg::kKeAbsentOrBusy, ExitCode::kKeUnavailable);
      return;
    }
    if (!raw.empty() || listens == kSilentListens)
      break;
    identity = copy.ReadIdentity(run.response, false);
  }

  // The presence loop only shows that the KE answers: a reply that came after
  // several empty listens may be the late part of one (a module that was
  // waking up). The numbers are read from the reply to a fresh request.
  identity = copy.ReadIdentity(run.response, true);
  run.serialNumber = identity[1];
  // The serial number names the KE's directory: one that could escape the
  // archive root or is no valid file name counts as unreadable.
  if (run.serialNumber.size() < 6 || !IsSafeComponent(run.serialNumber))
    Fail(run, label, Printable(run.serialNumber) + msg::kKeSerialUnread, ExitCode::kCheckFailed);
  run.fiscalNumberCopy = identity[2];
  if (run.fiscalNumberCopy.size() < 6)
    Fail(run, label, Printable(run.fiscalNumberCopy) + msg::kKeFiscalIdUnread, ExitCode::kCheckFailed);
  if (run.job.printerPort == nullptr)
    run.fiscalNumberPrinter = run.fiscalNumberCopy;
}

} // namespace

void RunChecks(JobRun &run) {
  ArchiveJob &job = run.job;
  if (job.printerPort != nullptr)
    CheckPrinter(run);

  const std::string label = CopyLabel(job);
  VemoraCopyClass &copy = *run.copy;
  if (job.viaPrinter && job.printerPort != nullptr) {
    copy.port.ShareHandle(run.printer->port);
    run.printer->EnterRelay();
  }
  if (!run.failed && !copy.EnsureOpen() && !copy.portName.empty()) {
    // A port that cannot be had is said at once, not after the identity
    // requests have gone unanswered.
    const plat::OpenFailure why = copy.port.OpenFailure();
    const char *reason = why == plat::OpenFailure::kBusy     ? msg::kPortBusy
                         : why == plat::OpenFailure::kDenied ? msg::kPortDenied
                                                             : msg::kPortMissing;
    Fail(run, label, msg::kPortOpen + copy.portName + reason, ExitCode::kKeUnavailable);
    return;
  }

  if (!run.failed)
    CheckIdentity(run, label);
  copy.Close();

  if (!run.failed && run.fiscalNumberCopy != run.fiscalNumberPrinter)
    Fail(run, label,
         std::string(msg::kFiscalIdMismatch) + Printable(run.fiscalNumberCopy) + msg::kMismatchPrinterPart +
             Printable(run.fiscalNumberPrinter),
         ExitCode::kFiscalMemoryMismatch);

  if (!run.failed) {
    copy.EnsureOpen();
    run.response.Clear();
    if (!copy.ReadDirectory(run.response))
      Fail(run, label, Printable(run.fiscalNumberCopy) + msg::kDirectoryUnread, ExitCode::kCheckFailed);
    else
      SplitDirectory(run.response, run.directoryLines);
    copy.Close();
  }
}
