// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

ReplacementOptions Way(bool unnamed) {
  ReplacementOptions options;
  options.allowUnnamed = unnamed;
  options.tag = 7;
  return options;
}

// Whatever stands under the target's name - nothing, a file, a link to a file elsewhere, a
// link to nothing - the committed file replaces it whole, and nothing else is touched.
TEST(ReplacementFile, ReplacesWhateverStandsUnderTheNameAndFollowsNoLink) {
  struct Row {
    const char* what;
    void (*plant)(const TempDir& folder, const TempDir& outside);
    mode_t mode;  // of the new file; 0 for the default
  } rows[] = {
      {"nothing", [](const TempDir&, const TempDir&) {}, 0},
      {"a file",
       [](const TempDir& folder, const TempDir&) {
         WriteFileBytes(folder.File("run.txt"), "old content, longer than the new");
         ::chmod(folder.File("run.txt").c_str(), 0640);
       },
       0640},
      {"a link to a file elsewhere",
       [](const TempDir& folder, const TempDir& outside) {
         WriteFileBytes(outside.File("victim"), "precious");
         ::chmod(outside.File("victim").c_str(), 0600);
         std::filesystem::create_symlink(outside.File("victim"), folder.File("run.txt"));
       },
       0},
      {"a link to nothing",
       [](const TempDir& folder, const TempDir& outside) {
         std::filesystem::create_symlink(outside.File("created"), folder.File("run.txt"));
       },
       0},
  };
  const mode_t umask = ::umask(0);
  ::umask(umask);
  for (const Row& row : rows) {
    for (const bool unnamed : {true, false}) {
      SCOPED_TRACE(std::string(row.what) + (unnamed ? ", unnamed" : ", named"));
      TempDir folder;
      TempDir outside;
      row.plant(folder, outside);

      ReplacementFile file(folder.File("run.txt"), Way(unnamed));
      file.Write("new\r\n");
      file.Write("");
      file.Commit();

      EXPECT_EQ(file.Handle(), -1);
      EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"run.txt"});
      EXPECT_EQ(ReadFileBytes(folder.File("run.txt")), "new\r\n");
      struct stat info {};
      ASSERT_EQ(::lstat(folder.File("run.txt").c_str(), &info), 0);
      EXPECT_TRUE(S_ISREG(info.st_mode));
      EXPECT_EQ(info.st_mode & 0777, row.mode != 0 ? row.mode : 0666 & ~umask);
      if (std::filesystem::exists(outside.File("victim"))) {
        EXPECT_EQ(ReadFileBytes(outside.File("victim")), "precious");
      }
      EXPECT_FALSE(std::filesystem::exists(outside.File("created")));
    }
  }
}

// A replacement that is dropped, or cannot take the name, leaves the folder as it was; one that
// cannot be made names the target.
TEST(ReplacementFile, FailedOrDroppedReplacementLeavesTheFolderAsItWas) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    TempDir folder;
    WriteFileBytes(folder.File("run.txt"), "old");
    {
      ReplacementFile dropped(folder.File("run.txt"), Way(unnamed));
      dropped.Write("half of the new con");
    }
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"run.txt"});
    EXPECT_EQ(ReadFileBytes(folder.File("run.txt")), "old");

    std::filesystem::create_directories(folder.File("taken/inside"));
    EXPECT_EQ(Raised([&] {
                ReplacementFile file(folder.File("taken"), Way(unnamed));
                file.Write("bytes");
                file.Commit();
              }),
              "EFCreateError: Cannot create file " + folder.File("taken"));
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"run.txt", "taken"}));

    EXPECT_EQ(Raised([&] { ReplacementFile file(folder.File("missing/run.txt"), Way(unnamed)); }),
              "EFCreateError: Cannot create file " + folder.File("missing/run.txt"));
  }
}

// The name a file in progress has, where it has one, says which process it belongs to.
TEST(ReplacementFile, NamedFileInProgressCarriesThisProcessId) {
  TempDir folder;
  ReplacementFile file(folder.File("run.txt"), Way(false));
  const std::vector<std::string> names = FolderEntries(folder.Path());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(TemporaryFileOwner(names[0]), ::getpid()) << names[0];
}

TEST(TemporaryFileOwner, ReadsOnlyTheNamesThisProgramGives) {
  struct Row {
    const char* name;
    std::optional<pid_t> owner;
  } rows[] = {
      {".pixhaul-1234-0-0123abcd.part", 1234},
      {".pixhaul-99-17-ffffffff.part", 99},
      {".pixhaul-5--1-00000000.part", 5},
      {".pixhaul-1234-0-0123ABCD.part", std::nullopt},
      {".pixhaul-1234-0-0123abc.part", std::nullopt},
      {".pixhaul-1234-0123abcd.part", std::nullopt},
      {".pixhaul-0-0-0123abcd.part", std::nullopt},
      {".pixhaul--1-0-0123abcd.part", std::nullopt},
      {".pixhaul-99999999999-0-0123abcd.part", std::nullopt},
      {".pixhaul-1234-0-0123abcd.part.jpg", std::nullopt},
      {"pixhaul-1234-0-0123abcd.part", std::nullopt},
      {".pixhaul-notes.part", std::nullopt},
      {"http__h_a.jpg", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(TemporaryFileOwner(row.name), row.owner) << row.name;
}

// A process about to end with replacements in progress removes their named files, and no
// replacement takes a name after that.
TEST(ReplacementFileDeathTest, AbandonedFilesAreRemovedAndNoNameIsGivenAfter) {
  TempDir folder;
  EXPECT_EXIT(
      {
        ReplacementFile named(folder.File("a.txt"), Way(false));
        ReplacementFile unnamed(folder.File("b.txt"), Way(true));
        named.Write("a");
        unnamed.Write("b");
        AbandonTemporaryFiles();
        const bool removed = FolderEntries(folder.Path()).empty();
        bool refused = false;
        try {
          unnamed.Commit();
        } catch (const EFCreateError&) {
          refused = true;
        }
        try {
          ReplacementFile later(folder.File("c.txt"), Way(false));
          refused = false;
        } catch (const EFCreateError&) {
        }
        std::_Exit(removed && refused && FolderEntries(folder.Path()).empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pixhaul::test
