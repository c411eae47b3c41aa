// The program as a scheduler runs it, unattended: options parsed the same way with and without
// --check, -C, --quiet, --list --json, run-log lines no input can forge, the log never outside
// the folders a job names, and a failure summary that names the first real cause.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "e2e/sample_layout.h"
#include "platform/text_file.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// `lines` one below the other, for a failure message.
std::string Shown(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The lines of standard error that are not warnings.
Lines Failures(const Lines& errors) {
  Lines failures;
  for (const std::string& line : errors) {
    if (!line.starts_with("cubemill: warning: ")) failures.push_back(line);
  }
  return failures;
}

// The settings of a folder with one OQY file per job, all logging to log/.
void WriteSettings(const std::string& jobs) {
  fs::create_directories("log");
  test::WriteBytes("cubemill.ini", "[GLOBAL]\r\nLOGDIR=log\r\n" + jobs);
}

TEST(UnattendedTest, CheckReadsOptionsAndTheJobAsARunDoes) {
  test::TempDir dir;
  WriteSettings(
      "[-dash]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\n[good]\r\nOQY=b.oqy\r\nGLOBAL=GLOBAL\r\n"
      "[Night Run]\r\nOQY=c.oqy\r\nGLOBAL=GLOBAL\r\n");
  const struct {
    const char* arguments;
    const char* job;
  } cases[] = {{"--check -- -dash", "-dash"},      {"--check --console good", "good"},
               {"--console --check good", "good"}, {"--check=good", "good"},
               {"--check Night Run", "Night Run"}, {"--check=Night Run", "Night Run"},
               {"Night --check Run", "Night Run"}};
  for (const auto& c : cases) {
    auto run = test::RunCubemill(c.arguments);
    // The OQY files are missing, so every check fails, but only after finding the job.
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_TRUE(Contains(run.lines, std::string("Job [") + c.job + "]: OK")) << c.arguments;
    ASSERT_EQ(run.errors.size(), 1u) << c.arguments << ":\n" << Shown(run.errors);
    EXPECT_TRUE(run.errors[0].starts_with(std::string("cubemill: check of job ") + c.job +
                                          " failed: OQY file"))
        << run.errors[0];
  }
  for (const char* wrong : {"--check", "--check --", "--json", "--json Test"}) {
    EXPECT_EQ(test::RunCubemill(wrong).status, 2) << wrong;
  }
  EXPECT_FALSE(fs::exists("log/cubemill.log"));  // a check logs nothing
}

TEST(UnattendedTest, DirectoryOptionRunsInThatFolder) {
  test::TempDir dir;
  fs::create_directory("jobs");
  fs::current_path("jobs");
  WriteSettings("[Nightly]\r\nOQY=night.oqy\r\nGLOBAL=GLOBAL\r\n");
  fs::current_path("..");

  auto list = test::RunCubemill("-C jobs --list");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.lines, (Lines{"Nightly\tnight.oqy"}));
  auto json = test::RunCubemill("--directory=jobs --list --json");
  EXPECT_EQ(json.lines, (Lines{R"([{"job": "Nightly", "oqy": "night.oqy"}])"}));

  // The job runs in jobs/: its settings, its relative log folder; nothing lands here.
  auto run = test::RunCubemill("--no-wait -C jobs Nightly");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.lines, "Current Directory: " + dir.File("jobs")));
  EXPECT_TRUE(fs::exists("jobs/log/cubemill.log"));
  EXPECT_FALSE(fs::exists("cubemill.ini"));

  auto missing = test::RunCubemill("-C nowhere --no-wait Nightly");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.errors, (Lines{"cubemill: -C nowhere: No such file or directory"}));
  EXPECT_FALSE(fs::exists("nowhere"));
}

