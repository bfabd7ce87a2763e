// Scenario texts: devices described one directive a line.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devsim.h"

namespace devsim {
namespace {

struct Pending {
  enum Kind { kNone, kKe, kPrinter, kTwoPort, kPeer } kind = kNone;
  std::string name, tty, tty2;
  KeConfig ke;
  PrinterConfig printer;
  bool keFiscalSet = false;
  LineModel line;
};

bool Number(const std::string &text, int64_t *value) {
  if (text.empty())
    return false;
  char *end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0')
    return false;
  *value = v;
  return true;
}

bool Int(const std::string &text, int *value) {
  int64_t v = 0;
  if (!Number(text, &v) || v < -1000000000 || v > 1000000000)
    return false;
  *value = static_cast<int>(v);
  return true;
}

bool Byte(const std::string &text, uint8_t *value) {
  int64_t v = 0;
  if (!Number(text, &v) || v < 0 || v > 255)
    return false;
  *value = static_cast<uint8_t>(v);
  return true;
}

// Text values may be written in quotes with escapes like byte strings.
std::string TextValue(const std::string &value) {
  std::string out;
  if (value.size() >= 2 && value.front() == '\'' && ParseBytes(value, &out))
    return out;
  return value;
}

bool KeKey(const std::string &key, const std::string &value, Pending &p) {
  KeConfig &k = p.ke;
  if (key == "version") {
    if (value == "tagged")
      k.version = VersionKind::kTagged;
    else if (value == "untagged")
      k.version = VersionKind::kUntagged;
    else if (value == "silent")
      k.version = VersionKind::kSilent;
    else
      return false;
    return true;
  }
  if (key == "versiontext") return k.versionText = TextValue(value), true;
  if (key == "serial") return k.serial = TextValue(value), true;
  if (key == "kefiscal" || (key == "fiscal" && p.kind == Pending::kKe)) {
    p.keFiscalSet = true;
    return k.fiscal = TextValue(value), true;
  }
  if (key == "busy") return k.busy = true, true;
  if (key == "silentident") return Int(value, &k.silentIdentity);
  if (key == "identdelay") return Int(value, &k.identityDelayMs);
  if (key == "enq") return Int(value, &k.enqBeforeFile);
  if (key == "extra") return Byte(value, &k.extraByte);
  if (key == "flash") return Number(value, &k.flashCapacity);
  if (key == "invalid") return Number(value, &k.invalidBlocks);
  if (key == "usable") return Number(value, &k.usableCapacity);
  if (key == "free") return Number(value, &k.freeSpace);
  return false;
}

bool PrinterKey(const std::string &key, const std::string &value, Pending &p) {
  PrinterConfig &c = p.printer;
  int speed = 0;
  if (key == "speed") {
    if (!Int(value, &speed) || speed <= 0)
      return false;
    c.speed = static_cast<uint32_t>(speed);
    return true;
  }
  if (key == "status") return Byte(value, &c.status);
  if (key == "fiscal") return c.fiscal = TextValue(value), true;
  if (key == "silent") return c.silent = true, true;
  if (key == "training") return c.training = true, true;
  if (key == "transaction") return c.inTransaction = true, true;
  if (key == "relaystatus") return Byte(value, &c.relayStatus);
  if (key == "idlestatus") return Byte(value, &c.idleStatus);
  if (key == "relaydelay") return Int(value, &c.relayDelayPolls);
  if (key == "norelay") return c.refuseRelay = true, true;
  return false;
}

// Keys of the line a device sits on (both lines of a two-port device).
bool LineKey(const std::string &key, const std::string &value, LineModel &m) {
  if (key == "line") return ParseLineKind(value, &m.kind);
  if (key == "latency") return Int(value, &m.latencyMs) && m.latencyMs > 0;
  if (key == "chunk") return Int(value, &m.chunkBytes) && m.chunkBytes > 0;
  if (key == "trigger") return Int(value, &m.triggerBytes) && m.triggerBytes > 0;
  return false;
}

bool FileKey(const std::string &key, const std::string &value, KeFile &f, int *size, std::string *fill) {
  if (key == "date") return f.date = value, true;
  if (key == "size") return Int(value, size) && *size >= 0;
  if (key == "listed") return Int(value, &f.listedSize);
  if (key == "type") return value.size() == 1 && (f.type = value[0], true);
  if (key == "value") return Int(value, &f.value);
  if (key == "fill") return *fill = TextValue(value), true;
  if (key == "failfirst") return Int(value, &f.failFirst);
  if (key == "fault") {
    std::string kind = value.substr(0, value.find(':'));
    std::string arg = value.find(':') == std::string::npos ? "" : value.substr(value.find(':') + 1);
    if (kind == "none") f.fault = FileFault::kNone;
    else if (kind == "noend") f.fault = FileFault::kNoEndByte;
    else if (kind == "inside") f.fault = FileFault::kEndInside;
    else if (kind == "silent") f.fault = FileFault::kSilent;
    else if (kind == "cut") f.fault = FileFault::kCutShort;
    else if (kind == "hangup") f.fault = FileFault::kHangUp;
    else return false;
    if (f.fault == FileFault::kCutShort || f.fault == FileFault::kHangUp)
      return Int(arg, &f.faultBytes) && f.faultBytes >= 0;
    return arg.empty();
  }
  return false;
}

// <bytes> or <bytes>*<count>: the bytes repeated count times.
bool RepeatedBytes(const std::string &word, std::string *out) {
  size_t star = word.rfind('*');
  int count = 1;
  std::string bytes = word;
  if (star != std::string::npos && star + 1 < word.size() && word.find('\'', star) == std::string::npos) {
    if (!Int(word.substr(star + 1), &count) || count < 1 || count > 1000000)
      return false;
    bytes = word.substr(0, star);
  }
  std::string once;
  if (!ParseBytes(bytes, &once))
    return false;
  out->clear();
  for (int i = 0; i < count; ++i)
    *out += once;
  return true;
}

std::vector<std::string> Words(const std::string &line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string w;
  while (in >> w)
    words.push_back(w);
  return words;
}

// The line without its comment: from a '#' outside quotes to the end.
std::string WithoutComment(std::string raw) {
  bool quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && quoted)
      ++i;
    else if (raw[i] == '\'')
      quoted = !quoted;
    else if (raw[i] == '#' && !quoted) {
      raw.erase(i);
      break;
    }
  }
  return raw;
}

