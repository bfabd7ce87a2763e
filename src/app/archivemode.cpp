// Archive mode: the archive root, one discovery walk, one job per usable port
// or port pair, the workers, and the wait for all of them.
#include <memory>
#include <vector>

#include "app/modes.h"
#include "archive/archmessages.h"
#include "archive/archrun.h"
#include "archive/archthread.h"
#include "archive/drwindow.h"
#include "archive/runcontext.h"
#include "base/filelog.h"
#include "base/bytebuffer.h"
#include "base/logging.h"
#include "discovery/usbclass.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/stop.h"

namespace {

// After a combined job's start the next port waits a second: a two-port
// device's printer and KE channels are two interfaces of one USB adapter,
// and the pause keeps that job's opens and its printer's speed search from
// falling together with the next job's. It delays only the start of later
// jobs, never a transfer.
constexpr int kPairPauseMs = 1000;
// The main thread looks at its jobs' flags every 10 s until every job has
// finished. A job runs for seconds to hours and needs nothing from the main
// thread meanwhile, so it sleeps in long steps; the first look comes only
// after the first step, which is why every run lasts at least 10 s and its
// wall time comes in steps of 10 s. A stop from outside ends the step at
// once; the jobs then end within their loops' next pass, and the main thread
// looks for that in short steps.
constexpr int kWaitStepMs = 10000;
constexpr int kStoppedStepMs = 50;

constexpr const char *kWindowVariable = "ZARVIK_DR_WINDOW";
constexpr const char *kWindowUsage = "=GG:MM-GG:MM; b" ZV_l ZV_e "dna warto" ZV_s ZV_c ": ";

// The printer window of a scheduled run, when one is set.
struct PrinterHours {
  bool limited = false;
  std::string name;  // where it was set: the keyword or the variable
  std::string text;  // as set
  DrWindow window;
};

// A printer the window keeps this run away from: one line on the console
// and in the error log.
void SkipPrinter(RunContext &run, const VemoraPortsType &port, const PrinterHours &hours, int minute) {
  LoggingClass errorLog(run.archivePath.c_str(), "ERROR");
  errorLog.toConsole = true;
  errorLog.toFile = true;
  errorLog.Log("<" + port.portName + "> " + msg::kDrSkipped + hours.name + "=" + hours.text + msg::kDrSkippedStart +
               MinuteText(minute) + ").");
}

// Jobs point at the port records, so the discovery object of a run stays
// alive until the process ends.
std::vector<std::unique_ptr<UsbClass>> &Discoveries() {
  static auto *kept = new std::vector<std::unique_ptr<UsbClass>>;
  return *kept;
}

ArchiveJob *NewJob(RunContext &run, VemoraPortsType *printerPort, VemoraPortsType *copyPort, bool viaPrinter) {
  auto owned = std::make_unique<ArchiveJob>();
  ArchiveJob *job = owned.get();
  job->context = &run;
  job->printerPort = printerPort;
  job->copyPort = copyPort;
  job->viaPrinter = viaPrinter;
  job->record.kind = viaPrinter ? "printer" : printerPort != nullptr ? "combined" : "direct";
  job->record.printerPort = PrinterLabel(*job);
  job->record.kePort = CopyLabel(*job);
  run.jobs.push_back(std::move(owned));
  ArchThreadClass::Start(*job, RunJob);
  return job;
}

bool AllFinished(RunContext &run) {
  for (const auto &job : run.jobs) {
    if (job->running.load() || !job->finished.load())
      return false;
  }
  return true;
}

void RunJobs(RunContext &run, const ArchiveOptions &options, const PrinterHours &hours) {
  const plat::LocalTime started = plat::Now();
  const int minute = started.hour * 60 + started.minute;
  const bool printersAllowed = !hours.limited || DrWindowOpen(hours.window, minute);
  size_t skipped = 0;
  Discoveries().push_back(std::make_unique<UsbClass>());
  UsbClass &usb = *Discoveries().back();
  usb.allDevices = false;
  usb.vendorFilter = false;
  usb.serialOnly = true;
  usb.traceProperties = false;
  usb.SearchPorts();
  if (usb.errorFlag) {
    run.exitCode.store(DiscoveryFailureReport(usb.errorText.Text()));
    return;
  }
  usb.reportText.Clear();

  const size_t before = run.jobs.size();
  for (const auto &owned : usb.ports) {
    VemoraPortsType *port = owned.get();
    if (port == nullptr || port->comNumber < options.firstPort || port->comNumber > options.lastPort)
      continue;
    const DeviceModel code = port->deviceCode;
    if (!options.viaPrinter && code == DeviceModel::kTwoPortPrinter) {
      VemoraPortsType *partner = nullptr;
      for (const auto &other : usb.ports) {
        if (other->deviceCode == DeviceModel::kTwoPortKe && other->systemNumber == port->systemNumber) {
          partner = other.get();
          break;
        }
      }
      if (partner == nullptr) {
        run.exitCode.store(ExitCode::kKeUnavailable);
        continue;
      }
      NewJob(run, port, partner, false);
      plat::SleepMs(kPairPauseMs);
    } else if (!options.viaPrinter && code == DeviceModel::kKeModule) {
      NewJob(run, nullptr, port, false);
    } else if (options.viaPrinter && (code == DeviceModel::kOther || code == DeviceModel::kTorvenUsb ||
                                      code == DeviceModel::kKaldorUsb)) {
      if (printersAllowed) {
        NewJob(run, port, nullptr, true);
      } else {
        SkipPrinter(run, *port, hours, minute);
        ++skipped;
      }
    }
  }

  // Printers left alone for the hour are no failure: the run ends as its
  // other jobs do, at once when there are none.
  if (run.jobs.size() == before && skipped > 0)
    return;
  if (run.jobs.size() == before) {
    run.exitCode.store(ExitCode::kNoPort);
    return;
  }
  StartProgress(run);
  do {
    if (!plat::StopRequested())
      plat::WaitForStop(kWaitStepMs);
    else
      plat::SleepMs(kStoppedStepMs);
  } while (!AllFinished(run));
  StopProgress();
}

} // namespace

