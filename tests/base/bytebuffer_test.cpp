#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/bytebuffer.h"

namespace {

std::string Bytes(const ByteBuffer &b) { return std::string(b.Text(), b.Length()); }

TEST(IBuffer, AppendKeepsZeroBytesAndTrailingZeros) {
  ByteBuffer b("ab");
  b.AppendChar(0);
  b.AppendText("cd");
  b.AppendText(nullptr);
  EXPECT_EQ(Bytes(b), std::string("ab\0cd", 5));
  EXPECT_EQ(b.TextLength(), 2);

  b.Append(b); // the source is the buffer itself
  EXPECT_EQ(Bytes(b), std::string("ab\0cdab\0cd", 10));
  EXPECT_EQ(b.CharAt(10), 0);
  EXPECT_EQ(b.CharAt(11), 0);
  EXPECT_EQ(b.CharAt(-1), 0);

  ByteBuffer self("self");
  self.AppendBytes(self.Data() + 1, 3); // bytes from its own data survive the growth
  EXPECT_EQ(Bytes(self), "selfelf");
}

TEST(IBuffer, CopyAndAssignmentDuplicateTheData) {
  ByteBuffer a("data");
  ByteBuffer copy(a);
  EXPECT_EQ(Bytes(copy), "data");
  ByteBuffer target("other contents");
  target.Assign(a);
  EXPECT_EQ(Bytes(target), "data");
  target = target;
  EXPECT_EQ(Bytes(target), "data");
}

TEST(IBuffer, RemoveLimitsCountAndKeepsTrailingZeros) {
  ByteBuffer b("abcdef");
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

TEST(IBuffer, ReadsIntegersAndFractionsOffTheFront) {
  ByteBuffer parse;
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
    int kind; // 0 TakeInt, 1 TakeIntAfter "#X", 2 TakeFloat
  } reads[] = {
      {"12;345;", 12, "345;", 0}, {"345;", 345, "", 0},
      {";5", 0, "5", 0},       {"ab#X17;9", 17, "9", 1}, {"ab9", 0, "ab9", 1},
      {"12,50;7", 12.5, "7", 2}, {"1.2.3", 1.2, "3", 2},  {"x1", 0, "x1", 2},
  };
  for (const auto &r : reads) {
    ByteBuffer b(r.data);
    double got = r.kind == 0   ? static_cast<double>(b.TakeInt())
                 : r.kind == 1 ? static_cast<double>(b.TakeIntAfter("#X"))
                               : b.TakeFloat();
    EXPECT_DOUBLE_EQ(got, r.value) << r.data;
    EXPECT_EQ(Bytes(b), r.left) << r.data;
  }
  ByteBuffer noKey("9");
  EXPECT_EQ(noKey.TakeIntAfter(""), 0);
  EXPECT_EQ(Bytes(noKey), "9");

  EXPECT_TRUE(ByteBuffer("12.5;7").NextIsDecimal());
  EXPECT_FALSE(ByteBuffer("125;7.5").NextIsDecimal());
  EXPECT_FALSE(ByteBuffer("1;2").NextIsDecimal());
  EXPECT_TRUE(ByteBuffer(";1.5").NextIsDecimal()); // a separator at index 0 does not end the field
}

TEST(IBuffer, EditingAndInspection) {
  ByteBuffer path("D:\\a\\b");
  path.ReplaceChar('\\', '/');
  EXPECT_EQ(Bytes(path), "D:/a/b");

  ByteBuffer find("abcabc");
  EXPECT_EQ(find.Find("ca"), 2);
  EXPECT_EQ(find.Find("x"), -1);

  EXPECT_EQ(ByteBuffer("AB").XorSum(1, 0x00), 0x41);
  EXPECT_EQ(ByteBuffer("AB").XorSum(50, 0x00), 0x41 ^ 0x42); // never past the data

  EXPECT_EQ(Printable(std::string("\x02" "A\xFF\x0D\x7F\x80\0", 7)), "[x02]A\xFF[x0D][x7F]\x80[x00]");
}

TEST(IBuffer, MazoviaRoundTripAndOneWayBytes) {
  const std::string polish = "\xa5\xc6\xca\xa3\xd1\xd3\x8c\x8f\xaf\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf abc";
  ByteBuffer b(polish.c_str());
  b.ToMazovia();
  EXPECT_EQ(Bytes(b), "\x8f\x95\x90\x9c\xa5\xa3\x98\xa0\xa1\x86\x8d\x91\x92\xa4\xa2\x9e\xa6\xa7 abc");
  b.FromMazovia();
  EXPECT_EQ(Bytes(b), polish);

  ByteBuffer odd("\x95");
  odd.ToMazovia();
  EXPECT_EQ(Bytes(odd), "\x95");
  odd.FromMazovia();
  EXPECT_EQ(Bytes(odd), "\xc6");
}

} // namespace
