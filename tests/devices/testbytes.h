// Small helpers of the device tests: frames from bytes, bytes as hex, and
// timing a call.
#pragma once

#include <chrono>
#include <string>

#include "base/bytebuffer.h"

// "1B 50 26" for the bytes 0x1B 0x50 0x26.
inline std::string Hex(const std::string &bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty())
      out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline ByteBuffer Frame(const std::string &bytes) {
  ByteBuffer frame;
  frame.AppendBytes(bytes.data(), static_cast<int>(bytes.size()));
  return frame;
}
inline std::string Text(const ByteBuffer &b) { return std::string(b.Text(), static_cast<size_t>(b.Length())); }
inline std::string Hex(const ByteBuffer &b) { return Hex(Text(b)); }

// Milliseconds taken by f().
template <class F> long long TimedMs(F &&f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
      .count();
}