ExitCode RunArchiveMode(const ArchiveOptions &options) {
  // A printer window that cannot be read is a usage error: nothing is done.
  PrinterHours hours;
  hours.name = options.windowGiven ? kWindowKeyword : kWindowVariable;
  hours.text = options.windowGiven ? options.printerWindow : plat::GetEnv(kWindowVariable);
  hours.limited = options.windowGiven || !hours.text.empty();
  if (hours.limited && !ParseDrWindow(hours.text, hours.window)) {
    plat::ConsoleWrite(std::string("U" ZV_z "ycie: ") + hours.name + kWindowUsage + Printable(hours.text) + "\r\n");
    return ExitCode::kUsage;
  }
  // The run outlives nothing but this call: its jobs go with it, each one
  // after its worker's thread has been joined.
  plat::ListenForStop();
  RunContext run;
  run.archivePath = ArchiveRoot(options.targetPath);
  run.MarkStarted();
  CheckArchiveRoot(run);
  ReportRunStart(run);
  RunJobs(run, options, hours);
  ExitCode result = RunExitCode(run);
  // A log that was a link was not written: the run cannot say it ended well.
  if (result == ExitCode::kDone && FileLog::LinkRefused())
    result = ExitCode::kArchiveUnusable;
  // Stopped from outside: whatever the jobs ended with, the run did not end
  // by itself.
  if (plat::StopRequested()) {
    LoggingClass errorLog(run.archivePath.c_str(), "ERROR");
    errorLog.toConsole = true;
    errorLog.priority = plat::LinePriority::kError;
    errorLog.Log(msg::kRunStopped + plat::StopName());
    result = ExitCode::kStopped;
  }
  ReportRun(run, result);
  return result;
}
