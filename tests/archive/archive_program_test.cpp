// The real zarvik program in archive mode against simulated devices that a
// fake sysfs tree presents: the two-port device (com33 printer channel, com34
// KE channel), a stand-alone KE module (com35), and a printer relaying to a
// KE behind another vendor's adapter (com36). Every run lasts at least the
// 10 s of the program's first wait. Each run also writes the results files
// (JSON and metrics), read back field by field.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <map>
#include <set>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "fakesysfs.h"
#include "jobfixture.h"

using namespace archtest;
using ::testing::HasSubstr;

class ProgramTest : public JobTest {
protected:
  devsim::KeConfig module, twoPortKe, relayKe;
  std::vector<std::string> targets;
  std::string extraEnv;  // more NAME='value' settings for the next runs

  // With faults: the two-port device's KE belongs to another fiscal memory
  // and the module's file 2 never arrives whole.
  void StartDevices(bool withKeChannel = true, bool faults = false) {
    module = KeWithFiles(3);
    module.serial = "MOD0000001";
    twoPortKe = KeWithFiles(2, devsim::VersionKind::kUntagged);
    twoPortKe.serial = "QX70000002";
    if (faults) {
      twoPortKe.fiscal = "XYZ99999999";
      module.files[2].failFirst = 10;
    }
    devsim::PrinterConfig printer;
    printer.hasRelayKe = true;
    printer.relayKe = KeWithFiles(2);
    printer.relayKe.serial = "DR00000003";
    relayKe = printer.relayKe;
    auto lines = sim->AddTwoPort("qx", "ttyUSB0", "ttyUSB1", devsim::PrinterConfig(), twoPortKe);
    devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", module);
    devsim::Line &prn = sim->AddPrinter("prn", "ttyUSB3", printer);
    ASSERT_TRUE(sim->Start());
    targets = {lines.first->SlavePath(), withKeChannel ? lines.second->SlavePath() : "", ke.SlavePath(),
               prn.SlavePath()};
    devices = devsim::StandardFakeDevices(targets);
    if (!withKeChannel)
      devices.erase(devices.begin() + 1);
    Present(devsim::SysfsLayout::kClassic);
  }
  // The devices in a fresh sysfs tree of that layout.
  void Present(devsim::SysfsLayout layout) {
    std::filesystem::remove_all(root / "sys");
    std::string error;
    ASSERT_TRUE(devsim::BuildFakeSysfs(root / "sys", root / "dev", devices, &error, layout)) << error;
  }
  std::vector<devsim::FakeTtyDevice> devices;

