// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/uri.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pixhaul::test {
namespace {

struct UriParts {
  std::string protocol, host, port, path, resourceName, fragment;
  bool operator==(const UriParts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const UriParts& p) {
  return out << "{protocol=[" << p.protocol << "] host=[" << p.host << "] port=[" << p.port
             << "] path=[" << p.path << "] resource=[" << p.resourceName << "] fragment=["
             << p.fragment << "]}";
}

// Splits with the given starting values in every output, as a caller reusing its texts would.
UriParts Split(const std::string& address, const std::string& callerPort = "",
               const std::string& stale = "") {
  UriParts p{stale, stale, callerPort, stale, stale, stale};
  TIdURI::SplitAddress(address, p.protocol, p.host, p.path, p.resourceName, p.port, p.fragment);
  return p;
}

struct SplitCase {
  std::string address;
  UriParts parts;
};

TEST(TIdURISplitAddress, SplitsAddressesIntoRequestParts) {
  const SplitCase cases[] = {
      // {address, {protocol, host, port, path, resource name, fragment}}
      {"http://h/p/q/a.jpg", {"http", "h", "", "/p/q/", "a.jpg", ""}},
      {"https://h:8443/a.jpg", {"https", "h", "8443", "/", "a.jpg", ""}},
      {"HTTP://h", {"HTTP", "h", "", "/", "", ""}},
      {"http://h/", {"http", "h", "", "/", "", ""}},
      {"http://h/img.php?u=x/y.jpg", {"http", "h", "", "/img.php?u=x/", "y.jpg", ""}},
      {"http://h/a.jpg#top", {"http", "h", "", "/", "a.jpg", "top"}},
      {"http://h/p#x/y", {"http", "h", "", "/p#x/", "y", ""}},
      {"http://h\\p\\a.jpg", {"http", "h", "", "/p/", "a.jpg", ""}},
      {"p/a.jpg", {"", "", "", "/p/", "a.jpg", ""}},
      {"a.jpg", {"", "", "", "/", "a.jpg", ""}},
      {"", {"", "", "", "/", "", ""}},
      {"://h/a", {"", "h", "", "/", "a", ""}},
      {"http://h//x/a", {"http", "h", "", "/x/", "a", ""}},
      // More of the same rules.
      {"/abs/path/a.jpg", {"", "", "", "/abs/path/", "a.jpg", ""}},
      {"http://h:/a", {"http", "h", "", "/", "a", ""}},
      {"http://h:8080", {"http", "h", "8080", "/", "", ""}},
      {"http://h/a.jpg#", {"http", "h", "", "/", "a.jpg", ""}},
      {"http://h/a#b#c", {"http", "h", "", "/", "a", "b#c"}},
      {"http://h/a?q=1#f", {"http", "h", "", "/", "a?q=1", "f"}},
      {"ftp://h/x://y/z", {"ftp", "h", "", "/x://y/", "z", ""}},
      // An IPv6 literal keeps its brackets; its port follows the "]".
      {"http://[::1]:80/a", {"http", "[::1]", "80", "/", "a", ""}},
      {"http://[2001:db8::1]/a.png", {"http", "[2001:db8::1]", "", "/", "a.png", ""}},
      {"https://u:p@[::1]:8443?x", {"https", "[::1]", "8443", "/", "?x", ""}},
      {"http://[::1]:/a", {"http", "[::1]", "", "/", "a", ""}},
      {"http://[::1/a", {"http", "[", ":1", "/", "a", ""}},
      {"http:\\\\h\\a", {"http", "h", "", "/", "a", ""}},
      {"a#b/c", {"", "", "", "/a#b/", "c", ""}},
      // The authority ends at the first "/", "?" or "#"; what follows it stays in the target.
      {"http://127.0.0.1:8080?id=1", {"http", "127.0.0.1", "8080", "/", "?id=1", ""}},
      {"http://h:8080#x", {"http", "h", "8080", "/", "", "x"}},
      {"http://h?u=a/b.jpg", {"http", "h", "", "/?u=a/", "b.jpg", ""}},
      {"http://h:8080?x#y/z", {"http", "h", "8080", "/?x#y/", "z", ""}},
      {"http://h#f?q", {"http", "h", "", "/", "", "f?q"}},
      // User information up to the authority's last "@" is dropped.
      {"http://u:p@h:8080/a", {"http", "h", "8080", "/", "a", ""}},
      {"http://user@h/a", {"http", "h", "", "/", "a", ""}},
      {"http://a@b:c@h/x", {"http", "h", "", "/", "x", ""}},
      {"http://@h/x", {"http", "h", "", "/", "x", ""}},
      {"http://u@/x", {"http", "", "", "/", "x", ""}},
      {"http://h/a@b.jpg", {"http", "h", "", "/", "a@b.jpg", ""}},
      {"http://h?u=x@evil:1/y", {"http", "h", "", "/?u=x@evil:1/", "y", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Split(c.address), c.parts) << "address: [" << c.address << "]";
  }
}

TEST(TIdURISplitAddress, RelativeAddressKeepsTheCallersPort) {
  EXPECT_EQ(Split("p/a.jpg", "8080"), (UriParts{"", "", "8080", "/p/", "a.jpg", ""}));
  EXPECT_EQ(Split("/img.jpg", "443"), (UriParts{"", "", "443", "/", "img.jpg", ""}));
  EXPECT_EQ(Split("", "x"), (UriParts{"", "", "x", "/", "", ""}));
}

TEST(TIdURISplitAddress, AbsoluteAddressReplacesTheCallersPort) {
  EXPECT_EQ(Split("http://h/a", "8080").port, "");
  EXPECT_EQ(Split("http://h:81/a", "8080").port, "81");
}

TEST(TIdURISplitAddress, StaleOutputsAreClearedIncludingFragment) {
  EXPECT_EQ(Split("a.jpg", "", "stale"), (UriParts{"", "", "", "/", "a.jpg", ""}));
  EXPECT_EQ(Split("http://h/a", "", "stale"), (UriParts{"http", "h", "", "/", "a", ""}));
}

TEST(TIdURISplitAddress, NonNumericPortIsReturnedAsWritten) {
  EXPECT_EQ(Split("http://h:abc/a").port, "abc");
  EXPECT_EQ(Split("http://h: 80 /a").port, " 80 ");
}

TEST(TIdURISplitAddress, CallersAddressIsNotChanged) {
  const std::string address = "http://h\\p\\a.jpg";
  std::string protocol, host, path, resource, port, fragment;
  TIdURI::SplitAddress(address, protocol, host, path, resource, port, fragment);
  EXPECT_EQ(address, "http://h\\p\\a.jpg");
}

TEST(TIdURISplitAddress, PathAndResourceJoinToTheRestOfTheAddress) {
  // The request target is Path + ResourceName: the rest after the authority's slash.
  const UriParts p = Split("https://h:1/x/y?z=a/b&c=d#frag");
  EXPECT_EQ(p.path, "/x/y?z=a/");
  EXPECT_EQ(p.path + p.resourceName, "/x/y?z=a/b&c=d");
  const UriParts q = Split("https://h:1/x/y?z=a&c=d#frag");
  EXPECT_EQ(q.path + q.resourceName, "/x/y?z=a&c=d");
  EXPECT_EQ(q.fragment, "frag");
}

TEST(TIdURIUnifySlashes, TurnsEveryBackslashIntoASlash) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", ""},
      {"\\", "/"},
      {"a\\b\\\\c", "a/b//c"},
      {"no slashes", "no slashes"},
      // UTF-8 has no lead bytes that could swallow the byte after them.
      {"\xE6\x96\x87\\\xC3\xA9\\", "\xE6\x96\x87/\xC3\xA9/"},
      {"\x81\\x", "\x81/x"},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    TIdURI::UnifySlashes(text);
    EXPECT_EQ(text, c.out) << "input: [" << c.in << "]";
  }
}

}  // namespace
}  // namespace pixhaul::test
