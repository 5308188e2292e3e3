#include "tests/support/fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "tests/support/fault_tls_context.h"

namespace pixhaul::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr size_t kLongHeaderBytes = 150 * 1024;
constexpr size_t kRedirectFillerBytes = 70000;  // more than the largest image
constexpr size_t kDripBodyBytes = 160;
constexpr int kPollSliceMs = 50;

enum Listener { kHttp = 0, kHttps = 1, kBadTls = 2 };

int OpenLoopbackSocket(bool listening, uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("fault server: socket failed");
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (listening && listen(fd, 256) != 0)) {
    close(fd);
    throw std::runtime_error("fault server: bind/listen failed");
  }
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  if (listening) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

// "/img/<n>/<token>[-<hop>].png" -> n, kind, hop; false for anything else.
bool ParseImageTarget(const std::string& target, int& n, FaultKind& kind, int& hop) {
  constexpr std::string_view kPrefix = "/img/";
  constexpr std::string_view kSuffix = ".png";
  std::string_view rest(target);
  if (!rest.starts_with(kPrefix) || !rest.ends_with(kSuffix)) return false;
  rest.remove_prefix(kPrefix.size());
  rest.remove_suffix(kSuffix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return false;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + slash, n);
  if (error != std::errc() || end != rest.data() + slash || n < 0) return false;
  std::string_view token = rest.substr(slash + 1);
  hop = 0;
  const size_t dash = token.find('-');
  if (dash != std::string_view::npos) {
    std::string_view suffix = token.substr(dash + 1);
    token = token.substr(0, dash);
    if (token != "longname") {
      auto [hopEnd, hopError] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), hop);
      if (hopError != std::errc() || hopEnd != suffix.data() + suffix.size()) return false;
    }
  }
  return FaultKindFromToken(token, kind);
}

std::string Reply(std::string_view statusLine, const std::string& headers, const std::string& body,
                  bool withLength = true) {
  std::string reply = "HTTP/1.1 " + std::string(statusLine) + "\r\n" + headers;
  if (withLength) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

std::string ErrorPage(std::string_view statusLine) {
  return "<html><head><title>" + std::string(statusLine) + "</title></head><body><h1>" +
         std::string(statusLine) + "</h1></body></html>\n";
}

}  // namespace

// One accepted connection, plain or TLS, over a non-blocking socket. Every wait polls the
// socket together with the server's wake descriptor, so a stopping server ends it at once.
class FaultServer::Channel {
 public:
  Channel(int fd, SSL* ssl, int wakeFd, Clock::time_point serverDeadline,
          std::chrono::milliseconds ioLimit)
      : fd_(fd), ssl_(ssl), wakeFd_(wakeFd), serverDeadline_(serverDeadline), ioLimit_(ioLimit) {}
  ~Channel() { Close(); }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  bool Tls() const { return ssl_ != nullptr; }

  bool Handshake() {
    const Clock::time_point until = Clock::now() + ioLimit_;
    for (;;) {
      const int result = SSL_accept(ssl_);
      if (result == 1) return true;
      if (!WaitFor(SSL_get_error(ssl_, result), until)) return false;
    }
  }

