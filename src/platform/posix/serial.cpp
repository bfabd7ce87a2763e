// The serial line on POSIX: com<n> is a tty node under the device root,
// taken exclusively, raw 8N1, every wait a poll against a steady deadline.
#include "platform/serial.h"
#include "platform/posix/ttyspeed.h"

#include "platform/numtext.h"
#include "platform/posix/comtty.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;

int Fd(SerialHandle handle) { return static_cast<int>(handle); }

// The COM number of a port name: "com" (any case) followed by decimal
// digits only; -1 for any other name.
long ComNumber(const char *name) {
  const std::string upper = UpperAscii(name != nullptr ? name : "");
  if (upper.compare(0, 3, "COM") != 0 || upper.size() == 3 ||
      upper.find_first_not_of("0123456789", 3) != std::string::npos)
    return -1;
  // Five digits and more (leading zeros aside) name no port; they are not
  // read, so that no number wraps.
  const size_t first = upper.find_first_not_of('0', 3);
  if (first != std::string::npos && upper.size() - first > 4)
    return -1;
  return static_cast<long>(DecimalAfter(upper, "COM"));
}

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0)
    return 0;
  return static_cast<int>((left + 999) / 1000);
}

// A line whose peer is gone (a hung-up pseudo-terminal reports EIO or
// POLLHUP at once) must still take its time: sleep out the deadline.
void SleepUntil(Clock::time_point deadline) { std::this_thread::sleep_until(deadline); }

// ---- Reads that wake once per fill, not once per piece ---------------------
// The bytes a read still wants cannot cross the line faster than one per
// character time (10 bits at the line's speed). When the piece a read just
// took is smaller than what it still wants, the line hands bytes over in
// small pieces (each byte on a fast tty, each 14-byte load of a UART's FIFO):
// the read then sleeps until the rest can all be there (never past its
// deadline) before it waits for data again, instead of being woken for every
// piece; those wake-ups were most of the program's CPU. Larger pieces (an
// adapter's packets) are waited for as before. A read still ends when its
// bytes are in or its deadline passes; bytes a receiver held back and hands
// over at once are taken at most one fill time later.
void SleepForFill(int fd, uint32_t wanted, Clock::time_point deadline) {
  termios tio{};
  const uint32_t baud = ::tcgetattr(fd, &tio) == 0 ? TtyBaud(::cfgetispeed(&tio)) : 0;
  if (baud == 0)
    return;
  const auto fill = std::chrono::microseconds(static_cast<uint64_t>(wanted) * 10000000u / baud);
  if (fill < std::chrono::milliseconds(2))
    return; // not worth a wake-up of its own
  SleepUntil(std::min(Clock::now() + fill, deadline));
}
// ---------------------------------------------------------------------------

// ---- UUCP lock files -------------------------------------------------------
// Programs that share serial lines the old way (dial-out tools, many
// point-of-sale programs) announce a port as LCK..<tty> in /run/lock: the
// holder's pid in ASCII, ten characters and a newline. A lock of a live
// process makes the port busy; one whose process is gone is stale and
// replaced. The device nodes of ZARVIK_DEV_ROOT are not those of /dev, so
// their locks live in ZARVIK_LOCK_DIR, and without it they have none.
std::string LockDirectory() {
  const char *dir = std::getenv("ZARVIK_LOCK_DIR");
  if (dir != nullptr && dir[0] != 0)
    return dir;
  const char *root = std::getenv("ZARVIK_DEV_ROOT");
  return root != nullptr && root[0] != 0 ? std::string() : "/run/lock";
}

// The lock files this process holds, by the handle they were taken for.
std::mutex &LockMutex() {
  static auto *mutex = new std::mutex;
  return *mutex;
}
std::map<int, std::string> &HeldLocks() {
  static auto *held = new std::map<int, std::string>;
  return *held;
}

enum class UucpLock { kTaken, kBusy, kNone };

// Whether the lock file names a process that still runs; an unreadable or
// empty file counts as a live one being written.
bool HolderLives(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return errno != ENOENT;
  char text[32] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0)
    return true;
  const long pid = std::strtol(text, nullptr, 10);
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
}

