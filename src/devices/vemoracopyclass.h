// VemoraCopyClass: the electronic copy module (KE) protocol.
//
// Identity (ESC 'S'), the Directory (ESC 'D' CR) and numbered files
// (ESC kind ';' sub ';' N 'F'), directly at 115200 baud with a 20 ms read
// time-out, or over the printer's line when the port borrows the printer's
// handle. The module kind is told apart once by the version reply (ESC 'Y'):
// a reply holding "EJ2" marks a tagged module, anything else a first-kind one.
#pragma once

#include <string>

#include "base/bytebuffer.h"
#include "devices/fastcom.h"

// Fills out[0..4] from an identity reply: out[0] the reply up to its first
// NUL byte, out[1..4] the text after the 8th, 4th, 12th and 16th line break
// (CR, LF or NUL), up to the next one; an entry whose breaks are missing is
// empty. Reads only the reply's Length() bytes.
void SplitIdentity(const ByteBuffer &reply, std::string out[5]);

// What the version reply said about the module; set once, by the first
// version query. A module not yet asked is handled as a first-kind one.
enum class ModuleKind {
  kNotAsked = -1,
  kFirstKind = 0,  // the version reply lacks "EJ2" (or never came)
  kTagged = 1,     // the version reply holds "EJ2"
};

class VemoraCopyClass {
public:
  explicit VemoraCopyClass(const char *portName = nullptr);
  ~VemoraCopyClass();

  bool EnsureOpen();
  bool Close();
  // identity[0] the whole reply, [1] the serial number, [2] the fiscal-memory
  // number, [3] and [4] further lines. No reply keeps the previous entries.
  const std::string *ReadIdentity(ByteBuffer &target, bool sendRequest);
  bool ReadDirectory(ByteBuffer &target);
  bool ReadFile(ByteBuffer &target, int fileNumber);
  void SetRequestDigits(int second, int first);
  std::string ReadVersion();

  std::string portName;
  char subDigit = '3';
  char kindDigit = '0';
  std::string identity[5];
  FastCom port;
  ModuleKind moduleKind = ModuleKind::kNotAsked;
  uint8_t endByte = 0x1A;
  // Caps on what one reply may bring: a module that never stops sending ends
  // the operation with what it sent so far (which then lacks its end byte).
  // A Directory lists at most 9999 files of about 55 bytes a line.
  int identityLimit = 64 * 1024;
  int directoryLimit = 2 * 1024 * 1024;
  int replyLimit = 32 * 1024 * 1024;
  // The idle budget of a file request, in the protocol's rough milliseconds
  // (each empty poll is charged a fixed amount); tests lower it.
  int fileBudget = 12000;

private:
  // How a listening attempt of a first-kind module ended.
  enum class AttemptEnd { kEnded, kPortClosed, kQuiet };
  ByteBuffer FileRequest(int fileNumber);
  bool ReadTaggedReply(ByteBuffer &target);
  bool ReadFirstKindReply(ByteBuffer &target);
  AttemptEnd ListenFirstKind(ByteBuffer &target, int retries);
};
