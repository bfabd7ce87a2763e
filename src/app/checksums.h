// The checksum list of one KE directory, SHA256SUMS, in the layout of GNU
// sha256sum ("<64 lower-case hex digits><blank><blank><name>" per line,
// sorted by name), and the quarantine folder that takes damaged files.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sha256.h"

constexpr const char *kSumsName = "SHA256SUMS";
constexpr const char *kQuarantineName = "uszkodzone";

std::string HexDigest(const plat::Sha256Digest &digest);

class ChecksumList {
public:
  // Reads dir's list. A missing list is an empty one; false when the list
  // exists but cannot be read. Lines that are no checksum line, name no safe
  // file name or repeat a name are left out and counted in badLines (their
  // 1-based numbers).
  bool Load(const std::string &dir);
  // Writes the list whole: a temporary file, flushed, renamed into place,
  // the directory synced. Nothing is written when the list is empty and no
  // list exists yet.
  bool Save(const std::string &dir);

  bool Has(const std::string &name) const { return sums.count(name) != 0; }
  void Set(const std::string &name, const plat::Sha256Digest &digest);
  void Erase(const std::string &name);

  std::map<std::string, std::string> sums;  // name -> hex digest
  std::vector<int> badLines;
  bool present = false;  // the list exists on disk
  bool changed = false;  // differs from the list on disk
};

// Moves dir/name into dir/uszkodzone (created when needed) under the same
// name, or the name with ".1", ".2", ... appended when that is taken; never
// replaces a file. Returns the new path, or an empty text when the file could
// not be moved (it then stays where it was).
std::string Quarantine(const std::string &dir, const std::string &name);
