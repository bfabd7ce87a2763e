#include "fakesysfs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace devsim {
namespace {

bool Fail(std::string *error, const std::string &text) {
  if (error)
    *error = text;
  return false;
}

bool WriteAttr(const fs::path &dir, const char *name, const std::string &value, std::string *error) {
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out << value << '\n';
  out.close();
  return out ? true : Fail(error, "cannot write " + (dir / name).string());
}

// A relative link, as sysfs has them, replacing whatever stood there.
bool Link(const fs::path &target, const fs::path &link, std::string *error) {
  std::error_code ec;
  fs::remove(link, ec);
  fs::path rel = fs::relative(target, link.parent_path(), ec);
  if (ec || rel.empty())
    rel = target;
  fs::create_symlink(rel, link, ec);
  return ec ? Fail(error, "cannot link " + link.string() + ": " + ec.message()) : true;
}

bool MakeDirs(const fs::path &dir, std::string *error) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  return ec ? Fail(error, "cannot create " + dir.string() + ": " + ec.message()) : true;
}

std::string Printf(const char *format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A device directory with its subsystem (and driver) links into bus/.
bool Attach(const fs::path &sys, const fs::path &deviceDir, const std::string &subsystem, const std::string &driver,
            std::string *error) {
  fs::path busDir = sys / "bus" / subsystem;
  if (!MakeDirs(deviceDir, error) || !MakeDirs(busDir / "devices", error) ||
      !Link(busDir, deviceDir / "subsystem", error))
    return false;
  if (driver.empty())
    return true;
  fs::path driverDir = busDir / "drivers" / driver;
  return MakeDirs(driverDir, error) && Link(driverDir, deviceDir / "driver", error);
}

bool BuildOne(const fs::path &sys, const fs::path &dev, const FakeTtyDevice &d, SysfsLayout layout,
              std::string *error) {
  fs::path deviceDir;
  if (!d.usbDevice.empty()) {
    fs::path usbDir = sys / "devices/pci0000:00/0000:00:14.0/usb1" / d.usbDevice;
    fs::path ifDir = usbDir / (d.usbDevice + ":1." + std::to_string(d.interfaceNumber));
    if (!MakeDirs(ifDir, error))
      return false;
    bool ok = WriteAttr(usbDir, "idVendor", d.idVendor, error) && WriteAttr(usbDir, "idProduct", d.idProduct, error) &&
              WriteAttr(usbDir, "bcdDevice", d.bcdDevice, error) &&
              WriteAttr(usbDir, "bNumInterfaces", Printf("%2d", d.numInterfaces), error) &&
              (d.manufacturer.empty() || WriteAttr(usbDir, "manufacturer", d.manufacturer, error)) &&
              (d.product.empty() || WriteAttr(usbDir, "product", d.product, error)) &&
              (d.serial.empty() || WriteAttr(usbDir, "serial", d.serial, error)) &&
              WriteAttr(ifDir, "bInterfaceNumber", Printf("%02x", d.interfaceNumber), error) &&
              WriteAttr(ifDir, "bInterfaceClass", "ff", error) && WriteAttr(ifDir, "bInterfaceSubClass", "ff", error) &&
              WriteAttr(ifDir, "bInterfaceProtocol", "ff", error) &&
              (d.interfaceText.empty() || WriteAttr(ifDir, "interface", d.interfaceText, error));
    if (!ok)
      return false;
    deviceDir = d.subsystem == "usb" ? ifDir : ifDir / d.ttyName;
  } else if (d.subsystem == "platform") {
    deviceDir = sys / "devices/platform/serial8250";
  } else {
    deviceDir = sys / "devices/pnp0" / ("00:0" + d.ttyName.substr(d.ttyName.size() > 0 ? d.ttyName.size() - 1 : 0));
  }

  fs::path classDir;
  if (d.subsystem.empty()) {
    classDir = sys / "devices/virtual/tty" / d.ttyName;
    if (!MakeDirs(classDir, error))
      return false;
  } else {
    if (!Attach(sys, deviceDir, d.subsystem, d.driver, error))
      return false;
    if (layout == SysfsLayout::kSerialBase && d.usbDevice.empty() && d.ttyName.compare(0, 4, "ttyS") == 0) {
      // The serial core's controller and port between the device and its tty.
      const std::string name = deviceDir.filename().string() + ":0";
      fs::path controller = deviceDir / name;
      deviceDir = controller / (name + "." + d.ttyName.substr(4));
      if (!Attach(sys, controller, "serial-base", "ctrl", error) || !Attach(sys, deviceDir, "serial-base", "port", error))
        return false;
    }
    classDir = deviceDir / "tty" / d.ttyName;
    if (!MakeDirs(classDir, error) || !Link(deviceDir, classDir / "device", error))
      return false;
  }
  if (!WriteAttr(classDir, "dev", "188:0", error))
    return false;
  if (d.uartType >= 0 && !WriteAttr(classDir, "type", std::to_string(d.uartType), error))
    return false;
  if (!MakeDirs(sys / "class/tty", error) || !Link(classDir, sys / "class/tty" / d.ttyName, error))
    return false;

  if (!d.nodeTarget.empty()) {
    std::error_code ec;
    fs::remove(dev / d.ttyName, ec);
    fs::create_symlink(d.nodeTarget, dev / d.ttyName, ec);
    if (ec)
      return Fail(error, "cannot link node " + (dev / d.ttyName).string() + ": " + ec.message());
  }
  return true;
}

} // namespace

