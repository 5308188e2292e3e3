// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "demo/demo_site.h"

#include <algorithm>

#include "demo/markup_escapes.h"
#include "demo/page_growth.h"
#include "demo/png_encoder.h"

namespace pixhaul::demo {

namespace {

// Reads the n of "/<prefix><n>.png"; -1 when the target is not of that form.
int ImageNumber(const std::string& target, const std::string& prefix) {
  if (target.rfind(prefix, 0) != 0 || target.size() <= prefix.size() + 4 ||
      target.compare(target.size() - 4, 4, ".png") != 0) {
    return -1;
  }
  const std::string digits = target.substr(prefix.size(), target.size() - prefix.size() - 4);
  if (digits.empty() || digits.size() > 6 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stoi(digits);
}

const char* const kSiteTitles[] = {"Bing", "Google", "Baidu"};

// Today's pages add a query to each address that only decoding gives back: Bing writes its
// & as &amp;, Google its = and & as \u003d and \u0026 (and / as \/), Baidu its / as \/.
const char* const kTodaysQueries[] = {"?w=48&h=48", "?size=48&fmt=png", ""};

// Today's Bing pages carry code that builds "imgurl:" texts, so the site's marker cuts script
// text from them, never an address.
const char* const kTodaysBingScript =
    "<script>function sj_iu(n,t,i){return t.replace(\"%IMAGEURL%\",\"imgurl:\"+"
    "encodeURIComponent(i))}var ig_m=function(r){return JSON.parse(r.getAttribute(\"m\")).murl};"
    "</script>\n";

}  // namespace

DemoSite::DemoSite(Options options) : options_(options) {
  for (int n = 0; n < options.imageCount; ++n) {
    images_.push_back(PatternPng(n, options.width, options.height));
  }
}

void DemoSite::SetBases(std::string httpBase, std::string httpsBase) {
  std::lock_guard lock(basesMutex_);
  httpBase_ = std::move(httpBase);
  httpsBase_ = std::move(httpsBase);
}

std::pair<std::string, std::string> DemoSite::Bases() const {
  std::lock_guard lock(basesMutex_);
  return {httpBase_, httpsBase_};
}

std::string DemoSite::PagePath(int site) {
  static const char* const kPaths[] = {"/bing.html", "/google.html", "/baidu.html"};
  return kPaths[site];
}

std::vector<std::string> DemoSite::ImageAddresses() const {
  const auto [httpBase, httpsBase] = Bases();
  std::vector<std::string> addresses;
  for (int n = 0; n < ImageCount(); ++n) {
    const std::string name = std::to_string(n) + ".png";
    if (n % 7 == 5) {
      addresses.push_back(httpBase + "/redirect/" + name);
    } else if (n % 3 == 1) {
      addresses.push_back(httpsBase + "/img/" + name);
    } else {
      addresses.push_back(httpBase + "/img/" + name);
    }
  }
  return addresses;
}

std::string DemoSite::TodaysPagePath(int site) {
  static const char* const kPaths[] = {"/today/bing.html", "/today/google.html",
                                       "/today/baidu.html"};
  return kPaths[site];
}

std::vector<std::string> DemoSite::TodaysImageAddresses(int site) const {
  std::vector<std::string> addresses = ImageAddresses();
  for (std::string& address : addresses) address += kTodaysQueries[site];
  return addresses;
}

// The top of every page, with links to all of them, so a window on one can reach the others.
std::string DemoSite::PageHead(const std::string& title, const std::string& heading) const {
  std::string head = "<html><head><title>Pixhaul demo: " + title +
                     "</title><style>"
                     "body{font-family:sans-serif;margin:12px} figure{display:inline-block;"
                     "margin:6px} figcaption{font-size:11px;color:#555} .m{display:none}"
                     " body{overflow-anchor:none} #results-end{min-height:100vh;color:#555}"
                     "</style></head>\n<body>\n<h2>Demo image results (" +
                     heading + ")</h2>\n<p>Demo pages:";
  for (int site = 0; site < 3; ++site) {
    head += std::string(" <a href=\"") + PagePath(site) + "\">" + kSiteTitles[site] + "</a>";
  }
  head += "; in today's layout:";
  for (int site = 0; site < 3; ++site) {
    head += std::string(" <a href=\"") + TodaysPagePath(site) + "\">" + kSiteTitles[site] + "</a>";
  }
  return head +
         "</p>\n<form><input value=\"test pattern\"> <button "
         "type=\"button\">Search</button></form>\n";
}

int DemoSite::FirstBatchCount() const {
  return options_.batch > 0 ? std::min(options_.batch, ImageCount()) : ImageCount();
}

std::string DemoSite::ResultsAndGrowth(const std::string& firstBatch, int site,
                                       const std::string& pagePath) const {
  PageGrowth growth;
  growth.pagePath = pagePath;
  growth.shown = FirstBatchCount();
  growth.total = ImageCount();
  growth.batch = options_.batch;
  growth.delayMs = options_.growthDelayMs;
  growth.batchesBeforeButton = site == 1 ? std::max(1, options_.batchesBeforeButton) : 0;
  return "<div id=\"results\">" + firstBatch + "</div>\n" + PageGrowthMarkup(growth);
}

std::string DemoSite::TodaysResults(int site, int from, int to) const {
  const std::vector<std::string> addresses = TodaysImageAddresses(site);
  const std::string base = Bases().first;
  std::string page = "<div class=\"batch\">\n";
  std::string data;  // Google's and Baidu's script data
  for (int i = from; i < to; ++i) {
    const std::string n = std::to_string(i);
    const std::string& address = addresses[static_cast<size_t>(i)];
    const std::string thumb = base + "/thumb/" + n + ".png";
    const std::string picture =
        "<img src=\"" + thumb + "\" width=\"64\" height=\"64\" alt=\"result " + n + "\">";
    switch (site) {
      case 0: {
        // Each result's data is JSON in the m attribute; the turl is Bing's own thumbnail.
        const std::string m =
            "{\"cid\":\"" + n + "\",\"purl\":\"" + base + "/page/" + n + ".html\",\"murl\":\"" +
            address + "\",\"turl\":\"https://tse1.mm.bing.net/th?id=OIP.demo" + n + "&pid=15.1\"}";
        page += "<figure><a class=\"iusc\" m=\"" + HtmlAttributeText(m) +
                "\" href=\"/images/search?view=detailV2&amp;id=" + n + "\">" + picture +
                "</a><figcaption>result " + n + "</figcaption></figure>\n";
        break;
      }
      case 1:
        page += "<figure>" + picture + "<figcaption>result " + n + "</figcaption></figure>\n";
        data += "[1,[0,\"" + n +
                "\",[\"https://encrypted-tbn0.gstatic.com/images?q\\u003dtbn:ANd9GcDemo" + n +
                "\\u0026s\",194,259],[\"" + JsonStringText(address, true) +
                "\",48,48],null,0,\"rgb(8,8,8)\"]],\n";
        break;
      default:
        page += "<figure>" + picture + "<figcaption>result " + n + "</figcaption></figure>\n";
        // The original is enciphered in objURL; replaceUrl names a copy of it.
        data += "{\"thumbURL\":\"" + JsonStringText(thumb, false) + "\",\"middleURL\":\"" +
                JsonStringText(thumb, false) + "\",\"hoverURL\":\"\",\"objURL\":\"" +
                BaiduCipherText(address) + "\",\"replaceUrl\":[{\"ObjURL\":\"" +
                JsonStringText(thumb, false) + "\",\"FromURL\":\"" +
                JsonStringText(base + "/page/" + n + ".html", false) + "\"}],\"width\":48},\n";
        break;
    }
  }
  // Each batch brings its data in a script block of its own, as the sites' pages do.
  const std::string key = std::to_string(from);
  if (site == 1) {
    page += "<script nonce=\"demo\">AF_initDataCallback({key: 'ds:" + key + "', data:[null,[\n" +
            data + "]]});</script>\n";
  } else if (site == 2) {
    page += "<script>window.flip.setData('imgData" + key + "',{\"data\":[\n" + data +
            "{}]});</script>\n";
  }
  return page + "</div>\n";
}

std::string DemoSite::TodaysPage(int site) const {
  std::string page = PageHead(std::string(kSiteTitles[site]) + " image results, today's layout",
                              std::string(kSiteTitles[site]) + " markup of today");
  if (site == 0) {
    page += kTodaysBingScript;
  } else if (site == 1) {
    page += "<script nonce=\"demo\">function AF_initDataCallback(d) {}</script>\n";
  } else {
    page += "<script>window.flip = {setData: function (k, v) {}};</script>\n";
  }
  page += ResultsAndGrowth(TodaysResults(site, 0, FirstBatchCount()), site, TodaysPagePath(site));
  return page + "</body></html>\n";
}

std::string DemoSite::Results(int site, int from, int to) const {
  // Each result shows its picture and carries its address, behind the site's marker, in the
  // text of a hidden element: a web view serialises text content as it stands, whereas
  // markup inside attribute values comes back re-quoted and would no longer match.
  const std::vector<std::string> addresses = ImageAddresses();
  const std::string thumbBase = Bases().first + "/img/";
  std::string page = "<div class=\"batch\">\n";
  for (int i = from; i < to; ++i) {
    const std::string n = std::to_string(i);
    const std::string& address = addresses[static_cast<size_t>(i)];
    std::string entry;
    switch (site) {
      case 0:
        entry = "{ns:'images',imgurl:\"" + address + "\",oh:48,ow:48}";
        break;
      case 1:
        entry = "{\"id\":\"" + n + "\",\"ou\":\"" + address + "\",\"ow\":48,\"oh\":48}";
        break;
      default:
        entry = "{\"thumbURL\":\"/t/" + n + "\",\"objURL\":\"" + address + "\",\"width\":48}";
        break;
    }
    page += "<figure><img src=\"" + thumbBase + n + ".png\" width=\"64\" height=\"64\">" +
            "<figcaption>result " + n + "</figcaption><span class=\"m\">" + entry +
            "</span></figure>\n";
  }
  return page + "</div>\n";
}

std::string DemoSite::Page(int site) const {
  std::string page = PageHead(std::string(kSiteTitles[site]) + " image results",
                              std::string(kSiteTitles[site]) + " markup");
  page += ResultsAndGrowth(Results(site, 0, FirstBatchCount()), site, PagePath(site));
  return page + "</body></html>\n";
}

loopback::HttpReply DemoSite::Handle(const loopback::HttpRequest& request) const {
  const size_t queryAt = request.target.find('?');
  const std::string target = request.target.substr(0, queryAt);
  const std::string query = queryAt == std::string::npos ? "" : request.target.substr(queryAt + 1);
  for (int site = 0; site < 3; ++site) {
    const bool today = target == BatchPath(TodaysPagePath(site));
    if (today || target == BatchPath(PagePath(site))) {
      // Past the last result the batch is empty; a request without a start is not one.
      const int from = BatchStart(query);
      if (from < 0 || options_.batch <= 0) break;
      const int first = std::min(from, ImageCount());
      const int last = std::min(first + options_.batch, ImageCount());
      if (first == last) return loopback::OkReply("");
      return loopback::OkReply(today ? TodaysResults(site, first, last)
                                     : Results(site, first, last));
    }
    if (target == PagePath(site)) {
      return loopback::OkReply(Page(site));
    }
    if (target == TodaysPagePath(site)) {
      return loopback::OkReply(TodaysPage(site));
    }
  }
  int image = ImageNumber(target, "/img/");
  if (image < 0) image = ImageNumber(target, "/thumb/");
  if (image >= 0 && image < ImageCount()) {
    return loopback::OkReply(Image(image), "image/png");
  }
  const int redirected = ImageNumber(target, "/redirect/");
  if (redirected >= 0 && redirected < ImageCount()) {
    return {302,
            "Found",
            {{"Location", Bases().second + "/img/" + std::to_string(redirected) + ".png"}},
            "",
            false};
  }
  return {404, "Not Found", {{"Content-Type", "text/plain"}}, "not found\n", false};
}

}  // namespace pixhaul::demo
