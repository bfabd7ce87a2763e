// VERIFY: reads every archive file under a target against its KE
// directory's SHA256SUMS and reports, one console line each, what is missing,
// changed or damaged, and the gaps in the numbering. Only with FIX does it
// change anything: damaged and changed files and links go to the quarantine
// folder (their lines stay: the next archive run fetches them again and
// checks them), files without a line get one (the operator's word, each
// named), and bad lines go. FIX holds the KE directory's lock while it works
// there and leaves a list it cannot read whole as it is; plain VERIFY holds
// the lock shared when it can; AUDIT, which reads the same way, takes none.
#include "archive/verify.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archmessages.h"
#include "archive/archrun.h"
#include "archive/checksums.h"
#include "archive/kedirectory.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

// How long FIX waits for a KE directory another writer holds.
constexpr int kLockWaitMs = 10000;

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
constexpr const char *kLink = "Plik jest dowi" ZV_a "zaniem: ";
constexpr const char *kWaiting = "Katalog jest zaj" ZV_e "ty przez inny program; czekam do 10 s: ";
constexpr const char *kBusy = "Pomini" ZV_e "to katalog zaj" ZV_e "ty przez inny program: ";
constexpr const char *kBeingWritten = "Pomini" ZV_e "to katalog zapisywany w" ZV_l "a" ZV_s "nie przez inny program: ";
constexpr const char *kLineAdded = "Dopisano sum" ZV_e " kontroln" ZV_a ": ";
} // namespace text

void Say(const std::string &line) { plat::ConsoleWrite(line + "\r\n"); }

struct Tally {
  int files = 0;
  int problems = 0;
  int moved = 0;
  int added = 0;
};

// Examines KE directories; with found set it tells nothing and notes what
// it finds there instead (AUDIT's account).
class Verifier {
public:
  explicit Verifier(bool fix, KeFindings *found = nullptr) : fix(fix), found(found) {}
  void CheckKeDirectory(const std::string &dir);
  void Problem(Tally &tally, const char *what, const std::string &subject) {
    Tell(what + Printable(subject));
    ++tally.problems;
  }
  Tally total;
  std::string root;  // the target, a link where the operator named one

private:
  void CheckEntries(Tally &tally, ChecksumList &sums, const plat::Dir &dir);
  void Summary(const Tally &tally, const std::string &dir);
  void MoveAside(Tally &tally, ChecksumList &sums, const plat::Dir &dir, const std::string &name);
  void CheckFile(Tally &tally, ChecksumList &sums, const plat::Dir &dir, const std::string &name);
  void ReportGaps(Tally &tally, const std::string &dir, const std::set<int> &numbers);
  void SaveList(Tally &tally, ChecksumList &sums, const plat::Dir &dir);
  void Tell(const std::string &line) {
    if (found == nullptr)
      Say(line);
  }
  void Note(std::vector<std::string> KeFindings::*list, const std::string &name) {
    if (found != nullptr)
      (found->*list).push_back(name);
  }
  void NoteFile(const std::string &name) {
    if (found == nullptr || !IsArchiveName(name))
      return;
    ++found->files;
    found->numbered.emplace_back(std::stoi(name.substr(1, 4)), DateOfName(name));
  }
  // FIX's lock still guards the directory (a line and no more changes
  // there once its file was removed or replaced).
  bool StillWriter(Tally &tally, const plat::Dir &dir);
  bool fix;
  bool acting = false;  // FIX, in a directory whose list it may write
  KeFindings *found;
  plat::FileLock lock;
  bool lockLost = false;
};

bool Verifier::StillWriter(Tally &tally, const plat::Dir &dir) {
  if (!lockLost && !lock.StillHeld()) {
    lockLost = true;
    Problem(tally, msg::kLockLost, dir.Path() + plat::LastErrorSuffix());
  }
  return !lockLost;
}

void Verifier::MoveAside(Tally &tally, ChecksumList &, const plat::Dir &dir, const std::string &name) {
  if (!acting || !StillWriter(tally, dir))
    return;
  const std::string movedTo = Quarantine(dir, name);
  if (movedTo.empty()) {
    Tell(text::kNotMoved + Printable(dir.PathOf(name)));
    return;
  }
  Tell(text::kMoved + Printable(movedTo));
  ++tally.moved;
}

