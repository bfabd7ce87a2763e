#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#ifndef _WIN32
#include <cerrno>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include "platform/win32/reparse.h"
#endif
#include "platform/console.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "testdir.h"

namespace {

namespace fs = std::filesystem;

const plat::FoundFile *Named(const std::vector<plat::FoundFile> &found, const std::string &name) {
  auto it = std::find_if(found.begin(), found.end(), [&](const plat::FoundFile &f) { return f.name == name; });
  return it == found.end() ? nullptr : &*it;
}

// On POSIX brackets are taken literally and dot files are hidden.
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

  if (plat::PathSeparator() != '/')
    return;
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

// The one way a file is put in place, the append, the tail, the lock.
TEST(PlatformFiles, PutInPlaceAppendTailAndLock) {
  TestDir dir;
  std::string file = dir.Path("f.ej");
  WriteAll(file, "old contents");
  ASSERT_TRUE(plat::PutInPlace(file, "0123456789", 10));
  EXPECT_EQ(ReadAll(file), "0123456789");
  EXPECT_EQ(plat::TypeOf(file), plat::EntryType::kFile);
  // A folder at the destination is refused and stays; a missing folder
  // fails; neither leaves a temporary.
  ASSERT_TRUE(plat::CreateOneDirectory(dir.Path("taken")));
  EXPECT_FALSE(plat::PutInPlace(dir.Path("taken"), "x", 1));
  EXPECT_EQ(plat::TypeOf(dir.Path("taken")), plat::EntryType::kDirectory);
  EXPECT_FALSE(plat::PutInPlace(dir.Path("no") + plat::PathSeparator() + "dir", "x", 1));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.root), fs::directory_iterator()), 2);
  EXPECT_TRUE(plat::IsTemporaryName(plat::TemporaryName("SHA256SUMS", 7)));

  std::vector<uint8_t> tail;
  uint64_t size = 0;
  ASSERT_TRUE(plat::ReadTail(file, 3, tail, size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "789");
  ASSERT_TRUE(plat::ReadTail(file, 50, tail, size));
  EXPECT_EQ(std::string(tail.begin(), tail.end()), "0123456789");
  EXPECT_FALSE(plat::ReadTail(dir.Path("none"), 3, tail, size));

  ASSERT_TRUE(plat::AppendAtomically(file, "ab", 2, true));
  EXPECT_EQ(ReadAll(file), "0123456789ab");
  EXPECT_TRUE(plat::RemoveFile(file));
  EXPECT_EQ(plat::TypeOf(file), plat::EntryType::kNone);

  // One holder at a time, in one process as across processes.
  plat::FileLock first, second;
  EXPECT_EQ(first.TryLock(dir.Path("d.lock")), plat::FileLock::Try::kTaken);
  EXPECT_EQ(second.TryLock(dir.Path("d.lock")), plat::FileLock::Try::kHeld);
  first.Release();
  EXPECT_EQ(second.TryLock(dir.Path("d.lock")), plat::FileLock::Try::kTaken);
  EXPECT_EQ(first.TryLock(dir.Path("taken")), plat::FileLock::Try::kFailed);
}

// The hash in two pieces and the whole-file read (larger than its buffer)
// give one digest, and the file's size and last byte; one known digest shows
// the bytes come out in order. The no-replace rename the quarantine relies on.
TEST(PlatformFiles, Sha256InPiecesAndOfFilesAndRenameWithoutReplacing) {
  const std::string million(1000000, 'a');
  TestDir dir;
  for (const std::string &message : {std::string(), std::string("abc"), million}) {
    plat::Sha256 hash;
    const size_t half = message.size() / 2;
    ASSERT_TRUE(hash.Update(message.data(), half));
    ASSERT_TRUE(hash.Update(message.data() + half, message.size() - half));
    plat::Sha256Digest digest{};
    ASSERT_TRUE(hash.Finish(digest));
    if (message == "abc") {
      EXPECT_EQ(digest[0], 0xba);  // ba7816bf ... f20015ad
      EXPECT_EQ(digest[31], 0xad);
    }

    WriteAll(dir.Path("m"), message);
    plat::FileDigest whole;
    ASSERT_TRUE(plat::Sha256File(dir.Path("m"), whole));
    EXPECT_EQ(whole.digest, digest);
    EXPECT_EQ(whole.size, message.size());
    EXPECT_EQ(whole.lastByte, message.empty() ? -1 : static_cast<uint8_t>(message.back()));
  }
  plat::FileDigest none;
  EXPECT_FALSE(plat::Sha256File(dir.Path("none"), none));

  WriteAll(dir.Path("to"), "kept");
  EXPECT_FALSE(plat::RenameNoReplace(dir.Path("m"), dir.Path("to")));
  EXPECT_EQ(ReadAll(dir.Path("to")), "kept");
  EXPECT_TRUE(plat::RenameNoReplace(dir.Path("m"), dir.Path("new")));
  EXPECT_FALSE(plat::FileExists(dir.Path("m")));
  EXPECT_EQ(ReadAll(dir.Path("new")), million);
}

} // namespace