// Takes LCK..<tty> for this process: the pid is written into a file of its
// own that is then linked to the lock's name, so that no reader ever sees a
// lock without its pid and no two takers both win. A directory that cannot
// hold the file (missing, read-only) leaves the port without a lock.
UucpLock TakeUucpLock(const std::string &tty, std::string &path) {
  const std::string dir = LockDirectory();
  if (dir.empty())
    return UucpLock::kNone;
  path = dir + "/LCK.." + tty;
  const std::string temporary = dir + "/LTMP." + std::to_string(::getpid()) + "." + tty;
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0)
    return UucpLock::kNone;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(::getpid()));
  const bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
  ::close(fd);
  UucpLock result = UucpLock::kNone;
  for (int attempt = 0; written && attempt < 2; ++attempt) {
    if (::link(temporary.c_str(), path.c_str()) == 0) {
      result = UucpLock::kTaken;
      break;
    }
    if (errno != EEXIST)
      break;
    if (HolderLives(path)) {
      result = UucpLock::kBusy;
      break;
    }
    ::unlink(path.c_str());  // stale: its process is gone
  }
  ::unlink(temporary.c_str());
  return result;
}
// ---------------------------------------------------------------------------

} // namespace

SerialHandle SerialOpen(const char *name, OpenFailure *failure) {
  OpenFailure ignored;
  OpenFailure &why = failure != nullptr ? *failure : ignored;
  why = OpenFailure::kMissing;
  std::string tty = TtyOfCom(ComNumber(name));
  if (tty.empty())
    return kNoHandle;
  // The lock file first: opening a serial port raises its modem lines,
  // which the program that holds it must not see.
  std::string lockPath;
  const UucpLock uucp = TakeUucpLock(tty, lockPath);
  if (uucp == UucpLock::kBusy) {
    why = OpenFailure::kBusy;
    return kNoHandle;
  }
  const auto fail = [&](int fd) {
    if (fd >= 0)
      ::close(fd);
    if (uucp == UucpLock::kTaken)
      ::unlink(lockPath.c_str());
    return kNoHandle;
  };
  const char *root = std::getenv("ZARVIK_DEV_ROOT");
  std::string path = std::string(root && *root ? root : "/dev") + "/" + tty;
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // TIOCEXCL held by another process gives EBUSY; a node the user may not
    // open (not in the group that owns the ttys) is told apart, since the
    // cure is another one.
    if (errno == EBUSY)
      why = OpenFailure::kBusy;
    else if (errno == EACCES || errno == EPERM)
      why = OpenFailure::kDenied;
    return fail(-1);
  }
  // 0 means "no handle" to the caller: keep the descriptor at 3 or above.
  if (fd < 3) {
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    if (moved < 0)
      return fail(-1);
    fd = moved;
  }
  if (!::isatty(fd))
    return fail(fd);
  // Exclusive use: flock is what other serial tools check, and it holds for
  // root too; TIOCEXCL additionally refuses later opens of the tty by other
  // users. It must be cleared before close, or a pseudo-terminal stays locked.
  // TIOCEXCL already set is another program's (root opens such a tty all
  // the same, and a closed one of ours has cleared it).
  int exclusive = 0;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)) {
    why = OpenFailure::kBusy;
    return fail(fd);
  }
  ::ioctl(fd, TIOCEXCL);
  if (uucp == UucpLock::kTaken) {
    std::lock_guard<std::mutex> lock(LockMutex());
    HeldLocks()[fd] = lockPath;
  }
  why = OpenFailure::kNone;
  return fd;
}

void SerialSetup(SerialHandle handle, uint32_t baud, int readTimeoutMs, int writeLimitMs) {
  // Every read and write gets its time-out from the caller.
  (void)readTimeoutMs;
  (void)writeLimitMs;
  int fd = Fd(handle);
  ::tcflush(fd, TCIOFLUSH);
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0)
    return;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, TtySpeedCode(baud));
  ::cfsetospeed(&tio, TtySpeedCode(baud));
  ::tcsetattr(fd, TCSANOW, &tio);
  // DTR and RTS held off (a pseudo-terminal has neither; the call then fails).
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIC, &lines);
}

