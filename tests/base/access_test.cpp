// Who may write an archive root: one the program makes, read back from the
// file system, and an existing one that users were given write on.
#include <gtest/gtest.h>

#include <iostream>

#include "base/createdirectory.h"
#include "platform/access.h"
#include "support/userwrite.h"
#include "testdir.h"
#ifdef _WIN32
#include "platform/win32/acljudge.h"
#endif

namespace {

TEST(ArchiveRootAccess, NewRootKeepsUsersOutAndAWritableOneIsSeen) {
  TestDir dir;
  const std::string root = dir.Path("dane") + plat::PathSeparator() + "archiwum";
  ASSERT_TRUE(CreateDirectoryPath(root, true));
  // Both levels made on the way, read back from the file system.
  EXPECT_FALSE(plat::WritableByUsers(dir.Path("dane")));
  EXPECT_FALSE(plat::WritableByUsers(root));
#ifdef _WIN32
  std::cout << "access list of a new root, read back: " << plat::AccessListText(root) << "\n";
#endif
  ASSERT_TRUE(LetUsersWrite(root));
  EXPECT_TRUE(plat::WritableByUsers(root));
  // Made again it stays as it is.
  EXPECT_TRUE(CreateDirectoryPath(root, true));
  EXPECT_TRUE(plat::WritableByUsers(root));
  EXPECT_FALSE(plat::WritableByUsers(dir.Path("missing")));
}

#ifdef _WIN32
// The judgement on access lists Wine cannot store: as Windows formats a data
// drive, groups and single accounts, entries for what the folder holds,
// deny entries before and after, no list at all.
TEST(ArchiveRootAccess, AccessListsThatLetUsersWrite) {
  const struct {
    const char *sddl;
    bool writable;
  } lists[] = {
      {plat::kProtectedDirectorySddl, false},
      {"D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x1301bf;;;AU)(A;OICIIO;SDGXGWGR;;;AU)(A;OICI;0x1200a9;;;BU)", true},
      {"D:(A;OICI;FA;;;BA)(A;OICIIO;GA;;;BU)", true},
      {"D:(A;OICI;0x1200a9;;;WD)(A;;WD;;;IU)", true},
      {"D:(A;OICI;0x1200a9;;;WD)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)", false},
      {"D:(D;OICI;FA;;;WD)(A;OICI;FA;;;BU)", false},
      {"D:(A;OICI;FA;;;BU)(D;OICI;FA;;;WD)", true},
      {"D:", false},
      {"O:BA", true},
      {"no descriptor", false},
  };
  for (const auto &list : lists)
    EXPECT_EQ(plat::SddlLetsUsersWrite(list.sddl), list.writable) << list.sddl;
}
#endif

} // namespace
