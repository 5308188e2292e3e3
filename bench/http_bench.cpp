// HTTP client benchmark helper: a loopback HTTP/1.1 server (plain or TLS), the client runs being
// measured, and a runner that times any command and reports its peak resident memory.
//
//   http_bench serve PORT_FILE [tls CERT_PEM KEY_PEM]
//                                         serve on 127.0.0.1 (port written to PORT_FILE) until
//                                         SIGTERM or SIGINT; with "tls" every connection is
//                                         HTTPS with that certificate and (unencrypted) key
//   http_bench get URL SIZE [SAVE_FILE]   one GetInto into a memory stream (then SaveToFile),
//                                         checking the body is SIZE bytes
//   http_bench worker URL SIZE FOLDER     one download worker (TDownTileThread) saving URL into
//                                         FOLDER/body.bin as a run does: the body streamed into
//                                         a temporary file there, renamed when complete;
//                                         checks the outcome and that the file is SIZE bytes
//   http_bench many URL_PREFIX COUNT SIZE COUNT GetInto calls of URL_PREFIX0..COUNT-1 on one
//                                         client (one kept-alive connection)
//   http_bench measure CMD [ARGS...]      runs CMD, prints "seconds maxrss_kb" on stderr's last
//                                         line and exits with CMD's status
//
// Server paths: /counted/N (Content-Length body of N bytes), /chunked/N (N bytes in chunks of
// 64 KiB), /small/ANYTHING (16 KiB, counted). Every reply keeps the connection open.
//
// The clients are set up as the download worker sets up its own: a TLS intercept (method
// sslvSSLv23) attached to every client, which the client switches on itself for https
// addresses. The server's TLS side opens OpenSSL through the same dlopen table as the client
// (SslLibrary), so the executable does not link OpenSSL and a process that never touches TLS
// maps none of it, just like the product.
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "download/Unitdowntile.h"
#include "download/run_controller.h"
#include "download/run_window.h"
#include "framework/memory_stream.h"
#include "framework/thread.h"
#include "http/id_http.h"
#include "http/ssl_intercept.h"
#include "http/ssl_library.h"

namespace {

constexpr size_t kSmallSize = 16 * 1024;
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kPatternSize = 1 << 20;

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

const std::string& Pattern() {
  static const std::string pattern = [] {
    std::string bytes(kPatternSize, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
  }();
  return pattern;
}

// The server's side of TLS: the library's functions, SSL_accept (missing from the client's
// table) and the context every connection shares. Set up before the first accept, read-only
// afterwards.
struct ServerTls {
  const pixhaul::SslFunctions* ssl = nullptr;
  decltype(&::SSL_accept) accept = nullptr;
  SSL_CTX* context = nullptr;
};

// One accepted connection of the server: the socket, and its TLS channel when serving HTTPS.
struct Peer {
  int fd = -1;
  const pixhaul::SslFunctions* tls = nullptr;
  SSL* ssl = nullptr;
};

// SSL_write without partial writes returns only once all of `size` went out (or failed).
bool SendAll(const Peer& peer, const char* data, size_t size) {
  if (peer.ssl != nullptr) {
    while (size > 0) {
      const int piece = static_cast<int>(std::min<size_t>(size, 1 << 30));
      if (peer.tls->SSL_write(peer.ssl, data, piece) != piece) return false;
      data += piece;
      size -= static_cast<size_t>(piece);
    }
    return true;
  }
  const int fd = peer.fd;
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

ssize_t ReceiveSome(const Peer& peer, char* buffer, size_t capacity) {
  if (peer.ssl != nullptr) {
    const int n = peer.tls->SSL_read(peer.ssl, buffer, static_cast<int>(capacity));
    return n > 0 ? n : (peer.tls->SSL_get_error(peer.ssl, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
  }
  return ::recv(peer.fd, buffer, capacity, 0);
}

bool SendPattern(const Peer& peer, uint64_t size) {
  const std::string& pattern = Pattern();
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, pattern.size()));
    if (!SendAll(peer, pattern.data(), n)) return false;
    size -= n;
  }
  return true;
}

bool Answer(const Peer& peer, const std::string& path) {
  auto sizeAfter = [&](const char* prefix) {
    return std::strtoull(path.c_str() + std::strlen(prefix), nullptr, 10);
  };
  if (path.rfind("/counted/", 0) == 0) {
    const uint64_t size = sizeAfter("/counted/");
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    return SendAll(peer, head.data(), head.size()) && SendPattern(peer, size);
  }
  if (path.rfind("/chunked/", 0) == 0) {
    uint64_t left = sizeAfter("/chunked/");
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    if (!SendAll(peer, head.data(), head.size())) return false;
    char line[32];
    while (left > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunkSize));
      const int len = std::snprintf(line, sizeof line, "%zx\r\n", n);
      if (!SendAll(peer, line, static_cast<size_t>(len)) || !SendAll(peer, Pattern().data(), n) ||
          !SendAll(peer, "\r\n", 2)) {
        return false;
      }
      left -= n;
    }
    return SendAll(peer, "0\r\n\r\n", 5);
  }
  if (path.rfind("/small/", 0) == 0) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSmallSize) + "\r\n\r\n";
    std::string reply = head + Pattern().substr(0, kSmallSize);
    return SendAll(peer, reply.data(), reply.size());
  }
  const std::string notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  return SendAll(peer, notFound.data(), notFound.size());
}

