// The end of an archive-mode run in three views of one record: a summary on
// the console (Polish, one line per job and one for the run), a JSON file
// (ZARVIK_SUMMARY) and a metrics file in the Prometheus text format
// (ZARVIK_METRICS) for the textfile collectors of the node and Windows
// exporters. Both files are put in place whole (plat::PutInPlace), so a
// reader never sees half a file.
#include <algorithm>
#include <cctype>
#include <cstdio>
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
  case ExitCode::kDirectoryNotCreated:
    return "nie mo" ZV_z "na utworzy" ZV_c " lub u" ZV_z "y" ZV_c " katalogu KE albo dziennika na dysku (dowi" ZV_a
           "zanie lub nie katalog)";
  case ExitCode::kNoPort:
    return "nie znaleziono portu do archiwizacji";
  case ExitCode::kFilesMissing:
    return "nie uda" ZV_l "o si" ZV_e " pobra" ZV_c " lub zapisa" ZV_c " niekt" ZV_o "rych plik" ZV_o
           "w KE (s" ZV_a " w dziennikach); nast" ZV_e "pne uruchomienie pobierze je ponownie";
  case ExitCode::kDiscoveryFailed:
    return "wyszukiwanie port" ZV_o "w nie powiod" ZV_l "o si" ZV_e " (b" ZV_l ZV_a "d systemu, zob. plik b" ZV_l ZV_e "du)";
  default:
    return "nieznany kod";
  }
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f s", seconds);
  return text;
}

void PrintSummary(RunContext &run, ExitCode exitCode, double runSeconds) {
  int32_t fetched = 0;
  int32_t failed = 0;
  int64_t bytes = 0;
  std::string text;
  for (const auto &jobOfRun : run.jobs) {
    const JobRecord &record = jobOfRun->record;
    std::string ports = record.kePort;
    if (!record.printerPort.empty() && record.printerPort != record.kePort)
      ports = record.printerPort + "+" + record.kePort;
    text += "Podsumowanie " + ports + ": ";
    text += record.serial.empty() ? std::string("nie odczytano numeru KE") : "KE " + record.serial;
    text += "; plik" ZV_o "w w KE " + std::to_string(record.filesListed.load()) + ", na dysku " +
            std::to_string(record.filesOnDisk.load()) + ", pobrano " + std::to_string(record.filesFetched.load()) +
            ", nieudanych " + std::to_string(record.filesFailed.load()) + ", bajt" ZV_o "w " +
            std::to_string(record.bytesFetched.load()) + ", czas " + Seconds(record.seconds) + ".\r\n";
    fetched += record.filesFetched.load();
    failed += record.filesFailed.load();
    bytes += record.bytesFetched.load();
  }
  text += "Razem: zada" ZV_n " " + std::to_string(run.jobs.size()) + ", pobrano plik" ZV_o "w " +
          std::to_string(fetched) + ", nieudanych " + std::to_string(failed) + ", bajt" ZV_o "w " +
          std::to_string(bytes) + ", czas " + Seconds(runSeconds) + ". Kod zako" ZV_n "czenia " +
          std::to_string(ExitNumber(exitCode)) + ": " + ExitMeaning(exitCode) + ".\r\n";
  consoleline::Write(text);
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

std::string Number(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string shown = text;
  while (shown.back() == '0')
    shown.pop_back();
  if (shown.back() == '.')
    shown.pop_back();
  return shown;
}

// A metrics file of this program is a few KiB even for a hundred KEs.
constexpr uint64_t kMaxEarlierMetrics = 1u << 20;

// The value of a sample without labels in a metrics file this program wrote
// earlier; empty when the file or the sample is missing or the value is not
// a plain number.
std::string EarlierSample(const std::string &path, const std::string &name) {
  // Read like every file this program reads: no link, no FIFO, bounded.
  std::vector<uint8_t> bytes;
  std::string error;
  if (path.empty() || !plat::ReadWholeFile(path, kMaxEarlierMetrics, bytes, error))
    return std::string();
  const std::string text(bytes.begin(), bytes.end());
  for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    const std::string value = line.substr(0, name.size() + 1) == name + " " ? line.substr(name.size() + 1) : "";
    if (!value.empty() && value.find_first_not_of("0123456789.") == std::string::npos)
      return value;
  }
  return std::string();
}

// The label value of a KE whose serial number was not read: Prometheus drops
// a label whose value is empty.
constexpr const char *kUnreadSerial = "unread";

std::string MetricsText(RunContext &run, ExitCode exitCode, double finishedEpoch, double runSeconds,
                        const std::string &metricsPath) {
  std::string out;
  Gauge(out, "zarvik_build_info", "The program's version, in the label; always 1.");
  out += "zarvik_build_info{version=\"" ZARVIK_VERSION "\"} 1\n";
  Gauge(out, "zarvik_run_timestamp_seconds", "When the last archive run ended, in seconds since 1970.");
  out += "zarvik_run_timestamp_seconds " + Number(finishedEpoch) + "\n";
  // A failed run carries the last good run's time over from the file it
  // replaces; there is none until a run has ended with 0.
  const std::string lastSuccess =
      exitCode == ExitCode::kDone ? Number(finishedEpoch) : EarlierSample(metricsPath, "zarvik_last_success_timestamp_seconds");
  if (!lastSuccess.empty()) {
    Gauge(out, "zarvik_last_success_timestamp_seconds", "When the last archive run that ended with 0 ended.");
    out += "zarvik_last_success_timestamp_seconds " + lastSuccess + "\n";
  }
  Gauge(out, "zarvik_run_duration_seconds", "How long the last archive run took.");
  out += "zarvik_run_duration_seconds " + Number(runSeconds) + "\n";
  Gauge(out, "zarvik_run_exit_code", "Exit code of the last archive run (0: no failure).");
  out += "zarvik_run_exit_code " + std::to_string(ExitNumber(exitCode)) + "\n";
  Gauge(out, "zarvik_jobs", "Jobs (KE modules) of the last archive run.");
  out += "zarvik_jobs " + std::to_string(run.jobs.size()) + "\n";

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

void ReportRun(RunContext &run, ExitCode exitCode) {
  ReportRun(run, exitCode, plat::GetEnv("ZARVIK_SUMMARY"), plat::GetEnv("ZARVIK_METRICS"));
}

void ReportRun(RunContext &run, ExitCode exitCode, const std::string &summaryPath, const std::string &metricsPath) {
  const std::string finished = LocalTimeIso8601();
  const double finishedEpoch = EpochSeconds();
  const double runSeconds = static_cast<double>(SteadyMs() - run.startedMs) / 1000.0;
  PrintSummary(run, exitCode, runSeconds);
  const std::string root = ArchiveRoot(run.archivePath);
  WriteResultFile("ZARVIK_SUMMARY", summaryPath, SummaryJson(run, exitCode, finished), root);
  WriteResultFile("ZARVIK_METRICS", metricsPath,
                  Inside(metricsPath, root) ? std::string()
                                            : MetricsText(run, exitCode, finishedEpoch, runSeconds, metricsPath),
                  root);
}
