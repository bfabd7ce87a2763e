// The discovery walk and the device report against an in-process device set.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "discovery/usbclass.h"
#include "platform/files.h"
#include "platform/syserror.h"

namespace {

// Nothrow allocations fail from this count down to zero (-1: never): the walk
// creates its records with the nothrow form.
int nothrowAllocationsLeft = -1;

} // namespace

void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  if (nothrowAllocationsLeft == 0)
    return nullptr;
  if (nothrowAllocationsLeft > 0)
    --nothrowAllocationsLeft;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

struct FakeDevice {
  std::string id;
  std::map<plat::DeviceProperty, std::vector<uint8_t>> properties;
  int cr = plat::kCrSuccess;
  std::optional<plat::DeviceProperty> throwOnProperty;  // the property whose read throws
};

std::vector<uint8_t> Sz(const std::string &text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

FakeDevice Port(const std::string &id, const std::string &friendly, const std::string &description = "dev") {
  FakeDevice d;
  d.id = id;
  d.properties[plat::DeviceProperty::kFriendlyName] = Sz(friendly);
  d.properties[plat::DeviceProperty::kDeviceDesc] = Sz(description);
  d.properties[plat::DeviceProperty::kHardwareId] = Sz("USB\\VID_0403&PID_6001&REV_0600");
  return d;
}

const plat::Guid kPorts = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class FakeSet : public plat::DeviceSet {
public:
  explicit FakeSet(std::vector<FakeDevice> devices) : devices(std::move(devices)) {}
  bool ClassGuidFromName(const char *, plat::Guid &guid) override {
    if (throwIn == "class")
      throw std::runtime_error("fault");
    guid = kPorts;
    return knownClass;
  }
  bool Open(const plat::Guid &, bool all) override {
    if (throwIn == "open")
      throw std::runtime_error("fault");
    if (openError != 0) {
      plat::RestoreSystemError(openError);
      return false;
    }
    openedAll = all;
    open = true;
    return true;
  }
  bool OpenRootDevice() override { return false; }
  bool ListDetail(plat::Guid &guid) override {
    guid = kPorts;
    return true;
  }
  bool Enumerate(int index, plat::Guid &guid) override {
    if (index >= static_cast<int>(devices.size()))
      return false;
    current = index;
    guid = kPorts;
    guid.data1 = static_cast<uint32_t>(index);
    return true;
  }
  int InstanceId(std::string &id) override {
    id = devices[current].id;
    return devices[current].cr;
  }
  bool RegistryProperty(plat::DeviceProperty code, std::vector<uint8_t> &bytes) override {
    ++reads;
    if (devices[current].throwOnProperty == code)
      throw std::runtime_error("fault");
    auto found = devices[current].properties.find(code);
    bytes = found == devices[current].properties.end() ? std::vector<uint8_t>() : found->second;
    return !bytes.empty();
  }
  void Destroy() override {
    open = false;
    ++destroyed;
  }

  std::vector<FakeDevice> devices;
  int current = -1;
  bool knownClass = true;
  bool open = false;
  bool openedAll = false;
  std::string throwIn;
  uint32_t openError = 0;  // the system error of an Open that gives no set
  int reads = 0;
  int destroyed = 0;
};

struct Walk {
  explicit Walk(std::vector<FakeDevice> devices) {
    auto owned = std::make_unique<FakeSet>(std::move(devices));
    set = owned.get();
    usb = std::make_unique<UsbClass>(std::move(owned));
  }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const auto &port : usb->ports)
      ids.push_back(port->systemId);
    return ids;
  }
  FakeSet *set;
  std::unique_ptr<UsbClass> usb;
};

using Ids = std::vector<std::string>;

std::string Step(plat::DiscoveryStep step) { return plat::DiscoveryFunction(step); }

