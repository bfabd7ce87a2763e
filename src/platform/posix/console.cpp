#include "platform/console.h"

#include <atomic>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

extern char **environ;

namespace plat {

namespace {

std::atomic<bool> utf8Console{false};

// Windows-1250 bytes 0x80 to 0xFF as Unicode code points; the five unused
// codes show as the replacement character.
constexpr uint16_t kCp1250High[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021,
    0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

std::string Cp1250ToUtf8(const char *bytes, size_t count) {
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    auto byte = static_cast<uint8_t>(bytes[i]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      continue;
    }
    uint16_t code = kCp1250High[byte - 0x80];
    if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

} // namespace

void ConsoleStart() {
  std::setlocale(LC_CTYPE, "");
  const char *codeset = nl_langinfo(CODESET);
  utf8Console = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

void ConsoleWrite(const char *bytes, size_t count) {
  if (!bytes || count == 0)
    return;
  // One fwrite per call, so lines of different threads do not mix.
  if (utf8Console) {
    std::string text = Cp1250ToUtf8(bytes, count);
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else {
    std::fwrite(bytes, 1, count, stdout);
  }
  std::fflush(stdout);
}

void ConsoleWrite(const std::string &text) { ConsoleWrite(text.data(), text.size()); }

int ConsoleReadChar() {
  int c = std::getchar();
  return c == EOF ? -1 : c;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char **entry = environ; entry && *entry; ++entry)
    entries.emplace_back(*entry);
  return entries;
}

std::string GetEnv(const char *name) {
  const char *value = name ? std::getenv(name) : nullptr;
  return value ? value : "";
}

} // namespace plat
