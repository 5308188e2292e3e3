#include "demo/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace pixhaul::demo {

namespace {

constexpr int kIoLimitSeconds = 10;
constexpr size_t kMaxHead = 64 * 1024;

int ListenOn(uint16_t port, uint16_t& boundPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket() failed");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 512) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort = ntohs(address.sin_port);
  return fd;
}

// A server context with a fresh self-signed certificate (EC P-256, CN=127.0.0.1).
SSL_CTX* MakeTlsContext() {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  bool ok = context && key && certificate;
  if (ok) {
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 30L * 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    ok = X509_sign(certificate, key, EVP_sha256()) > 0 &&
         SSL_CTX_use_certificate(context, certificate) == 1 &&
         SSL_CTX_use_PrivateKey(context, key) == 1;
  }
  X509_free(certificate);
  EVP_PKEY_free(key);
  if (!ok) {
    SSL_CTX_free(context);
    throw std::runtime_error("cannot make the TLS server context");
  }
  return context;
}

std::string ReasonOrDefault(const HttpReply& reply) { return reply.reason; }

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  size_t start = head.find("\r\n");
  while (start != std::string::npos && start + 2 < head.size()) {
    const size_t lineStart = start + 2;
    const size_t end = head.find("\r\n", lineStart);
    const std::string line =
        head.substr(lineStart, end == std::string::npos ? end : end - lineStart);
    const size_t colon = line.find(':');
    if (colon == name.size() && ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      size_t valueStart = colon + 1;
      while (valueStart < line.size() && line[valueStart] == ' ') ++valueStart;
      return line.substr(valueStart);
    }
    start = end;
  }
  return "";
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, uint16_t httpPort, uint16_t httpsPort)
    : handler_(std::move(handler)), tlsContext_(nullptr, SSL_CTX_free) {
  // A client that hangs up early must not kill the process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  tlsContext_.reset(MakeTlsContext());
  httpListener_ = ListenOn(httpPort, httpPort_);
  try {
    httpsListener_ = ListenOn(httpsPort, httpsPort_);
  } catch (...) {
    ::close(httpListener_);
    throw;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

std::string LoopbackHttpServer::HttpBase() const {
  return "http://127.0.0.1:" + std::to_string(httpPort_);
}

std::string LoopbackHttpServer::HttpsBase() const {
  return "https://127.0.0.1:" + std::to_string(httpsPort_);
}

void LoopbackHttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptor_.joinable()) acceptor_.join();
  ::close(httpListener_);
  ::close(httpsListener_);
  std::list<Connection> remaining;
  {
    std::lock_guard lock(connectionsMutex_);
    remaining.swap(connections_);
  }
  for (Connection& c : remaining) c.thread.join();
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd fds[2] = {{httpListener_, POLLIN, 0}, {httpsListener_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, 100);
    ReapFinished();
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const bool tls = i == 1;
      std::lock_guard lock(connectionsMutex_);
      Connection& c = connections_.emplace_back();
      c.thread = std::thread([this, fd, tls, &c] {
        Serve(fd, tls);
        c.done = true;
      });
    }
  }
}

void LoopbackHttpServer::ReapFinished() {
  std::list<Connection> finished;
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (Connection& c : finished) c.thread.join();
}

void LoopbackHttpServer::Serve(int fd, bool tls) {
  const int now = ++live_;
  for (int peak = peak_.load(); now > peak && !peak_.compare_exchange_weak(peak, now);) {
  }
  timeval limit{kIoLimitSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

  SSL* ssl = nullptr;
  bool ok = true;
  if (tls) {
    ssl = SSL_new(tlsContext_.get());
    ok = ssl && SSL_set_fd(ssl, fd) == 1 && SSL_accept(ssl) == 1;
  }
  const auto readSome = [&](char* buffer, int size) -> int {
    if (ssl) return SSL_read(ssl, buffer, size);
    ssize_t n;
    do {
      n = ::recv(fd, buffer, static_cast<size_t>(size), 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
  };
  const auto writeAll = [&](const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const int chunk = static_cast<int>(std::min<size_t>(bytes.size() - done, 1 << 20));
      int n;
      if (ssl) {
        n = SSL_write(ssl, bytes.data() + done, chunk);
      } else {
        do {
          n = static_cast<int>(
              ::send(fd, bytes.data() + done, static_cast<size_t>(chunk), MSG_NOSIGNAL));
        } while (n < 0 && errno == EINTR);
      }
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  };

  std::string received;
  size_t headEnd = std::string::npos;
  while (ok && headEnd == std::string::npos && received.size() < kMaxHead) {
    char buffer[4096];
    const int n = readSome(buffer, sizeof buffer);
    if (n <= 0) break;
    received.append(buffer, static_cast<size_t>(n));
    headEnd = received.find("\r\n\r\n");
  }

  if (ok && headEnd != std::string::npos) {
    HttpRequest request;
    request.head = received.substr(0, headEnd + 2);
    request.tls = tls;
    const std::string line = request.head.substr(0, request.head.find("\r\n"));
    const size_t firstBlank = line.find(' ');
    const size_t secondBlank = line.find(' ', firstBlank + 1);
    request.method = line.substr(0, firstBlank);
    if (firstBlank != std::string::npos) {
      request.target = line.substr(firstBlank + 1, secondBlank == std::string::npos
                                                       ? std::string::npos
                                                       : secondBlank - firstBlank - 1);
    }
    ++requests_;
    HttpReply reply;
    try {
      reply = handler_(request);
    } catch (const std::exception& e) {
      reply = HttpReply{500, "Internal Server Error", {}, e.what(), false};
    }
    if (!reply.closeWithoutReply) {
      std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonOrDefault(reply) +
                        "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                        "\r\nConnection: close\r\n";
      for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
      out += "\r\n";
      if (request.method != "HEAD") out += reply.body;
      writeAll(out);
    }
  }
  if (ssl) {
    if (ok) SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
  --live_;
}

RefusingPort::RefusingPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot bind a loopback port");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() { ::close(fd_); }

}  // namespace pixhaul::demo
