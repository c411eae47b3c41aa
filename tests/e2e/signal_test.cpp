// The built program stopped by SIGTERM, SIGINT and SIGHUP as a scheduler, a terminal or an
// operator stops it: while it reads its source, while it writes the cube, while a locked source
// holds it in the driver; and started with signals ignored, as nohup or a script's background job
// starts it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "run_cubemill.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Long enough for anything the program does here; reached only when it hangs.
constexpr std::chrono::seconds kGenerous{300};
const std::string kSeparator(66, '=');

// A descriptor that becomes readable when the process `pid` ends (pidfd_open, through syscall:
// glibc 2.36's <sys/pidfd.h> does not declare it for C++).
int OpenProcess(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// A file descriptor, closed when this goes.
struct Descriptor {
  explicit Descriptor(int descriptor) : fd(descriptor) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  const int fd;
};

std::string Name(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    default:
      return "SIGHUP";
  }
}

// The lines of a text file, without their CR.
std::vector<std::string> LinesOf(const std::string& path) {
  std::vector<std::string> lines = test::SplitLines(test::ReadBytes(path));
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

// The texts of the run log's lines (what follows the date and the job).
std::vector<std::string> LogTexts() {
  std::vector<std::string> texts;
  for (const std::string& line : LinesOf("log/cubemill.log")) {
    const std::size_t job = line.find(';');
    const std::size_t text = job == std::string::npos ? job : line.find(';', job + 1);
    texts.push_back(text == std::string::npos ? line : line.substr(text + 1));
  }
  return texts;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

class SignalTest : public ::testing::Test {
 protected:
  SignalTest() {
    fs::create_directories("log");
    fs::create_directories("cubes");
    // `endless` makes its rows up as they are read, more than any test waits for.
    test::RunSqlite("sales.db",
                    "CREATE TABLE sales (country TEXT, city TEXT, amount INTEGER);"
                    "INSERT INTO sales VALUES ('Spain', 'Madrid', 3), ('Chile', 'Arica', 4);"
                    "CREATE VIEW endless AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL"
                    " SELECT i + 1 FROM n) SELECT 'C' || (i % 40) AS country,"
                    " 'City ' || (i % 7) AS city, i % 97 AS amount FROM n;");
    std::string ini;
    for (const char* job : {"Small", "Endless", "Big"}) {
      ini += std::string("[") + job + "]\r\nOQY=" + job + ".oqy\r\nOQY2VBS=night.vbs\r\n" +
             "CUB_TS=\r\nAGGREGATE=CLIENT\r\nGLOBAL=G\r\n";
    }
    test::WriteBytes("cubemill.ini", ini + "[G]\r\nLOGDIR=log\r\n");
    WriteOqy("Small", "sales");
    WriteOqy("Endless", "endless");
    WriteOqy("Big", "big_sales");
    // The cube and the script that every stopped job must leave as they are.
    const test::RunResult earlier = test::RunCubemill("--no-wait Small");
    EXPECT_EQ(earlier.status, 0);
    earlier_cube_ = test::ReadBytes("cubes/night.cub");
    earlier_script_ = test::ReadBytes("night.vbs");
    EXPECT_FALSE(earlier_cube_.empty());
    EXPECT_FALSE(earlier_script_.empty());
  }

  // A job whose cube, with 100,000 cities, takes a moment to write.
  static void MakeBigSource() {
    test::RunSqlite(
        "sales.db",
        "CREATE TABLE big_sales (country TEXT, city TEXT, amount INTEGER);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
        " INSERT INTO big_sales SELECT 'C' || (i % 40), 'City ' || i, i % 97 FROM n;");
  }

  void WriteOqy(const std::string& job, const std::string& table) {
    test::WriteBytes(job + ".oqy",
                     "Connection=Provider=MSOLAP;Data Source=cubes\\night.cub;CreateCube=CREATE "
                     "CUBE [Night] ( DIMENSION [Region], LEVEL [Country], LEVEL [City], MEASURE "
                     "[Amount] FUNCTION SUM );InsertInto=INSERT INTO Night([Region].[Country], "
                     "[Region].[City], [Measures].[Amount]) SELECT country, city, amount FROM " +
                         table + ";Source_DSN=\"" + test::SqliteOdbc(dir.File("sales.db")) +
                         "\";\r\n");
  }

  // Starts `cubemill --no-wait <words...>` on the console, its standard output going to out.txt
  // and its standard error to err.txt; the signals in `ignored` are ignored from the start.
  pid_t Start(const std::vector<std::string>& words, std::initializer_list<int> ignored = {}) {
    std::vector<std::string> arguments{"cubemill", "--no-wait"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::vector<int> ignore(ignored);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      ::dup2(::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) ::signal(signal_number, SIG_DFL);
      for (int signal_number : ignore) ::signal(signal_number, SIG_IGN);
      ::execv(CUBEMILL_BINARY, argv.data());
      ::_exit(127);
    }
    return child;
  }

  // Waits until `ready` holds, asking again whenever a file in the test's folders is created or
  // written (which is all the tests wait for); false when the program ended or the time ran out
  // first.
  static bool WaitFor(pid_t child, const std::function<bool()>& ready) {
    const Descriptor program(OpenProcess(child));
    const Descriptor files(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (program.fd < 0 || files.fd < 0) {
      ADD_FAILURE() << "cannot watch the program: " << std::strerror(errno);
      return false;
    }
    for (const char* folder : {".", "log", "cubes"})
      ::inotify_add_watch(files.fd, folder, IN_CREATE | IN_MODIFY | IN_MOVED_TO);
    const auto deadline = Clock::now() + kGenerous;
    for (;;) {
      if (ready()) return true;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd events[] = {{files.fd, POLLIN, 0}, {program.fd, POLLIN, 0}};
      if (::poll(events, 2, static_cast<int>(left)) < 0 && errno != EINTR) return false;
      if (events[1].revents != 0) return ready();  // the program has ended
      char drained[4096];
      while (::read(files.fd, drained, sizeof drained) > 0) {
      }
    }
  }

  // The wait status of the program once it has ended; it is killed when it hangs.
  static int Finish(pid_t child) {
    const Descriptor program(OpenProcess(child));
    bool hangs = false;
    if (program.fd >= 0) {
      pollfd ended{program.fd, POLLIN, 0};
      const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(kGenerous);
      int waited = 0;
      do {
        waited = ::poll(&ended, 1, static_cast<int>(limit.count()));
      } while (waited < 0 && errno == EINTR);
      hangs = waited == 0;
    } else {
      ADD_FAILURE() << "cannot watch the program: " << std::strerror(errno);
    }
    if (hangs) {
      ADD_FAILURE() << "the program did not end";
      ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return hangs ? -1 : status;
  }

  static bool TemporaryCubeExists() {
    for (const std::string& name : test::DirectoryEntries("cubes"))
      if (name.starts_with(".night.cub.tmp-")) return true;
    return false;
  }

  // What every stopped job leaves: exit status 128 + the signal, one line on standard error
  // (after the `warnings` said before the stop), the run log closed by the stop and the closing
  // lines, the earlier cube and script as they were, no temporary file.
  void ExpectStopped(int status, int signal_number, const std::string& stderr_line,
                     std::vector<std::string> warnings = {}) {
    const std::string name = Name(signal_number);
    EXPECT_TRUE(WIFEXITED(status)) << name << ": wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number) << name;
    warnings.push_back(stderr_line);
    EXPECT_EQ(LinesOf("err.txt"), warnings) << name;
    EXPECT_EQ(test::ReadBytes("cubes/night.cub"), earlier_cube_) << name;
    EXPECT_EQ(test::ReadBytes("night.vbs"), earlier_script_) << name;
    for (const char* directory : {".", "cubes"}) {
      for (const std::string& entry : test::DirectoryEntries(directory))
        EXPECT_EQ(entry.find(".tmp-"), std::string::npos) << name << ": " << entry;
    }
  }

  // The run log (and, unless the watchdog ended the program, standard output) ends with the
  // stop and the closing lines.
  static void ExpectClosingLines(const std::vector<std::string>& lines, int signal_number) {
    ASSERT_GE(lines.size(), 3u);
    const std::size_t end = lines.size();
    EXPECT_EQ(lines[end - 3], "Job stopped by " + Name(signal_number));
    EXPECT_TRUE(lines[end - 2].starts_with("Duration: ")) << lines[end - 2];
    EXPECT_EQ(lines[end - 1], kSeparator);
  }

  test::TempDir dir;
  std::string earlier_cube_;
  std::string earlier_script_;
};

TEST_F(SignalTest, EachStopSignalEndsAJobWhileItReadsItsSource) {
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    const std::size_t reads = Count(LogTexts(), "Aggregation: client");
    const pid_t child = Start({"Endless"});
    EXPECT_TRUE(WaitFor(child, [&] { return Count(LogTexts(), "Aggregation: client") > reads; }));
    ::kill(child, signal_number);
    const int status = Finish(child);

    const std::string name = Name(signal_number);
    ExpectStopped(status, signal_number, "cubemill: job Endless stopped by " + name);
    const std::vector<std::string> log = LogTexts();
    ExpectClosingLines(log, signal_number);
    EXPECT_EQ(Count(log, "the build was stopped by " + name), 1u);
    EXPECT_EQ(log[log.size() - 4], "Cube Creation Error");
    ExpectClosingLines(LinesOf("out.txt"), signal_number);
  }
}

TEST_F(SignalTest, AStopWhileTheCubeIsWrittenKeepsTheEarlierCube) {
  MakeBigSource();
  const pid_t child = Start({"Big"});
  EXPECT_TRUE(WaitFor(child, TemporaryCubeExists));
  ::kill(child, SIGHUP);
  const int status = Finish(child);

  ExpectStopped(status, SIGHUP, "cubemill: job Big stopped by SIGHUP");
  const std::vector<std::string> log = LogTexts();
  ExpectClosingLines(log, SIGHUP);
  EXPECT_EQ(Count(log, "the build was stopped by SIGHUP"), 1u);
  EXPECT_EQ(Count(log, "Cube Creation OK"), 1u);  // only the earlier job's
}

TEST_F(SignalTest, AJobStuckInTheDriverIsEndedAfterTheGracePeriod) {
  // The source is locked: the driver waits for the lock far longer than the grace period, and
  // neither the job nor the check can notice the signal meanwhile.
  test::SqliteWriteLock lock("sales.db");
  auto busy_lines = [] {
    std::size_t count = 0;
    for (const std::string& text : LogTexts()) count += text.starts_with("Source busy: ") ? 1 : 0;
    return count;
  };
  // Both say so first, on standard error too.
  const std::string busy_warning =
      "cubemill: warning: source busy: waiting up to 200 s for the lock on the SQLite database \"" +
      dir.File("sales.db") + "\"";
  const std::size_t waits = busy_lines();
  pid_t child = Start({"Endless"});
  EXPECT_TRUE(WaitFor(child, [&] { return busy_lines() > waits; }));
  ::kill(child, SIGTERM);
  ExpectStopped(Finish(child), SIGTERM, "cubemill: job Endless stopped by SIGTERM", {busy_warning});
  ExpectClosingLines(LogTexts(), SIGTERM);

  const std::vector<std::string> log_before = LogTexts();
  child = Start({"--check", "Endless"});
  EXPECT_TRUE(WaitFor(child, [] {  // the check's own lines, then its word of the wait
    const std::vector<std::string> lines = LinesOf("out.txt");
    const auto checked = std::find(lines.begin(), lines.end(), "Provider MSOLAP: OK");
    return std::any_of(checked, lines.end(),
                       [](const std::string& line) { return line.starts_with("Source busy: "); });
  }));
  ::kill(child, SIGINT);
  ExpectStopped(Finish(child), SIGINT, "cubemill: check of job Endless stopped by SIGINT",
                {busy_warning});
  EXPECT_EQ(LogTexts(), log_before);  // a check writes no log
}

TEST_F(SignalTest, SignalsIgnoredAtTheStartStayIgnored) {
  MakeBigSource();
  const pid_t child = Start({"Big"}, {SIGINT, SIGHUP});
  EXPECT_TRUE(WaitFor(child, TemporaryCubeExists));
  ::kill(child, SIGINT);
  ::kill(child, SIGHUP);
  const int status = Finish(child);

  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
  EXPECT_EQ(LinesOf("err.txt"), std::vector<std::string>{});
  const std::vector<std::string> log = LogTexts();
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(log[log.size() - 2].starts_with("Duration: "));
  EXPECT_EQ(Count(log, "Cube Creation OK"), 2u);
  for (const std::string& entry : test::DirectoryEntries("cubes"))
    EXPECT_EQ(entry.find(".tmp-"), std::string::npos) << entry;
  EXPECT_EQ(test::QuerySqlite("cubes/night.cub", "SELECT COUNT(*) FROM cube_flat"),
            test::Rows{{"100000"}});
}

}  // namespace
}  // namespace cubemill
