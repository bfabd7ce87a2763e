// A first-kind module that never answers a file request (ke_silent.scenario).
// Slow: three silent attempts of about 25 s each.
#include <gtest/gtest.h>

#include <string>

#include "devices/vemoracopyclass.h"
#include "support/simdevices.h"

TEST(KeSilent, ExactlyTwoEnqsThenFalse) {
  SimDevices &sim = SimDevices::Get();
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  VemoraCopyClass ke(sim.Port("quiet").c_str());
  ke.moduleKind = 0;
  ke.SetRequestDigits(0, 3);
  iBuffer target;
  EXPECT_FALSE(ke.ReadFile(target, 42));
  EXPECT_EQ(target.Length(), 0);
  sim.WaitReceived("quiet", 10, 2000);
  EXPECT_EQ(sim.Received("quiet"), "\x1b" "3;0;42F\x05\x05");
}