bool SerialWrite(SerialHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written, int writeLimitMs,
                 LineErrors *) {
  int fd = Fd(handle);
  *written = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(writeLimitMs) + count);
  while (*written < count) {
    ssize_t n = ::write(fd, bytes + *written, count - *written);
    if (n > 0) {
      *written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno != EAGAIN)
      return false;
    int left = MsLeft(deadline);
    if (left == 0)
      return true; // timed out: a short write, reported by the count
    pollfd p{fd, POLLOUT, 0};
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno != EINTR)
      return false;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT))
      return false;
  }
  return true;
}

bool SerialDrain(SerialHandle handle, int timeoutMs, LineErrors *) {
  // tcdrain has no time-out: a line held by flow control or a vanished
  // adapter blocks it for ever. Watch the output queue instead, sleeping
  // about as long as the queued bytes take at the line rate.
  int fd = Fd(handle);
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
      return true;
    auto now = Clock::now();
    if (now >= deadline) {
      ::tcflush(fd, TCOFLUSH);
      return false;
    }
    // About 87 us a byte at 115200 baud; at least 200 us, at most 10 ms a nap.
    auto nap = std::chrono::microseconds(std::min(10000, std::max(200, queued * 87)));
    std::this_thread::sleep_until(std::min(deadline, now + nap));
  }
}

namespace {

// Errors of a read that say the device is gone: the tty hung up or its
// adapter vanished.
bool DeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

void NoteLost(LineErrors *lineErrors, int error) {
  if (lineErrors == nullptr)
    return;
  lineErrors->lost = true;
  lineErrors->lostError = static_cast<uint32_t>(error);
}

} // namespace

bool SerialRead(SerialHandle handle, uint8_t *bytes, uint32_t count, uint32_t *got, int readTimeoutMs,
                LineErrors *lineErrors) {
  // A POSIX tty does not latch line errors: a damaged byte arrives as read
  // (no PARMRK), so there is nothing to clear or report. A device that is
  // gone is reported as lost.
  int fd = Fd(handle);
  *got = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(readTimeoutMs > 0 ? readTimeoutMs : 1);
  bool sleepForFill = false; // see SleepForFill
  bool hungUp = false;       // poll reported a hang-up with bytes left
  while (*got < count) {
    ssize_t n = ::read(fd, bytes + *got, count - *got);
    if (n > 0) {
      *got += static_cast<uint32_t>(n);
      sleepForFill = static_cast<uint32_t>(n) < count - *got;
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && DeviceGone(errno)) {
      // The adapter was pulled out or the peer hung up: nothing more comes.
      NoteLost(lineErrors, errno);
      return *got > 0;
    }
    if (n < 0 && errno != EAGAIN) {
      // Another failure: silence.
      SleepUntil(deadline);
      return *got > 0;
    }
    // Nothing to read now (a raw tty with VMIN 0 and VTIME 0 reads 0 bytes,
    // a non-blocking one fails with EAGAIN): wait for data until the deadline.
    int left = MsLeft(deadline);
    if (left == 0)
      break;
    if (sleepForFill) {
      sleepForFill = false;
      SleepForFill(fd, count - *got, deadline);
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno != EINTR) {
      SleepUntil(deadline);
      break;
    }
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      // A hang-up, an error or a descriptor that is no longer open: the
      // device is gone. Bytes it left are still taken; a hung-up
      // pseudo-terminal also reports POLLIN and then reads 0 bytes at once,
      // so the read ends at the first read that brings none.
      if ((p.revents & POLLIN) == 0 || hungUp) {
        NoteLost(lineErrors, (p.revents & POLLNVAL) != 0 ? EBADF : EIO);
        break;
      }
      hungUp = true;
    }
  }
  return true;
}

void SerialClearErrors(SerialHandle handle) {
  // Line errors do not latch on a POSIX tty; nothing to clear.
  (void)handle;
}

bool SerialClose(SerialHandle handle) {
  int fd = Fd(handle);
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  // The lock's entry is taken out before the descriptor's number is free
  // for another port's open.
  std::string lockPath;
  {
    std::lock_guard<std::mutex> lock(LockMutex());
    auto held = HeldLocks().find(fd);
    if (held != HeldLocks().end()) {
      lockPath = held->second;
      HeldLocks().erase(held);
    }
  }
  const bool closed = ::close(fd) == 0;
  if (!lockPath.empty())
    ::unlink(lockPath.c_str());
  return closed;
}

} // namespace plat
