// Port identification: the texts of one device turned into its record.
#include <gtest/gtest.h>

#include "discovery/usbclass.h"

namespace {

VemoraPortsType WithId(const std::string &systemId) {
  VemoraPortsType r;
  r.systemId = systemId;
  return r;
}

int Code(const std::string &description) {
  VemoraPortsType r;
  InterpretProperty(r, 0, description);
  EXPECT_EQ(r.deviceName, description);
  return r.deviceCode;
}

TEST(Identify, ComNumberFromFriendlyName) {
  struct Case {
    const char *name;
    int com;
    const char *port;
  } cases[] = {
      {"Communications Port (COM1)", 1, "com1"},
      {"USB Serial Port (COM12)", 12, "com12"},
      {"usb serial port (com 7)", 7, "com7"},
      {"Port (COM007)", 7, "com7"},
      {"Port (COM)", 0, "com0"},
      {"Port (COM99999999999)", static_cast<int32_t>(99999999999LL & 0xFFFFFFFF), nullptr},
      {"Printer port LPT1", 0, "Port szeregowy niezdefiniowany"},
  };
  for (const Case &c : cases) {
    VemoraPortsType r = WithId("X");
    r.comNumber = 9;  // the rule sets it even when the name holds no number
    InterpretProperty(r, 12, c.name);
    EXPECT_EQ(r.comNumber, c.com) << c.name;
    if (c.port) {
      EXPECT_EQ(r.portName, c.port) << c.name;
    }
  }
}

TEST(Identify, HardwareIdGivesPidRevisionAndVendor) {
  VemoraPortsType r;
  InterpretProperty(r, 1, "usb\\vid_0403&pid_6001&rev_0600");
  EXPECT_EQ(r.hardwareId, "USB\\VID_0403&PID_6001&REV_0600");
  EXPECT_EQ(r.configPid, "PID_6001");
  EXPECT_EQ(r.version, 600);
  EXPECT_EQ(r.vendorId, 0x403);

  VemoraPortsType noRev;
  // REV_ counts only within part 2; VID_ missing gives 0.
  InterpretProperty(noRev, 1, "ACPI\\PNP0501&REV_0100");
  EXPECT_EQ(noRev.version, 0);
  EXPECT_EQ(noRev.vendorId, 0);
  EXPECT_EQ(noRev.configPid, "REV_0100");

  VemoraPortsType shortId;
  InterpretProperty(shortId, 1, "USB\\VID_12");
  EXPECT_EQ(shortId.configPid, "");
  EXPECT_EQ(shortId.vendorId, 0x12);
}

TEST(Identify, ModelTable) {
  EXPECT_EQ(Code("Torven USB printer"), 1);
  EXPECT_EQ(Code("KALDOR USB"), 2);
  EXPECT_EQ(Code("selvan ordek"), 3);
  EXPECT_EQ(Code("QX-7 Printer COM0"), 4);
  EXPECT_EQ(Code("QX-7 EJ COM1"), 5);
  EXPECT_EQ(Code("QX-7 COM1 COM0"), 4);
  EXPECT_EQ(Code("QX-7 service"), 0);
  EXPECT_EQ(Code("EJ PORT (COM1, 2)"), 0);
  EXPECT_EQ(Code("PORT COM1, EJ"), 5);
  EXPECT_EQ(Code("PORT COM1 EJ"), 0);
  EXPECT_EQ(Code(""), 0);
}

TEST(Identify, SystemAndDeviceNumbersTieInterfacesTogether) {
  VemoraPortsType first = WithId("USB\\VID_1234&PID_5678&MI_00\\6&1A2B3C4D&0&0000");
  InterpretProperty(first, 12, "A (COM3)");
  EXPECT_EQ(first.deviceNumber, 0u);
  EXPECT_EQ(first.systemNumber, 0x1A2B3C4D06ull);

  VemoraPortsType sibling = WithId("USB\\VID_1234&PID_5678&MI_02\\6&1A2B3C4D&0&0002");
  InterpretProperty(sibling, 12, "B (COM4)");
  EXPECT_EQ(sibling.deviceNumber, 2u);
  EXPECT_EQ(sibling.systemNumber, first.systemNumber);

  VemoraPortsType plain = WithId("ACPI\\PNP0501\\1");
  plain.systemNumber = 5;
  InterpretProperty(plain, 12, "Communications Port (COM1)");
  EXPECT_EQ(plain.systemNumber, 5u);  // no '&': both numbers stay
  EXPECT_EQ(plain.deviceNumber, 0u);

  // Last non-empty part 1: the number after the backslash of part 0.
  VemoraPortsType serial = WithId("USB\\VID_1234&PID_5678\\AB12");
  InterpretProperty(serial, 12, "C (COM5)");
  EXPECT_EQ(serial.systemNumber, 0u);
  VemoraPortsType rooted = WithId("FTDIBUS\\1F&PID_0001");
  InterpretProperty(rooted, 12, "D (COM6)");
  EXPECT_EQ(rooted.systemNumber, 0x1Fu);
}

TEST(Identify, PartsPastTheTenthAreNotLookedAt) {
  VemoraPortsType r = WithId("X&A&B&C&D&E&F&7\\9&AB&1F&2E&L&12");
  InterpretProperty(r, 12, "(COM1)");
  EXPECT_EQ(r.deviceNumber, 0x2Eu);
  EXPECT_EQ(r.systemNumber, 0xAB09u);
}

} // namespace