  // Up to `size` bytes: > 0 read, 0 the peer closed, -1 failure, silence until `until`, or stop.
  ssize_t ReadSome(char* buffer, size_t size, Clock::time_point until) {
    for (;;) {
      if (ssl_ != nullptr) {
        const int result = SSL_read(ssl_, buffer, static_cast<int>(size));
        if (result > 0) return result;
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_ZERO_RETURN) return 0;
        if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;  // bare end of stream
        if (!WaitFor(error, until)) return -1;
      } else {
        const ssize_t result = recv(fd_, buffer, size, 0);
        if (result >= 0) return result;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!WaitFor(SSL_ERROR_WANT_READ, until)) return -1;
      }
    }
  }

  // A request head up to its empty line, or false when the peer closed or went silent.
  bool ReadRequestHead(std::string& head) {
    head.clear();
    char buffer[4096];
    for (;;) {
      const size_t end = pending_.find("\r\n\r\n");
      if (end != std::string::npos) {
        head = pending_.substr(0, end + 4);
        pending_.erase(0, end + 4);
        return true;
      }
      if (pending_.size() > kMaxRequestHead) return false;
      const ssize_t n = ReadSome(buffer, sizeof buffer, Clock::now() + ioLimit_);
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

  bool Write(std::string_view bytes) {
    const Clock::time_point until = Clock::now() + ioLimit_;
    while (!bytes.empty()) {
      if (ssl_ != nullptr) {
        size_t written = 0;
        const int result = SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written);
        if (result == 1) {
          bytes.remove_prefix(written);
          continue;
        }
        if (!WaitFor(SSL_get_error(ssl_, result), until)) return false;
      } else {
        const ssize_t result = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (result > 0) {
          bytes.remove_prefix(static_cast<size_t>(result));
          continue;
        }
        if (result < 0 && errno == EINTR) continue;
        if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (!WaitFor(SSL_ERROR_WANT_WRITE, until)) return false;
      }
    }
    return true;
  }

  // Waits until the peer closes (or fails, or the server stops), discarding what it sends.
  void WaitUntilPeerGone(Clock::time_point until) {
    char buffer[4096];
    while (ReadSome(buffer, sizeof buffer, until) > 0) {
    }
  }

  // An orderly close: our end of the stream, then whatever the peer still sends is drained
  // so that the kernel does not turn the close into a reset.
  void CloseGracefully() {
    if (fd_ < 0) return;
    if (ssl_ != nullptr) SSL_shutdown(ssl_);
    shutdown(fd_, SHUT_WR);
    WaitUntilPeerGone(Clock::now() + ioLimit_);
    Close();
  }

  // A close that sends a TCP reset instead of the end of the stream.
  void Reset() {
    if (fd_ < 0) return;
    linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
  }

  void Close() {
    if (ssl_ != nullptr) {
      SSL_free(ssl_);
      ssl_ = nullptr;
    }
    if (fd_ >= 0) {
      close(fd_);
      fd_ = -1;
    }
  }

 private:
  // Waits for what an SSL_ERROR_WANT_* asks (plain sockets use the same codes); false on any
  // other error, when `until` or the server's deadline passes, or when the server stops.
  bool WaitFor(int sslError, Clock::time_point until) {
    short events = 0;
    if (sslError == SSL_ERROR_WANT_READ) events = POLLIN;
    if (sslError == SSL_ERROR_WANT_WRITE) events = POLLOUT;
    if (events == 0 || fd_ < 0) return false;
    until = std::min(until, serverDeadline_);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      if (left.count() <= 0) return false;
      pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
      const int ready = poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
      if (ready < 0 && errno != EINTR) return false;
      if (fds[1].revents != 0) return false;
      if (fds[0].revents != 0) return true;  // ready, or an error the next call reports
    }
  }

  int fd_;
  SSL* ssl_;
  int wakeFd_;
  Clock::time_point serverDeadline_;
  std::chrono::milliseconds ioLimit_;
  std::string pending_;  // bytes read past the last request head
};

