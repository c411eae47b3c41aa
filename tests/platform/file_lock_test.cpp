#include "platform/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/lock_holder.h"
#include "support/test_support.h"

namespace cubemill::platform {
namespace {

namespace fs = std::filesystem;

TEST(FileLockTest, NamesTheLockFileBesideItsTarget) {
  EXPECT_EQ(LockFileFor("cubes/night.cub"), "cubes/.night.cub.lock");
  EXPECT_EQ(LockFileFor("../a.b/night"), "../a.b/.night.lock");
  EXPECT_EQ(LockFileFor("night.cub"), ".night.cub.lock");
  EXPECT_EQ(LockFileFor("..\\cubes\\night.cub"), "../cubes/.night.cub.lock");
}

TEST(FileLockTest, AnotherProcessHoldsItUntilItIsKilled) {
  test::TempDir dir;
  test::LockHolder other(".night.cub.lock");
  ASSERT_TRUE(other.holds());

  LockAttempt busy = TryLockFile(".night.cub.lock");
  EXPECT_FALSE(busy.lock.held());
  EXPECT_EQ(busy.holder, other.pid());
  EXPECT_EQ(busy.error, std::nullopt);

  // kill -9 leaves the lock file behind, but not its lock.
  other.Kill();
  EXPECT_TRUE(fs::exists(".night.cub.lock"));
  LockAttempt free = TryLockFile(".night.cub.lock");
  EXPECT_TRUE(free.lock.held());
  EXPECT_EQ(free.holder, std::nullopt);
  EXPECT_EQ(free.error, std::nullopt);
}

TEST(FileLockTest, ReleaseRemovesTheLockFileAndFreesTheLock) {
  test::TempDir dir;
  LockAttempt first = TryLockFile(".cube.lock");
  ASSERT_TRUE(first.lock.held());
  EXPECT_TRUE(fs::exists(".cube.lock"));
  {
    test::LockHolder other(".cube.lock");
    EXPECT_FALSE(other.holds());
  }
  FileLock moved = std::move(first.lock);
  EXPECT_FALSE(first.lock.held());
  EXPECT_TRUE(moved.held());
  moved.Release();
  EXPECT_FALSE(moved.held());
  EXPECT_FALSE(fs::exists(".cube.lock"));
  test::LockHolder other(".cube.lock");
  EXPECT_TRUE(other.holds());
}

TEST(FileLockTest, AMissingDirectoryIsAnErrorNotABusyLock) {
  test::TempDir dir;
  const LockAttempt attempt = TryLockFile("missing/.cube.lock");
  EXPECT_FALSE(attempt.lock.held());
  EXPECT_EQ(attempt.holder, std::nullopt);
  ASSERT_TRUE(attempt.error.has_value());
  EXPECT_EQ(attempt.error->number, ENOENT);
  EXPECT_EQ(attempt.error->source, "LockFile");
  EXPECT_FALSE(fs::exists("missing"));
}

// A folder at the lock's path can never be locked: said as such, so that the run fails instead
// of building unlocked.
TEST(FileLockTest, AFolderAtTheLockPathIsNotAFile) {
  test::TempDir dir;
  fs::create_directory(".cube.lock");
  const LockAttempt attempt = TryLockFile(".cube.lock");
  EXPECT_FALSE(attempt.lock.held());
  EXPECT_TRUE(attempt.not_a_file);
  ASSERT_TRUE(attempt.error.has_value());
  EXPECT_EQ(attempt.error->source, "LockFile");
  EXPECT_TRUE(fs::is_directory(".cube.lock"));
}

TEST(FileLockTest, NeverTwoHoldersWhileOthersRemoveTheFileOnRelease) {
  // Processes take and release the lock as fast as they can; each marks its time as holder
  // with a file only one can create. A holder that locked a file its predecessor had already
  // removed would find the mark of the holder of the path's new file.
  test::TempDir dir;
  std::vector<pid_t> children;
  for (int child = 0; child < 4; ++child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (int round = 0; round < 400; ++round) {
        LockAttempt attempt = TryLockFile(".cube.lock");
        if (attempt.error) ::_exit(2);
        if (!attempt.lock.held()) continue;
        const int mark = ::open("holder", O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (mark < 0) ::_exit(1);
        ::close(mark);
        ::unlink("holder");
        attempt.lock.Release();
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_FALSE(fs::exists(".cube.lock"));
}

}  // namespace
}  // namespace cubemill::platform
