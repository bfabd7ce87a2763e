// The end of an archive-mode run in four views of one record: a summary on
// the console and in the system's event log (Polish, one line per job and
// one for the run), a JSON file (ZARVIK_SUMMARY) and a metrics file in the
// Prometheus text format (ZARVIK_METRICS) for the textfile collectors of the
// node and Windows exporters. Both files are put in place whole
// (plat::PutInPlace), so a reader never sees half a file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "archive/archmessages.h"
#include "archive/archthread.h"
#include "archive/runcontext.h"
#include "base/consoleline.h"
#include "platform/console.h"
#include "platform/cp1250.h"
#include "platform/files.h"

namespace {

// The exit codes in words, for the run's last summary line.
const char *ExitMeaning(ExitCode code) {
  switch (code) {
  case ExitCode::kDone:
    return "zako" ZV_n "czono bez zarejestrowanego b" ZV_l ZV_e "du";
  case ExitCode::kCheckFailed:
    return "nie powiod" ZV_l "o si" ZV_e " sprawdzenie po" ZV_l ZV_a "czenia, to" ZV_z "samo" ZV_s "ci lub zestawu plik" ZV_o
           "w KE";
  case ExitCode::kTrainingMode:
    return "drukarka jest w trybie szkoleniowym (lub tylko do odczytu)";
  case ExitCode::kKeUnavailable:
    return "brak KE lub KE jest zaj" ZV_e "ta, albo urz" ZV_a "dzenie dwuportowe nie ma pasuj" ZV_a "cego kana" ZV_l
           "u KE, albo katalog KE jest zaj" ZV_e "ty przez inny program";
  case ExitCode::kFiscalMemoryMismatch:
    return "numery pami" ZV_e "ci fiskalnej drukarki i KE s" ZV_a " r" ZV_o ZV_z "ne";
  case ExitCode::kArchiveUnusable:
    return "nie mo" ZV_z "na utworzy" ZV_c " lub u" ZV_z "y" ZV_c " katalogu KE albo dziennika na dysku (dowi" ZV_a
           "zanie lub nie katalog)";
  case ExitCode::kNoPort:
    return "nie znaleziono portu do archiwizacji";
  case ExitCode::kFilesNotArchived:
    return "nie uda" ZV_l "o si" ZV_e " pobra" ZV_c " lub zapisa" ZV_c " niekt" ZV_o "rych plik" ZV_o
           "w KE (s" ZV_a " w dziennikach); nast" ZV_e "pne uruchomienie pobierze je ponownie";
  case ExitCode::kStopped:
    return "przebieg przerwano z zewn" ZV_a "trz (sygna" ZV_l " lub zdarzenie systemu); nast" ZV_e
           "pne uruchomienie pobierze reszt" ZV_e;
  case ExitCode::kDiscoveryFailed:
    return "wyszukiwanie port" ZV_o "w nie powiod" ZV_l "o si" ZV_e " (b" ZV_l ZV_a "d systemu, zob. plik b" ZV_l ZV_e "du)";
  default:
    return "nieznany kod";
  }
}

plat::LinePriority Priority(ExitCode code) {
  return code == ExitCode::kDone ? plat::LinePriority::kInfo : plat::LinePriority::kError;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f s", seconds);
  return text;
}

// Writes the summary to the console, each line with its priority for a
// journal (the line of a job that failed is an error line), and returns it.
std::string PrintSummary(RunContext &run, ExitCode exitCode, double runSeconds) {
  int32_t fetched = 0;
  int32_t failed = 0;
  int64_t bytes = 0;
  std::string summary;
  for (const auto &jobOfRun : run.jobs) {
    const JobRecord &record = jobOfRun->record;
    std::string text;
    std::string ports = record.kePort;
    if (!record.printerPort.empty() && record.printerPort != record.kePort)
      ports = record.printerPort + "+" + record.kePort;
    text += "Podsumowanie " + ports + ": ";
    text += record.serial.empty() ? std::string("nie odczytano numeru KE") : "KE " + record.serial;
    text += "; plik" ZV_o "w w KE " + std::to_string(record.filesListed.load()) + ", na dysku " +
            std::to_string(record.filesOnDisk.load()) + ", pobrano " + std::to_string(record.filesFetched.load()) +
            ", nieudanych " + std::to_string(record.filesFailed.load()) + ", bajt" ZV_o "w " +
            std::to_string(record.bytesFetched.load()) + ", czas " + Seconds(record.seconds) + ".\r\n";
    consoleline::Write(text, Priority(record.exitCode.load()));
    summary += text;
    fetched += record.filesFetched.load();
    failed += record.filesFailed.load();
    bytes += record.bytesFetched.load();
  }
  std::string text = "Razem: zada" ZV_n " " + std::to_string(run.jobs.size()) + ", pobrano plik" ZV_o "w " +
          std::to_string(fetched) + ", nieudanych " + std::to_string(failed) + ", bajt" ZV_o "w " +
          std::to_string(bytes) + ", czas " + Seconds(runSeconds) + ". Kod zako" ZV_n "czenia " +
          std::to_string(ExitNumber(exitCode)) + ": " + ExitMeaning(exitCode) + ".\r\n";
  consoleline::Write(text, Priority(exitCode));
  return summary + text;
}

// The run's event: its type by the exit code, the summary without its last
// line end as its text.
void ReportEvent(RunContext &run, ExitCode exitCode, std::string text) {
  const plat::EventType type = exitCode == ExitCode::kDone           ? plat::EventType::kInformation
                               : exitCode == ExitCode::kFilesNotArchived ? plat::EventType::kWarning
                                                                     : plat::EventType::kError;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  run.reportEvent(type, kEventRunEnded + static_cast<uint32_t>(ExitNumber(exitCode)), text);
}

nlohmann::ordered_json TextOrNull(const std::string &text) {
  if (text.empty())
    return nullptr;
  return AnyTextToUtf8(text);
}

std::string SummaryJson(RunContext &run, ExitCode exitCode, const std::string &finished) {
  nlohmann::ordered_json top;
  top["version"] = ZARVIK_VERSION;
  top["host"] = AnyTextToUtf8(plat::HostName());
  top["target"] = AnyTextToUtf8(plat::AbsolutePath(run.archivePath));
  top["target_writable_by_users"] = run.rootWritableByUsers;
  top["started"] = run.startedText;
  top["finished"] = finished;
  top["exit_code"] = ExitNumber(exitCode);
  top["jobs"] = nlohmann::ordered_json::array();
  for (const auto &jobOfRun : run.jobs) {
    const JobRecord &record = jobOfRun->record;
    nlohmann::ordered_json job;
    job["kind"] = record.kind;
    job["printer_port"] = TextOrNull(record.printerPort);
    job["ke_port"] = AnyTextToUtf8(record.kePort);
    job["ke_serial"] = TextOrNull(record.serial);
    job["fiscal_number"] = TextOrNull(record.fiscalNumber);
    job["directory"] = record.directory.empty() ? nullptr : TextOrNull(plat::AbsolutePath(record.directory));
    job["exit_code"] = ExitNumber(record.exitCode.load());
    job["checks_passed"] = record.checksPassed;
    job["files_listed"] = record.filesListed.load();
    job["files_on_disk"] = record.filesOnDisk.load();
    job["files_fetched"] = record.filesFetched.load();
    job["files_failed"] = record.filesFailed.load();
    job["bytes_fetched"] = record.bytesFetched.load();
    job["seconds"] = record.seconds;
    job["errors"] = nlohmann::ordered_json::array();
    for (const std::string &line : record.errors)
      job["errors"].push_back(AnyTextToUtf8(line));
    top["jobs"].push_back(job);
  }
  return top.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// A label value as the text format wants it (UTF-8): backslash, double quote
// and line feed escaped.
std::string Label(const std::string &value) {
  std::string escaped;
  for (char ch : AnyTextToUtf8(value)) {
    if (ch == '\\')
      escaped += "\\\\";
    else if (ch == '"')
      escaped += "\\\"";
    else if (ch == '\n')
      escaped += "\\n";
    else
      escaped += ch;
  }
  return escaped;
}

void Gauge(std::string &out, const char *name, const char *help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

std::string SampleValue(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string shown = text;
  while (shown.back() == '0')
    shown.pop_back();
  if (shown.back() == '.')
    shown.pop_back();
  return shown;
}

// The metrics file this program wrote earlier: empty when there is none or
// the path names anything but a plain file. Read as every file is (no FIFO
// waited for, no link followed), and only a file of the size this program
// writes.
std::string EarlierMetrics(const std::string &path) {
  constexpr uint64_t kMaxMetricsBytes = 1 << 20;
  std::string text;
  if (path.empty() || !plat::ReadWholeFile(path, kMaxMetricsBytes, text))
    return std::string();
  return text;
}

// The value of a sample without labels in an earlier metrics file; empty when
// the sample is missing or its value is not a plain number.
std::string EarlierSample(const std::string &earlier, const std::string &name) {
  std::istringstream file(earlier);
  std::string line;
  while (std::getline(file, line)) {
    const std::string value = line.substr(0, name.size() + 1) == name + " " ? line.substr(name.size() + 1) : "";
    if (!value.empty() && value.find_first_not_of("0123456789.") == std::string::npos)
      return value;
  }
  return std::string();
}

// The samples of a metric labelled with ke_serial alone in an earlier
// metrics file: the label's value as written there (escaped) and the
// sample's value, for every line whose value is a plain number.
std::map<std::string, std::string> EarlierPerSerial(const std::string &earlier, const std::string &name) {
  std::map<std::string, std::string> samples;
  const std::string head = name + "{ke_serial=\"";
  std::istringstream file(earlier);
  std::string line;
  while (std::getline(file, line)) {
    const size_t end = line.rfind("\"} ");
    if (line.compare(0, head.size(), head) != 0 || end == std::string::npos || end < head.size())
      continue;
    const std::string value = line.substr(end + 3);
    if (!value.empty() && value.find_first_not_of("0123456789.") == std::string::npos)
      samples[line.substr(head.size(), end - head.size())] = value;
  }
  return samples;
}

// The label value of a KE whose serial number was not read: Prometheus drops
// a label whose value is empty.
constexpr const char *kUnreadSerial = "unread";
constexpr const char *kLastSeen = "zarvik_ke_last_seen_timestamp_seconds";
constexpr const char *kMissedRuns = "zarvik_ke_missed_runs";

std::string MetricsText(RunContext &run, ExitCode exitCode, double finishedEpoch, double runSeconds,
                        const std::string &metricsPath) {
  const std::string earlier = EarlierMetrics(metricsPath);
  std::string out;
  Gauge(out, "zarvik_build_info", "The program's version, in the label; always 1.");
  out += "zarvik_build_info{version=\"" ZARVIK_VERSION "\"} 1\n";
  Gauge(out, "zarvik_run_timestamp_seconds", "When the last archive run ended, in seconds since 1970.");
  out += "zarvik_run_timestamp_seconds " + SampleValue(finishedEpoch) + "\n";
  // A failed run carries the last good run's time over from the file it
  // replaces; there is none until a run has ended with 0.
  const std::string lastSuccess =
      exitCode == ExitCode::kDone ? SampleValue(finishedEpoch)
                                  : EarlierSample(earlier, "zarvik_last_success_timestamp_seconds");
  if (!lastSuccess.empty()) {
    Gauge(out, "zarvik_last_success_timestamp_seconds", "When the last archive run that ended with 0 ended.");
    out += "zarvik_last_success_timestamp_seconds " + lastSuccess + "\n";
  }
  Gauge(out, "zarvik_run_start_timestamp_seconds", "When the last archive run started, in seconds since 1970.");
  out += "zarvik_run_start_timestamp_seconds " + SampleValue(run.startedEpoch) + "\n";
  Gauge(out, "zarvik_run_in_progress", "1 while an archive run is under way (written when it starts), 0 after it.");
  out += "zarvik_run_in_progress 0\n";
  Gauge(out, "zarvik_run_duration_seconds", "How long the last archive run took.");
  out += "zarvik_run_duration_seconds " + SampleValue(runSeconds) + "\n";
  Gauge(out, "zarvik_run_exit_code", "Exit code of the last archive run (0: no failure).");
  out += "zarvik_run_exit_code " + std::to_string(ExitNumber(exitCode)) + "\n";
  Gauge(out, "zarvik_jobs", "Jobs (KE modules) of the last archive run.");
  out += "zarvik_jobs " + std::to_string(run.jobs.size()) + "\n";
  Gauge(out, "zarvik_archive_root_writable_by_users", "1 when ordinary users may write the archive root.");
  out += std::string("zarvik_archive_root_writable_by_users ") + (run.rootWritableByUsers ? "1" : "0") + "\n";

  struct PerKe {
    const char *name;
    const char *help;
    int64_t (*value)(const JobRecord &);
  };
  static const PerKe perKe[] = {
      {"zarvik_ke_exit_code", "Exit code of the KE's job (0: no failure).",
       [](const JobRecord &r) -> int64_t { return ExitNumber(r.exitCode.load()); }},
      {"zarvik_ke_checks_passed", "1 when the KE passed the connection, identity and Directory checks.",
       [](const JobRecord &r) -> int64_t { return r.checksPassed ? 1 : 0; }},
      {"zarvik_ke_files_listed", "Files the KE's Directory lists.",
       [](const JobRecord &r) -> int64_t { return r.filesListed.load(); }},
      {"zarvik_ke_files_fetched", "Files fetched and saved in the last run.",
       [](const JobRecord &r) -> int64_t { return r.filesFetched.load(); }},
      {"zarvik_ke_files_failed", "Files that could not be fetched or saved in the last run.",
       [](const JobRecord &r) -> int64_t { return r.filesFailed.load(); }},
      {"zarvik_ke_fetched_bytes", "Bytes of the files fetched in the last run.",
       [](const JobRecord &r) -> int64_t { return r.bytesFetched.load(); }},
      {"zarvik_ke_archive_files", "Archive files in the KE's directory after the last run.",
       [](const JobRecord &r) -> int64_t { return r.archiveFiles; }},
  };
  for (const PerKe &metric : perKe) {
    Gauge(out, metric.name, metric.help);
    for (const auto &jobOfRun : run.jobs) {
      const JobRecord &record = jobOfRun->record;
      out += std::string(metric.name) + "{port=\"" + Label(record.kePort) + "\",ke_serial=\"" +
             Label(record.serial.empty() ? kUnreadSerial : record.serial) + "\"} " +
             std::to_string(metric.value(record)) + "\n";
    }
  }

  // Every KE this computer has shown: one this run read stands at the run's
  // end with no run missed; one it did not keeps its time from the file it
  // replaces, one more run missed, until someone removes its lines.
  std::map<std::string, std::string> lastSeen = EarlierPerSerial(earlier, kLastSeen);
  std::map<std::string, std::string> missed = EarlierPerSerial(earlier, kMissedRuns);
  for (auto &[serial, runs] : missed)
    runs = std::to_string(std::strtoll(runs.c_str(), nullptr, 10) + 1);
  for (const auto &[serial, seen] : lastSeen)
    if (missed.count(serial) == 0)
      missed[serial] = "1";
  for (const auto &jobOfRun : run.jobs) {
    const JobRecord &record = jobOfRun->record;
    if (record.serial.empty())
      continue;
    lastSeen[Label(record.serial)] = SampleValue(finishedEpoch);
    missed[Label(record.serial)] = "0";
  }
  Gauge(out, kLastSeen, "When an archive run last read this KE, in seconds since 1970 (kept for a KE gone since).");
  for (const auto &[serial, seen] : lastSeen)
    out += std::string(kLastSeen) + "{ke_serial=\"" + serial + "\"} " + seen + "\n";
  Gauge(out, kMissedRuns, "Archive runs since the last that read this KE (0: the last run read it).");
  for (const auto &[serial, runs] : missed)
    if (lastSeen.count(serial) != 0)
      out += std::string(kMissedRuns) + "{ke_serial=\"" + serial + "\"} " + runs + "\n";
  return out;
}

// The metrics file at a run's start: the earlier file's samples as they
// stand, with the run's start time and the in-progress mark (and this
// program's version) in place of theirs.
std::string StartMetricsText(double startedEpoch, const std::string &metricsPath) {
  static const char *const replaced[] = {"zarvik_build_info", "zarvik_run_start_timestamp_seconds",
                                         "zarvik_run_in_progress"};
  std::string out;
  Gauge(out, "zarvik_build_info", "The program's version, in the label; always 1.");
  out += "zarvik_build_info{version=\"" ZARVIK_VERSION "\"} 1\n";
  Gauge(out, "zarvik_run_start_timestamp_seconds", "When the last archive run started, in seconds since 1970.");
  out += "zarvik_run_start_timestamp_seconds " + SampleValue(startedEpoch) + "\n";
  Gauge(out, "zarvik_run_in_progress", "1 while an archive run is under way (written when it starts), 0 after it.");
  out += "zarvik_run_in_progress 1\n";
  std::istringstream file(EarlierMetrics(metricsPath));
  std::string line;
  while (std::getline(file, line)) {
    std::string name = line.compare(0, 7, "# HELP ") == 0 || line.compare(0, 7, "# TYPE ") == 0 ? line.substr(7) : line;
    name = name.substr(0, name.find_first_of(" {"));
    bool keep = name.compare(0, 7, "zarvik_") == 0;
    for (const char *gone : replaced)
      keep = keep && name != gone;
    if (keep)
      out += line + "\n";
  }
  return out;
}

// The components of an absolute path, "." and ".." resolved as written;
// letter case folded where the file system folds it (Windows).
std::vector<std::string> Components(const std::string &path) {
  std::vector<std::string> parts;
  std::string part;
  const bool folded = plat::PathSeparator() == '\\';
  for (const char ch : plat::AbsolutePath(path) + plat::PathSeparator()) {
    if (ch != '/' && ch != plat::PathSeparator()) {
      part += folded ? static_cast<char>(std::tolower(static_cast<unsigned char>(ch))) : ch;
      continue;
    }
    if (part == ".." && !parts.empty())
      parts.pop_back();
    else if (!part.empty() && part != "." && part != "..")
      parts.push_back(part);
    part.clear();
  }
  return parts;
}

// Whether path lies inside the folder root (or is it), as the paths read.
bool Inside(const std::string &path, const std::string &root) {
  const std::vector<std::string> file = Components(path);
  const std::vector<std::string> folder = Components(root);
  return file.size() >= folder.size() && std::equal(folder.begin(), folder.end(), file.begin());
}

// Writes the file named by the variable, whole; a failure is one console
// line and changes nothing else. A path inside the archive is refused: the
// results must never replace a list, a log or an archive file.
void WriteResultFile(const char *variable, const std::string &path, const std::string &content,
                     const std::string &archiveRoot) {
  if (path.empty())
    return;
  if (Inside(path, archiveRoot)) {
    consoleline::Write(std::string("Plik ") + variable + " le" ZV_z "y w katalogu archiwum; nie zapisano go: " + path +
                       "\r\n");
    return;
  }
  if (plat::PutInPlace(path, content.data(), content.size()))
    return;
  consoleline::Write(std::string("Nie mo" ZV_z "na zapisa" ZV_c " pliku ") + variable + ": " + path + "\r\n");
}

} // namespace

ExitCode RunExitCode(RunContext &run) {
  for (const auto &job : run.jobs)
    if (const ExitCode code = job->record.exitCode.load(); code != ExitCode::kDone)
      return code;
  return run.exitCode.load();
}

void ReportRunStart(RunContext &run) { ReportRunStart(run, plat::GetEnv("ZARVIK_METRICS")); }

void ReportRunStart(RunContext &run, const std::string &metricsPath) {
  // A path inside the archive is refused (and said) by the run's end.
  if (metricsPath.empty() || Inside(metricsPath, ArchiveRoot(run.archivePath)))
    return;
  // A file that cannot be written is said once, by the run's end.
  const std::string content = StartMetricsText(run.startedEpoch, metricsPath);
  plat::PutInPlace(metricsPath, content.data(), content.size());
}

void ReportRun(RunContext &run, ExitCode exitCode) {
  ReportRun(run, exitCode, plat::GetEnv("ZARVIK_SUMMARY"), plat::GetEnv("ZARVIK_METRICS"));
}

void ReportRun(RunContext &run, ExitCode exitCode, const std::string &summaryPath, const std::string &metricsPath) {
  const std::string finished = LocalTimeIso8601();
  const double finishedEpoch = EpochSeconds();
  const double runSeconds = static_cast<double>(SteadyMs() - run.startedMs) / 1000.0;
  const std::string summary = PrintSummary(run, exitCode, runSeconds);
  ReportEvent(run, exitCode, summary);
  const std::string root = ArchiveRoot(run.archivePath);
  WriteResultFile("ZARVIK_SUMMARY", summaryPath, SummaryJson(run, exitCode, finished), root);
  WriteResultFile("ZARVIK_METRICS", metricsPath,
                  Inside(metricsPath, root) ? std::string()
                                            : MetricsText(run, exitCode, finishedEpoch, runSeconds, metricsPath),
                  root);
}
