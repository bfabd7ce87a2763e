// Benchmarks of the real zarvik program against the device simulator at the
// line rate (pacing on, 115200 baud = 11520 bytes/s), on each line model
// (bytes as they come, USB-serial adapter packets, UART FIFO loads). Not a
// test: it prints a table of ratios, each measured within one run, one
// column per line model, next to its goal.
//
// Times come from the program's own KE logs (the time stamp of the line that
// starts the transfer and of the last "saved" line) and from the process:
// wall time, getrusage of the child (CPU, peak resident memory) and
// /proc/<pid>/io (bytes read), taken before the child is reaped.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/checksums.h"
#include "faults/rig.h"
#include "platform/sha256.h"

namespace {

constexpr double kLineRate = 11520.0;

// Milliseconds of the day of a log line's stamp "YYYY.MM.DD HH:MM:SS.mmm> ".
long StampMs(const std::string &line) {
  int y, mo, d, h, mi, s, ms;
  if (std::sscanf(line.c_str(), "%d.%d.%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) != 7)
    return -1;
  return ((h * 60L + mi) * 60 + s) * 1000 + ms;
}

// The local time of day in milliseconds, as the log stamps give it.
long NowMs() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  ::localtime_r(&t, &local);
  return ((local.tm_hour * 60L + local.tm_min) * 60 + local.tm_sec) * 1000 +
         std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
}

// The stamp of a log's last line.
long LastStamp(const std::string &log) {
  std::istringstream lines(log);
  std::string line;
  long last = -1;
  while (std::getline(lines, line))
    if (StampMs(line) >= 0)
      last = StampMs(line);
  return last;
}

struct Transfer {
  long startMs = -1;  // "Sprawdzanie zawarto..." (the transfer begins)
  long endMs = -1;    // the last "Zapisano plik" line
  int saved = 0;
  std::vector<long> fileMs; // time of each file after the first: saved line to saved line
};

Transfer ReadTransfer(const std::string &log) {
  Transfer t;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("Sprawdzanie zawarto") != std::string::npos)
      t.startMs = StampMs(line);
    if (line.find("Zapisano plik") != std::string::npos) {
      if (t.endMs >= 0)
        t.fileMs.push_back(StampMs(line) - t.endMs);
      t.endMs = StampMs(line);
      ++t.saved;
    }
  }
  return t;
}

long Payload(const rig::Module &m) {
  long bytes = 0;
  for (const devsim::KeFile &f : m.cfg.files)
    bytes += static_cast<long>(f.content.size()) + 1;
  return bytes;
}

devsim::KeConfig Module(const std::string &serial, int files, int size, bool tagged = true) {
  devsim::KeConfig cfg;
  cfg.serial = serial;
  cfg.version = tagged ? devsim::VersionKind::kTagged : devsim::VersionKind::kUntagged;
  cfg.enqBeforeFile = 0; // a module that answers the request itself
  cfg.files.push_back(devsim::MakeFile(0, 200));
  for (int n = 1; n <= files; ++n)
    cfg.files.push_back(devsim::MakeFile(n, size));
  return cfg;
}

// The line models measured, in the order of the table's columns.
std::vector<devsim::LineKind> models;
devsim::LineKind model = devsim::LineKind::kBytes; // the one being measured

size_t Column() {
  for (size_t i = 0; i < models.size(); ++i)
    if (models[i] == model)
      return i;
  return 0;
}

struct Row {
  std::string what, goal;
  std::vector<std::string> figures; // one per line model
};
std::vector<Row> rows;

// Sets the figure of row what for the current line model; returns it.
std::string &Add(const std::string &what, const char *format, double value, const std::string &goal = "") {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  auto row = std::find_if(rows.begin(), rows.end(), [&](const Row &r) { return r.what == what; });
  if (row == rows.end()) {
    rows.push_back({what, goal, std::vector<std::string>(models.size(), "-")});
    row = rows.end() - 1;
  }
  row->figures[Column()] = text;
  std::fprintf(stderr, "  [%s] %-58s %s\n", devsim::LineKindName(model), what.c_str(), text);
  return row->figures[Column()];
}

