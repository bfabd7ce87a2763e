#include "archive/audit.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "archive/archthread.h"
#include "archive/checksums.h"
#include "archive/kedirectory.h"
#include "archive/runcontext.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

// raport.json's fields in the order they are documented.
using Json = nlohmann::ordered_json;

std::string LastComponent(const std::string &path) {
  const size_t at = path.rfind(plat::PathSeparator());
  return at == std::string::npos ? path : path.substr(at + 1);
}

void FillNumbers(KeAccount &ke) {
  std::set<std::string> days;
  ke.numbered = std::move(ke.found.numbered);
  ke.found.numbered.clear();
  std::sort(ke.numbered.begin(), ke.numbered.end());
  for (const auto &[number, date] : ke.numbered)
    if (!date.empty())
      days.insert(date);
  ke.days.assign(days.begin(), days.end());
  // As VERIFY counts them: from 0 up to the highest number present.
  int expected = 0;
  for (const auto &[number, date] : ke.numbered) {
    if (number > expected)
      ke.gaps.emplace_back(expected, number - 1);
    expected = std::max(expected, number + 1);
  }
}

void FillQuarantine(KeAccount &ke) {
  const std::string folder = plat::JoinPath(ke.directory, kQuarantineName);
  if (plat::TypeOf(folder) != plat::EntryType::kDirectory)
    return;
  for (const plat::FoundFile &entry : plat::FindFiles(folder, "*", plat::kAttrArchive))
    if (!(entry.attributes & plat::kAttrDirectory))
      ke.quarantined.push_back(entry.name);
  std::sort(ke.quarantined.begin(), ke.quarantined.end());
}

Json Names(const std::vector<std::string> &names) {
  Json list = Json::array();
  for (const std::string &name : names)
    list.push_back(AnyTextToUtf8(name));
  return list;
}

Json TextOrNull(const std::string &text) {
  return text.empty() ? Json() : Json(AnyTextToUtf8(text));
}

} // namespace

std::string KeAccount::DateBefore(int number) const {
  std::string date;
  for (const auto &[n, d] : numbered)
    if (n < number && !d.empty())
      date = d;
  return date;
}

std::string KeAccount::DateAfter(int number) const {
  for (const auto &[n, d] : numbered)
    if (n > number && !d.empty())
      return d;
  return std::string();
}

const char *KeAccount::Status() const {
  if (!found.changed.empty())
    return "zmienione pliki";
  return found.problems > 0 ? "luki" : "kompletne";
}

int ArchiveAccount::ExitNumber() const {
  bool problem = !readable || !problems.empty();
  for (const KeAccount &ke : kes)
    problem = problem || ke.found.problems > 0;
  return ::ExitNumber(problem ? ExitCode::kArchiveProblem : ExitCode::kDone);
}

ArchiveAccount TakeAccount(const std::string &targetPath) {
  ArchiveAccount account;
  account.generated = LocalTimeIso8601();
  const std::string root = ArchiveRoot(targetPath);
  account.target = plat::AbsolutePath(root);
  account.readable = ReadableTarget(root);
  if (!account.readable)
    return account;
  for (const std::string &dir : KeDirectoriesOf(root, account.problems)) {
    KeAccount &ke = account.kes.emplace_back();
    ke.directory = dir;
    ke.name = LastComponent(dir);
    ke.record = ReadKeRecord(dir);
    ExamineKeDirectory(dir, ke.found);
    FillNumbers(ke);
    FillQuarantine(ke);
    // The list as it is on disk; a link is no list of this archive's.
    plat::FileDigest digest;
    const std::string sums = plat::JoinPath(dir, kSumsName);
    if (plat::TypeOf(sums) == plat::EntryType::kFile && plat::Sha256File(sums, digest))
      ke.sumsSha256 = HexDigest(digest.digest);
  }
  return account;
}

std::string AccountJson(const ArchiveAccount &account) {
  Json kes = Json::array();
  for (const KeAccount &ke : account.kes) {
    Json missing = Json::array();
    for (const auto &[from, to] : ke.gaps)
      missing.push_back({from, to});
    const bool numbered = !ke.numbered.empty();
    const std::string firstDate = ke.days.empty() ? std::string() : ke.days.front();
    const std::string lastDate = ke.days.empty() ? std::string() : ke.days.back();
    kes.push_back({
        {"serial", TextOrNull(ke.record ? ke.record->serial : ke.name)},
        {"fiscal_memory", TextOrNull(ke.record ? ke.record->fiscalMemory : std::string())},
        {"files", ke.found.files},
        {"first_number", numbered ? Json(ke.numbered.front().first) : Json()},
        {"last_number", numbered ? Json(ke.numbered.back().first) : Json()},
        {"missing_numbers", missing},
        {"first_date", TextOrNull(firstDate)},
        {"last_date", TextOrNull(lastDate)},
        {"days", ke.days.size()},
        {"checksums",
         {{"ok", ke.found.ok},
          {"changed", Names(ke.found.changed)},
          {"missing_file", Names(ke.found.missingFile)},
          {"without_line", Names(ke.found.withoutLine)},
          {"bad_lines", ke.found.badLines}}},
        {"quarantined", Names(ke.quarantined)},
        {"last_archive_run", TextOrNull(ke.record ? ke.record->lastRun : std::string())},
        {"last_archive_exit_code",
         ke.record && ke.record->lastExitCode ? Json(*ke.record->lastExitCode) : Json()},
        {"sums_sha256", TextOrNull(ke.sumsSha256)},
    });
  }
  const Json value = {{"generated", account.generated},
                                {"target", AnyTextToUtf8(account.target)},
                                {"exit_code", account.ExitNumber()},
                                {"kes", kes}};
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
