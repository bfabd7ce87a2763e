// The discovery walk over the platform's device set, the reading of device
// properties, the port list's order and the per-device part of the report.
// Polish texts are Windows-1250 bytes, written as octal escapes.
#include "discovery/usbclass.h"

#include <cstdio>
#include <initializer_list>
#include <new>

#include "base/numtext.h"
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
  int code;
};

// The eleven properties in the order the walk reads them; the friendly name
// needs systemId, which is stored before the first one.
const PropertyRead kProperties[] = {
    {"HARDWAREID:    ", plat::kPropHardwareId},  {"COMPATIBLEIDS: ", plat::kPropCompatibleIds},
    {"FRIENDLYNAME:  ", plat::kPropFriendlyName}, {"Class Descr:   ", plat::kPropClass},
    {"Class Guid:    ", plat::kPropClassGuid},    {"Config flags:  ", plat::kPropConfigFlags},
    {"Driver desc:   ", plat::kPropDeviceDesc},   {"Driver:        ", plat::kPropDriver},
    {"Mfg:           ", plat::kPropMfg},          {"Enumerator:    ", plat::kPropEnumeratorName},
    {"Physical name: ", plat::kPropPhysicalName},
};

void AppendLine(iBuffer &buffer, const char *text) {
  buffer.AppendText(text);
  buffer.AppendText(kCrLf);
}

void AppendLine(iBuffer &buffer, const std::string &text) {
  buffer.AppendBytes(text.data(), static_cast<int>(text.size()));
  buffer.AppendText(kCrLf);
}

// "... funkcji <function>." and, when known, the system's reason after it.
void AppendSystemError(iBuffer &buffer, const char *function, const std::string &reason = "") {
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

UsbClass::~UsbClass() {
  delete current;
  for (int i = 0; i < ports.Length(); ++i)
    delete ports[i];
}

bool UsbClass::SearchPorts() {
  for (int i = 0; i < ports.Length(); ++i)
    delete ports[i];
  ports.SetLength(0);
  errorText.Clear();
  delete current;
  current = nullptr;

  plat::Guid classGuid;
  plat::Guid detailGuid;
  plat::Guid deviceGuid;
  bool setOpen = false;

  // Ends a walk whose guarded step failed: the error lines are in errorText.
  auto abort = [&]() {
    errorFlag = true;
    if (setOpen) {
      try {
        deviceSet->Destroy();
      } catch (...) {
      }
    }
    delete current;
    current = nullptr;
    return false;
  };

  // Runs one guarded platform step. When it throws, its error lines go to
  // errorText (the GUIDs read after the failure) and the walk ends.
  auto guarded = [&](auto &&step, const char *first, plat::DiscoveryStep function,
                     std::initializer_list<const plat::Guid *> guids) {
    try {
      step();
      return true;
    } catch (...) {
      AppendLine(errorText, first);
      AppendSystemError(errorText, plat::DiscoveryFunction(function));
      for (const plat::Guid *guid : guids)
        AppendLine(errorText, GuidToText(*guid));
      return false;
    }
  };

  bool found = false;
  if (!guarded([&] { found = deviceSet->ClassGuidFromName("ports", classGuid); }, kCriticalSearch,
               plat::DiscoveryStep::kClassGuid, {&classGuid}))
    return abort();
  if (!found)
    return false;

  if (!guarded([&] { setOpen = deviceSet->Open(classGuid, allDevices); }, kCriticalSearch, plat::DiscoveryStep::kOpen,
               {&classGuid}))
    return abort();
  if (!setOpen) {
    // No set at all is the system failing, not a computer without ports.
    const std::string reason = plat::LastErrorText();
    AppendLine(errorText, kCriticalSearch);
    AppendSystemError(errorText, plat::DiscoveryFunction(plat::DiscoveryStep::kOpen), reason);
    AppendLine(errorText, GuidToText(classGuid));
    return abort();
  }

  if (!guarded([&] { deviceSet->OpenRootDevice(); }, kCriticalSearch, plat::DiscoveryStep::kOpenRoot, {}))
    return abort();
  if (!guarded([&] { deviceSet->ListDetail(detailGuid); }, kCriticalListInit, plat::DiscoveryStep::kListDetail,
               {&detailGuid, &classGuid}))
    return abort();

  for (int index = 0;; ++index) {
    bool more = false;
    if (!guarded([&] { more = deviceSet->Enumerate(index, deviceGuid); }, kCriticalGuidLoop, plat::DiscoveryStep::kEnumerate,
                 {&detailGuid}))
      return abort();
    if (!more)
      break;

    std::string id;
    int result = 0;
    if (!guarded([&] { result = deviceSet->InstanceId(id); }, kCriticalRelated, plat::DiscoveryStep::kInstanceId,
                 {&detailGuid}))
      return abort();
    if (result != plat::kCrSuccess)
      continue;

    try {
      if (!VisitDevice(id, detailGuid))
        break;
    } catch (...) {
      AppendLine(errorText, kCriticalGuidLoop);
      AppendSystemError(errorText, "klasy GetDeviceProperty");
      AppendLine(errorText, std::string(kAlsoSystem) + plat::DiscoveryFunction(plat::DiscoveryStep::kProperty) + ".");
      errorText.AppendBytes(propertyText.Data(), propertyText.TextLength());
      errorText.AppendText(kCrLf);
      AppendLine(errorText, GuidToText(deviceGuid));
      return abort();
    }
  }

  try {
    deviceSet->Destroy();
  } catch (...) {
  }
  if (traceProperties)
    reportText.AppendText(kCrLf);
  return true;
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

  current = new (std::nothrow) VemoraPortsType();
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
    delete current;
  } else {
    current->orderKey = current->comNumber;
    InsertPort(current);
  }
  current = nullptr;
  return true;
}

