// Archive mode: the archive root, one discovery walk, one job per usable port
// or port pair, the workers, and the wait for all of them.
#include <memory>
#include <vector>

#include "app/archthread.h"
#include "app/modes.h"
#include "discovery/usbclass.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

constexpr int kPairPauseMs = 1000;
constexpr int kWaitStepMs = 10000;

// Jobs point at the port records, so the discovery object of a run stays
// alive until the process ends.
std::vector<std::unique_ptr<UsbClass>> &Discoveries() {
  static auto *kept = new std::vector<std::unique_ptr<UsbClass>>;
  return *kept;
}

archType *NewJob(VemoraPortsType *printerPort, VemoraPortsType *copyPort, bool viaPrinter) {
  auto *job = new archType;
  job->targetPath = &archivePath;
  job->printerPort = printerPort;
  job->copyPort = copyPort;
  job->viaPrinter = viaPrinter;
  jobs.Add(job);
  ArchThreadClass::Start(*job);
  return job;
}

bool AllFinished() {
  for (int i = 0; i < jobs.Count(); ++i) {
    const archType *job = jobs.At(i);
    if (job->running.load() || !job->finished.load())
      return false;
  }
  return true;
}

} // namespace

std::string ArchiveRoot(const std::string &typed) {
  std::string root = typed.empty() ? plat::CurrentDirectory() : typed;
  if (!root.empty() && root.back() == plat::PathSeparator())
    root.pop_back();
  return root;
}

int RunArchiveMode(const ArchiveOptions &options) {
  archivePath = ArchiveRoot(options.targetPath);

  Discoveries().push_back(std::make_unique<UsbClass>());
  UsbClass &usb = *Discoveries().back();
  usb.allDevices = false;
  usb.vendorFilter = false;
  usb.serialOnly = true;
  usb.traceProperties = false;
  usb.SearchPorts();
  if (usb.errorFlag)
    return DiscoveryFailureReport(usb.errorText.Text());
  usb.reportText.Clear();

  const int count = usb.ports.Length();
  const int before = jobs.Count();
  for (int i = 0; i < count; ++i) {
    VemoraPortsType *port = usb.ports[i];
    if (port == nullptr || port->comNumber < options.firstPort || port->comNumber > options.lastPort)
      continue;
    const int code = port->deviceCode;
    if (!options.viaPrinter && code == 4) {
      VemoraPortsType *partner = nullptr;
      for (int k = 0; k < count && partner == nullptr; ++k) {
        VemoraPortsType *other = usb.ports[k];
        if (other != nullptr && other->deviceCode == 5 && other->systemNumber == port->systemNumber)
          partner = other;
      }
      if (partner == nullptr) {
        exitCode.store(3);
        continue;
      }
      NewJob(port, partner, false);
      plat::SleepMs(kPairPauseMs);
    } else if (!options.viaPrinter && code == 3) {
      NewJob(nullptr, port, false);
    } else if (options.viaPrinter && code >= 0 && code <= 2) {
      NewJob(port, nullptr, true);
    }
  }

  if (jobs.Count() == before) {
    exitCode.store(6);
    return 6;
  }
  do {
    plat::SleepMs(kWaitStepMs);
  } while (!AllFinished());
  // Setting finished is each worker's last access to its job, so the jobs
  // (and the workers they own) can go now.
  const int32_t result = exitCode.load();
  jobs.DeleteAll();
  return result;
}
