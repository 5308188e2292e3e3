// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/file_naming.h"

#include <gtest/gtest.h>

#include <string>

namespace pixhaul::test {
namespace {

struct NamingCase {
  std::string address;
  std::string name;
};

TEST(FileNameFromUrl, FlattensAddressesIntoNames) {
  const NamingCase cases[] = {
      {"http://h/pics/cat.jpg", "http__h_pics_cat.jpg"},
      {"https://h/a/b/photo.PNG", "https__h_a_b_photo.PNG"},
      {"http://h:8080/img/x.jpg", "http__h8080_img_x.jpg"},
      {"http://h/view?id=7&s=2", "http__h_view?id=7&s=2"},
      {"http://h/a%20b.jpg", "http__h_a%20b.jpg"},
      {"http://h/dir/", "http__h_dir_"},
      {"/p/c.jpg", "_p_c.jpg"},
      {"", ""},
      // Characters a file system may refuse are kept; the save fails later, not here.
      {"http://h/a\\b\\c.jpg", "http__h_a\\b\\c.jpg"},
      {"http://h/x*y\"z<w>|v.jpg", "http__h_x*y\"z<w>|v.jpg"},
      {" http://h/a b.jpg ", " http__h_a b.jpg "},
      // Only slashes turn into underscores, and only colons go: runs stay runs.
      {"//", "__"},
      {"::", ""},
      {":/:/:", "__"},
      {"http:///x", "http___x"},
      {"a:b:c", "abc"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameFromUrl(c.address), c.name) << "address: [" << c.address << "]";
  }
}

TEST(FileNameFromUrl, KeepsEveryOtherByteIncludingNulAndHighBytes) {
  const std::string address("h/\0\xC3\xA9\xFF:/", 8);
  EXPECT_EQ(FileNameFromUrl(address), std::string("h_\0\xC3\xA9\xFF_", 7));
}

TEST(FileNameFromUrl, SlashAndUnderscoreOrColonVariantsShareOneName) {
  EXPECT_EQ(FileNameFromUrl("http://h/a_b.jpg"), FileNameFromUrl("http://h/a/b.jpg"));
  EXPECT_EQ(FileNameFromUrl("http://h:80/a.jpg"), FileNameFromUrl("http://h80/a.jpg"));
}

TEST(FileNameFromUrl, NameTooLongForTheFileSystemIsShortenedTheSameWayEveryTime) {
  const std::string a250(250, 'a');
  // "http__h_" is 8 bytes: 247 more make a name of exactly 255, which is kept as it is.
  const std::string fits = "http://h/" + std::string(247, 'a');
  ASSERT_EQ(FileNameFromUrl(fits).size(), kMaxFileNameBytes);
  EXPECT_EQ(FileNameFromUrl(fits), "http__h_" + std::string(247, 'a'));

  struct LongCase {
    std::string address;
    std::string ending;  // what the shortened name ends with after its hash
  };
  const LongCase cases[] = {
      {"http://h/" + a250 + ".jpg", ".jpg"},
      {"https://h:8443/" + a250 + "/photo.JPEG?w=1&h=2#top", ".JPEG"},
      {"http://h/" + a250 + "/noextension", ""},
      {"http://h/" + a250 + "/odd.ext-with-dash", ""},
      {"http://h/" + a250 + "/x.averyverylongext", ""},
      {"http://h/" + a250 + ".jpg/", ""},
      {std::string(5000, '/'), ""},
  };
  for (const LongCase& c : cases) {
    SCOPED_TRACE(c.address.substr(0, 40) + "... " + std::to_string(c.address.size()) + " bytes");
    const std::string name = FileNameFromUrl(c.address);
    EXPECT_EQ(name.size(), kMaxFileNameBytes);
    EXPECT_EQ(name, FileNameFromUrl(c.address));
    const size_t tilde = name.size() - c.ending.size() - 17;
    EXPECT_EQ(name[tilde], '~');
    EXPECT_EQ(name.substr(name.size() - c.ending.size()), c.ending);
    EXPECT_EQ(name.substr(tilde + 1, 16).find_first_not_of("0123456789abcdef"), std::string::npos);
    // The start of the described name is kept, so the user still sees where the image came from.
    const std::string described = FileNameFromUrl(c.address.substr(0, 200));
    EXPECT_EQ(name.substr(0, 100), described.substr(0, 100));
  }

  // Addresses that share a long start still get names of their own.
  EXPECT_NE(FileNameFromUrl("http://h/" + a250 + "1.jpg"),
            FileNameFromUrl("http://h/" + a250 + "2.jpg"));
}

TEST(FileNameFromUrl, ShortenedNameDoesNotCutACharacterInHalf) {
  // Two-byte characters after an odd-length start put a character across the cut.
  std::string address = "http://h/x";
  for (int i = 0; i < 200; ++i) address += "\xC3\xA9";
  const std::string name = FileNameFromUrl(address);
  ASSERT_LE(name.size(), kMaxFileNameBytes);
  const size_t tilde = name.rfind('~');
  ASSERT_NE(tilde, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(name[tilde - 1]), 0xA9);
}

}  // namespace
}  // namespace pixhaul::test
