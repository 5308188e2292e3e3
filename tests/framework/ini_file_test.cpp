// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "framework/exception.h"
#include "tests/support/raised.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

TEST(TIniFile, WritesCreateFileSectionAndKeysWithCrLf) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  TIniFile ini(path);
  ini.WriteString("IniParas", "DefaultPath", "/home/ann/images_download/");
  ini.WriteInteger("IniParas", "DefaultSite", 2);
  EXPECT_EQ(ReadFileBytes(path),
            "[IniParas]\r\nDefaultPath=/home/ann/images_download/\r\nDefaultSite=2\r\n");
  EXPECT_EQ(ini.ReadString("iniparas", "DEFAULTPATH", "x"), "/home/ann/images_download/");
  EXPECT_EQ(ini.ReadInteger("IniParas", "DefaultSite", 0), 2);
}

TEST(TIniFile, ReplacesAKeyInPlaceAndKeepsOtherLines) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteFileBytes(path,
                 "; settings\n[Other]\nDefaultSite=9\n\n[IniParas]\ndefaultsite = 1\nKeep=me\n\n"
                 "[Last]\nk=v\n");
  TIniFile ini(path);
  ini.WriteInteger("INIPARAS", "DefaultSite", -1);
  ini.WriteString("IniParas", "DefaultPath", "p");
  ini.WriteString("New", "a", "b");
  EXPECT_EQ(ReadFileBytes(path),
            "; settings\r\n[Other]\r\nDefaultSite=9\r\n\r\n[IniParas]\r\nDefaultSite=-1\r\n"
            "Keep=me\r\nDefaultPath=p\r\n\r\n[Last]\r\nk=v\r\n[New]\r\na=b\r\n");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"config.ini"})
      << "no temporary left";
  EXPECT_EQ(ini.ReadInteger("Other", "DefaultSite", 0), 9);
  EXPECT_EQ(ini.ReadInteger("IniParas", "DefaultSite", 0), -1);
}

TEST(TIniFile, ReadsLfAndCrLfFilesWithBlanksAroundNamesAndValues) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const std::string& bytes :
       {std::string("[IniParas]\r\nDefaultPath = /tmp/a b \r\n"),
        std::string("  [ IniParas ]  \nDefaultPath=/tmp/a b\n"),
        std::string("[x]\n[IniParas]\n\tdefaultpath\t=\t/tmp/a b\n[IniParas]\nDefaultPath=no")}) {
    WriteFileBytes(path, bytes);
    EXPECT_EQ(TIniFile(path).ReadString("IniParas", "DefaultPath", "d"), "/tmp/a b") << bytes;
  }
}

TEST(TIniFile, AbsentFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  TIniFile missing(dir.File("ini/config.ini"));
  EXPECT_EQ(missing.ReadString("IniParas", "DefaultPath", "/home/x/images_download"),
            "/home/x/images_download");
  EXPECT_EQ(missing.ReadInteger("IniParas", "DefaultSite", 0), 0);

  const std::string path = dir.File("config.ini");
  WriteFileBytes(path, "DefaultSite=2\n[IniParas]\nDefaultPath=p\n[Other]\nDefaultSite=1\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("IniParas", "DefaultSite", 7), 7) << "keys of other sections";
  EXPECT_EQ(ini.ReadString("NoSection", "DefaultPath", "d"), "d");
  EXPECT_EQ(TIniFile(dir.Path()).ReadString("IniParas", "DefaultPath", "d"), "d") << "a folder";
}

TEST(TIniFile, ReadSectionKeysListsTheFirstSectionsKeysInOrder) {
  TempDir dir;
  const std::string path = dir.File("rules.ini");
  WriteFileBytes(
      path,
      "top=1\n[Site]\n Rule1 = a\n; comment\n\nno equals sign\nrule1=again\nExclude1.1=b=c\n"
      "[other]\nx=1\n[SITE]\nLater=2\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadSectionKeys("site"),
            (std::vector<std::string>{"Rule1", "rule1", "Exclude1.1"}));
  EXPECT_EQ(ini.ReadSectionKeys("Other"), std::vector<std::string>{"x"});
  EXPECT_TRUE(ini.ReadSectionKeys("absent").empty());
  EXPECT_TRUE(TIniFile(dir.File("missing.ini")).ReadSectionKeys("Site").empty());
  EXPECT_TRUE(TIniFile(dir.Path()).ReadSectionKeys("Site").empty()) << "a folder";
}

TEST(TIniFile, LongValuesAreCutTo2047Characters) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  TIniFile ini(path);
  const std::string longValue(5000, 'v');
  ini.WriteString("IniParas", "DefaultPath", longValue);
  EXPECT_EQ(ini.ReadString("IniParas", "DefaultPath", ""), std::string(2047, 'v'));
  ini.WriteString("IniParas", "DefaultPath", std::string(2047, 'w'));
  EXPECT_EQ(ini.ReadString("IniParas", "DefaultPath", ""), std::string(2047, 'w'));
  EXPECT_EQ(ini.ReadString("IniParas", "Missing", longValue).size(), 2047u);
}

TEST(TIniFile, IntegerForms) {
  const struct {
    std::string text;
    int expected;
  } cases[] = {
      {"7", 7},
      {"-3", -3},
      {"+4", 4},
      {"0x1", 1},
      {"0X1f", 31},
      {"$10", 16},
      {"-$10", -16},
      {"-0x2", -2},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"abc", 42},
      {"", 42},
      {"0x", 42},
      {"$", 42},
      {"1.5", 42},
      {"12abc", 42},
      {"0x1g", 42},
      {"2147483648", 42},
      {"$100000000", 42},
      {"--1", 42},
      {"$-1", 42},
      {"1e3", 42},
  };
  TempDir dir;
  const std::string path = dir.File("config.ini");
  TIniFile ini(path);
  for (const auto& c : cases) {
    ini.WriteString("IniParas", "DefaultSite", c.text);
    EXPECT_EQ(ini.ReadInteger("IniParas", "DefaultSite", 42), c.expected) << "text: " << c.text;
  }
}

TEST(TIniFile, WriteIntoAMissingFolderRaisesUnableToWrite) {
  TempDir dir;
  const std::string path = dir.File("ini/config.ini");
  TIniFile ini(path);
  EXPECT_EQ(Raised([&] { ini.WriteInteger("IniParas", "DefaultSite", 1); }),
            "EIniFileException: Unable to write to " + path);
}

TEST(TIniFile, FailedWriteLeavesTheFileAndNoTemporaryBehind) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  const std::string original = "[IniParas]\r\nDefaultSite=1\r\n";
  WriteFileBytes(path, original);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);  // the folder refuses new files
  TIniFile ini(path);
  const std::string raised = Raised([&] { ini.WriteInteger("IniParas", "DefaultSite", 2); });
  ::chmod(dir.Path().c_str(), 0700);
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  EXPECT_EQ(raised, "EIniFileException: Unable to write to " + path);
  EXPECT_EQ(ReadFileBytes(path), original);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"config.ini"});
}

TEST(TIniFile, RewriteKeepsTheFilePermissions) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteFileBytes(path, "[IniParas]\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  TIniFile(path).WriteInteger("IniParas", "DefaultSite", 1);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace pixhaul::test
