// Fault engines of the simulator: a KE module and a fiscal printer that
// misbehave the way worn cables, tired modules and unusual set-ups do.
//
// A faulty KE is an ordinary KE engine (KeConfig) behind a filter that sees
// every request and may disturb the reply to it: bytes corrupted or dropped
// (line noise), bytes put in front of the Directory (very long lines, NUL
// bytes), or a file request answered by a stream that does not end. A faulty
// printer relays like an ordinary one but leaves the relay on its own after a
// number of relayed bytes.
//
// Noise is drawn from a small seeded generator, so a fault plan disturbs the
// same bytes in every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devsim.h"
#include "engines.h"

namespace devsim {

enum class ReplyKind { kIdentity, kDirectory, kFile };

struct ReplyNoise {
  ReplyKind kind = ReplyKind::kFile;
  int fileNumber = -1;   // kFile: the file whose replies are disturbed; -1 any
  int firstReply = 1;    // the first disturbed reply of this kind (1: the first)
  int replies = 1;       // how many replies from there on are disturbed
  int corrupt = 0;       // bytes changed to another value
  int drop = 0;          // bytes left out
  bool keepLast = true;  // never touch the reply's last byte (its terminator)
  int corruptTail = 0;   // the reply's last bytes changed (a lost end marker)
  uint32_t seed = 1;
};

struct KeFaults {
  std::vector<ReplyNoise> noise;
  // Put in front of every Directory reply (after the noise).
  std::string directoryPrefix;
  // Put after the Directory's first file line (the one with Z0000).
  std::string directoryInsert;
  // A request for this file number is answered by streamBytes bytes without
  // an end byte, again for every request of it; -1: none.
  int streamFile = -1;
  size_t streamBytes = size_t{40} << 20;
};

struct PrinterFaults {
  // Once the relay has passed this many bytes on to the KE, the printer
  // leaves the relay by itself; -1: never.
  long leaveRelayAfter = -1;
};

std::unique_ptr<Engine> MakeFaultyKe(KeConfig cfg, KeFaults faults);
std::unique_ptr<Engine> MakeFaultyPrinter(PrinterConfig cfg, PrinterFaults faults);

// Applies one noise rule to bytes (what the KE filter does to a reply).
std::string ApplyNoise(std::string bytes, const ReplyNoise &noise, uint32_t salt);

} // namespace devsim
