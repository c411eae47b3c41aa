#include "platform/durable_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/temporary_file.h"
#include "support/test_support.h"

namespace cubemill::platform {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `body` with writes limited to `bytes` per file (SIGXFSZ ignored, as the program does).
template <typename Body>
void WithFileSizeLimit(rlim_t bytes, Body body) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = bytes;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  body();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
}

TEST(DurableFileTest, WritesWholeFilesAndKeepsTheEarlierOneOnFailure) {
  test::TempDir dir;
  EXPECT_EQ(WriteFileAtomically("out.txt", "first"), std::nullopt);
  EXPECT_EQ(test::ReadBytes("out.txt"), "first");
  ::chmod("out.txt", 0640);
  EXPECT_EQ(WriteFileAtomically("out.txt", "second"), std::nullopt);
  EXPECT_EQ(test::ReadBytes("out.txt"), "second");
  struct stat info {};
  ASSERT_EQ(::stat("out.txt", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);  // a replaced file keeps its permissions

  std::optional<Error> error;
  WithFileSizeLimit(100, [&] { error = WriteFileAtomically("out.txt", std::string(5000, 'x')); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, EFBIG);
  EXPECT_NE(error->description.find("File too large"), std::string::npos) << error->description;
  EXPECT_EQ(test::ReadBytes("out.txt"), "second");

  fs::create_directory("dir.txt");
  EXPECT_TRUE(WriteFileAtomically("dir.txt", "x"));
  error = WriteFileAtomically("missing\\out.txt", "x");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description,
            "cannot create a temporary file in \"missing\": No such file or directory");
  EXPECT_EQ(Entries("."), (std::vector<std::string>{"dir.txt", "out.txt"}));
}

TEST(DurableFileTest, PlacesAFileOverAnotherInOneStep) {
  test::TempDir dir;
  test::WriteBytes("sales.cub", "new");
  test::WriteBytes("sales_2024.cub", "old");
  EXPECT_EQ(PlaceFileAs("sales.cub", "sales_2024.cub"), std::nullopt);
  EXPECT_EQ(test::ReadBytes("sales_2024.cub"), "new");
  EXPECT_FALSE(fs::exists("sales.cub"));

  // Failures name the system's message, the number and the copy step; nothing changes.
  auto missing = PlaceFileAs("gone.cub", "sales_2024.cub");
  ASSERT_TRUE(missing);
  EXPECT_EQ(*missing, (Error{"No such file or directory: cannot copy gone.cub to sales_2024.cub",
                             ENOENT, "CopyFile"}));
  test::WriteBytes("sales.cub", "newer");
  fs::create_directory("taken.cub");
  auto directory = PlaceFileAs("sales.cub", "taken.cub");
  ASSERT_TRUE(directory);
  EXPECT_EQ(directory->number, EISDIR);
  EXPECT_EQ(test::ReadBytes("sales_2024.cub"), "new");
  EXPECT_EQ(test::ReadBytes("sales.cub"), "newer");

  // A FIFO is not replaced by a file either, whether placed or written there.
  ASSERT_EQ(::mkfifo("pipe.cub", 0666), 0);
  auto fifo = PlaceFileAs("sales.cub", "pipe.cub");
  ASSERT_TRUE(fifo);
  EXPECT_EQ(fifo->description,
            "it is a FIFO, not a regular file: cannot copy sales.cub to pipe.cub");
  auto written = WriteFileAtomically("pipe.cub", "bytes");
  ASSERT_TRUE(written);
  EXPECT_EQ(written->description, "cannot replace pipe.cub: it is a FIFO, not a regular file");
  EXPECT_TRUE(fs::is_fifo("pipe.cub"));
  EXPECT_EQ(test::ReadBytes("sales.cub"), "newer");
}

TEST(DurableFileTest, RemovesStaleTemporaryFilesButNotALiveWritersOrOthers) {
  test::TempDir dir;
  test::WriteBytes(".sales.cub.tmp-AAAAAA", "left by a killed writer");
  test::WriteBytes(".sales.cub.tmp-BBBBBB", "being written");
  test::WriteBytes(".other.cub.tmp-CCCCCC", "another target's");
  test::WriteBytes(".sales.cub.tmp-short", "not a temporary name");
  int live = ::open(".sales.cub.tmp-BBBBBB", O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);

  EXPECT_EQ(WriteFileAtomically("sales.cub", "cube"), std::nullopt);
  EXPECT_EQ(Entries("."),
            (std::vector<std::string>{".other.cub.tmp-CCCCCC", ".sales.cub.tmp-BBBBBB",
                                      ".sales.cub.tmp-short", "sales.cub"}));
  ::close(live);  // the writer is gone: its file is stale now, and so is a journal beside it
  test::WriteBytes(".sales.cub.tmp-BBBBBB-journal", "j");
  test::WriteBytes(".sales.cub.tmp-DDDDDD-journal", "a journal whose file is gone");
  EXPECT_EQ(RemoveStaleTemporaryFiles("sales.cub"), 3);
  EXPECT_EQ(Entries("."), (std::vector<std::string>{".other.cub.tmp-CCCCCC", ".sales.cub.tmp-short",
                                                    "sales.cub"}));
}

TEST(DurableFileTest, AKilledWriterLeavesTheTargetAndTheNextRunCleansUp) {
  test::TempDir dir;
  test::WriteBytes("sales.vbs", "good script");
  for (int signal_number : {SIGKILL, SIGTERM}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto pending = PendingFile::Create("sales.vbs");
      if (!pending || (*pending)->Write("half a scr")) _exit(3);
      (void)!::write(ready[1], "x", 1);
      ::pause();  // killed here, in the middle of the write
      _exit(4);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(test::ReadBytes("sales.vbs"), "good script") << signal_number;
    // SIGTERM removes the temporary file itself; SIGKILL leaves it to the next run.
    EXPECT_EQ(Entries(".").size(), signal_number == SIGKILL ? 2u : 1u) << signal_number;
    EXPECT_EQ(WriteFileAtomically("sales.vbs", "good script"), std::nullopt);
    EXPECT_EQ(Entries("."), std::vector<std::string>{"sales.vbs"});
  }
}

TEST(TemporaryFileTest, SignalsRemoveTheFileAndEndTheProcess) {
  test::TempDir dir;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    test::WriteBytes("partial.tmp", "x");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TemporaryFile file(fs::absolute("partial.tmp").string());
      raise(signal_number);
      _exit(3);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_FALSE(fs::exists("partial.tmp")) << signal_number;
  }
  // Without a signal the owner removes it, and Keep leaves it alone.
  test::WriteBytes("a.tmp", "x");
  { TemporaryFile file("a.tmp"); }
  EXPECT_FALSE(fs::exists("a.tmp"));
  test::WriteBytes("b.tmp", "x");
  {
    TemporaryFile file("b.tmp");
    file.Keep();
  }
  EXPECT_TRUE(fs::exists("b.tmp"));
}

TEST(TemporaryFileTest, LeavesIgnoredSignalsIgnored) {
  // A job started with nohup, or in the background by a script, ignores SIGHUP or SIGINT: a
  // temporary file must not turn them into the end of the process.
  test::TempDir dir;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    test::WriteBytes("partial.tmp", "x");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(signal_number, SIG_IGN);
      {
        TemporaryFile file(fs::absolute("partial.tmp").string());
        raise(signal_number);
        if (!fs::exists("partial.tmp")) _exit(3);
      }
      struct sigaction after {};
      sigaction(signal_number, nullptr, &after);
      _exit(after.sa_handler == SIG_IGN ? 0 : 4);  // still ignored once the file is gone
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << signal_number << ": " << status;
    EXPECT_FALSE(fs::exists("partial.tmp")) << signal_number;  // its owner removed it
  }
}

}  // namespace
}  // namespace cubemill::platform
