#include "faults/rig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "base/testdir.h"
#include "fakesysfs.h"

namespace fs = std::filesystem;

namespace rig {

namespace {

std::atomic<int> counter{0};

// Runs program with env added to the environment, in cwd.
RunResult RunProcess(const std::string &program, const std::vector<std::string> &args,
                     const std::map<std::string, std::string> &env, const std::string &cwd,
                     const RunOptions &options) {
  RunResult result;
  const std::string outFile = cwd + "/.run-output-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &arg : argStore)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The environment is built before the fork: the child of a threaded
  // process may only make async-signal-safe calls.
  std::vector<std::string> envStore;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (env.count(entry.substr(0, entry.find('='))) == 0)
      envStore.push_back(entry);
  }
  for (const auto &[name, value] : env)
    envStore.push_back(name + "=" + value);
  std::vector<char *> envp;
  for (std::string &entry : envStore)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  // On a terminal the output goes to a pseudo-terminal, read as it comes.
  int master = options.terminal ? ::posix_openpt(O_RDWR | O_NOCTTY) : -1;
  const std::string terminal = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : "";

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    // The child: its own limits and environment, then the program.
    if (::chdir(cwd.c_str()) != 0)
      ::_exit(126);
    int in = ::open("/dev/null", O_RDONLY);
    int out = options.terminal ? ::open(terminal.c_str(), O_RDWR) : ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0)
      ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (options.fileSizeLimit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid < 0)
    return result;
  std::string shown;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t n; master >= 0 && (n = ::read(master, buffer, sizeof buffer)) > 0;)
      shown.append(buffer, static_cast<size_t>(n));
  });

  const auto deadline = start + std::chrono::seconds(options.timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t done = ::wait4(pid, &status, WNOHANG, &result.usage);
    if (done == pid)
      break;
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &result.usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result.timedOut && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  reader.join();
  if (master >= 0)
    ::close(master);
  result.output = master >= 0 ? shown : ReadWhole(outFile);
  ::unlink(outFile.c_str());
  return result;
}

} // namespace

std::string ReadWhole(const std::string &path) { return ReadAll(path); }

bool WriteWhole(const std::string &path, const std::string &bytes) { return WriteAll(path, bytes); }

std::map<std::string, std::string> ReadTree(const std::string &dir) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec))
      tree[fs::relative(it->path(), dir, ec).string()] = ReadWhole(it->path().string());
  }
  return tree;
}

std::string DiskName(const devsim::KeFile &file) {
  char name[16];
  std::snprintf(name, sizeof name, "Z%04d", file.number);
  return std::string(name) + "_" + file.date + ".ej";
}

std::string ArchiveBytes(const devsim::KeFile &file) { return devsim::FileReply(file, '3'); }

Rig::Rig(const std::string &where, bool pacingOn) : dir(where), outer(where + "/outer"), pacing(pacingOn) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(Home() + "/tmp", ec);
  fs::create_directories(Outer(), ec);
  devsim::Options options;
  options.pacing = pacing;
  sim = std::make_unique<devsim::Simulator>(options);
}

Rig::~Rig() {
  if (sim)
    sim->Stop();
  // The sandbox goes with the rig (the bench's holds 200 MB); set
  // ZARVIK_KEEP_RIG to look at it after a run.
  if (std::getenv("ZARVIK_KEEP_RIG") == nullptr) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
}

Module &Rig::AddModule(const std::string &name, devsim::KeConfig cfg, const devsim::KeFaults *faults) {
  modules.push_back({name, "ttyUSB" + std::to_string(nextUsb++), std::move(cfg), {}});
  moduleFaults.push_back({faults ? *faults : devsim::KeFaults{}, faults != nullptr});
  return modules.back();
}

void Rig::AddPlainPrinter(const std::string &name, devsim::PrinterConfig cfg, const devsim::PrinterFaults *faults) {
  if (cfg.hasRelayKe) {
    devsim::KeConfig ke = cfg.relayKe;
    if (ke.fiscal.empty())
      ke.fiscal = cfg.fiscal;
    modules.push_back({name + "_ke", "", ke, {}});
    moduleFaults.push_back({});
  }
  printers.push_back({name, "ttyUSB" + std::to_string(nextUsb++), std::move(cfg),
                      faults ? *faults : devsim::PrinterFaults{}, faults != nullptr});
}

void Rig::AddLines(bool withFaults) {
  for (size_t i = 0; i < modules.size(); ++i) {
    const Module &m = modules[i];
    if (m.tty.empty())
      continue;
    if (withFaults && moduleFaults[i].on)
      sim->AddEngine(m.name, m.tty, devsim::MakeFaultyKe(m.cfg, moduleFaults[i].faults));
    else
      sim->AddKe(m.name, m.tty, m.cfg);
    sim->Find(m.name)->SetModel(m.line);
  }
  for (const Printer &p : printers) {
    if (withFaults && p.faulty)
      sim->AddEngine(p.name, p.tty, devsim::MakeFaultyPrinter(p.cfg, p.faults));
    else
      sim->AddPrinter(p.name, p.tty, p.cfg);
  }
}

