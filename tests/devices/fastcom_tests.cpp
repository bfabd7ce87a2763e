// FastCom against simulated peers on pseudo-terminals (natively in-process,
// under Wine through the native simulator). Every test uses lines of its own
// (fastcom.scenario).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "devices/fastcom.h"
#include "support/portholder.h"
#include "support/simdevices.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

iBuffer Frame(const std::string &bytes) {
  iBuffer frame;
  frame.AppendBytes(bytes.data(), static_cast<int>(bytes.size()));
  return frame;
}

std::string Text(const iBuffer &buffer) {
  return std::string(buffer.Text(), static_cast<size_t>(buffer.Length()));
}

class FastComTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(sim.Ok()) << sim.Error(); }
  SimDevices &sim = SimDevices::Get();
};

TEST_F(FastComTest, OpenRefusesMissingLongAndAlreadyOpenPorts) {
  FastCom port;
  EXPECT_FALSE(port.Open("com60", 20)); // no device behind it
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.isOpen);
  // The path field holds "\\.\" and 15 characters; a longer name is refused
  // without touching the port.
  EXPECT_FALSE(port.Open("com0000000000033", 20));
  EXPECT_FALSE(port.IsOpen());

  ASSERT_TRUE(port.Open(sim.Port("life").c_str(), 0));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.ReadTimeout(), 1); // 0 becomes 1
  plat::SerialHandle first = port.handle;
  EXPECT_FALSE(port.Open(sim.Port("life").c_str(), 50));
  EXPECT_EQ(port.handle, first);
  EXPECT_EQ(port.ReadTimeout(), 1);

  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Close());
  EXPECT_FALSE(port.IsOpen());
  // Released: it opens again.
  FastCom other;
  EXPECT_TRUE(other.Open(sim.Port("life").c_str(), 20));
}

// Wine does not enforce the exclusive (no sharing) open of a serial device:
// a second CreateFileA on the same port succeeds there, so these run natively.
TEST_F(FastComTest, ASecondObjectCannotTakeAnOpenPort) {
  if (SimDevices::UnderWine())
    GTEST_SKIP() << "Wine opens a serial device twice despite share mode 0";
  FastCom port, other;
  ASSERT_TRUE(port.Open(sim.Port("life").c_str(), 20));
  EXPECT_FALSE(other.Open(sim.Port("life").c_str(), 20));
  EXPECT_FALSE(other.IsOpen());
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(other.Open(sim.Port("life").c_str(), 20));
}

TEST_F(FastComTest, NothingMovesOnAClosedPort) {
  FastCom port;
  iBuffer target("old");
  EXPECT_FALSE(port.Receive(target));
  EXPECT_EQ(Text(target), "old");
  EXPECT_FALSE(port.ReadAvailable(target));
  EXPECT_FALSE(port.Send(Frame("x")));
  EXPECT_FALSE(port.SendPaced(Frame("x")));
}

TEST_F(FastComTest, BorrowedCloseLeavesTheOwnersHandleWorking) {
  FastCom owner, borrower;
  EXPECT_FALSE(borrower.ShareHandle(owner)); // nothing to borrow yet
  ASSERT_TRUE(owner.Open(sim.Port("life").c_str(), 20));
  owner.byteWise = true;
  ASSERT_TRUE(borrower.ShareHandle(owner));
  EXPECT_TRUE(borrower.Borrowed());
  EXPECT_TRUE(borrower.byteWise);
  EXPECT_EQ(borrower.ReadTimeout(), 20);
  EXPECT_EQ(borrower.handle, owner.handle);

  size_t before = sim.ReceivedCount("life");
  EXPECT_TRUE(borrower.Send(Frame("via-borrower")));
  EXPECT_TRUE(borrower.Close()); // leaves the handle alone
  EXPECT_TRUE(borrower.Close());
  EXPECT_TRUE(borrower.IsOpen());
  EXPECT_FALSE(borrower.Open(sim.Port("life").c_str(), 20)); // still holds a handle

  EXPECT_TRUE(owner.Send(Frame("via-owner")));
  ASSERT_TRUE(sim.WaitReceivedContains("life", "via-borrowervia-owner", before, 2000))
      << sim.Received("life").substr(before);
  EXPECT_TRUE(owner.Close());
}

