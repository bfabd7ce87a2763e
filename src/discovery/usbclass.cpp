// The discovery walk over the platform's device set, the reading of device
// properties, the port list's order and the per-device part of the report.
// Polish texts are Windows-1250 bytes, written as octal escapes.
#include "discovery/usbclass.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/numtext.h"
#include "platform/syserror.h"

namespace {

const char kCrLf[] = "\r\n";

// The error lines of the walk.
const char kCriticalSearch[] = "Krytyczny b\263\271d w poszukiwaniu portu.";
const char kCriticalListInit[] = "Krytyczny b\263\271d w inicjacji listy informacji o urz\271dzeniu.";
const char kCriticalGuidLoop[] = "Krytyczny b\263\271d w odczycie informacji o urz\271dzeniach w petli GUID.";
const char kCriticalRelated[] = "Krytyczny b\263\271d odczytu urz\271dze\361 powi\271zanych.";
const char kCriticalInterpret[] = "Krytyczny b\263\271d w interpretacji informacji.";
const char kNullPointer[] = "Wska\237nik pusty. Brak pami\352ci na stercie.";
const char kSystemErrorIn[] = "B\263\271d systemowy w wywo\263aniu funkcji ";
const char kAlsoSystem[] = "oraz funkcji systemowej ";

struct PropertyRead {
  const char *label;
  plat::DeviceProperty code;
};

// The eleven properties in the order the walk reads them; the friendly name
// needs systemId, which is stored before the first one.
using Property = plat::DeviceProperty;
const PropertyRead kProperties[] = {
    {"HARDWAREID:    ", Property::kHardwareId},  {"COMPATIBLEIDS: ", Property::kCompatibleIds},
    {"FRIENDLYNAME:  ", Property::kFriendlyName}, {"Class Descr:   ", Property::kClass},
    {"Class Guid:    ", Property::kClassGuid},    {"Config flags:  ", Property::kConfigFlags},
    {"Driver desc:   ", Property::kDeviceDesc},   {"Driver:        ", Property::kDriver},
    {"Mfg:           ", Property::kMfg},          {"Enumerator:    ", Property::kEnumeratorName},
    {"Physical name: ", Property::kPhysicalName},
};

void AppendLine(ByteBuffer &buffer, const char *text) {
  buffer.AppendText(text);
  buffer.AppendText(kCrLf);
}

void AppendLine(ByteBuffer &buffer, const std::string &text) {
  buffer.AppendBytes(text.data(), static_cast<int>(text.size()));
  buffer.AppendText(kCrLf);
}

// "... funkcji <function>." and, when known, the system's reason after it.
void AppendSystemError(ByteBuffer &buffer, const char *function, const std::string &reason = "") {
  buffer.AppendText(kSystemErrorIn);
  buffer.AppendText(function);
  AppendLine(buffer, reason.empty() ? std::string(".") : ". " + reason);
}

} // namespace

std::string GuidToText(const plat::Guid &g) {
  char text[64];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.data1),
                static_cast<unsigned>(g.data2), static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2],
                g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

UsbClass::UsbClass() : UsbClass(plat::NewDeviceSet()) {}

UsbClass::UsbClass(std::unique_ptr<plat::DeviceSet> set) : deviceSet(std::move(set)) {}

UsbClass::~UsbClass() = default;

