// DrukarkaClass: the fiscal printer on its serial line.
//
// Reads the status byte (ENQ) at a chosen speed, the unique number of the
// fiscal memory (information request "0#s"), and switches the printer's KE
// relay on ("&d" with checksum, then DLE polls) and off (SUB). Every exchange
// is logged to error_log.txt in the default log directory, in Polish.
#pragma once

#include <cstdint>
#include <string>

#include "base/bytebuffer.h"
#include "base/logging.h"
#include "devices/fastcom.h"

// The bits of the printer's status byte (its answer to ENQ) that the run reads.
enum class PrinterStatus : uint8_t {
  kInTransaction = 0x02,  // a transaction is open: parameters cannot be read
  kFiscalMode = 0x08,     // clear in training (or read-only) mode
};
// The printer's relay status (its answer to DLE): the high nibble 7 marks a
// relay status, and bit 3 says the relay is on.
enum class RelayStatus : uint8_t {
  kMarkMask = 0xF0,
  kMark = 0x70,
  kRelayOn = 0x08,
};
// Whether status has that bit set.
constexpr bool Has(uint8_t status, PrinterStatus bit) { return (status & static_cast<uint8_t>(bit)) != 0; }
// The printer relays the KE protocol: a relay status with the relay on
// (0x78 to 0x7F).
bool RelayActive(uint8_t status);

// Takes apart an information reply as received: drops a closing '\\' and then
// a closing ESC, consumes the leading fields (counters, date, rates, totals)
// and returns the last 11 characters of what remains, all of it if fewer
// remain. The reply is consumed; nothing outside it is read.
std::string ExtractUniqueNumber(ByteBuffer &reply);

// Command frames as they go on the line: ESC 'P', the payload with its Polish
// letters in the Mazovia code page, then (ChecksumFrame only) two upper-case
// hex digits of 0xFF XOR every converted payload byte, then ESC '\\'.
ByteBuffer PlainFrame(ByteBuffer payload);
ByteBuffer ChecksumFrame(ByteBuffer payload);

class DrukarkaClass {
public:
  DrukarkaClass();
  ~DrukarkaClass();

  void SetPort(int portNumber, int speed);
  bool Open();
  bool Close();
  // The answer to ENQ as a signed byte, -1 for none (40 polls of 15 ms).
  int8_t QueryStatus();
  // The answer to DLE as a signed byte, -1 for none.
  int8_t QueryRelayStatus();
  // The unique number of the fiscal memory (its last 11 characters), empty
  // on failure.
  std::string ReadUniqueNumber();
  bool EnterRelay();
  bool LeaveRelay();

  int comNumber = -1;
  int baudRate = 9600;
  ByteBuffer answer;
  LoggingClass log;
  FastCom port;
  // Cap on an information reply: a printer that keeps sending past it is not
  // answering the request, and ReadUniqueNumber works on what came so far.
  int infoLimit = 4096;

private:
  bool SendPlain(ByteBuffer payload);
  bool SendWithChecksum(ByteBuffer payload);
  int8_t QueryByte(uint8_t control);
  void LogFrame(const char *kind, const ByteBuffer &bytes);
  void LogLine(const char *format, int value, bool withValue);
};
