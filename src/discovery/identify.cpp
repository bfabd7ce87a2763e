// Port identification: what the texts of one device say about it (COM number,
// model code, vendor and revision, and the numbers that tie the interfaces of
// one physical device together).
#include "discovery/usbclass.h"

#include "devices/drukarka.h"

#include <cstdio>

namespace {

std::string Upper(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool Contains(const std::string &text, const char *pattern) { return text.find(pattern) != std::string::npos; }

// Part n of a text split at every '&' (part 0 before the first '&'); a part
// the text does not have is empty, a negative n means part 0.
std::string Part(const std::string &text, int n) {
  if (n < 0)
    n = 0;
  size_t start = 0;
  for (int i = 0; i < n; ++i) {
    size_t amp = text.find('&', start);
    if (amp == std::string::npos)
      return std::string();
    start = amp + 1;
  }
  size_t end = text.find('&', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// A hexadecimal number at pos: leading white space, an optional sign and an
// optional 0x, then hex digits of either case; no digits give 0. Digits past
// 64 bits keep the low 64 bits.
uint64_t HexAt(const std::string &text, size_t pos) {
  size_t i = pos;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0)
    i += 2;
  uint64_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i)
    value = (value << 4) | static_cast<uint64_t>(HexDigit(text[i]));
  return negative ? ~value + 1 : value;
}

uint64_t HexAfter(const std::string &text, const char *token) {
  size_t at = text.find(token);
  if (at == std::string::npos)
    return 0;
  return HexAt(text, at + std::char_traits<char>::length(token));
}

// The decimal number after the first occurrence of token: blanks, one sign,
// then digits up to the first other character (none gives 0).
int64_t DecimalAfter(const std::string &text, const char *token) {
  size_t at = text.find(token);
  if (at == std::string::npos)
    return 0;
  size_t i = at + std::char_traits<char>::length(token);
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  return static_cast<int64_t>(negative ? ~value + 1 : value);
}

void ReadHardwareId(VemoraPortsType &record, const std::string &text) {
  record.hardwareId = Upper(text);
  record.configPid = Part(record.hardwareId, 1);
  record.version = static_cast<int32_t>(DecimalAfter(Part(record.hardwareId, 2), "REV_"));
  record.vendorId = static_cast<int32_t>(HexAfter(record.hardwareId, "VID_"));
}

// The two identity numbers from the upper-case instance identifier: the last
// non-empty '&' part (1 to 10) is the device number; two parts before it and
// the digits after the backslash of the part before that give the system
// number, equal for the interfaces of one physical device.
void ReadIdentity(VemoraPortsType &record) {
  int k = 0;
  for (int n = 10; n >= 1; --n)
    if (!Part(record.systemId, n).empty()) {
      k = n;
      break;
    }
  if (k == 0)
    return;
  record.deviceNumber = static_cast<uint32_t>(HexAt(Part(record.systemId, k), 0));
  if (k >= 3)
    record.systemNumber = HexAt(Part(record.systemId, k - 2), 0);
  record.systemNumber <<= 8;
  std::string base = Part(record.systemId, k - 3);
  size_t slash = base.find('\\');
  if (slash != std::string::npos)
    record.systemNumber |= HexAt(base, slash + 1);
}

void ReadFriendlyName(VemoraPortsType &record, const std::string &text) {
  std::string upper = Upper(text);
  record.comNumber = 0;
  if (Contains(upper, "(COM")) {
    record.comNumber = static_cast<int32_t>(DecimalAfter(upper, "(COM"));
    char name[24];
    std::snprintf(name, sizeof name, "com%d", static_cast<int>(record.comNumber));
    record.portName = name;
  } else {
    record.portName = UndefinedPortText();
  }
  ReadIdentity(record);
}

int ModelCode(const std::string &description) {
  std::string upper = Upper(description);
  if (Contains(upper, "TORVEN USB"))
    return 1;
  if (Contains(upper, "KALDOR USB"))
    return 2;
  if (Contains(upper, "SELVAN ORDEK"))
    return 3;
  if (Contains(upper, "QX-7")) {
    if (Contains(upper, "COM0"))
      return 4;
    return Contains(upper, "COM1") ? 5 : 0;
  }
  size_t ej = upper.find("EJ");
  if (Contains(upper, "COM1,") && ej != std::string::npos && ej > 0)
    return 5;
  return 0;
}

} // namespace

const char *UndefinedPortText() {
  return deviceLanguage != 0 ? "No definition serial port" : "Port szeregowy niezdefiniowany";
}

void InterpretProperty(VemoraPortsType &record, int code, const std::string &text) {
  switch (code) {
  case 1:
    ReadHardwareId(record, text);
    break;
  case 2:
    record.compatibleId = text;
    break;
  case 12:
    ReadFriendlyName(record, text);
    break;
  case 0:
    record.deviceName = text;
    record.deviceCode = ModelCode(text);
    break;
  default:
    break;
  }
}
