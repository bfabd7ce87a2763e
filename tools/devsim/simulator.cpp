// The simulator's lines and its serving thread: pseudo-terminal pairs, one
// poll loop, paced output queues and the recordings.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "engines.h"
#include "platform/posix/ttyspeed.h"
#include "simulator_impl.h"

namespace devsim {

using Clock = std::chrono::steady_clock;

// ---- Line ------------------------------------------------------------------

class LineOutput : public Output {
public:
  LineOutput(Simulator::Impl &impl, Line::State &state) : impl(impl), state(state) {}
  void Send(std::string bytes, int afterMs) override {
    if (bytes.empty() || state.master < 0)
      return;
    state.queue.push_back({std::move(bytes), 0, Clock::now() + std::chrono::milliseconds(afterMs), false});
  }
  void HangUp(int afterMs) override {
    state.queue.push_back({{}, 0, Clock::now() + std::chrono::milliseconds(afterMs), true});
  }
  uint32_t Speed() const override { return impl.SpeedOf(state); }

private:
  Simulator::Impl &impl;
  Line::State &state;
};

Line::Line(Simulator &owner, std::string name, std::string tty)
    : owner(owner), name(std::move(name)), tty(std::move(tty)), state(std::make_unique<State>()) {
  comNumber = ComNumberOfTty(this->tty);
}

Line::~Line() {
  if (state->record)
    std::fclose(state->record);
  if (state->master >= 0)
    ::close(state->master);
  if (state->slaveKeep >= 0)
    ::close(state->slaveKeep);
  if (state->holder >= 0)
    ::close(state->holder);
}

std::string Line::PortName() const { return "com" + std::to_string(comNumber); }

std::string Line::Received() const {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  return state->received;
}

size_t Line::ReceivedCount() const {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  return state->received.size();
}

bool Line::WaitReceived(size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(owner.impl->mutex);
  return owner.impl->received.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                       [&] { return state->received.size() >= count; });
}

bool Line::WaitReceivedContains(std::string_view needle, size_t from, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(owner.impl->mutex);
  return owner.impl->received.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return from <= state->received.size() &&
           std::string_view(state->received).substr(from).find(needle) != std::string_view::npos;
  });
}

void Line::ClearReceived() {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  state->received.clear();
}

bool Line::RecordTo(const std::string &path) {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  if (state->record)
    std::fclose(state->record);
  state->record = std::fopen(path.c_str(), "wb");
  return state->record != nullptr;
}

void Line::Write(std::string_view bytes, int afterMs) {
  {
    std::lock_guard<std::mutex> lock(owner.impl->mutex);
    LineOutput out(*owner.impl, *state);
    out.Send(std::string(bytes), afterMs);
  }
  owner.impl->Wake();
}

void Line::HangUp() {
  {
    std::lock_guard<std::mutex> lock(owner.impl->mutex);
    owner.impl->CloseLine(*state);
  }
  owner.impl->Wake();
}

bool Line::IsHungUp() const {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  return state->master < 0;
}

uint32_t Line::Speed() const {
  std::lock_guard<std::mutex> lock(owner.impl->mutex);
  return owner.impl->SpeedOf(*state);
}

// ---- Impl --------------------------------------------------------------------

Simulator::Impl::~Impl() {
  if (wake[0] >= 0)
    ::close(wake[0]);
  if (wake[1] >= 0)
    ::close(wake[1]);
}

void Simulator::Impl::Wake() {
  if (wake[1] >= 0) {
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(wake[1], &c, 1);
  }
}

uint32_t Simulator::Impl::SpeedOf(const Line::State &state) const {
  if (state.master < 0)
    return 0;
  // The master of a Linux pseudo-terminal reports the slave's termios: the
  // speed the program set.
  termios tio{};
  if (::tcgetattr(state.master, &tio) != 0)
    return 0;
  return plat::TtyBaud(::cfgetospeed(&tio));
}

