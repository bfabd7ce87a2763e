// The KE protocol against simulated modules and scripted lines (ke.scenario),
// natively and under Wine.
#include <gtest/gtest.h>

#include <string>

#include "devices/vemoracopyclass.h"
#include "support/simdevices.h"
#include "testbytes.h"

namespace {

class KeTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(sim.Ok()) << sim.Error(); }
  std::string Received(const std::string &name, size_t count) {
    sim.WaitReceived(name, count, 2000);
    return sim.Received(name);
  }
  SimDevices &sim = SimDevices::Get();
};

// "0123456789" repeated to length bytes, as the scripted files send it.
std::string Digits(size_t length) {
  std::string digits;
  while (digits.size() < length)
    digits += "0123456789";
  return digits;
}

} // namespace

// The version tells the module's kind; it is asked after the first identity
// of a module, and only the first.
TEST_F(KeTest, VersionAndIdentityTellTheModule) {
  VemoraCopyClass tagged(sim.Port("vtagged").c_str());
  ASSERT_TRUE(tagged.port.IsOpen());
  EXPECT_EQ(tagged.moduleKind, ModuleKind::kNotAsked);
  EXPECT_EQ(tagged.ReadVersion(), "xyEJ2b"); // the tag anywhere, six characters kept
  EXPECT_EQ(tagged.moduleKind, ModuleKind::kTagged);
  EXPECT_EQ(Hex(Received("vtagged", 2)), "1B 59");

  for (const char *line : {"vuntagged", "vsilent"}) {
    VemoraCopyClass firstKind(sim.Port(line).c_str());
    EXPECT_EQ(firstKind.ReadVersion(), "") << line;
    EXPECT_EQ(firstKind.moduleKind, ModuleKind::kFirstKind) << line;
  }

  VemoraCopyClass ke(sim.Port("ident").c_str());
  ByteBuffer target;
  const std::string *identity = ke.ReadIdentity(target, true);
  EXPECT_EQ(identity[1], "AB12345678");
  EXPECT_EQ(identity[2], "ABC12345678");
  EXPECT_NE(identity[0].find("\r\nAB12345678\r\n"), std::string::npos);
  EXPECT_EQ(identity[0].back(), '\x1a');
  EXPECT_EQ(ke.moduleKind, ModuleKind::kTagged);
  EXPECT_EQ(Hex(Received("ident", 4)), "1B 53 1B 59");
  ke.ReadIdentity(target, true);
  EXPECT_EQ(Hex(Received("ident", 6)), "1B 53 1B 59 1B 53");
  EXPECT_EQ(ke.identity[1], "AB12345678");
}

// An identity that never comes keeps the old entries after the whole budget
// (2000 units of 20 ms empty reads); one that never ends is cut at the cap.
TEST_F(KeTest, SilentOrEndlessIdentity) {
  VemoraCopyClass silent(sim.Port("silentident").c_str());
  silent.moduleKind = ModuleKind::kTagged;
  for (std::string &entry : silent.identity)
    entry = "old";
  ByteBuffer target;
  EXPECT_GE(TimedMs([&] { silent.ReadIdentity(target, false); }), 1900);
  EXPECT_EQ(target.Length(), 0);
  for (const std::string &entry : silent.identity)
    EXPECT_EQ(entry, "old");
  EXPECT_EQ(sim.ReceivedCount("silentident"), 0u);

  VemoraCopyClass endless(sim.Port("endlessident").c_str());
  endless.moduleKind = ModuleKind::kTagged;
  endless.identityLimit = 4096;
  EXPECT_LT(TimedMs([&] { endless.ReadIdentity(target, true); }), 10000);
  EXPECT_EQ(target.Length(), 4096);
  EXPECT_EQ(endless.identity[0], ""); // the reply began with NUL
}