namespace {

devsim::FakeTtyDevice UsbTty(const std::string &tty, const std::string &slave, int index, bool keModule) {
  devsim::FakeTtyDevice d;
  d.ttyName = tty;
  d.usbDevice = "1-2." + std::to_string(index + 1);
  d.idVendor = keModule ? "0403" : "1234";
  d.idProduct = keModule ? "6001" : "5678";
  d.bcdDevice = "0600";
  d.serial = "FR" + std::to_string(100000 + index);
  d.manufacturer = keModule ? "Vemora" : "Serial Adapter Works";
  d.product = keModule ? "SELVAN ORDEK" : "USB-Serial Controller";
  d.driver = "usbserial_generic";
  d.subsystem = "usb-serial";
  d.nodeTarget = slave;
  return d;
}

} // namespace

bool Rig::Start(std::string *why) {
  AddLines(true);
  if (!sim->Start()) {
    *why = "the simulator did not start";
    return false;
  }
  std::vector<devsim::FakeTtyDevice> devices;
  for (devsim::Line *line : sim->Lines()) {
    bool module = false;
    for (const Module &m : modules)
      module = module || m.name == line->Name();
    devices.push_back(UsbTty(line->TtyName(), line->SlavePath(), static_cast<int>(devices.size()), module));
  }
  return devsim::BuildFakeSysfs(dir + "/sys", dir + "/dev", devices, why);
}

namespace {

void ClearFaults(devsim::KeConfig &cfg) {
  cfg.busy = false;
  cfg.silentIdentity = 0;
  cfg.identityDelayMs = 0;
  for (devsim::KeFile &file : cfg.files) {
    file.fault = devsim::FileFault::kNone;
    file.failFirst = 0;
    file.listedSize = -1;
  }
}

} // namespace

bool Rig::Restart(std::string *why) {
  sim->Stop();
  sim.reset();
  devsim::Options options;
  options.pacing = pacing;
  sim = std::make_unique<devsim::Simulator>(options);
  for (Faulty &f : moduleFaults)
    f.on = false;
  for (Module &m : modules)
    ClearFaults(m.cfg);
  for (Printer &p : printers) {
    p.faulty = false;
    p.cfg.silent = p.cfg.refuseRelay = p.cfg.training = p.cfg.inTransaction = false;
    ClearFaults(p.cfg.relayKe);
  }
  return Start(why);
}

RunResult Rig::Run(const RunOptions &given) {
  RunOptions options = given;
  if (options.args.empty())
    options.args.push_back(ArchiveRoot());
  const std::map<std::string, std::string> env{
      {"ZARVIK_SYSFS_ROOT", dir + "/sys"}, {"ZARVIK_DEV_ROOT", dir + "/dev"}, {"HOME", Home()},
      {"TMPDIR", Home() + "/tmp"}, {"LC_ALL", "C"}};
  if (options.wrapper.empty())
    return RunProcess(ZARVIK_EXE, options.args, env, Home(), options);
  std::vector<std::string> args(options.wrapper.begin() + 1, options.wrapper.end());
  args.push_back(ZARVIK_EXE);
  args.insert(args.end(), options.args.begin(), options.args.end());
  return RunProcess(options.wrapper[0], args, env, Home(), options);
}

std::string Rig::ErrorLog() const { return ReadWhole(ArchiveRoot() + "/ERROR_log.txt"); }

std::string Rig::CopyLog(const Module &module) const {
  return ReadWhole(ArchiveRoot() + "/" + module.cfg.serial + "/log/log_log.txt");
}

std::string CheckArchiveSound(Rig &rig) {
  std::ostringstream problems;
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(rig.Outer(), ec))
    if (entry.path().filename() != "arch")
      problems << "written outside the archive root: " << entry.path() << "\n";

  for (const auto &[path, bytes] : ReadTree(rig.ArchiveRoot())) {
    const std::string name = fs::path(path).filename().string();
    if (name.find(".tmp") != std::string::npos) {
      problems << "temporary file left: " << path << "\n";
      continue;
    }
    if (name.size() < 8 || name[0] != 'Z' || name.substr(name.size() - 3) != ".ej")
      continue;
    const int number = std::atoi(name.substr(1, 4).c_str());
    bool matches = false;
    for (const Module &m : rig.Modules())
      for (const devsim::KeFile &file : m.cfg.files)
        if (file.number == number && bytes == ArchiveBytes(file))
          matches = true;
    if (!matches)
      problems << "archive file with bytes of no KE file: " << path << " (" << bytes.size() << " bytes)\n";
  }
  return problems.str();
}

std::string MissingFiles(Rig &rig, const Module &module) {
  std::string missing;
  for (const devsim::KeFile &file : module.cfg.files) {
    const std::string path = rig.ArchiveRoot() + "/" + module.cfg.serial + "/" + DiskName(file);
    if (!fs::exists(path) || ReadWhole(path) != ArchiveBytes(file))
      missing += " " + DiskName(file);
  }
  return missing;
}

std::string CheckArchiveComplete(Rig &rig) {
  std::string problems;
  for (const Module &m : rig.Modules()) {
    std::string missing = MissingFiles(rig, m);
    if (!missing.empty())
      problems += m.name + " (" + m.cfg.serial + ") lacks" + missing + "\n";
  }
  return problems;
}

} // namespace rig
