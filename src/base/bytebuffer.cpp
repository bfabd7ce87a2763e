#include "base/bytebuffer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/numtext.h"
#include "platform/clock.h"

namespace {

constexpr int kInitialCapacity = 100;

uint8_t *ZeroedArray(int size) {
  auto *bytes = new uint8_t[size];
  std::memset(bytes, 0, size);
  return bytes;
}

// Windows-1250 letter and its Mazovia code, in lookup order.
struct MazoviaPair {
  uint8_t win1250;
  uint8_t mazovia;
};
constexpr MazoviaPair kMazovia[] = {
    {0xA5, 0x8F}, {0xC6, 0x95}, {0xCA, 0x90}, {0xA3, 0x9C}, {0xD1, 0xA5}, {0xD3, 0xA3},
    {0x8C, 0x98}, {0x8F, 0xA0}, {0xAF, 0xA1}, {0xB9, 0x86}, {0xE6, 0x8D}, {0xEA, 0x91},
    {0xB3, 0x92}, {0xF1, 0xA4}, {0xF3, 0xA2}, {0x9C, 0x9E}, {0x9F, 0xA6}, {0xBF, 0xA7},
};

// Replaces each byte the table holds in the `from` column with its `to`
// column; bytes below 0x80 and those without a pair stay.
void Recode(uint8_t *data, int length, uint8_t MazoviaPair::*from, uint8_t MazoviaPair::*to) {
  for (int i = 0; i < length; ++i) {
    if (data[i] < 0x80)
      continue;
    for (const auto &pair : kMazovia)
      if (pair.*from == data[i]) {
        data[i] = pair.*to;
        break;
      }
  }
}

} // namespace

ByteBuffer::ByteBuffer() : capacity(kInitialCapacity), data(ZeroedArray(kInitialCapacity)) {}

ByteBuffer::ByteBuffer(const char *text) {
  int textLength = text ? static_cast<int>(std::strlen(text)) : 0;
  capacity = std::max(kInitialCapacity, 2 * textLength);
  data = ZeroedArray(capacity);
  Grow(textLength + 1);
  if (textLength > 0)
    std::memcpy(data, text, textLength);
  length = textLength;
}

ByteBuffer::ByteBuffer(uint8_t byte) : ByteBuffer() { AppendChar(byte); }

ByteBuffer::ByteBuffer(const ByteBuffer &other)
    : capacity(other.capacity), length(other.length), data(new uint8_t[other.capacity]) {
  std::memcpy(data, other.data, capacity);
}

ByteBuffer &ByteBuffer::operator=(const ByteBuffer &other) {
  Assign(other);
  return *this;
}

ByteBuffer::~ByteBuffer() { delete[] data; }

void ByteBuffer::Assign(const ByteBuffer &other) {
  if (&other == this)
    return;
  auto *copy = new uint8_t[other.capacity];
  std::memcpy(copy, other.data, other.capacity);
  delete[] data;
  data = copy;
  capacity = other.capacity;
  length = other.length;
}

int ByteBuffer::TextLength() const {
  const void *zero = std::memchr(data, 0, length);
  return zero ? static_cast<int>(static_cast<const uint8_t *>(zero) - data) : length;
}

uint8_t ByteBuffer::CharAt(int pos) const {
  if (pos < 0 || pos > length)
    return 0;
  return data[pos];
}

void ByteBuffer::Clear() {
  std::memset(data, 0, capacity);
  length = 0;
}

void ByteBuffer::Grow(int n) {
  if (static_cast<int64_t>(length) + n + 10 <= capacity)
    return;
  int64_t wanted = (static_cast<int64_t>(capacity) + n) * 2 + 10;
  if (wanted > INT_MAX)
    throw std::bad_alloc();
  int newCapacity = static_cast<int>(wanted);
  uint8_t *grown = ZeroedArray(newCapacity);
  std::memcpy(grown, data, capacity);
  delete[] data;
  data = grown;
  capacity = newCapacity;
}

void ByteBuffer::SetLength(int newLength) {
  length = std::clamp(newLength, 0, capacity);
  for (int i = length; i < length + 2 && i < capacity; ++i)
    data[i] = 0;
}

void ByteBuffer::AppendBytes(const void *bytes, int count) {
  if (!bytes || count <= 0)
    return;
  const auto *source = static_cast<const uint8_t *>(bytes);
  // The bytes may lie in this buffer's own data, which Grow may move.
  if (source >= data && source < data + capacity) {
    std::string copy(reinterpret_cast<const char *>(source), count);
    AppendBytes(copy.data(), count);
    return;
  }
  Grow(count + 1);
  std::memcpy(data + length, source, count);
  length += count;
  data[length] = 0;
  data[length + 1] = 0;
}