void Simulator::Impl::CloseLine(Line::State &state) {
  if (state.master >= 0)
    ::close(state.master);
  if (state.slaveKeep >= 0)
    ::close(state.slaveKeep);
  state.master = state.slaveKeep = -1;
  state.queue.clear();
  state.held.clear();
  state.out.clear();
}

bool Simulator::Impl::OpenPty(Line &line) {
  Line::State &s = *line.state;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0)
    return false;
  char slaveName[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, slaveName, sizeof slaveName) != 0) {
    ::close(master);
    return false;
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  // Keep a slave descriptor of our own: the master then never reports a
  // hang-up between the program's opens, and the line is raw (no echo)
  // before the program sets it up.
  int keep = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (keep < 0) {
    ::close(master);
    return false;
  }
  termios tio{};
  if (::tcgetattr(keep, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~HUPCL;
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(keep, TCSANOW, &tio);
  }
  s.master = master;
  s.slaveKeep = keep;
  line.slavePath = slaveName;
  line.linkPath = root + "/" + line.tty;
  std::error_code ec;
  std::filesystem::remove(line.linkPath, ec);
  std::filesystem::create_symlink(line.slavePath, line.linkPath, ec);
  if (ec) {
    line.linkPath.clear();
  }
  if (!recordDir.empty()) {
    s.record = std::fopen((recordDir + "/" + line.name + ".rec").c_str(), "wb");
  }
  return true;
}

void Simulator::Impl::OnInput(Line::State &s, const uint8_t *bytes, size_t n) {
  s.received.append(reinterpret_cast<const char *>(bytes), n);
  if (s.record) {
    std::fwrite(bytes, 1, n, s.record);
    std::fflush(s.record);
  }
  if (s.engine) {
    LineOutput out(*this, s);
    s.engine->OnBytes(bytes, n, out);
  }
}

// Writes what is due on one line; returns the time it next wants service
// (time_point::max() when idle or waiting for room).
Clock::time_point Simulator::Impl::Pump(Line::State &s, bool writable) {
  if (pacing && s.model.kind != LineKind::kBytes)
    return PumpModel(s, writable);
  auto now = Clock::now();
  while (s.master >= 0 && !s.queue.empty()) {
    Chunk &c = s.queue.front();
    if (now < c.notBefore)
      return c.notBefore;
    if (c.hangUp) {
      CloseLine(s);
      break;
    }
    if (c.pos == 0 && s.nextFree < now)
      s.nextFree = now; // idle time earns no burst
    if (s.nextFree < c.notBefore)
      s.nextFree = c.notBefore;
    size_t allowed = c.bytes.size() - c.pos;
    double rate = 0;
    if (pacing) {
      uint32_t baud = SpeedOf(s);
      rate = (baud ? baud : 115200) / 10.0;
      if (now < s.nextFree)
        return s.nextFree;
      double slots = std::chrono::duration<double>(now - s.nextFree).count() * rate;
      allowed = std::min<size_t>(allowed, 1 + static_cast<size_t>(slots));
    }
    if (s.waitingForRoom && !writable)
      return Clock::time_point::max();
    ssize_t n = ::write(s.master, c.bytes.data() + c.pos, allowed);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN) {
        s.waitingForRoom = true;
        return Clock::time_point::max();
      }
      CloseLine(s);
      break;
    }
    s.waitingForRoom = false;
    writable = false;
    c.pos += static_cast<size_t>(n);
    if (pacing)
      s.nextFree += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(n / rate));
    if (s.logDeliveries)
      s.deliveries.push_back({now, s.nextFree, static_cast<size_t>(n)});
    if (c.pos >= c.bytes.size())
      s.queue.pop_front();
  }
  return Clock::time_point::max();
}