// One archive file: its tail, and its checksum when it has a line (or FIX
// is to give it one).
void Verifier::CheckFile(Tally &tally, ChecksumList &sums, const plat::Dir &dir, const std::string &name) {
  const std::string path = dir.PathOf(name);
  ++tally.files;
  const auto line = sums.sums.find(name);
  const bool listed = line != sums.sums.end();
  int lastByte = -1;
  plat::FileDigest digest;
  if (listed || acting) {
    if (!plat::Sha256File(dir, name, digest)) {
      Note(&KeFindings::changed, name);
      return Problem(tally, text::kUnreadable, path);
    }
    lastByte = digest.lastByte;
  } else {
    std::vector<uint8_t> tail;
    uint64_t size = 0;
    if (!dir.ReadTail(name, 1, tail, size)) {
      Note(&KeFindings::changed, name);
      return Problem(tally, text::kUnreadable, path);
    }
    lastByte = tail.empty() ? -1 : tail.back();
  }
  if (!IsEndMarker(lastByte)) {
    Note(&KeFindings::changed, name);
    Problem(tally, text::kDamaged, path);
    return MoveAside(tally, sums, dir, name);
  }
  // Of two lines for one name the first rules: a file that matches only a
  // later one has changed since it was archived.
  if (listed && line->second != HexDigest(digest.digest)) {
    Note(&KeFindings::changed, name);
    Problem(tally, text::kChanged, path);
    return MoveAside(tally, sums, dir, name);
  }
  if (listed && found != nullptr)
    ++found->ok;
  if (!listed) {
    Note(&KeFindings::withoutLine, name);
    Tell(text::kUnlisted + Printable(path));
    if (acting && IsSafeComponent(name))
      sums.Add(name, digest.digest);
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
    const std::string range = last == n ? ArchiveNumberName(n) : ArchiveNumberName(n) + text::kEnDash + ArchiveNumberName(last);
    Problem(tally, text::kGap, range + " (" + dir + ")");
    n = last;
  }
}

// The list, its lines, and every Z*.ej entry of dir.
void Verifier::CheckEntries(Tally &tally, ChecksumList &sums, const plat::Dir &dir) {
  std::set<std::string> names;
  std::set<std::string> links;
  std::set<int> numbers;
  std::vector<plat::FoundFile> entries;
  if (!ArchiveEntries(dir, entries))
    Problem(tally, text::kNoTarget, dir.Path() + plat::LastErrorSuffix());
  for (const plat::FoundFile &entry : entries) {
    switch (KindOf(entry)) {
    case EntryKind::kForeign:
      Note(&KeFindings::foreign, entry.name);
      Problem(tally, text::kForeign, dir.PathOf(entry.name));
      continue;
    case EntryKind::kLink:
      // Never read: FIX moves the link itself aside.
      Problem(tally, text::kLink, dir.PathOf(entry.name));
      NoteFile(entry.name);
      Note(&KeFindings::changed, entry.name);
      links.insert(entry.name);
      if (IsArchiveName(entry.name))
        numbers.insert(std::stoi(entry.name.substr(1, 4)));
      MoveAside(tally, sums, dir, entry.name);
      continue;
    default:
      NoteFile(entry.name);
      names.insert(entry.name);
      numbers.insert(std::stoi(entry.name.substr(1, 4)));
    }
  }
  for (const auto &[name, hex] : sums.sums)
    if (names.count(name) == 0 && links.count(name) == 0) {
      Note(&KeFindings::missingFile, name);
      Problem(tally, text::kMissing, dir.PathOf(name));
    }
  for (const std::string &name : names)
    CheckFile(tally, sums, dir, name);
  ReportGaps(tally, dir.Path(), numbers);
}

void Verifier::CheckKeDirectory(const std::string &dir) {
  Tally tally;
  acting = false;
  // FIX changes nothing in a directory it reports as unusable.
  if (const auto unusable = UnusableFolder(dir)) {
    Problem(tally, msg::kNotAFolder, *unusable);
    if (fix)
      return Summary(tally, dir);
  }
  // Everything below goes through the directory held open here: one swapped
  // for a link (or another folder) meanwhile is never read or written.
  plat::Dir held;
  if (!held.Open(dir, dir == root)) {
    Problem(tally, msg::kNotAFolder, dir + plat::LastErrorSuffix());
    return Summary(tally, dir);
  }
  // FIX changes the directory only while it holds its lock; a directory
  // another writer keeps is left for another time. Plain VERIFY reads beside
  // other readers only; a directory a writer keeps the whole wait is being
  // written, and is named, not counted. AUDIT takes no lock at all.
  lock.Release();
  lockLost = false;
  if (found == nullptr) {
    const DirectoryLock taken =
        LockKeDirectory(lock, held, kLockWaitMs, [&] { Say(text::kWaiting + Printable(dir)); }, !fix);
    if (fix && taken != DirectoryLock::kTaken) {
      Problem(tally, taken == DirectoryLock::kBusy ? text::kBusy : msg::kNotLockable, dir);
      return Summary(tally, dir);
    }
    if (!fix && taken == DirectoryLock::kBusy) {
      Say(text::kBeingWritten + Printable(dir));
      return;
    }
  }
  ChecksumList sums;
  const std::string listPath = plat::JoinPath(dir, kSumsName);
  if (sums.Load(held))
    acting = fix;
  else if (held.TypeOf(kSumsName) == plat::EntryType::kLink)
    Problem(tally, text::kLink, listPath);
  else
    Problem(tally, text::kUnreadable, listPath + ": " + sums.error);
  if (found != nullptr)
    found->badLines += static_cast<int>(sums.badLines.size() + sums.repeatLines.size());
  for (const auto &[number, name] : sums.foreignLines)
    Problem(tally, text::kForeignLine, listPath + ": " + name);
  for (int number : sums.badLines)
    if (std::none_of(sums.foreignLines.begin(), sums.foreignLines.end(),
                     [&](const auto &line) { return line.first == number; }))
      Problem(tally, text::kBadLine, std::to_string(number) + text::kOfSums + listPath);
  for (int number : sums.repeatLines)
    Problem(tally, text::kBadLine, std::to_string(number) + text::kOfSums + listPath);
  CheckEntries(tally, sums, held);
  if (found != nullptr)
    found->problems += tally.problems;
  if (acting && StillWriter(tally, held))
    SaveList(tally, sums, held);
  lock.Release();
  Summary(tally, dir);
}