std::string BenchDir(const std::string &name) {
  return "/tmp/zarvik-bench-" + name + "-" + std::to_string(::getpid());
}

bool Start(rig::Rig &r) {
  std::string why;
  if (!r.Start(&why)) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", why.c_str());
    return false;
  }
  return true;
}

rig::Module &AddModule(rig::Rig &r, const std::string &name, devsim::KeConfig cfg) {
  rig::Module &m = r.AddModule(name, std::move(cfg));
  m.line.kind = model;
  return m;
}

// ZARVIK_BENCH_WRAP: a command (words split at blanks) to run the program
// under, such as a profiler; its CPU figures are then the profiler's.
rig::RunResult Run(rig::Rig &r) {
  rig::RunOptions options;
  // ZARVIK_BENCH_TERMINAL: the program's output goes to a pseudo-terminal,
  // so it draws its status line; the same figures then show what it costs.
  options.terminal = std::getenv("ZARVIK_BENCH_TERMINAL") != nullptr;
  std::istringstream words(std::getenv("ZARVIK_BENCH_WRAP") ? std::getenv("ZARVIK_BENCH_WRAP") : "");
  for (std::string word; words >> word;)
    options.wrapper.push_back(word);
  return r.Run(options);
}

// KE file f as its archive file in dir, with its line in sums.
void WriteArchived(const std::string &dir, const devsim::KeFile &f, ChecksumList &sums) {
  const std::string name = rig::DiskName(f);
  rig::WriteWhole(dir + "/" + name, rig::ArchiveBytes(f));
  plat::FileDigest digest;
  plat::Sha256File(dir + "/" + name, digest);
  sums.Add(name, digest.digest);
}

