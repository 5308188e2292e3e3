#include "demo/demo_site.h"

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

}  // namespace

DemoSite::DemoSite(Options options) {
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

std::string DemoSite::Page(int site) const {
  static const char* const kTitles[] = {"Bing", "Google", "Baidu"};
  // Each result shows its picture and carries its address, behind the site's marker, in the
  // text of a hidden element: a web view serialises text content as it stands, whereas
  // markup inside attribute values comes back re-quoted and would no longer match.
  std::string page = std::string("<html><head><title>Pixhaul demo: ") + kTitles[site] +
                     " image results</title><style>"
                     "body{font-family:sans-serif;margin:12px} figure{display:inline-block;"
                     "margin:6px} figcaption{font-size:11px;color:#555} .m{display:none}"
                     "</style></head>\n<body>\n<h2>Demo image results (" +
                     kTitles[site] +
                     " markup)</h2>\n<form><input value=\"test pattern\"> "
                     "<button type=\"button\">Search</button></form>\n";
  const std::vector<std::string> addresses = ImageAddresses();
  const std::string thumbBase = Bases().first + "/img/";
  for (size_t i = 0; i < addresses.size(); ++i) {
    const std::string n = std::to_string(i);
    std::string entry;
    switch (site) {
      case 0:
        entry = "{ns:'images',imgurl:\"" + addresses[i] + "\",oh:48,ow:48}";
        break;
      case 1:
        entry = "{\"id\":\"" + n + "\",\"ou\":\"" + addresses[i] + "\",\"ow\":48,\"oh\":48}";
        break;
      default:
        entry = "{\"thumbURL\":\"/t/" + n + "\",\"objURL\":\"" + addresses[i] + "\",\"width\":48}";
        break;
    }
    page += "<figure><img src=\"" + thumbBase + n + ".png\" width=\"64\" height=\"64\">" +
            "<figcaption>result " + n + "</figcaption><span class=\"m\">" + entry +
            "</span></figure>\n";
  }
  return page + "</body></html>\n";
}

HttpReply DemoSite::Handle(const HttpRequest& request) const {
  for (int site = 0; site < 3; ++site) {
    if (request.target == PagePath(site)) {
      return {200, "OK", {{"Content-Type", "text/html; charset=utf-8"}}, Page(site), false};
    }
  }
  const int image = ImageNumber(request.target, "/img/");
  if (image >= 0 && image < ImageCount()) {
    return {200, "OK", {{"Content-Type", "image/png"}}, Image(image), false};
  }
  const int redirected = ImageNumber(request.target, "/redirect/");
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
