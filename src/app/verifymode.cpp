// VERIFY mode: reads every archive file under a target against its KE
// directory's SHA256SUMS and reports, one console line each, what is missing,
// changed or damaged, and the gaps in the numbering. Only with FIX does it
// change anything: damaged files go to the quarantine folder (the next
// archive run fetches them again) and files without a line get one.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/archmessages.h"
#include "app/archrun.h"
#include "app/checksums.h"
#include "app/modes.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

namespace text {
constexpr const char *kNoTarget = "Nie mo" ZV_z "na odczyta" ZV_c " katalogu: ";
constexpr const char *kMissing = "Brak pliku: ";
constexpr const char *kChanged = "Niezgodna suma kontrolna: ";
constexpr const char *kDamaged = "Plik uszkodzony (brak znacznika ko" ZV_n "ca): ";
constexpr const char *kUnlisted = "Brak sumy kontrolnej: ";
constexpr const char *kForeign = "Obcy plik: ";
constexpr const char *kUnreadable = "Nie mo" ZV_z "na odczyta" ZV_c " pliku: ";
constexpr const char *kBadLine = "B" ZV_l ZV_e "dny wiersz ";
constexpr const char *kOfSums = " w pliku ";
constexpr const char *kForeignLine = "Wiersz dotyczy pliku spoza archiwum: ";
constexpr const char *kGap = "Brak plik" ZV_o "w w numeracji: ";
constexpr const char *kMoved = "Przeniesiono do: ";
constexpr const char *kNotMoved = "Nie uda" ZV_l "o si" ZV_e " przenie" ZV_s ZV_c " pliku: ";
constexpr const char *kChecked = ": sprawdzono plik" ZV_o "w: ";
constexpr const char *kProblems = ", problem" ZV_o "w: ";
constexpr const char *kMovedCount = ", przeniesiono do uszkodzone: ";
constexpr const char *kAdded = ", dopisano sum: ";
constexpr const char *kTotal = "Razem katalog" ZV_o "w KE: ";
constexpr const char *kNoKe = "Nie znaleziono katalog" ZV_o "w KE w: ";
constexpr const char *kEnDash = "\x96";  // the dash of a range, Windows-1250
} // namespace text

