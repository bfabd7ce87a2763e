#include <gtest/gtest.h>

#include <filesystem>

#include "base/createdirectory.h"
#include "platform/files.h"
#include "testdir.h"

namespace {

namespace fs = std::filesystem;

TEST(CreateDirectoryPath, CreatesMissingLevelsFromTheOutermostUpToASeparatorOrAFile) {
  TestDir dir;
  const char s = plat::PathSeparator();
  std::string arch = dir.Path("arch");
  ASSERT_TRUE(plat::CreateOneDirectory(arch));
  // Made in the meantime by another writer: success, as the log folder race
  // needs; a file of that name is no directory.
  EXPECT_TRUE(plat::CreateOneDirectory(arch));
  WriteAll(dir.Path("plain"), "x");
  EXPECT_FALSE(plat::CreateOneDirectory(dir.Path("plain")));
  std::string log = arch + s + "123" + s + "log";
  EXPECT_TRUE(CreateDirectoryPath(log));
  EXPECT_TRUE(plat::DirectoryExists(log));
  EXPECT_TRUE(CreateDirectoryPath(log)); // everything there already
  EXPECT_FALSE(CreateDirectoryPath(""));

  // A trailing or doubled separator ends the walk; a file stops it.
  EXPECT_TRUE(CreateDirectoryPath(dir.Path("new") + s));
  EXPECT_TRUE(plat::DirectoryExists(dir.Path("new")));

  EXPECT_FALSE(CreateDirectoryPath(dir.Path("x") + s + s + "y"));
  EXPECT_TRUE(plat::DirectoryExists(dir.Path("x")));
  EXPECT_FALSE(plat::DirectoryExists(dir.Path("x") + s + "y"));

  WriteAll(dir.Path("file"), "x");
  EXPECT_FALSE(CreateDirectoryPath(dir.Path("file") + s + "sub"));
}

TEST(CreateDirectoryPath, DriveRelativePathNeverCreatesItsDrivePart) {
  TestDir dir;
  if (plat::PathSeparator() != '\\' || dir.root.size() < 3 || dir.root[1] != ':')
    GTEST_SKIP() << "drive letters exist only on Windows";
  fs::path saved = fs::current_path();
  fs::current_path(dir.root);
  std::string drive = dir.root.substr(0, 2);
  bool missingBase = CreateDirectoryPath(drive + "dane\\sub");
  ASSERT_TRUE(plat::CreateOneDirectory(dir.Path("dane")));
  bool created = CreateDirectoryPath(drive + "dane\\sub\\deeper");
  fs::current_path(saved);
  EXPECT_FALSE(missingBase);
  EXPECT_TRUE(created);
  EXPECT_TRUE(plat::DirectoryExists(dir.Path("dane\\sub\\deeper")));
}

} // namespace
