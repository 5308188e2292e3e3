#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace pixhaul::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Waits are cut into slices so a stopping server is noticed quickly.
constexpr int kSliceMs = 50;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

void SetTimeouts(int fd, int milliseconds) {
  timeval tv{milliseconds / 1000, (milliseconds % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

}  // namespace

bool Transport::WaitReadable(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

ssize_t Transport::Read(void* buffer, size_t size) {
  ssize_t n;
  do {
    n = ::recv(fd_, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t Transport::Write(const void* buffer, size_t size) {
  ssize_t n;
  do {
    n = ::send(fd_, buffer, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

void Transport::ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

Script& Script::ReceiveUntil(std::string text) {
  steps_.push_back({ScriptStep::Kind::kReceiveUntil, std::move(text), 0, {}});
  return *this;
}
Script& Script::ReceiveBytes(uint64_t count) {
  steps_.push_back({ScriptStep::Kind::kReceiveBytes, {}, count, {}});
  return *this;
}
Script& Script::ReceiveUntilClose() {
  steps_.push_back({ScriptStep::Kind::kReceiveUntilClose, {}, 0, {}});
  return *this;
}
Script& Script::Send(std::string bytes) {
  steps_.push_back({ScriptStep::Kind::kSend, std::move(bytes), 0, {}});
  return *this;
}
Script& Script::SendRepeated(std::string chunk, uint64_t totalBytes) {
  if (chunk.empty()) throw std::invalid_argument("SendRepeated needs a non-empty chunk");
  steps_.push_back({ScriptStep::Kind::kSendRepeated, std::move(chunk), totalBytes, {}});
  return *this;
}
Script& Script::Pause(int milliseconds) {
  steps_.push_back(
      {ScriptStep::Kind::kPause, {}, static_cast<uint64_t>(std::max(0, milliseconds)), {}});
  return *this;
}
Script& Script::ShutdownWrite() {
  steps_.push_back({ScriptStep::Kind::kShutdownWrite, {}, 0, {}});
  return *this;
}
Script& Script::Close() {
  steps_.push_back({ScriptStep::Kind::kClose, {}, 0, {}});
  return *this;
}
Script& Script::Reset() {
  steps_.push_back({ScriptStep::Kind::kReset, {}, 0, {}});
  return *this;
}
Script& Script::Call(std::function<void()> action) {
  steps_.push_back({ScriptStep::Kind::kCall, {}, 0, std::move(action)});
  return *this;
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts)
    : ScriptedServer(std::move(scripts), Options{}) {}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, Options options)
    : scripts_(std::move(scripts)), options_(std::move(options)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("scripted server: socket failed");
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, options_.backlog) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  acceptThread_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(connectionThreads_);
  }
  {
    // A script blocked in a send to a peer that does not read ends at once.
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) {
      if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
    }
  }
  for (auto& thread : threads) thread.join();
  ::close(listenFd_);
}

size_t ScriptedServer::AcceptedCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

bool ScriptedServer::WaitFinished(size_t count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    size_t finished = 0;
    for (const auto& connection : connections_) finished += connection->finished ? 1 : 0;
    return finished >= count;
  });
}

std::string ScriptedServer::Received(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index]->received : std::string();
}

bool ScriptedServer::Completed(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() && connections_[index]->completed;
}

std::string ScriptedServer::Failure(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index]->failure : std::string();
}

void ScriptedServer::AcceptLoop() {
  while (!Stopping()) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) <= 0) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    const size_t index = connections_.size();
    if (index >= scripts_.size() && !(options_.repeatLastScript && !scripts_.empty())) {
      ::close(fd);  // not scripted: refuse by closing at once
      continue;
    }
    connections_.push_back(std::make_unique<Connection>());
    connections_.back()->fd = fd;
    connectionThreads_.emplace_back([this, index, fd] { RunScript(index, fd); });
  }
}

void ScriptedServer::Record(size_t index, const char* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  connections_[index]->received.append(bytes, count);
}

void ScriptedServer::RunScript(size_t index, int fd) {
  SetTimeouts(fd, options_.stepTimeoutMs);
  const Script& script = scripts_[std::min(index, scripts_.size() - 1)];
  std::string failure;
  std::unique_ptr<Transport> transport;
  try {
    transport =
        options_.makeTransport ? options_.makeTransport(fd) : std::make_unique<Transport>(fd);
  } catch (const std::exception& e) {
    failure = std::string("transport: ") + e.what();
  }
  if (transport) {
    std::string pending;
    for (const ScriptStep& step : script.Steps()) {
      failure = RunStep(index, transport, pending, step);
      if (!failure.empty() || !transport) break;
    }
  }
  transport.reset();
  CloseConnectionFd(index, false);
  std::lock_guard lock(mutex_);
  connections_[index]->finished = true;
  connections_[index]->completed = failure.empty();
  connections_[index]->failure = failure;
  finishedChanged_.notify_all();
}

