// A first-kind module that never answers a file request. Slow: three silent
// attempts of about 25 s each.
#include "devices/vemoracopyclass.h"
#include "simfixture.h"

namespace {
class KeSilentTest : public SimTest {};
} // namespace

TEST_F(KeSilentTest, ExactlyTwoEnqsThenFalse) {
  devsim::Line &line = sim->AddPeer("peer", "ttyUSB3");
  ASSERT_TRUE(sim->Start());
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 0;
  ke.SetRequestDigits(0, 3);
  iBuffer target;
  EXPECT_FALSE(ke.ReadFile(target, 42));
  EXPECT_EQ(target.Length(), 0);
  EXPECT_EQ(Hex(line.Received()), "1B 33 3B 30 3B 34 32 46 05 05");
}
