// The fiscal printer protocol: status bytes, the information request and the
// KE relay, every exchange logged.
#include "devices/drukarka.h"

#include <algorithm>
#include <cstdio>

#include "devices/collectreply.h"
#include "devices/controlbytes.h"
#include "platform/clock.h"
#include "platform/numtext.h"
#include "platform/stop.h"

namespace {

constexpr int kStatusPolls = 40;
constexpr int kStatusPollMs = 15;
constexpr int kRelayPolls = 60;
constexpr int kRelayPollMs = 1000;
constexpr int kAfterSubMs = 200;
constexpr int kInfoBudget = 500;

// Log texts in Windows-1250; 0x9F is the letter z with acute.
constexpr const char *kQuestion = "> Zapytanie: ";
constexpr const char *kAnswer = "> Odpowied\x9F: ";
constexpr const char *kNoAnswerFormat = "<com%d><,> Brak odpowiedzi.";
constexpr const char *kStatusFormat = "<com%d><,> Odpowied\x9F: 0x%02X";

} // namespace

namespace {

ByteBuffer Framed(ByteBuffer body) {
  ByteBuffer frame;
  frame.AppendChar(kEsc);
  frame.AppendChar('P');
  frame.Append(body);
  frame.AppendChar(kEsc);
  frame.AppendChar('\\');
  return frame;
}

} // namespace

ByteBuffer PlainFrame(ByteBuffer payload) {
  payload.ToMazovia();
  return Framed(payload);
}

ByteBuffer ChecksumFrame(ByteBuffer payload) {
  payload.ToMazovia();
  // The checksum covers the payload as sent, after the code page change.
  std::string check = UpperHex(payload.XorSum(0, 0xFF), 2);
  payload.AppendText(check.c_str());
  return Framed(payload);
}

DrukarkaClass::DrukarkaClass() = default;

DrukarkaClass::~DrukarkaClass() { port.Close(); }

void DrukarkaClass::SetPort(int portNumber, int speed) {
  comNumber = portNumber;
  baudRate = speed;
}

bool DrukarkaClass::Open() {
  if (comNumber <= 0)
    return false;
  char name[24];
  std::snprintf(name, sizeof name, "com%d", comNumber);
  port.baudRate = static_cast<uint32_t>(baudRate);
  return port.Open(name, 1);
}

bool DrukarkaClass::Close() { return port.Close(); }

void DrukarkaClass::LogFrame(const char *kind, const ByteBuffer &bytes) {
  if (bytes.Length() == 0)
    return;
  // The two tag fields of the line ("<,>") are always empty.
  std::string prefix = "<com" + std::to_string(comNumber) + "><," + kind;
  ByteBuffer line((prefix + Printable(std::string(bytes.Text(), static_cast<size_t>(bytes.Length())))).c_str());
  line.FromMazovia();
  log.Log(line.Text());
}

void DrukarkaClass::LogLine(const char *format, int value, bool withValue) {
  char text[128];
  if (withValue)
    std::snprintf(text, sizeof text, format, comNumber, value);
  else
    std::snprintf(text, sizeof text, format, comNumber);
  log.Log(text);
}

bool DrukarkaClass::SendPlain(ByteBuffer payload) {
  ByteBuffer frame = PlainFrame(payload);
  LogFrame(kQuestion, frame);
  return port.Send(frame);
}

bool DrukarkaClass::SendWithChecksum(ByteBuffer payload) {
  ByteBuffer frame = ChecksumFrame(payload);
  LogFrame(kQuestion, frame);
  return port.SendPaced(frame);
}

int8_t DrukarkaClass::QueryByte(uint8_t control) {
  ByteBuffer frame(control);
  LogFrame(kQuestion, frame);
  port.Send(frame);

  ByteBuffer reply;
  for (int poll = 0; poll < kStatusPolls; ++poll) {
    plat::SleepMs(kStatusPollMs);
    port.ReadAvailable(reply);
    if (reply.Length() > 0)
      break;
  }
  if (reply.Length() == 0) {
    LogLine(kNoAnswerFormat, 0, false);
    return -1;
  }
  uint8_t status = reply.CharAt(reply.Length() - 1);
  LogLine(kStatusFormat, status, true);
  return static_cast<int8_t>(status);
}

int8_t DrukarkaClass::QueryStatus() { return QueryByte(kEnq); }

int8_t DrukarkaClass::QueryRelayStatus() { return QueryByte(kDle); }

std::string DrukarkaClass::ReadUniqueNumber() {
  ByteBuffer request("0");
  request.AppendText("#s");
  if (!SendPlain(request)) {
    answer.Clear();
    return std::string();
  }
  const char terminator[] = {static_cast<char>(kEsc), '\\', 0};
  if (!CollectReply(port, answer, kInfoBudget, terminator, infoLimit)) {
    LogLine(kNoAnswerFormat, 0, false);
    answer.Clear();
    return std::string();
  }
  if (answer.Length() > 0)
    LogFrame(kAnswer, answer);
  else
    LogLine(kNoAnswerFormat, 0, false);

  std::string number = ExtractUniqueNumber(answer);
  answer.Clear();
  answer.AppendBytes(number.data(), static_cast<int>(number.size()));
  return number;
}

bool DrukarkaClass::EnterRelay() {
  ByteBuffer command("&d");
  LogFrame(kQuestion, command);
  if (!SendWithChecksum(command))
    return false;

  ByteBuffer dle(kDle);
  ByteBuffer reply;
  for (int poll = 0; poll < kRelayPolls && !plat::StopRequested(); ++poll) {
    LogFrame(kQuestion, dle);
    port.Send(dle);
    plat::SleepMs(kRelayPollMs);
    reply.Clear();
    port.ReadAvailable(reply);
    uint8_t last = 0;
    if (reply.Length() > 0) {
      LogFrame(kAnswer, reply);
      last = reply.CharAt(reply.Length() - 1);
    }
    if (RelayActive(last))
      return true;
  }
  return false;
}

bool DrukarkaClass::LeaveRelay() {
  int8_t status = QueryRelayStatus();
  if (!RelayActive(static_cast<uint8_t>(status)))
    return false;
  ByteBuffer sub(kSub);
  LogFrame(kQuestion, sub);
  port.Send(sub);
  plat::SleepMs(kAfterSubMs);
  status = QueryRelayStatus();
  return (static_cast<uint8_t>(status) & static_cast<uint8_t>(RelayStatus::kRelayOn)) == 0;
}
