#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "base/ibuffer.h"
#include "testdir.h"

namespace {

std::string Bytes(const iBuffer &b) { return std::string(b.Text(), b.Length()); }

TEST(IBuffer, ConstructionAndGrowthFollowTheCapacityRule) {
  EXPECT_EQ(iBuffer().Capacity(), 100);
  EXPECT_EQ(iBuffer("").Capacity(), 100);
  EXPECT_EQ(iBuffer("").Length(), 0);
  EXPECT_EQ(iBuffer(std::string(60, 'x').c_str()).Capacity(), 120);
  iBuffer one(static_cast<uint8_t>(0));
  EXPECT_EQ(one.Length(), 1);
  EXPECT_EQ(one.Capacity(), 100);

  iBuffer keeps;
  keeps.AppendText(std::string(89, 'a').c_str());
  EXPECT_EQ(keeps.Capacity(), 100);
  iBuffer grows;
  grows.AppendText(std::string(90, 'a').c_str());
  EXPECT_EQ(grows.Capacity(), 392);
  EXPECT_EQ(grows.Length(), 90);
  EXPECT_EQ(grows.CharAt(90), 0);
  EXPECT_EQ(grows.Data()[91], 0);

  iBuffer reserve;
  EXPECT_EQ(reserve.Reserve(512), 1438);
}

TEST(IBuffer, AppendPrependAndOperatorsKeepZeroBytesAndTrailingZeros) {
  iBuffer b("ab");
  b.AppendChar(0);
  b.AppendText("cd");
  b.AppendText(nullptr);
  EXPECT_EQ(Bytes(b), std::string("ab\0cd", 5));
  EXPECT_EQ(b.TextLength(), 2);

  iBuffer front("12");
  b.Prepend(front);
  EXPECT_EQ(Bytes(b), std::string("12ab\0cd", 7));
  b.Append(b); // the source is the buffer itself
  EXPECT_EQ(Bytes(b), std::string("12ab\0cd12ab\0cd", 14));
  EXPECT_EQ(b.CharAt(14), 0);
  EXPECT_EQ(b.CharAt(15), 0);
  EXPECT_EQ(b.CharAt(-1), 0);

  iBuffer sum = iBuffer("x") + iBuffer("y") + "z" + static_cast<uint8_t>('!');
  EXPECT_EQ(Bytes(sum), "xyz!");
  EXPECT_EQ(Bytes(iBuffer("x") + static_cast<const char *>(nullptr)), "x");

  iBuffer self("self");
  self.AppendBytes(self.Data() + 1, 3); // bytes from its own data survive the growth
  EXPECT_EQ(Bytes(self), "selfelf");
}

TEST(IBuffer, CopyAndAssignmentDuplicateDataButNotTheScratchArea) {
  iBuffer a("data");
  a.SetFloatFormat("%.1f");
  const char *number = a.IntText(42);
  iBuffer copy(a);
  EXPECT_EQ(Bytes(copy), "data");
  EXPECT_STREQ(copy.FloatText(1.25), "1.250000"); // the copy has no float format
  EXPECT_STREQ(number, "42");

  iBuffer target("other contents");
  target.SetFloatFormat("%.3f");
  target.Assign(a);
  EXPECT_EQ(Bytes(target), "data");
  EXPECT_EQ(target.Capacity(), a.Capacity());
  EXPECT_STREQ(target.FloatText(1.0), "1.000"); // float format kept
  target = target;
  EXPECT_EQ(Bytes(target), "data");

  target.AssignText("new");
  EXPECT_EQ(Bytes(target), "new");
  EXPECT_EQ(target.CharAt(3), 0);
}

TEST(IBuffer, RemoveLimitsCountAndKeepsTrailingZeros) {
  iBuffer b("abcdef");
  const struct {
    int pos, count;
    bool result;
    const char *left;
  } steps[] = {{1, 2, true, "adef"}, {-1, 1, false, "adef"}, {2, 100, true, "ad"},
               {0, 0, true, "ad"},   {5, 1, true, "ad"},      {0, 2, true, ""}};
  for (const auto &step : steps) {
    EXPECT_EQ(b.Remove(step.pos, step.count), step.result) << step.pos << "," << step.count;
    EXPECT_EQ(Bytes(b), step.left);
    EXPECT_EQ(b.CharAt(b.Length()), 0);
    EXPECT_EQ(b.Data()[b.Length() + 1], 0);
  }
  EXPECT_TRUE(b.Remove(0, 5)); // an empty buffer
}

TEST(IBuffer, ReadsIntegersHexAndFractionsOffTheFront) {
  iBuffer ints("12;345;");
  EXPECT_EQ(ints.TakeInt(), 12);
  EXPECT_EQ(ints.TakeInt(), 345);
  EXPECT_EQ(ints.Length(), 0);

  iBuffer parse;
  int64_t value = 0;
  EXPECT_EQ(parse.ParseInt("  -007x", &value), 6);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(parse.ParseInt(";1", &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(parse.ParseInt("9223372036854775807", &value), 19);
  EXPECT_EQ(value, INT64_MAX);

  // Each read: the data, the value read, what is left.
  const struct {
    const char *data;
    double value;
    const char *left;
    int kind; // 0 TakeInt, 1 TakeIntAfter "#X", 2 TakeHex, 3 TakeHexAfter "id=", 4 TakeFloat
  } reads[] = {
      {";5", 0, "5", 0},      {"ab#X17;9", 17, "9", 1}, {"ab9", 0, "ab9", 1},   {"1F;", 0x1F, ";", 2},
      {"zz", 0, "z", 2},      {"id=ab,", 0xAB, ",", 3}, {"12,50;7", 12.5, "7", 4}, {"1.2.3", 1.2, "3", 4},
      {"x1", 0, "x1", 4},
  };
  for (const auto &r : reads) {
    iBuffer b(r.data);
    double got = r.kind == 0   ? static_cast<double>(b.TakeInt())
                 : r.kind == 1 ? static_cast<double>(b.TakeIntAfter("#X"))
                 : r.kind == 2 ? static_cast<double>(b.TakeHex())
                 : r.kind == 3 ? static_cast<double>(b.TakeHexAfter("id="))
                               : b.TakeFloat();
    EXPECT_DOUBLE_EQ(got, r.value) << r.data;
    EXPECT_EQ(Bytes(b), r.left) << r.data;
  }
  iBuffer noKey("9");
  EXPECT_EQ(noKey.TakeIntAfter(""), 0);
  EXPECT_EQ(Bytes(noKey), "9");

  EXPECT_TRUE(iBuffer("12.5;7").NextIsDecimal());
  EXPECT_FALSE(iBuffer("125;7.5").NextIsDecimal());
  EXPECT_FALSE(iBuffer("1;2").NextIsDecimal());
  EXPECT_TRUE(iBuffer(";1.5").NextIsDecimal()); // a separator at index 0 does not end the field
}

TEST(IBuffer, NumberTextsStayWholeAcrossThousandsOfConversions) {
  iBuffer b;
  EXPECT_STREQ(b.HexByte(0x0A), "0A");
  EXPECT_STREQ(b.HexText(-1), "FFFFFFFFFFFFFFFF");
  EXPECT_STREQ(b.HexTextU(255), "FF");
  EXPECT_STREQ(b.IntText(-5), "-5");
  EXPECT_STREQ(b.Hex64Text(0x123456789ABCDEF0ull), "123456789ABCDEF0");
  EXPECT_STREQ(b.FloatText(2.5), "2.500000");
  b.SetFloatFormat("%.2f");
  EXPECT_STREQ(b.FloatText(2.5), "2.50");

  std::vector<const char *> texts;
  for (int i = 0; i < 5000; ++i)
    texts.push_back(b.IntText(-1000000000 - i));
  for (int i = 0; i < 5000; ++i)
    ASSERT_EQ(std::string(texts[i]), std::to_string(-1000000000LL - i)) << i;

  b.SetFloatFormat("%.1500f"); // one text longer than a whole area
  std::string longText = b.FloatText(1.0);
  EXPECT_EQ(longText.size(), 1502u);
  EXPECT_STREQ(b.HexByte(0xFF), "FF");

  b.AppendText("data");
  b.Clear();
  EXPECT_STREQ(b.IntText(7), "7");
  EXPECT_EQ(b.Length(), 0); // conversions leave the data alone
}

TEST(IBuffer, EditingAndInspection) {
  iBuffer path("D:\\a\\b");
  path.ReplaceChar('\\', 0);
  EXPECT_STREQ(path.ItemAt(0), "D:");
  EXPECT_STREQ(path.ItemAt(1), "a");
  EXPECT_STREQ(path.ItemAt(2), "b");
  EXPECT_STREQ(path.ItemAt(3), "");
  EXPECT_STREQ(path.ItemAt(50), "");

  iBuffer find("abcabc");
  EXPECT_EQ(find.Find("ca"), 2);
  EXPECT_EQ(find.Find("x"), -1);

  iBuffer upper("az\xb9\xe6{AZ");
  upper.ToUpper();
  EXPECT_EQ(Bytes(upper), "AZ\xb9\xe6{AZ");

  EXPECT_EQ(iBuffer("AB").XorSum(0, 0xFF), 0xFC);
  EXPECT_EQ(iBuffer("AB").XorSum(1, 0x00), 0x41);
  EXPECT_EQ(iBuffer("AB").XorSum(50, 0x00), 0x41 ^ 0x42); // never past the data

  iBuffer controls;
  for (uint8_t c : {0x02, 0x41, 0xFF, 0x0D, 0x7F, 0x80, 0x00})
    controls.AppendChar(c);
  controls.EscapeControls();
  EXPECT_EQ(Bytes(controls), "[x02]A[xFF][x0D]\x7f\x80[x00]");
  iBuffer many;
  for (int i = 0; i < 400; ++i)
    many.AppendChar(0x01);
  many.EscapeControls();
  EXPECT_EQ(many.Length(), 2000);
  EXPECT_EQ(many.CharAt(2000), 0);
}

TEST(IBuffer, MazoviaRoundTripAndOneWayBytes) {
  const std::string polish = "\xa5\xc6\xca\xa3\xd1\xd3\x8c\x8f\xaf\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf abc";
  iBuffer b(polish.c_str());
  b.ToMazovia();
  EXPECT_EQ(Bytes(b), "\x8f\x95\x90\x9c\xa5\xa3\x98\xa0\xa1\x86\x8d\x91\x92\xa4\xa2\x9e\xa6\xa7 abc");
  b.FromMazovia();
  EXPECT_EQ(Bytes(b), polish);

  iBuffer odd("\x95");
  odd.ToMazovia();
  EXPECT_EQ(Bytes(odd), "\x95");
  odd.FromMazovia();
  EXPECT_EQ(Bytes(odd), "\xc6");
}

TEST(IBuffer, FilesLoadSaveAndAppend) {
  TestDir dir;
  iBuffer b("stale");
  // Missing, a directory (which opens as a stream on POSIX but every read
  // fails: no hang), and empty: false, nothing loaded.
  WriteAll(dir.Path("empty"), "");
  for (const std::string &path : {dir.Path("missing"), dir.root, dir.Path("empty")}) {
    EXPECT_FALSE(b.LoadFile(path.c_str())) << path;
    EXPECT_EQ(b.Length(), 0);
  }

  // Exactly one read block (capacity - 1 after the first reservation).
  std::string block(1437, 'k');
  block[0] = 0;
  WriteAll(dir.Path("block"), block);
  ASSERT_TRUE(b.LoadFile(dir.Path("block").c_str()));
  EXPECT_EQ(Bytes(b), block);

  std::string big;
  for (int i = 0; i < 20000; ++i)
    big += static_cast<char>(i % 251 + 1);
  WriteAll(dir.Path("big"), big);
  ASSERT_TRUE(b.LoadFile(dir.Path("big").c_str()));
  EXPECT_EQ(Bytes(b), big);

  WriteAll(dir.Path("zeros"), std::string("ab\0c\0\0", 6));
  ASSERT_TRUE(b.LoadFile(dir.Path("zeros").c_str()));
  EXPECT_EQ(Bytes(b), std::string("ab\0c", 4));

  iBuffer out("x\r\ny");
  out.AppendChar(0);
  ASSERT_TRUE(out.SaveFile(dir.Path("saved").c_str()));
  ASSERT_TRUE(out.AppendToFile(dir.Path("saved").c_str()));
  EXPECT_EQ(ReadAll(dir.Path("saved")), std::string("x\r\ny\0x\r\ny\0", 10));
  EXPECT_FALSE(out.SaveFile(dir.Path("no_such_dir/saved").c_str()));
  EXPECT_FALSE(out.AppendToFile(dir.Path("no_such_dir/saved").c_str()));
}

TEST(IBuffer, TimestampAndMillisecondsOfDay) {
  iBuffer b("<");
  ASSERT_TRUE(b.AppendTimestamp());
  EXPECT_TRUE(std::regex_match(Bytes(b), std::regex(R"(<\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3})"))) << Bytes(b);

  int32_t now = MsOfDay();
  EXPECT_TRUE(now >= 0 && now < 86400000) << now;
  EXPECT_TRUE(MsSince(now) >= 0 && MsSince(now) < 5000);
  // A start later in the day than now means midnight passed since.
  int32_t start = (now + 1000) % 86400000;
  int32_t wrapped = MsSince(start);
  EXPECT_GT(wrapped, 86390000);
  EXPECT_LT(wrapped, 86400000);
}

} // namespace
