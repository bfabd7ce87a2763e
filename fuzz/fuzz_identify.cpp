// Device property texts of any bytes through the port identification rules,
// in the order the walk reads them: instance identifier (stored upper case),
// hardware ID, compatible ID, friendly name, device description. The input
// is cut into the five texts at NUL bytes. Beyond crashes and undefined
// behaviour the target checks the rules' promises: a model code from 0 to 5,
// a port name "com<n>" exactly when the friendly name holds "(COM", and a
// vendor read only from a hardware ID that names one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/numtext.h"
#include "discovery/usbclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 8192)
    return 0;
  std::vector<std::string> texts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && texts.size() < 5)
      texts.emplace_back();
    else
      texts.back() += static_cast<char>(data[i]);
  }
  texts.resize(5);

  VemoraPortsType record;
  record.systemId = UpperAscii(texts[0]);
  InterpretProperty(record, plat::DeviceProperty::kHardwareId, texts[1]);
  InterpretProperty(record, plat::DeviceProperty::kCompatibleIds, texts[2]);
  InterpretProperty(record, plat::DeviceProperty::kFriendlyName, texts[3]);
  InterpretProperty(record, plat::DeviceProperty::kDeviceDesc, texts[4]);

  const auto model = static_cast<int32_t>(record.deviceCode);
  if (model < 0 || model > 5)
    std::abort();
  if (record.deviceName != texts[4] || record.compatibleId != texts[2])
    std::abort();
  const bool hasCom = UpperAscii(texts[3]).find("(COM") != std::string::npos;
  if (hasCom != (record.portName == "com" + std::to_string(record.comNumber)))
    std::abort();
  if (!hasCom && (record.comNumber != 0 || record.portName != kUndefinedPort))
    std::abort();
  if (UpperAscii(texts[1]).find("VID_") == std::string::npos && record.vendorId != 0)
    std::abort();
  return 0;
}
