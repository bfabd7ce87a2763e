// The Linux device set over a fake sysfs tree, and `zarvik LIST` end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/testdir.h"
#include "discovery/usbclass.h"
#include "platform/posix/comtty.h"
#include "fakesysfs.h"

namespace fs = std::filesystem;

namespace {

struct Seen {
  std::string id;
  std::map<int, std::string> texts;  // first entry of each property
};

class SysfsTest : public ::testing::Test {
protected:
  void Build(const std::vector<devsim::FakeTtyDevice> &devices,
             devsim::SysfsLayout layout = devsim::SysfsLayout::kClassic) {
    std::error_code ignored;
    fs::remove_all(sys, ignored);
    std::string error;
    ASSERT_TRUE(devsim::BuildFakeSysfs(sys, dev, devices, &error, layout)) << error;
  }
  // The usual devices and a PNP port whose serial core found no UART (type
  // 0: the firmware names a port that is switched off).
  static std::vector<devsim::FakeTtyDevice> WithDisabledPort() {
    std::vector<devsim::FakeTtyDevice> devices = devsim::StandardFakeDevices();
    devsim::FakeTtyDevice disabled = devices[4];
    disabled.ttyName = "ttyS1";
    disabled.uartType = 0;
    devices.push_back(disabled);
    return devices;
  }
  static constexpr devsim::SysfsLayout kLayouts[] = {devsim::SysfsLayout::kClassic, devsim::SysfsLayout::kSerialBase};
  // Every element of the platform's set, as the walk would read it.
  std::vector<Seen> Enumerate(bool all) {
    std::vector<Seen> seen;
    auto set = plat::NewDeviceSet();
    plat::Guid guid, elementGuid;
    EXPECT_TRUE(set->ClassGuidFromName("ports", guid));
    EXPECT_EQ(GuidToText(guid), "{4D36E978-E325-11CE-BFC1-08002BE10318}");
    EXPECT_TRUE(set->Open(guid, all));
    set->OpenRootDevice();
    for (int i = 0; set->Enumerate(i, elementGuid); ++i) {
      Seen s;
      EXPECT_EQ(set->InstanceId(s.id), plat::kCrSuccess);
      for (int code : {0, 1, 2, 7, 8, 9, 11, 12, 14, 22}) {
        std::vector<uint8_t> bytes;
        set->RegistryProperty(static_cast<plat::DeviceProperty>(code), bytes);
        s.texts[code] = std::string(bytes.begin(), bytes.end()).c_str();
      }
      seen.push_back(s);
    }
    set->Destroy();
    return seen;
  }

  TestDir scratch;
  fs::path root = scratch.root;
  std::string sys = (root / "sys").string(), dev = (root / "dev").string();
  ScopedEnv sysEnv{"ZARVIK_SYSFS_ROOT", sys}, devEnv{"ZARVIK_DEV_ROOT", dev};
};

TEST_F(SysfsTest, MissingHugeAndOddEntriesNeverBreakTheWalk) {
  devsim::FakeTtyDevice bare;
  bare.ttyName = "ttyACM0";
  bare.usbDevice = "2-3";
  bare.idVendor = "0403";
  bare.idProduct = "6015";
  bare.bcdDevice = "1000";
  bare.subsystem = "usb";
  bare.driver = "cdc_acm";
  devsim::FakeTtyDevice console;
  console.ttyName = "tty0";  // no device link
  devsim::FakeTtyDevice outOfRange = bare;
  outOfRange.ttyName = "ttyUSB32";
  outOfRange.usbDevice = "2-4";
  devsim::FakeTtyDevice dangling = bare;
  dangling.ttyName = "ttyUSB5";
  dangling.usbDevice = "2-5";
  Build({bare, console, outOfRange, dangling});
  fs::path usb = fs::path(sys) / "devices/pci0000:00/0000:00:14.0/usb1";
  // A product text far longer than any attribute, with bytes above 0x7F and
  // no newline; a vendor file that is a directory; a dangling device link.
  std::ofstream(usb / "2-3/product", std::ios::binary) << std::string(100000, '\xB9');
  fs::remove(usb / "2-3/idVendor");
  fs::create_directory(usb / "2-3/idVendor");
  fs::remove_all(usb / "2-5");

  std::vector<Seen> seen = Enumerate(false);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].id, "USB\\VID_0000&PID_6015\\6&B916A441&0&0");
  EXPECT_EQ(seen[0].texts.at(0).size(), 4096u);
  EXPECT_EQ(seen[0].texts.at(12).substr(4096), " (COM65)");
  EXPECT_EQ(seen[0].texts.at(11), "");

  // With every class: the out-of-range tty is visited without a COM number;
  // the console without a device link is not.
  seen = Enumerate(true);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].id, "USB\\VID_0403&PID_6015\\6&BA16A5D4&0&0");
  EXPECT_EQ(seen[1].texts.at(12), "USB Serial Port");
}

