// First-kind modules and the ENQ retry of a file request. Slow: each silent
// attempt spends the module's 12,000-unit budget (about 25 s).
#include <algorithm>

#include "devices/vemoracopyclass.h"
#include "simfixture.h"

namespace {
class KeEnqTest : public SimTest {};
} // namespace

TEST_F(KeEnqTest, FileAfterOneEnqWithTheExtraByteCut) {
  devsim::KeConfig cfg;
  cfg.version = devsim::VersionKind::kUntagged; // answers files after one ENQ
  devsim::KeFile file = devsim::MakeFile(9, 2000);
  cfg.files.push_back(file);
  devsim::Line &line = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());

  VemoraCopyClass ke(line.PortName().c_str());
  ke.ReadVersion();
  ASSERT_EQ(ke.moduleKind, 0);
  ke.SetRequestDigits(0, 3);
  line.ClearReceived();
  iBuffer target;
  EXPECT_TRUE(ke.ReadFile(target, 9));
  std::string expected = devsim::FileReply(file, '3');
  ASSERT_EQ(expected.back(), '\xff');
  EXPECT_EQ(std::string(target.Text(), static_cast<size_t>(target.Length())), expected);
  EXPECT_EQ(line.Received(), "\x1b" "3;0;9F\x05");
}
