// The device set over sysfs: the serial ttys of class/tty, each handed to
// the walk with the texts SetupAPI would give for the same device.
#include "platform/devset.h"

#include "platform/numtext.h"
#include "platform/posix/comtty.h"
#include "platform/syserror.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace plat {
namespace {

const Guid kPortsGuid = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const char kPortsGuidText[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
// Attribute files are one short line; anything longer is cut here.
constexpr size_t kMaxAttribute = 4096;

std::string EnvOr(const char *name, const char *fallback) {
  const char *value = std::getenv(name);
  return value != nullptr && value[0] != 0 ? value : fallback;
}

// One line of an attribute file, trailing newline removed; a missing or
// unreadable file is an empty text.
std::string ReadAttribute(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::string();
  std::string line(kMaxAttribute, '\0');
  in.read(line.data(), static_cast<std::streamsize>(line.size()));
  line.resize(in.gcount() > 0 ? static_cast<size_t>(in.gcount()) : 0);
  size_t end = line.find_first_of(std::string("\n\0", 2));
  if (end != std::string::npos)
    line.resize(end);
  return line;
}

std::string HexText(const std::string &attribute, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*lX", width, static_cast<unsigned long>(HexAt(attribute) & 0xFFFFFFFFu));
  return text;
}

uint32_t Fnv1a(const std::string &text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

std::string LinkName(const fs::path &link) {
  std::error_code ec;
  fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

bool Within(const fs::path &path, const fs::path &root) {
  auto r = root.begin(), p = path.begin();
  for (; r != root.end(); ++r, ++p)
    if (p == path.end() || *p != *r)
      return false;
  return true;
}

struct Element {
  std::string id;
  Guid classGuid;
  std::map<DeviceProperty, std::vector<uint8_t>> properties;

  void Text(DeviceProperty code, const std::string &text) {
    if (text.empty())
      return;
    std::vector<uint8_t> &bytes = properties[code];
    bytes.assign(text.begin(), text.end());
    bytes.push_back(0);
  }
  void MultiText(DeviceProperty code, const std::string &text) {
    Text(code, text);
    if (!text.empty())
      properties[code].push_back(0);
  }
};

struct TtyEntry {
  std::string name;
  int com;
  fs::path device;  // the resolved device directory
};

class SysfsDeviceSet : public DeviceSet {
public:
  bool ClassGuidFromName(const char *className, Guid &guid) override {
    std::string name = className != nullptr ? className : "";
    if (UpperAscii(name) != "PORTS")
      return false;
    guid = kPortsGuid;
    return true;
  }

  bool Open(const Guid &classGuid, bool allClasses) override {
    Destroy();
    setGuid = allClasses ? Guid() : classGuid;
    sysRoot = EnvOr("ZARVIK_SYSFS_ROOT", "/sys");
    devRoot = EnvOr("ZARVIK_DEV_ROOT", "/dev");
    std::error_code ec;
    fs::path canonicalRoot = fs::weakly_canonical(sysRoot, ec);
    if (ec)
      canonicalRoot = sysRoot;
    std::error_code listError;
    for (const TtyEntry &entry : Entries(allClasses, listError))
      elements.push_back(Describe(entry, canonicalRoot));
    if (listError) {
      // class/tty exists wherever sysfs is mounted, even without a serial
      // port: one that is absent or cannot be read is a failure of the
      // system, and its reason is the walk's.
      Destroy();
      RestoreSystemError(static_cast<uint32_t>(listError.value()));
      return false;
    }
    open = true;
    return true;
  }

  // sysfs has no device that stands for the root of the tree with serial
  // texts of its own; like Wine's SetupAPI, nothing is added.
  bool OpenRootDevice() override { return false; }

  bool ListDetail(Guid &classGuid) override {
    classGuid = setGuid;
    return open;
  }

  bool Enumerate(int index, Guid &classGuid) override {
    if (!open || index < 0 || static_cast<size_t>(index) >= elements.size())
      return false;
    current = index;
    classGuid = elements[index].classGuid;
    return true;
  }

  int InstanceId(std::string &id) override {
    const int kCrNoSuchDevinst = 0x0D;
    if (current < 0)
      return kCrNoSuchDevinst;
    id = elements[current].id.substr(0, 499);
    return kCrSuccess;
  }

  bool RegistryProperty(DeviceProperty code, std::vector<uint8_t> &bytes) override {
    bytes.clear();
    if (current < 0)
      return false;
    auto found = elements[current].properties.find(code);
    if (found == elements[current].properties.end())
      return false;
    bytes = found->second;
    return true;
  }

  void Destroy() override {
    elements.clear();
    current = -1;
    open = false;
  }

private:
  // The class/tty entries to visit: those with a COM number in COM order;
  // with allClasses every entry that has a device link, the others after
  // them in name order. ec gets a failure to open or read class/tty.
  std::vector<TtyEntry> Entries(bool allClasses, std::error_code &ec) {
    std::vector<TtyEntry> numbered, others;
    for (fs::directory_iterator it(sysRoot / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      int com = ComNumberOfTty(name);
      if (com == 0 && !allClasses)
        continue;
      std::error_code linkError;
      fs::path device = BehindSerialBase(fs::canonical(it->path() / "device", linkError));
      if (linkError)
        continue;  // no device link: a virtual tty
      // A ttyS without a UART: the serial core found none at its address
      // (type 0, PORT_UNKNOWN), or the platform device only holds the place
      // of one. Like a device that is not present, only the set of every
      // device shows it.
      if (!allClasses && name.compare(0, 4, "ttyS") == 0 &&
          (ReadAttribute(it->path() / "type") == "0" || LinkName(device / "subsystem") == "platform"))
        continue;
      (com != 0 ? numbered : others).push_back({name, com, device});
    }
    std::sort(numbered.begin(), numbered.end(), [](const TtyEntry &a, const TtyEntry &b) { return a.com < b.com; });
    std::sort(others.begin(), others.end(), [](const TtyEntry &a, const TtyEntry &b) { return a.name < b.name; });
    numbered.insert(numbered.end(), others.begin(), others.end());
    return numbered;
  }

  // The device a port stands for. Since Linux 6.5 the serial core hangs each
  // of its ports below a controller and a port device of its own (subsystem
  // serial-base): the port's device is then the controller's parent, the PNP,
  // platform or PCI device that older kernels link to directly.
  static fs::path BehindSerialBase(const fs::path &device) {
    fs::path p = device;
    while (!p.empty() && p != p.parent_path() && LinkName(p / "subsystem") == "serial-base")
      p = p.parent_path();
    return p;
  }

  // The texts SetupAPI would give for one tty: the common ones here, the
  // rest by the kind of port behind it.
  Element Describe(const TtyEntry &entry, const fs::path &root) {
    Element e;
    e.classGuid = kPortsGuid;
    e.Text(DeviceProperty::kClass, "Ports");
    e.Text(DeviceProperty::kClassGuid, kPortsGuidText);
    e.properties[DeviceProperty::kConfigFlags] = std::vector<uint8_t>(4, 0);
    e.Text(DeviceProperty::kDriver, LinkName(entry.device / "driver"));
    e.Text(DeviceProperty::kPhysicalName, (devRoot / entry.name).string());
    const std::string comSuffix = entry.com != 0 ? " (COM" + std::to_string(entry.com) + ")" : std::string();
    fs::path iface = UsbInterfaceOf(entry.device, root);
    if (!iface.empty())
      DescribeUsb(e, iface, comSuffix);
    else if (entry.name.compare(0, 4, "ttyS") == 0)
      DescribeSerial(e, entry, comSuffix);
    else
      DescribeOther(e, entry, comSuffix);
    return e;
  }

  // The USB interface: the nearest directory at or above the device that
  // holds bInterfaceNumber, inside the sysfs root; empty when there is none.
  static fs::path UsbInterfaceOf(const fs::path &device, const fs::path &root) {
    std::error_code ec;
    for (fs::path p = device; Within(p, root) && p != root; p = p.parent_path()) {
      if (fs::exists(p / "bInterfaceNumber", ec))
        return p;
      if (p == p.parent_path())
        break;
    }
    return {};
  }

  // A USB tty; the USB device is the interface's parent.
  static void DescribeUsb(Element &e, const fs::path &iface, const std::string &comSuffix) {
    fs::path usb = iface.parent_path();
    std::string vidPid = "USB\\VID_" + HexText(ReadAttribute(usb / "idVendor"), 4) + "&PID_" +
                         HexText(ReadAttribute(usb / "idProduct"), 4);
    std::string i = HexText(ReadAttribute(iface / "bInterfaceNumber"), 2);
    bool composite = DecimalAt(ReadAttribute(usb / "bNumInterfaces")) > 1;
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08X", static_cast<unsigned>(Fnv1a(usb.filename().string())));
    std::string serial = ReadAttribute(usb / "serial");
    if (composite)
      e.id = vidPid + "&MI_" + i + "\\6&" + hash + "&0&00" + i;
    else
      e.id = vidPid + (serial.empty() ? std::string("\\6&") + hash + "&0&0" : "\\" + serial);
    e.MultiText(DeviceProperty::kHardwareId, vidPid + "&REV_" + HexText(ReadAttribute(usb / "bcdDevice"), 4) +
                                     (composite ? "&MI_" + i : std::string()));
    e.MultiText(DeviceProperty::kCompatibleIds, "USB\\Class_" + HexText(ReadAttribute(iface / "bInterfaceClass"), 2) +
                                        "&SubClass_" + HexText(ReadAttribute(iface / "bInterfaceSubClass"), 2) +
                                        "&Prot_" + HexText(ReadAttribute(iface / "bInterfaceProtocol"), 2));
    std::string description = ReadAttribute(iface / "interface");
    if (description.empty())
      description = ReadAttribute(usb / "product");
    if (description.empty())
      description = "USB Serial Port";
    e.Text(DeviceProperty::kDeviceDesc, description);
    e.Text(DeviceProperty::kFriendlyName, description + comSuffix);
    e.Text(DeviceProperty::kMfg, ReadAttribute(usb / "manufacturer"));
    e.Text(DeviceProperty::kEnumeratorName, "USB");
  }

  // A ttyS port without a USB interface: the PC's own serial port.
  static void DescribeSerial(Element &e, const TtyEntry &entry, const std::string &comSuffix) {
    e.id = "ACPI\\PNP0501\\" + entry.name.substr(4);
    e.MultiText(DeviceProperty::kHardwareId, "ACPI\\PNP0501");
    e.Text(DeviceProperty::kDeviceDesc, "Communications Port");
    e.Text(DeviceProperty::kFriendlyName, "Communications Port" + comSuffix);
    e.Text(DeviceProperty::kEnumeratorName, "ACPI");
  }

  // Any other tty with a device: named after its bus and its own name.
  static void DescribeOther(Element &e, const TtyEntry &entry, const std::string &comSuffix) {
    std::string bus = UpperAscii(LinkName(entry.device / "subsystem"));
    e.id = (bus.empty() ? std::string("TTY") : bus) + "\\" + UpperAscii(entry.name);
    e.MultiText(DeviceProperty::kHardwareId, e.id);
    e.Text(DeviceProperty::kDeviceDesc, entry.name);
    e.Text(DeviceProperty::kFriendlyName, entry.name + comSuffix);
    e.Text(DeviceProperty::kEnumeratorName, bus);
  }

  fs::path sysRoot;
  fs::path devRoot;
  Guid setGuid;
  std::vector<Element> elements;
  int current = -1;
  bool open = false;
};

} // namespace

std::unique_ptr<DeviceSet> NewDeviceSet() { return std::make_unique<SysfsDeviceSet>(); }

// The sysfs walk has no class lookup, root device or list detail of its own:
// those steps name the walk's own stage.
const char *DiscoveryFunction(DiscoveryStep step) {
  switch (step) {
  case DiscoveryStep::kClassGuid: return "sysfs (klasa ports)";
  case DiscoveryStep::kOpen: return "opendir (class/tty)";
  case DiscoveryStep::kOpenRoot: return "sysfs (urz\271dzenie g\263\363wne)";
  case DiscoveryStep::kListDetail: return "sysfs (lista urz\271dze\361)";
  case DiscoveryStep::kEnumerate: return "readdir (class/tty)";
  case DiscoveryStep::kInstanceId: return "readlink (device)";
  case DiscoveryStep::kProperty: return "read (atrybut sysfs)";
  }
  return "";
}

} // namespace plat