std::string Join(const std::string &dir, const std::string &name) {
  return dir + plat::PathSeparator() + name;
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The name rule of an archive file: Z, four digits, ... ".ej".
bool IsArchiveName(const std::string &name) {
  return name.size() >= 8 && (name[0] == 'Z' || name[0] == 'z') && IsDigit(name[1]) && IsDigit(name[2]) &&
         IsDigit(name[3]) && IsDigit(name[4]) && name.compare(name.size() - 3, 3, ".ej") == 0;
}

bool IsLeftAlone(const plat::FoundFile &found) {
  return (found.attributes & (plat::kAttrDirectory | plat::kAttrHidden | plat::kAttrSystem | plat::kAttrLink)) != 0;
}

std::string Number(int n) {
  char name[8] = "Z0000";
  for (int k = 4; k >= 1; --k, n /= 10)
    name[k] = static_cast<char>('0' + n % 10);
  return name;
}

void Say(const std::string &line) { plat::ConsoleWrite(line + "\r\n"); }

struct Tally {
  int files = 0;
  int problems = 0;
  int moved = 0;
  int added = 0;
};

class Verifier {
public:
  explicit Verifier(bool fix) : fix(fix) {}
  void CheckKeDirectory(const std::string &dir);
  Tally total;

private:
  void Problem(Tally &tally, const char *what, const std::string &subject) {
    Say(what + Printable(subject));
    ++tally.problems;
  }
  void MoveAside(Tally &tally, ChecksumList &sums, const std::string &dir, const std::string &name);
  void CheckFile(Tally &tally, ChecksumList &sums, const std::string &dir, const std::string &name);
  void ReportGaps(Tally &tally, const std::string &dir, const std::set<int> &numbers);
  bool fix;
};

void Verifier::MoveAside(Tally &tally, ChecksumList &sums, const std::string &dir, const std::string &name) {
  if (!fix)
    return;
  const std::string movedTo = Quarantine(dir, name);
  if (movedTo.empty()) {
    Say(text::kNotMoved + Printable(Join(dir, name)));
    return;
  }
  Say(text::kMoved + Printable(movedTo));
  sums.Erase(name);
  ++tally.moved;
}

// One archive file: its tail, and its checksum when it has a line (or FIX
// is to give it one).
void Verifier::CheckFile(Tally &tally, ChecksumList &sums, const std::string &dir, const std::string &name) {
  const std::string path = Join(dir, name);
  ++tally.files;
  const auto line = sums.sums.find(name);
  const bool listed = line != sums.sums.end();
  int lastByte = -1;
  plat::FileDigest digest;
  if (listed || fix) {
    if (!plat::Sha256File(path, digest))
      return Problem(tally, text::kUnreadable, path);
    lastByte = digest.lastByte;
  } else {
    std::vector<uint8_t> tail;
    uint64_t size = 0;
    if (!plat::ReadTail(path, 1, tail, size))
      return Problem(tally, text::kUnreadable, path);
    lastByte = tail.empty() ? -1 : tail.back();
  }
  if (lastByte != 0xFF && lastByte != 0x1A) {
    Problem(tally, text::kDamaged, path);
    return MoveAside(tally, sums, dir, name);
  }
  if (listed && line->second != HexDigest(digest.digest)) {
    Problem(tally, text::kChanged, path);
    return MoveAside(tally, sums, dir, name);
  }
  if (!listed) {
    Say(text::kUnlisted + Printable(path));
    if (fix && IsSafeComponent(name)) {
      sums.Set(name, digest.digest);
      ++tally.added;
    }
  }
}

// Numbers from Z0000 to the highest one present that have no file, as
// ranges.
void Verifier::ReportGaps(Tally &tally, const std::string &dir, const std::set<int> &numbers) {
  if (numbers.empty())
    return;
  const int highest = *numbers.rbegin();
  for (int n = 0; n < highest; ++n) {
    if (numbers.count(n) != 0)
      continue;
    int last = n;
    while (last + 1 < highest && numbers.count(last + 1) == 0)
      ++last;
    const std::string range = last == n ? Number(n) : Number(n) + text::kEnDash + Number(last);
    Problem(tally, text::kGap, range + " (" + dir + ")");
    n = last;
  }
}

void Verifier::CheckKeDirectory(const std::string &dir) {
  Tally tally;
  ChecksumList sums;
  const bool sumsRead = sums.Load(dir);
  if (!sumsRead)
    Problem(tally, text::kUnreadable, Join(dir, kSumsName));
  for (int number : sums.badLines)
    Problem(tally, text::kBadLine, std::to_string(number) + text::kOfSums + Join(dir, kSumsName));
  std::set<std::string> names;
  std::set<int> numbers;
  for (const plat::FoundFile &entry : plat::FindFiles(dir, "Z*.ej", plat::kAttrArchive)) {
    if (IsLeftAlone(entry))
      continue;
    if (!IsArchiveName(entry.name)) {
      Problem(tally, text::kForeign, Join(dir, entry.name));
      continue;
    }
    names.insert(entry.name);
    numbers.insert(std::stoi(entry.name.substr(1, 4)));
  }
  std::vector<std::string> foreignLines;
  for (const auto &[name, hex] : sums.sums) {
    if (!IsArchiveName(name))
      foreignLines.push_back(name);
    else if (names.count(name) == 0)
      Problem(tally, text::kMissing, Join(dir, name));
  }
  for (const std::string &name : foreignLines) {
    Problem(tally, text::kForeignLine, Join(dir, kSumsName) + ": " + name);
    sums.Erase(name);
  }
  for (const std::string &name : names)
    CheckFile(tally, sums, dir, name);
  ReportGaps(tally, dir, numbers);

  // FIX rewrites the list without its damaged lines; a list that could not
  // be read is never replaced.
  if (fix && sumsRead && (sums.changed || !sums.badLines.empty())) {
    sums.changed = true;
    if (!sums.Save(dir))
      Problem(tally, msg::kSumsFailed, dir);
  }
  std::string summary = Printable(dir) + text::kChecked + std::to_string(tally.files) + text::kProblems +
                        std::to_string(tally.problems);
  if (fix)
    summary += text::kMovedCount + std::to_string(tally.moved) + text::kAdded + std::to_string(tally.added);
  Say(summary);
  total.files += tally.files;
  total.problems += tally.problems;
  total.moved += tally.moved;
  total.added += tally.added;
}

// A KE directory holds SHA256SUMS or Z*.ej files.
bool IsKeDirectory(const std::string &dir) {
  if (plat::FileExists(Join(dir, kSumsName)))
    return true;
  for (const plat::FoundFile &entry : plat::FindFiles(dir, "Z*.ej", plat::kAttrArchive))
    if (!IsLeftAlone(entry))
      return true;
  return false;
}

} // namespace

ExitCode RunVerifyMode(const VerifyOptions &options) {
  const std::string root = ArchiveRoot(options.targetPath);
  if (!plat::DirectoryExists(root) || !plat::DirectoryListable(root)) {
    Say(text::kNoTarget + Printable(root));
    return ExitCode::kVerifyProblem;
  }
  // The target itself, when it is one KE's directory, and the directories
  // right below it; links are not followed, so nothing outside the target
  // is read or written.
  std::vector<std::string> keDirs;
  if (IsKeDirectory(root))
    keDirs.push_back(root);
  std::set<std::string> below;
  for (const plat::FoundFile &entry : plat::FindFiles(root, "*", plat::kAttrDirectory))
    if ((entry.attributes & plat::kAttrDirectory) && !(entry.attributes & (plat::kAttrLink | plat::kAttrHidden)) &&
        entry.name != kQuarantineName && entry.name != "log")
      below.insert(entry.name);
  for (const std::string &name : below)
    if (IsKeDirectory(Join(root, name)))
      keDirs.push_back(Join(root, name));

  Verifier verifier(options.fix);
  if (keDirs.empty())
    Say(text::kNoKe + Printable(root));
  for (const std::string &dir : keDirs)
    verifier.CheckKeDirectory(dir);
  const Tally &total = verifier.total;
  std::string summary = text::kTotal + std::to_string(keDirs.size()) + ", sprawdzono plik" ZV_o "w: " +
                        std::to_string(total.files) + text::kProblems + std::to_string(total.problems);
  if (options.fix)
    summary += text::kMovedCount + std::to_string(total.moved) + text::kAdded + std::to_string(total.added);
  Say(summary);
  return total.problems > 0 ? ExitCode::kVerifyProblem : ExitCode::kDone;
}
