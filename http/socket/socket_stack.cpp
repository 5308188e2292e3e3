// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/socket_stack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "http/socket/socket_error.h"

namespace pixhaul {
namespace {

thread_local int tLastError = 0;

constexpr size_t kMaxWaitSockets = 64;

// Runs a system call, repeating it while a signal interrupts it; a failure leaves its socket
// error number as the thread's last error.
template <class Call>
auto Checked(Call call) -> decltype(call()) {
  for (;;) {
    auto result = call();
    if (result != -1) return result;
    const int error = errno;
    if (error == EINTR) continue;
    TIdStack::SetLastError(ErrnoToSocketError(error));
    return result;
  }
}

// Takes the part of `rest` before its first dot and leaves what follows; with no dot left the
// whole rest is taken.
std::string TakePart(std::string& rest) {
  const size_t dot = rest.find('.');
  std::string part = rest.substr(0, dot);
  rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
  return part;
}

// A socket address of `family` for `ip` (empty = any) and `port`; false when `ip` is no address
// of that family. IPv4 texts are read part by part as described ("010.1.2.3" is 10.1.2.3).
bool MakeAddress(int family, const std::string& ip, int port, sockaddr_storage& storage,
                 socklen_t& length) {
  storage = {};
  if (family == AF_INET6) {
    auto& address = reinterpret_cast<sockaddr_in6&>(storage);
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_any;
    length = sizeof address;
    return ip.empty() || ::inet_pton(AF_INET6, ip.c_str(), &address.sin6_addr) == 1;
  }
  auto& address = reinterpret_cast<sockaddr_in&>(storage);
  address.sin_family = static_cast<sa_family_t>(family);
  address.sin_port = htons(static_cast<uint16_t>(port));
  length = sizeof address;
  if (ip.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    unsigned char bytes[4];
    TIdStack::TextToAddress(ip, bytes);
    std::memcpy(&address.sin_addr.s_addr, bytes, 4);
  }
  return true;
}

void AddressOf(const sockaddr_storage& storage, std::string& ip, int& port) {
  if (storage.ss_family == AF_INET6) {
    const auto& address = reinterpret_cast<const sockaddr_in6&>(storage);
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text);
    ip = text;
    port = ntohs(address.sin6_port);
    return;
  }
  const auto& address = reinterpret_cast<const sockaddr_in&>(storage);
  unsigned char bytes[4];
  std::memcpy(bytes, &address.sin_addr.s_addr, 4);
  ip = TIdStack::AddressToText(bytes);
  port = ntohs(address.sin_port);
}

// Every address of `host` in the resolver's order, IPv4 and IPv6 alike; empty when the lookup
// fails.
std::vector<TIdResolvedAddress> SystemResolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<TIdResolvedAddress> addresses;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    sockaddr_storage storage{};
    std::memcpy(&storage, entry->ai_addr, entry->ai_addrlen);
    TIdResolvedAddress address{entry->ai_family, {}};
    int port = 0;
    AddressOf(storage, address.ip, port);
    addresses.push_back(std::move(address));
  }
  ::freeaddrinfo(found);
  return addresses;
}

std::mutex gResolverMutex;
TIdHostResolver gResolver;  // guarded by gResolverMutex; empty: the system's

using Clock = std::chrono::steady_clock;

// poll() that survives signals by waiting only for what is left of the original time.
int PollFor(pollfd* fds, nfds_t count, int timeoutMs) {
  const bool forever = timeoutMs < 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  for (;;) {
    int wait = -1;
    if (!forever) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = static_cast<int>(left > 0 ? left : 0);
    }
    int ready = ::poll(fds, count, wait);
    if (ready >= 0) return ready;
    if (errno != EINTR) {
      TIdStack::SetLastError(ErrnoToSocketError(errno));
      return -1;
    }
  }
}

std::mutex gUserMutex;
int gUserCount = 0;  // guarded by gUserMutex

}  // namespace

int TIdStack::LastError() { return tLastError; }
void TIdStack::SetLastError(int number) { tLastError = number; }

int TIdStack::CreateSocket(int family, int type, int protocol) {
  return Checked([&] { return ::socket(family, type | SOCK_CLOEXEC, protocol); });
}

int TIdStack::Bind(int fd, int family, const std::string& ip, int port) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!MakeAddress(family, ip, port, address, length)) {
    SetLastError(kWsaEAfNoSupport);
    return -1;
  }
  return Checked([&] { return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length); });
}

int TIdStack::Connect(int fd, int family, const std::string& ip, int port, int timeoutMs) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!MakeAddress(family, ip, port, address, length)) {
    SetLastError(kWsaEAfNoSupport);
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    SetLastError(ErrnoToSocketError(errno));
    return -1;
  }
  // The connect runs in the background so its wait can be bounded; a signal during the call
  // does not abort it either, so EINTR is waited out like EINPROGRESS.
  int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
  int error = result == 0 ? 0 : errno;
  if (error == EINPROGRESS || error == EINTR) {
    pollfd p{fd, POLLOUT, 0};
    const int ready = PollFor(&p, 1, timeoutMs);
    if (ready == 0) {
      error = ETIMEDOUT;
    } else if (ready < 0) {
      error = errno;
    } else {
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  if (error == 0) return 0;
  SetLastError(ErrnoToSocketError(error));
  return -1;
}

int TIdStack::Recv(int fd, void* buffer, int length, int flags) {
  return static_cast<int>(
      Checked([&] { return ::recv(fd, buffer, static_cast<size_t>(length), flags); }));
}

int TIdStack::Send(int fd, const void* buffer, int length, int flags) {
  return static_cast<int>(Checked(
      [&] { return ::send(fd, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL); }));
}

int TIdStack::SetSockOpt(int fd, int level, int option, const void* value, socklen_t length) {
  return Checked([&] { return ::setsockopt(fd, level, option, value, length); });
}

int TIdStack::Shutdown(int fd, int how) {
  return Checked([&] { return ::shutdown(fd, how); });
}

int TIdStack::CloseSocket(int fd) {
  // Never repeated: after EINTR the descriptor is already released on Linux.
  int result = ::close(fd);
  if (result != 0) SetLastError(ErrnoToSocketError(errno));
  return result;
}

void TIdStack::GetSockName(int fd, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  TestSocketResult(
      Checked([&] { return ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length); }));
  AddressOf(address, ip, port);
}