void Simulator::Impl::Serve() {
  std::vector<pollfd> fds;
  std::vector<Line::State *> states;
  std::unique_lock<std::mutex> lock(mutex);
  auto next = Clock::time_point::max();
  while (running) {
    fds.assign(1, pollfd{wake[0], POLLIN, 0});
    states.clear();
    for (auto &line : lines) {
      Line::State &s = *line->state;
      if (s.master < 0)
        continue;
      short events = POLLIN;
      if (s.waitingForRoom)
        events |= POLLOUT;
      fds.push_back(pollfd{s.master, events, 0});
      states.push_back(&s);
    }
    int timeout = -1;
    if (next != Clock::time_point::max()) {
      auto us = std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now()).count();
      timeout = us <= 0 ? 0 : static_cast<int>(std::min<long long>((us + 999) / 1000, INT_MAX));
    }
    lock.unlock();
    int r = ::poll(fds.data(), fds.size(), timeout);
    lock.lock();
    if (r < 0 && errno != EINTR)
      break;
    if (fds[0].revents & POLLIN) {
      char sink[64];
      while (::read(wake[0], sink, sizeof sink) > 0) {
      }
    }
    bool anyInput = false;
    for (size_t i = 0; i < states.size(); ++i) {
      Line::State &s = *states[i];
      short ev = fds[i + 1].revents;
      if (s.master < 0 || s.master != fds[i + 1].fd)
        continue;
      if (ev & POLLIN) {
        uint8_t buf[4096];
        ssize_t n = ::read(s.master, buf, sizeof buf);
        if (n > 0) {
          OnInput(s, buf, static_cast<size_t>(n));
          anyInput = true;
        }
      }
      if (ev & POLLOUT)
        s.waitingForRoom = false;
    }
    if (anyInput)
      received.notify_all();
    next = Clock::time_point::max();
    for (auto &line : lines) {
      next = std::min(next, Pump(*line->state, true));
      // A pseudo-terminal master does not always signal POLLOUT when the
      // slave side makes room (a flush, a reader catching up): look again
      // every 10 ms as well.
      if (line->state->waitingForRoom)
        next = std::min(next, Clock::now() + std::chrono::milliseconds(10));
    }
  }
}

// ---- Simulator -------------------------------------------------------------

Simulator::Simulator() : Simulator(Options{}) {}

Simulator::Simulator(Options options) : impl(std::make_unique<Impl>()) {
  impl->pacing = options.pacing;
  impl->recordDir = options.recordDir;
  if (options.deviceRoot.empty()) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "devsim-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) {
      impl->root = tmpl;
      impl->ownRoot = true;
    }
  } else {
    impl->root = options.deviceRoot;
    std::error_code ec;
    std::filesystem::create_directories(impl->root, ec);
  }
  if (::pipe2(impl->wake, O_CLOEXEC | O_NONBLOCK) != 0)
    impl->wake[0] = impl->wake[1] = -1;
}

Simulator::~Simulator() {
  Stop();
  std::error_code ec;
  for (auto &line : impl->lines)
    if (!line->linkPath.empty())
      std::filesystem::remove(line->linkPath, ec);
  impl->lines.clear();
  if (impl->ownRoot)
    std::filesystem::remove_all(impl->root, ec);
}

const std::string &Simulator::DeviceRoot() const { return impl->root; }

void Simulator::SetPacing(bool on) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->pacing = on;
}

bool Simulator::Pacing() const {
  std::lock_guard<std::mutex> lock(impl->mutex);
  return impl->pacing;
}

Line &Simulator::AddLine(const std::string &name, const std::string &tty, std::unique_ptr<Engine> engine) {
  std::unique_ptr<Line> line(new Line(*this, name, tty));
  line->state->engine = std::move(engine);
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->OpenPty(*line);
  impl->lines.push_back(std::move(line));
  impl->Wake();
  return *impl->lines.back();
}

Line &Simulator::AddKe(const std::string &name, const std::string &tty, KeConfig cfg) {
  auto engine = std::make_unique<KeEngine>(std::move(cfg));
  KeEngine *ke = engine.get();
  Line &line = AddLine(name, tty, std::move(engine));
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->kes[name] = ke;
  return line;
}

