// Fuzz target: the HTTP client reading whatever a server sends - status line, header block,
// counted, chunked or until-close body, redirects - through TIdHTTP::GetInto.
//
// The peer is in memory: an intercept takes over receiving and sending on a real loopback
// connection (to a listener of this process that accepts and drops connections), so every byte
// the client reads comes from the input. Redirects are kept on 127.0.0.1: any absolute target
// is rewritten to the listener. Failures must be the client's own exceptions; a call that
// returns must have ended in a success or an accepted redirect, with no more body than was
// sent and none above the body limit.
//
// Input: one flags byte (redirects on, HTTP/1.0, receive chunk size, small limits), then the
// server's bytes.
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

#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "fuzz/fuzz_support.h"
#include "http/connection_intercept.h"
#include "http/id_http.h"
#include "http/tcp_connection.h"
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

// The in-memory server: hands out the script in chunks, swallows what the client sends, and
// reports a closed peer once the script is used up. It always claims pending bytes, so the
// connection never waits on the real socket.
class ScriptedPeer : public pixhaul::TIdConnectionIntercept {
 public:
  ScriptedPeer(std::string_view script, size_t chunk) : rest_(script), chunk_(chunk) {
    SetHandlesReceive(true);
    SetHandlesSend(true);
  }
  int ReceiveThrough(char* bytes, int capacity) override {
    const size_t n = std::min({rest_.size(), chunk_, static_cast<size_t>(capacity)});
    std::memcpy(bytes, rest_.data(), n);
    rest_.remove_prefix(n);
    return static_cast<int>(n);
  }
  int SendThrough(const char*, int count) override { return count; }
  int PendingBytes() const override { return std::max<int>(1, static_cast<int>(rest_.size())); }

 private:
  std::string_view rest_;
  size_t chunk_;
};

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
  const std::string self = "http://127.0.0.1:" + std::to_string(listener.Port());

  ScriptedPeer peer(script, kChunks[(flags >> 2) & 3]);
  pixhaul::TMemoryStream content;
  {
    pixhaul::TIdHTTP http;
    http.HandleRedirects = (flags & 1) != 0;
    if ((flags & 2) != 0) http.ProtocolVersion = pixhaul::TIdHTTPProtocolVersion::pv1_0;
    http.MaxReplyBodyBytes = (flags & 16) != 0 ? 1000 : 1 << 20;
    if ((flags & 32) != 0) http.MaxReplyHeaderBytes = 200;
    http.OnRedirect = [&self](pixhaul::TIdHTTP&, std::string& dest, int32_t&, bool&) {
      // Backslashes count as slashes when the client splits an address, so "http:" followed
      // by two backslashes names a host too: whatever could name a host goes to the listener.
      std::string unified = dest;
      pixhaul::TIdURI::UnifySlashes(unified);
      if (unified.find("://") != std::string::npos) dest = self + "/next";
    };
    http.SetIntercept(&peer);
    http.SetInterceptEnabled(true);
    try {
      http.GetInto(self + "/img.png", content);
      const int replyClass = http.ReplyCode / 100;
      FUZZ_CHECK(replyClass == 2 || replyClass == 3 || !http.Reply.Location.empty(),
                 "a failed reply ended as success: " + std::to_string(http.ReplyCode));
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
  return 0;
}
