// devsim: simulated fiscal printers and electronic-copy (KE) modules on
// pseudo-terminals, for tests, benchmarks, the demo and manual trials.
//
// A Simulator owns a device root directory and a set of lines. Every line is a
// pseudo-terminal pair: the simulator keeps the master, the program under test
// opens the slave through a stable link <root>/<tty> (for example
// <root>/ttyUSB4, which the program reaches as com37 with ZARVIK_DEV_ROOT set
// to the root). One thread serves all lines of a Simulator with one poll loop;
// Stop() (or the destructor) ends it. Nothing busy-waits.
//
// What a device sends is paced at the line rate of the line's current speed
// (the speed the program set on the slave; baud / 10 bytes per second, so
// 11520 bytes/s at 115200 baud) unless pacing is switched off. The line's
// model (LineModel) decides when the paced bytes reach the program: as they
// come, in packets like a USB-serial adapter, or in FIFO loads like a UART.
// Everything a line receives is recorded; tests read the recording
// thread-safely.
//
// Devices:
//  - KE module (AddKe): ESC 'Y' version query, ESC 'S' identity, ESC 'D' CR
//    Directory, file requests ESC kind ';' sub ';' N 'F' (and ESC "0;3;0000F"),
//    ENQ for first-kind modules. See KeConfig.
//  - Fiscal printer (AddPrinter): ENQ status, the information request
//    ESC P 0#s ESC \, the relay command ESC P &d <checksum> ESC \, DLE relay
//    polls, SUB ending the relay; while relaying every other byte goes to the
//    printer's KE and the KE's replies come back on the printer's line.
//  - Two-port device (AddTwoPort): a printer line and a KE line, one device.
//  - Peer (AddPeer): a plain line with scripted reactions, for port tests.
//
// Scenario text (LoadScenario, the CLI, the Wine harness): one directive per
// line, words separated by blanks, '#' outside quotes starts a comment. Byte
// strings are given as hex ("1b5c") or as text in single quotes with C escapes
// ("'abc\x1b\\'", \s for a blank); a reply may be repeated: "'0123'*100".
//   pacing on|off
//   ke <name> <tty> [KE keys]
//   printer <name> <tty> [printer keys] [relay [KE keys]]
//       relay: the printer carries a KE of its own that it relays to; KE keys
//       after the word relay configure it (its name is <name>_ke, no line)
//   twoport <name> <printer tty> <ke tty> [printer keys] [KE keys]
//       lines <name>_prn and <name>_ke; fiscal= sets both numbers,
//       kefiscal= the KE's alone (also for the KE behind "relay")
//   file <number> [file keys]      adds a file to the last KE named above
//   peer <name> <tty>
//   on <bytes> send <bytes> [after=<ms>]    reaction of the last peer: each
//       time its received data ends with <bytes>, send (after a delay)
//   on <bytes> hangup [after=<ms>]          ... or close the line
//   Line keys (ke, printer, twoport; a twoport sets both lines):
//       line=bytes|adapter|fifo latency=<ms> chunk=<n> trigger=<n>
//   hold <name>                     after start, the simulator itself opens the
//       slave of <name> with an exclusive flock (a port held elsewhere)
// KE keys: version=tagged|untagged|silent versiontext=<text> serial=<text>
//   fiscal=<text> busy silentident=<k> identdelay=<ms> enq=<n> extra=<byte>
//   flash=<n> invalid=<n> usable=<n> free=<n>
// Printer keys: speed=<baud> status=<byte> fiscal=<text> silent training
//   transaction relaystatus=<byte> idlestatus=<byte> relaydelay=<polls>
//   norelay
// File keys: date=<YYYY-MM-DD> size=<n> listed=<n> type=<char> value=<n>
//   fill=<text> fault=none|noend|inside|cut:<n>|silent|hangup:<n>
//   failfirst=<n>
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/posix/comtty.h"

