// UsbClass: finds the serial ports of the computer and the devices behind them.
//
// SearchPorts walks the device set of the platform (SetupAPI on Windows,
// sysfs on Linux), reads eleven properties of every accepted device, turns
// each into a VemoraPortsType record and keeps the records in `ports`,
// ordered by COM number (equal numbers in the order met). The walk reports
// its own faults as Polish lines in errorText with errorFlag set; it never
// ends the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/dynamicarrayclass.h"
#include "base/ibuffer.h"
#include "platform/devset.h"

// One discovered device.
struct VemoraPortsType {
  int32_t orderKey = 0;
  int32_t comNumber = 0;
  int32_t version = 0;
  int32_t deviceCode = 0;
  int32_t vendorId = 0;
  uint64_t systemNumber = 0;
  uint32_t deviceNumber = 0;
  std::string configPid;
  std::string systemId;
  std::string portName;
  std::string hardwareId;
  std::string compatibleId;
  std::string deviceName;
};

class UsbClass {
public:
  UsbClass();
  // Walks the given device set instead of the platform's (tests).
  explicit UsbClass(std::unique_ptr<plat::DeviceSet> deviceSet);
  ~UsbClass();
  UsbClass(const UsbClass &) = delete;
  UsbClass &operator=(const UsbClass &) = delete;

  bool SearchPorts();
  std::string GetDeviceProperty(int code);
  void InsertPort(VemoraPortsType *record);
  int MakeReport();

  iBuffer propertyText;
  DynamicArray<VemoraPortsType *> ports;
  iBuffer reportText;
  iBuffer errorText;
  bool errorFlag = false;
  bool allDevices = false;
  bool serialOnly = false;
  bool vendorFilter = true;
  bool traceProperties = true;

private:
  bool VisitDevice(std::string id, const plat::Guid &detailGuid);
  std::unique_ptr<plat::DeviceSet> deviceSet;
  VemoraPortsType *current = nullptr;
};

// The port identification rules, applied to a record for one property text.
// code: 0 device description, 1 hardware ID, 2 compatible IDs, 12 friendly name.
void InterpretProperty(VemoraPortsType &record, int code, const std::string &text);

// The port name of a device whose friendly name holds no COM number, in the
// process-wide message language.
const char *UndefinedPortText();

// "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
std::string GuidToText(const plat::Guid &guid);

// The maker's vendor-ID token looked for in instance identifiers when
// vendorFilter is on.
constexpr const char *kVendorToken = "VID_0403";
