#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace cubemill::settings {
namespace {

const char kDefaultContent[] =
    "[GLOBAL]\r\n"
    "LOGDIR=..\\OQY-Dateien\\log\r\n"
    "\r\n"
    "[Test]\r\n"
    "OQY=..\\OQY-Dateien\\rel01\\Output_Detail.oqy\r\n"
    "OQY2VBS=..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs\r\n"
    "CUB_TS=YYYY-MM-DD_HH_mm_ss\r\n"
    "GLOBAL=GLOBAL\r\n"
    "\r\n"
    "[Test2]\r\n"
    "OQY=..\\OQY-Dateien\\rel02\\Output_Detail.oqy\r\n"
    "OQY2VBS=..\\OQY-Dateien\\rel02\\Output_Detail.oqy.vbs\r\n"
    "CUB_TS=YYYY-MM-DD_HH_mm_ss\r\n"
    "GLOBAL=GLOBAL\r\n";

TEST(IniFileTest, WritesTheDefaultFileOnceWithItsMessage) {
  test::TempDir dir;
  test::RecordingList list;
  EnsureIniFile(list);
  EXPECT_EQ(test::ReadBytes("cubemill.ini"), kDefaultContent);
  EXPECT_EQ(list.lines, std::vector<std::string>{"erstelle INI Datei"});
  EnsureIniFile(list);
  EXPECT_EQ(test::ReadBytes("cubemill.ini"), kDefaultContent);
  EXPECT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(SettingsPath(), dir.File("cubemill.ini"));
}

TEST(IniFileTest, ReadsTheDefaultJobs) {
  test::TempDir dir;
  test::RecordingList list;
  EnsureIniFile(list);
  const std::string file = SettingsPath();
  EXPECT_EQ(ReadIniValue("Test", "OQY", file), "..\\OQY-Dateien\\rel01\\Output_Detail.oqy");
  EXPECT_EQ(ReadIniValue("test", "global", file), "GLOBAL");
  EXPECT_EQ(ReadIniValue("GLOBAL", "LOGDIR", file), "..\\OQY-Dateien\\log");
  EXPECT_EQ(ReadIniValue("Test2", "CUB_TS", file), "YYYY-MM-DD_HH_mm_ss");
  EXPECT_EQ(ReadIniValue("Test2", "LOGDIR", file), "");
  EXPECT_EQ(ReadIniValue("Nothing", "OQY", file), "");
  EXPECT_EQ(ReadIniValue("", "LOGDIR", file), "");
  EXPECT_EQ(ReadIniValue("Test", "OQY", dir.File("missing.ini")), "");
}

TEST(IniFileTest, FollowsTheReaderRules) {
  test::TempDir dir;
  test::WriteBytes("x.ini",
                   "[ Job ]\r\n"
                   "  oqy  =  a b.oqy  \r\n"
                   "OQY=second\r\n"
                   "OQY2VBS=\r\n"
                   "; comment=1\r\n"
                   "QUOTED=\"C:\\with blank\\x.oqy\"\r\n"
                   "EQUALS=a=b\r\n"
                   "[job]\r\n"
                   "OTHER=later section\r\n"
                   "LONG=" +
                       std::string(300, 'x') +
                       "\r\n"
                       "UMLAUT=Gr\xFC\xDF"
                       "e\n");
  EXPECT_EQ(ReadIniValue("job", "OQY", "x.ini"), "a b.oqy");  // trimmed, first key wins
  EXPECT_EQ(ReadIniValue("JOB", "OQY2VBS", "x.ini"), "");     // empty value
  EXPECT_EQ(ReadIniValue("Job", "QUOTED", "x.ini"), "C:\\with blank\\x.oqy");
  EXPECT_EQ(ReadIniValue("Job", "EQUALS", "x.ini"), "a=b");
  EXPECT_EQ(ReadIniValue("Job", "OTHER", "x.ini"), "");  // first section wins
  EXPECT_EQ(ReadIniValue("Job", "; comment", "x.ini"), "");
}

TEST(IniFileTest, DeliversAtMost255Characters) {
  test::TempDir dir;
  test::WriteBytes("x.ini", "[J]\r\nLONG=" + std::string(300, 'x') +
                                "\r\nU=" + std::string(254, 'a') + "\xFC\xFC\r\n");
  EXPECT_EQ(ReadIniValue("J", "LONG", "x.ini"), std::string(255, 'x'));
  EXPECT_EQ(ReadIniValue("J", "U", "x.ini"), std::string(254, 'a') + "\xC3\xBC");
}

TEST(IniFileTest, AppendsDefaultsToAFileThatIsNotListed) {
  test::TempDir dir;
  std::filesystem::create_directory("cubemill.ini");  // a name that is not an ordinary file
  test::RecordingList list;
  EnsureIniFile(list);
  EXPECT_EQ(list.lines, std::vector<std::string>{"erstelle INI Datei"});
}

}  // namespace
}  // namespace cubemill::settings
