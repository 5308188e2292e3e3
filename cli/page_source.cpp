#include "cli/page_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "cli/cli_options.h"
#include "download/Unitdowntile.h"
#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/id_http.h"
#include "http/ssl_intercept.h"

namespace pixhaul::cli {

namespace {

std::string ReadFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EFOpenError(CannotOpenFileMessage(path));
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      throw EFOpenError(CannotOpenFileMessage(path));  // a folder, or a read error
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::string Fetch(const std::string& address) {
  // Declared so that the client goes before the intercept it refers to.
  TIdConnectionInterceptOpenSSL intercept;
  TIdHTTP http;
  http.Request.Referer = kDownloadReferer;
  http.Request.UserAgent = kDownloadUserAgent;
  http.HandleRedirects = true;
  intercept.SSLOptions().Method = sslvSSLv23;
  http.SetIntercept(&intercept);
  TMemoryStream body;
  http.GetInto(address, body);
  return body.ToString();
}

}  // namespace

std::string ReadPage(const std::string& page) {
  return IsWebAddress(page) ? Fetch(page) : ReadFile(page);
}

}  // namespace pixhaul::cli
