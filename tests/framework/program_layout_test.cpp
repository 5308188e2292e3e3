// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Where the program keeps its settings and finds its manual: beside a program folder it may
// write, in the user's configuration folder when installed or when the folder is read-only,
// and how XDG_CONFIG_HOME and HOME choose that folder.
#include "framework/program_layout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

// Sets an environment variable (or removes it) for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// prefix/bin/ beside prefix/share/pixhaul/help/, as an installation leaves it.
std::string MakeInstalledPrefix(const TempDir& dir) {
  std::filesystem::create_directories(dir.File("usr/bin"));
  std::filesystem::create_directories(dir.File("usr/share/pixhaul/help"));
  return dir.File("usr/bin/");
}

TEST(ProgramLayout, UserConfigFolderFollowsXdgConfigHomeElseHome) {
  ScopedEnv home("HOME", "/home/ann");
  const struct {
    std::optional<std::string> xdg;
    std::string folder;
  } cases[] = {
      {std::nullopt, "/home/ann/.config/"},      {"", "/home/ann/.config/"},
      {"relative/config", "/home/ann/.config/"},  // only an absolute path counts
      {"/data/ann-config", "/data/ann-config/"}, {"/data/ann-config/", "/data/ann-config/"},
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(UserConfigFolder(), c.folder) << (c.xdg ? *c.xdg : "<unset>");
  }
}

TEST(ProgramLayout, WritableProgramFolderKeepsItsFilesBesideItself) {
  TempDir dir;
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("config"));
  const std::string program = dir.Path() + "/";
  EXPECT_FALSE(IsInstalledProgramFolder(program));
  EXPECT_TRUE(KeepsFilesBesideProgram(program));
  EXPECT_EQ(SettingsFolder(program), program + "ini/");
  EXPECT_EQ(ManualPath(program), program + "help/help.chm");
  // The ini folder beside the program is never made: a missing one fails the write, as ever.
  EXPECT_FALSE(PrepareSettingsFolder(program));
  EXPECT_FALSE(std::filesystem::exists(dir.File("ini")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("config")));
  std::filesystem::create_directory(dir.File("ini"));
  EXPECT_TRUE(PrepareSettingsFolder(program));
}

TEST(ProgramLayout, InstalledProgramUsesTheUserConfigFolderAndTheInstalledManual) {
  TempDir dir;
  const std::string program = MakeInstalledPrefix(dir);
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("home/ann/.config"));
  // Writable or not (root may write the prefix), an installation keeps nothing beside itself.
  ASSERT_EQ(::access(program.c_str(), W_OK), 0);
  EXPECT_TRUE(IsInstalledProgramFolder(program));
  EXPECT_FALSE(KeepsFilesBesideProgram(program));
  EXPECT_EQ(SettingsFolder(program), dir.File("home/ann/.config/pixhaul/"));
  EXPECT_EQ(ManualPath(program), program + "../share/pixhaul/help/help.html");

  // Preparing makes every missing level, private to the user; an existing folder is fine.
  EXPECT_TRUE(PrepareSettingsFolder(program));
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("home/ann/.config/pixhaul").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(PrepareSettingsFolder(program));
  EXPECT_FALSE(std::filesystem::exists(program + "ini"));
}

TEST(ProgramLayout, PrepareFailsWhereTheConfigFolderCannotBeMade) {
  TempDir dir;
  const std::string program = MakeInstalledPrefix(dir);
  WriteFileBytes(dir.File("file"), "x");
  ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("file/config"));  // a file stands in the way
  EXPECT_FALSE(PrepareSettingsFolder(program));
}

// A program folder the user may not write is checked in a child process that runs as an
// ordinary user (nobody) when the tests run as root, since permissions do not bind root.
TEST(ProgramLayout, ReadOnlyProgramFolderUsesTheUserConfigFolder) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  const std::string readOnly = dir.File("ro/");
  const std::string writable = dir.File("rw/");
  std::filesystem::create_directories(readOnly + "ini");
  std::filesystem::create_directories(writable);
  ::chmod(readOnly.c_str(), 0555);
  ::chmod(writable.c_str(), 0777);

  int results[2];
  ASSERT_EQ(::pipe(results), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    const std::string seen = SettingsFolder(readOnly) + "|" + ManualPath(readOnly) + "|" +
                             SettingsFolder(writable) + "|" +
                             (KeepsFilesBesideProgram(readOnly) ? "beside" : "user");
    const bool written =
        ::write(results[1], seen.data(), seen.size()) == static_cast<ssize_t>(seen.size());
    ::_exit(written ? 0 : 4);
  }
  ::close(results[1]);
  std::string seen;
  char buffer[512];
  for (ssize_t n; (n = ::read(results[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
  ::close(results[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  ::chmod(readOnly.c_str(), 0755);

  // The manual stays beside a read-only copy: only an installation moves it.
  EXPECT_EQ(seen, "/xdg/pixhaul/|" + readOnly + "help/help.chm|" + writable + "ini/|user");
}

}  // namespace
}  // namespace pixhaul::test
