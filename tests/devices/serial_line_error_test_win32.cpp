// The Windows serial line after a line error (framing, overrun, parity,
// break). No pseudo-terminal under Wine produces one, so the Win32 calls are
// replaced by a fake driver that latches a line error as fAbortOnError does:
// the call under way fails, and so does every later read and write until
// ClearCommError.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/testdir.h"
#include "devices/vemoracopyclass.h"
#include "platform/win32/serialcalls.h"

namespace {

struct Piece {
  std::string bytes;  // what the read gets before it fails
  DWORD error = 0;    // the line error that ends the read (0: none)
};

struct FakeDriver {
  std::deque<Piece> pieces;  // one a read; none left: silence
  DWORD writeError = 0;      // the line error the next write meets
  DWORD latched = 0;
  std::string written;
  bool vanished = false;  // the adapter is gone: every call fails
  int clears = 0;
} driver;

BOOL WINAPI FakeRead(HANDLE, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED) {
  *got = 0;
  if (driver.vanished)
    ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
  if (driver.latched != 0 || driver.vanished)
    return FALSE;
  if (driver.pieces.empty())
    return TRUE;
  const Piece piece = driver.pieces.front();
  driver.pieces.pop_front();
  *got = std::min<DWORD>(count, static_cast<DWORD>(piece.bytes.size()));
  std::memcpy(buffer, piece.bytes.data(), *got);
  driver.latched = piece.error;
  return piece.error == 0;
}

BOOL WINAPI FakeWrite(HANDLE, LPCVOID bytes, DWORD count, LPDWORD done, LPOVERLAPPED) {
  *done = 0;
  driver.latched |= driver.writeError;
  driver.writeError = 0;
  if (driver.latched != 0)
    return FALSE;
  driver.written.append(static_cast<const char *>(bytes), count);
  *done = count;
  return TRUE;
}

BOOL WINAPI FakeClear(HANDLE, LPDWORD errors, LPCOMSTAT status) {
  ++driver.clears;
  if (driver.vanished) {
    ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  *errors = driver.latched;
  driver.latched = 0;
  *status = COMSTAT{};
  return TRUE;
}

class LineErrorTest : public ::testing::Test {
protected:
  void SetUp() override {
    driver = FakeDriver{};
    plat::serialCalls = {FakeRead, FakeWrite, FakeClear};
    // A real handle for the port to close; the fake never uses it.
    ke.port.handle = reinterpret_cast<plat::SerialHandle>(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ke.port.readTimeout = 20;
    ke.port.lineLog = &log;
    log.copyTo = &lines;
  }
  void TearDown() override {
    ke.Close();
    plat::serialCalls = plat::SerialCalls{};
  }
  TestDir dir;
  LoggingClass log{dir.root.c_str(), "log"};
  std::vector<std::string> lines;
  VemoraCopyClass ke;
};

// Two line errors in one read, the second while it reads on: the read keeps
// what came, one log line names all three errors, and the file request ends
// with its end byte as on a line without errors. (Before, the first error
// failed every later read and the file was taken for silence.)
TEST_F(LineErrorTest, AFileReadGoesOnAndTheKeLogNamesTheErrors) {
  ke.moduleKind = ModuleKind::kTagged;
  driver.pieces = {{"Z1", CE_FRAME}, {"23", CE_OVERRUN | CE_RXPARITY}, {"4\x1a"}};
  ByteBuffer target;
  ASSERT_TRUE(ke.ReadFile(target, 5));
  EXPECT_EQ(std::string(target.Text(), static_cast<size_t>(target.Length())), "Z1234\x1a");
  EXPECT_EQ(driver.written, "\x1b" "0;3;5F");
  EXPECT_EQ(driver.latched, 0u);
  EXPECT_EQ(lines, std::vector<std::string>{"B\263\271d linii szeregowej: b\263\271d ramki, przepe\263nienie "
                                            "odbiornika, b\263\271d parzysto\234ci. Transmisja trwa dalej."});
}

// A write that meets a break is written whole after the error is cleared.
// The receive queue overflowing (CE_RXOVER) is a line error like the others:
// the read goes on and gets the rest.
TEST_F(LineErrorTest, AWriteAfterABreakAndAReadAfterAQueueOverflowGoOn) {
  driver.writeError = CE_BREAK;
  driver.pieces = {{"Z12", CE_RXOVER}, {"34\x1a"}};
  ASSERT_TRUE(ke.port.Send(ByteBuffer("\x1bS")));
  EXPECT_EQ(driver.written, "\x1bS");
  ByteBuffer target;
  ASSERT_TRUE(ke.port.ReadAvailable(target));
  EXPECT_EQ(std::string(target.Text(), static_cast<size_t>(target.Length())), "Z1234\x1a");
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "B\263\271d linii szeregowej: przerwa (break). Transmisja trwa dalej.",
                       "B\263\271d linii szeregowej: przepe\263nienie odbiornika. Transmisja trwa dalej."}));
}

// An adapter pulled out: the read and ClearCommError fail. The read ends at
// once (not after its long time-out) with the port lost and the system's
// code, and later reads fail without asking the driver again.
TEST_F(LineErrorTest, AVanishedAdapterLosesThePortAtOnce) {
  driver.vanished = true;
  ke.port.readTimeout = 5000;
  ByteBuffer target;
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_TRUE(ke.port.ReadAvailable(target));
  EXPECT_LT(::GetTickCount64() - start, 2000u);
  EXPECT_EQ(driver.clears, 1);
  EXPECT_EQ(target.Length(), 0);
  EXPECT_TRUE(ke.port.Lost());
  EXPECT_EQ(ke.port.LostError(), static_cast<uint32_t>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(ke.port.LostReason().empty());
  EXPECT_FALSE(ke.port.ReadAvailable(target));
  EXPECT_EQ(driver.clears, 1);
}

} // namespace
