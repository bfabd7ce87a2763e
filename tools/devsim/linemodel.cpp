// Line models: when the bytes a device sends reach the program's side.
//
// The line carries one byte per character time (1 / line rate) from the
// moment a reply is due; a byte has arrived at the receiver when its
// character time is over. The byte model (Pump in simulator.cpp) writes
// bytes as their time comes. The adapter and FIFO models hold arrived bytes
// in the receiver and hand them over in one write when their rule says so;
// every time here is computed from the line's own timeline, not from when the
// serving thread happened to wake, so a late wake-up changes no hand-over.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "simulator_impl.h"

namespace devsim {

using Clock = std::chrono::steady_clock;

bool ParseLineKind(std::string_view word, LineKind *kind) {
  if (word == "bytes")
    *kind = LineKind::kBytes;
  else if (word == "adapter")
    *kind = LineKind::kAdapter;
  else if (word == "fifo")
    *kind = LineKind::kFifo;
  else
    return false;
  return true;
}

const char *LineKindName(LineKind kind) {
  switch (kind) {
  case LineKind::kAdapter: return "adapter";
  case LineKind::kFifo: return "fifo";
  default: return "bytes";
  }
}

void Line::SetModel(const LineModel &model) {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  state->model = model;
  state->model.latencyMs = std::max(1, model.latencyMs);
  state->model.chunkBytes = std::max(1, model.chunkBytes);
  state->model.triggerBytes = std::max(1, model.triggerBytes);
  state->tick = Clock::now() + std::chrono::milliseconds(state->model.latencyMs);
}

void Line::LogDeliveries() {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  state->logDeliveries = true;
}

std::vector<Delivery> Line::Deliveries() const {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  return state->deliveries;
}

// Writes what was handed over; false while some of it waits for room.
bool Simulator::Impl::WriteOut(Line::State &s) {
  while (!s.out.empty() && s.master >= 0) {
    ssize_t n = ::write(s.master, s.out.data(), s.out.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno == EAGAIN) {
      s.waitingForRoom = true;
      return false;
    }
    if (n <= 0) {
      CloseLine(s);
      return false;
    }
    s.out.erase(0, static_cast<size_t>(n));
  }
  s.waitingForRoom = false;
  return true;
}

void Simulator::Impl::HandOver(Line::State &s, Clock::time_point due) {
  if (s.logDeliveries)
    s.deliveries.push_back({due, s.lastArrival, s.held.size()});
  s.out += s.held;
  s.held.clear();
  if (s.model.kind == LineKind::kAdapter)
    s.tick = due + std::chrono::milliseconds(s.model.latencyMs);
}

Clock::time_point Simulator::Impl::PumpModel(Line::State &s, bool writable) {
  const auto now = Clock::now();
  if (!s.out.empty()) {
    if (s.waitingForRoom && !writable)
      return Clock::time_point::max();
    if (!WriteOut(s))
      return Clock::time_point::max();
    // The program held the line up: the line goes on from now, no burst.
    s.nextFree = std::max(s.nextFree, now);
  }
  const uint32_t baud = SpeedOf(s);
  const std::chrono::duration<double> charTime(10.0 / (baud ? baud : 115200));
  const auto charTicks = std::chrono::duration_cast<Clock::duration>(charTime);
  const bool adapter = s.model.kind == LineKind::kAdapter;
  const auto latency = std::chrono::milliseconds(s.model.latencyMs);
  const size_t threshold = static_cast<size_t>(adapter ? s.model.chunkBytes : s.model.triggerBytes);
  while (s.master >= 0) {
    Chunk *c = s.queue.empty() ? nullptr : &s.queue.front();
    const bool available = c != nullptr && c->notBefore <= now;
    if (available && c->hangUp) {
      if (!s.held.empty())
        HandOver(s, now);
      if (!WriteOut(s))
        return Clock::time_point::max();
      CloseLine(s);
      break;
    }
    if (available && s.nextFree < c->notBefore)
      s.nextFree = c->notBefore;
    const auto nextArrival = available ? s.nextFree + charTicks : Clock::time_point::max();
    const auto timer = s.held.empty() ? Clock::time_point::max()
                       : adapter      ? s.tick
                                      : s.lastArrival + 4 * charTicks;
    if (std::min(nextArrival, timer) > now) {
      // Asleep until the timer, the chunk's time, or the byte that fills
      // the receiver up to its threshold (or ends the chunk).
      auto wake = timer;
      if (c != nullptr && !available)
        wake = std::min(wake, c->notBefore);
      if (available) {
        size_t k = std::min(threshold - s.held.size(), c->bytes.size() - c->pos);
        wake = std::min(wake, s.nextFree + static_cast<Clock::duration::rep>(k) * charTicks);
      }
      return wake;
    }
    if (timer <= nextArrival) {
      HandOver(s, timer);
      if (!WriteOut(s))
        return Clock::time_point::max();
      continue;
    }
    // Bytes that have arrived by now (and before the timer), up to the
    // threshold and the end of the chunk.
    const auto limit = std::min(now, timer);
    size_t k = static_cast<size_t>(std::floor(std::chrono::duration<double>(limit - s.nextFree) / charTime));
    k = std::max<size_t>(1, std::min({k, threshold - s.held.size(), c->bytes.size() - c->pos}));
    if (adapter && s.held.empty()) {
      // The latency timer has run on (and found nothing) while idle.
      const auto first = s.nextFree + charTicks;
      if (s.tick < first)
        s.tick += latency * static_cast<long>(std::ceil(std::chrono::duration<double>(first - s.tick) / latency));
    }
    s.held.append(c->bytes, c->pos, k);
    c->pos += k;
    s.nextFree += static_cast<Clock::duration::rep>(k) * charTicks;
    s.lastArrival = s.nextFree;
    if (c->pos >= c->bytes.size())
      s.queue.pop_front();
    if (s.held.size() >= threshold) {
      HandOver(s, s.lastArrival);
      if (!WriteOut(s))
        return Clock::time_point::max();
    }
  }
  return Clock::time_point::max();
}

} // namespace devsim
