#include "ui/console_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace cubemill::ui {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(ConsoleListTest, WritesPlainLinesWhenNotATerminal) {
  std::FILE* out = std::tmpfile();
  std::FILE* progress = std::tmpfile();
  {
    ConsoleList list(out, progress);
    list.AddLine("first");
    list.listSetRed();
    list.ShowRowsRead(10000);
    list.AddLine("second; with colour off");
    list.listSetLast();
    list.ImageCubeMoveDown();
    list.Unload();
  }
  EXPECT_EQ(Contents(out), "first\nsecond; with colour off\n");
  EXPECT_EQ(Contents(progress), "");
  std::fclose(out);
  std::fclose(progress);
}

TEST(ConsoleListTest, ColoursAndShowsProgressOnATerminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::FILE* terminal = std::fopen(ptsname(master), "w");
  ASSERT_NE(terminal, nullptr);
  unsetenv("NO_COLOR");
  {
    ConsoleList list(terminal, terminal);
    list.ShowRowsRead(20000);
    list.listSetRed();
    list.AddLine("red");
  }
  std::fclose(terminal);
  std::string seen;
  char buffer[256];
  fcntl(master, F_SETFL, O_NONBLOCK);
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
  close(master);
  EXPECT_NE(seen.find("20000 rows read"), std::string::npos) << seen;
  EXPECT_NE(seen.find("\033[K"), std::string::npos) << seen;  // the progress line is cleared
  EXPECT_NE(seen.find("\033[31mred\033[0m"), std::string::npos) << seen;
}

TEST(ConsoleListTest, ProgressSaysRowsRateAndElapsedTime) {
  EXPECT_EQ(ConsoleList::ProgressText(20000, 0), "20000 rows read, 0 rows/s, 00:00:00");
  EXPECT_EQ(ConsoleList::ProgressText(1200000, 2.5), "1200000 rows read, 480000 rows/s, 00:00:02");
  EXPECT_EQ(ConsoleList::ProgressText(7, 3725), "7 rows read, 0 rows/s, 01:02:05");
}

}  // namespace
}  // namespace cubemill::ui