TEST(UnattendedTest, ListAsJsonEscapesNames) {
  test::TempDir dir;
  test::WriteBytes("cubemill.ini", "[Say \"hi\"]\r\nOQY=c:\\cubes\\a.oqy\r\n[B]\r\nOQY=b.oqy\r\n");
  auto run = test::RunCubemill("--list --json");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines,
            (Lines{R"([{"job": "Say \"hi\"", "oqy": "c:\\cubes\\a.oqy"}, {"job": "B", "oqy": )"
                   R"("b.oqy"}])"}));
  fs::remove("cubemill.ini");
  EXPECT_EQ(test::RunCubemill("--list --json").status, 1);
  // Without --json, one line a job: a tab or an escape sequence in the file becomes a blank.
  test::WriteBytes("cubemill.ini", "[A\tB\x1b[2J]\r\nOQY=x\x1b]0;t\x07.oqy\r\n");
  EXPECT_EQ(test::RunCubemill("--list").lines, Lines{"A B [2J\tx ]0;t .oqy"});
}

// A log directory that is a file is said to be one, by the run and by the check.
TEST(UnattendedTest, ALogDirectoryThatIsAFileIsSaidToBeOne) {
  test::TempDir dir;
  test::WriteBytes("cubemill.ini", "[Test]\r\nOQY=job.oqy\r\nGLOBAL=G\r\n[G]\r\nLOGDIR=log\r\n");
  test::WriteBytes("log", "a file");
  test::WriteBytes("job.oqy", "Connection=\r\n");
  auto run = test::RunCubemill("--no-wait Test");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(Failures(run.errors),
                       "cubemill: job Test failed: the log directory log is a file, not a folder"))
      << Shown(run.errors);
  auto check = test::RunCubemill("--check Test");
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(Contains(check.lines, "Log directory log: a file, not a folder"))
      << Shown(check.lines);
}

// A clean run under --quiet prints nothing (cron mails only failures); a failed one prints only
// its summary, on standard error. The run log gets every line either way.
TEST(UnattendedTest, QuietPrintsOnlyTheFailureSummary) {
  test::TempDir dir;
  test::LayOutSample();
  auto clean = test::RunCubemill("--quiet --no-wait Test");
  EXPECT_EQ(clean.status, 0);
  EXPECT_TRUE(clean.lines.empty());
  EXPECT_TRUE(clean.errors.empty()) << clean.errors.front();
  auto failed = test::RunCubemill("-q --no-wait Test2");
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.lines.empty());
  ASSERT_EQ(failed.errors.size(), 1u);
  EXPECT_TRUE(failed.errors[0].starts_with("cubemill: job Test2 failed: ")) << failed.errors[0];
  auto log = platform::ReadTextLines("../OQY-Dateien/log/cubemill.log");
  ASSERT_TRUE(log);
  EXPECT_GT(log->size(), 30u);
}

// Whatever the job name holds, every run-log line is the program's own: three fields before the
// message, one line each.
TEST(UnattendedTest, JobNamesCannotForgeRunLogLines) {
  test::TempDir dir;
  WriteSettings("[Test]\r\nOQY=missing.oqy\r\nGLOBAL=GLOBAL\r\n");
  const std::string forged = "2099-01-01 00:00:00;Test;Cube Creation OK";
  auto run = test::RunCubemill("--no-wait 'X\n" + forged + "'");
  EXPECT_EQ(run.status, 1);
  auto semicolon = test::RunCubemill("--no-wait 'A;B'");
  auto trailing = test::RunCubemill("--no-wait 'Test\n'");
  EXPECT_TRUE(Contains(trailing.lines, "OQY File: missing.oqy"));  // the job [Test] ran

  for (const auto* result : {&run, &semicolon, &trailing}) {
    for (const auto& lines : {result->lines, result->errors}) {
      for (const std::string& line : lines) EXPECT_FALSE(line.starts_with("2099")) << line;
    }
  }
  EXPECT_TRUE(Contains(run.errors, "cubemill: job X " + forged +
                                       " failed: the job names no "
                                       "OQY file"));
  // The unknown jobs log in the current folder, [Test] in log/. The job field holds no ";", so
  // the message starts after the second one whatever the message holds.
  auto own = [](const std::string& line) {
    if (!test::HasShape(line.substr(0, 20), "####-##-## ##:##:##;")) return false;
    const std::string rest = line.substr(20);
    for (const char* job : {"X 2099-01-01 00:00:00,Test,Cube Creation OK;", "A,B;", "Test ;"})
      if (rest.starts_with(job)) return true;
    return false;
  };
  std::size_t count = 0;
  for (const char* path : {"cubemill.log", "log/cubemill.log"}) {
    auto log = platform::ReadTextLines(path);
    ASSERT_TRUE(log) << path;
    count += log->size();
    for (const std::string& line : *log) {
      EXPECT_TRUE(own(line)) << line;
      EXPECT_FALSE(line.starts_with("2099")) << line;
    }
  }
  // Every list line but the start-up one is one log line.
  EXPECT_EQ(count, run.lines.size() + semicolon.lines.size() + trailing.lines.size() - 3);
}

