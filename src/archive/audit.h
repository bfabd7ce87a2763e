// AUDIT: the archive's account, for an owner, an accountant or an inspector:
// per KE directory its printer's identity and last run (from its record),
// the numbers and days its files cover, the gaps, what changed, what is
// missing or has no line, the quarantine, and the fingerprint of its list.
// It reads the archive as VERIFY does and changes nothing.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/kerecord.h"
#include "archive/verify.h"

struct KeAccount {
  std::string directory;  // the KE directory's path
  std::string name;       // its last component (the serial it was made for)
  std::optional<KeRecord> record;
  KeFindings found;
  // found.numbered in number order.
  std::vector<std::pair<int, std::string>> numbered;
  // Ranges of numbers between 0 and the highest present without a file.
  std::vector<std::pair<int, int>> gaps;
  std::vector<std::string> days;  // the distinct dates, in order
  std::vector<std::string> quarantined;
  std::string sumsSha256;  // empty when there is no list to read

  // The date of the nearest file below (or above) number, or "".
  std::string DateBefore(int number) const;
  std::string DateAfter(int number) const;
  // "kompletne", "luki" or "zmienione pliki": changed files come first, then
  // gaps and anything else VERIFY counts as a problem.
  const char *Status() const;
};

struct ArchiveAccount {
  std::string generated;  // local ISO 8601 time
  std::string target;     // the archive root, absolute
  bool readable = true;   // the root could be listed
  std::vector<std::string> problems;  // what may hide a KE directory (VERIFY's lines)
  std::vector<KeAccount> kes;
  // 0 when the archive is whole, 9 when VERIFY would report a problem.
  int ExitNumber() const;
};

// The account of the archive under targetPath (as typed, may be empty).
ArchiveAccount TakeAccount(const std::string &targetPath);
// The account for programs (raport.json) and for people (raport.html, in
// Polish, self-contained, one printed page per KE after a summary page).
std::string AccountJson(const ArchiveAccount &account);
std::string AccountHtml(const ArchiveAccount &account);
