// The KE protocol against simulated modules and scripted peers.
#include "devices/vemoracopyclass.h"
#include "simfixture.h"

namespace {

class KeTest : public SimTest {
protected:
  devsim::Line &Ke(devsim::KeConfig cfg) {
    devsim::Line &line = sim->AddKe("ke", "ttyUSB2", cfg);
    EXPECT_TRUE(sim->Start());
    return line;
  }
  devsim::Line &Peer() {
    devsim::Line &line = sim->AddPeer("peer", "ttyUSB3");
    EXPECT_TRUE(sim->Start());
    return line;
  }
  static std::string Text(const iBuffer &b) { return std::string(b.Text(), static_cast<size_t>(b.Length())); }
};

} // namespace

TEST_F(KeTest, VersionTellsTheModuleKinds) {
  devsim::KeConfig tagged;
  tagged.versionText = "v1 EJ2 build 7"; // the tag anywhere in the reply
  devsim::KeConfig untagged;
  untagged.version = devsim::VersionKind::kUntagged;
  devsim::KeConfig silent;
  silent.version = devsim::VersionKind::kSilent;
  devsim::Line &a = sim->AddKe("a", "ttyUSB4", tagged);
  devsim::Line &b = sim->AddKe("b", "ttyUSB5", untagged);
  devsim::Line &c = sim->AddKe("c", "ttyUSB6", silent);
  ASSERT_TRUE(sim->Start());

  VemoraCopyClass keA(a.PortName().c_str()), keB(b.PortName().c_str()), keC(c.PortName().c_str());
  ASSERT_TRUE(keA.port.IsOpen());
  EXPECT_EQ(keA.port.baudRate, 115200u);
  EXPECT_EQ(keA.port.ReadTimeout(), 20);
  EXPECT_EQ(keA.moduleKind, -1);
  EXPECT_EQ(keA.ReadVersion(), "v1 EJ2");
  EXPECT_EQ(keA.moduleKind, 1);
  EXPECT_EQ(Hex(a.Received()), "1B 59");
  EXPECT_EQ(keB.ReadVersion(), "");
  EXPECT_EQ(keB.moduleKind, 0);
  EXPECT_EQ(keC.ReadVersion(), "");
  EXPECT_EQ(keC.moduleKind, 0);
}

TEST_F(KeTest, IdentityOfATaggedModule) {
  devsim::KeConfig cfg;
  devsim::Line &line = Ke(cfg);
  VemoraCopyClass ke(line.PortName().c_str());
  iBuffer target;
  const std::string *identity = ke.ReadIdentity(target, true);
  EXPECT_EQ(identity, ke.identity);
  EXPECT_EQ(identity[0], devsim::IdentityText(cfg));
  EXPECT_EQ(identity[1], cfg.serial);
  EXPECT_EQ(identity[2], cfg.fiscal);
  // The version query follows the first identity, once.
  EXPECT_EQ(ke.moduleKind, 1);
  EXPECT_EQ(Hex(line.Received()), "1B 53 1B 59");
  ke.ReadIdentity(target, true);
  EXPECT_EQ(Hex(line.Received()), "1B 53 1B 59 1B 53");
}

TEST_F(KeTest, IdentityOfABusyModule) {
  devsim::KeConfig cfg;
  cfg.busy = true;
  devsim::Line &line = Ke(cfg);
  VemoraCopyClass ke(line.PortName().c_str());
  iBuffer target;
  const std::string *identity = ke.ReadIdentity(target, true);
  ASSERT_FALSE(identity[0].empty());
  EXPECT_EQ(identity[0][0], '\x1a');
  EXPECT_EQ(identity[1], "");
}

TEST_F(KeTest, IdentityWithTooFewLineBreaks) {
  devsim::Line &line = Peer();
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 1; // listen at once
  ke.identity[1] = ke.identity[3] = "old";
  sim->AddReaction("peer", "\x1bS", "KE\r\nL2\x1a");
  iBuffer target;
  const std::string *identity = ke.ReadIdentity(target, true);
  EXPECT_EQ(identity[0], "KE\r\nL2\x1a");
  EXPECT_EQ(identity[1], "");
  EXPECT_EQ(identity[2], "");
  EXPECT_EQ(identity[3], "");
  EXPECT_EQ(identity[4], "");
}

TEST_F(KeTest, SilentIdentityKeepsTheOldEntries) {
  devsim::Line &line = Peer();
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 1;
  for (std::string &entry : ke.identity)
    entry = "old";
  iBuffer target;
  long long ms = TimedMs([&] { ke.ReadIdentity(target, false); });
  EXPECT_EQ(target.Length(), 0);
  for (const std::string &entry : ke.identity)
    EXPECT_EQ(entry, "old");
  EXPECT_EQ(line.ReceivedCount(), 0u);
  // 2000 units of 20 ms empty reads.
  EXPECT_GE(ms, 1900);
  EXPECT_LT(ms, 6000);
}

TEST_F(KeTest, EndlessIdentityIsCapped) {
  devsim::Line &line = Peer();
  sim->SetPacing(false);
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 1;
  ke.identityLimit = 4096;
  std::string garbage(512, '\0');
  for (int i = 0; i < 1000; ++i)
    line.Write(garbage, 10 * i);
  iBuffer target;
  long long ms = TimedMs([&] { ke.ReadIdentity(target, true); });
  EXPECT_EQ(target.Length(), 4096);
  EXPECT_EQ(ke.identity[0], ""); // the reply began with NUL
  EXPECT_LT(ms, 5000);
}