void ScriptedServer::CloseConnectionFd(size_t index, bool reset) {
  std::lock_guard lock(mutex_);
  int& fd = connections_[index]->fd;
  if (fd < 0) return;
  if (reset) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  ::close(fd);
  fd = -1;
}

std::string ScriptedServer::RunStep(size_t index, std::unique_ptr<Transport>& transportPtr,
                                    std::string& pending, const ScriptStep& step) {
  using Kind = ScriptStep::Kind;
  Transport& transport = *transportPtr;
  switch (step.kind) {
    case Kind::kReceiveUntil:
    case Kind::kReceiveBytes:
    case Kind::kReceiveUntilClose: {
      // `pending` holds bytes that arrived after the previous receive step's end.
      size_t searchFrom = 0;
      auto satisfied = [&]() -> bool {
        if (step.kind == Kind::kReceiveBytes) {
          if (pending.size() < step.count) return false;
          pending.erase(0, step.count);
          return true;
        }
        if (step.kind == Kind::kReceiveUntil) {
          size_t at = pending.find(step.text, searchFrom);
          if (at == std::string::npos) {
            searchFrom =
                pending.size() >= step.text.size() ? pending.size() - step.text.size() + 1 : 0;
            return false;
          }
          pending.erase(0, at + step.text.size());
          return true;
        }
        return false;
      };
      char buffer[65536];
      auto deadline = Clock::now() + std::chrono::milliseconds(options_.stepTimeoutMs);
      while (!satisfied()) {
        if (Stopping()) return "server stopped while receiving";
        if (MillisecondsLeft(deadline) == 0) return "timed out while receiving";
        if (!transport.WaitReadable(std::min(kSliceMs, MillisecondsLeft(deadline)))) continue;
        ssize_t n = transport.Read(buffer, sizeof buffer);
        if (n == 0) {
          if (step.kind == Kind::kReceiveUntilClose) return {};
          return "peer closed while receiving";
        }
        if (n < 0) {
          if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
          if (step.kind == Kind::kReceiveUntilClose && errno == ECONNRESET) return {};
          return std::string("receive failed: ") + std::strerror(errno);
        }
        Record(index, buffer, static_cast<size_t>(n));
        // Receiving until close keeps nothing: only the record matters.
        if (step.kind != Kind::kReceiveUntilClose) pending.append(buffer, static_cast<size_t>(n));
        deadline = Clock::now() + std::chrono::milliseconds(options_.stepTimeoutMs);
      }
      return {};
    }
    case Kind::kSend:
    case Kind::kSendRepeated: {
      const uint64_t total = step.kind == Kind::kSend ? step.text.size() : step.count;
      // A short pattern is repeated into one large block so a big body costs few writes.
      std::string repeated;
      if (step.kind == Kind::kSendRepeated) {
        while (repeated.size() < 256 * 1024) repeated += step.text;
      }
      const std::string& block = step.kind == Kind::kSend ? step.text : repeated;
      uint64_t sent = 0;
      size_t offset = 0;  // within block
      while (sent < total) {
        if (Stopping()) return "server stopped while sending";
        size_t chunk = std::min<uint64_t>(block.size() - offset, total - sent);
        ssize_t n = transport.Write(block.data() + offset, chunk);
        if (n <= 0) {
          if (n < 0 && errno == EINTR) continue;
          return std::string("send failed: ") + (n < 0 ? std::strerror(errno) : "nothing sent");
        }
        sent += static_cast<uint64_t>(n);
        offset = (offset + static_cast<size_t>(n)) % block.size();
      }
      return {};
    }
    case Kind::kPause: {
      auto deadline = Clock::now() + std::chrono::milliseconds(step.count);
      while (!Stopping() && Clock::now() < deadline) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(kSliceMs, MillisecondsLeft(deadline))));
      }
      return {};
    }
    case Kind::kShutdownWrite:
      transport.ShutdownWrite();
      return {};
    case Kind::kClose:
    case Kind::kReset:
      // The transport goes first so it never touches an fd number that was reused.
      transportPtr.reset();
      CloseConnectionFd(index, step.kind == Kind::kReset);
      return {};
    case Kind::kCall:
      step.action();
      return {};
  }
  return "unknown step";
}

}  // namespace pixhaul::testing