Line &Simulator::AddPrinter(const std::string &name, const std::string &tty, PrinterConfig cfg) {
  auto engine = std::make_unique<PrinterEngine>(std::move(cfg));
  PrinterEngine *printer = engine.get();
  Line &line = AddLine(name, tty, std::move(engine));
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->printers[name] = printer;
  if (printer->RelayKe())
    impl->kes[name + "_ke"] = printer->RelayKe();
  return line;
}

std::pair<Line *, Line *> Simulator::AddTwoPort(const std::string &name, const std::string &printerTty,
                                                const std::string &keTty, PrinterConfig printer, KeConfig ke) {
  printer.hasRelayKe = false;
  Line &p = AddPrinter(name + "_prn", printerTty, std::move(printer));
  Line &k = AddKe(name + "_ke", keTty, std::move(ke));
  return {&p, &k};
}

Line &Simulator::AddPeer(const std::string &name, const std::string &tty) {
  auto engine = std::make_unique<PeerEngine>();
  PeerEngine *peer = engine.get();
  Line &line = AddLine(name, tty, std::move(engine));
  std::lock_guard<std::mutex> lock(impl->mutex);
  impl->peers[name] = peer;
  return line;
}

void Simulator::AddReaction(const std::string &peer, std::string trigger, std::string reply, int afterMs,
                            bool hangUp) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  auto it = impl->peers.find(peer);
  if (it != impl->peers.end())
    it->second->reactions.push_back({std::move(trigger), std::move(reply), afterMs, hangUp});
}

bool Simulator::Hold(const std::string &name) {
  Line *line = Find(name);
  if (line == nullptr || line->slavePath.empty())
    return false;
  std::lock_guard<std::mutex> lock(impl->mutex);
  int fd = ::open(line->slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  if (line->state->holder >= 0)
    ::close(line->state->holder);
  line->state->holder = fd;
  return true;
}

Line *Simulator::Find(const std::string &name) {
  std::lock_guard<std::mutex> lock(impl->mutex);
  for (auto &line : impl->lines)
    if (line->name == name)
      return line.get();
  return nullptr;
}

std::vector<Line *> Simulator::Lines() {
  std::lock_guard<std::mutex> lock(impl->mutex);
  std::vector<Line *> out;
  for (auto &line : impl->lines)
    out.push_back(line.get());
  return out;
}

bool Simulator::Start() {
  std::lock_guard<std::mutex> lock(impl->mutex);
  if (impl->running)
    return true;
  if (impl->wake[0] < 0 || impl->root.empty())
    return false;
  impl->running = true;
  impl->thread = std::thread([this] { impl->Serve(); });
  return true;
}

void Simulator::Stop() {
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    if (!impl->running)
      return;
    impl->running = false;
  }
  impl->Wake();
  if (impl->thread.joinable())
    impl->thread.join();
  std::lock_guard<std::mutex> lock(impl->mutex);
  for (auto &line : impl->lines)
    if (line->state->holder >= 0) {
      ::close(line->state->holder);
      line->state->holder = -1;
    }
}

int Simulator::IdentityRequests(const std::string &keName) const {
  std::lock_guard<std::mutex> lock(impl->mutex);
  auto it = impl->kes.find(keName);
  return it == impl->kes.end() ? 0 : it->second->identityRequests;
}

int Simulator::FileRequests(const std::string &keName, int number) const {
  std::lock_guard<std::mutex> lock(impl->mutex);
  auto it = impl->kes.find(keName);
  if (it == impl->kes.end())
    return 0;
  auto f = it->second->fileRequests.find(number);
  return f == it->second->fileRequests.end() ? 0 : f->second;
}

bool Simulator::Relaying(const std::string &printerName) const {
  std::lock_guard<std::mutex> lock(impl->mutex);
  auto it = impl->printers.find(printerName);
  return it != impl->printers.end() && it->second->relaying;
}

} // namespace devsim
