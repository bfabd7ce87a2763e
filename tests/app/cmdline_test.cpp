// Command-line parsing: mode selection, LIST options and the archive mode's
// DR/COM scan.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/modes.h"
#include "platform/text.h"

namespace {

// The port range, the target and the report path as typed are also held to
// their rules by the command-line fuzz target, on inputs of any bytes.
CommandLine Parse(const std::vector<const char *> &args) {
  std::vector<const char *> argv{"zarvik"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(CommandLineMode, NoArgumentsArchivesCurrentDirectoryOverAllPorts) {
  const CommandLine cl = Parse({});
  EXPECT_EQ(cl.mode, RunMode::Archive);
  EXPECT_EQ(cl.archive.targetPath, "");
  EXPECT_FALSE(cl.archive.viaPrinter);
  EXPECT_FALSE(cl.archive.comSeen);

  // No program name either.
  EXPECT_EQ(ParseCommandLine(0, nullptr).mode, RunMode::Archive);
  const char *onlyName[] = {"zarvik", nullptr};
  EXPECT_EQ(ParseCommandLine(1, onlyName).archive.lastPort, 255);
}

TEST(CommandLineMode, KeywordsAreCaseBlindPrefixes) {
  for (const char *arg : {"LIST", "list", "LiSt", "LISTX", "list.txt"}) {
    EXPECT_EQ(Parse({arg}).mode, RunMode::Report) << arg;
  }
  for (const char *arg : {"HELP", "help", "Help me", "?", "?x", "/?", "--help", "--HELP", "-h", "-H"}) {
    EXPECT_EQ(Parse({arg, "DR", "com5"}).mode, RunMode::Help) << arg;
  }
  EXPECT_EQ(Parse({"--version", "DR"}).mode, RunMode::Version);
  // The dashed forms are whole words; anything longer is a path.
  for (const char *arg : {"--helpme", "-hx", "/?x", "--versions", "-v", "--ver"})
    EXPECT_EQ(Parse({arg}).mode, RunMode::Archive) << arg;
  // VERIFY comes after LIST and HELP; its third word is FIX in any case or
  // a usage error, and later words do not count.
  EXPECT_EQ(Parse({"LISTVERIFY"}).mode, RunMode::Report);
  EXPECT_EQ(Parse({"help verify"}).mode, RunMode::Help);
  const CommandLine verify = Parse({"Verify", "d:\\arch", "fIx"});
  EXPECT_EQ(verify.mode, RunMode::Verify);
  EXPECT_EQ(verify.verify.targetPath, "d:\\arch");
  EXPECT_TRUE(verify.verify.fix);
  EXPECT_TRUE(verify.verify.unknownWord.empty());
  for (const char *word : {"nofixes", "NOFIX", "BEZ_PREFIXU", "FIX "}) {
    EXPECT_FALSE(Parse({"VERIFY", "a", word}).verify.fix) << word;
    EXPECT_EQ(Parse({"VERIFY", "a", word}).verify.unknownWord, word);
  }
  EXPECT_FALSE(Parse({"VERIFYx", "", "", "FIX"}).verify.fix);
  // AUDIT comes after VERIFY: target, report, later words ignored.
  EXPECT_EQ(Parse({"VERIFYAUDIT"}).mode, RunMode::Verify);
  const CommandLine audit = Parse({"aUdIt", "d:\arch", "r.html", "x"});
  EXPECT_EQ(audit.mode, RunMode::Audit);
  EXPECT_EQ(audit.audit.targetPath + "|" + audit.audit.reportPath, "d:\arch|r.html");
  EXPECT_EQ(JsonReportPath("c:\r.v1\raport.html") + JsonReportPath("a.b/raport") + JsonReportPath("r.JSON"),
            "c:\r.v1\raport.jsona.b/raport.jsonr.JSON.json");
  // A keyword that is not at the front selects nothing: the argument is a path.
  for (const char *arg : {"xLIST", " HELP", "c:\\list", "d:\\arch"}) {
    const CommandLine cl = Parse({arg});
    EXPECT_EQ(cl.mode, RunMode::Archive) << arg;
    EXPECT_EQ(cl.archive.targetPath, arg);
  }
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
  // LIST alone: no path, the defaults.
  const CommandLine alone = Parse({"LIST"});
  EXPECT_EQ(alone.report.reportPath, "");
  EXPECT_FALSE(alone.report.allDevices || alone.report.vendorFilter);
  EXPECT_TRUE(alone.report.serialOnly);
  for (const Case &c : cases) {
    const CommandLine cl = Parse({"list", "c:\\Raport.txt", c.options});
    EXPECT_EQ(cl.mode, RunMode::Report);
    EXPECT_EQ(cl.report.allDevices, c.all) << c.options;
    EXPECT_EQ(cl.report.vendorFilter, c.filter) << c.options;
    EXPECT_EQ(cl.report.serialOnly, c.serial) << c.options;
  }
  // Arguments after the third are not read.
  EXPECT_FALSE(Parse({"LIST", "r.txt", "", "ALL"}).report.allDevices);
}

TEST(CommandLineArchive, DrAndComArgumentsGiveTheRange) {
  struct Case {
    std::vector<const char *> args;
    bool viaPrinter, comSeen;
    int32_t first, last;
  };
  const Case cases[] = {
      {{"d:\\Arch", "DR", "com1"}, true, true, 1, 1},
      {{"t", "DR", "com3", "com10"}, true, true, 3, 10},
      {{"t", "com3", "com10", "dr"}, true, true, 3, 10},
      // DR anywhere inside an argument, and it wins over COM in the same one.
      {{"t", "xdrx", "COM4DR"}, true, false, 1, 255},
      {{"t", "com10", "com3"}, false, true, 10, 3},  // an empty range
      {{"t", "com3", "com5", "com9"}, false, true, 3, 9},
      {{"t", "xyz", "com2", "port5"}, false, true, 2, 2},  // others are ignored
      // The number after the first COM: blanks, a sign and leading zeros
      // skipped, no digits give 0, the low 32 bits of a longer number kept.
      {{"t", "com"}, false, true, 0, 0},
      {{"t", "COMx5"}, false, true, 0, 0},
      {{"t", "com  007"}, false, true, 7, 7},
      {{"t", "com-3"}, false, true, -3, -3},
      {{"t", "com12abc34"}, false, true, 12, 12},
      {{"t", "xcom5com6"}, false, true, 5, 5},
      {{"t", "port com 9"}, false, true, 9, 9},
      {{"t", "com4294967301"}, false, true, 5, 5},
      // The first empty argument ends the scan; an empty target does not.
      {{"t", "", "DR", "com4"}, false, false, 1, 255},
      {{"t", "com2", "", "com9", "DR"}, false, true, 2, 2},
      {{"", "DR"}, true, false, 1, 255},
  };
  for (const Case &c : cases) {
    const CommandLine cl = Parse(c.args);
    const std::string shown = c.args.size() > 1 ? c.args[1] : "";
    EXPECT_EQ(cl.mode, RunMode::Archive) << shown;
    EXPECT_EQ(cl.archive.viaPrinter, c.viaPrinter) << shown;
    EXPECT_EQ(cl.archive.comSeen, c.comSeen) << shown;
    EXPECT_EQ(cl.archive.firstPort, c.first) << shown;
    EXPECT_EQ(cl.archive.lastPort, c.last) << shown;
  }
  // OKNO=HH:MM-HH:MM in any letter case gives the printer window as typed;
  // the last one counts, and the DR and COM scan goes on around it.
  const CommandLine window = Parse({"t", "okno=1", "DR", "Okno=20:00-06:00", "com5", "OKNO", "xokno=0"});
  EXPECT_TRUE(window.archive.windowGiven && window.archive.viaPrinter);
  EXPECT_EQ(window.archive.printerWindow, "20:00-06:00");
  EXPECT_EQ(window.archive.firstPort, 5);
  EXPECT_FALSE(Parse({"t", "OKNO", "xokno=0"}).archive.windowGiven);
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