// key=value: the key and the value (empty without '=').
std::pair<std::string, std::string> KeyValue(const std::string &word) {
  size_t eq = word.find('=');
  return {word.substr(0, eq), eq == std::string::npos ? "" : word.substr(eq + 1)};
}

// Reads a scenario into a simulator, one directive a line. A device's keys
// wait in `p` until the next directive that is not one of its files or a
// reaction, and the holds until the end.
class ScenarioReader {
public:
  explicit ScenarioReader(Simulator &sim) : sim(sim) {}

  bool Read(std::string_view text, std::string &error) {
    std::istringstream in{std::string(text)};
    std::string raw;
    for (int lineNo = 1; std::getline(in, raw); ++lineNo) {
      std::vector<std::string> w = Words(WithoutComment(raw));
      std::string problem;
      if (!w.empty() && !Directive(w, problem)) {
        error = "line " + std::to_string(lineNo) + ": " + problem;
        return false;
      }
    }
    Flush();
    for (const std::string &name : holds)
      if (!sim.Hold(name)) {
        error = "cannot hold " + name;
        return false;
      }
    return true;
  }

private:
  bool Directive(const std::vector<std::string> &w, std::string &problem) {
    const std::string &cmd = w[0];
    if (cmd == "pacing" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
      sim.SetPacing(w[1] == "on");
      return true;
    }
    if (cmd == "hold" && w.size() == 2) {
      holds.push_back(w[1]);
      return true;
    }
    if (cmd == "file")
      return File(w, problem);
    if (cmd == "on")
      return Reaction(w, problem);
    Flush();
    return Device(w, problem);
  }

  // file <number> [key=value ...]: a file of the KE being described.
  bool File(const std::vector<std::string> &w, std::string &problem) {
    KeConfig *target = p.kind == Pending::kKe || p.kind == Pending::kTwoPort ? &p.ke
                       : (p.kind == Pending::kPrinter && p.printer.hasRelayKe) ? &p.printer.relayKe
                                                                               : nullptr;
    KeFile f;
    int size = 100;
    std::string fill;
    if (target == nullptr || w.size() < 2 || !Int(w[1], &f.number)) {
      problem = "file needs a number and a KE before it";
      return false;
    }
    for (size_t i = 2; i < w.size(); ++i) {
      auto [key, value] = KeyValue(w[i]);
      if (!FileKey(key, value, f, &size, &fill)) {
        problem = "bad file key " + w[i];
        return false;
      }
    }
    f.content = FileContent(f.number, size, fill);
    target->files.push_back(std::move(f));
    return true;
  }

