// Port identification: the texts of one device turned into its record. The
// identification fuzz target holds the port name to "com<n>" (or the text of
// an undefined port) and the description to the device name.
#include <gtest/gtest.h>

#include "discovery/usbclass.h"

namespace {

constexpr plat::DeviceProperty kFriendly = plat::DeviceProperty::kFriendlyName;
constexpr plat::DeviceProperty kHardwareId = plat::DeviceProperty::kHardwareId;

VemoraPortsType WithId(const std::string &systemId) {
  VemoraPortsType r;
  r.systemId = systemId;
  return r;
}

TEST(Identify, ComNumberFromFriendlyName) {
  const std::pair<const char *, int> cases[] = {
      {"Communications Port (COM1)", 1}, {"USB Serial Port (COM12)", 12}, {"usb serial port (com 7)", 7},
      {"Port (COM007)", 7},              {"Port (COM)", 0},
      {"Port (COM99999999999)", static_cast<int32_t>(99999999999LL & 0xFFFFFFFF)},
      {"Printer port LPT1", 0},
  };
  for (const auto &[name, com] : cases) {
    VemoraPortsType r = WithId("X");
    r.comNumber = 9;  // the rule sets it even when the name holds no number
    InterpretProperty(r, kFriendly, name);
    EXPECT_EQ(r.comNumber, com) << name;
  }
}

// REV_ counts only within part 2; VID_ missing gives 0.
TEST(Identify, HardwareIdGivesPidRevisionAndVendor) {
  const struct {
    const char *id, *upper, *pid;
    int version, vendor;
  } cases[] = {{"usb\\vid_0403&pid_6001&rev_0600", "USB\\VID_0403&PID_6001&REV_0600", "PID_6001", 600, 0x403},
               {"ACPI\\PNP0501&REV_0100", "ACPI\\PNP0501&REV_0100", "REV_0100", 0, 0},
               {"USB\\VID_12", "USB\\VID_12", "", 0, 0x12}};
  for (const auto &c : cases) {
    VemoraPortsType r;
    InterpretProperty(r, kHardwareId, c.id);
    EXPECT_EQ(r.hardwareId, c.upper) << c.id;
    EXPECT_EQ(r.configPid, c.pid) << c.id;
    EXPECT_EQ(r.version, c.version) << c.id;
    EXPECT_EQ(r.vendorId, c.vendor) << c.id;
  }
}

TEST(Identify, ModelTable) {
  using M = DeviceModel;
  const std::pair<const char *, DeviceModel> models[] = {
      {"Torven USB printer", M::kTorvenUsb}, {"KALDOR USB", M::kKaldorUsb},       {"selvan ordek", M::kKeModule},
      {"QX-7 Printer COM0", M::kTwoPortPrinter}, {"QX-7 EJ COM1", M::kTwoPortKe}, {"QX-7 COM1 COM0", M::kTwoPortPrinter},
      {"QX-7 service", M::kOther},           {"EJ PORT (COM1, 2)", M::kOther},   {"PORT COM1, EJ", M::kTwoPortKe},
      {"PORT COM1 EJ", M::kOther},           {"", M::kOther}};
  for (const auto &[description, code] : models) {
    VemoraPortsType r;
    InterpretProperty(r, plat::DeviceProperty::kDeviceDesc, description);
    EXPECT_EQ(r.deviceCode, code) << description;
  }
}

// Interfaces of one device share the system number; an identifier without
// '&' keeps both numbers as they were; with part 1 empty the number after the
// backslash of part 0 counts; parts past the tenth are not looked at.
TEST(Identify, SystemAndDeviceNumbersTieInterfacesTogether) {
  const struct {
    const char *id;
    uint64_t before, system;
    uint32_t device;
  } cases[] = {
      {"USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000", 0, 0x1A2B3C4D06ull, 0},
      {"USB\\VID_1234&PID_5678&MI_02\\6&1A2B3C4D&0&0002", 0, 0x1A2B3C4D06ull, 2},
      {"ACPI\\PNP0501\\1", 5, 5, 0},
      {"USB\\VID_1234&PID_5678\\AB12", 0, 0, 0},
      {"FTDIBUS\\1F&PID_0001", 0, 0x1F, 0},
      {"X&A&B&C&D&E&F&7\\9&AB&1F&2E&L&12", 0, 0xAB09, 0x2E},
  };
  for (const auto &c : cases) {
    VemoraPortsType r = WithId(c.id);
    r.systemNumber = c.before;
    InterpretProperty(r, kFriendly, "Port (COM3)");
    EXPECT_EQ(r.systemNumber, c.system) << c.id;
    EXPECT_EQ(r.deviceNumber, c.device) << c.id;
  }
}

} // namespace
