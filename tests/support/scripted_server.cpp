// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/scripted_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "tests/support/server_transport.h"

namespace pixhaul::test {
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

std::vector<loopback::LoopbackListener> Listener(const ScriptedServer::Options& options) {
  std::vector<loopback::LoopbackListener> listeners;
  listeners.emplace_back(loopback::LoopbackListener::Options{
      .address = options.ipv6 ? "::1" : "127.0.0.1", .backlog = options.backlog});
  return listeners;
}

ScriptStep Step(ScriptStep::Kind kind, std::string text = {}, uint64_t count = 0) {
  return ScriptStep{kind, std::move(text), count, {}};
}

}  // namespace

Script& Script::ReceiveUntil(std::string text) {
  steps_.push_back(Step(ScriptStep::Kind::kReceiveUntil, std::move(text)));
  return *this;
}
Script& Script::ReceiveBytes(uint64_t count) {
  steps_.push_back(Step(ScriptStep::Kind::kReceiveBytes, {}, count));
  return *this;
}
Script& Script::ReceiveUntilClose() {
  steps_.push_back(Step(ScriptStep::Kind::kReceiveUntilClose));
  return *this;
}
Script& Script::Send(std::string bytes) {
  steps_.push_back(Step(ScriptStep::Kind::kSend, std::move(bytes)));
  return *this;
}
Script& Script::SendRepeated(std::string chunk, uint64_t totalBytes) {
  if (chunk.empty()) throw std::invalid_argument("SendRepeated needs a non-empty chunk");
  steps_.push_back(Step(ScriptStep::Kind::kSendRepeated, std::move(chunk), totalBytes));
  return *this;
}
Script& Script::Pause(int milliseconds) {
  steps_.push_back(
      Step(ScriptStep::Kind::kPause, {}, static_cast<uint64_t>(std::max(0, milliseconds))));
  return *this;
}
Script& Script::ShutdownWrite() {
  steps_.push_back(Step(ScriptStep::Kind::kShutdownWrite));
  return *this;
}
Script& Script::Close() {
  steps_.push_back(Step(ScriptStep::Kind::kClose));
  return *this;
}
Script& Script::Reset() {
  steps_.push_back(Step(ScriptStep::Kind::kReset));
  return *this;
}
Script& Script::RefuseTlsHandshake() {
  steps_.push_back(Step(ScriptStep::Kind::kRefuseTlsHandshake));
  return *this;
}
Script& Script::Call(std::function<void(ScriptedConnection&)> action) {
  steps_.push_back({ScriptStep::Kind::kCall, {}, 0, std::move(action)});
  return *this;
}

ScriptedConnection::ScriptedConnection(ScriptedServer& server, size_t index,
                                       std::unique_ptr<Transport> transport)
    : server_(server), index_(index), transport_(std::move(transport)) {}

ScriptedConnection::~ScriptedConnection() = default;

std::string ScriptedConnection::Fill(const std::function<bool()>& satisfied, bool untilClose) {
  char buffer[65536];
  const int limitMs = server_.options_.stepTimeoutMs;
  auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  while (untilClose || !satisfied()) {
    if (!transport_) return "connection already closed";
    if (server_.Stopping()) return "server stopped while receiving";
    if (MillisecondsLeft(deadline) == 0) return "timed out while receiving";
    if (!transport_->WaitReadable(std::min(kSliceMs, MillisecondsLeft(deadline)))) continue;
    const ssize_t n = transport_->Read(buffer, sizeof buffer);
    if (n == 0) return untilClose ? "" : "peer closed while receiving";
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
      if (untilClose && errno == ECONNRESET) return "";
      return std::string("receive failed: ") + std::strerror(errno);
    }
    server_.Record(index_, buffer, static_cast<size_t>(n));
    // Receiving until close keeps nothing: only the record matters.
    if (!untilClose) pending_.append(buffer, static_cast<size_t>(n));
    deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  }
  return "";
}

