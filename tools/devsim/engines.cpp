#include "engines.h"

#include <cstdio>

namespace devsim {
namespace {

constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kSub = 0x1A;
constexpr uint8_t kEsc = 0x1B;

std::string Version(const KeConfig &cfg) {
  if (!cfg.versionText.empty())
    return cfg.versionText;
  return cfg.version == VersionKind::kTagged ? "EJ2 v1.07" : "EJ v1.02";
}

} // namespace

// ---- KE module ----------------------------------------------------------

KeEngine::KeEngine(KeConfig config) : cfg(std::move(config)) {
  firstKind = cfg.version != VersionKind::kTagged;
  enqNeeded = cfg.enqBeforeFile >= 0 ? cfg.enqBeforeFile : (firstKind ? 1 : 0);
}

void KeEngine::OnBytes(const uint8_t *bytes, size_t count, Output &out) {
  for (size_t i = 0; i < count; ++i)
    OnByte(bytes[i], out);
}

void KeEngine::OnByte(uint8_t b, Output &out) {
  if (!inEscape) {
    if (b == kEsc) {
      inEscape = true;
      escape.clear();
    } else if (b == kEnq && filePending) {
      if (++enqReceived >= enqNeeded)
        AnswerFile(out);
    }
    return;
  }
  if (b == kEsc) { // a new request starts over
    escape.clear();
    return;
  }
  escape += static_cast<char>(b);
  char first = escape[0];
  bool done = false;
  if (first == 'Y' || first == 'S') {
    done = true;
  } else if (first == 'D') {
    done = escape.size() >= 2; // ESC 'D' CR
  } else if (first >= '0' && first <= '9') {
    done = b == 'F' || escape.size() > 24;
  } else {
    inEscape = false; // not a request of this module
    return;
  }
  if (done) {
    inEscape = false;
    Request(out);
  }
}

void KeEngine::Request(Output &out) {
  char first = escape[0];
  if (first == 'Y') {
    if (cfg.version != VersionKind::kSilent)
      out.Send(Version(cfg));
    return;
  }
  if (first == 'S') {
    ++identityRequests;
    if (identityRequests <= cfg.silentIdentity)
      return;
    out.Send(cfg.busy ? std::string(1, static_cast<char>(kSub)) : IdentityText(cfg), cfg.identityDelayMs);
    return;
  }
  if (first == 'D') {
    if (escape[1] == '\r')
      out.Send(DirectoryText(cfg));
    return;
  }
  // kind ';' sub ';' number 'F'
  if (escape.back() != 'F' || escape.size() < 6 || escape[1] != ';')
    return;
  size_t second = escape.find(';', 2);
  if (second == std::string::npos)
    return;
  int number = 0;
  for (size_t i = second + 1; i + 1 < escape.size(); ++i) {
    char c = escape[i];
    if (c < '0' || c > '9')
      return;
    number = number * 10 + (c - '0');
    if (number > 99999)
      return;
  }
  pendingKind = first;
  pendingNumber = number;
  enqReceived = 0;
  filePending = true;
  if (enqNeeded == 0)
    AnswerFile(out);
}

void KeEngine::AnswerFile(Output &out) {
  filePending = false;
  int count = ++fileRequests[pendingNumber];
  const KeFile *file = nullptr;
  for (const KeFile &f : cfg.files)
    if (f.number == pendingNumber)
      file = &f;
  if (file == nullptr)
    return;
  std::string reply = FileReply(*file, pendingKind);
  char end = reply.back();
  const std::string &content = file->content;
  bool hangUp = false;
  if (count <= file->failFirst) {
    reply = content.substr(0, content.size() / 2);
  } else {
    switch (file->fault) {
    case FileFault::kNone: break;
    case FileFault::kNoEndByte: reply = content; break;
    case FileFault::kEndInside:
      if (!content.empty())
        reply[content.size() / 2] = end;
      else
        reply.insert(reply.begin(), end);
      break;
    case FileFault::kCutShort: reply = reply.substr(0, file->faultBytes); break;
    case FileFault::kSilent: return;
    case FileFault::kHangUp:
      reply = reply.substr(0, file->faultBytes);
      hangUp = true;
      break;
    }
  }
  // A first-kind module puts one byte after its answer for every ENQ that
  // brought it out.
  if (!hangUp)
    reply.append(static_cast<size_t>(enqReceived), static_cast<char>(cfg.extraByte));
  out.Send(std::move(reply));
  if (hangUp)
    out.HangUp();
}

// ---- Fiscal printer ------------------------------------------------------

PrinterEngine::PrinterEngine(PrinterConfig config) : cfg(std::move(config)) {
  if (cfg.hasRelayKe) {
    KeConfig keCfg = cfg.relayKe;
    if (keCfg.fiscal.empty())
      keCfg.fiscal = cfg.fiscal;
    ke = std::make_unique<KeEngine>(std::move(keCfg));
  }
}

bool PrinterEngine::Hears(const Output &out) const {
  // At a different line speed the printer only sees garbage.
  return !cfg.silent && out.Speed() == cfg.speed;
}

void PrinterEngine::OnBytes(const uint8_t *bytes, size_t count, Output &out) {
  for (size_t i = 0; i < count; ++i) {
    uint8_t b = bytes[i];
    if (!Hears(out)) {
      inFrame = sawEsc = frameEsc = false;
      continue;
    }
    if (relaying) {
      if (b == kDle)
        out.Send(std::string(1, static_cast<char>(cfg.relayStatus)));
      else if (b == kSub)
        relaying = false;
      else if (ke)
        ke->OnByte(b, out);
      continue;
    }
    if (inFrame) {
      if (frameEsc) {
        frameEsc = false;
        if (b == '\\') {
          inFrame = false;
          OnFrame(out);
          continue;
        }
        frame += static_cast<char>(kEsc);
      }
      if (b == kEsc)
        frameEsc = true;
      else
        frame += static_cast<char>(b);
      if (frame.size() > 4096)
        inFrame = false;
      continue;
    }
    if (sawEsc) {
      sawEsc = false;
      if (b == 'P') {
        inFrame = true;
        frame.clear();
        continue;
      }
    }
    if (b == kEsc) {
      sawEsc = true;
    } else if (b == kEnq) {
      uint8_t status = cfg.status;
      if (cfg.training)
        status &= ~0x08;
      if (cfg.inTransaction)
        status |= 0x02;
      out.Send(std::string(1, static_cast<char>(status)));
    } else if (b == kDle) {
      if (relayPollsLeft == 0) {
        relaying = true;
        relayPollsLeft = -1;
        out.Send(std::string(1, static_cast<char>(cfg.relayStatus)));
      } else {
        if (relayPollsLeft > 0)
          --relayPollsLeft;
        out.Send(std::string(1, static_cast<char>(cfg.idleStatus)));
      }
    }
  }
}

void PrinterEngine::OnFrame(Output &out) {
  if (frame == "0#s") {
    out.Send(InfoReply(cfg.fiscal));
    return;
  }
  if (frame.size() == 4 && frame.compare(0, 2, "&d") == 0) {
    uint8_t sum = 0xFF ^ '&' ^ 'd';
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    if (frame.compare(2, 2, hex) == 0 && !cfg.refuseRelay)
      relayPollsLeft = cfg.relayDelayPolls;
  }
}

// ---- Plain peer ----------------------------------------------------------

void PeerEngine::OnBytes(const uint8_t *bytes, size_t count, Output &out) {
  size_t longest = 1;
  for (const Reaction &r : reactions)
    longest = r.trigger.size() > longest ? r.trigger.size() : longest;
  for (size_t i = 0; i < count; ++i) {
    tail += static_cast<char>(bytes[i]);
    if (tail.size() > longest)
      tail.erase(0, tail.size() - longest);
    for (const Reaction &r : reactions) {
      if (r.trigger.empty() || tail.size() < r.trigger.size() ||
          tail.compare(tail.size() - r.trigger.size(), r.trigger.size(), r.trigger) != 0)
        continue;
      if (r.hangUp)
        out.HangUp(r.afterMs);
      else
        out.Send(r.reply, r.afterMs);
    }
  }
}

} // namespace devsim