// FIX's list: without its bad lines and repeats, with the new lines, merged
// with what another writer put there meanwhile. A line counts as added, and
// is named, once it is on disk.
void Verifier::SaveList(Tally &tally, ChecksumList &sums, const plat::Dir &dir) {
  if (!sums.badLines.empty() || !sums.repeatLines.empty())
    sums.RewriteWhole(true);
  if (!sums.Changed())
    return;
  const std::map<std::string, std::string> pending = sums.Added();
  if (!sums.Save(dir))
    Problem(tally, msg::kSumsFailed, dir.Path());
  ChecksumList after;
  after.Load(dir);
  for (const auto &[name, hex] : pending)
    if (after.LineOf(name) == hex) {
      Say(text::kLineAdded + Printable(dir.PathOf(name)));
      ++tally.added;
    }
}

void Verifier::Summary(const Tally &tally, const std::string &dir) {
  if (found != nullptr)
    return;
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

// A KE directory holds SHA256SUMS or Z*.ej entries.
bool IsKeDirectory(const std::string &dir) {
  return plat::TypeOf(plat::JoinPath(dir, kSumsName)) != plat::EntryType::kNone || !ArchiveEntries(dir).empty();
}

} // namespace

std::string DateOfName(const std::string &name) {
  if (name.size() < 16 || name[5] != '_')
    return std::string();
  for (size_t k = 6; k < 16; ++k)
    if ((k == 10 || k == 13) ? name[k] != '-' : (name[k] < '0' || name[k] > '9'))
      return std::string();
  // A month 01..12 and a day 01..31: a calendar can show it.
  const int month = (name[11] - '0') * 10 + (name[12] - '0');
  const int day = (name[14] - '0') * 10 + (name[15] - '0');
  if (month < 1 || month > 12 || day < 1 || day > 31)
    return std::string();
  return name.substr(6, 10);
}

std::vector<std::string> KeDirectoriesOf(const std::string &root, std::vector<std::string> &problems) {
  // The target itself, when it is one KE's directory, and the directories
  // right below it; links are not followed, so nothing outside the target
  // is read or written. A link to a directory there, and a directory that
  // cannot be listed, may hide a KE's directory: each is a problem.
  std::vector<std::string> keDirs;
  if (IsKeDirectory(root))
    keDirs.push_back(root);
  std::set<std::string> below;
  for (const plat::FoundFile &entry : plat::FindFiles(root, "*", plat::kAttrDirectory))
    if ((entry.attributes & plat::kAttrDirectory) && !(entry.attributes & plat::kAttrHidden) &&
        entry.name != kQuarantineName && entry.name != kLogFolderName)
      below.insert(entry.name);
  for (const std::string &name : below) {
    const std::string dir = plat::JoinPath(root, name);
    if (plat::TypeOf(dir) != plat::EntryType::kDirectory)
      problems.push_back(msg::kNotAFolder + Printable(dir));
    else if (!plat::DirectoryListable(dir))
      problems.push_back(text::kNoTarget + Printable(dir));
    else if (IsKeDirectory(dir))
      keDirs.push_back(dir);
  }
  return keDirs;
}

void ExamineKeDirectory(const std::string &dir, KeFindings &found) {
  Verifier examiner(false, &found);
  examiner.CheckKeDirectory(dir);
}

bool ReadableTarget(const std::string &root) { return plat::DirectoryExists(root) && plat::DirectoryListable(root); }

ExitCode VerifyArchive(const std::string &targetPath, bool fix) {
  const std::string root = ArchiveRoot(targetPath);
  if (!ReadableTarget(root)) {
    Say(text::kNoTarget + Printable(root));
    return ExitCode::kArchiveProblem;
  }
  Verifier verifier(fix);
  verifier.root = root;
  Tally &total = verifier.total;
  std::vector<std::string> hidden;
  const std::vector<std::string> keDirs = KeDirectoriesOf(root, hidden);
  for (const std::string &problem : hidden) {
    Say(problem);
    ++total.problems;
  }

  if (keDirs.empty())
    Say(text::kNoKe + Printable(root));
  for (const std::string &dir : keDirs)
    verifier.CheckKeDirectory(dir);
  std::string summary = text::kTotal + std::to_string(keDirs.size()) + ", sprawdzono plik" ZV_o "w: " +
                        std::to_string(total.files) + text::kProblems + std::to_string(total.problems);
  if (fix)
    summary += text::kMovedCount + std::to_string(total.moved) + text::kAdded + std::to_string(total.added);
  Say(summary);
  return total.problems > 0 ? ExitCode::kArchiveProblem : ExitCode::kDone;
}
