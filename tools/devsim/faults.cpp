#include "faults.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <utility>

#include "engines.h"

namespace devsim {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kSub = 0x1A;

// xorshift32: small, seeded, the same sequence on every machine.
uint32_t Next(uint32_t &state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// The KE's replies pass through here on their way to the line.
class NoisyOutput : public Output {
public:
  NoisyOutput(Output &line, std::function<std::string(std::string)> filter)
      : line(line), filter(std::move(filter)) {}
  void Send(std::string bytes, int afterMs) override { line.Send(filter(std::move(bytes)), afterMs); }
  void HangUp(int afterMs) override { line.HangUp(afterMs); }
  uint32_t Speed() const override { return line.Speed(); }

private:
  Output &line;
  std::function<std::string(std::string)> filter;
};

class FaultyKeEngine : public Engine {
public:
  FaultyKeEngine(KeConfig cfg, KeFaults faults) : ke(std::move(cfg)), faults(std::move(faults)) {}

  void OnBytes(const uint8_t *bytes, size_t count, Output &out) override {
    NoisyOutput noisy(out, [this](std::string reply) { return Disturb(std::move(reply)); });
    for (size_t i = 0; i < count; ++i) {
      Classify(bytes[i]);
      if (streaming && requestDone) {
        // The module answers with a stream that has no end; the KE itself
        // never sees the request.
        requestDone = false;
        std::string chunk;
        const std::string pattern = "STREAM 0123456789 ABCDEFGHIJ\r\n";
        chunk.reserve(faults.streamBytes);
        while (chunk.size() < faults.streamBytes)
          chunk += pattern;
        chunk.resize(faults.streamBytes);
        out.Send(std::move(chunk));
        continue;
      }
      ke.OnByte(bytes[i], noisy);
    }
  }

private:
  // Follows the requests: ESC 'S', ESC 'D', ESC digit ... 'F'.
  void Classify(uint8_t b) {
    if (afterEsc) {
      afterEsc = false;
      if (b == 'S') {
        kind = ReplyKind::kIdentity;
      } else if (b == 'D') {
        kind = ReplyKind::kDirectory;
      } else if (b >= '0' && b <= '9') {
        kind = ReplyKind::kFile;
        request.assign(1, static_cast<char>(b));
        inFileRequest = true;
      } else {
        kind = ReplyKind::kIdentity;
        other = true;
        return;
      }
      other = false;
      return;
    }
    if (b == kEsc) {
      afterEsc = true;
      inFileRequest = false;
      streaming = false;
      return;
    }
    if (inFileRequest) {
      request += static_cast<char>(b);
      if (b == 'F') {
        inFileRequest = false;
        size_t semi = request.rfind(';');
        fileNumber = semi == std::string::npos ? -1 : std::atoi(request.c_str() + semi + 1);
        streaming = faults.streamFile >= 0 && fileNumber == faults.streamFile;
        requestDone = streaming;
      }
    }
  }

  std::string Disturb(std::string reply) {
    if (other)
      return reply; // the version reply
    int seen = 0;
    if (kind == ReplyKind::kFile)
      seen = ++fileReplies[fileNumber];
    else
      seen = ++replies[static_cast<int>(kind)];
    for (const ReplyNoise &noise : faults.noise) {
      if (noise.kind != kind || seen < noise.firstReply || seen >= noise.firstReply + noise.replies)
        continue;
      if (kind == ReplyKind::kFile && noise.fileNumber >= 0 && noise.fileNumber != fileNumber)
        continue;
      reply = ApplyNoise(std::move(reply), noise, static_cast<uint32_t>(seen * 7919 + fileNumber));
    }
    if (kind == ReplyKind::kDirectory) {
      if (!faults.directoryInsert.empty()) {
        size_t at = reply.find("Z0000");
        at = at == std::string::npos ? std::string::npos : reply.find('\n', at);
        if (at != std::string::npos)
          reply.insert(at + 1, faults.directoryInsert);
      }
      reply.insert(0, faults.directoryPrefix);
    }
    return reply;
  }

  KeEngine ke;
  KeFaults faults;
  bool afterEsc = false;
  bool other = false;
  bool inFileRequest = false;
  bool streaming = false;
  bool requestDone = false;
  std::string request;
  ReplyKind kind = ReplyKind::kIdentity;
  int fileNumber = -1;
  std::map<int, int> replies;
  std::map<int, int> fileReplies;
};

class FaultyPrinterEngine : public Engine {
public:
  FaultyPrinterEngine(PrinterConfig cfg, PrinterFaults faults) : printer(std::move(cfg)), faults(faults) {}

  void OnBytes(const uint8_t *bytes, size_t count, Output &out) override {
    for (size_t i = 0; i < count; ++i) {
      const bool wasRelaying = printer.relaying;
      printer.OnBytes(bytes + i, 1, out);
      if (!wasRelaying || !printer.relaying || bytes[i] == kDle || bytes[i] == kSub)
        continue;
      if (faults.leaveRelayAfter >= 0 && ++relayed >= faults.leaveRelayAfter)
        printer.relaying = false; // back to plain printer mode, unasked
    }
  }

private:
  PrinterEngine printer;
  PrinterFaults faults;
  long relayed = 0;
};

} // namespace

std::string ApplyNoise(std::string bytes, const ReplyNoise &noise, uint32_t salt) {
  uint32_t state = noise.seed * 2654435761u + salt + 1;
  if (state == 0)
    state = 1;
  for (int i = 0; i < noise.corrupt; ++i) {
    size_t room = bytes.size() - (noise.keepLast ? 1 : 0);
    if (bytes.empty() || room == 0)
      break;
    size_t at = Next(state) % room;
    uint8_t flip = static_cast<uint8_t>(1u << (Next(state) % 8));
    bytes[at] = static_cast<char>(static_cast<uint8_t>(bytes[at]) ^ flip);
  }
  for (int i = 0; i < noise.drop; ++i) {
    size_t room = bytes.size() - (noise.keepLast ? 1 : 0);
    if (bytes.empty() || room == 0)
      break;
    bytes.erase(Next(state) % room, 1);
  }
  for (int i = 0; i < noise.corruptTail && static_cast<size_t>(i) < bytes.size(); ++i) {
    char &b = bytes[bytes.size() - 1 - static_cast<size_t>(i)];
    b = static_cast<char>(static_cast<uint8_t>(b) ^ 0x41);
  }
  return bytes;
}

std::unique_ptr<Engine> MakeFaultyKe(KeConfig cfg, KeFaults faults) {
  return std::make_unique<FaultyKeEngine>(std::move(cfg), std::move(faults));
}

std::unique_ptr<Engine> MakeFaultyPrinter(PrinterConfig cfg, PrinterFaults faults) {
  return std::make_unique<FaultyPrinterEngine>(std::move(cfg), faults);
}

Line &Simulator::AddEngine(const std::string &name, const std::string &tty, std::unique_ptr<Engine> engine) {
  return AddLine(name, tty, std::move(engine));
}

} // namespace devsim
