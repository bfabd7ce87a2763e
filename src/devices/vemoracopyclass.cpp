// The KE protocol: version, identity, Directory and numbered files.
#include "devices/vemoracopyclass.h"

#include <string>

#include "devices/collectreply.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kSub = 0x1A;
constexpr uint8_t kFileEnd = 0xFF;

constexpr int kReadTimeoutMs = 20;
constexpr uint32_t kDirectSpeed = 115200;
constexpr int kVersionWaitMs = 300;
constexpr int kFirstKindIdentityWaitMs = 1500;
constexpr int kIdentityBudget = 2000;
constexpr int kDirectoryBudget = 10000;
constexpr int kTaggedIdleBudget = 50;
constexpr int kTaggedPollMs = 3;
constexpr int kFirstKindReceiveBudget = 10;
constexpr int kFirstKindIdleMs = 20;
constexpr int kMaxEnq = 2;

iBuffer Request(std::initializer_list<uint8_t> bytes) {
  iBuffer frame;
  for (uint8_t b : bytes)
    frame.AppendChar(b);
  return frame;
}

} // namespace

VemoraCopyClass::VemoraCopyClass(const char *name) : portName(name ? name : "") {
  port.baudRate = kDirectSpeed;
  if (!portName.empty())
    port.Open(portName.c_str(), kReadTimeoutMs);
}

VemoraCopyClass::~VemoraCopyClass() { Close(); }

bool VemoraCopyClass::EnsureOpen() {
  if (port.IsOpen())
    return true;
  if (portName.empty())
    return false;
  return port.Open(portName.c_str(), kReadTimeoutMs);
}

bool VemoraCopyClass::Close() { return port.Close(); }

std::string VemoraCopyClass::ReadVersion() {
  port.Send(Request({kEsc, 'Y'}));
  plat::SleepMs(kVersionWaitMs);
  iBuffer reply;
  port.ReadAvailable(reply);
  std::string version;
  if (reply.Find("EJ2") >= 0) {
    int n = reply.TextLength() < 6 ? reply.TextLength() : 6;
    version.assign(reply.Text(), static_cast<size_t>(n));
    moduleKind = 1;
  } else {
    moduleKind = 0;
    iBuffer rest;
    port.ReadAvailable(rest);
  }
  return version;
}

const std::string *VemoraCopyClass::ReadIdentity(iBuffer &target, bool sendRequest) {
  if (sendRequest) {
    target.Clear();
    target.AppendChar(kEsc);
    target.AppendChar('S');
    port.Send(target);
  }
  target.Clear();
  if (moduleKind <= 0)
    plat::SleepMs(kFirstKindIdentityWaitMs);

  const char terminator[] = {static_cast<char>(kSub), 0};
  CollectReply(port, target, kIdentityBudget, terminator, identityLimit);
  if (target.Length() > 0) {
    SplitIdentity(target, identity);
    target.ReplaceChar(kLf, 0);
    target.ReplaceChar(kCr, 0);
  }
  if (moduleKind == -1)
    ReadVersion();
  return identity;
}

bool VemoraCopyClass::ReadDirectory(iBuffer &target) {
  if (moduleKind == -1)
    ReadVersion();
  target.Clear();
  target.AppendChar(kEsc);
  target.AppendChar('D');
  target.AppendChar(kCr);
  port.Send(target);
  target.Clear();

  iBuffer scratch;
  int64_t budget = kDirectoryBudget;
  while (budget > 0 && target.Length() < directoryLimit) {
    if (!CollectReply(port, scratch, port.ReadTimeout(), nullptr, directoryLimit - target.Length()))
      break; // the port is closed: nothing will come
    if (scratch.Length() > 0) {
      target.Append(scratch);
      scratch.Clear();
      budget = kDirectoryBudget + int64_t{7} * target.Length() / 60;
      if (target.CharAt(target.Length() - 1) == kSub)
        break;
    } else {
      budget -= port.ReadTimeout() > 0 ? port.ReadTimeout() : 1;
    }
  }
  if (target.Length() == 0) {
    if (moduleKind <= 0)
      plat::SleepMs(5);
    return false;
  }
  return true;
}

bool VemoraCopyClass::ReadFile(iBuffer &target, int fileNumber) {
  target.Clear();
  iBuffer request(kEsc);
  if (fileNumber > 0) {
    request.AppendChar(static_cast<uint8_t>(kindDigit));
    request.AppendChar(';');
    request.AppendChar(static_cast<uint8_t>(kindDigit == '3' ? '0' : subDigit));
    request.AppendChar(';');
    request.AppendText(std::to_string(fileNumber).c_str());
    request.AppendChar('F');
    endByte = kindDigit == '3' ? kFileEnd : kSub;
  } else {
    request.AppendText("0;3;0000F");
    endByte = kSub;
  }
  port.Send(request);
  plat::SleepMs(5);

  if (moduleKind == 1) {
    int budget = fileBudget;
    while (budget > 0 && target.Length() < replyLimit) {
      iBuffer scratch;
      if (!port.ReadAvailable(scratch))
        break; // the port is closed
      if (scratch.Length() > 0) {
        int room = replyLimit - target.Length();
        target.AppendBytes(scratch.Data(), scratch.Length() < room ? scratch.Length() : room);
        if (target.CharAt(target.Length() - 1) == endByte)
          break;
        budget = kTaggedIdleBudget;
      } else {
        plat::SleepMs(kTaggedPollMs);
        budget -= kTaggedPollMs;
      }
    }
    return target.Length() > 0;
  }

  // First-kind modules may stay silent until nudged with ENQ; after each ENQ
  // the module adds one byte behind the end byte, which is cut at the end.
  int retries = 0;
  iBuffer scratch;
  bool portClosed = false;
  for (;;) {
    int budget = fileBudget;
    bool ended = false;
    while (budget > 0 && target.Length() < replyLimit) {
      if (!CollectReply(port, scratch, kFirstKindReceiveBudget, nullptr, replyLimit - target.Length())) {
        portClosed = true;
        break;
      }
      if (scratch.Length() > 0) {
        target.Append(scratch);
        scratch.Clear();
        budget = fileBudget / 10;
        int at = target.Length() - 1 - retries;
        if (at >= 0 && target.CharAt(at) == endByte) {
          ended = true;
          break;
        }
      } else {
        plat::SleepMs(kFirstKindIdleMs);
        budget -= kFirstKindIdleMs;
      }
    }
    if (ended || portClosed || retries == kMaxEnq || target.Length() >= replyLimit)
      break;
    ++retries;
    port.Send(iBuffer(kEnq));
  }
  if (target.Length() > 2)
    target.SetLength(target.Length() - retries);
  return target.Length() > 0;
}

void VemoraCopyClass::SetRequestDigits(int second, int first) {
  kindDigit = static_cast<char>('0' + first);
  subDigit = static_cast<char>('0' + second);
}