std::string UsbClass::GetDeviceProperty(int code) {
  propertyText.Clear();
  std::vector<uint8_t> bytes;
  deviceSet->RegistryProperty(code, bytes);

  std::string text;
  if (code == plat::kPropConfigFlags && bytes.size() == 4) {
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
  if (current != nullptr &&
      (code == plat::kPropDeviceDesc || code == plat::kPropHardwareId || code == plat::kPropCompatibleIds ||
       code == plat::kPropFriendlyName))
    InterpretProperty(*current, code, text);
  return text;
}

void UsbClass::InsertPort(VemoraPortsType *record) {
  int n = ports.Length();
  ports.SetLength(n + 1);
  int i = n;
  while (i > 0 && ports[i - 1]->orderKey > record->orderKey) {
    ports[i] = ports[i - 1];
    --i;
  }
  ports[i] = record;
}

int UsbClass::MakeReport() {
  reportText.SetFloatFormat("%0.2f");
  auto line = [&](const char *label, const char *value) {
    reportText.AppendText(label);
    reportText.AppendText(value);
    reportText.AppendText(kCrLf);
  };
  auto textLine = [&](const char *label, const std::string &value) {
    reportText.AppendText(label);
    AppendLine(reportText, value);
  };
  for (int i = 0; i < ports.Length(); ++i) {
    const VemoraPortsType &r = *ports[i];
    AppendLine(reportText, r.portName);
    textLine("HardwareId:         ", r.hardwareId);
    line("Version:            ", reportText.FloatText(static_cast<double>(r.version) * 0.01));
    textLine("SystemID:           ", r.systemId);
    line("Numer systemowy:    ", reportText.Hex64Text(r.systemNumber));
    line("Numer urz\271dzenia:   ", reportText.HexTextU(r.deviceNumber));
    textLine("CompatibleId:       ", r.compatibleId);
    textLine("Nazwa urz\271dzenia:   ", r.deviceName);
    line("Kod urz\271dzenia:     ", reportText.HexText(r.deviceCode));
    line("Vendor odczytany:   ", reportText.HexText(r.vendorId));
    textLine("PID konfiguracyjny: ", r.configPid);
    reportText.AppendText(kCrLf);
  }
  return ports.Length();
}
