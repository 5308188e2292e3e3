// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Request targets: redirect references read as RFC 3986 reads them, and target bytes that must
// not reach the request line raw.
#include "http/request_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pixhaul::test {
namespace {

// The examples of RFC 3986 section 5.4 whose reference has no scheme and no authority, read
// against the base http://a/b/c/d;p?q: only the target ("/path?query") of each result is
// compared, as that is what a redirect on the same connection sends.
TEST(RequestTarget, ResolvesRelativeReferencesAsRfc3986Section54) {
  struct Case {
    std::string reference;
    std::string target;
  };
  const std::vector<Case> cases = {
      // Normal examples.
      {"g", "/b/c/g"},
      {"./g", "/b/c/g"},
      {"g/", "/b/c/g/"},
      {"/g", "/g"},
      {"?y", "/b/c/d;p?y"},
      {"g?y", "/b/c/g?y"},
      {"#s", "/b/c/d;p?q"},
      {"g#s", "/b/c/g"},
      {"g?y#s", "/b/c/g?y"},
      {";x", "/b/c/;x"},
      {"g;x", "/b/c/g;x"},
      {"g;x?y#s", "/b/c/g;x?y"},
      {"", "/b/c/d;p?q"},
      {".", "/b/c/"},
      {"./", "/b/c/"},
      {"..", "/b/"},
      {"../", "/b/"},
      {"../g", "/b/g"},
      {"../..", "/"},
      {"../../", "/"},
      {"../../g", "/g"},
      // Abnormal examples.
      {"../../../g", "/g"},
      {"../../../../g", "/g"},
      {"/./g", "/g"},
      {"/../g", "/g"},
      {"g.", "/b/c/g."},
      {".g", "/b/c/.g"},
      {"g..", "/b/c/g.."},
      {"..g", "/b/c/..g"},
      {"./../g", "/b/g"},
      {"./g/.", "/b/c/g/"},
      {"g/./h", "/b/c/g/h"},
      {"g/../h", "/b/c/h"},
      {"g;x=1/./y", "/b/c/g;x=1/y"},
      {"g;x=1/../y", "/b/c/y"},
      {"g?y/./x", "/b/c/g?y/./x"},
      {"g?y/../x", "/b/c/g?y/../x"},
      {"g#s/./x", "/b/c/g"},
      {"g#s/../x", "/b/c/g"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveRelativeTarget("/b/c/d;p?q", c.reference), c.target)
        << "reference: " << c.reference;
  }
  // A query may hold slashes and addresses of its own; only the path is merged.
  EXPECT_EQ(ResolveRelativeTarget("/img.php?u=x/y.jpg", "z.jpg"), "/z.jpg");
  EXPECT_EQ(ResolveRelativeTarget("/a/b", "../c?u=http://x/y"), "/c?u=http://x/y");
}

TEST(RequestTarget, SchemeIsReadOnlyAtTheStart) {
  struct Case {
    std::string reference;
    std::string scheme;
  };
  const std::vector<Case> cases = {
      {"http://h/a", "http"},
      {"HTTPS://h/a", "HTTPS"},
      {"g:h", "g"},
      {"ftp://h/a", "ftp"},
      {"svn+ssh://h", "svn+ssh"},
      {"mailto:x@y", "mailto"},
      {"/go?u=http://x/y", ""},
      {"a.jpg", ""},
      {"//h/a", ""},
      {"./g:h", ""},
      {"1a:b", ""},
      {"", ""},
      {"a/b:c", ""},
      {"?x:y", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReferenceScheme(c.reference), c.scheme) << "reference: " << c.reference;
  }
}

TEST(RequestTarget, EncodesBytesThatCouldBreakTheRequestLine) {
  struct Case {
    std::string target;
    std::string encoded;
  };
  const std::vector<Case> cases = {
      {"/a/b.jpg?x=1&y=%41", "/a/b.jpg?x=1&y=%41"},
      {"/p q/r\tz", "/p%20q/r%09z"},
      {"/a\r\nHost: evil\r\n\r\n", "/a%0D%0AHost:%20evil%0D%0A%0D%0A"},
      {std::string("/nul\0x", 6), "/nul%00x"},
      {"/\x7f\x80\xff\xc3\xa9", "/%7F%80%FF%C3%A9"},
      {"/~!$&'()*+,;=:@[]{}|\\^`\"<>", "/~!$&'()*+,;=:@[]{}|\\^`\"<>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeRequestTarget(c.target), c.encoded) << "target: " << c.target;
  }
}

}  // namespace
}  // namespace pixhaul::test
