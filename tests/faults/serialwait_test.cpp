// Under load the serial line's reads must not add latency of their own: a
// read that starts on a quiet line returns the bytes that arrive during its
// time-out in the same call (on a raw tty an idle read gives 0 bytes, which
// is no end of file).
#include <chrono>
#include <string>

#include "devices/fastcom.h"
#include "faults/faultcheck.h"

TEST(Faults, SerialReadReturnsBytesArrivingDuringItsWait) {
  devsim::Simulator sim;
  devsim::Line &peer = sim.AddPeer("peer", "ttyUSB7");
  sim.AddReaction("peer", "Q", "hello", 50);
  ASSERT_TRUE(sim.Start());
  ::setenv("ZARVIK_DEV_ROOT", sim.DeviceRoot().c_str(), 1);

  FastCom port;
  ASSERT_TRUE(port.Open(peer.PortName().c_str(), 1000));
  iBuffer request;
  request.AppendText("Q");
  ASSERT_TRUE(port.Send(request));
  const auto start = std::chrono::steady_clock::now();
  iBuffer reply;
  ASSERT_TRUE(port.ReadAvailable(reply));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(std::string(reply.Text(), static_cast<size_t>(reply.Length())), "hello");
  // The read still lasts its time-out (its room is not full), never longer.
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  port.Close();
}
