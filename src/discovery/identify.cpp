// Port identification: what the texts of one device say about it (COM number,
// model code, vendor and revision, and the numbers that tie the interfaces of
// one physical device together).
#include "discovery/usbclass.h"

#include <cstdio>

#include "platform/numtext.h"

namespace {

bool Contains(const std::string &text, const char *pattern) { return text.find(pattern) != std::string::npos; }

// Part n of a text split at every '&' (part 0 before the first '&'); a part
// the text does not have is empty, a negative n means part 0.
std::string Part(const std::string &text, int n) {
  if (n < 0)
    n = 0;
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    size_t amp = text.find('&', start);
    if (amp == std::string::npos)
      return std::string();
    start = amp + 1;
  }
  size_t end = text.find('&', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

uint64_t HexAfter(const std::string &text, const char *token) {
  size_t at = text.find(token);
  if (at == std::string::npos)
    return 0;
  return HexAt(std::string_view(text).substr(at + std::char_traits<char>::length(token)));
}

void ReadHardwareId(VemoraPortsType &record, const std::string &text) {
  record.hardwareId = UpperAscii(text);
  record.configPid = Part(record.hardwareId, 1);
  record.version = static_cast<int32_t>(DecimalAfter(Part(record.hardwareId, 2), "REV_"));
  record.vendorId = static_cast<int32_t>(HexAfter(record.hardwareId, "VID_"));
}

// The two identity numbers from the upper-case instance identifier: the last
// non-empty '&' part (1 to 10) is the device number; two parts before it and
// the digits after the backslash of the part before that give the system
// number, equal for the interfaces of one physical device.
void ReadIdentity(VemoraPortsType &record) {
  int k = 0;
  for (int n = 10; n >= 1; --n)
    if (!Part(record.systemId, n).empty()) {
      k = n;
      break;
    }
  if (k == 0)
    return;
  record.deviceNumber = static_cast<uint32_t>(HexAt(Part(record.systemId, k)));
  if (k >= 3)
    record.systemNumber = HexAt(Part(record.systemId, k - 2));
  record.systemNumber <<= 8;
  std::string base = Part(record.systemId, k - 3);
  size_t slash = base.find('\\');
  if (slash != std::string::npos)
    record.systemNumber |= HexAt(std::string_view(base).substr(slash + 1));
}

void ReadFriendlyName(VemoraPortsType &record, const std::string &text) {
  std::string upper = UpperAscii(text);
  record.comNumber = 0;
  if (Contains(upper, "(COM")) {
    record.comNumber = static_cast<int32_t>(DecimalAfter(upper, "(COM"));
    char name[24];
    std::snprintf(name, sizeof name, "com%d", static_cast<int>(record.comNumber));
    record.portName = name;
  } else {
    record.portName = kUndefinedPort;
  }
  ReadIdentity(record);
}

DeviceModel ModelOf(const std::string &description) {
  std::string upper = UpperAscii(description);
  if (Contains(upper, "TORVEN USB"))
    return DeviceModel::kTorvenUsb;
  if (Contains(upper, "KALDOR USB"))
    return DeviceModel::kKaldorUsb;
  if (Contains(upper, "SELVAN ORDEK"))
    return DeviceModel::kKeModule;
  if (Contains(upper, "QX-7")) {
    if (Contains(upper, "COM0"))
      return DeviceModel::kTwoPortPrinter;
    return Contains(upper, "COM1") ? DeviceModel::kTwoPortKe : DeviceModel::kOther;
  }
  size_t ej = upper.find("EJ");
  if (Contains(upper, "COM1,") && ej != std::string::npos && ej > 0)
    return DeviceModel::kTwoPortKe;
  return DeviceModel::kOther;
}

} // namespace

void InterpretProperty(VemoraPortsType &record, plat::DeviceProperty code, const std::string &text) {
  switch (code) {
  case plat::DeviceProperty::kHardwareId:
    ReadHardwareId(record, text);
    break;
  case plat::DeviceProperty::kCompatibleIds:
    record.compatibleId = text;
    break;
  case plat::DeviceProperty::kFriendlyName:
    ReadFriendlyName(record, text);
    break;
  case plat::DeviceProperty::kDeviceDesc:
    record.deviceName = text;
    record.deviceCode = ModelOf(text);
    break;
  default:
    break;
  }
}
