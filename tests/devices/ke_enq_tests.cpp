// A first-kind module and the ENQ retry of a file request (ke_enq.scenario).
// Slow: the silent first attempt spends its 12,000-unit budget (about 25 s).
#include <gtest/gtest.h>

#include <string>

#include "devices/vemoracopyclass.h"
#include "support/simdevices.h"

TEST(KeEnq, FileAfterOneEnqWithTheExtraByteCut) {
  SimDevices &sim = SimDevices::Get();
  ASSERT_TRUE(sim.Ok()) << sim.Error();
  VemoraCopyClass ke(sim.Port("enq").c_str());
  ke.ReadVersion();
  ASSERT_EQ(ke.moduleKind, 0);
  ke.SetRequestDigits(0, 3);
  size_t before = sim.ReceivedCount("enq");
  iBuffer target;
  EXPECT_TRUE(ke.ReadFile(target, 9));
  std::string expected;
  while (expected.size() < 2000)
    expected += "0123456789";
  expected += '\xff';
  EXPECT_EQ(std::string(target.Text(), static_cast<size_t>(target.Length())), expected);
  EXPECT_EQ(sim.Received("enq").substr(before), "\x1b" "3;0;9F\x05");
}
