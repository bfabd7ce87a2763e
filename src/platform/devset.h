// The device-information set that port discovery walks: SetupAPI and the
// configuration manager on Windows, sysfs on Linux (under ZARVIK_SYSFS_ROOT
// when set), where the texts handed out are those SetupAPI would give.
//
// One set belongs to one walk. Enumerate makes the element at an index the
// current device; InstanceId and RegistryProperty read the current device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

// The registry properties the walk reads, by their SetupAPI codes.
enum class DeviceProperty : uint32_t {
  kDeviceDesc = 0,
  kHardwareId = 1,
  kCompatibleIds = 2,
  kClass = 7,
  kClassGuid = 8,
  kDriver = 9,
  kConfigFlags = 10,
  kMfg = 11,
  kFriendlyName = 12,
  kPhysicalName = 14,
  kEnumeratorName = 22,
};

constexpr int kCrSuccess = 0;

class DeviceSet {
public:
  virtual ~DeviceSet() = default;

  // The GUID of the device class of that name ("ports"); false when unknown.
  virtual bool ClassGuidFromName(const char *className, Guid &guid) = 0;
  // Opens the set: every installed device of every class, present or not,
  // when allClasses is set; else the present devices of the class. False when
  // the platform gives no set; the system error then tells why.
  virtual bool Open(const Guid &classGuid, bool allClasses) = 0;
  // Adds the root device of the device tree to the set.
  virtual bool OpenRootDevice() = 0;
  // The set's list detail; classGuid gets its class GUID.
  virtual bool ListDetail(Guid &classGuid) = 0;
  // Makes element `index` the current device; false past the last element.
  // classGuid gets the element's class GUID.
  virtual bool Enumerate(int index, Guid &classGuid) = 0;
  // The current device's instance identifier (at most 499 characters);
  // returns a configuration-manager result code, kCrSuccess on success.
  virtual int InstanceId(std::string &id) = 0;
  // A registry property of the current device as raw bytes (a text or a
  // list of texts, zero-terminated as the platform stores them, or a 32-bit
  // number); empty when the device lacks it.
  virtual bool RegistryProperty(DeviceProperty code, std::vector<uint8_t> &bytes) = 0;
  // Releases the set (nothing when none is open).
  virtual void Destroy() = 0;
};

// The platform's device set.
std::unique_ptr<DeviceSet> NewDeviceSet();

// The steps of the walk, for its error lines.
enum class DiscoveryStep { kClassGuid, kOpen, kOpenRoot, kListDetail, kEnumerate, kInstanceId, kProperty };
// The name of the system function behind a step, as the error lines give it
// ("... w wywolaniu funkcji <name>."): the SetupAPI and configuration-manager
// functions on Windows, the file-system calls of the sysfs walk on Linux.
const char *DiscoveryFunction(DiscoveryStep step);

} // namespace plat
