#include "platform/posix/comtty.h"

namespace plat {
namespace {

struct Family {
  std::string_view prefix;
  int base;
};
// ttyS last: it is a prefix of neither other name, but they are tried first.
constexpr Family kFamilies[] = {{"ttyUSB", 33}, {"ttyACM", 65}, {"ttyS", 1}};
constexpr int kPerFamily = 32;

} // namespace

int ComNumberOfTty(std::string_view tty) {
  for (const Family &family : kFamilies) {
    if (tty.substr(0, family.prefix.size()) != family.prefix)
      continue;
    std::string_view digits = tty.substr(family.prefix.size());
    if (digits.empty() || digits.size() > 2 || (digits.size() == 2 && digits[0] == '0'))
      return 0;
    int k = 0;
    for (char c : digits) {
      if (c < '0' || c > '9')
        return 0;
      k = k * 10 + (c - '0');
    }
    return k < kPerFamily ? k + family.base : 0;
  }
  return 0;
}

std::string TtyOfCom(long com) {
  for (const Family &family : kFamilies) {
    if (com >= family.base && com < family.base + kPerFamily)
      return std::string(family.prefix) + std::to_string(com - family.base);
  }
  return {};
}

} // namespace plat
