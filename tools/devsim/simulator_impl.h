// Internal state of the simulator and its lines.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devsim.h"
#include "engines.h"

namespace devsim {

// Bytes queued on a line, sent from pos on, not before notBefore; or the
// marker that closes the line.
struct Chunk {
  std::string bytes;
  size_t pos = 0;
  std::chrono::steady_clock::time_point notBefore;
  bool hangUp = false;
};

struct Line::State {
  int master = -1;
  int slaveKeep = -1;
  int holder = -1;
  std::unique_ptr<Engine> engine;
  std::deque<Chunk> queue;
  std::chrono::steady_clock::time_point nextFree;
  bool waitingForRoom = false;
  // The line model: bytes that have crossed the line but wait in the
  // receiver (held), bytes handed over but not yet written to the master
  // (out), the arrival of the last held byte, the adapter's latency timer.
  LineModel model;
  std::string held, out;
  std::chrono::steady_clock::time_point lastArrival, tick;
  bool logDeliveries = false;
  std::vector<Delivery> deliveries;
  std::string received;
  FILE *record = nullptr;
};

struct Simulator::Impl {
  ~Impl();
  void Wake();
  uint32_t SpeedOf(const Line::State &state) const;
  void CloseLine(Line::State &state);
  bool OpenPty(Line &line);
  void OnInput(Line::State &state, const uint8_t *bytes, size_t count);
  std::chrono::steady_clock::time_point Pump(Line::State &state, bool writable);
  std::chrono::steady_clock::time_point PumpModel(Line::State &state, bool writable);
  void HandOver(Line::State &state, std::chrono::steady_clock::time_point due);
  bool WriteOut(Line::State &state);
  void Serve();

  mutable std::mutex mutex;
  std::condition_variable received;
  std::vector<std::unique_ptr<Line>> lines;
  std::map<std::string, KeEngine *> kes;
  std::map<std::string, PrinterEngine *> printers;
  std::map<std::string, PeerEngine *> peers;
  std::string root;
  bool ownRoot = false;
  std::string recordDir;
  bool pacing = true;
  bool running = false;
  int wake[2] = {-1, -1};
  std::thread thread;
};

} // namespace devsim