  // on <bytes> send <bytes> [after=ms] | on <bytes> hangup [after=ms]: a
  // reaction of the last peer.
  bool Reaction(const std::vector<std::string> &w, std::string &problem) {
    std::string trigger, reply;
    int after = 0;
    bool hangUp = w.size() >= 3 && w[2] == "hangup";
    size_t next = hangUp ? 3 : 4;
    bool ok = !lastPeer.empty() && w.size() >= next && ParseBytes(w[1], &trigger) &&
              (hangUp || (w[2] == "send" && RepeatedBytes(w[3], &reply)));
    if (ok && w.size() > next)
      ok = w.size() == next + 1 && w[next].rfind("after=", 0) == 0 && Int(w[next].substr(6), &after);
    if (!ok) {
      problem = "bad reaction";
      return false;
    }
    if (p.kind == Pending::kPeer)
      Flush();
    sim.AddReaction(lastPeer, trigger, reply, after, hangUp);
    return true;
  }

  // ke|printer|peer <name> <tty> [keys], twoport <name> <tty> <tty2> [keys].
  bool Device(const std::vector<std::string> &w, std::string &problem) {
    const std::string &cmd = w[0];
    if ((cmd == "ke" || cmd == "printer" || cmd == "peer") && w.size() >= 3) {
      p.kind = cmd == "ke" ? Pending::kKe : cmd == "printer" ? Pending::kPrinter : Pending::kPeer;
      p.name = w[1];
      p.tty = w[2];
    } else if (cmd == "twoport" && w.size() >= 4) {
      p.kind = Pending::kTwoPort;
      p.name = w[1];
      p.tty = w[2];
      p.tty2 = w[3];
    } else {
      problem = "unknown directive " + cmd;
      return false;
    }
    if (ComNumberOfTty(p.tty) == 0 || (p.kind == Pending::kTwoPort && ComNumberOfTty(p.tty2) == 0)) {
      problem = "tty names must be ttyS<k>, ttyUSB<k> or ttyACM<k> (k 0..31)";
      return false;
    }
    if (p.kind == Pending::kPeer) {
      lastPeer = p.name;
      sim.AddPeer(p.name, p.tty);
      p = Pending{};
      return true;
    }
    bool relay = false;
    for (size_t i = p.kind == Pending::kTwoPort ? 4 : 3; i < w.size(); ++i) {
      if (!DeviceKey(w[i], relay)) {
        problem = "bad key " + w[i];
        return false;
      }
    }
    return true;
  }

  // One key of a device line; after the word "relay" a printer's keys are
  // those of the KE it relays to.
  bool DeviceKey(const std::string &word, bool &relay) {
    if (word == "relay" && p.kind == Pending::kPrinter) {
      relay = p.printer.hasRelayKe = true;
      return true;
    }
    auto [key, value] = KeyValue(word);
    if (LineKey(key, value, p.line))
      return true;
    if (p.kind == Pending::kKe)
      return KeKey(key, value, p);
    if (p.kind == Pending::kPrinter && relay) {
      Pending sub;
      sub.kind = Pending::kKe;
      sub.ke = p.printer.relayKe;
      bool ok = KeKey(key, value, sub);
      p.printer.relayKe = sub.ke;
      p.keFiscalSet = p.keFiscalSet || sub.keFiscalSet;
      return ok;
    }
    return PrinterKey(key, value, p) || (p.kind == Pending::kTwoPort && KeKey(key, value, p));
  }

  // Adds the device being described, if any.
  void Flush() {
    switch (p.kind) {
    case Pending::kKe: sim.AddKe(p.name, p.tty, p.ke).SetModel(p.line); break;
    case Pending::kPrinter:
      if (p.printer.hasRelayKe && !p.keFiscalSet)
        p.printer.relayKe.fiscal = p.printer.fiscal;
      sim.AddPrinter(p.name, p.tty, p.printer).SetModel(p.line);
      break;
    case Pending::kTwoPort: {
      if (!p.keFiscalSet)
        p.ke.fiscal = p.printer.fiscal;
      auto [printer, ke] = sim.AddTwoPort(p.name, p.tty, p.tty2, p.printer, p.ke);
      printer->SetModel(p.line);
      ke->SetModel(p.line);
      break;
    }
    default: break;
    }
    p = Pending{};
  }

  Simulator &sim;
  Pending p;
  std::vector<std::string> holds;
  std::string lastPeer;
};

} // namespace

bool Simulator::LoadScenario(std::string_view text, std::string *error) {
  std::string ignored;
  return ScenarioReader(*this).Read(text, error != nullptr ? *error : ignored);
}

bool Simulator::LoadScenarioFile(const std::string &path, std::string *error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error)
      *error = "cannot read " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return LoadScenario(text.str(), error);
}

} // namespace devsim
