// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: the HTTP client reading whatever a server sends - interim replies, status line,
// header block, counted, chunked (sizes, extensions, trailers) or until-close body, conflicting
// framing, redirects of every kind - through TIdHTTP::GetInto.
//
// The peer is in memory: a TLS-kind intercept takes over receiving and sending on a real
// loopback connection (to a listener of this process that accepts and drops connections), so
// every byte the client reads on an https address comes from the input. Redirects are kept on
// 127.0.0.1: any reference that names a host is rewritten to the listener, its scheme kept (an
// http one, unless the flags say otherwise, becomes https so the script goes on; kept as http
// it leaves the peer for the listener, which drops it). Failures must be the client's own
// exceptions; a call that returns must have ended in a 2xx reply, with no more body than was
// sent and none above the body limit; no request line may carry a raw blank or control byte.
//
// Input: one flags byte (redirects on, HTTP/1.0, receive chunk size, small limits, http
// redirects kept), then the server's bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "framework/ascii_text.h"
#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "fuzz/fuzz_support.h"
#include "http/http_client.h"
#include "http/request_target.h"
#include "http/socket/tcp_connection.h"
#include "http/tls/secure_intercept.h"
#include "http/uri.h"

namespace {

// Accepts and closes connections on 127.0.0.1 for the life of the process.
class DropListener {
 public:
  DropListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_CHECK(fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                   listen(fd_, 128) == 0,
               "loopback listener");
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (;;) {
        const int client = accept(fd_, nullptr, nullptr);
        if (client >= 0) {
          close(client);
        } else if (errno != EINTR && errno != ECONNABORTED) {
          return;  // the listener was shut down
        }
      }
    });
  }
  ~DropListener() {
    shutdown(fd_, SHUT_RDWR);
    acceptor_.join();
    close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::thread acceptor_;
};

// The in-memory server: hands out the script in chunks, keeps what the client sends, and
// reports a closed peer once the script is used up. It always claims pending bytes, so the
// connection never waits on the real socket.
class ScriptedPeer : public pixhaul::TIdSSLConnectionIntercept {
 public:
  ScriptedPeer(std::string_view script, size_t chunk) : rest_(script), chunk_(chunk) {}
  int ReceiveThrough(char* bytes, int capacity) override {
    const size_t n = std::min({rest_.size(), chunk_, static_cast<size_t>(capacity)});
    std::memcpy(bytes, rest_.data(), n);
    rest_.remove_prefix(n);
    return static_cast<int>(n);
  }
  int SendThrough(const char* bytes, int count) override {
    sent_.append(bytes, static_cast<size_t>(count));
    return count;
  }
  int PendingBytes() const override { return std::max<int>(1, static_cast<int>(rest_.size())); }
  const std::string& Sent() const { return sent_; }

 private:
  std::string_view rest_;
  size_t chunk_;
  std::string sent_;
};

// Every request line the client sent names its target without a raw blank or control byte.
void CheckRequestLines(const std::string& sent) {
  for (size_t at = 0; at < sent.size();) {
    const size_t end = std::min(sent.find("\r\n", at), sent.size());
    const std::string_view line(sent.data() + at, end - at);
    if (line.starts_with("GET ")) {
      const size_t version = line.rfind(" HTTP/");
      FUZZ_CHECK(version != std::string_view::npos && version >= 4,
                 "request line: " + std::string(line));
      for (char c : line.substr(4, version - 4)) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte > 0x20 && byte < 0x7F,
                   "raw byte in a request target: " + std::string(line));
      }
    }
    at = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static DropListener listener;
  static const bool timeoutsSet = (pixhaul::TIdTCPConnection::SetDefaultTimeouts(2000, 2000), true);
  (void)timeoutsSet;
  // PIXHAUL_FUZZ_VERBOSE=1 prints how each input ended, for triage.
  static const bool verbose = std::getenv("PIXHAUL_FUZZ_VERBOSE") != nullptr;
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view script = pixhaul::fuzz::AsText(data + 1, size - 1);
  static constexpr size_t kChunks[] = {1, 3, 64, 4096};
  const std::string listenerAuthority = "//127.0.0.1:" + std::to_string(listener.Port());
  const bool keepHttpRedirects = (flags & 64) != 0;

  ScriptedPeer peer(script, kChunks[(flags >> 2) & 3]);
  pixhaul::TMemoryStream content;
  {
    pixhaul::TIdHTTP http;
    http.HandleRedirects = (flags & 1) != 0;
    if ((flags & 2) != 0) http.ProtocolVersion = pixhaul::TIdHTTPProtocolVersion::pv1_0;
    http.MaxReplyBodyBytes = (flags & 16) != 0 ? 1000 : 1 << 20;
    if ((flags & 32) != 0) http.MaxReplyHeaderBytes = 200;
    http.OnRedirect = [&](pixhaul::TIdHTTP&, std::string& dest, int32_t&, bool&) {
      // Backslashes count as slashes when the client reads a reference, so "http:" followed
      // by two backslashes names a host too: whatever could name a host goes to the listener.
      std::string unified = dest;
      pixhaul::TIdURI::UnifySlashes(unified);
      std::string scheme = pixhaul::ReferenceScheme(unified);
      const std::string rest = scheme.empty() ? unified : unified.substr(scheme.size() + 1);
      if (!rest.starts_with("//")) return;
      if (!keepHttpRedirects && pixhaul::SameText(scheme, "http")) scheme = "https";
      dest = (scheme.empty() ? "" : scheme + ":") + listenerAuthority + "/next";
    };
    http.SetIntercept(&peer);
    try {
      // An https address: the client switches the peer on as it would a TLS intercept.
      http.GetInto("https:" + listenerAuthority + "/img.png", content);
      FUZZ_CHECK(http.ReplyCode / 100 == 2,
                 "a reply other than a success ended as one: " + std::to_string(http.ReplyCode));
      FUZZ_CHECK(content.Size() <= static_cast<int64_t>(script.size()), "body larger than sent");
      FUZZ_CHECK(content.Size() <= http.MaxReplyBodyBytes, "body above the limit");
      if (verbose)
        std::fprintf(stderr, "  returned %d, %lld body bytes\n", http.ReplyCode,
                     static_cast<long long>(content.Size()));
    } catch (const pixhaul::Exception& e) {
      // Every failure of the exchange is one of the client's own exceptions.
      if (verbose) std::fprintf(stderr, "  raised: %s\n", e.Message().c_str());
    }
  }
  CheckRequestLines(peer.Sent());
  return 0;
}