namespace devsim {

// What a KE file request gets back, apart from the normal content + end byte.
enum class FileFault {
  kNone,
  kNoEndByte,   // content without the end byte
  kEndInside,   // an end byte in the middle of the content as well
  kCutShort,    // only the first faultBytes bytes, no end byte
  kSilent,      // no answer at all
  kHangUp,      // faultBytes bytes, then the line is closed (master hung up)
};

struct KeFile {
  int number = 1;                 // Z<number, 4 digits>; 0 is Z0000
  std::string date = "2010-03-30";
  char type = 'D';
  int value = 1;                  // the first numeric column
  std::string content;            // the file's bytes without the end byte
  int listedSize = -1;            // size in the Directory; -1: content size
  FileFault fault = FileFault::kNone;
  int faultBytes = 0;
  // The first failFirst requests of this file are answered with the first
  // half of the content and no end byte (a damaged transfer to retry).
  int failFirst = 0;
};

// Deterministic printable content of size bytes for file number (CR LF
// lines, never an end byte 0x1A or 0xFF).
std::string FileContent(int number, int size, std::string_view fill = {});
// A file with FileContent(number, size).
KeFile MakeFile(int number, int size, std::string date = "2010-03-30");

enum class VersionKind { kTagged, kUntagged, kSilent };

struct KeConfig {
  VersionKind version = VersionKind::kTagged;
  std::string versionText;        // empty: "EJ2 v1.07" tagged, "EJ v1.02" untagged
  std::string serial = "AB12345678";
  std::string fiscal = "ABC12345678";
  bool busy = false;              // the identity reply begins with SUB
  int silentIdentity = 0;         // the first k identity requests get nothing
  int identityDelayMs = 0;        // the identity reply comes this much later
  // ENQ bytes a file request needs before it is answered; -1: 1 for modules
  // without the tag (untagged or silent version), 0 for tagged ones. The
  // answer carries one extra byte per ENQ received after the request.
  int enqBeforeFile = -1;
  uint8_t extraByte = 0x06;
  int64_t flashCapacity = 1048576;
  int64_t invalidBlocks = 0;
  int64_t usableCapacity = 1000000;
  int64_t freeSpace = 500000;
  std::vector<KeFile> files;
};

// The Directory text the KE sends for cfg, SUB included.
std::string DirectoryText(const KeConfig &cfg);
// The identity reply for cfg (serial on line 5, fiscal on line 3, CR LF, SUB).
std::string IdentityText(const KeConfig &cfg);
// Bytes of the reply to a request for file number with the kind digit kind,
// without faults: content and end byte (0xFF for kind '3' and N > 0, else 0x1A).
std::string FileReply(const KeFile &file, char kind);

struct PrinterConfig {
  uint32_t speed = 9600;          // ENQ is answered only at this line speed
  uint8_t status = 0x68;          // bit 3 set: fiscal mode; bit 1 clear
  std::string fiscal = "ABC12345678";
  bool silent = false;            // answers nothing
  bool training = false;          // status bit 3 cleared
  bool inTransaction = false;     // status bit 1 set
  uint8_t relayStatus = 0x78;     // DLE answer while relaying
  uint8_t idleStatus = 0x70;      // DLE answer otherwise
  int relayDelayPolls = 0;        // DLE polls answered idle after "&d"
  bool refuseRelay = false;       // the relay command is ignored
  bool hasRelayKe = false;        // carries a KE reached through the relay
  KeConfig relayKe;
};

// The reply to the information request; what the program's field
// consumption leaves of it is exactly fiscal.
std::string InfoReply(const std::string &fiscal);

class Simulator;
class Engine;

// When the bytes a device sends reach the program's side of the line. Every
// model carries them at the line rate; they differ in how they are handed
// over (with pacing off, every model hands them over at once).
enum class LineKind {
  kBytes,   // each byte as soon as it has crossed the line
  kAdapter, // a USB-serial adapter: a packet of chunkBytes as soon as that
            // many are waiting, else what is waiting when the latency timer
            // runs out (it restarts with every packet and runs on while idle)
  kFifo,    // a UART's receive FIFO: triggerBytes at a time, or what is
            // waiting four character times after the last byte came in
};

struct LineModel {
  LineKind kind = LineKind::kBytes;
  int latencyMs = 16;
  int chunkBytes = 62;
  int triggerBytes = 14;
};

// "bytes", "adapter", "fifo"; false for another word.
bool ParseLineKind(std::string_view word, LineKind *kind);
const char *LineKindName(LineKind kind);

// One hand-over to the program's side, on the simulator's clock: when the
// model let the bytes go (due) and when the last of them had crossed the
// line (arrived). The byte model's due is the time of the write.
struct Delivery {
  std::chrono::steady_clock::time_point due, arrived;
  size_t bytes = 0;
};

// One pseudo-terminal line of a simulated device.
class Line {
public:
  ~Line();
  const std::string &Name() const { return name; }
  const std::string &TtyName() const { return tty; }   // ttyUSB4
  int ComNumber() const { return comNumber; }           // 37 for ttyUSB4
  std::string PortName() const;                         // "com37"
  const std::string &SlavePath() const { return slavePath; }
  const std::string &LinkPath() const { return linkPath; }