// The walk: the class of the serial ports, its device set, the root device
// and the set's list detail, then every device of the set. A step that throws
// ends the walk with its error lines (AbortWalk); a class the platform does
// not know, or a set it does not give, ends it without any.
bool UsbClass::SearchPorts() {
  StartWalk();
  plat::Guid classGuid;
  plat::Guid detailGuid;

  bool found = false;
  if (!Guarded([&] { found = deviceSet->ClassGuidFromName("ports", classGuid); }, kCriticalSearch,
               plat::DiscoveryStep::kClassGuid, {&classGuid}))
    return AbortWalk();
  if (!found)
    return false;

  if (!Guarded([&] { setOpen = deviceSet->Open(classGuid, allDevices); }, kCriticalSearch,
               plat::DiscoveryStep::kOpen, {&classGuid}))
    return AbortWalk();
  if (!setOpen) {
    // No set at all is the system failing, not a computer without ports.
    const std::string reason = plat::LastErrorText();
    AppendLine(errorText, kCriticalSearch);
    AppendSystemError(errorText, plat::DiscoveryFunction(plat::DiscoveryStep::kOpen), reason);
    AppendLine(errorText, GuidToText(classGuid));
    return AbortWalk();
  }

  if (!Guarded([&] { deviceSet->OpenRootDevice(); }, kCriticalSearch, plat::DiscoveryStep::kOpenRoot, {}))
    return AbortWalk();
  if (!Guarded([&] { deviceSet->ListDetail(detailGuid); }, kCriticalListInit, plat::DiscoveryStep::kListDetail,
               {&detailGuid, &classGuid}))
    return AbortWalk();

  if (!WalkDevices(detailGuid))
    return AbortWalk();

  try {
    deviceSet->Destroy();
  } catch (...) {
  }
  setOpen = false;
  if (traceProperties)
    reportText.AppendText(kCrLf);
  return true;
}

// A new walk starts with no records and no error lines.
void UsbClass::StartWalk() {
  ports.clear();
  errorText.Clear();
  current.reset();
  setOpen = false;
}

// Runs one platform step. When it throws, its error lines go to errorText
// (firstLine, the system function behind the step, then the GUIDs as they
// are after the failure) and the result is false.
bool UsbClass::Guarded(const std::function<void()> &step, const char *firstLine, plat::DiscoveryStep function,
                       std::initializer_list<const plat::Guid *> guids) {
  try {
    step();
    return true;
  } catch (...) {
    AppendLine(errorText, firstLine);
    AppendSystemError(errorText, plat::DiscoveryFunction(function));
    for (const plat::Guid *guid : guids)
      AppendLine(errorText, GuidToText(*guid));
    return false;
  }
}

// Visits every device of the open set in its order. False when a step
// failed (its error lines are written); a record that cannot be made ends
// the visits early, but not as a failure.
bool UsbClass::WalkDevices(const plat::Guid &detailGuid) {
  plat::Guid deviceGuid;
  for (int index = 0;; ++index) {
    bool more = false;
    if (!Guarded([&] { more = deviceSet->Enumerate(index, deviceGuid); }, kCriticalGuidLoop,
                 plat::DiscoveryStep::kEnumerate, {&detailGuid}))
      return false;
    if (!more)
      return true;

    std::string id;
    int result = 0;
    if (!Guarded([&] { result = deviceSet->InstanceId(id); }, kCriticalRelated, plat::DiscoveryStep::kInstanceId,
                 {&detailGuid}))
      return false;
    if (result != plat::kCrSuccess)
      continue;

    try {
      if (!VisitDevice(id, detailGuid))
        return true;
    } catch (...) {
      // A property read that threw: the lines name it and the text it had
      // read so far, then the device's class GUID.
      AppendLine(errorText, kCriticalGuidLoop);
      AppendSystemError(errorText, "klasy GetDeviceProperty");
      AppendLine(errorText, std::string(kAlsoSystem) + plat::DiscoveryFunction(plat::DiscoveryStep::kProperty) + ".");
      errorText.AppendBytes(propertyText.Data(), propertyText.TextLength());
      errorText.AppendText(kCrLf);
      AppendLine(errorText, GuidToText(deviceGuid));
      return false;
    }
  }
}

// Ends a walk whose step failed: the set released, the unfinished record
// dropped, the error flag set.
bool UsbClass::AbortWalk() {
  errorFlag = true;
  if (setOpen) {
    try {
      deviceSet->Destroy();
    } catch (...) {
    }
  }
  setOpen = false;
  current.reset();
  return false;
}

