// A test rig for whole runs of the real zarvik program against simulated
// devices: the simulator, a fake sysfs tree that presents its lines as
// stand-alone KE modules or plain serial ports (printers for the DR mode), a
// sandbox with the archive root, and a child process with a time limit.
//
// Layout under the rig's directory:
//   outer/arch   the archive root; nothing else may appear in outer/
//   home/        HOME, TMPDIR and the current directory of the program
//   sys/, dev/   the fake sysfs tree and device root
#pragma once

#include <sys/resource.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devsim.h"
#include "faults.h"

namespace rig {

struct Module {
  std::string name;
  std::string tty;                 // empty: a KE behind a printer's relay
  devsim::KeConfig cfg;
  devsim::LineModel line;          // how its line hands bytes over
};

struct RunOptions {
  std::vector<std::string> args;   // after the program name; default: the archive root
  long fileSizeLimit = -1;         // RLIMIT_FSIZE of the child (SIGXFSZ ignored); -1 none
  int timeoutSeconds = 150;
  bool terminal = false;           // output on a pseudo-terminal: the status line is drawn
  std::vector<std::string> wrapper; // a program to run zarvik under (a profiler, setpriv)
};

struct RunResult {
  int exitCode = -1;               // -1: killed or did not end
  bool timedOut = false;
  double seconds = 0;
  std::string output;              // standard output and error
  struct rusage usage {};
};

// Everything below dir as relative path -> bytes (regular files only).
std::map<std::string, std::string> ReadTree(const std::string &dir);
std::string ReadWhole(const std::string &path);
bool WriteWhole(const std::string &path, const std::string &bytes);

// The archive file of a KE file as the program names it, and its bytes.
std::string DiskName(const devsim::KeFile &file);
std::string ArchiveBytes(const devsim::KeFile &file);

class Rig {
public:
  // dir is created fresh (an old one of the same name is removed) and
  // removed again by the destructor unless ZARVIK_KEEP_RIG is set.
  explicit Rig(const std::string &dir, bool pacing = false);
  ~Rig();

  // A stand-alone KE module on ttyUSB<n> (n counts from 0 per rig).
  Module &AddModule(const std::string &name, devsim::KeConfig cfg, const devsim::KeFaults *faults = nullptr);
  // A plain serial port (no model of the maker): a printer for the DR mode.
  // A printer with a relay KE also adds that KE to Modules() (no line of
  // its own) so that the checks know its files.
  void AddPlainPrinter(const std::string &name, devsim::PrinterConfig cfg,
                       const devsim::PrinterFaults *faults = nullptr);

  // Starts the simulator and writes the fake sysfs tree; false with a reason.
  bool Start(std::string *why);
  RunResult Run(const RunOptions &options = {});
  // Stops the simulator and starts a fresh one with the same devices but no
  // faults, neither the fault engines nor the fault switches of the configs
  // (for the clean run after a faulty one).
  bool Restart(std::string *why);

  const std::string &Dir() const { return dir; }
  std::string ArchiveRoot() const { return outer + "/arch"; }
  std::string Outer() const { return outer; }
  // Archive into the root of another rig (two processes, one archive).
  void ShareArchiveWith(const Rig &other) { outer = other.outer; }
  std::string Home() const { return dir + "/home"; }
  std::deque<Module> &Modules() { return modules; }
  devsim::Simulator &Sim() { return *sim; }
  std::string ErrorLog() const;
  std::string CopyLog(const Module &module) const;

private:
  struct Printer {
    std::string name, tty;
    devsim::PrinterConfig cfg;
    devsim::PrinterFaults faults;
    bool faulty = false;
  };
  struct Faulty {
    devsim::KeFaults faults;
    bool on = false;
  };
  void AddLines(bool withFaults);

  std::string dir;
  std::string outer;
  bool pacing;
  std::unique_ptr<devsim::Simulator> sim;
  std::deque<Module> modules;
  std::vector<Faulty> moduleFaults;
  std::vector<Printer> printers;
  int nextUsb = 0;
};

// Checks of the invariants; each returns an empty text when they hold, or
// says what is wrong.
//  - every Z*.ej file anywhere under the archive root holds exactly the bytes
//    of a KE file of that number (content and end byte), no temporary file
//    is left over, and nothing but the archive root appears in outer/.
std::string CheckArchiveSound(Rig &rig);
//  - every file of every module is archived under its own name.
std::string CheckArchiveComplete(Rig &rig);
std::string MissingFiles(Rig &rig, const Module &module);

} // namespace rig