FaultServer::FaultServer(Options options)
    : options_(options), deadline_(Clock::now() + options.lifetime) {
  tlsContext_ = MakeFaultTlsContext();
  try {
    listenFds_[kHttp] = OpenLoopbackSocket(true, ports_.http);
    listenFds_[kHttps] = OpenLoopbackSocket(true, ports_.https);
    listenFds_[kBadTls] = OpenLoopbackSocket(true, ports_.badTls);
    refusedFd_ = OpenLoopbackSocket(false, ports_.refused);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error("fault server: eventfd failed");
  } catch (...) {
    for (int fd : listenFds_)
      if (fd >= 0) close(fd);
    if (refusedFd_ >= 0) close(refusedFd_);
    SSL_CTX_free(tlsContext_);
    throw;
  }
  // OpenSSL writes with write(), which raises SIGPIPE when a client has gone. The server's
  // threads start with SIGPIPE blocked, so such a write just fails with EPIPE; the test's own
  // threads keep their signal mask.
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  for (int i = 0; i < options_.connectionThreads; ++i)
    pool_.emplace_back([this] { ConnectionLoop(); });
  acceptor_ = std::thread([this] { AcceptLoop(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

FaultServer::~FaultServer() {
  Stop();
  for (int fd : listenFds_)
    if (fd >= 0) close(fd);
  close(refusedFd_);
  close(wakeFd_);
  SSL_CTX_free(tlsContext_);
}

void FaultServer::Stop() {
  std::lock_guard stopLock(stopMutex_);
  if (stopped_) return;
  stopped_ = true;
  stopping_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
  {
    std::lock_guard lock(mutex_);
    pendingChanged_.notify_all();
  }
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& thread : pool_) thread.join();
  pool_.clear();
  std::lock_guard lock(mutex_);
  for (const Pending& pending : pending_) close(pending.fd);
  pending_.clear();
}

void FaultServer::SetPage(std::string page) {
  std::lock_guard lock(mutex_);
  page_ = std::move(page);
}

std::string FaultServer::PageAddress() const {
  return "http://127.0.0.1:" + std::to_string(ports_.http) + "/page";
}

std::vector<std::string> FaultServer::RequestTargets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

int FaultServer::RequestsForImage(int n) const {
  std::lock_guard lock(mutex_);
  return n >= 0 && static_cast<size_t>(n) < requestsPerImage_.size() ? requestsPerImage_[n] : 0;
}

int FaultServer::RequestsForKind(FaultKind kind) const {
  std::lock_guard lock(mutex_);
  return requestsPerKind_[static_cast<size_t>(kind)];
}

void FaultServer::ClearRequestLog() {
  std::lock_guard lock(mutex_);
  targets_.clear();
  requestsPerImage_.clear();
}

void FaultServer::Record(const std::string& target, int n, FaultKind kind, bool known) {
  std::lock_guard lock(mutex_);
  targets_.push_back(target);
  if (!known) return;
  if (static_cast<size_t>(n) >= requestsPerImage_.size()) requestsPerImage_.resize(n + 1, 0);
  ++requestsPerImage_[n];
  ++requestsPerKind_[static_cast<size_t>(kind)];
}

void FaultServer::AcceptLoop() {
  while (!stopping_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) break;
    pollfd fds[4];
    for (int i = 0; i < 3; ++i) fds[i] = {listenFds_[i], POLLIN, 0};
    fds[3] = {wakeFd_, POLLIN, 0};
    if (poll(fds, 4, static_cast<int>(std::min<int64_t>(left, 1000))) <= 0) continue;
    if (fds[3].revents != 0) break;
    for (int i = 0; i < 3; ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const int fd = accept4(listenFds_[i], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++accepted_;
      std::lock_guard lock(mutex_);
      pending_.push_back({fd, i});
      pendingChanged_.notify_one();
    }
  }
  // A server past its lifetime stops by itself: wake every connection thread.
  stopping_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
  std::lock_guard lock(mutex_);
  pendingChanged_.notify_all();
}

void FaultServer::ConnectionLoop() {
  for (;;) {
    Pending next;
    {
      std::unique_lock lock(mutex_);
      pendingChanged_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      next = pending_.front();
      pending_.pop_front();
    }
    const int live = ++live_;
    int peak = peak_.load();
    while (live > peak && !peak_.compare_exchange_weak(peak, live)) {
    }
    Serve(next);
    --live_;
  }
}

void FaultServer::ServeBadTls(int fd) {
  Channel channel(fd, nullptr, wakeFd_, deadline_, options_.ioLimit);
  char hello[4096];
  if (channel.ReadSome(hello, sizeof hello, Clock::now() + options_.ioLimit) <= 0) return;
  // Alternate between a plain-text answer to the ClientHello and a plain close; either must
  // fail the client's handshake.
  if (badTlsCount_++ % 2 == 0)
    channel.Write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
  channel.CloseGracefully();
}

void FaultServer::Serve(Pending pending) {
  int one = 1;
  setsockopt(pending.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (pending.listener == kBadTls) return ServeBadTls(pending.fd);
  SSL* ssl = nullptr;
  if (pending.listener == kHttps) {
    ssl = SSL_new(tlsContext_);
    if (ssl == nullptr) {
      close(pending.fd);
      return;
    }
    SSL_set_fd(ssl, pending.fd);
  }
  Channel channel(pending.fd, ssl, wakeFd_, deadline_, options_.ioLimit);
  if (channel.Tls() && !channel.Handshake()) return;
  std::string head;
  while (!stopping_ && channel.ReadRequestHead(head)) {
    // "GET <target> HTTP/1.1"
    const size_t first = head.find(' ');
    const size_t second = head.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) break;
    if (!Respond(channel, head.substr(first + 1, second - first - 1))) return;
  }
  channel.CloseGracefully();
}

bool FaultServer::Respond(Channel& channel, const std::string& target) {
  int n = 0;
  int hop = 0;
  FaultKind kind{};
  if (target == "/page") {
    Record(target, 0, kind, false);
    std::string page;
    {
      std::lock_guard lock(mutex_);
      page = page_;
    }
    return channel.Write(Reply("200 OK", "Content-Type: text/html\r\n", page));
  }
  if (!ParseImageTarget(target, n, kind, hop)) {
    Record(target, 0, kind, false);
    ++unknown_;
    return channel.Write(Reply("404 Not Found", "", ErrorPage("404 Not Found")));
  }
  Record(target, n, kind, true);
  return RespondToImage(channel, kind, n, hop);
}

bool FaultServer::RespondToImage(Channel& channel, FaultKind kind, int n, int hop) {
  const std::string self = std::string(channel.Tls() ? "https" : "http") + "://127.0.0.1:" +
                           std::to_string(channel.Tls() ? ports_.https : ports_.http);
  const std::string imagePath = "/img/" + std::to_string(n) + "/";
  const std::string png = "Content-Type: image/png\r\n";
  auto status = [&](std::string_view line) {
    return channel.Write(Reply(line, "Content-Type: text/html\r\n", ErrorPage(line)));
  };
  switch (kind) {
    case FaultKind::kImage:
    case FaultKind::kLongName:
      return channel.Write(Reply("200 OK", png, FaultImageBytes(n)));
    case FaultKind::kEmptyImage:
      return channel.Write(Reply("200 OK", png, ""));
    case FaultKind::kNoContent:
      return channel.Write("HTTP/1.1 204 No Content\r\n\r\n");
    case FaultKind::kNotFound:
      return status("404 Not Found");
    case FaultKind::kForbidden:
      return status("403 Forbidden");
    case FaultKind::kBadRequest:
      return status("400 Bad Request");
    case FaultKind::kServerError:
      return status("500 Internal Server Error");
    case FaultKind::kRedirectChain: {
      const std::string next = imagePath + "redir-" + std::to_string(hop + 1) + ".png";
      switch (hop) {
        case 0:
          return channel.Write(Reply("301 Moved Permanently", "Location: " + self + next + "\r\n",
                                     std::string(kRedirectFillerBytes, 'm')));
        case 1:
          return channel.Write(Reply("302 Found", "Location: " + next + "\r\n", ""));
        case 2:
          return channel.Write(Reply("307 Temporary Redirect", "Location: " + self + next + "\r\n",
                                     "moved for now"));
        default:
          return channel.Write(Reply("200 OK", png, FaultImageBytes(n)));
      }
    }
    case FaultKind::kRedirectToTls:
      return channel.Write(Reply(
          "302 Found",
          "Location: https://127.0.0.1:" + std::to_string(ports_.https) + imagePath + "ok.png\r\n",
          ""));
    case FaultKind::kRedirectLoop:
      return channel.Write(Reply(
          "302 Found", "Location: " + imagePath + "loop-" + std::to_string(hop + 1) + ".png\r\n",
          FaultLoopBody(n, hop)));
    case FaultKind::kChunked: {
      const std::string body = FaultImageBytes(n);
      std::string reply = "HTTP/1.1 200 OK\r\n" + png + "Transfer-Encoding: chunked\r\n\r\n";
      static constexpr size_t kSizes[] = {1, 7, 100, 4096, 255, 20000};
      size_t offset = 0;
      for (size_t i = 0; offset < body.size(); ++i) {
        const size_t size = std::min(kSizes[i % std::size(kSizes)], body.size() - offset);
        char hex[24];
        // Sizes alternate between lower-case and upper-case hexadecimal digits.
        std::snprintf(hex, sizeof hex, i % 2 == 0 ? "%zx\r\n" : "%zX\r\n", size);
        reply += hex;
        reply.append(body, offset, size);
        reply += "\r\n";
        offset += size;
      }
      reply += "0\r\n\r\n";
      return channel.Write(reply);
    }
    case FaultKind::kUntilClose:
      if (channel.Write(Reply("200 OK", png, FaultImageBytes(n), false))) channel.CloseGracefully();
      return false;
    case FaultKind::kResetMidBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() / 2)))
        channel.Reset();
      return false;
    }
    case FaultKind::kShortBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() * 9 / 10)))
        channel.CloseGracefully();
      return false;
    }
    case FaultKind::kCloseBeforeStatus:
      channel.CloseGracefully();
      return false;
    case FaultKind::kStallBeforeStatus:
      channel.WaitUntilPeerGone(deadline_);
      return false;
    case FaultKind::kStallMidBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() * 2 / 3)))
        channel.WaitUntilPeerGone(deadline_);
      return false;
    }
    case FaultKind::kSlowDrip: {
      const std::string reply = Reply("200 OK", "", FaultImageBytes(n).substr(0, kDripBodyBytes));
      for (char byte : reply) {
        if (!channel.Write(std::string_view(&byte, 1))) return false;
        std::this_thread::sleep_for(options_.dripInterval);
        if (stopping_) return false;
      }
      return true;
    }
    case FaultKind::kGarbageStatus:
      if (channel.Write("SPAM eggs-and-ham\r\n\r\n")) channel.CloseGracefully();
      return false;
    case FaultKind::kLongHeaderLine: {
      // Sent from one buffer made once: the line is the point, not the server's memory.
      static const std::string kFiller(kLongHeaderBytes, 'a');
      if (channel.Write("HTTP/1.1 200 OK\r\nX-Filler: ") && channel.Write(kFiller) &&
          channel.Write("\r\nContent-Length: 5\r\n\r\nhello"))
        channel.CloseGracefully();
      return false;
    }
    case FaultKind::kEndlessBody: {
      // The same buffer again and again: nothing on the server grows with the bytes sent.
      static const std::string kChunk(64 * 1024, 'z');
      if (!channel.Write("HTTP/1.1 200 OK\r\n" + png + "\r\n")) return false;
      while (!stopping_ && channel.Write(kChunk)) endlessBytes_ += kChunk.size();
      return false;
    }
    case FaultKind::kNegativeLength:
      if (channel.Write("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello"))
        channel.CloseGracefully();
      return false;
    case FaultKind::kHugeDeclaredLength:
    case FaultKind::kHugeLengthStall:
      if (!channel.Write(
              "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kHugeLengthDeclared) +
              "\r\n\r\n" + FaultImageBytes(n).substr(0, 100)))
        return false;
      if (kind == FaultKind::kHugeLengthStall) {
        channel.WaitUntilPeerGone(deadline_);
      } else {
        channel.CloseGracefully();
      }
      return false;
    case FaultKind::kTlsHandshakeFails:
    case FaultKind::kRefused:
      // Their addresses name other ports; reaching here means a client ignored the port.
      ++unknown_;
      return status("404 Not Found");
  }
  return false;
}

}  // namespace pixhaul::test