// A job whose global section gives no log folder logs in the current folder, says so once, and
// writes nowhere else.
TEST(UnattendedTest, EmptyLogFolderMeansTheCurrentFolder) {
  test::TempDir dir;
  test::WriteBytes("cubemill.ini", "[Test]\r\nOQY=missing.oqy\r\nGLOBAL=GLOBAL\r\n");
  auto run = test::RunCubemill("--no-wait Test");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count_if(
                run.errors.begin(), run.errors.end(),
                [](const std::string& line) { return line.find("LOGDIR") != std::string::npos; }),
            1);
  auto log = platform::ReadTextLines("cubemill.log");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->size(), run.lines.size() - 1);  // all but the start-up line
}

// A FIFO where a text file is read or written (nobody at its other end) is refused without
// waiting on it: the run and the check end at once and say what is there.
TEST(UnattendedTest, FifosInsteadOfFilesAreRefusedWithoutWaiting) {
  test::TempDir dir;
  WriteSettings("[Test]\r\nOQY=job.oqy\r\nGLOBAL=GLOBAL\r\n");
  ASSERT_EQ(::mkfifo("log/cubemill.log", 0666), 0);
  ASSERT_EQ(::mkfifo("job.oqy", 0666), 0);
  const std::string program = "timeout -k 5 30 " + std::string(CUBEMILL_BINARY);
  const auto said = [](const Lines& lines, const std::string& what) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(what) != std::string::npos &&
             line.find("it is a FIFO, not a regular file") != std::string::npos;
    });
  };
  auto run = test::RunCubemill("--no-wait Test", "", program);
  EXPECT_EQ(run.status, 1) << Shown(run.lines) << Shown(run.errors);  // 124: it waited
  EXPECT_TRUE(said(run.errors, "cubemill.log")) << Shown(run.errors);
  EXPECT_TRUE(said(run.errors, "job.oqy")) << Shown(run.errors);
  auto check = test::RunCubemill("--check Test", "", program);
  EXPECT_EQ(check.status, 1) << Shown(check.lines) << Shown(check.errors);
  EXPECT_TRUE(said(check.lines, "cubemill.log")) << Shown(check.lines);
  // The settings file itself.
  fs::remove("cubemill.ini");
  ASSERT_EQ(::mkfifo("cubemill.ini", 0666), 0);
  for (const char* arguments : {"--no-wait Test", "--check Test", "--list"}) {
    run = test::RunCubemill(arguments, "", program);
    EXPECT_EQ(run.status, 1) << arguments << "\n" << Shown(run.lines) << Shown(run.errors);
    Lines all = run.lines;
    all.insert(all.end(), run.errors.begin(), run.errors.end());
    EXPECT_TRUE(said(all, "cubemill.ini")) << arguments << "\n" << Shown(all);
  }
}