  // Runs zarvik with args in the scratch directory, its output appended to
  // console.txt (or, on a terminal 30 columns wide, written to terminal.txt);
  // the exit code,
  // and the run's length in seconds in *seconds.
  int Zarvik(const std::string &args, double *seconds = nullptr, bool terminal = false) {
    const std::string env = "env LC_ALL=C ZARVIK_SYSFS_ROOT='" + (root / "sys") + "' ZARVIK_DEV_ROOT='" + (root / "dev") +
                            "' HOME='" + home.root + "' ZARVIK_SUMMARY='" + (root / "summary.json") +
                            "' ZARVIK_METRICS='" + (root / "zarvik.prom") + "' " + extraEnv + " ";
    std::string command = "cd '" + root.root + "' && " + env;
    if (terminal)
      command += "/usr/bin/python3 '" ZARVIK_SOURCE "/tests/archive/runtools.py' pty 30 terminal.txt '" ZARVIK_EXE "' " +
                 args + " </dev/null";
    else
      command += "'" ZARVIK_EXE "' " + args + " >> '" + (root / "console.txt") + "' 2>&1 </dev/null";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    if (seconds != nullptr)
      *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The console output since the last call, without its Polish letters
  // (a UTF-8 locale turns them into UTF-8).
  std::string NewConsole() {
    std::string all = ReadBytes(root / "console.txt");
    std::string fresh;
    for (size_t k = std::min(seen, all.size()); k < all.size(); ++k)
      if (static_cast<unsigned char>(all[k]) < 0x80)
        fresh += all[k];
    seen = all.size();
    return fresh;
  }
  size_t seen = 0;

  nlohmann::json Summary() { return nlohmann::json::parse(ReadBytes(root / "summary.json")); }
  // The metrics file as the Prometheus client's parser reads it.
  std::map<std::string, double> Metrics() {
    std::map<std::string, double> samples;
    const std::string command =
        "/usr/bin/python3 '" ZARVIK_SOURCE "/tests/archive/runtools.py' metrics '" + (root / "zarvik.prom") + "'";
    FILE *pipe = popen(command.c_str(), "r");
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
      std::string text(line);
      const size_t space = text.rfind(' ');
      samples[text.substr(0, space)] = std::stod(text.substr(space + 1));
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << "metrics do not parse";
    return samples;
  }
  static std::string Ke(const std::string &metric, const std::string &port, const std::string &serial) {
    return metric + "{ke_serial=\"" + serial + "\",port=\"" + port + "\"}";
  }
  // Bytes of the KE's files that the run fetched.
  static int64_t Bytes(const devsim::KeConfig &cfg, int skip = -1) {
    int64_t bytes = 0;
    for (const devsim::KeFile &file : cfg.files)
      if (file.number != skip)
        bytes += static_cast<int64_t>(devsim::FileReply(file, '3').size());
    return bytes;
  }
  // One job of the summary against what the devices hold.
  void ExpectJob(const nlohmann::json &job, const char *kind, const char *printerPort, const char *kePort,
                 const devsim::KeConfig &cfg, bool passed, std::vector<int> counts, int64_t bytes) {
    SCOPED_TRACE(job.dump());
    EXPECT_EQ(job["kind"], kind);
    EXPECT_EQ(job["printer_port"], printerPort ? nlohmann::json(printerPort) : nlohmann::json());
    EXPECT_EQ(job["ke_port"], kePort);
    EXPECT_EQ(job["ke_serial"], cfg.serial);
    EXPECT_EQ(job["fiscal_number"], cfg.fiscal);
    EXPECT_EQ(job["directory"], passed ? nlohmann::json(archive + Sep() + cfg.serial) : nlohmann::json());
    EXPECT_EQ(job["checks_passed"], passed);
    EXPECT_EQ(std::vector<int>({job["files_listed"], job["files_on_disk"], job["files_fetched"], job["files_failed"]}),
              counts);
    EXPECT_EQ(job["bytes_fetched"], bytes);
    EXPECT_GT(job["seconds"].get<double>(), 0.0);
    EXPECT_EQ(job["errors"].empty(), passed && counts[3] == 0);
  }
};

TEST_F(ProgramTest, DirectAndCombinedJobsThenASecondRunFetchesNothing) {
  StartDevices();
  double seconds = 0;
  EXPECT_EQ(Zarvik("archiwum", &seconds), 0);
  EXPECT_GE(seconds, 10.0);
  nlohmann::json summary = Summary();
  EXPECT_EQ(summary["version"], ZARVIK_VERSION_TEXT);
  EXPECT_EQ(summary["target"], archive);
  const std::string iso = "[0-9]+-[0-9]+-[0-9]+T[0-9]+:[0-9]+:[0-9]+[+-][0-9][0-9]:[0-9][0-9]";
  EXPECT_THAT(summary["started"].get<std::string>(), ::testing::MatchesRegex(iso));
  EXPECT_THAT(summary["finished"].get<std::string>(), ::testing::MatchesRegex(iso));
  EXPECT_EQ(summary["exit_code"], 0);
  ASSERT_EQ(summary["jobs"].size(), 2u);
  ExpectJob(summary["jobs"][0], "combined", "com33", "com34", twoPortKe, true, {3, 0, 3, 0}, Bytes(twoPortKe));
  ExpectJob(summary["jobs"][1], "direct", nullptr, "com35", module, true, {4, 0, 4, 0}, Bytes(module));
  // Redirected: the summary, and no trace of a status line.
  const std::string console = ReadBytes(root / "console.txt");
  EXPECT_EQ(Count(console, "\r\nPodsumowanie com33+com34: KE QX70000002; plik\xC3\xB3w w KE 3, na dysku 0, pobrano 3, "
                           "nieudanych 0, bajt\xC3\xB3w " + std::to_string(Bytes(twoPortKe)) + ", czas "), 1) << console;
  EXPECT_EQ(Count(console, "Podsumowanie com35: KE MOD0000001;"), 1) << console;
  EXPECT_EQ(Count(console, "Razem: zada\xC5\x84 2, pobrano plik\xC3\xB3w 7, nieudanych 0"), 1) << console;
  EXPECT_EQ(Count(console, "Kod zako\xC5\x84" "czenia 0: zako\xC5\x84" "czono bez zarejestrowanego b\xC5\x82\xC4\x99" "du.\r\n"), 1);
  EXPECT_EQ(Count(console, "KB/s"), 0);
  EXPECT_EQ(Count(console, "\r"), Count(console, "\r\n"));
  ExpectArchived(module);
  ExpectArchived(twoPortKe);
  EXPECT_FALSE(Exists(KeDir(relayKe.serial)));
  // The printer channel was checked, the printer behind the adapter not.
  EXPECT_NE(sim->Find("qx_prn")->Received().find("\x1bP0#s\x1b\\"), std::string::npos);
  EXPECT_EQ(sim->Find("prn")->Received(), "");

  // The second run on a terminal of 30 columns: the status line is drawn
  // while the jobs run, cut to 29 columns, and erased before the summary;
  // the second run fetches nothing.
  EXPECT_EQ(Zarvik("archiwum" + Sep(), nullptr, true), 0);
  const std::string terminal = ReadBytes(root / "terminal.txt");
  const size_t lastStatus = terminal.rfind("KB/s");
  ASSERT_NE(lastStatus, std::string::npos) << terminal;
  // The drawings of the status line (the parts between line ends that start
  // with a port) and the widest one's width in characters (UTF-8 on the
  // console).
  std::set<std::string> drawn;
  std::string part;
  size_t width = 0, widest = 0;
  for (char ch : terminal + "\n") {
    if (ch != '\r' && ch != '\n') {
      part += ch;
      width += (static_cast<unsigned char>(ch) & 0xC0) != 0x80 ? 1 : 0;
      continue;
    }
    if (part.compare(0, 3, "com") == 0) {
      drawn.insert(part);
      widest = std::max(widest, width);
    }
    part.clear();
    width = 0;
  }
  EXPECT_EQ(widest, 29u) << terminal;
  EXPECT_GE(drawn.count("com34: 0% 0.0 KB/s 0/0 plik\xC3\xB3w") + drawn.count("com35: 0% 0.0 KB/s 0/0 plik\xC3\xB3w"), 1u)
      << terminal;
  const size_t erased = terminal.find(" \r", lastStatus);
  EXPECT_LT(erased, terminal.find("Podsumowanie com33+com34", lastStatus)) << terminal;
  EXPECT_EQ(terminal.substr(terminal.rfind("\n") + 1), "") << terminal;
  summary = Summary();
  ExpectJob(summary["jobs"][0], "combined", "com33", "com34", twoPortKe, true, {3, 3, 0, 0}, 0);
  ExpectJob(summary["jobs"][1], "direct", nullptr, "com35", module, true, {4, 4, 0, 0}, 0);
  std::map<std::string, double> metrics = Metrics();
  EXPECT_EQ(metrics["zarvik_run_exit_code{}"], 0);
  EXPECT_EQ(metrics["zarvik_jobs{}"], 2);
  EXPECT_GE(metrics["zarvik_run_duration_seconds{}"], 10);
  EXPECT_NEAR(metrics["zarvik_run_timestamp_seconds{}"], static_cast<double>(std::time(nullptr)), 60);
  // The per-KE gauges carry the summary's fields (their values: the logic
  // tests); the files on disk are counted there.
  EXPECT_EQ(metrics[Ke("zarvik_ke_archive_files", "com35", module.serial)], 4);
  EXPECT_EQ(metrics["zarvik_build_info{version=\"" ZARVIK_VERSION_TEXT "\"}"], 1);
  EXPECT_EQ(metrics["zarvik_archive_root_writable_by_users{}"], 0);  // the root this program made
  EXPECT_EQ(metrics["zarvik_ke_last_seen_timestamp_seconds{ke_serial=\"" + module.serial + "\"}"],
            metrics["zarvik_run_timestamp_seconds{}"]);
  EXPECT_EQ(metrics.size(), 9u + 7u * 2u + 2u * 2u);

  // VERIFY agrees with the run; one byte changed in place (the end marker
  // stays): code 9 and nothing changed on disk; FIX moves the file aside and
  // counts it. (What VERIFY says of each fault: the logic tests; the run that
  // fetches the file again, and the logs and requests of a second run: the
  // Wine archive test.)
  NewConsole();
  EXPECT_EQ(Zarvik("verify archiwum"), 0);
  EXPECT_THAT(NewConsole(), HasSubstr("Razem katalogw KE: 2, sprawdzono plikw: 7, problemw: 0"));
  const std::string one = KeDir(module.serial) + Sep() + DiskName(1);
  std::string changed = ReadBytes(one);
  changed[10] ^= 1;
  WriteBytes(one, changed);
  EXPECT_EQ(Zarvik("VERIFY archiwum"), 9);
  EXPECT_EQ(ReadBytes(one), changed);
  EXPECT_EQ(Zarvik("VERIFY archiwum FIX"), 9);
  EXPECT_EQ(ReadBytes(KeDir(module.serial) + Sep() + "uszkodzone" + Sep() + DiskName(1)), changed);
  EXPECT_THAT(NewConsole(), HasSubstr("przeniesiono do uszkodzone: 1"));
}

// Bad input for VERIFY, and targets that cannot be used.
TEST_F(ProgramTest, UnusableTargetsAndBadInput) {
  StartDevices();
  WriteBytes(root / "plik", "not a directory");
  EXPECT_EQ(Zarvik("plik" + Sep() + "archiwum com35"), 5);
  EXPECT_THAT(NewConsole(), HasSubstr("Nie mona utworzy katalogu: plik" + Sep() + "archiwum: Not a directory"));
  EXPECT_EQ(sim->Find("ke")->Received(), "");
  EXPECT_EQ(Zarvik("VERIFY nowhere"), 9);
  EXPECT_THAT(NewConsole(), HasSubstr("Nie mona odczyta katalogu: nowhere"));

  // A KE directory with foreign and odd files and a list written by hand
  // (what VERIFY and FIX make of a changed file and of a bad line: the guard
  // test): each problem said once, nothing valid moved, nothing written
  // outside, and the list rewritten with the odd file's line alone.
  const std::string full = root / "ke" + Sep() + "X1", dir = "ke" + Sep() + "X1";
  std::filesystem::create_directories(full);
  WriteBytes(full + Sep() + "Z0001 a;'\xBF.ej", "odd\xff");
  WriteBytes(full + Sep() + "Zxyz.ej", "foreign");
  WriteBytes(full + Sep() + "notes.txt", "user's");
  WriteBytes(full + Sep() + "SHA256SUMS", "garbage\r\n" + std::string(64, 'a') + "  ../../etc/passwd\n" +
                                             std::string(64, 'b') + "  notes.txt\n");
  EXPECT_EQ(Zarvik("VERIFY ke FIX"), 9);
  std::string said = NewConsole();
  for (const std::string &line : {"Wiersz dotyczy pliku spoza archiwum: " + dir + Sep() + "SHA256SUMS: ../../etc/passwd",
                                  "Obcy plik: " + dir + Sep() + "Zxyz.ej",
                                  "Wiersz dotyczy pliku spoza archiwum: " + dir + Sep() + "SHA256SUMS: notes.txt",
                                  "Brak sumy kontrolnej: " + dir + Sep() + "Z0001 a;'.ej",
                                  "Dopisano sum kontroln: " + dir + Sep() + "Z0001 a;'.ej"})
    EXPECT_EQ(Count(said, line), 1) << line << "\n" << said;
  EXPECT_EQ(Count(said, "dopisano sum: 1"), 2);  // the directory's and the total
  EXPECT_EQ(ReadBytes(full + Sep() + "notes.txt"), "user's");
  EXPECT_EQ(ReadBytes(full + Sep() + "Zxyz.ej"), "foreign");
  const std::string list = ReadBytes(full + Sep() + "SHA256SUMS");
  EXPECT_EQ(list.substr(64), "  Z0001 a;'\xBF.ej\n") << list;
}

// A failed check and a failed file in one run: the results say which KE.
TEST_F(ProgramTest, FailedCheckAndFailedFileInOneRun) {
  StartDevices(true, true);
  // The run's code is the first failing job's in the summary's order, not
  // the one that happened to fail last.
  EXPECT_EQ(Zarvik("archiwum"), 4);
  nlohmann::json summary = Summary();
  ASSERT_EQ(summary["jobs"].size(), 2u);
  EXPECT_EQ(summary["jobs"][1]["exit_code"], 7);
  ExpectJob(summary["jobs"][0], "combined", "com33", "com34", twoPortKe, false, {0, 0, 0, 0}, 0);
  ExpectJob(summary["jobs"][1], "direct", nullptr, "com35", module, true, {4, 0, 3, 1}, Bytes(module, 2));
  EXPECT_THAT(summary["jobs"][0]["errors"][0].get<std::string>(),
              ::testing::StartsWith("<com34> Nie zgadza si\u0119 numer pami\u0119ci fiskalnej"));
  EXPECT_EQ(Metrics()[Ke("zarvik_ke_archive_files", "com35", module.serial)], 3);
}

// The printer window as HH:MM-HH:MM from `from` to `to` minutes after now.
std::string WindowAroundNow(int from, int to) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int minute = local.tm_hour * 60 + local.tm_min;
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d-%02d:%02d", (minute + from + 1440) % 1440 / 60,
                (minute + from + 1440) % 60, (minute + to + 1440) % 1440 / 60, (minute + to + 1440) % 60);
  return text;
}