// A Directory that ends in SUB ends at once: the version wait, well under a
// second of transfer, and no idle budget (which alone would take 10 s). One
// without its SUB ends after the idle budget: 10,000 units plus 7/60 of one
// per byte received, in 20 ms empty reads.
TEST_F(KeTest, DirectoryEndsAtItsSubOrAfterTheIdleBudget) {
  VemoraCopyClass ke(sim.Port("dir").c_str());
  ByteBuffer target;
  EXPECT_LT(TimedMs([&] { EXPECT_TRUE(ke.ReadDirectory(target)); }), 3000);
  std::string text = Text(target);
  EXPECT_EQ(text.rfind("KOPIA ELEKTRONICZNA", 0), 0u);
  EXPECT_NE(text.find(" Z0002 D 2010-03-30  1  3 456 OK"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\x1a');
  EXPECT_EQ(Hex(Received("dir", 5)), "1B 59 1B 44 0D");

  VemoraCopyClass noSub(sim.Port("dirnosub").c_str());
  noSub.moduleKind = ModuleKind::kTagged;
  long long ms = TimedMs([&] { EXPECT_TRUE(noSub.ReadDirectory(target)); });
  EXPECT_EQ(Text(target), "KOPIA ELEKTRONICZNA\r\nZ0001 D\r\n");
  EXPECT_GE(ms, 9500);
  EXPECT_LT(ms, 30000);
}

TEST_F(KeTest, FileRequestBytesAndEndBytes) {
  VemoraCopyClass ke(sim.Port("filereq").c_str());
  ke.moduleKind = ModuleKind::kTagged;
  ByteBuffer target;

  // The digits as constructed: kind 0, sub 3, end byte SUB.
  EXPECT_TRUE(ke.ReadFile(target, 17));
  EXPECT_EQ(Hex(Received("filereq", 8)), "1B 30 3B 33 3B 31 37 46");
  EXPECT_EQ(ke.endByte, 0x1A);
  EXPECT_EQ(Text(target), "seventeen\x1a");

  ke.SetRequestDigits(0, 3);
  EXPECT_TRUE(ke.ReadFile(target, 123));
  EXPECT_EQ(Hex(Received("filereq", 17).substr(8)), "1B 33 3B 30 3B 31 32 33 46");
  EXPECT_EQ(ke.endByte, 0xFF);
  EXPECT_EQ(Text(target), std::string("data\xff", 5));

  size_t from = 17;
  for (int n : {0, -5}) {
    ke.endByte = 0;
    EXPECT_TRUE(ke.ReadFile(target, n));
    EXPECT_EQ(Received("filereq", from + 10).substr(from), "\x1b" "0;3;0000F");
    EXPECT_EQ(ke.endByte, 0x1A);
    EXPECT_EQ(Text(target), "zero\x1a");
    from += 10;
  }
}

TEST_F(KeTest, TaggedFileTransfer) {
  VemoraCopyClass ke(sim.Port("tagged").c_str());
  ke.ReadVersion();
  ASSERT_EQ(ke.moduleKind, ModuleKind::kTagged);
  ke.SetRequestDigits(0, 3);
  ByteBuffer target;
  EXPECT_TRUE(ke.ReadFile(target, 5));
  EXPECT_EQ(Text(target), Digits(20000) + "\xff");

  // Cut short: what came, without its end byte, after 50 units of silence.
  long long ms = TimedMs([&] { EXPECT_TRUE(ke.ReadFile(target, 6)); });
  EXPECT_EQ(target.Length(), 1000);
  EXPECT_EQ(target.CharAt(999), 'a');
  EXPECT_LT(ms, 3000);

  // A file that never ends stops at the cap, under two seconds of a reply
  // that lasts 90 s.
  VemoraCopyClass endless(sim.Port("endlessfile").c_str());
  endless.moduleKind = ModuleKind::kTagged;
  endless.replyLimit = 20000;
  EXPECT_LT(TimedMs([&] { EXPECT_TRUE(endless.ReadFile(target, 7)); }), 10000);
  EXPECT_EQ(target.Length(), 20000);
}

TEST_F(KeTest, ClosedPortIsSilent) {
  VemoraCopyClass ke; // no port name: nothing opened
  EXPECT_FALSE(ke.EnsureOpen());
  ke.moduleKind = ModuleKind::kTagged;
  ByteBuffer target;
  long long ms = TimedMs([&] {
    EXPECT_FALSE(ke.ReadDirectory(target));
    EXPECT_FALSE(ke.ReadFile(target, 3));
    ke.moduleKind = ModuleKind::kFirstKind;
    EXPECT_FALSE(ke.ReadFile(target, 3));
  });
  EXPECT_LT(ms, 500);
}

// A first-kind module answers a file request only after an ENQ and adds one
// byte behind the end byte, which is cut; one that never answers gets exactly
// two ENQs. A twentieth of the designed idle budget keeps each attempt short.
TEST_F(KeTest, FirstKindFileRequestsAfterEnq) {
  VemoraCopyClass ke(sim.Port("enq").c_str());
  ke.fileBudget = 600;
  ke.ReadVersion();
  ASSERT_EQ(ke.moduleKind, ModuleKind::kFirstKind);
  ke.SetRequestDigits(0, 3);
  size_t before = sim.ReceivedCount("enq");
  ByteBuffer target;
  EXPECT_TRUE(ke.ReadFile(target, 9));
  EXPECT_EQ(Text(target), Digits(2000) + '\xff');
  EXPECT_EQ(sim.Received("enq").substr(before), "\x1b" "3;0;9F\x05");

  VemoraCopyClass quiet(sim.Port("quiet").c_str());
  quiet.fileBudget = 600;
  quiet.moduleKind = ModuleKind::kFirstKind;
  quiet.SetRequestDigits(0, 3);
  EXPECT_FALSE(quiet.ReadFile(target, 42));
  EXPECT_EQ(target.Length(), 0);
  EXPECT_EQ(Received("quiet", 10), "\x1b" "3;0;42F\x05\x05");
}
