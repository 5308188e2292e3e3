#include "download/file_naming.h"

#include <gtest/gtest.h>

#include <string>

namespace pixhaul {
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

TEST(FileNameFromUrl, LongAddressIsNotCut) {
  const std::string address = "http://h/" + std::string(5000, 'a') + "/" + std::string(5000, 'b');
  const std::string name = FileNameFromUrl(address);
  EXPECT_EQ(name.size(), address.size() - 1);  // only the colon is gone
  EXPECT_EQ(name, "http__h_" + std::string(5000, 'a') + "_" + std::string(5000, 'b'));
}

}  // namespace
}  // namespace pixhaul
