// The KE protocol: version, identity, Directory and numbered files.
#include "devices/vemoracopyclass.h"

#include <string>

#include "devices/collectreply.h"
#include "devices/controlbytes.h"
#include "platform/clock.h"
#include "platform/stop.h"

namespace {

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
constexpr int kAfterFileRequestMs = 5;

ByteBuffer Request(std::initializer_list<uint8_t> bytes) {
  ByteBuffer frame;
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
  ByteBuffer reply;
  port.ReadAvailable(reply);
  std::string version;
  if (reply.Find("EJ2") >= 0) {
    int n = reply.TextLength() < 6 ? reply.TextLength() : 6;
    version.assign(reply.Text(), static_cast<size_t>(n));
    moduleKind = ModuleKind::kTagged;
  } else {
    moduleKind = ModuleKind::kFirstKind;
    ByteBuffer rest;
    port.ReadAvailable(rest);
  }
  return version;
}

const std::string *VemoraCopyClass::ReadIdentity(ByteBuffer &target, bool sendRequest) {
  if (sendRequest) {
    target.Clear();
    target.AppendChar(kEsc);
    target.AppendChar('S');
    port.Send(target);
  }
  target.Clear();
  if (moduleKind != ModuleKind::kTagged)
    plat::SleepMs(kFirstKindIdentityWaitMs);

  const char terminator[] = {static_cast<char>(kSub), 0};
  CollectReply(port, target, kIdentityBudget, terminator, identityLimit);
  if (target.Length() > 0) {
    SplitIdentity(target, identity);
    target.ReplaceChar(kLf, 0);
    target.ReplaceChar(kCr, 0);
  }
  if (moduleKind == ModuleKind::kNotAsked)
    ReadVersion();
  return identity;
}

bool VemoraCopyClass::ReadDirectory(ByteBuffer &target) {
  if (moduleKind == ModuleKind::kNotAsked)
    ReadVersion();
  target.Clear();
  target.AppendChar(kEsc);
  target.AppendChar('D');
  target.AppendChar(kCr);
  port.Send(target);
  target.Clear();

  ByteBuffer scratch;
  int64_t budget = kDirectoryBudget;
  while (budget > 0 && target.Length() < directoryLimit && !plat::StopRequested()) {
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
    if (moduleKind != ModuleKind::kTagged)
      plat::SleepMs(5);
    return false;
  }
  return true;
}

bool VemoraCopyClass::ReadFile(ByteBuffer &target, int fileNumber) {
  target.Clear();
  port.Send(FileRequest(fileNumber));
  plat::SleepMs(kAfterFileRequestMs);
  if (moduleKind == ModuleKind::kTagged)
    return ReadTaggedReply(target);
  return ReadFirstKindReply(target);
}

// ESC kind ';' sub ';' N 'F' (the sub digit 0 for kind 3), or the fixed
// request of file 0; endByte becomes the byte the reply will end with.
ByteBuffer VemoraCopyClass::FileRequest(int fileNumber) {
  ByteBuffer request(kEsc);
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
  return request;
}

// A tagged module sends at once: poll until the end byte closes the data,
// the cap is reached, or the module stays silent for the idle budget (the
// whole file budget before the first data, kTaggedIdleBudget after it).
bool VemoraCopyClass::ReadTaggedReply(ByteBuffer &target) {
  int budget = fileBudget;
  while (budget > 0 && target.Length() < replyLimit && !plat::StopRequested()) {
    ByteBuffer scratch;
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

// First-kind modules may stay silent until nudged with ENQ: one listening
// attempt, then up to kMaxEnq more, each after an ENQ. After each ENQ the
// module adds one byte behind the end byte, which is cut at the end.
bool VemoraCopyClass::ReadFirstKindReply(ByteBuffer &target) {
  int retries = 0;
  for (;;) {
    const AttemptEnd end = ListenFirstKind(target, retries);
    if (end != AttemptEnd::kQuiet || retries == kMaxEnq || target.Length() >= replyLimit || plat::StopRequested())
      break;
    ++retries;
    port.Send(ByteBuffer(kEnq));
  }
  if (target.Length() > 2)
    target.SetLength(target.Length() - retries);
  return target.Length() > 0;
}

// One attempt: collects until the byte `retries` places before the last is
// the end byte, the port turns out closed, or the module is quiet for the
// budget (the whole file budget, a tenth of it once data came) or the cap is
// reached.
VemoraCopyClass::AttemptEnd VemoraCopyClass::ListenFirstKind(ByteBuffer &target, int retries) {
  ByteBuffer scratch;
  int budget = fileBudget;
  while (budget > 0 && target.Length() < replyLimit && !plat::StopRequested()) {
    if (!CollectReply(port, scratch, kFirstKindReceiveBudget, nullptr, replyLimit - target.Length()))
      return AttemptEnd::kPortClosed;
    if (scratch.Length() > 0) {
      target.Append(scratch);
      scratch.Clear();
      budget = fileBudget / 10;
      int at = target.Length() - 1 - retries;
      if (at >= 0 && target.CharAt(at) == endByte)
        return AttemptEnd::kEnded;
    } else {
      plat::SleepMs(kFirstKindIdleMs);
      budget -= kFirstKindIdleMs;
    }
  }
  return AttemptEnd::kQuiet;
}

void VemoraCopyClass::SetRequestDigits(int second, int first) {
  kindDigit = static_cast<char>('0' + first);
  subDigit = static_cast<char>('0' + second);
}