  // The recording of everything received so far.
  std::string Received() const;
  size_t ReceivedCount() const;
  // Waits until at least count bytes have been received in total.
  bool WaitReceived(size_t count, int timeoutMs) const;
  // Waits until needle occurs in the recording at or after offset from.
  bool WaitReceivedContains(std::string_view needle, size_t from, int timeoutMs) const;
  void ClearReceived();
  // Also append every received byte to this file as it arrives.
  bool RecordTo(const std::string &path);

  // Sends bytes from the device side (paced like device replies).
  void Write(std::string_view bytes, int afterMs = 0);
  // Closes the master now: the program's side sees a hang-up.
  void HangUp();
  bool IsHungUp() const;
  // The speed the program last set on the line (0 when unknown).
  uint32_t Speed() const;
  // How the line hands bytes over (see LineModel); bytes already handed
  // over stay, the model's timers start afresh.
  void SetModel(const LineModel &model);
  // Keeps a log of the hand-overs from now on (off by default).
  void LogDeliveries();
  std::vector<Delivery> Deliveries() const;

  struct State; // internal: the line's descriptors, queue and recording

private:
  friend class Simulator;
  Line(Simulator &owner, std::string name, std::string tty);
  Simulator &owner;
  std::string name, tty, slavePath, linkPath;
  int comNumber = 0;
  std::unique_ptr<State> state;
};

// COM number of a tty name, as the program maps it.
using plat::ComNumberOfTty;

struct Options {
  std::string deviceRoot;         // empty: a fresh temporary directory, removed at the end
  bool pacing = true;
  std::string recordDir;          // non-empty: record each line to <dir>/<name>.rec
};

class Simulator {
public:
  Simulator();
  explicit Simulator(Options options);
  ~Simulator();
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  const std::string &DeviceRoot() const;
  void SetPacing(bool on);
  bool Pacing() const;

  // Devices. tty names the link in the device root. The returned lines live
  // as long as the simulator. Devices may be added before or after Start.
  Line &AddKe(const std::string &name, const std::string &tty, KeConfig cfg);
  Line &AddPrinter(const std::string &name, const std::string &tty, PrinterConfig cfg);
  // Lines name_prn and name_ke (each keeps the fiscal number it is given).
  std::pair<Line *, Line *> AddTwoPort(const std::string &name, const std::string &printerTty,
                                       const std::string &keTty, PrinterConfig printer, KeConfig ke);
  Line &AddPeer(const std::string &name, const std::string &tty);
  // Reactions of a peer: each time the received data ends with trigger, send
  // reply after afterMs (or hang up when hangUp).
  void AddReaction(const std::string &peer, std::string trigger, std::string reply, int afterMs = 0,
                   bool hangUp = false);
  // Opens the slave of line name with an exclusive flock held until Stop.
  bool Hold(const std::string &name);
  // A line served by an engine of the caller's own (fault engines, faults.h).
  Line &AddEngine(const std::string &name, const std::string &tty, std::unique_ptr<Engine> engine);

  // Adds the devices of a scenario text (see the top of this file). False
  // with a message in error on a bad directive.
  bool LoadScenario(std::string_view text, std::string *error);
  bool LoadScenarioFile(const std::string &path, std::string *error);

  Line *Find(const std::string &name);
  std::vector<Line *> Lines();

  bool Start();
  void Stop();

  // Counters read by tests (thread-safe).
  int IdentityRequests(const std::string &keName) const;
  int FileRequests(const std::string &keName, int number) const;
  bool Relaying(const std::string &printerName) const;

  struct Impl;

private:
  friend class Line;
  Line &AddLine(const std::string &name, const std::string &tty, std::unique_ptr<Engine> engine);
  std::unique_ptr<Impl> impl;
};

// Parses a scenario byte string: hex digits, or text in single quotes with
// C escapes (\xNN, \r, \n, \\, \').
bool ParseBytes(std::string_view word, std::string *out);

} // namespace devsim
