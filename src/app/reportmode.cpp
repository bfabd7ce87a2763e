// Device report mode: one discovery walk, then the devices found and the
// computer's environment written to the report file.
#include "app/modes.h"

#include <string>

#include "discovery/usbclass.h"
#include "platform/console.h"
#include "platform/files.h"

int RunReportMode(const ReportOptions &options) {
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
  // A file that cannot be created is not reported: the mode still ends with 0.
  usb.reportText.SaveFile(path.c_str());
  return 0;
}
