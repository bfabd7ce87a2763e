// Device report mode: one discovery walk, then the devices found and the
// computer's environment written to the report file.
#include "app/modes.h"

#include <string>

#include "discovery/usbclass.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/syserror.h"

ExitCode RunReportMode(const ReportOptions &options) {
  UsbClass usb;
  usb.allDevices = options.allDevices;
  usb.vendorFilter = options.vendorFilter;
  usb.serialOnly = options.serialOnly;
  usb.traceProperties = false;
  usb.SearchPorts();
  usb.reportText.Clear();
  if (usb.errorFlag)
    return DiscoveryFailureReport(usb.errorText.Text());

  usb.MakeReport();
  usb.reportText.AppendText("\r\n\r\n");
  usb.reportText.AppendText("Konfiguracja komputera obs\263uguj\271cego drukarki");
  usb.reportText.AppendText("\r\n\r\n");
  for (const std::string &entry : plat::EnvironmentEntries()) {
    usb.reportText.AppendBytes(entry.data(), static_cast<int>(entry.size()));
    usb.reportText.AppendText("\r\n");
  }

  const std::string path = options.reportPath.empty() ? plat::DefaultReportFile() : options.reportPath;
  const auto size = static_cast<size_t>(usb.reportText.Length());
  if (plat::PutInPlace(path, usb.reportText.Data(), size))
    return ExitCode::kDone;
  plat::ConsoleWrite("Nie mo\277na zapisa\346 raportu: " + path + plat::LastErrorSuffix() + "\r\n");
  return ExitCode::kReportNotWritten;
}
