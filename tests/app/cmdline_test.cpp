// Command-line parsing: mode selection, LIST options and the archive mode's
// DR/COM scan.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/modes.h"
#include "platform/text.h"

namespace {

CommandLine Parse(std::initializer_list<const char *> args) {
  std::vector<const char *> argv{"zarvik"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
}

void ExpectRange(const CommandLine &cl, int32_t first, int32_t last) {
  EXPECT_EQ(cl.mode, RunMode::Archive);
  EXPECT_EQ(cl.archive.firstPort, first);
  EXPECT_EQ(cl.archive.lastPort, last);
}

TEST(CommandLineMode, NoArgumentsArchivesCurrentDirectoryOverAllPorts) {
  const CommandLine cl = Parse({});
  EXPECT_EQ(cl.mode, RunMode::Archive);
  EXPECT_EQ(cl.archive.targetPath, "");
  EXPECT_FALSE(cl.archive.viaPrinter);
  EXPECT_FALSE(cl.archive.comSeen);
  ExpectRange(cl, 1, 255);

  // No program name either.
  EXPECT_EQ(ParseCommandLine(0, nullptr).mode, RunMode::Archive);
  const char *onlyName[] = {"zarvik", nullptr};
  EXPECT_EQ(ParseCommandLine(1, onlyName).archive.lastPort, 255);
}

TEST(CommandLineMode, KeywordsAreCaseBlindPrefixes) {
  for (const char *arg : {"LIST", "list", "LiSt", "LISTX", "list.txt"}) {
    EXPECT_EQ(Parse({arg}).mode, RunMode::Report) << arg;
  }
  for (const char *arg : {"HELP", "help", "Help me", "?", "?x", "/?"}) {
    const RunMode expected = std::string(arg) == "/?" ? RunMode::Archive : RunMode::Help;
    EXPECT_EQ(Parse({arg}).mode, expected) << arg;
  }
  // A keyword that is not at the front selects nothing: the argument is a path.
  for (const char *arg : {"xLIST", " HELP", "c:\\list", "d:\\arch"}) {
    const CommandLine cl = Parse({arg});
    EXPECT_EQ(cl.mode, RunMode::Archive) << arg;
    EXPECT_EQ(cl.archive.targetPath, arg);
  }
}

TEST(CommandLineReport, ListAloneHasDefaults) {
  const CommandLine cl = Parse({"LIST"});
  EXPECT_EQ(cl.report.reportPath, "");
  EXPECT_FALSE(cl.report.allDevices);
  EXPECT_FALSE(cl.report.vendorFilter);
  EXPECT_TRUE(cl.report.serialOnly);
}

TEST(CommandLineReport, OptionStringNegativeFormsWin) {
  struct Case {
    const char *options;
    bool all, filter, serial;
  };
  const Case cases[] = {
      {"ALL_COM_NFILTER", true, false, true},
      {"NALL", false, false, true},
      {"all", true, false, true},
      {"filter", false, true, true},
      {"NCOM", false, false, false},
      {"ncom,nfilter,nall", false, false, false},
      {"COM ALL FILTER", true, true, true},
      {"", false, false, true},
      {"xyz", false, false, true},
  };
  for (const Case &c : cases) {
    const CommandLine cl = Parse({"list", "c:\\Raport.txt", c.options});
    EXPECT_EQ(cl.mode, RunMode::Report);
    EXPECT_EQ(cl.report.reportPath, "c:\\Raport.txt") << "path is kept as typed";
    EXPECT_EQ(cl.report.allDevices, c.all) << c.options;
    EXPECT_EQ(cl.report.vendorFilter, c.filter) << c.options;
    EXPECT_EQ(cl.report.serialOnly, c.serial) << c.options;
  }
  // Arguments after the third are not read.
  EXPECT_FALSE(Parse({"LIST", "r.txt", "", "ALL"}).report.allDevices);
}

TEST(CommandLineArchive, DrAndPortsInAnyOrder) {
  CommandLine cl = Parse({"d:\\Arch", "DR", "com1"});
  EXPECT_EQ(cl.archive.targetPath, "d:\\Arch");
  EXPECT_TRUE(cl.archive.viaPrinter);
  EXPECT_TRUE(cl.archive.comSeen);
  ExpectRange(cl, 1, 1);

  for (auto args : {std::initializer_list<const char *>{"t", "DR", "com3", "com10"},
                    std::initializer_list<const char *>{"t", "com3", "DR", "com10"},
                    std::initializer_list<const char *>{"t", "com3", "com10", "dr"}}) {
    cl = Parse(args);
    EXPECT_TRUE(cl.archive.viaPrinter);
    ExpectRange(cl, 3, 10);
  }
  // DR anywhere inside an argument, and it wins over COM in the same argument.
  cl = Parse({"t", "xdrx", "COM4DR"});
  EXPECT_TRUE(cl.archive.viaPrinter);
  EXPECT_FALSE(cl.archive.comSeen);
  ExpectRange(cl, 1, 255);
}

TEST(CommandLineArchive, FirstComSetsBothBoundsLaterOnlyTheLast) {
  ExpectRange(Parse({"t", "com10", "com3"}), 10, 3);  // an empty range
  ExpectRange(Parse({"t", "com3", "com5", "com9"}), 3, 9);
  ExpectRange(Parse({"t", "com7"}), 7, 7);
  EXPECT_FALSE(Parse({"t", "com7"}).archive.viaPrinter);
  // Other arguments are ignored.
  ExpectRange(Parse({"t", "xyz", "com2", "port5"}), 2, 2);
}

TEST(CommandLineArchive, PortNumberReading) {
  ExpectRange(Parse({"t", "com"}), 0, 0);
  ExpectRange(Parse({"t", "COMx5"}), 0, 0);
  ExpectRange(Parse({"t", "com  007"}), 7, 7);
  ExpectRange(Parse({"t", "com+12"}), 12, 12);
  ExpectRange(Parse({"t", "com-3"}), -3, -3);
  ExpectRange(Parse({"t", "com12abc34"}), 12, 12);
  ExpectRange(Parse({"t", "xcom5com6"}), 5, 5);  // the first COM counts
  ExpectRange(Parse({"t", "port com 9"}), 9, 9);
  // 2^32 + 5: the low 32 bits are kept.
  ExpectRange(Parse({"t", "com4294967301"}), 5, 5);
}

TEST(CommandLineArchive, EmptyArgumentEndsTheScan) {
  CommandLine cl = Parse({"t", "", "DR", "com4"});
  EXPECT_FALSE(cl.archive.viaPrinter);
  EXPECT_FALSE(cl.archive.comSeen);
  ExpectRange(cl, 1, 255);

  cl = Parse({"t", "com2", "", "com9", "DR"});
  EXPECT_FALSE(cl.archive.viaPrinter);
  ExpectRange(cl, 2, 2);

  // An empty target path still lets the scan run.
  cl = Parse({"", "DR"});
  EXPECT_EQ(cl.archive.targetPath, "");
  EXPECT_TRUE(cl.archive.viaPrinter);
}

TEST(CommandLineBadInput, OverlongAndHighBytesAreHandled) {
  const std::string huge(1 << 20, 'x');
  const std::string digits = "com" + std::string(100000, '9');
  const std::string high = std::string("\xFF\x80\xB9\x9C", 4) + std::string(5000, '\xE6');
  CommandLine cl = Parse({huge.c_str(), high.c_str(), digits.c_str(), "DR"});
  EXPECT_EQ(cl.archive.targetPath, huge);
  EXPECT_TRUE(cl.archive.viaPrinter);
  EXPECT_TRUE(cl.archive.comSeen);

  cl = Parse({"LIST", huge.c_str(), high.c_str()});
  EXPECT_EQ(cl.report.reportPath, huge);
  EXPECT_TRUE(cl.report.serialOnly);

  EXPECT_EQ(Parse({high.c_str()}).mode, RunMode::Archive);
  EXPECT_EQ(Parse({"\xB9LIST"}).mode, RunMode::Archive);
}

TEST(AnsiUpper, AsciiLettersOnly) {
  EXPECT_EQ(plat::AnsiUpper("list help_com1 ?~{}"), "LIST HELP_COM1 ?~{}");
  EXPECT_EQ(plat::AnsiUpper(""), "");
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(plat::AnsiUpper(withZero), std::string("A\0B", 3));
}

// The Windows build follows the system's active code page, which under Wine
// need not be 1250; the table of the native build is checked here.
TEST(AnsiUpper, PolishLettersOfCodePage1250) {
  if (std::getenv("ZARVIK_TEST_NATIVE") == nullptr) GTEST_SKIP() << "system code page";
  // ą ć ę ł ń ó ś ź ż -> Ą Ć Ę Ł Ń Ó Ś Ź Ż
  EXPECT_EQ(plat::AnsiUpper("\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF"),
            "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
  // Upper-case letters and non-letters stay: Ą ÷ ß ˙ µ
  EXPECT_EQ(plat::AnsiUpper("\xA5\xF7\xDF\xFF\xB5"), "\xA5\xF7\xDF\xFF\xB5");
}

} // namespace