void TIdStack::GetPeerName(int fd, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  TestSocketResult(
      Checked([&] { return ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length); }));
  AddressOf(address, ip, port);
}

std::string TIdStack::HostByName(const std::string& host) {
  for (const TIdResolvedAddress& address : HostAddresses(host)) {
    if (address.family == AF_INET) return address.ip;
  }
  SetLastError(kWsaHostNotFound);
  ThrowSocketError(kWsaHostNotFound);
}

std::vector<TIdResolvedAddress> TIdStack::HostAddresses(const std::string& host) {
  CheckHostText(host);
  TIdHostResolver resolver;
  {
    std::lock_guard lock(gResolverMutex);
    resolver = gResolver;
  }
  std::vector<TIdResolvedAddress> addresses = resolver ? resolver(host) : SystemResolve(host);
  if (addresses.empty()) {
    SetLastError(kWsaHostNotFound);
    ThrowSocketError(kWsaHostNotFound);
  }
  return addresses;
}

void TIdStack::SetHostResolver(TIdHostResolver resolver) {
  std::lock_guard lock(gResolverMutex);
  gResolver = std::move(resolver);
}

int TIdStack::WaitReadable(std::vector<int>& readList, int timeoutMs) {
  if (readList.size() > kMaxWaitSockets) throw EIdStackSetSizeExceeded();
  pollfd fds[kMaxWaitSockets];
  for (size_t i = 0; i < readList.size(); ++i) fds[i] = {readList[i], POLLIN, 0};
  const int ready = PollFor(fds, readList.size(), timeoutMs == -2 ? -1 : timeoutMs);
  if (ready <= 0) {
    readList.clear();
    return ready;
  }
  std::vector<int> readable;
  for (size_t i = 0; i < readList.size(); ++i) {
    // A closed or failed peer is "readable": the receive reports it.
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readable.push_back(readList[i]);
  }
  readList.swap(readable);
  return static_cast<int>(readList.size());
}

std::string TIdStack::LookupHostAddress(const std::string& host) {
  if (SameText(host, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  return HostByName(host);
}

std::vector<TIdResolvedAddress> TIdStack::LookupHostAddresses(const std::string& host) {
  CheckHostText(host);
  if (IsIPv6Literal(host)) return {{AF_INET6, UnbracketedHost(host)}};
  if (SameText(host, "LOCALHOST") || IsDottedQuad(host)) {
    return {{AF_INET, LookupHostAddress(host)}};
  }
  return HostAddresses(host);
}

bool TIdStack::IsIPv6Literal(const std::string& text) {
  in6_addr address{};
  const std::string bare = UnbracketedHost(text);
  return !bare.empty() && ::inet_pton(AF_INET6, bare.c_str(), &address) == 1;
}

std::string TIdStack::UnbracketedHost(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

bool TIdStack::IsCleanHostText(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

void TIdStack::CheckHostText(const std::string& host) {
  if (IsCleanHostText(host)) return;
  SetLastError(kWsaHostNotFound);
  ThrowSocketError(kWsaHostNotFound);
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  std::string rest = text;
  std::string parts[4];
  for (int i = 0; i < 3; ++i) parts[i] = TakePart(rest);
  parts[3] = rest;
  for (const std::string& part : parts) {
    const std::optional<int32_t> value = ParseInt32(part);
    if (!value || *value < 0 || *value > 255) return false;
  }
  return true;
}

std::string TIdStack::AddressToText(const unsigned char bytes[4]) {
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
         std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

void TIdStack::TextToAddress(const std::string& text, unsigned char bytes[4]) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    std::string part = i < 3 ? TakePart(rest) : rest;
    bytes[i] = static_cast<unsigned char>(StrToInt(part) & 0xFF);
  }
}

int TIdStack::NewSocket(int type, int protocol, int family) {
  const int fd = CreateSocket(family, type, protocol);
  if (fd == -1) throw EIdInvalidSocket();
  return fd;
}

bool TIdStack::TestSocketResult(int result, const std::vector<int>& tolerated) {
  if (result != -1) return false;
  const int number = LastError();
  for (int allowed : tolerated) {
    if (allowed == number) return true;
  }
  ThrowSocketError(number);
}

void TIdStack::ThrowSocketError(int number) { pixhaul::ThrowSocketError(number); }

std::string TIdStack::SocketErrorText(int number) { return pixhaul::SocketErrorText(number); }

TIdStack& SharedStack() {
  // Never destroyed before the process ends, so a worker thread can never reach a stack that
  // another thread tore down; POSIX sockets need no start-up or clean-up of their own.
  static TIdStack stack;
  return stack;
}

int StackUserCount() {
  std::lock_guard lock(gUserMutex);
  return gUserCount;
}

void RegisterStackUser() {
  SharedStack();
  std::lock_guard lock(gUserMutex);
  ++gUserCount;
}

void UnregisterStackUser() {
  std::lock_guard lock(gUserMutex);
  --gUserCount;
}

}  // namespace pixhaul
