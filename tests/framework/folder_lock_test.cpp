// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The folder lock against folders of unusual modes and against other users.
#include "framework/folder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "framework/posix_file.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

constexpr uid_t kNobody = 65534;

// Runs `body` in a child process as the user nobody and returns its exit code, or -1 when the
// child could not become nobody (the test is not run as root).
template <class Body>
int AsNobody(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  return code == 100 ? -1 : code;
}

// The lock goes with the holder, and so does its file: nothing of it is left in the folder.
TEST(FolderLock, SecondHolderIsBusyAndTheFileGoesWithTheLock) {
  TempDir dir;
  {
    FolderLock first = FolderLock::TryLock(dir.Path());
    ASSERT_EQ(first.GetState(), FolderLock::State::kHeld);
    EXPECT_TRUE(first.Covers(dir.Path() + "/."));
    EXPECT_TRUE(FolderLock::TryLock(dir.Path()).Busy());
    FolderLock moved = std::move(first);
    EXPECT_EQ(first.GetState(), FolderLock::State::kUnlockable);
    EXPECT_TRUE(FolderLock::TryLock(dir.Path()).Busy());
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  EXPECT_EQ(FolderLock::TryLock(dir.Path()).GetState(), FolderLock::State::kHeld);
}

// Anyone who may read a folder may lock the folder itself; that says nothing of runs.
TEST(FolderLock, ALockOnTheFolderItselfRefusesNoRun) {
  TempDir dir;
  FileDescriptor folder(::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_EQ(::flock(folder.Get(), LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(FolderLock::TryLock(dir.Path()).GetState(), FolderLock::State::kHeld);
}

// A folder its owner may write but not read (mode 0333) is locked too, and another user who
// can only read a folder can neither lock it nor take a run's lock.
TEST(FolderLock, WritableUnreadableFolderIsLockedAndAReaderCannotLockIt) {
  TempDir dir;
  const std::string folder = dir.Path() + "/d";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0) << "needs root";
  const int writable = AsNobody([&] {
    if (::chmod(folder.c_str(), 0333) != 0) return 1;
    FolderLock first = FolderLock::TryLock(folder);
    if (first.GetState() != FolderLock::State::kHeld) return 2;
    return FolderLock::TryLock(folder).Busy() ? 0 : 3;
  });
  if (writable == -1) GTEST_SKIP() << "cannot run as another user";
  EXPECT_EQ(writable, 0);

  // Now the folder belongs to root, and nobody may only read it.
  ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  FolderLock run = FolderLock::TryLock(folder);
  ASSERT_EQ(run.GetState(), FolderLock::State::kHeld);
  const int reader = AsNobody([&] {
    // The run's lock file is closed to it, and it cannot make one of its own.
    return FolderLock::TryLock(folder).GetState() == FolderLock::State::kUnlockable ? 0 : 1;
  });
  EXPECT_EQ(reader, 0);
}

}  // namespace
}  // namespace pixhaul::test
