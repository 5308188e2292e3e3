// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Pages of the marker scan's edge cases, with the entries each site's marker cuts from them:
// the extraction must give exactly these, and a run's harvest must keep them byte for byte.
#pragma once

#include <string>
#include <vector>

namespace pixhaul::test {

struct ExtractionCase {
  int site;
  std::string page;
  std::vector<std::string> entries;
};

inline const std::vector<ExtractionCase>& EdgeCases() {
  static const std::vector<ExtractionCase> cases = {
      // Bing: the marker and the one byte after it are dropped; no scheme needed.
      {0, R"(m='{imgurl:"/p/c.jpg",w:"1"}')", {"/p/c.jpg"}},
      {0, R"(imgurl:x/p/d.jpg")", {"/p/d.jpg"}},
      {0, R"(imgurl:&quot;/p/e.jpg&quot;,k:"2")", {"quot;/p/e.jpg&quot;,k:"}},
      {0, R"(imgurl:"/a" imgurl:"/b" imgurl:"/a")", {"/a", "/b", "/a"}},
      {0, R"(imgurl:"")", {""}},
      {0, R"(imgurl:" /sp ace.jpg ")", {" /sp ace.jpg "}},
      // A marker inside an address is found again: the next search starts at the address.
      {0, R"(imgurl:"/aimgurl:"/b")", {"/aimgurl:", "/b"}},
      // Markers 7 bytes apart: the byte skipped after the first hides the second.
      {0, "imgurl:imgurl:\"/z\"", {"mgurl:"}},
      // Google and Baidu: the address starts at the "http" that ends the marker.
      {1, R"([{"id":"x","ou":"http://h/p/a.jpg","ow":640}])", {"http://h/p/a.jpg"}},
      {1, R"("ou":"http:\/\/h\/f.jpg")", {R"(http:\/\/h\/f.jpg)"}},
      {1, R"("ou":"https://h/s.jpg")", {"https://h/s.jpg"}},
      {1, R"("ou":"http"ou":"http://x")", {"http", "http://x"}},
      {1, R"("ou": "http://h/a.jpg")", {}},
      {1, R"("OU":"http://h/a.jpg")", {}},
      {1, R"("ou":"ftp://h/a.jpg")", {}},
      {1, R"("ou":"HTTP://h/a.jpg")", {}},
      {2, R"({"objURL":"http://h/b.png","fromURL":"x"})", {"http://h/b.png"}},
      {2,
       R"("objURL":"http://h/%20a&amp;b.png","objURL":"http://h/%20a&amp;b.png")",
       {"http://h/%20a&amp;b.png", "http://h/%20a&amp;b.png"}},
      {2, R"("objurl":"http://h/b.png")", {}},
      // Missing closing quotes: an empty entry when none follows, else a run across lines.
      {0, R"(imgurl:"/a" imgurl:"/b)", {"/a", ""}},
      {0, "x imgurl:", {""}},
      {1, R"(x "ou":"http)", {""}},
      {2, R"("objURL":"http)", {""}},
      {0, "imgurl:\"/x\nb\"c", {"/x\r\nb"}},
      {0, "imgurl:\"/x\rb\"c", {"/x\r\nb"}},
      {0, "imgurl:\"/x\r\n\r\nb\"", {"/x\r\n\r\nb"}},
      // Every line break reads as CR LF, and a page's lines never run together.
      {0, "a\nimgurl:\"/x\"\nb\n", {"/x"}},
      {0, "imgurl:\"/x\"\rimgurl:\"/y\"\r\n", {"/x", "/y"}},
      {0, "imgurl\n:\"/x\"", {}},
      // A NUL byte ends the page.
      {0, std::string("imgurl:\"/a\"\0imgurl:\"/b\"", 23), {"/a"}},
      {0, std::string("imgurl:\"/a\0\"", 12), {""}},
      // The marker follows the index passed in, not the page.
      {0, R"("ou":"http://h/g.jpg",x:"imgurl:"/z")", {"/z"}},
      {1, R"(imgurl:"/a" "objURL":"http://h/b")", {}},
      {3, R"(imgurl:"/a" "ou":"http://h/g" "objURL":"http://h/b")", {}},
      {-1, R"(imgurl:"/a" "ou":"http://h/g" "objURL":"http://h/b")", {}},
      // An entry that begins with a scheme (any case) keeps the marker's list even where the
      // current-layout rules would find other addresses.
      {0,
       R"(imgurl:"+x" imgurl:"http://h/a.jpg" murl&quot;:&quot;http://h/b.jpg&quot;)",
       {"+x", "http://h/a.jpg"}},
      {0, R"(imgurl:"HTTPS://h/c.jpg" <a m='{"murl":"http://h/d.jpg"}'>)", {"HTTPS://h/c.jpg"}},
      {1, R"("ou":"http://h/f.jpg" ["http://h/g.jpg",1,2])", {"http://h/f.jpg"}},
      {2, R"("objURL":"http://h/e.jpg","objURL":"ippr_z2C$qAzdH3FAzdH3Fk")", {"http://h/e.jpg"}},
      {0, "no marker here", {}},
      {0, "", {}},
  };
  return cases;
}

}  // namespace pixhaul::test
