// iBuffer: the one growable byte container of the program.
//
// Every frame sent or received, every log line, every path assembled byte by
// byte, every file loaded or saved and every device identifier taken apart
// passes through it. The data may hold any byte, zero included, and is always
// followed by two zero bytes, so Data() can also be read as a C text (which
// ends early when the data itself holds a zero).
//
// Promises:
//  - capacity is at least 100 and never shrinks; every allocation is zero-filled;
//  - growth: nothing happens while length + n + 10 <= capacity, otherwise the
//    new capacity is (capacity + n) * 2 + 10;
//  - the number-to-text operations return texts that stay readable until the
//    next Clear, assignment or the buffer's end, and never overrun their area:
//    when the area is full a further area is allocated and the earlier texts
//    stay where they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class iBuffer {
public:
  iBuffer();
  explicit iBuffer(const char *text);
  explicit iBuffer(uint8_t byte);
  iBuffer(const iBuffer &other);
  iBuffer &operator=(const iBuffer &other);
  virtual ~iBuffer();

  // Access and housekeeping.
  int Length() const { return length; }
  uint8_t *Data() { return data; }
  const uint8_t *Data() const { return data; }
  const char *Text() const { return reinterpret_cast<const char *>(data); }
  int TextLength() const;
  int FreeSpace() const { return capacity - length; }
  uint8_t CharAt(int pos) const;
  void Clear();
  void Grow(int n);
  void Assign(const iBuffer &other);
  // Sets length directly (after writing into the free space, or to cut
  // trailing bytes); the two bytes after the new end are zeroed while they
  // lie inside the allocation.
  void SetLength(int newLength);

  // Appending and combining.
  void Append(const iBuffer &other);
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

  // Number to text.
  const char *HexByte(uint8_t value);
  const char *HexText(int32_t value);
  const char *HexTextU(uint32_t value);
  const char *Hex64Text(uint64_t value);
  const char *FloatText(double value);
  void SetFloatFormat(const char *format);

  // Files (paths in the system code page).
  bool SaveFile(const char *path) const;

private:
  // Removes everything up to and including the first occurrence of key;
  // false (nothing removed) when key is empty or missing.
  bool SkipPast(const char *key);
  const char *StoreNumberText(const char *text);
  void Release();

  char *floatFormat = nullptr;
  // Number-to-text areas: the current one is the last; earlier full ones are
  // kept so that texts handed out before stay valid.
  std::vector<std::unique_ptr<char[]>> scratch;
  int capacity = 0;
  int scratchOffset = 0;
  int scratchUsed = 0;  // bytes taken in the current area
  int scratchSize = 0;  // size of the current area
  int length = 0;
  uint8_t *data = nullptr;
};

// text with control bytes (below 0x20, and 0x7F) shown as [xHH], for log lines.
std::string Printable(const std::string &text);
