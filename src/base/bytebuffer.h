// ByteBuffer: the byte buffer of the device protocols.
//
// Frames sent and replies received (the fetched files among them), the
// texts of the discovery walk and its report, and each log file line pass
// through it. The data may hold any byte, zero included, and is always
// followed by two zero bytes, so Data() can also be read as a C text (which
// ends early when the data itself holds a zero).
//
// Every allocation is zero-filled; capacity never shrinks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ByteBuffer {
public:
  ByteBuffer();
  explicit ByteBuffer(const char *text);
  explicit ByteBuffer(uint8_t byte);
  ByteBuffer(const ByteBuffer &other);
  ByteBuffer &operator=(const ByteBuffer &other);
  virtual ~ByteBuffer();

  // Access and housekeeping.
  int Length() const { return length; }
  uint8_t *Data() { return data; }
  const uint8_t *Data() const { return data; }
  const char *Text() const { return reinterpret_cast<const char *>(data); }
  int TextLength() const;
  uint8_t CharAt(int pos) const;
  void Clear();
  void Grow(int n);
  void Assign(const ByteBuffer &other);
  // Sets length directly (after writing into the free space, or to cut
  // trailing bytes); the two bytes after the new end are zeroed while they
  // lie inside the allocation.
  void SetLength(int newLength);

  // Appending and combining.
  void Append(const ByteBuffer &other);
  void AppendBytes(const void *bytes, int count);
  void AppendText(const char *text);
  void AppendChar(uint8_t byte);
  bool AppendTimestamp();

  // Editing and inspection.
  bool Remove(int pos, int count);
  int Find(const char *text) const;
  void ReplaceChar(uint8_t from, uint8_t to);
  uint8_t XorSum(int count, uint8_t seed) const;
  void ToMazovia();
  void FromMazovia();

  // Reading values off the front.
  int ParseInt(const char *text, int64_t *value) const;
  int64_t TakeInt();
  int64_t TakeIntAfter(const char *key);
  double TakeFloat();
  bool NextIsDecimal() const;

private:
  // Removes everything up to and including the first occurrence of key;
  // false (nothing removed) when key is empty or missing.
  bool SkipPast(const char *key);

  int capacity = 0;
  int length = 0;
  uint8_t *data = nullptr;
};

// text with control bytes (below 0x20, and 0x7F) shown as [xHH], for log lines.
std::string Printable(const std::string &text);
