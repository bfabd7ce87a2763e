// The checksum list of one KE directory, SHA256SUMS, in the layout of GNU
// sha256sum ("<64 lower-case hex digits><blank><blank><name>" per line,
// sorted by name), and the quarantine folder that takes damaged files.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/kedirectory.h"
#include "platform/sha256.h"

constexpr const char *kSumsName = "SHA256SUMS";

std::string HexDigest(const plat::Sha256Digest &digest);

class ChecksumList {
public:
  // Reads dir's list. A missing list is an empty one; false when the list
  // exists but cannot be read (or is no file). A list that is a link is not
  // read: it counts as empty and is replaced by a file when written. Lines
  // that are no checksum line or name no safe file are left out; so is a
  // second line for a name, which is kept in repeats. Each of them is
  // counted in badLines (its 1-based number).
  bool Load(const plat::Dir &dir);
  bool Load(const std::string &dir);
  // Puts the changes since the last Load or Save on disk. New lines whose
  // names sort after every name of the list are appended (one write, then
  // synced): the cost stays flat however long the list is, and the list on
  // disk is whole at every moment. Any other change writes the list whole
  // (PutInPlace), merged with the list on disk at that moment, so that the
  // lines another writer added meanwhile stay; damaged lines go. Nothing is
  // written when the list is empty and no list exists yet.
  bool Save(const plat::Dir &dir);
  bool Save(const std::string &dir);
  // Whether Save has anything to write.
  bool Changed() const { return rewrite || !edits.empty(); }
  // The next Save writes the list whole (it drops the damaged lines).
  void RewriteWhole() { rewrite = true; }

  bool Has(const std::string &name) const { return sums.count(name) != 0; }
  // Whether hex is one of name's lines.
  bool Matches(const std::string &name, const std::string &hex) const;
  // Makes digest name's only line.
  void Set(const std::string &name, const plat::Sha256Digest &digest);
  void Erase(const std::string &name);

  std::map<std::string, std::string> sums;          // name -> hex digest of its first line
  std::multimap<std::string, std::string> repeats;  // further lines for a listed name
  std::vector<int> badLines;
  bool present = false;  // the list exists on disk
  bool linked = false;   // the list on disk is a link

private:
  // Name -> its new line, or none when it goes.
  std::map<std::string, std::optional<std::string>> edits;
  bool rewrite = false;   // the next Save writes the whole list
  std::string lastName;   // the highest name the list on disk holds
};

// Moves dir/name (a link as the link) into dir/uszkodzone (created when
// needed; one that is a link or no folder is not used) under the same
// name, or the name with ".1", ".2", ... appended when that is taken; never
// replaces a file. Returns the new path, or an empty text when the entry
// could not be moved (it then stays where it was).
std::string Quarantine(const plat::Dir &dir, const std::string &name);
