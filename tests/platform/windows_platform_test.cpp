// What the Windows side of the platform layer promises that the POSIX tests check with fork,
// flock and signals: built and run (under wine on Linux) for Windows only.
#include <windows.h>
// Its DeleteFile macro would rename this layer's DeleteFile in the headers below.
#undef DeleteFile

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/directory_listing.h"
#include "platform/durable_file.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text_file.h"
#include "platform/unicode_case.h"
#include "support/test_support.h"

namespace cubemill::platform {
namespace {

namespace fs = std::filesystem;

fs::path Utf8Path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::vector<std::string> Names(const std::string& directory) {
  const std::optional<std::vector<FileEntry>> entries = ListRegularFiles(directory);
  if (!entries) return {"(cannot be read)"};
  std::vector<std::string> names;
  for (const FileEntry& entry : *entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

// A reader of the cube as SQLite opens a file: sharing reading and writing, not deletion, so
// that the file cannot be renamed over while it is open.
HANDLE OpenAsReader(const std::string& path) {
  return CreateFileW(Utf8Path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(WindowsDurableFileTest, WritesAndReplacesFilesWithNamesOutsideTheCodePage) {
  test::TempDir dir;
  const std::string name = "Ünïcödé €.vbs";
  EXPECT_FALSE(WriteFileAtomically(name, "first"));
  EXPECT_FALSE(WriteFileAtomically(name, "second, longer"));
  EXPECT_EQ(Names("."), std::vector<std::string>{name});  // no temporary file left
  EXPECT_FALSE(WriteFileAtomically(".\\" + name, "third"));
  EXPECT_EQ(*ReadTextLines(name), std::vector<std::string>{"third"});
  EXPECT_TRUE(FileExists(name));
  EXPECT_FALSE(DeleteFile(name));
  EXPECT_FALSE(FileExists(name));
}

TEST(WindowsDurableFileTest, AReaderThatKeepsTheTargetOpenMakesTheReplaceFailClearly) {
  test::TempDir dir;
  ASSERT_FALSE(WriteFileAtomically("sales.cub", "old cube"));
  HANDLE reader = OpenAsReader("sales.cub");
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  auto error = WriteFileAtomically("sales.cub", "new cube");
  CloseHandle(reader);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->source, "WriteFile");
  EXPECT_NE(error->description.find("cannot replace sales.cub (another program may have it open)"),
            std::string::npos)
      << error->description;
  EXPECT_EQ(test::ReadBytes("sales.cub"), "old cube");
  EXPECT_EQ(Names("."), std::vector<std::string>{"sales.cub"});  // the new one removed
}

TEST(WindowsDurableFileTest, AReaderThatLetsGoSoonDoesNotStopTheReplace) {
  test::TempDir dir;
  ASSERT_FALSE(WriteFileAtomically("sales.cub", "old cube"));
  HANDLE reader = OpenAsReader("sales.cub");
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::thread closer([reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CloseHandle(reader);
  });
  auto error = WriteFileAtomically("sales.cub", "new cube");
  closer.join();
  EXPECT_FALSE(error) << error->description;
  EXPECT_EQ(test::ReadBytes("sales.cub"), "new cube");
}

TEST(WindowsDurableFileTest, PlacesAFileOverAnother) {
  test::TempDir dir;
  test::WriteBytes("new.cub", "new");
  test::WriteBytes("old.cub", "old");
  EXPECT_FALSE(PlaceFileAs("new.cub", "old.cub"));
  EXPECT_EQ(test::ReadBytes("old.cub"), "new");
  EXPECT_FALSE(fs::exists("new.cub"));
  auto missing = PlaceFileAs("missing.cub", "old.cub");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->source, "CopyFile");
  EXPECT_EQ(test::ReadBytes("old.cub"), "new");
}

TEST(WindowsDurableFileTest, RemovesStaleTemporaryFilesButNotALiveWriters) {
  test::TempDir dir;
  auto live = PendingFile::Create("sales.cub");
  ASSERT_TRUE(live);
  ASSERT_FALSE((*live)->Write("being written"));
  test::WriteBytes(".sales.cub.tmp-AAAAAA", "left by a killed writer");
  test::WriteBytes(".sales.cub.tmp-AAAAAA-journal", "its journal");
  test::WriteBytes(".sales.cub.tmp-BBBBBB-wal", "a journal without its file");
  test::WriteBytes("other.cub", "not ours");
  EXPECT_EQ(RemoveStaleTemporaryFiles("sales.cub"), 3);
  const std::string live_name = fs::path((*live)->path()).filename().string();
  EXPECT_EQ(Names("."), (std::vector<std::string>{live_name, "other.cub"}));
  ASSERT_FALSE((*live)->Commit());
  EXPECT_EQ(test::ReadBytes("sales.cub"), "being written");
}

TEST(WindowsFileLockTest, OneHolderAtATimeAndTheHolderIsNamed) {
  test::TempDir dir;
  const std::string path = LockFileFor("sales.cub");
  EXPECT_EQ(path, ".sales.cub.lock");
  LockAttempt first = TryLockFile(path);
  ASSERT_TRUE(first.lock.held()) << (first.error ? first.error->description : "");
  LockAttempt second = TryLockFile(path);
  EXPECT_FALSE(second.lock.held());
  EXPECT_FALSE(second.error);
  EXPECT_EQ(second.holder, static_cast<long>(GetCurrentProcessId()));
  first.lock.Release();
  EXPECT_FALSE(fs::exists(path));
  LockAttempt third = TryLockFile(path);
  EXPECT_TRUE(third.lock.held());
  auto missing_directory = TryLockFile("missing/.sales.cub.lock");
  ASSERT_TRUE(missing_directory.error);
  EXPECT_EQ(missing_directory.error->source, "LockFile");
  // A folder at the lock's path is never locked and is said to be no file (the run then fails).
  fs::create_directory(".other.cub.lock");
  auto folder = TryLockFile(".other.cub.lock");
  EXPECT_FALSE(folder.lock.held());
  EXPECT_TRUE(folder.not_a_file);
  EXPECT_TRUE(folder.error);
}

TEST(WindowsFileSystemTest, ListsRegularFilesAndReadsAttributes) {
  test::TempDir dir;
  fs::create_directory("folder");
  test::WriteBytes("a.cub", "x");
  fs::create_directory(Utf8Path("Größe"));
  std::FILE* file = _wfopen(Utf8Path("Größe/Ω.cub").c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(Names("."), std::vector<std::string>{"a.cub"});
  EXPECT_EQ(Names("Größe"), std::vector<std::string>{"Ω.cub"});
  EXPECT_FALSE(ListRegularFiles("missing"));
  EXPECT_TRUE(DirExists("Größe"));
  EXPECT_TRUE(IsRegularFile("Größe\\Ω.cub"));
  EXPECT_EQ(FileAttributes("folder"), kAttributeDirectory);
  SetFileAttributesW(L"a.cub", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(FileAttributes("a.cub"), kAttributeArchive | kAttributeReadOnly);
  SetFileAttributesW(L"a.cub", FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(CheckDirectoryWritableFor("Größe\\new.cub"));
  auto no_directory = CheckDirectoryWritableFor("missing\\new.cub");
  ASSERT_TRUE(no_directory);
  EXPECT_EQ(no_directory->source, "CreateFile");
  auto remove = DeleteFile("missing");
  ASSERT_TRUE(remove);
  EXPECT_EQ(remove->number, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(remove->source, "DeleteFile");
  EXPECT_NE(remove->description.find("missing"), std::string::npos) << remove->description;
  const std::string start = CurrentDirectory();
  EXPECT_FALSE(ChangeDirectory("Größe"));
  EXPECT_EQ(Utf8Path(CurrentDirectory()), Utf8Path(start) / Utf8Path("Größe"));
  EXPECT_FALSE(ChangeDirectory(start));
}

TEST(WindowsProcessTest, WhatWindowsCannotDoIsSaidPlainly) {
  EXPECT_FALSE(SucceedsInChild([] { return true; }));
  char* argv[] = {nullptr};
  auto exec = ExecInstalledProgram("cubemill-window", {}, argv);
  ASSERT_TRUE(exec);
  EXPECT_NE(exec->find("not supported"), std::string::npos) << *exec;
}

TEST(WindowsUnicodeCaseTest, FoldsBeyondAscii) {
  EXPECT_TRUE(EqualsFolded("ÄÖÜ straße", "äöü STRASSE") || EqualsFolded("ÄÖÜ", "äöü"));
  EXPECT_EQ(FoldCase("ÄÖÜ Ω"), "äöü ω");
  EXPECT_EQ(FoldCase("𐐀"), "𐐨");  // outside the 16-bit plane
}

}  // namespace
}  // namespace cubemill::platform