TEST_F(KeTest, DirectoryEndingInSubEndsAtOnce) {
  devsim::KeConfig cfg;
  for (int n = 0; n < 30; ++n)
    cfg.files.push_back(devsim::MakeFile(n, 100 + n));
  devsim::Line &line = Ke(cfg);
  VemoraCopyClass ke(line.PortName().c_str());
  iBuffer target;
  bool ok = false;
  std::string expected = devsim::DirectoryText(cfg);
  long long ms = TimedMs([&] { ok = ke.ReadDirectory(target); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(Text(target), expected);
  EXPECT_EQ(Hex(line.Received()), "1B 59 1B 44 0D");
  // Version wait, the transfer at 11520 bytes/s, and no idle budget after SUB.
  EXPECT_LT(ms, 300 + expected.size() * 1000 / 11520 + 1000);
}

TEST_F(KeTest, FileRequestBytesAndEndBytes) {
  devsim::Line &line = Peer();
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 1;
  iBuffer target;

  sim->AddReaction("peer", "123F", std::string("data\xff", 5));
  sim->AddReaction("peer", "0000F", "zero\x1a");
  sim->AddReaction("peer", "17F", "seventeen\x1a");

  // Default digits: kind 0, sub 3, end byte SUB.
  EXPECT_TRUE(ke.ReadFile(target, 17));
  EXPECT_EQ(Hex(line.Received()), "1B 30 3B 33 3B 31 37 46");
  EXPECT_EQ(ke.endByte, 0x1A);
  EXPECT_EQ(Text(target), "seventeen\x1a");

  ke.SetRequestDigits(0, 3);
  line.ClearReceived();
  EXPECT_TRUE(ke.ReadFile(target, 123));
  EXPECT_EQ(Hex(line.Received()), "1B 33 3B 30 3B 31 32 33 46");
  EXPECT_EQ(ke.endByte, 0xFF);
  EXPECT_EQ(Text(target), std::string("data\xff", 5));

  for (int n : {0, -5}) {
    line.ClearReceived();
    ke.endByte = 0;
    EXPECT_TRUE(ke.ReadFile(target, n));
    EXPECT_EQ(line.Received(), "\x1b" "0;3;0000F");
    EXPECT_EQ(ke.endByte, 0x1A);
    EXPECT_EQ(Text(target), "zero\x1a");
  }
}

TEST_F(KeTest, TaggedFileTransfer) {
  devsim::KeConfig cfg;
  devsim::KeFile file = devsim::MakeFile(5, 20000);
  cfg.files.push_back(file);
  devsim::KeFile cut = devsim::MakeFile(6, 3000);
  cut.fault = devsim::FileFault::kCutShort;
  cut.faultBytes = 1000;
  cfg.files.push_back(cut);
  devsim::Line &line = Ke(cfg);
  VemoraCopyClass ke(line.PortName().c_str());
  ke.ReadVersion();
  ASSERT_EQ(ke.moduleKind, 1);
  ke.SetRequestDigits(0, 3);
  iBuffer target;
  EXPECT_TRUE(ke.ReadFile(target, 5));
  EXPECT_EQ(Text(target), devsim::FileReply(file, '3'));

  // Cut short: what came, without its end byte, after 50 units of silence.
  long long ms = TimedMs([&] { EXPECT_TRUE(ke.ReadFile(target, 6)); });
  EXPECT_EQ(target.Length(), 1000);
  EXPECT_NE(target.CharAt(target.Length() - 1), 0xFF);
  EXPECT_LT(ms, 2000);
}

TEST_F(KeTest, EndlessFileIsCapped) {
  devsim::Line &line = Peer();
  sim->SetPacing(false);
  VemoraCopyClass ke(line.PortName().c_str());
  ke.moduleKind = 1;
  ke.replyLimit = 50000;
  std::string garbage(1000, 'g');
  for (int i = 0; i < 1000; ++i)
    line.Write(garbage, 10 * i);
  iBuffer target;
  long long ms = TimedMs([&] { EXPECT_TRUE(ke.ReadFile(target, 7)); });
  EXPECT_EQ(target.Length(), 50000);
  EXPECT_LT(ms, 6000);
}

TEST_F(KeTest, ClosedPortIsSilent) {
  VemoraCopyClass ke; // no port name: nothing opened
  EXPECT_FALSE(ke.port.IsOpen());
  EXPECT_FALSE(ke.EnsureOpen());
  ke.moduleKind = 1;
  iBuffer target;
  long long ms = TimedMs([&] {
    EXPECT_FALSE(ke.ReadDirectory(target));
    EXPECT_FALSE(ke.ReadFile(target, 3));
    ke.moduleKind = 0;
    EXPECT_FALSE(ke.ReadFile(target, 3));
  });
  EXPECT_LT(ms, 500);
}

TEST_F(KeTest, CloseAndEnsureOpen) {
  devsim::Line &line = Peer();
  VemoraCopyClass ke(line.PortName().c_str());
  EXPECT_TRUE(ke.Close());
  EXPECT_FALSE(ke.port.IsOpen());
  EXPECT_TRUE(ke.EnsureOpen());
  EXPECT_TRUE(ke.port.IsOpen());
  EXPECT_EQ(ke.port.ReadTimeout(), 20);
  EXPECT_TRUE(ke.EnsureOpen()); // already open
}
