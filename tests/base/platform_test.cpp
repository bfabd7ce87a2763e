#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <langinfo.h>
#endif

#include "platform/console.h"
#include "platform/files.h"
#include "testdir.h"

namespace {

namespace fs = std::filesystem;

const plat::FoundFile *Named(const std::vector<plat::FoundFile> &found, const std::string &name) {
  auto it = std::find_if(found.begin(), found.end(), [&](const plat::FoundFile &f) { return f.name == name; });
  return it == found.end() ? nullptr : &*it;
}

TEST(PlatformFiles, FindFilesMatchesPatternAndReportsPlainFilesWithAttributes) {
  TestDir dir;
  WriteAll(dir.Path("Z0001.ej"), "12345");
  WriteAll(dir.Path("Z0002.ej"), "");
  WriteAll(dir.Path("Z0003.txt"), "x");
  WriteAll(dir.Path("Y0001.ej"), "x");
  WriteAll(dir.Path("Z0004.ej"), "ro");
  fs::permissions(dir.Path("Z0004.ej"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_TRUE(plat::CreateOneDirectory(dir.Path("Zdir.ej")));

  auto found = plat::FindFiles(dir.root, "Z*.ej", plat::kAttrArchive);
  ASSERT_EQ(found.size(), 3u);
  ASSERT_NE(Named(found, "Z0001.ej"), nullptr);
  EXPECT_EQ(Named(found, "Z0001.ej")->size, 5u);
  EXPECT_NE(Named(found, "Z0001.ej")->attributes & plat::kAttrArchive, 0u);
  EXPECT_EQ(Named(found, "Z0001.ej")->attributes & (plat::kAttrReadOnly | plat::kAttrDirectory), 0u);
  ASSERT_NE(Named(found, "Z0004.ej"), nullptr);
  EXPECT_NE(Named(found, "Z0004.ej")->attributes & plat::kAttrReadOnly, 0u);
  EXPECT_EQ(plat::FindFiles(dir.root, "Z000?.ej", plat::kAttrArchive).size(), 3u);
  EXPECT_TRUE(plat::FindFiles(dir.Path("missing"), "*", plat::kAttrArchive).empty());
  fs::permissions(dir.Path("Z0004.ej"), fs::perms::owner_write, fs::perm_options::add);
}

TEST(PlatformFiles, PosixSearchTakesBracketsLiterallyAndMarksDotFilesHidden) {
  TestDir dir;
  if (plat::PathSeparator() != '/')
    GTEST_SKIP() << "POSIX attribute mapping";
  WriteAll(dir.Path("a[1].ej"), "x");
  WriteAll(dir.Path("a1.ej"), "x");
  WriteAll(dir.Path(".Z9.ej"), "x");
  auto bracket = plat::FindFiles(dir.root, "a[1].ej", plat::kAttrArchive);
  ASSERT_EQ(bracket.size(), 1u);
  EXPECT_EQ(bracket[0].name, "a[1].ej");
  auto hidden = plat::FindFiles(dir.root, "*.ej", plat::kAttrArchive);
  ASSERT_NE(Named(hidden, ".Z9.ej"), nullptr);
  EXPECT_EQ(Named(hidden, ".Z9.ej")->attributes, plat::kAttrArchive | plat::kAttrHidden);
  EXPECT_EQ(Named(hidden, "a1.ej")->attributes, plat::kAttrArchive);
}

TEST(PlatformFiles, WholeFileWritesRenameAndTail) {
  TestDir dir;
  std::string part = dir.Path("f.part"), file = dir.Path("f.ej");
  ASSERT_TRUE(plat::WriteWholeFile(part, "0123456789", 10));
  WriteAll(file, "old contents");
  ASSERT_TRUE(plat::RenameReplace(part, file));
  EXPECT_FALSE(plat::FileExists(part));
  EXPECT_EQ(ReadAll(file), "0123456789");

  std::vector<uint8_t> tail;
  uint64_t size = 0;
  ASSERT_TRUE(plat::ReadTail(file, 3, tail, size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "789");
  ASSERT_TRUE(plat::ReadTail(file, 50, tail, size));
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "0123456789");
  EXPECT_FALSE(plat::ReadTail(dir.Path("none"), 3, tail, size));

  ASSERT_TRUE(plat::AppendAtomically(file, "ab", 2));
  EXPECT_EQ(ReadAll(file), "0123456789ab");
  EXPECT_FALSE(plat::WriteWholeFile(dir.Path("no/dir"), "x", 1));
  EXPECT_TRUE(plat::RemoveFile(file));
  EXPECT_FALSE(plat::FileExists(file));
  EXPECT_FALSE(plat::FileExists(dir.root)); // a directory is not a file
}

} // namespace

#ifndef _WIN32
namespace {

// On Linux a UTF-8 terminal shows the Windows-1250 texts converted.
TEST(PlatformConsole, Utf8TerminalGetsWindows1250Converted) {
  const char *saved = std::getenv("LC_ALL");
  std::string old = saved ? saved : "";
  setenv("LC_ALL", "C.UTF-8", 1);
  plat::ConsoleStart();
  testing::internal::CaptureStdout();
  plat::ConsoleWrite("\xb9\xe6 \x8c\x80\x81z\r\n", 9);
  std::string shown = testing::internal::GetCapturedStdout();
  if (saved)
    setenv("LC_ALL", old.c_str(), 1);
  else
    unsetenv("LC_ALL");
  if (std::string(nl_langinfo(CODESET)) != "UTF-8")
    GTEST_SKIP() << "no UTF-8 locale installed";
  EXPECT_EQ(shown, "\xc4\x85\xc4\x87 \xc5\x9a\xe2\x82\xac\xef\xbf\xbdz\r\n");
}

} // namespace
#endif