void ByteBuffer::Append(const ByteBuffer &other) { AppendBytes(other.data, other.length); }

void ByteBuffer::AppendText(const char *text) {
  if (!text)
    return;
  AppendBytes(text, static_cast<int>(std::strlen(text)));
}

void ByteBuffer::AppendChar(uint8_t byte) {
  Grow(2);
  data[length++] = byte;
  data[length] = 0;
  data[length + 1] = 0;
}

bool ByteBuffer::AppendTimestamp() {
  Grow(30);
  plat::LocalTime t = plat::Now();
  char stamp[64];
  int written = std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d.%03d", t.year, t.month,
                              t.day, t.hour, t.minute, t.second, t.millisecond);
  if (written <= 0)
    return false;
  AppendBytes(stamp, std::min(written, static_cast<int>(sizeof stamp) - 1));
  return true;
}

bool ByteBuffer::Remove(int pos, int count) {
  if (count == 0 || length == 0)
    return true;
  if (pos < 0 || count < 0)
    return false;
  if (pos >= length)
    return true;
  count = std::min(count, length - pos);
  // Move the tail and the zero after it down, then clear the bytes freed.
  std::memmove(data + pos, data + pos + count, length - pos - count + 1);
  std::memset(data + length - count, 0, count);
  length -= count;
  data[length] = 0;
  if (length + 1 < capacity)
    data[length + 1] = 0;
  return true;
}

int ByteBuffer::Find(const char *text) const {
  if (!text || !*text)
    return -1;
  size_t textLength = std::strlen(text);
  const uint8_t *begin = data;
  const uint8_t *end = data + length;
  const uint8_t *hit = std::search(begin, end, text, text + textLength,
                                   [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
  return hit == end ? -1 : static_cast<int>(hit - data);
}

void ByteBuffer::ReplaceChar(uint8_t from, uint8_t to) {
  for (int i = 0; i < length; ++i)
    if (data[i] == from)
      data[i] = to;
}

uint8_t ByteBuffer::XorSum(int count, uint8_t seed) const {
  if (count <= 0 || count > length)
    count = length;
  uint8_t sum = seed;
  for (int i = 0; i < count; ++i)
    sum ^= data[i];
  return sum;
}

void ByteBuffer::ToMazovia() { Recode(data, length, &MazoviaPair::win1250, &MazoviaPair::mazovia); }

void ByteBuffer::FromMazovia() { Recode(data, length, &MazoviaPair::mazovia, &MazoviaPair::win1250); }

int ByteBuffer::ParseInt(const char *text, int64_t *value) const {
  size_t used = 0;
  int64_t number = DecimalAt(text ? text : Text(), &used);
  if (value)
    *value = number;
  return static_cast<int>(used);
}

int64_t ByteBuffer::TakeInt() {
  int64_t value = 0;
  int consumed = ParseInt(nullptr, &value);
  Remove(0, consumed + 1);
  return value;
}

bool ByteBuffer::SkipPast(const char *key) {
  int at = Find(key);
  if (at < 0)
    return false;
  Remove(0, at + static_cast<int>(std::strlen(key)));
  return true;
}

int64_t ByteBuffer::TakeIntAfter(const char *key) { return SkipPast(key) ? TakeInt() : 0; }

double ByteBuffer::TakeFloat() {
  char work[101];
  int copied = 0;
  bool pointSeen = false;
  while (copied < 100 && copied < length) {
    char c = static_cast<char>(data[copied]);
    if (c == '.' || c == ',') {
      if (pointSeen)
        break;
      pointSeen = true;
      c = '.';
    } else if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')) {
      break;
    }
    work[copied++] = c;
  }
  work[copied] = 0;
  double value = 0;
  if (std::sscanf(work, "%lf", &value) == 1) {
    Remove(0, copied + 1);
    return value;
  }
  return 0;
}

bool ByteBuffer::NextIsDecimal() const {
  auto first = [this](char c) {
    const void *hit = std::memchr(data, c, length);
    return hit ? static_cast<int>(static_cast<const uint8_t *>(hit) - data) : -1;
  };
  int point = first('.');
  if (point < 0)
    return false;
  int fieldEnd = length;
  for (char separator : {',', ' ', ';', '/'}) {
    int at = first(separator);
    if (at > 0 && at < fieldEnd)
      fieldEnd = at;
  }
  return point < fieldEnd;
}

std::string Printable(const std::string &text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string shown;
  for (char ch : text) {
    auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "[x";
      shown += hex[byte >> 4];
      shown += hex[byte & 15];
      shown += ']';
    } else {
      shown += ch;
    }
  }
  return shown;
}