TEST(Walk, PortListIsInComOrderAndStableForEqualNumbers) {
  Walk w({Port("A", "x (COM3)"), Port("B", "x (COM3)"), Port("C", "x (COM2)"), Port("D", "no port"),
          Port("E", "x (COM10)"), Port("F", "x (COM3)")});
  w.usb->vendorFilter = false;
  w.usb->serialOnly = true;
  EXPECT_TRUE(w.usb->SearchPorts());
  EXPECT_FALSE(w.usb->errorFlag);
  EXPECT_EQ(w.Ids(), (Ids{"C", "A", "B", "F", "E"}));
  EXPECT_EQ(w.set->destroyed, 1);
}

TEST(Walk, VendorFilterAndSkippedIdentifiersLeaveNoTrace) {
  FakeDevice unreadable = Port("USB\\VID_0403&PID_1", "x (COM1)");
  unreadable.cr = 0x0D;
  Walk w({Port("usb\\vid_0403&pid_6001\\a", "x (COM4)"), Port("USB\\VID_1234&PID_5678\\B", "x (COM5)"),
          unreadable, Port("ACPI\\PNP0501\\1", "Communications Port (COM1)")});
  w.usb->serialOnly = true;
  ASSERT_TRUE(w.usb->vendorFilter);  // the default
  EXPECT_TRUE(w.usb->SearchPorts());
  EXPECT_EQ(w.Ids(), (Ids{"USB\\VID_0403&PID_6001\\A"}));
  // Trace: one identifier line, eleven property lines, an empty line, and the
  // closing empty line.
  std::string trace = w.usb->reportText.Text();
  EXPECT_EQ(trace.rfind("USB\\VID_0403&PID_6001\\A\r\nHARDWAREID:    USB\\VID_0403&PID_6001&REV_0600\r\n", 0), 0u);
  EXPECT_NE(trace.find("FRIENDLYNAME:  x (COM4)\r\n"), std::string::npos);
  EXPECT_NE(trace.find("Physical name: \r\n\r\n\r\n"), std::string::npos);
  EXPECT_EQ(trace.find("VID_1234"), std::string::npos);
  EXPECT_EQ(w.set->reads, 11);

  w.usb->vendorFilter = false;
  w.usb->traceProperties = false;
  w.usb->reportText.Clear();
  EXPECT_TRUE(w.usb->SearchPorts());
  EXPECT_EQ(w.Ids(), (Ids{"ACPI\\PNP0501\\1", "USB\\VID_0403&PID_6001\\A", "USB\\VID_1234&PID_5678\\B"}));
  EXPECT_EQ(w.usb->reportText.Length(), 0);
}

TEST(Walk, ThrowingPropertyReadGoesThroughTheGuard) {
  FakeDevice bad = Port("BAD\\2", "x (COM2)");
  bad.throwOnProperty = plat::DeviceProperty::kMfg;
  Walk w({Port("GOOD\\1", "x (COM1)"), bad, Port("LATER\\3", "x (COM3)")});
  w.usb->vendorFilter = false;
  EXPECT_FALSE(w.usb->SearchPorts());
  EXPECT_TRUE(w.usb->errorFlag);
  EXPECT_EQ(w.Ids(), (Ids{"GOOD\\1"}));  // kept; the failing record is discarded
  EXPECT_FALSE(w.set->open);
  // The failing read had cleared the property text, so that line is empty;
  // the current device's class GUID carries its index 1.
  EXPECT_EQ(std::string(w.usb->errorText.Text()),
            std::string("Krytyczny b\263\271d w odczycie informacji o urz\271dzeniach w petli GUID.\r\n"
                        "B\263\271d systemowy w wywo\263aniu funkcji klasy GetDeviceProperty.\r\n"
                        "oraz funkcji systemowej ") +
                Step(plat::DiscoveryStep::kProperty) + ".\r\n\r\n{00000001-E325-11CE-BFC1-08002BE10318}\r\n");
}