// DR with and without a port range on both sysfs layouts (the ttyS printer
// port without a device left out, so that com36 is the only printer), and the
// printer window: outside it the printer is skipped with one line and the
// run ends 0 at once; a malformed window is a usage error.
TEST_F(ProgramTest, PassThroughJobWithDr) {
  StartDevices();
  devices.erase(devices.begin() + 4);
  Present(devsim::SysfsLayout::kClassic);
  EXPECT_EQ(Zarvik("archiwum DR"), 0);
  ExpectArchived(relayKe);
  EXPECT_FALSE(Exists(KeDir(module.serial)));
  EXPECT_FALSE(sim->Relaying("prn"));
  EXPECT_EQ(Summary()["jobs"].size(), 1u);
  for (devsim::SysfsLayout layout : {devsim::SysfsLayout::kClassic, devsim::SysfsLayout::kSerialBase}) {
    Present(layout);
    EXPECT_EQ(Zarvik("archiwum DR com1"), 6);  // the placeholder without a UART is no port
  }
  NewConsole();

  double seconds = 0;
  const std::string outside = WindowAroundNow(120, 180);
  extraEnv = "ZARVIK_DR_WINDOW=" + outside;
  EXPECT_EQ(Zarvik("archiwum DR", &seconds), 0);
  EXPECT_LT(seconds, 10.0);
  const std::string window = " poza oknem ZARVIK_DR_WINDOW=" + outside + " (uruchomienie o ";
  EXPECT_EQ(Count(NewConsole(), "<ERROR> <com36> Pominito drukark" + window), 1);
  EXPECT_EQ(CountContaining(LogLines(archive + Sep() + "ERROR_log.txt"),
                            "<com36> Pomini\xEAto drukark\xEA" + window), 1);
  EXPECT_EQ(Summary()["jobs"].size(), 0u);
  EXPECT_EQ(Summary()["exit_code"], 0);

  // The command line's window (an installed task's) holds over the variable.
  extraEnv = "ZARVIK_DR_WINDOW=" + WindowAroundNow(-60, 60);
  EXPECT_EQ(Zarvik("archiwum DR OKNO=" + outside), 0);
  EXPECT_EQ(Count(NewConsole(), "<com36> Pominito drukark poza oknem OKNO=" + outside), 1);
  EXPECT_EQ(Zarvik("archiwum DR com36"), 0);
  EXPECT_EQ(Summary()["jobs"][0]["printer_port"], "com36");
  extraEnv = "ZARVIK_DR_WINDOW=20:00-6:00";
  NewConsole();
  EXPECT_EQ(Zarvik("archiwum"), 11);
  EXPECT_EQ(Zarvik("archiwum okno=2000-0600"), 11);
  EXPECT_EQ(NewConsole(), "Uycie: ZARVIK_DR_WINDOW=GG:MM-GG:MM; bdna warto: 20:00-6:00\r\n"
                          "Uycie: OKNO=GG:MM-GG:MM; bdna warto: 2000-0600\r\n");
}