void ServeConnection(int fd, const ServerTls* tls) {
  Peer peer{fd, nullptr, nullptr};
  if (tls != nullptr) {
    peer.tls = tls->ssl;
    peer.ssl = peer.tls->SSL_new(tls->context);
    if (peer.ssl == nullptr || peer.tls->SSL_set_fd(peer.ssl, fd) != 1 ||
        tls->accept(peer.ssl) != 1) {
      if (peer.ssl != nullptr) peer.tls->SSL_free(peer.ssl);
      ::close(fd);
      return;
    }
  }
  std::string pending;
  char buffer[16384];
  while (!gStop) {
    const size_t end = pending.find("\r\n\r\n");
    if (end == std::string::npos) {
      const ssize_t n = ReceiveSome(peer, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      continue;
    }
    const std::string requestLine = pending.substr(0, pending.find("\r\n"));
    pending.erase(0, end + 4);
    const size_t firstBlank = requestLine.find(' ');
    const size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos) break;
    if (!Answer(peer, requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1))) break;
  }
  if (peer.ssl != nullptr) peer.tls->SSL_free(peer.ssl);
  ::close(fd);
}

// Opens OpenSSL as the client does and makes the shared server context; false (with a message)
// when the library, SSL_accept, the certificate or the key cannot be had.
bool StartServerTls(const char* certificateFile, const char* keyFile, ServerTls& tls) {
  tls.ssl = &pixhaul::SslLibrary::Shared().Start();
  // The client's table has no SSL_accept; the library is loaded now, so look it up there.
  void* handle = ::dlopen(pixhaul::SslLibrary::kSslFileName, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) {
    tls.accept = reinterpret_cast<decltype(&::SSL_accept)>(::dlsym(handle, "SSL_accept"));
  }
  tls.context = tls.ssl->SSL_CTX_new(tls.ssl->TLS_server_method());
  if (tls.accept == nullptr || tls.context == nullptr ||
      tls.ssl->SSL_CTX_use_certificate_file(tls.context, certificateFile, SSL_FILETYPE_PEM) != 1 ||
      tls.ssl->SSL_CTX_use_PrivateKey_file(tls.context, keyFile, SSL_FILETYPE_PEM) != 1) {
    std::fprintf(stderr, "TLS server setup failed (%s, %s)\n", certificateFile, keyFile);
    return false;
  }
  // The client ends connections without close_notify; that is an end of stream, not an error.
  tls.ssl->SSL_CTX_set_options(tls.context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  return true;
}

// `tls` is null for plain HTTP.
int Serve(const char* portFile, const ServerTls* tls) {
  // Without SA_RESTART, so the signal ends a blocked accept.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  // SSL_write writes with write(), which raises SIGPIPE when a client leaves mid-reply.
  ::signal(SIGPIPE, SIG_IGN);
  const int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd, 64) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  std::ofstream(portFile) << ntohs(address.sin_port) << "\n";
  std::vector<std::thread> threads;
  while (!gStop) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      break;
    }
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    threads.emplace_back(ServeConnection, fd, tls);
  }
  ::close(listenFd);
  // Connections end when their clients leave; a stuck one would hold the exit, so detach.
  for (auto& thread : threads) thread.detach();
  return 0;
}

