// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Result pages in the layouts Bing, Google and Baidu serve today, built for tests: each result
// carries its full-size address the way the site writes it, beside the site's own thumbnails,
// icons and copies, and each page has the inline scripts that mention the data's keys in code.
#pragma once

#include <string>
#include <vector>

#include "demo/markup_escapes.h"

namespace pixhaul::test {

// Bing's inline script: code that builds "imgurl:" texts and reads the m attribute's keys. The
// site's marker cuts two entries from it, "+encodeURIComponent(i));r&&(s=s.replace(" and
// "+((n===null||n===void 0?void 0:n.murl)||".
inline const std::string kTodaysBingScript =
    "<script type=\"text/javascript\">var ig_m=function(r){try{var n=JSON.parse(r.getAttribute("
    "\"m\"));return n.murl||n.turl}catch(t){return null}};function sj_iu(n,t,i,r){var "
    "s=t.replace(\"%IMAGEURL%\",\"imgurl:\"+encodeURIComponent(i));r&&(s=s.replace(\"%IMAGEKEY%"
    "\",r));return s}var iu=function(n){return\"imgurl:\"+((n===null||n===void 0?void "
    "0:n.murl)||\"\")};var mk=function(h,p){return{\"murl\":\"https://\"+h+p,\"turl\":\"\"}};"
    "</script>\n";

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
  std::string page =
      "<body>" + kTodaysBingScript + "<div id=\"b_content\"><ul class=\"dgControl_list\">\n";
  for (size_t i = 0; i < addresses.size(); ++i) {
    page += TodaysBingResult(addresses[i], static_cast<int>(i));
  }
  return page + "</ul></div></body>";
}

// Bing's earlier server-rendered attribute: keys without quotes, the address under imgurl.
inline std::string EarlierBingPage(const std::vector<std::string>& addresses) {
  std::string page = "<body><div id=\"dg_c\">\n";
  for (size_t i = 0; i < addresses.size(); ++i) {
    const std::string id = std::to_string(i);
    const std::string m = "{ns:\"images\",k:\"50" + id + "\",surl:\"http://example.org/page" + id +
                          ".html\",imgurl:\"" + addresses[i] + "\",oh:\"256\",ow:\"300\"}";
    page += "<div class=\"dg_u\"><a href=\"#\" m=\"" + demo::HtmlAttributeText(m) +
            "\"><img src=\"http://ts1.mm.bing.net/th?id=H." + id + "\"></a></div>\n";
  }
  return page + "</div></body>";
}

// Google: per result, ["thumbnail",h,w] and ["full-size",h,w] inside an inline script, in JSON
// escapes, followed by the source page's icon and preview; the site's logos come first, and a
// script builds such arrays in code. `escapedAddresses` are the full-size ones as the page
// writes them. Every array that is not a full-size result is on one of Google's own hosts.
inline std::string TodaysGooglePage(const std::vector<std::string>& escapedAddresses) {
  std::string page =
      "<body><div id=\"islrg\"><img src=\"https://www.gstatic.com/images/branding/logo.png\">"
      "</div><script nonce=\"n\">var g=function(a){return[\"https://\"+a.h,a.y,a.x]};</script>"
      "<script nonce=\"n\">AF_initDataCallback({key: 'ds:0', data:[[\"https://www.google.com/"
      "images/branding/googlelogo/2x/googlelogo_color_92x30dp.png\",30,92],[\"https:\\/\\/www."
      "gstatic.com\\/images\\/branding\\/googlelogo\\/svg\\/googlelogo_clr_74x24px.svg\",24,74],"
      "[\"https://ssl.gstatic.com/gb/images/bar/al-icon.png\",24,24]]});</script>"
      "<script nonce=\"n\">AF_initDataCallback({key: 'ds:1', data:[null,[";
  for (size_t i = 0; i < escapedAddresses.size(); ++i) {
    const std::string id = std::to_string(i);
    page += "[1,[0,\"" + id + "\",[\"https://encrypted-tbn0.gstatic.com/images?q\\u003dtbn:ANd9Gc" +
            id + "\\u0026s\",194,259],[\"" + escapedAddresses[i] +
            "\",1200,1600],null,0,\"rgb(8,8,8)\",null,0,{\"2003\":[null,\"" + id +
            "\",\"https://example.org/page" + id +
            ".html\",\"Page title\",null,[\"https://encrypted-tbn1.gstatic.com/faviconV2?url"
            "\\u003dhttps://example.org\\u0026client\\u003dVFE\\u0026size\\u003d16\",16,16],["
            "\"https://www.google.com/s2/favicons?domain\\u003dexample.org\",32,32],[\"https:"
            "//encrypted-tbn2.gstatic.com/images?q\\u003dtbn:ANd9GcP" +
            id + "\",90,160]]}]],\n";
  }
  return page + "]]});</script></body>";
}