double CpuSeconds(const struct rusage &u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// One module: efficiency and per-file overhead of a transfer.
void Efficiency(const std::string &label, int files, int size, bool tagged) {
  rig::Rig r(BenchDir("eff"), true);
  rig::Module &m = AddModule(r, "ke", Module("BENCH00001", files, size, tagged));
  if (!Start(r))
    return;
  rig::RunResult run = Run(r);
  Transfer t = ReadTransfer(r.CopyLog(m));
  if (run.exitCode != 0 || t.saved != files + 1 || t.startMs < 0) {
    std::fprintf(stderr, "%s: run failed (exit %d, %d saved)\n", label.c_str(), run.exitCode, t.saved);
    return;
  }
  // The transfer line is written before the first request; the run closes
  // and reopens the port and sleeps 1000 ms before it (not counted).
  const double seconds = (t.endMs - t.startMs) / 1000.0;
  const long bytes = Payload(m);
  Add(label + ": payload rate / line rate", "%.3f", bytes / seconds / kLineRate,
      tagged && size == 8192 ? ">= 0.93" : "");
  Add(label + ": overhead per file (ms)", "%.1f", (seconds - bytes / kLineRate) * 1000.0 / (files + 1));
  if (std::getenv("ZARVIK_BENCH_FILES")) { // every per-file time, for a closer look
    std::fprintf(stderr, "  [%s] %s: per-file ms:", devsim::LineKindName(model), label.c_str());
    for (long ms : t.fileMs)
      std::fprintf(stderr, " %ld", ms);
    std::fprintf(stderr, "\n");
  }
  if (size == 8192 && !t.fileMs.empty()) {
    // The spread of the per-file times shows waits that sometimes run out.
    std::sort(t.fileMs.begin(), t.fileMs.end());
    Add(label + ": time per file min / max (ms)", "%.0f", static_cast<double>(t.fileMs.front())) +=
        " / " + std::to_string(t.fileMs.back());
  }
  if (std::getenv("ZARVIK_BENCH_TERMINAL")) {
    // Each drawing of the line (timed, or again after a log line) shows one rate.
    int drawn = 0;
    for (size_t at = run.output.find("KB/s"); at != std::string::npos; at = run.output.find("KB/s", at + 1))
      ++drawn;
    Add(label + ": status lines drawn per second of transfer", "%.1f", drawn / seconds);
  }
}

void Incremental() {
  rig::Rig r(BenchDir("incr"), true);
  rig::Module &m = AddModule(r, "ke", Module("BENCH00002", 20, 8192));
  if (!Start(r))
    return;
  // Work time: from the start of the process to the KE log's last line
  // (the process itself lives on to the main thread's next 10 s look).
  long start = NowMs();
  rig::RunResult everything = Run(r);
  const double allWork = (LastStamp(r.CopyLog(m)) - start) / 1000.0;
  start = NowMs();
  rig::RunResult nothing = Run(r);
  const double noneWork = (LastStamp(r.CopyLog(m)) - start) / 1000.0;
  Add("incremental: work time fetch nothing / fetch all (20 x 8 KiB)", "%.3f", noneWork / allWork);
  Add("incremental: wall time fetch nothing / fetch all", "%.3f", nothing.seconds / everything.seconds,
      "(10 s steps)");
}

// Modules of 10 files of 8 KiB: the work time (process start to the last
// saved file) and the wall time of the process.
struct Scale {
  double work = 0, wall = 0, cpu = 0, sys = 0, mib = 0, wakeUps = 0;
  long rssKiB = 0;
};

Scale RunModules(int count) {
  Scale s;
  rig::Rig r(BenchDir("scale" + std::to_string(count)), true);
  for (int i = 0; i < count; ++i)
    AddModule(r, "ke" + std::to_string(i), Module("SCALE" + std::to_string(10000 + i), 10, 8192));
  if (!Start(r))
    return s;
  const long startMs = NowMs();
  rig::RunResult run = Run(r);
  long lastMs = 0;
  long bytes = 0;
  int saved = 0;
  for (const rig::Module &m : r.Modules()) {
    Transfer t = ReadTransfer(r.CopyLog(m));
    lastMs = std::max(lastMs, t.endMs);
    saved += t.saved;
    bytes += Payload(m);
  }
  if (run.exitCode != 0 || saved != count * 11)
    std::fprintf(stderr, "%d modules: run failed (exit %d, %d saved)\n", count, run.exitCode, saved);
  s.work = (lastMs - startMs) / 1000.0;
  s.wall = run.seconds;
  s.cpu = CpuSeconds(run.usage);
  s.sys = run.usage.ru_stime.tv_sec + run.usage.ru_stime.tv_usec / 1e6;
  s.wakeUps = static_cast<double>(run.usage.ru_nvcsw); // each wait that blocked
  s.mib = bytes / 1048576.0;
  s.rssKiB = run.usage.ru_maxrss;
  return s;
}

// CPU and memory on every line model; the work-time ratios of 4 and 16
// modules against one only on the byte model (they are the protocol's).
void Scaling() {
  Scale one = RunModules(1);
  Scale sixteen = RunModules(16);
  if (model == devsim::LineKind::kBytes) {
    Scale four = RunModules(4);
    Add("scaling: work time 4 modules / 1 module", "%.3f", four.work / one.work);
    Add("scaling: work time 16 modules / 1 module", "%.3f", sixteen.work / one.work, "<= 1.15");
    Add("scaling: wall time 16 modules / 1 module", "%.3f", sixteen.wall / one.wall, "(10 s steps)");
  }
  Add("CPU time / work time per transfer (1 module)", "%.4f", one.cpu / one.work, "<= 0.01");
  Add("CPU seconds per MiB transferred (1 module)", "%.3f", one.cpu / one.mib);
  Add("wake-ups per second of work (1 module)", "%.0f", one.wakeUps / one.work);
  Add("wake-ups per second of work per transfer (16 modules)", "%.0f", sixteen.wakeUps / sixteen.work / 16);
  Add("CPU time / work time, whole process (16 modules)", "%.4f", sixteen.cpu / sixteen.work, "<= 0.10");
  Add("CPU seconds per MiB transferred (16 modules)", "%.3f", sixteen.cpu / sixteen.mib);
  Add("share of that CPU in the kernel (16 modules)", "%.2f", sixteen.sys / sixteen.cpu);
  Add("peak resident memory, 16 modules (MiB)", "%.1f", sixteen.rssKiB / 1024.0, "< 16 + largest file");
}

// Reads /proc/<pid>/io of a child that has ended but is not reaped yet.
long ReadChars(pid_t pid, const char *field) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string name;
  long value = 0;
  while (io >> name >> value)
    if (name == field)
      return value;
  return -1;
}

