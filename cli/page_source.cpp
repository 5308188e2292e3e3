#include "cli/page_source.h"

#include <memory>

#include "cli/cli_options.h"
#include "download/Unitdowntile.h"
#include "framework/memory_stream.h"
#include "http/id_http.h"
#include "http/ssl_intercept.h"

namespace pixhaul::cli {

namespace {

PageMarkup Fetch(const std::string& address) {
  // Declared so that the client goes before the intercept it refers to.
  TIdConnectionInterceptOpenSSL intercept;
  TIdHTTP http;
  http.Request.Referer = kDownloadReferer;
  http.Request.UserAgent = kDownloadUserAgent;
  http.HandleRedirects = true;
  intercept.SSLOptions().Method = sslvSSLv23;
  http.SetIntercept(&intercept);
  auto body = std::make_unique<TMemoryStream>();
  http.GetInto(address, *body);
  return PageMarkup(std::move(body));
}

}  // namespace

PageMarkup ReadPage(const std::string& page, uint64_t fileLimit) {
  return IsWebAddress(page) ? Fetch(page) : PageMarkup::FromFile(page, fileLimit);
}

}  // namespace pixhaul::cli
