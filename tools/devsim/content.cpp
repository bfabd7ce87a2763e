// Texts the simulated devices send: file contents, the Directory, the
// identity reply, the printer's information reply.
#include <cstdio>
#include <string>

#include "platform/numtext.h"
#include "devsim.h"

namespace devsim {
namespace {

constexpr char kSub = 0x1A;

// Digits grouped by three from the right with single spaces: 3456 -> "3 456".
std::string Grouped(int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out;
  int lead = static_cast<int>(digits.size() % 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (static_cast<int>(i) - lead) % 3 == 0)
      out += ' ';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

} // namespace

std::string FileContent(int number, int size, std::string_view fill) {
  std::string out;
  if (size <= 0)
    return out;
  out.reserve(size);
  if (!fill.empty()) {
    while (static_cast<int>(out.size()) < size)
      out += fill;
  } else {
    char line[48];
    for (int row = 0; static_cast<int>(out.size()) < size; ++row) {
      std::snprintf(line, sizeof line, "Z%04d WYDRUK %06d ABCDEFGHIJ 0123456789\r\n", number, row);
      out += line;
    }
  }
  out.resize(size);
  for (char &c : out)
    if (c == kSub || static_cast<uint8_t>(c) == 0xFF)
      c = '.';
  return out;
}

KeFile MakeFile(int number, int size, std::string date) {
  KeFile file;
  file.number = number;
  file.date = std::move(date);
  file.content = FileContent(number, size);
  return file;
}

std::string DirectoryText(const KeConfig &cfg) {
  std::string out = "KOPIA ELEKTRONICZNA - KATALOG PLIKOW\r\n";
  out += "NR FABRYCZNY: " + cfg.serial + "\r\n";
  out += "NR UNIKATOWY: " + cfg.fiscal + "\r\n";
  out += "\r\n";
  for (const KeFile &file : cfg.files) {
    char name[16];
    std::snprintf(name, sizeof name, "Z%04d", file.number < 0 ? 0 : file.number % 10000);
    int size = file.listedSize >= 0 ? file.listedSize : static_cast<int>(file.content.size());
    // Fields apart by two blanks so that the reader never joins two numbers;
    // the size's own digit groups are apart by single blanks.
    std::string line = std::string(" ") + name + " " + file.type + " " + file.date + "  " +
                       std::to_string(file.value) + "  " + Grouped(size) + " OK";
    if (line.size() < 52)
      line.resize(52, ' ');
    out += line + "\r\n";
  }
  out += "\r\n";
  out += "FLASH CAPACITY: " + Grouped(cfg.flashCapacity) + "\r\n";
  out += "INVALID BLOCKS: " + Grouped(cfg.invalidBlocks) + "\r\n";
  out += "USABLE CAPACITY: " + Grouped(cfg.usableCapacity) + "\r\n";
  out += "FREE SPACE: " + Grouped(cfg.freeSpace) + "\r\n";
  out += kSub;
  return out;
}

std::string IdentityText(const KeConfig &cfg) {
  std::string version = cfg.versionText.empty() ? "EJ2 v1.07" : cfg.versionText;
  std::string out;
  out += "KOPIA ELEKTRONICZNA\r\n";      // line 1
  out += "NR UNIKATOWY PAMIECI:\r\n";    // line 2
  out += cfg.fiscal + "\r\n";            // line 3
  out += "NR FABRYCZNY:\r\n";            // line 4
  out += cfg.serial + "\r\n";            // line 5
  out += "WERSJA:\r\n";                  // line 6
  out += version + "\r\n";               // line 7
  out += "PLIKOW:\r\n";                  // line 8
  out += std::to_string(cfg.files.size()) + "\r\n"; // line 9
  out += kSub;
  return out;
}

std::string FileReply(const KeFile &file, char kind) {
  std::string out = file.content;
  out += (kind == '3' && file.number > 0) ? '\xFF' : kSub;
  return out;
}

std::string InfoReply(const std::string &fiscal) {
  // The program consumes "#X" and an integer, four integers, one more, a
  // date of three integers, seven decimals that are absent here (no '.'
  // before the next ';'), an integer, and two decimals; what is left is the
  // fiscal-memory number.
  return "\x1bP1#X1;1;2;3;4;5;24;1;15;0;0.00;0.00;" + fiscal + "\x1b\\";
}

bool ParseBytes(std::string_view word, std::string *out) {
  out->clear();
  if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'') {
    std::string_view body = word.substr(1, word.size() - 2);
    for (size_t i = 0; i < body.size(); ++i) {
      char c = body[i];
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (++i >= body.size())
        return false;
      switch (body[i]) {
      case 'r': *out += '\r'; break;
      case 'n': *out += '\n'; break;
      case 's': *out += ' '; break;
      case '\\': *out += '\\'; break;
      case '\'': *out += '\''; break;
      case 'x': {
        if (i + 2 >= body.size())
          return false;
        int hi = HexDigit(body[i + 1]), lo = HexDigit(body[i + 2]);
        if (hi < 0 || lo < 0)
          return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return false;
      }
    }
    return true;
  }
  if (word.empty() || word.size() % 2 != 0)
    return false;
  for (size_t i = 0; i < word.size(); i += 2) {
    int hi = HexDigit(word[i]), lo = HexDigit(word[i + 1]);
    if (hi < 0 || lo < 0)
      return false;
    *out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

} // namespace devsim
