// The checksum list of one KE directory, SHA256SUMS, in the layout of GNU
// sha256sum ("<64 lower-case hex digits><blank><blank><name>" per line,
// sorted by name), and the quarantine folder that takes damaged files.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/kedirectory.h"
#include "platform/files.h"
#include "platform/sha256.h"

constexpr const char *kSumsName = "SHA256SUMS";

std::string HexDigest(const plat::Sha256Digest &digest);

// The largest list read: far above any KE's (some 100 bytes a file).
constexpr uint64_t kMaxSumsBytes = 64u << 20;

// A line vouches for the bytes the KE sent: the run adds lines only for
// files it fetched (or, for a file the KE no longer lists, read from disk),
// and never changes or removes one. Of two lines for one name the first
// rules.
class ChecksumList {
public:
  // Reads dir's list. A missing list is an empty one. False when the list
  // exists but cannot be read whole (a link, a FIFO, a folder, a read error,
  // more than kMaxSumsBytes): error gives the system's reason, and the list
  // is never written (Save refuses). A line that is no "<hex>  <name>" line
  // of a bare archive file name (a "*" binary-mode line, a path, a foreign
  // name) is left out and counted in badLines, the ones that do name a file
  // also in foreignLines; a later line for a name is kept in repeats (its
  // number in repeatLines). A last line without its line feed (a writer
  // that died in it) is no line.
  bool Load(const plat::Dir &dir);
  bool Load(const std::string &dir);
  // Puts the lines added since the last Load or Save on disk. When every
  // new name sorts after every name of the list they are appended (one
  // write, then synced): the cost stays flat however long the list is, and
  // the list on disk is whole at every moment. Otherwise the list is written
  // whole (PutInPlace), merged with the list on disk at that moment, so the
  // lines another writer added meanwhile stay; bad lines go (and with
  // RewriteWhole(true) the repeats too). Nothing is written when the list is
  // empty and no list exists yet. False (nothing written) for a list that
  // could not be read.
  bool Save(const plat::Dir &dir);
  bool Save(const std::string &dir);
  // Whether Save has anything to write.
  bool Changed() const { return rewrite || !added.empty(); }
  // Whether lines may be added: the list was read whole and holds no bad
  // line (a run must not bury a line it does not understand).
  bool Writable() const { return readable && badLines.empty(); }
  // The next Save writes the list whole, without its bad lines and, with
  // dropRepeats, without the later lines for a name.
  void RewriteWhole(bool dropRepeats) {
    rewrite = true;
    withoutRepeats = dropRepeats;
  }

  bool Has(const std::string &name) const { return sums.count(name) != 0; }
  // name's ruling (first) line, or an empty text.
  std::string LineOf(const std::string &name) const {
    const auto line = sums.find(name);
    return line == sums.end() ? std::string() : line->second;
  }
  // Gives name a line when it has none and is an archive file's name; a
  // name with a line keeps it.
  void Add(const std::string &name, const plat::Sha256Digest &digest);
  // The lines added since the last Load or Save: name -> hex digest.
  const std::map<std::string, std::string> &Added() const { return added; }

  std::map<std::string, std::string> sums;          // name -> hex digest of its first line
  std::multimap<std::string, std::string> repeats;  // further lines for a listed name
  std::vector<int> badLines;                        // 1-based numbers
  std::vector<std::pair<int, std::string>> foreignLines;  // of badLines: those that name something
  std::vector<int> repeatLines;
  bool present = false;   // the list exists on disk
  bool readable = true;   // false: it exists but could not be read whole
  std::string error;      // why it could not be read

private:
  // Save's two ways: the new lines appended after the list's last, or the
  // list written whole, merged with the list on disk.
  bool AppendAdded(const plat::Dir &dir);
  bool RewriteMerged(const plat::Dir &dir);

  std::map<std::string, std::string> added;  // name -> its new line
  bool rewrite = false;          // the next Save writes the whole list
  bool withoutRepeats = false;   // ... and drops the repeats
  std::string lastName;          // the highest name the list on disk holds
};

// Moves dir/name (a link as the link) into dir/uszkodzone (created when
// needed; one that is a link or no folder is not used) under the same
// name, or the name with ".1", ".2", ... appended when that is taken; never
// replaces a file. Returns the new path, or an empty text when the entry
// could not be moved (it then stays where it was).
std::string Quarantine(const plat::Dir &dir, const std::string &name);
