// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Result pages in the layouts Bing, Google and Baidu serve today, built for tests: each result
// carries its full-size address the way the site writes it, beside the site's own thumbnails.
#pragma once

#include <string>
#include <vector>

#include "demo/markup_escapes.h"

namespace pixhaul::test {

// Bing: one <a class="iusc" m="..."> per result, its JSON's quotes written &quot; and every &
// of an address &amp;; `addresses` are the murl values as they should come out.
inline std::string TodaysBingResult(const std::string& address, int n) {
  const std::string id = std::to_string(n);
  const std::string m = "{\"cid\":\"x" + id + "\",\"purl\":\"https://example.org/p" + id +
                        ".html\",\"murl\":\"" + address +
                        "\",\"turl\":\"https://tse1.mm.bing.net/th?id=OIP." + id + "&pid=15.1\"}";
  return "<li><div class=\"iuscp\"><a class=\"iusc\" m=\"" + demo::HtmlAttributeText(m) +
         "\" href=\"/images/search?view=detailV2&amp;id=" + id +
         "\"><img class=\"mimg\" src=\"https://tse2.mm.bing.net/th?id=OIP." + id +
         "&amp;w=230\" alt=\"result " + id + "\"></a></div></li>\n";
}

inline std::string TodaysBingPage(const std::vector<std::string>& addresses) {
  std::string page = "<body><div id=\"b_content\"><ul class=\"dgControl_list\">\n";
  for (size_t i = 0; i < addresses.size(); ++i) {
    page += TodaysBingResult(addresses[i], static_cast<int>(i));
  }
  return page + "</ul></div></body>";
}

// Google: ["thumbnail",h,w],["full-size",h,w] per result inside an inline script, in JSON
// escapes; `addresses` are the full-size ones already escaped as the page writes them.
inline std::string TodaysGooglePage(const std::vector<std::string>& escapedAddresses) {
  std::string page =
      "<body><div id=\"islrg\"><img src=\"https://www.gstatic.com/images/branding/logo.png\">"
      "</div><script nonce=\"n\">AF_initDataCallback({key: 'ds:1', data:[null,[";
  for (size_t i = 0; i < escapedAddresses.size(); ++i) {
    const std::string id = std::to_string(i);
    page += "[1,[0,\"" + id + "\",[\"https://encrypted-tbn0.gstatic.com/images?q\\u003dtbn:ANd9Gc" +
            id + "\\u0026s\",194,259],[\"" + escapedAddresses[i] +
            "\",1200,1600],null,0,\"rgb(8,8,8)\"]],\n";
  }
  return page + "]]});</script></body>";
}

// Baidu: the flip layout's JSON, one object per result; `original` entries go into
// replaceUrl's ObjURL (empty: none), `copies` into middleURL and thumbURL. Slashes are written
// \/ as Baidu does.
inline std::string TodaysBaiduPage(const std::vector<std::string>& originals,
                                   const std::vector<std::string>& copies) {
  std::string page = "<body><script>window.flip.setData('imgData',{\"data\":[";
  for (size_t i = 0; i < copies.size(); ++i) {
    const std::string copy = demo::JsonStringText(copies[i]);
    page += "{\"thumbURL\":\"" + copy + "&fmt=auto\",\"middleURL\":\"" + copy +
            "\",\"hoverURL\":\"\",\"objURL\":\"ippr_z2C$qAzdH3FAzdH3F" + std::to_string(i) +
            "_z&e3Bv54AzdH3F\",";
    if (i < originals.size() && !originals[i].empty()) {
      page += "\"replaceUrl\":[{\"ObjURL\":\"" + demo::JsonStringText(originals[i]) +
              "\",\"FromURL\":\"http:\\/\\/example.org\\/page" + std::to_string(i) + "\"}],";
    }
    page += "\"width\":800},\n";
  }
  return page + "{}]});</script></body>";
}

}  // namespace pixhaul::test
