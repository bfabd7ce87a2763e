// A stop on POSIX: SIGTERM, SIGINT and SIGHUP. The handler stores the signal
// in an atomic and writes one byte into a pipe (both async-signal-safe);
// the waits of the run poll that pipe, the transfer loops read the atomic.
#include "platform/stop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>

namespace plat {
namespace {

std::atomic<int> stopSignal{0};
int wakeRead = -1;
int wakeWrite = -1;

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnStopSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
  if (wakeWrite >= 0) {
    const char byte = 1;
    // A full pipe already wakes every waiter: the byte may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
  }
  errno = savedErrno;
}

} // namespace

void ListenForStop() {
  if (wakeRead < 0) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
      wakeRead = ends[0];
      wakeWrite = ends[1];
    }
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Calls cut short by the signal go on; the waits that must end look at
  // the pipe.
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal the starter ignores (nohup, a background job's SIGINT) stays
    // ignored.
    struct sigaction before {};
    if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
      continue;
    ::sigaction(signal, &action, nullptr);
  }
}

bool StopRequested() { return stopSignal.load() != 0; }

std::string StopName() {
  switch (stopSignal.load()) {
  case 0:
    return std::string();
  case SIGTERM:
    return "SIGTERM";
  case SIGINT:
    return "SIGINT";
  case SIGHUP:
    return "SIGHUP";
  default:
    return "SIG" + std::to_string(stopSignal.load());
  }
}

bool WaitForStop(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
  while (!StopRequested()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      return false;
    if (wakeRead < 0) {
      // No pipe to be had: the flag is looked at once a second.
      ::usleep(static_cast<useconds_t>(std::min<long long>(left, 1000)) * 1000);
      continue;
    }
    pollfd wake{wakeRead, POLLIN, 0};
    // The byte stays in the pipe, so every later wait ends at once too.
    ::poll(&wake, 1, static_cast<int>(left));
  }
  return true;
}

bool DeliverStopForTest(unsigned long event, int) {
  ::kill(::getpid(), static_cast<int>(event));
  return true;
}

} // namespace plat