#ifndef _WIN32
namespace {

// The random part of a temporary name, made predictable by a test: 0, 1, 2,
// ... (the program's own getrandom is this one in the test binary).
int predictableNames = -1;

} // namespace

extern "C" ssize_t getrandom(void *buffer, size_t length, unsigned int flags) {
  if (predictableNames < 0 || length != sizeof(uint64_t))
    return syscall(SYS_getrandom, buffer, length, flags);
  const uint64_t value = static_cast<uint64_t>(predictableNames++);
  std::memcpy(buffer, &value, sizeof value);
  return static_cast<ssize_t>(length);
}

namespace {

// Links planted where the program writes or searches are never followed; a
// name planted at the next temporary (a hard link to another file) is passed
// over, never opened; readers never wait on a FIFO or read a device and keep
// to their bound; the lock refuses a second name and notices its file going.
TEST(PlatformFiles, PosixLinksTemporariesReadersAndLockAgainstPlantedFiles) {
  TestDir dir;
  WriteAll(dir.Path("victim"), "outside");
  fs::create_directory(dir.Path("away"));
  fs::create_symlink(dir.Path("victim"), dir.Path("dest"));
  fs::create_symlink(dir.Path("victim"), dir.Path("Z0001.ej"));
  fs::create_directory_symlink(dir.Path("away"), dir.Path("Zdir.ej"));
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(plat::TypeOf(dir.Path("dest")), plat::EntryType::kLink);
  EXPECT_EQ(plat::TypeOf(dir.Path("fifo")), plat::EntryType::kOther);
  EXPECT_FALSE(plat::AppendAtomically(dir.Path("dest"), "x", 1));
  plat::FileLock lock;
  EXPECT_EQ(lock.TryLock(dir.Path("dest")), plat::FileLock::Try::kFailed);
  EXPECT_FALSE(plat::PutInPlace(dir.Path("fifo"), "x", 1));
  EXPECT_EQ(plat::TypeOf(dir.Path("fifo")), plat::EntryType::kOther);
  ASSERT_TRUE(plat::PutInPlace(dir.Path("dest"), "new", 3));  // the link goes, not its target
  EXPECT_EQ(plat::TypeOf(dir.Path("dest")), plat::EntryType::kFile);
  EXPECT_EQ(ReadAll(dir.Path("victim")), "outside");

  auto found = plat::FindFiles(dir.root, "Z*.ej", plat::kAttrArchive);
  ASSERT_EQ(found.size(), 2u);
  for (const plat::FoundFile &entry : found)
    EXPECT_EQ(entry.attributes, plat::kAttrLink) << entry.name;
  EXPECT_EQ(Named(plat::FindFiles(dir.root, "Z*.ej", plat::kAttrDirectory), "Zdir.ej")->attributes,
            plat::kAttrLink | plat::kAttrDirectory);

  ASSERT_EQ(::link(dir.Path("victim").c_str(), dir.Path(plat::TemporaryName("dest", 0)).c_str()), 0);
  predictableNames = 0;
  const bool saved = plat::PutInPlace(dir.Path("dest"), "again", 5);
  predictableNames = -1;
  ASSERT_TRUE(saved);
  EXPECT_EQ(ReadAll(dir.Path("victim")), "outside");
  EXPECT_EQ(ReadAll(dir.Path("dest")), "again");

  fs::create_symlink("/dev/zero", dir.Path("zero"));
  std::string text;
  EXPECT_FALSE(plat::ReadWholeFile(dir.Path("fifo"), 100, text));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(plat::ReadWholeFile(dir.Path("zero"), 100, text));
  EXPECT_FALSE(plat::ReadWholeFile("/dev/zero", 100, text));
  EXPECT_FALSE(plat::ReadWholeFile(dir.Path("victim"), 6, text));
  EXPECT_EQ(errno, EFBIG);
  plat::Dir held;
  ASSERT_TRUE(held.Open(dir.root));
  ASSERT_TRUE(plat::ReadWholeFile(held, "victim", 7, text));
  EXPECT_EQ(text, "outside");

  ASSERT_EQ(::link(dir.Path("victim").c_str(), dir.Path("linked.lock").c_str()), 0);
  EXPECT_EQ(lock.TryLock(held, "linked.lock"), plat::FileLock::Try::kFailed);
  ASSERT_EQ(lock.TryLock(held, "d.lock"), plat::FileLock::Try::kTaken);
  struct stat info{};
  ASSERT_EQ(::stat(dir.Path("d.lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(lock.StillHeld());
  ASSERT_EQ(::unlink(dir.Path("d.lock").c_str()), 0);
  EXPECT_FALSE(lock.StillHeld());
}

// On Linux the console gets the Windows-1250 texts converted to UTF-8, also
// under the C locale (cron, a service); a byte Windows-1250 leaves undefined
// becomes U+FFFD. Into the journal (JOURNAL_STREAM names standard output's
// device and inode) every line carries its priority and ends in LF alone; a
// stream the variable does not name gets the lines as they are.
TEST(PlatformConsole, LinuxConsoleGetsUtf8AndJournalLinesCarryTheirPriority) {
  ScopedEnv cLocale("LC_ALL", "C");
  for (const bool named : {true, false}) {
    testing::internal::CaptureStdout();
    struct stat out {};
    ASSERT_EQ(fstat(1, &out), 0);
    const std::string stream =
        std::to_string(out.st_dev) + ":" + std::to_string(out.st_ino + (named ? 0 : 1));
    std::string shown;
    {
      ScopedEnv journal("JOURNAL_STREAM", stream.c_str());
      plat::ConsoleStart();
      plat::ConsoleWrite("<ERROR> B\xb3\xb9""d\r\n", plat::LinePriority::kError);
      plat::ConsoleWrite("Plik pomini\xeaty\r\nRazem", plat::LinePriority::kWarning);
      plat::ConsoleWrite(std::string(": 7.\r\n"), plat::LinePriority::kError);
      plat::ConsoleWrite("Zapisano \x8c\x80\x81\r\n", 14);
      shown = testing::internal::GetCapturedStdout();
    }
    plat::ConsoleStart();
    if (named)
      EXPECT_EQ(shown, "<3><ERROR> B\xc5\x82\xc4\x85""d\n<4>Plik pomini\xc4\x99ty\n<4>Razem: 7.\n"
                       "<6>Zapisano \xc5\x9a\xe2\x82\xac\xef\xbf\xbd\n");
    else
      EXPECT_EQ(shown, "<ERROR> B\xc5\x82\xc4\x85""d\r\nPlik pomini\xc4\x99ty\r\nRazem: 7.\r\n"
                       "Zapisano \xc5\x9a\xe2\x82\xac\xef\xbf\xbd\r\n");
  }
}

} // namespace
#endif

#ifdef _WIN32
namespace {

// Only symbolic links and junctions are links; deduplicated, cloud and
// compressed files are the files they hold (Wine makes no reparse point, so
// the attributes are given). The lock file cannot be removed while held.
TEST(PlatformFiles, WindowsReparsePointsAndTheHeldLock) {
  constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  const auto symlink = static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK);
  EXPECT_EQ(plat::EntryTypeOfAttributes(kReparse, symlink), plat::EntryType::kLink);
  EXPECT_EQ(plat::EntryTypeOfAttributes(kReparse | FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT)),
            plat::EntryType::kLink);
  const DWORD dedup = static_cast<DWORD>(IO_REPARSE_TAG_DEDUP), wof = 0x80000017, cloud = 0x9000001A;
  for (DWORD tag : {dedup, wof, cloud}) {
    EXPECT_EQ(plat::EntryTypeOfAttributes(kReparse | FILE_ATTRIBUTE_ARCHIVE, tag), plat::EntryType::kFile) << tag;
    EXPECT_EQ(plat::SearchAttributes(kReparse | FILE_ATTRIBUTE_ARCHIVE, tag), DWORD{FILE_ATTRIBUTE_ARCHIVE}) << tag;
  }
  EXPECT_EQ(plat::SearchAttributes(kReparse, symlink), plat::kAttrLink);

  TestDir dir;
  plat::FileLock lock;
  ASSERT_EQ(lock.TryLock(dir.Path("d.lock")), plat::FileLock::Try::kTaken);
  EXPECT_FALSE(::DeleteFileA(dir.Path("d.lock").c_str()));
  EXPECT_TRUE(lock.StillHeld());
}

} // namespace
#endif