// One mapping serves the walk, the port opening and the simulator.
TEST(ComTty, NamesAndNumbersMapBothWaysAtTheFamilyEdges) {
  const struct {
    const char *tty;
    int com;
  } pairs[] = {{"ttyS0", 1}, {"ttyS31", 32}, {"ttyUSB0", 33}, {"ttyUSB31", 64}, {"ttyACM0", 65}, {"ttyACM31", 96}};
  for (const auto &p : pairs) {
    EXPECT_EQ(plat::ComNumberOfTty(p.tty), p.com) << p.tty;
    EXPECT_EQ(plat::TtyOfCom(p.com), p.tty) << p.com;
  }
  for (const char *odd : {"ttyS01", "ttyS32", "ttyUSB", "ttyACM1x", "ttyAMA0", "tty1", "ttyS123"})
    EXPECT_EQ(plat::ComNumberOfTty(odd), 0) << odd;
  EXPECT_EQ(plat::TtyOfCom(0), "");
  EXPECT_EQ(plat::TtyOfCom(97), "");
}

// The real program in the device report mode.
class ListModeTest : public SysfsTest {
protected:
  // The program's exit code; its output is in out.txt.
  int Zarvik(const std::string &args) {
    const std::string command = "cd '" + root.string() + "' && env -i ZARVIK_SYSFS_ROOT='" + sys +
                                "' ZARVIK_DEV_ROOT='" + dev + "' MARK=1 '" ZARVIK_EXE "' " + args + " > out.txt 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string RunList(const std::string &options) {
    EXPECT_EQ(Zarvik("LIST report.txt " + options), 0);
    return ReadAll(root / "report.txt");
  }
  std::string Environment() {
    return "ZARVIK_SYSFS_ROOT=" + sys + "\r\nZARVIK_DEV_ROOT=" + dev + "\r\nMARK=1\r\n";
  }
};

// Since Linux 6.5 a ttyS hangs below a serial-base controller and port: the
// walk looks through them to the PNP or platform device and finds the same
// ports with the same texts as on older kernels, the same bytes on either
// layout. Ports without a UART (the platform's placeholder, a PNP port of
// type 0) are in the set of every device only.
TEST_F(ListModeTest, DefaultReportMatchesTheGoldenBytes) {
  for (devsim::SysfsLayout layout : kLayouts) {
    Build(WithDisabledPort(), layout);
    EXPECT_EQ(RunList(""), ReadAll(ZARVIK_TEST_DATA "/list_default.golden") + Environment());
  }
}

TEST_F(ListModeTest, AllDevicesWithoutComNumbers) {
  std::vector<devsim::FakeTtyDevice> devices = WithDisabledPort();
  devsim::FakeTtyDevice other;
  other.ttyName = "ttyAMA0";
  other.subsystem = "amba";
  other.driver = "uart-pl011";
  devices.push_back(other);
  for (devsim::SysfsLayout layout : kLayouts) {
    Build(devices, layout);
    EXPECT_EQ(RunList("ALL_NCOM"), ReadAll(ZARVIK_TEST_DATA "/list_all_ncom.golden") + Environment());
  }
  // (FILTER: the walk test, and the Wine LIST test on these devices.)
}

TEST_F(ListModeTest, NoDevicesGiveTheConfigurationPartAlone) {
  Build({});
  EXPECT_EQ(RunList(""), "\r\n\r\nKonfiguracja komputera obs\263uguj\271cego drukarki\r\n\r\n" + Environment());
}

// A report that cannot be written (a missing folder, a directory) is said on
// the console with its path, and the run ends with 10, not with 0.
TEST_F(ListModeTest, AReportThatCannotBeWrittenEndsWith10) {
  Build({});
  fs::create_directories(root / "taken");
  const std::map<std::string, std::string> reasons = {{"missing/report.txt", ": No such file or directory"},
                                                      {"taken", ": Is a directory"}};
  for (const auto &[target, reason] : reasons) {
    EXPECT_EQ(Zarvik("LIST " + target), 10) << target;
    EXPECT_EQ(ReadAll(root / "out.txt"), "Nie mo\xC5\xBCna zapisa\xC4\x87 raportu: " + target + reason + "\r\n");
    EXPECT_FALSE(fs::exists(root / (target + ".tmp")));
  }
}

// A class/tty that is absent (no sysfs) or no directory is the system
// failing: both modes end with 8, and the error file gives the system's
// reason. An empty class/tty is a computer without ports (see above).
TEST_F(ListModeTest, AnUnreadableDeviceTreeEndsWith8WithItsReason) {
  const std::map<std::string, std::string> reasons = {{"absent", "No such file or directory"},
                                                      {"file", "Not a directory"}};
  for (const auto &[kind, reason] : reasons) {
    if (kind == "file") {
      fs::create_directories(fs::path(sys) / "class");
      std::ofstream(fs::path(sys) / "class/tty") << "x";
    }
    for (const std::string mode : {"LIST", "archiwum"}) {
      EXPECT_EQ(Zarvik(mode), 8) << kind << " " << mode;
      EXPECT_EQ(ReadAll(root / "error.txt"), "Krytyczny b\263\271d w poszukiwaniu portu.\r\nB\263\271d systemowy w "
                                             "wywo\263aniu funkcji opendir (class/tty). " + reason +
                                             "\r\n{4D36E978-E325-11CE-BFC1-08002BE10318}\r\n")
          << kind << " " << mode;
    }
  }
}

} // namespace