void DiskCheck() {
  constexpr int kFiles = 2000;
  constexpr int kSize = 100 * 1024;
  rig::Rig r(BenchDir("disk"), false); // the Directory need not crawl at line rate
  rig::Module &m = r.AddModule("ke", Module("DISKCK0001", kFiles - 1, kSize));
  const std::string dir = r.ArchiveRoot() + "/" + m.cfg.serial;
  std::filesystem::create_directories(dir);
  ChecksumList sums;
  for (const devsim::KeFile &f : m.cfg.files)
    WriteArchived(dir, f, sums);
  // Every file has its line already: the run reads only tails, as every run
  // after the first one does.
  sums.Save(dir);
  if (!Start(r))
    return;
  const std::string directory = devsim::DirectoryText(m.cfg);
  const std::string identity = devsim::IdentityText(m.cfg);

  // The run, by hand: wait for the end without reaping, read the counters.
  pid_t pid = ::fork();
  if (pid == 0) {
    ::chdir(r.Home().c_str());
    ::setenv("ZARVIK_SYSFS_ROOT", (r.Dir() + "/sys").c_str(), 1);
    ::setenv("ZARVIK_DEV_ROOT", (r.Dir() + "/dev").c_str(), 1);
    ::setenv("HOME", r.Home().c_str(), 1);
    ::freopen("/dev/null", "w", stdout);
    ::execl(ZARVIK_EXE, ZARVIK_EXE, r.ArchiveRoot().c_str(), static_cast<char *>(nullptr));
    ::_exit(127);
  }
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
  const long rchar = ReadChars(pid, "rchar:");
  const long readBytes = ReadChars(pid, "read_bytes:");
  int status = 0;
  ::waitpid(pid, &status, 0);
  const long fromLine = static_cast<long>(directory.size() + identity.size());
  Add("disk check of 2,000 x 100 KiB: bytes read per file (rchar)", "%.0f",
      static_cast<double>(rchar - fromLine) / kFiles, "a few KiB");
  Add("disk check: all bytes read (rchar, KiB) / archive size (KiB)", "%.5f",
      static_cast<double>(rchar) / (static_cast<double>(kFiles) * kSize));
  Add("disk check: bytes read from the device (read_bytes, KiB)", "%.0f", readBytes / 1024.0, "(page cache)");
  Add("disk check: files fetched (none expected)", "%.0f", static_cast<double>(ReadTransfer(r.CopyLog(m)).saved));
}

// Seconds of wall time of one shell command.
double Timed(const std::string &command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "failed: %s\n", command.c_str());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// VERIFY against sha256sum -c over the same 2,000 files of 100 KiB, each
// the best of five runs taken in turn (both read from the page cache).
void Verify() {
  constexpr int kFiles = 2000;
  const std::string root = BenchDir("verify");
  const std::string dir = root + "/VERIFY0001";
  std::filesystem::create_directories(dir);
  ChecksumList sums;
  for (int n = 0; n < kFiles; ++n)
    WriteArchived(dir, devsim::MakeFile(n, 100 * 1024 - 1), sums);
  sums.Save(dir);
  double ours = 1e9, theirs = 1e9;
  for (int k = 0; k < 5; ++k) {
    ours = std::min(ours, Timed("'" ZARVIK_EXE "' VERIFY '" + root + "' >/dev/null"));
    theirs = std::min(theirs, Timed("cd '" + dir + "' && sha256sum --quiet -c SHA256SUMS"));
  }
  Add("VERIFY of 2,000 x 100 KiB: seconds", "%.3f", ours);
  Add("sha256sum -c of the same files: seconds", "%.3f", theirs);
  Add("VERIFY / sha256sum -c", "%.2f", ours / theirs, "<= 1.2");
  std::filesystem::remove_all(root);
}