TEST_F(FastComTest, ReceiveStopsAtTheTerminatorOnlyWhenTheDataEndsWithIt) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("recv").c_str(), 20));
  iBuffer reply;

  // "<abc ESC \" comes at once and "late" 300 ms later: the terminator ends
  // the collection long before the late bytes, whatever the budget.
  ASSERT_TRUE(port.Send(Frame("R1")));
  auto start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 2000, "\x1b\\"));
  EXPECT_LT(MsSince(start), 280);
  EXPECT_EQ(Text(reply), "<abc\x1b\\");
  // The late bytes arrive for the next read.
  ASSERT_TRUE(port.Receive(reply, 1000, "late"));
  EXPECT_EQ(Text(reply), "late");

  // The terminator in the middle does not stop it; the idle budget does.
  ASSERT_TRUE(port.Send(Frame("R2")));
  start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 200, "\x1b\\"));
  EXPECT_EQ(Text(reply), "<ab\x1b\\cd");
  EXPECT_GE(MsSince(start), 150);

  // Fewer bytes than the terminator, or only part of it at the end.
  ASSERT_TRUE(port.Send(Frame("R3")));
  ASSERT_TRUE(port.Receive(reply, 100, "zz\x1b\\"));
  EXPECT_EQ(Text(reply), "x\x1b");
  EXPECT_TRUE(port.Close());
}

TEST_F(FastComTest, ReceiveGrowsItsTargetForALongReply) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("recv").c_str(), 20));
  const std::string once = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!?";
  std::string expected;
  for (int i = 0; i < 80; ++i)
    expected += once;
  iBuffer reply;
  ASSERT_TRUE(port.Send(Frame("BIG")));
  // Budget 200 ms of silence: the reply flows in well before that.
  ASSERT_TRUE(port.Receive(reply, 200));
  ASSERT_EQ(reply.Length(), static_cast<int>(expected.size()));
  EXPECT_EQ(Text(reply), expected);
  // The buffer keeps its two zero bytes after the data.
  EXPECT_GE(reply.FreeSpace(), 2);
  EXPECT_EQ(reply.Data()[reply.Length()], 0);
  EXPECT_EQ(reply.Data()[reply.Length() + 1], 0);
  EXPECT_TRUE(port.Close());
}

TEST_F(FastComTest, SilenceCostsTheBudgetInReadTimeouts) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("quiet").c_str(), 20));
  iBuffer reply("stale");
  auto start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 100)); // five empty reads of 20 ms
  long long took = MsSince(start);
  EXPECT_EQ(reply.Length(), 0);
  EXPECT_GE(took, 95);
  EXPECT_LT(took, 1000);

  start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 0)); // budget 0 is 1: one empty read
  took = MsSince(start);
  EXPECT_GE(took, 18);
  EXPECT_LT(took, 500);

  start = Clock::now();
  ASSERT_TRUE(port.Receive(reply)); // default budget: readTimeout, one read
  EXPECT_LT(MsSince(start), 500);
  EXPECT_TRUE(port.Close());
}

TEST_F(FastComTest, SendPacedWritesFortyBytesInBlocksOfSixteen) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("paced").c_str(), 1));
  const std::string frame = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"; // 40 bytes
  auto start = Clock::now();
  ASSERT_TRUE(port.SendPaced(Frame(frame)));
  long long took = MsSince(start);
  ASSERT_TRUE(sim.WaitReceived("paced", 40, 2000));
  EXPECT_EQ(sim.Received("paced"), frame);
  // Three blocks, each followed by 20 ms before the look for XOFF.
  EXPECT_GE(took, 60);
  EXPECT_LT(took, 2000);
  EXPECT_TRUE(port.Close());
}

// The peer answers the end of the first block (and of the second) with XOFF,
// 30 stray bytes and XON: the pause lasts while bytes other than XON come in
// (one read every few ms), and XON ends it.
TEST_F(FastComTest, SendPacedWaitsForXonAfterXoff) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("xon").c_str(), 1));
  const std::string frame = std::string("0123456789012a15") + "4567890123456b31" + "89012345";
  ASSERT_EQ(frame.size(), 40u);
  std::atomic<bool> result{false};
  auto start = Clock::now();
  std::thread sender([&] { result = port.SendPaced(Frame(frame)); });
  ASSERT_TRUE(sim.WaitReceived("xon", 16, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(sim.ReceivedCount("xon"), 16u);
  ASSERT_TRUE(sim.WaitReceived("xon", 32, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(sim.ReceivedCount("xon"), 32u);
  sender.join();
  EXPECT_TRUE(result);
  EXPECT_GE(MsSince(start), 2 * 31 * 7); // 31 reads of 1 ms and 7 ms of sleep per pause
  EXPECT_EQ(sim.Received("xon"), frame);
  EXPECT_TRUE(port.Close());
}

// XOFF after the first block, then two stray bytes and silence: the pause
// goes on over the stray bytes and ends on the first silent read more than
// 20 ms after the XOFF.
TEST_F(FastComTest, SendPacedResumesAfterSilenceFollowingXoff) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("xoff").c_str(), 1));
  const std::string frame = std::string("0123456789012c15") + "ABCDEFGHIJKLMNOPQRSTUVWX";
  auto start = Clock::now();
  ASSERT_TRUE(port.SendPaced(Frame(frame)));
  long long took = MsSince(start);
  ASSERT_TRUE(sim.WaitReceived("xoff", 40, 2000));
  EXPECT_EQ(sim.Received("xoff"), frame);
  EXPECT_GE(took, 80);
  EXPECT_LT(took, 2000);
  EXPECT_TRUE(port.Close());
}