TEST(Walk, RecordThatCannotBeCreatedEndsTheWalk) {
  Walk w({Port("A", "x (COM1)"), Port("B", "x (COM2)"), Port("C", "x (COM3)")});
  w.usb->vendorFilter = false;
  nothrowAllocationsLeft = 1;
  bool result = w.usb->SearchPorts();
  nothrowAllocationsLeft = -1;
  EXPECT_TRUE(result);
  EXPECT_TRUE(w.usb->errorFlag);
  EXPECT_EQ(w.Ids(), (Ids{"A"}));
  EXPECT_EQ(w.set->destroyed, 1);
  EXPECT_STREQ(w.usb->errorText.Text(), "Krytyczny b\263\271d w interpretacji informacji.\r\n"
                                        "Wska\237nik pusty. Brak pami\352ci na stercie.\r\n"
                                        "{4D36E978-E325-11CE-BFC1-08002BE10318}\r\n");
  std::string trace = w.usb->reportText.Text();
  EXPECT_EQ(trace.substr(trace.size() - 6), "\r\n\r\n\r\n");  // after A's block, the closing line
}

// The class lookup or the opening throwing, and no set at all (a failure of
// the system, said with its reason); each platform names its own calls: no
// SetupAPI name outside Windows. A class the system does not know is no error.
TEST(Walk, FailingClassLookupAndOpenAreReported) {
  const std::string said = "Krytyczny b\263\271d w poszukiwaniu portu.\r\nB\263\271d systemowy w wywo\263aniu funkcji ";
  const std::string ports = "\r\n{4D36E978-E325-11CE-BFC1-08002BE10318}\r\n";
  const struct {
    const char *throwIn;
    uint32_t openError;
    std::string text;
  } cases[] = {
      {"class", 0, said + Step(plat::DiscoveryStep::kClassGuid) + ".\r\n{00000000-0000-0000-0000-000000000000}\r\n"},
      {"open", 0, said + Step(plat::DiscoveryStep::kOpen) + "." + ports},
      {"", 5, said + Step(plat::DiscoveryStep::kOpen) + ". " + plat::SystemErrorText(5) + ports},
  };
  for (const auto &c : cases) {
    Walk w({Port("A", "x (COM1)")});
    w.set->throwIn = c.throwIn;
    w.set->openError = c.openError;
    EXPECT_FALSE(w.usb->SearchPorts()) << c.text;
    EXPECT_TRUE(w.usb->errorFlag);
    EXPECT_EQ(std::string(w.usb->errorText.Text()), c.text);
    if (plat::PathSeparator() == '/') {
      EXPECT_EQ(c.text.find("SetupDi"), std::string::npos);
    }
  }

  Walk unknown({Port("A", "x (COM1)")});
  unknown.set->knownClass = false;
  EXPECT_FALSE(unknown.usb->SearchPorts());
  EXPECT_FALSE(unknown.usb->errorFlag);
  EXPECT_EQ(unknown.usb->errorText.Length(), 0);
}

TEST(Walk, HostilePropertyBytesAreCutAtTheirEnd) {
  FakeDevice d;
  d.id = std::string("VID_0403\0HIDDEN", 15);
  // No terminator, high bytes, and a list whose first entry is empty.
  std::string name = "\xA5\xB9\xFF (COM7)";
  d.properties[plat::DeviceProperty::kFriendlyName] = std::vector<uint8_t>(name.begin(), name.end());
  d.properties[plat::DeviceProperty::kDeviceDesc] = std::vector<uint8_t>(70000, 'Q');
  d.properties[plat::DeviceProperty::kHardwareId] = {0, 'X', 0, 0};
  d.properties[plat::DeviceProperty::kConfigFlags] = {1, 2, 0, 0};
  Walk w({d});
  EXPECT_TRUE(w.usb->SearchPorts());
  ASSERT_EQ(w.usb->ports.size(), 1u);
  const VemoraPortsType &r = *w.usb->ports[0];
  EXPECT_EQ(r.systemId, "VID_0403");
  EXPECT_EQ(r.comNumber, 7);
  EXPECT_EQ(r.deviceName.size(), 70000u);
  EXPECT_EQ(r.hardwareId, "");
  EXPECT_NE(std::string(w.usb->reportText.Text()).find("Config flags:  513\r\n"), std::string::npos);
}

} // namespace