// Google's lite layout: one <div class="islrtb isv-r"> per result, the full-size address in the
// clear in data-ou (an attribute's escapes: & as &amp;), the source page in data-ru and the
// thumbnail in an inner <img>, a data: image for the first results and encrypted-tbn0 for the
// rest; a script of the page holds the site's logo as an array. `addresses` are the data-ou
// values as they should come out.
inline std::string TodaysGoogleLitePage(const std::vector<std::string>& addresses) {
  std::string page =
      "<body><script nonce=\"n\">var l=[\"https://www.gstatic.com/images/branding/logo.png\","
      "30,92];</script><div id=\"islrg\"><div class=\"islrc\">\n";
  for (size_t i = 0; i < addresses.size(); ++i) {
    const std::string id = std::to_string(i);
    const std::string thumbnail =
        i < 2 ? "data:image/jpeg;base64,/9j/4AAQSkZJRg" + id + "AAQ=="
              : "https://encrypted-tbn0.gstatic.com/images?q=tbn:ANd9GcQ" + id + "&amp;usqp=CAU";
    page += "<div class=\"islrtb isv-r\" data-docid=\"d" + id + "\" data-oh=\"992\" data-ou=\"" +
            demo::HtmlAttributeText(addresses[i]) + "\" data-ow=\"1342\" data-pt=\"Result " + id +
            " &quot;title&quot;\" data-ru=\"https://example.org/page" + id +
            ".html?a=1&amp;b=2\" data-tw=\"261\"><a href=\"/imgres?imgurl=x&amp;id=" + id +
            "\"><img class=\"rg_i\" src=\"" + thumbnail + "\" data-iid=\"" + id +
            "\" width=\"261\" height=\"193\"></a></div>\n";
  }
  return page + "</div></div></body>";
}

// One Baidu result: `objUrl` as the page writes it (BaiduCipherText, or the plain address as
// JsonStringText; empty: no objURL), `alternate` the address in replaceUrl's ObjURL (empty:
// none), `copy` Baidu's own copy (middleURL, and thumbURL with a size added).
struct TodaysBaiduResult {
  std::string objUrl;
  std::string alternate;
  std::string copy;
};

// Baidu's inline code, which names the keys in strings of code and deciphers objURL itself.
inline const std::string kTodaysBaiduScript =
    "<script>var K=\"objURL\",T={\"objURL\":\"\",\"thumbURL\":\"https://\"+location.host};"
    "function d(e){var o={\"objURL\":\"https:\"+e.h,\"middleURL\":\"ippr\"+e.m};return "
    "e[K].replace(/_z2C\\$q/g,\":\").replace(/AzdH3F/g,\"/\")}</script>\n";

// Baidu: the flip layout's JSON, one object per result. Slashes of plain addresses are written
// \/ as Baidu does.
inline std::string TodaysBaiduPage(const std::vector<TodaysBaiduResult>& results) {
  std::string page =
      "<body>" + kTodaysBaiduScript + "<script>window.flip.setData('imgData',{\"data\":[";
  for (size_t i = 0; i < results.size(); ++i) {
    const TodaysBaiduResult& r = results[i];
    const std::string copy = demo::JsonStringText(r.copy);
    page +=
        "{\"thumbURL\":\"" + copy + "&fmt=auto\",\"middleURL\":\"" + copy + "\",\"hoverURL\":\"\",";
    if (!r.objUrl.empty()) page += "\"objURL\":\"" + r.objUrl + "\",";
    if (!r.alternate.empty()) {
      page += "\"replaceUrl\":[{\"ObjURL\":\"" + demo::JsonStringText(r.alternate) +
              "\",\"FromURL\":\"http:\\/\\/example.org\\/page" + std::to_string(i) + "\"}],";
    }
    page += "\"width\":800},\n";
  }
  return page + "{}]});</script></body>";
}

}  // namespace pixhaul::test