// XOFF after the first block, then a stream of stray bytes that never ends in
// XON and never falls silent: the pause gives up after 20 s (the longest a
// write may take) instead of holding the frame for ever.
TEST_F(FastComTest, SendPacedPausesAtMostTwentySecondsWithoutXon) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("chatter").c_str(), 1));
  const std::string frame = std::string("0123456789012d15") + "ABCDEFGHIJKLMNOPQRSTUVWX";
  auto start = Clock::now();
  ASSERT_TRUE(port.SendPaced(Frame(frame)));
  long long took = MsSince(start);
  ASSERT_TRUE(sim.WaitReceived("chatter", 40, 2000));
  EXPECT_EQ(sim.Received("chatter"), frame);
  EXPECT_GE(took, 19900);
  EXPECT_LT(took, 35000);
  EXPECT_TRUE(port.Close());
}

TEST_F(FastComTest, ByteModeSendsEachByteAndAnEmptyFrameIsNoWrite) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("bytes").c_str(), 20));
  port.byteWise = true;
  EXPECT_TRUE(port.Send(iBuffer()));
  auto start = Clock::now();
  ASSERT_TRUE(port.Send(Frame(std::string("\x1b" "3;0;17F", 8))));
  EXPECT_GE(MsSince(start), 16); // 2 ms after every byte
  ASSERT_TRUE(sim.WaitReceived("bytes", 8, 2000));
  EXPECT_EQ(sim.Received("bytes"), std::string("\x1b" "3;0;17F", 8));
  EXPECT_EQ(port.bytesWritten, 1u);

  port.byteWise = false;
  EXPECT_TRUE(port.Send(iBuffer())); // whole mode: an empty write is no failure
  EXPECT_TRUE(port.Send(Frame("ok")));
  ASSERT_TRUE(sim.WaitReceived("bytes", 10, 2000));
  EXPECT_EQ(port.bytesWritten, 2u);
  EXPECT_TRUE(port.Close());
}

TEST_F(FastComTest, APortHeldByAnotherProcessDoesNotOpen) {
  if (SimDevices::UnderWine())
    GTEST_SKIP() << "Wine opens a serial device twice despite share mode 0";
  PortHolder holder;
  ASSERT_TRUE(holder.Start(sim.Port("held")));
  FastCom port;
  EXPECT_FALSE(port.Open(sim.Port("held").c_str(), 20));
  EXPECT_FALSE(port.IsOpen());
  holder.Stop();
  EXPECT_TRUE(port.Open(sim.Port("held").c_str(), 20));
}

TEST_F(FastComTest, APortLockedByAnotherToolDoesNotOpen) {
  if (SimDevices::UnderWine())
    GTEST_SKIP() << "the simulator holds this port with flock, which Wine does not consult";
  FastCom port;
  EXPECT_FALSE(port.Open(sim.Port("locked").c_str(), 20));
  EXPECT_FALSE(port.IsOpen());
}

// The peer sends part of a reply and hangs up: the reads come back empty
// within their budgets, taking their time (no spinning), and nothing crashes.
TEST_F(FastComTest, APeerThatHangsUpMidFrameIsSilence) {
  FastCom port;
  ASSERT_TRUE(port.Open(sim.Port("drop").c_str(), 20));
  iBuffer reply;
  ASSERT_TRUE(port.Send(Frame("H1")));
  auto start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 300, "\x1b\\"));
  EXPECT_EQ(Text(reply), "part");
  EXPECT_LT(MsSince(start), 3000);

  std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the hang-up has happened
  start = Clock::now();
  ASSERT_TRUE(port.Receive(reply, 100));
  long long took = MsSince(start);
  EXPECT_EQ(reply.Length(), 0);
  EXPECT_GE(took, 90); // five reads of 20 ms, not five instant failures
  EXPECT_LT(took, 2000);

  start = Clock::now();
  ASSERT_TRUE(port.ReadAvailable(reply));
  EXPECT_EQ(reply.Length(), 0);
  EXPECT_GE(MsSince(start), 15);
  port.Send(Frame("after")); // may fail; must not hang or crash
  EXPECT_TRUE(port.Close());
}

} // namespace