// The peak memory (KiB) of zarvik AUDIT root report, its output dropped.
long AuditPeakKiB(const std::string &root, const std::string &report) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
      _exit(126);
    execl(ZARVIK_EXE, "zarvik", "AUDIT", root.c_str(), report.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  return usage.ru_maxrss;
}

// AUDIT against VERIFY over the same 16 KE directories of 2,000 files of
// 8 KiB, each the best of five runs taken in turn (the page cache warm); and
// AUDIT's peak memory over one directory of 5 files of 1 MiB, then of
// 16 MiB: it reads each file as VERIFY does, in blocks of 1 MiB, so it must
// not grow with them.
void Audit() {
  constexpr int kKes = 16, kFiles = 2000;
  const std::string root = BenchDir("audit");
  for (int ke = 0; ke < kKes; ++ke) {
    const std::string dir = root + "/AUDIT" + std::to_string(10000 + ke);
    std::filesystem::create_directories(dir);
    ChecksumList sums;
    for (int n = 0; n < kFiles; ++n)
      WriteArchived(dir, devsim::MakeFile(n, 8 * 1024 - 1), sums);
    sums.Save(dir);
  }
  const std::string report = BenchDir("audit-report") + ".html";
  double audit = 1e9, verify = 1e9;
  for (int k = 0; k < 5; ++k) {
    verify = std::min(verify, Timed("'" ZARVIK_EXE "' VERIFY '" + root + "' >/dev/null"));
    audit = std::min(audit, Timed("'" ZARVIK_EXE "' AUDIT '" + root + "' '" + report + "' >/dev/null"));
  }
  Add("AUDIT of 16 KEs x 2,000 x 8 KiB: seconds", "%.3f", audit);
  Add("VERIFY of the same archive: seconds", "%.3f", verify);
  Add("AUDIT / VERIFY", "%.2f", audit / verify, "<= 1.2");
  std::filesystem::remove_all(root);
  long peak[2] = {0, 0};
  for (int large = 0; large < 2; ++large) {
    const std::string dir = root + "/AUDIT00001";
    std::filesystem::create_directories(dir);
    ChecksumList sums;
    // Written a block at a time: the bench itself must not hold a file's
    // bytes (a child starts with its parent's resident pages counted).
    const std::string blockBytes(64 * 1024, 'A');
    for (int n = 1; n <= 5; ++n) {
      char name[40];
      std::snprintf(name, sizeof name, "Z%04d_2026-01-%02d.ej", n, n);
      std::ofstream out(dir + "/" + name, std::ios::binary);
      for (int k = 0; k < (large ? 16 : 1) * 16; ++k)
        out.write(blockBytes.data(), static_cast<std::streamsize>(blockBytes.size()));
      out.put('\xff');
      out.close();
      plat::FileDigest digest;
      plat::Sha256File(dir + "/" + name, digest);
      sums.Add(name, digest.digest);
    }
    sums.Save(dir);
    peak[large] = AuditPeakKiB(root, report);
    std::filesystem::remove_all(root);
  }
  Add("AUDIT peak memory, 5 x 1 MiB: KiB", "%.0f", static_cast<double>(peak[0]));
  Add("AUDIT peak memory, 5 x 16 MiB / 5 x 1 MiB", "%.2f", static_cast<double>(peak[1]) / peak[0], "<= 1.05");
  std::filesystem::remove(report);
  std::filesystem::remove(BenchDir("audit-report") + ".json");
}

