// Under load the serial line's reads must not add latency of their own: a
// read that starts on a quiet line returns the bytes that arrive during its
// time-out in the same call (on a raw tty an idle read gives 0 bytes, which
// is no end of file).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/testdir.h"
#include "devices/fastcom.h"
#include "faults/faultcheck.h"

TEST(Faults, SerialReadReturnsBytesArrivingDuringItsWait) {
  devsim::Simulator sim;
  devsim::Line &peer = sim.AddPeer("peer", "ttyUSB7");
  sim.AddReaction("peer", "Q", "hello", 50);
  ASSERT_TRUE(sim.Start());
  ScopedEnv devRoot("ZARVIK_DEV_ROOT", sim.DeviceRoot());

  FastCom port;
  ASSERT_TRUE(port.Open(peer.PortName().c_str(), 1000));
  ASSERT_TRUE(port.Send(ByteBuffer("Q")));
  const auto start = std::chrono::steady_clock::now();
  ByteBuffer reply;
  ASSERT_TRUE(port.ReadAvailable(reply));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(std::string(reply.Text(), static_cast<size_t>(reply.Length())), "hello");
  // The read still lasts its time-out (its room is not full), never longer.
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  port.Close();
}

// A peer that never reads: the line never drains. A write and its wait until
// sent together end within the write limit plus 1 ms a byte, and the frame
// that could not leave is reported as not sent.
TEST(Faults, SerialWriteToAPeerThatNeverReadsIsBounded) {
  TestDir dir;
  ScopedEnv devRoot("ZARVIK_DEV_ROOT", dir.root);
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  ASSERT_EQ(::symlink(::ptsname(master), dir.Path("ttyUSB11").c_str()), 0);

  FastCom port;
  port.writeLimit = 300;
  ASSERT_TRUE(port.Open("com44", 20));
  // Full for good: the pty moves bytes on to the other side's buffer a
  // little later, so fill until a few rounds in a row take nothing.
  const uint8_t fill[256] = {};
  for (int idle = 0; idle < 5;) {
    if (::write(static_cast<int>(port.handle), fill, sizeof fill) > 0) {
      idle = 0;
    } else {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  const ByteBuffer frame("0123456789012345678901234567890123456789");
  for (int mode = 0; mode < 3; ++mode) {
    port.byteWise = mode == 1;
    const auto start = std::chrono::steady_clock::now();
    const bool sent = mode == 2 ? port.SendPaced(frame) : port.Send(frame);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(sent) << mode;
    EXPECT_GE(took, std::chrono::milliseconds(290)) << mode;
    EXPECT_LT(took, std::chrono::milliseconds(300 + 40 + 500)) << mode;
  }
  port.Close();
  ::close(master);
}