std::string ScriptedConnection::Take(size_t count) {
  std::string taken = pending_.substr(0, count);
  pending_.erase(0, taken.size());
  return taken;
}

std::string ScriptedConnection::ReadSome(size_t maxBytes) {
  Fill([this] { return !pending_.empty(); });
  return Take(maxBytes);
}

std::string ScriptedConnection::ReadExactly(size_t count) {
  Fill([&] { return pending_.size() >= count; });
  return Take(count);
}

std::string ScriptedConnection::ReadUntil(std::string_view terminator) {
  size_t found = std::string::npos;
  Fill([&] { return (found = pending_.find(terminator)) != std::string::npos; });
  return Take(found == std::string::npos ? pending_.size() : found + terminator.size());
}

bool ScriptedConnection::Write(std::string_view bytes) { return Send(bytes, bytes.size()).empty(); }

bool ScriptedConnection::WriteRaw(std::string_view bytes) {
  return transport_ && transport_->WriteRaw(bytes);
}

bool ScriptedConnection::WritePartialRecord(std::string_view bytes, size_t heldBackBytes) {
  return transport_ && transport_->WritePartialRecord(bytes, heldBackBytes);
}

void ScriptedConnection::SendCloseNotify() {
  if (transport_) transport_->SendCloseNotify();
}

void ScriptedConnection::Reset() { CloseNow(true); }

std::optional<std::string> ScriptedConnection::ServerName() const {
  return transport_ ? transport_->ServerName() : std::nullopt;
}

// Sends `total` bytes of `block` repeated (all of it once when `total` is its size).
std::string ScriptedConnection::Send(std::string_view block, uint64_t total) {
  uint64_t sent = 0;
  size_t offset = 0;  // within block
  while (sent < total) {
    if (!transport_) return "connection already closed";
    if (server_.Stopping()) return "server stopped while sending";
    const size_t chunk = std::min<uint64_t>(block.size() - offset, total - sent);
    const ssize_t n = transport_->Write(block.data() + offset, chunk);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return std::string("send failed: ") + (n < 0 ? std::strerror(errno) : "nothing sent");
    }
    sent += static_cast<uint64_t>(n);
    offset = (offset + static_cast<size_t>(n)) % block.size();
  }
  return "";
}

void ScriptedConnection::CloseNow(bool reset) {
  // The transport goes first so it never touches a descriptor number that was reused.
  transport_.reset();
  server_.CloseConnectionFd(index_, reset);
}