// One device of the walk: its identifier, then its properties into a new
// record, kept in the port list unless the options leave it out. False when
// no record can be made (the walk ends, the error lines say so).
bool UsbClass::VisitDevice(std::string id, const plat::Guid &detailGuid) {
  size_t zero = id.find('\0');
  if (zero != std::string::npos)
    id.resize(zero);
  id = UpperAscii(id);
  if (vendorFilter && id.find(kVendorToken) == std::string::npos)
    return true;

  current.reset(new (std::nothrow) VemoraPortsType());
  if (current == nullptr) {
    AppendLine(errorText, kCriticalInterpret);
    AppendLine(errorText, kNullPointer);
    AppendLine(errorText, GuidToText(detailGuid));
    errorFlag = true;
    return false;
  }
  if (traceProperties)
    AppendLine(reportText, id);
  current->systemId = id;
  for (const PropertyRead &property : kProperties) {
    if (traceProperties)
      reportText.AppendText(property.label);
    GetDeviceProperty(property.code);
  }
  if (traceProperties)
    reportText.AppendText(kCrLf);

  if (serialOnly && current->comNumber < 1) {
    current.reset();
  } else {
    current->orderKey = current->comNumber;
    InsertPort(std::move(current));
  }
  return true;
}

std::string UsbClass::GetDeviceProperty(plat::DeviceProperty code) {
  propertyText.Clear();
  std::vector<uint8_t> bytes;
  deviceSet->RegistryProperty(code, bytes);

  std::string text;
  if (code == plat::DeviceProperty::kConfigFlags && bytes.size() == 4) {
    // A 32-bit number: shown in decimal.
    uint32_t flags = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    text = std::to_string(flags);
  } else {
    // The text up to its first zero byte: the first entry of a list, and
    // nothing for a property the device lacks.
    size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0)
      ++n;
    text.assign(reinterpret_cast<const char *>(bytes.data()), n);
  }
  propertyText.AppendBytes(text.data(), static_cast<int>(text.size()));

  if (traceProperties)
    AppendLine(reportText, text);
  if (current != nullptr)
    InterpretProperty(*current, code, text);
  return text;
}

void UsbClass::InsertPort(std::unique_ptr<VemoraPortsType> record) {
  auto after = std::upper_bound(ports.begin(), ports.end(), record->orderKey,
                                [](int32_t key, const std::unique_ptr<VemoraPortsType> &port) {
                                  return key < port->orderKey;
                                });
  ports.insert(after, std::move(record));
}

int UsbClass::MakeReport() {
  auto line = [&](const char *label, const std::string &value) {
    reportText.AppendText(label);
    AppendLine(reportText, value);
  };
  // Signed numbers in hex as their 64-bit two's complement.
  auto hex = [](int64_t value) { return UpperHex(static_cast<uint64_t>(value)); };
  for (const std::unique_ptr<VemoraPortsType> &port : ports) {
    const VemoraPortsType &r = *port;
    AppendLine(reportText, r.portName);
    line("HardwareId:         ", r.hardwareId);
    line("Version:            ", FixedText(static_cast<double>(r.version) * 0.01, 2));
    line("SystemID:           ", r.systemId);
    line("Numer systemowy:    ", UpperHex(r.systemNumber));
    line("Numer urz\271dzenia:   ", UpperHex(r.deviceNumber));
    line("CompatibleId:       ", r.compatibleId);
    line("Nazwa urz\271dzenia:   ", r.deviceName);
    line("Kod urz\271dzenia:     ", hex(static_cast<int32_t>(r.deviceCode)));
    line("Vendor odczytany:   ", hex(r.vendorId));
    line("PID konfiguracyjny: ", r.configPid);
    reportText.AppendText(kCrLf);
  }
  return static_cast<int>(ports.size());
}