// As the download worker does it: the intercept outlives the client that refers to it.
void AttachIntercept(pixhaul::TIdHTTP& http, pixhaul::TIdConnectionInterceptOpenSSL& intercept) {
  intercept.SSLOptions().Method = pixhaul::sslvSSLv23;
  http.SetIntercept(&intercept);
}

int Get(const std::string& url, uint64_t size, const char* saveFile) {
  pixhaul::TIdConnectionInterceptOpenSSL intercept;
  pixhaul::TIdHTTP http;
  AttachIntercept(http, intercept);
  pixhaul::TMemoryStream body;
  http.GetInto(url, body);
  if (static_cast<uint64_t>(body.Size()) != size) {
    std::fprintf(stderr, "expected %llu bytes, got %lld\n", static_cast<unsigned long long>(size),
                 static_cast<long long>(body.Size()));
    return 1;
  }
  if (saveFile != nullptr) body.SaveToFile(saveFile);
  return 0;
}

// The window of a controller that only receives one worker's hand-offs: it shows nothing.
class QuietWindow : public pixhaul::RunWindow {
 public:
  std::string SaveFolderText() override { return {}; }
  std::string ButtonCaption() override { return "Start download"; }
  void SetButtonCaption(const std::string&) override {}
  void SetButtonEnabled(bool) override {}
  void ClearLog() override {}
  void AppendLogLine(const std::string&) override {}
  std::vector<std::string> LogLines() override { return {}; }
  void ShowMessage(const std::string&) override {}
  std::optional<pixhaul::PageMarkup> CapturePageMarkup() override { return std::nullopt; }
  int CurrentSite() override { return 0; }
  void ShowListSource(const std::string&) override {}
};

int Worker(const std::string& url, uint64_t size, const std::string& folder) {
  QuietWindow window;
  pixhaul::TRunController controller(window);
  auto* worker = pixhaul::TThread::Spawn<pixhaul::TDownTileThread>(true, url, "body.bin", 0,
                                                                   folder + "/", controller);
  worker->SetFreeOnTerminate(false);
  const std::unique_ptr<pixhaul::TDownTileThread> owned(worker);
  worker->Start();
  worker->WaitFor();  // runs the worker's two hand-offs while it waits
  const std::string saved = folder + "/body.bin";
  std::error_code error;
  const auto savedSize = std::filesystem::file_size(saved, error);
  if (worker->Outcome != pixhaul::kOutcomeSaved || error || savedSize != size) {
    std::fprintf(stderr, "worker: %s (outcome %d, %llu bytes saved)\n", worker->LogLine.c_str(),
                 worker->Outcome, static_cast<unsigned long long>(error ? 0 : savedSize));
    return 1;
  }
  return 0;
}

int Many(const std::string& prefix, int count, uint64_t size) {
  pixhaul::TIdConnectionInterceptOpenSSL intercept;
  pixhaul::TIdHTTP http;
  AttachIntercept(http, intercept);
  pixhaul::TMemoryStream body;
  for (int i = 0; i < count; ++i) {
    body.Clear();
    http.GetInto(prefix + std::to_string(i), body);
    if (static_cast<uint64_t>(body.Size()) != size) {
      std::fprintf(stderr, "request %d: got %lld bytes\n", i, static_cast<long long>(body.Size()));
      return 1;
    }
  }
  return 0;
}

int Measure(char** command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(command[0], command);
    std::perror("execvp");
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%.4f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: http_bench serve PORT_FILE [tls CERT_PEM KEY_PEM] | get URL SIZE [SAVE_FILE] | "
      "worker URL SIZE FOLDER | many URL_PREFIX COUNT SIZE | measure CMD [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  try {
    if (mode == "serve" && argc == 3) return Serve(argv[2], nullptr);
    if (mode == "serve" && argc == 6 && std::string(argv[3]) == "tls") {
      // Lives until the process ends: detached connections may still use the context.
      static ServerTls tls;
      if (!StartServerTls(argv[4], argv[5], tls)) return 1;
      return Serve(argv[2], &tls);
    }
    if (mode == "get" && (argc == 4 || argc == 5)) {
      return Get(argv[2], std::strtoull(argv[3], nullptr, 10), argc == 5 ? argv[4] : nullptr);
    }
    if (mode == "worker" && argc == 5) {
      return Worker(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
    }
    if (mode == "many" && argc == 5) {
      return Many(argv[2], std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    }
    if (mode == "measure" && argc >= 3) return Measure(argv + 2);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return Usage();
}
