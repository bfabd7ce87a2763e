// Fake sysfs tree and device root, so that the Linux build of zarvik finds
// simulated serial devices (run it with ZARVIK_SYSFS_ROOT=<sysRoot> and
// ZARVIK_DEV_ROOT=<devRoot>).
//
// The tree mirrors what the kernel shows:
//   <sysRoot>/class/tty/<tty>            -> link to the tty's class directory
//   .../<tty class dir>/device           -> link to the tty's device directory
//   <device dir>/subsystem, driver       -> links into <sysRoot>/bus/<subsystem>
//   <sysRoot>/devices/.../usb1/<usbDevice>/            idVendor, idProduct, ...
//   <sysRoot>/devices/.../usb1/<usbDevice>/<usbDevice>:1.<i>/  bInterfaceNumber, ...
//   <tty class dir>/type                 -> a ttyS port's UART type (0: none)
// In the serial-base layout (kernels from 6.5 on) a ttyS port's device is
// not the PNP or platform device itself but a port below a controller below
// it, both of subsystem serial-base:
//   <real device>/<name>:0/<name>:0.<n>/tty/ttyS<n>
// Devices that give the same usbDevice share one USB device directory (one
// interface each), as the interfaces of a two-port device do.
#pragma once

#include <string>
#include <vector>

namespace devsim {

struct FakeTtyDevice {
  std::string ttyName;         // ttyUSB0, ttyACM0, ttyS0, ...
  std::string usbDevice;       // USB device directory name ("1-1.2"); empty: not a USB device
  std::string idVendor;        // as the kernel prints it: "0403"
  std::string idProduct;       // "6001"
  std::string bcdDevice;       // "0600"
  std::string serial;          // may be empty (the file is then not written)
  std::string manufacturer;
  std::string product;
  std::string interfaceText;   // the interface's "interface" text; may be empty
  int interfaceNumber = 0;     // written as "%02x"
  int numInterfaces = 1;       // written as "%2d"
  std::string driver;          // driver of the tty's device directory (usbserial_generic, cdc_acm, serial)
  // Subsystem of the tty's device directory: "usb-serial" (ttyUSB under an
  // interface), "usb" (ttyACM: the interface itself), "pnp" (a real ttyS),
  // "platform" (a ttyS placeholder without UART); empty: no device link.
  std::string subsystem;
  std::string nodeTarget;      // what <devRoot>/<ttyName> links to; empty: no node
  int uartType = -1;           // a ttyS's "type" attribute (0: no UART); -1: no such file
};

// How the kernel hangs a ttyS port below its device: directly (kernels
// before 6.5), or below a serial-base controller and port (6.5 and later).
enum class SysfsLayout { kClassic, kSerialBase };

// Builds the tree under sysRoot and the tty links under devRoot (both are
// created if missing; existing entries of the same names are replaced).
// Returns false and sets error on the first failure.
bool BuildFakeSysfs(const std::string &sysRoot, const std::string &devRoot,
                    const std::vector<FakeTtyDevice> &devices, std::string *error = nullptr,
                    SysfsLayout layout = SysfsLayout::kClassic);

// The devices of the usual test set-up: the two-port device ("QX-7 ... COM0"
// and "QX-7 ... COM1", one USB device, two interfaces), a stand-alone KE module
// ("SELVAN ORDEK"), a plain USB serial adapter of another vendor, a ttyS
// printer port with a UART (ttyS4, com5, type 4) and a ttyS placeholder
// without UART (ttyS0, type 0, of the platform device; skipped by the walk). nodeTargets, when given, are the tty node
// targets in this order: printer channel (ttyUSB0, com33), KE channel
// (ttyUSB1, com34), KE module (ttyUSB2, com35), adapter (ttyUSB3, com36),
// ttyS printer port (ttyS4, com5).
std::vector<FakeTtyDevice> StandardFakeDevices(const std::vector<std::string> &nodeTargets = {});

} // namespace devsim
