// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/file_utils.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

TEST(FileUtils, FileExistsIsFalseForFoldersAndMissingEntries) {
  TempDir dir;
  WriteFileBytes(dir.File("a.jpg"), "x");
  EXPECT_TRUE(FileExists(dir.File("a.jpg")));
  EXPECT_FALSE(FileExists(dir.File("b.jpg")));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(DirectoryExists(dir.File("a.jpg")));
  EXPECT_FALSE(DirectoryExists(dir.File("missing")));
  EXPECT_FALSE(DirectoryExists(""));
}

TEST(FileUtils, CreateDirMakesOneLevelAndNeverThrows) {
  TempDir dir;
  const std::string child = dir.File("child");
  EXPECT_TRUE(CreateDir(child));
  EXPECT_TRUE(DirectoryExists(child));
  EXPECT_FALSE(CreateDir(child)) << "an existing folder is a failure";
  bool created = true;
  EXPECT_NO_THROW(created = CreateDir(dir.File("missing/parent/leaf")));
  EXPECT_FALSE(created);
  EXPECT_FALSE(DirectoryExists(dir.File("missing")));
  EXPECT_FALSE(CreateDir(""));
}

TEST(FileUtils, ExtractFilePathKeepsTheTrailingSlash) {
  const struct {
    std::string path;
    std::string folder;
  } cases[] = {
      {"/usr/bin/pixhaul", "/usr/bin/"},
      {"/home/ann/images_download/", "/home/ann/images_download/"},
      {"pixhaul", ""},
      {"", ""},
      {"/", "/"},
      {"ini/config.ini", "ini/"},
      {"a\\b.jpg", ""},  // a backslash is an ordinary character here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << "path: " << c.path;
  }
}

}  // namespace
}  // namespace pixhaul::test