// The one-line summary names the first real cause, not a consequence further down.
TEST(UnattendedTest, SummaryNamesTheFirstRealCause) {
  test::TempDir dir;
  WriteSettings(
      "[Empty]\r\nOQY=empty.oqy\r\nGLOBAL=GLOBAL\r\n"
      "[NoLine]\r\nOQY=noline.oqy\r\nGLOBAL=GLOBAL\r\n"
      "[NoCreate]\r\nOQY=nocreate.oqy\r\nGLOBAL=GLOBAL\r\n");
  test::WriteBytes("empty.oqy", "");
  test::WriteBytes("noline.oqy", "QueryType=OLEDB\r\nVersion=1\r\n");
  test::WriteBytes("nocreate.oqy",
                   "Connection=Provider=MSOLAP;Data Source=c.cub;InsertInto=INSERT INTO C(x) "
                   "SELECT a FROM t;Source_DSN=\"DSN=x\";\r\n");
  const struct {
    const char* job;
    const char* cause;
  } cases[] = {{"Empty", "OQY File has no Connection= line (or is empty): empty.oqy"},
               {"NoLine", "OQY File has no Connection= line (or is empty): noline.oqy"},
               {"NoCreate", "Connection line has no CreateCube= value"}};
  for (const auto& c : cases) {
    auto run = test::RunCubemill(std::string("--no-wait ") + c.job);
    EXPECT_EQ(run.status, 1) << c.job;
    ASSERT_EQ(run.errors.size(), 1u) << c.job;
    EXPECT_TRUE(
        run.errors[0].starts_with(std::string("cubemill: job ") + c.job + " failed: " + c.cause))
        << run.errors[0];
  }

  // A settings file saved as UTF-16: the summary says so instead of "no job [Test]".
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[Test]\r\nOQY=empty.oqy\r\n")) utf16 += std::string{c, '\0'};
  test::WriteBytes("cubemill.ini", utf16);
  auto run = test::RunCubemill("--no-wait Test");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Failures(run.errors), (Lines{"cubemill: job Test failed: cannot read the settings "
                                         "file " +
                                         dir.File("cubemill.ini") +
                                         ": saved as UTF-16 (or holds NUL bytes); save it as "
                                         "UTF-8 or Windows-1252"}));
}

// Runs `cubemill <arguments>` as the user nobody (root runs the tests in CI); false when this
// process cannot switch users.
bool CanRunAsNobody() { return ::geteuid() == 0 && fs::exists("/usr/bin/setpriv"); }
const char* const kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// What the running user cannot read or write is found as that user: an unreadable settings file
// is named as the cause; a log folder they cannot write fails --check and is said on standard
// error by the job.
TEST(UnattendedTest, PermissionsAreCheckedAsTheRunningUser) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "needs root to run the program as another user";
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms::all, fs::perm_options::add);
  WriteSettings("[Test]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\n");
  test::WriteBytes("a.oqy", "");
  fs::permissions("cubemill.ini", fs::perms::owner_read | fs::perms::owner_write);
  const std::string program = std::string(kAsNobody) + CUBEMILL_BINARY;
  auto unreadable = test::RunCubemill("--no-wait Test", "", program);
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(Failures(unreadable.errors),
            (Lines{"cubemill: job Test failed: cannot read the settings file " +
                   dir.File("cubemill.ini") + ": Permission denied"}));

  fs::permissions("cubemill.ini", fs::perms::all);
  auto check = test::RunCubemill("--check Test", "", program);
  EXPECT_EQ(check.status, 1);
  EXPECT_TRUE(Contains(check.lines,
                       "Log directory log: the directory \"log\" is not writable: Permission "
                       "denied"));
  auto job = test::RunCubemill("--no-wait Test", "", program);
  EXPECT_TRUE(std::any_of(job.errors.begin(), job.errors.end(), [](const std::string& line) {
    return line.starts_with("cubemill: warning: cannot write the run log log/cubemill.log");
  }));
}

}  // namespace
}  // namespace cubemill