std::string ScriptedConnection::Run(const ScriptStep& step) {
  using Kind = ScriptStep::Kind;
  switch (step.kind) {
    case Kind::kReceiveUntil: {
      size_t searchFrom = 0;
      size_t found = std::string::npos;
      std::string failure = Fill([&] {
        found = pending_.find(step.text, searchFrom);
        if (found != std::string::npos) return true;
        searchFrom =
            pending_.size() >= step.text.size() ? pending_.size() - step.text.size() + 1 : 0;
        return false;
      });
      if (failure.empty()) pending_.erase(0, found + step.text.size());
      return failure;
    }
    case Kind::kReceiveBytes: {
      std::string failure = Fill([&] { return pending_.size() >= step.count; });
      if (failure.empty()) pending_.erase(0, step.count);
      return failure;
    }
    case Kind::kReceiveUntilClose:
      return Fill({}, true);
    case Kind::kSend:
      return Send(step.text, step.text.size());
    case Kind::kSendRepeated: {
      // A short pattern is repeated into one large block so a big body costs few writes.
      std::string block;
      while (block.size() < 256 * 1024) block += step.text;
      return Send(block, step.count);
    }
    case Kind::kPause: {
      const auto deadline = Clock::now() + std::chrono::milliseconds(step.count);
      while (!server_.Stopping() && Clock::now() < deadline) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(kSliceMs, MillisecondsLeft(deadline))));
      }
      return "";
    }
    case Kind::kShutdownWrite:
      if (transport_) transport_->ShutdownWrite();
      return "";
    case Kind::kClose:
    case Kind::kReset:
      CloseNow(step.kind == Kind::kReset);
      return "";
    case Kind::kRefuseTlsHandshake: {
      // The record header's last two bytes give the ClientHello's length; the answer is a
      // fatal (level 2) protocol_version (70) alert.
      std::string failure = Fill([this] { return pending_.size() >= 5; });
      if (!failure.empty()) return failure;
      const size_t length = 5 + ((static_cast<size_t>(static_cast<uint8_t>(pending_[3])) << 8) |
                                 static_cast<uint8_t>(pending_[4]));
      failure = Fill([&] { return pending_.size() >= length; });
      if (!failure.empty()) return failure;
      pending_.erase(0, length);
      const std::string alert("\x15\x03\x01\x00\x02\x02\x46", 7);
      return Send(alert, alert.size());
    }
    case Kind::kCall:
      step.action(*this);
      return "";
  }
  return "unknown step";
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts)
    : ScriptedServer(std::move(scripts), Options{}) {}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, Options options)
    : scripts_(std::move(scripts)),
      options_(options),
      tlsContext_(options.tls ? loopback::NewServerContext() : nullptr),
      acceptor_(Listener(options), [this](int fd, size_t) { return Admit(fd); }, {}) {}

ScriptedServer::~ScriptedServer() {
  acceptor_.StopAccepting();
  {
    std::lock_guard lock(mutex_);
    // A script blocked in a send to a peer that does not read ends at once.
    for (const auto& connection : connections_) {
      if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
    }
  }
  acceptor_.Stop();
}

bool ScriptedServer::HasIPv6Loopback() { return loopback::LoopbackListener::HasIPv6Loopback(); }

std::string ScriptedServer::Url(const std::string& path) const {
  return std::string(options_.tls ? "https" : "http") +
         (options_.ipv6 ? "://[::1]:" : "://127.0.0.1:") + std::to_string(Port()) + path;
}

size_t ScriptedServer::AcceptedCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

size_t ScriptedServer::HandshakeCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(),
                                           [](const auto& c) { return c->handshake; }));
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

std::optional<std::string> ScriptedServer::ServerName(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index]->serverName : std::nullopt;
}

loopback::ConnectionAcceptor::Work ScriptedServer::Admit(int fd) {
  std::lock_guard lock(mutex_);
  const size_t index = connections_.size();
  if (scripts_.empty() || (index >= scripts_.size() && !options_.repeatScripts)) {
    ::close(fd);  // not scripted: refuse by closing at once
    return {};
  }
  connections_.push_back(std::make_unique<Connection>());
  connections_.back()->fd = fd;
  return [this, index, fd] { RunScript(index, fd); };
}

void ScriptedServer::Record(size_t index, const char* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  connections_[index]->received.append(bytes, count);
}

void ScriptedServer::RunScript(size_t index, int fd) {
  SetTimeouts(fd, options_.stepTimeoutMs);
  const Script& script = scripts_[index % scripts_.size()];
  std::string failure;
  std::unique_ptr<Transport> transport;
  try {
    if (options_.tls) {
      transport = std::make_unique<TlsTransport>(fd, tlsContext_.get());
      std::lock_guard lock(mutex_);
      connections_[index]->handshake = true;
      connections_[index]->serverName = transport->ServerName();
    } else {
      transport = std::make_unique<Transport>(fd);
    }
  } catch (const std::exception& e) {
    failure = std::string("transport: ") + e.what();
  }
  if (transport) {
    ScriptedConnection connection(*this, index, std::move(transport));
    for (const ScriptStep& step : script.Steps()) {
      failure = connection.Run(step);
      if (!failure.empty() || !connection.transport_) break;
    }
  }
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

}  // namespace pixhaul::test
