// The device set over SetupAPI and the configuration manager.
#include "platform/devset.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <cstring>
#include <setupapi.h>

namespace plat {
namespace {

Guid FromWin(const GUID &g) {
  Guid out;
  out.data1 = g.Data1;
  out.data2 = g.Data2;
  out.data3 = g.Data3;
  std::memcpy(out.data4, g.Data4, sizeof out.data4);
  return out;
}

GUID ToWin(const Guid &g) {
  GUID out;
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  std::memcpy(out.Data4, g.data4, sizeof out.Data4);
  return out;
}

constexpr DWORD kIdLength = 500;

class SetupApiDeviceSet : public DeviceSet {
public:
  ~SetupApiDeviceSet() override { Destroy(); }

  bool ClassGuidFromName(const char *className, Guid &guid) override {
    GUID found;
    std::memset(&found, 0, sizeof found);
    DWORD required = 0;
    BOOL ok = SetupDiClassGuidsFromNameExA(className, &found, 1, &required, nullptr, nullptr);
    guid = FromWin(found);
    return ok != FALSE;
  }

  bool Open(const Guid &classGuid, bool allClasses) override {
    Destroy();
    GUID g = ToWin(classGuid);
    set = SetupDiGetClassDevsExA(&g, nullptr, nullptr, allClasses ? DIGCF_ALLCLASSES : DIGCF_PRESENT, nullptr,
                                 nullptr, nullptr);
    return set != INVALID_HANDLE_VALUE;
  }

  bool OpenRootDevice() override {
    if (set == INVALID_HANDLE_VALUE)
      return false;
    // The empty identifier names the root of the device tree.
    return SetupDiOpenDeviceInfoA(set, "", nullptr, 0, nullptr) != FALSE;
  }

  bool ListDetail(Guid &classGuid) override {
    std::memset(&detail, 0, sizeof detail);
    // The size field must be the structure's size on this architecture (the
    // 287 of 32-bit Windows is refused by 64-bit SetupAPI).
    detail.cbSize = sizeof detail;
    BOOL ok = set != INVALID_HANDLE_VALUE && SetupDiGetDeviceInfoListDetailA(set, &detail);
    classGuid = FromWin(detail.ClassGuid);
    return ok != FALSE;
  }

  bool Enumerate(int index, Guid &classGuid) override {
    if (set == INVALID_HANDLE_VALUE || index < 0)
      return false;
    std::memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set, static_cast<DWORD>(index), &device)) {
      haveDevice = false;
      return false;
    }
    haveDevice = true;
    classGuid = FromWin(device.ClassGuid);
    return true;
  }

  int InstanceId(std::string &id) override {
    id.clear();
    if (!haveDevice)
      return CR_NO_SUCH_DEVINST;
    char buffer[kIdLength + 1] = {};
    CONFIGRET result = CM_Get_Device_ID_ExA(device.DevInst, buffer, kIdLength, 0, detail.RemoteMachineHandle);
    if (result != CR_SUCCESS)
      return static_cast<int>(result);
    buffer[kIdLength] = 0;
    if (buffer[0] == 0) {
      // Wine answers CR_SUCCESS with an empty identifier; SetupAPI knows it.
      DWORD required = 0;
      if (!SetupDiGetDeviceInstanceIdA(set, &device, buffer, kIdLength, &required))
        buffer[0] = 0;
      buffer[kIdLength] = 0;
    }
    id = buffer;
    return CR_SUCCESS;
  }

  bool RegistryProperty(DeviceProperty code, std::vector<uint8_t> &bytes) override {
    bytes.clear();
    if (!haveDevice)
      return false;
    DWORD required = 0;
    SetupDiGetDeviceRegistryPropertyA(set, &device, static_cast<DWORD>(code), nullptr, nullptr, 0, &required);
    if (required == 0)
      return false;
    // Two zero bytes more than asked for, so a value stored without its
    // terminator still ends inside the buffer.
    bytes.assign(static_cast<size_t>(required) + 2, 0);
    DWORD got = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, static_cast<DWORD>(code), nullptr, bytes.data(), required,
                                           &got)) {
      bytes.clear();
      return false;
    }
    bytes.resize(got <= required ? got : required);
    return true;
  }

  void Destroy() override {
    if (set != INVALID_HANDLE_VALUE)
      SetupDiDestroyDeviceInfoList(set);
    set = INVALID_HANDLE_VALUE;
    haveDevice = false;
  }

private:
  HDEVINFO set = INVALID_HANDLE_VALUE;
  SP_DEVINFO_LIST_DETAIL_DATA_A detail{};
  SP_DEVINFO_DATA device{};
  bool haveDevice = false;
};

} // namespace

const char *DiscoveryFunction(DiscoveryStep step) {
  switch (step) {
  case DiscoveryStep::kClassGuid: return "SetupDiClassGuidsFromNameEx";
  case DiscoveryStep::kOpen: return "SetupDiGetClassDevsEx";
  case DiscoveryStep::kOpenRoot: return "SetupDiOpenDeviceInfo";
  case DiscoveryStep::kListDetail: return "SetupDiGetDeviceInfoListDetail";
  case DiscoveryStep::kEnumerate: return "SetupDiEnumDeviceInfo";
  case DiscoveryStep::kInstanceId: return "CM_Get_Device_ID_Ex";
  case DiscoveryStep::kProperty: return "SetupDiGetDeviceRegistryProperty";
  }
  return "";
}

std::unique_ptr<DeviceSet> NewDeviceSet() { return std::make_unique<SetupApiDeviceSet>(); }

} // namespace plat
