// The behaviour of the simulated devices: byte-driven state machines that
// answer through an Output. Internal to the simulator; all calls come from
// its serving thread with the simulator's lock held.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devsim.h"

namespace devsim {

// The device side of a line, as an engine sees it.
class Output {
public:
  virtual ~Output() = default;
  // Queues bytes; they go out afterMs from now at the earliest, after what
  // is queued before them, paced at the line rate.
  virtual void Send(std::string bytes, int afterMs = 0) = 0;
  // Closes the line once everything queued before has gone out.
  virtual void HangUp(int afterMs = 0) = 0;
  // The line's current speed as the program set it (0 when unknown).
  virtual uint32_t Speed() const = 0;
};

class Engine {
public:
  virtual ~Engine() = default;
  virtual void OnBytes(const uint8_t *bytes, size_t count, Output &out) = 0;
};

class KeEngine : public Engine {
public:
  explicit KeEngine(KeConfig cfg);
  void OnBytes(const uint8_t *bytes, size_t count, Output &out) override;
  void OnByte(uint8_t b, Output &out);

  int identityRequests = 0;
  std::map<int, int> fileRequests;

private:
  void Request(Output &out);
  void AnswerFile(Output &out);

  KeConfig cfg;
  bool firstKind;
  int enqNeeded;
  bool inEscape = false;
  std::string escape;
  // A file request waiting for its ENQ bytes.
  bool filePending = false;
  char pendingKind = '0';
  int pendingNumber = 0;
  int enqReceived = 0;
};

class PrinterEngine : public Engine {
public:
  explicit PrinterEngine(PrinterConfig cfg);
  void OnBytes(const uint8_t *bytes, size_t count, Output &out) override;

  bool relaying = false;
  KeEngine *RelayKe() { return ke.get(); }

private:
  void OnFrame(Output &out);
  bool Hears(const Output &out) const;

  PrinterConfig cfg;
  std::unique_ptr<KeEngine> ke;
  bool inFrame = false;
  bool frameEsc = false;
  bool sawEsc = false;
  std::string frame;
  int relayPollsLeft = -1; // DLE polls until the relay is on; -1: not asked
};

class PeerEngine : public Engine {
public:
  struct Reaction {
    std::string trigger;
    std::string reply;
    int afterMs = 0;
    bool hangUp = false;
  };
  void OnBytes(const uint8_t *bytes, size_t count, Output &out) override;
  std::vector<Reaction> reactions;

private:
  std::string tail;
};

} // namespace devsim
