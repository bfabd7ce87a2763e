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
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/bytebuffer.h"
#include "platform/devset.h"

// The device models told apart by the device description, with what the
// archive mode does with each.
enum class DeviceModel : int32_t {
  kOther = 0,           // none of the others; in "DR" mode a printer's port
  kTorvenUsb = 1,       // the maker's first USB printer model; as kOther
  kKaldorUsb = 2,       // the maker's second USB printer model; as kOther
  kKeModule = 3,        // the stand-alone KE module: archived from its own port
  kTwoPortPrinter = 4,  // the printer channel ("COM0") of the two-channel device
  kTwoPortKe = 5,       // its KE channel ("COM1"): the KE of its printer channel's job
};

// One discovered device.
struct VemoraPortsType {
  int32_t orderKey = 0;
  int32_t comNumber = 0;
  int32_t version = 0;
  DeviceModel deviceCode = DeviceModel::kOther;
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
  std::string GetDeviceProperty(plat::DeviceProperty code);
  // Keeps record in ports, after every record whose orderKey is not greater.
  void InsertPort(std::unique_ptr<VemoraPortsType> record);
  int MakeReport();

  ByteBuffer propertyText;
  std::vector<std::unique_ptr<VemoraPortsType>> ports;
  ByteBuffer reportText;
  ByteBuffer errorText;
  bool errorFlag = false;
  bool allDevices = false;
  bool serialOnly = false;
  bool vendorFilter = true;
  bool traceProperties = true;

private:
  // The steps of SearchPorts.
  void StartWalk();
  bool Guarded(const std::function<void()> &step, const char *firstLine, plat::DiscoveryStep function,
               std::initializer_list<const plat::Guid *> guids);
  bool OpenSet(bool &opened);
  bool WalkDevices(const plat::Guid &detailGuid);
  bool AbortWalk();
  bool VisitDevice(std::string id, const plat::Guid &detailGuid);

  std::unique_ptr<plat::DeviceSet> deviceSet;
  std::unique_ptr<VemoraPortsType> current;
  bool setOpen = false;
};

// The port identification rules, applied to a record for one property text:
// the device description, the hardware ID, the compatible IDs or the friendly
// name (any other property is left alone).
void InterpretProperty(VemoraPortsType &record, plat::DeviceProperty code, const std::string &text);

// The port name of a device whose friendly name holds no COM number.
constexpr const char *kUndefinedPort = "Port szeregowy niezdefiniowany";

// "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
std::string GuidToText(const plat::Guid &guid);

// The maker's vendor-ID token looked for in instance identifiers when
// vendorFilter is on.
constexpr const char *kVendorToken = "VID_0403";