bool BuildFakeSysfs(const std::string &sysRoot, const std::string &devRoot, const std::vector<FakeTtyDevice> &devices,
                    std::string *error, SysfsLayout layout) {
  fs::path sys = fs::absolute(sysRoot);
  fs::path dev = fs::absolute(devRoot);
  if (!MakeDirs(sys / "class/tty", error) || !MakeDirs(dev, error))
    return false;
  for (const FakeTtyDevice &d : devices)
    if (!BuildOne(sys, dev, d, layout, error))
      return false;
  return true;
}

std::vector<FakeTtyDevice> StandardFakeDevices(const std::vector<std::string> &nodeTargets) {
  auto target = [&](size_t i) { return i < nodeTargets.size() ? nodeTargets[i] : std::string(); };
  std::vector<FakeTtyDevice> list;
  FakeTtyDevice printer;
  printer.ttyName = "ttyUSB0";
  printer.usbDevice = "1-1.2";
  printer.idVendor = "0403";
  printer.idProduct = "6010";
  printer.bcdDevice = "0700";
  printer.manufacturer = "Vemora";
  printer.product = "QX-7";
  printer.interfaceText = "QX-7 Printer COM0";
  printer.interfaceNumber = 0;
  printer.numInterfaces = 2;
  printer.driver = "usbserial_generic";
  printer.subsystem = "usb-serial";
  printer.nodeTarget = target(0);
  list.push_back(printer);

  FakeTtyDevice keChannel = printer;
  keChannel.ttyName = "ttyUSB1";
  keChannel.interfaceText = "QX-7 EJ COM1";
  keChannel.interfaceNumber = 1;
  keChannel.nodeTarget = target(1);
  list.push_back(keChannel);

  FakeTtyDevice module;
  module.ttyName = "ttyUSB2";
  module.usbDevice = "1-1.3";
  module.idVendor = "0403";
  module.idProduct = "6001";
  module.bcdDevice = "0600";
  module.serial = "VK000123";
  module.manufacturer = "Vemora";
  module.product = "SELVAN ORDEK";
  module.numInterfaces = 1;
  module.driver = "usbserial_generic";
  module.subsystem = "usb-serial";
  module.nodeTarget = target(2);
  list.push_back(module);

  FakeTtyDevice adapter;
  adapter.ttyName = "ttyUSB3";
  adapter.usbDevice = "1-1.4";
  adapter.idVendor = "1234";
  adapter.idProduct = "5678";
  adapter.bcdDevice = "0300";
  adapter.manufacturer = "Serial Adapter Works";
  adapter.product = "USB-Serial Controller";
  adapter.numInterfaces = 1;
  adapter.driver = "usbserial_generic";
  adapter.subsystem = "usb-serial";
  adapter.nodeTarget = target(3);
  list.push_back(adapter);

  FakeTtyDevice uart;
  uart.ttyName = "ttyS4";
  uart.driver = "serial";
  uart.subsystem = "pnp";
  uart.uartType = 4;
  uart.nodeTarget = target(4);
  list.push_back(uart);

  FakeTtyDevice placeholder;
  placeholder.ttyName = "ttyS0";
  placeholder.driver = "serial8250";
  placeholder.subsystem = "platform";
  placeholder.uartType = 0;
  list.push_back(placeholder);
  return list;
}

} // namespace devsim