TEST_F(ProgramTest, TwoPortDeviceWithoutItsKeChannelIsCode3) {
  StartDevices(false);
  EXPECT_EQ(Zarvik("archiwum"), 3);
  ExpectArchived(module);
  EXPECT_EQ(sim->Find("qx_prn")->Received(), "");
}

TEST_F(ProgramTest, NoPortInRangeEndsAtOnceWith6) {
  StartDevices();
  double seconds = 0;
  EXPECT_EQ(Zarvik("archiwum com10 com3", &seconds), 6);
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(sim->Find("ke")->Received(), "");
  EXPECT_EQ(Summary()["jobs"], nlohmann::json::array());
  EXPECT_EQ(Count(ReadBytes(root / "console.txt"), "Razem: zada\xC5\x84 0"), 1);

  // A results file that cannot be written costs one console line, not the
  // exit code; the other file is still written, with the run's code.
  std::remove((root / "summary.json").c_str());
  extraEnv = "ZARVIK_METRICS='" + (root / "missing") + "/zarvik.prom" + "'";
  EXPECT_EQ(Zarvik("archiwum com10 com3"), 6);
  EXPECT_EQ(Summary()["exit_code"], 6);
  EXPECT_EQ(Count(ReadBytes(root / "console.txt"), "Nie mo\xC5\xBCna zapisa\xC4\x87 pliku ZARVIK_METRICS: "), 1);
}