// Seconds to save one more file's line into a SHA256SUMS of lines lines, as
// the archive run does after each fetched file: the mean of 200 saves, each
// line new and after the last name (the order files come in); with whole,
// each save writes the list whole (as every save did before lines were
// appended).
double SaveOneLine(int lines, bool whole) {
  const std::string dir = BenchDir("sums" + std::to_string(lines));
  std::filesystem::create_directories(dir);
  ChecksumList sums;
  plat::Sha256Digest digest{};
  char name[40];
  for (int n = 0; n < lines; ++n) {
    std::snprintf(name, sizeof name, "Z%04d_2010-03-30.ej", n);
    sums.Add(name, digest);
  }
  sums.Save(dir);
  sums.Load(dir);
  constexpr int kSaves = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int k = 0; k < kSaves; ++k) {
    std::snprintf(name, sizeof name, "Z9999_2011-%04d.ej", k);
    sums.Add(name, digest);
    if (whole)
      sums.RewriteWhole(false);
    if (!sums.Save(dir))
      std::fprintf(stderr, "SHA256SUMS of %d lines: a save failed\n", lines);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kSaves;
  std::filesystem::remove_all(dir);
  return seconds;
}

void Sums() {
  const double small = SaveOneLine(10, false), large = SaveOneLine(10000, false);
  Add("SHA256SUMS: saving one line into 10 lines (ms)", "%.3f", small * 1000);
  Add("SHA256SUMS: saving one line into 10,000 lines (ms)", "%.3f", large * 1000);
  Add("SHA256SUMS: saving one line, 10,000 lines / 10 lines", "%.2f", large / small, "<= 1.5");
  Add("  the same with the list written whole each time", "%.2f",
      SaveOneLine(10000, true) / SaveOneLine(10, true), "(before)");
}

} // namespace

// Arguments: groups (efficiency, firstkind, incremental, scaling, disk,
// verify, audit, sums) and
// line models (bytes, adapter, fifo); none of a kind means all of it. The
// incremental run and the disk check do not depend on the line: they run on
// the byte model only.
int main(int argc, char **argv) {
  std::vector<std::string> groups;
  for (int i = 1; i < argc; ++i) {
    devsim::LineKind kind;
    if (devsim::ParseLineKind(argv[i], &kind))
      models.push_back(kind);
    else
      groups.push_back(argv[i]);
  }
  if (models.empty())
    models = {devsim::LineKind::kBytes, devsim::LineKind::kAdapter, devsim::LineKind::kFifo};
  auto wanted = [&](const char *group) {
    return groups.empty() || std::find(groups.begin(), groups.end(), group) != groups.end();
  };
  std::fprintf(stderr, "measuring (each figure from one run of zarvik)...\n");
  for (devsim::LineKind kind : models) {
    model = kind;
    if (wanted("efficiency")) {
      Efficiency("tagged, 20 x 8 KiB", 20, 8192, true);
      Efficiency("tagged, 3 x 64 KiB", 3, 65536, true);
    }
    if (wanted("efficiency") || wanted("firstkind")) {
      Efficiency("first-kind, 20 x 8 KiB", 20, 8192, false);
      Efficiency("first-kind, 3 x 64 KiB", 3, 65536, false);
    }
    if (wanted("scaling"))
      Scaling();
    if (kind == devsim::LineKind::kBytes && wanted("incremental"))
      Incremental();
    if (kind == devsim::LineKind::kBytes && wanted("disk"))
      DiskCheck();
    if (kind == devsim::LineKind::kBytes && wanted("verify"))
      Verify();
    if (kind == devsim::LineKind::kBytes && wanted("audit"))
      Audit();
    if (kind == devsim::LineKind::kBytes && wanted("sums"))
      Sums();
  }

  std::printf("%-62s", "figure");
  for (devsim::LineKind kind : models)
    std::printf(" %11s", devsim::LineKindName(kind));
  std::printf("  %s\n%s\n", "goal", std::string(64 + 12 * models.size() + 20, '-').c_str());
  for (const Row &row : rows) {
    std::printf("%-62s", row.what.c_str());
    for (const std::string &figure : row.figures)
      std::printf(" %11s", figure.c_str());
    std::printf("  %s\n", row.goal.c_str());
  }
  return 0;
}
