// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdHTTP: the HTTP/1.x client. One call (GetInto) becomes one or more hops on the client's
// connection, a hop being one request and its reply; redirects are followed by the client
// itself when HandleRedirects is set.
//
// The client owns its Request and Reply records and its working header list; it does not own
// its Intercept (the TLS layer, switched on for "https" addresses). Bodies go from the
// connection straight into the caller's stream. A client is used by one thread at a time; the
// download worker builds one per image on its own thread.
//
// Every wait for a line or body bytes gives up after the connection's ReadTimeoutMs() without
// a byte, or when a reply trickles (EIdReadTimeout "Read timed out."), and a whole call ends so
// once CallTimeLimitMs() has passed since it began. Hostile replies are bounded: a line above
// 100 KiB, a head (interim replies, header block, chunk trailer) above MaxReplyHeaderBytes or a
// body above MaxReplyBodyBytes (for a chunked body: every byte of it, framing and chunk
// extensions included) ends the call with EIdLimitExceeded after the connection was closed.
//
// A call never ends as a success with a body that is not the final reply's whole body: interim
// (1xx) replies are skipped, a partial (206) reply fails with its status text as an error does,
// chunked framing wins over Content-Length and must be well formed,
// conflicting lengths fail, a redirect past RedirectMaximum or without a target fails with its
// status text, and a redirect target is resolved against the current request (RFC 3986) and
// refused unless it is http or https. A GET or HEAD whose reused kept-alive connection turns
// out closed before any byte of the reply arrived is sent once more on a new connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "framework/stream.h"
#include "framework/string_list.h"
#include "http/body_framing.h"
#include "http/header_info.h"
#include "http/header_list.h"
#include "http/proxy/proxy_choice.h"
#include "http/socket/connection_exceptions.h"
#include "http/tcp_client.h"

namespace pixhaul {

inline constexpr const char* kProtocolNotSupportedMessage = "Protocol not supported.";
inline constexpr const char* kInvalidPortMessage = "Invalid port number.";
inline constexpr const char* kChunkStartedText = "Chunk Started";
inline constexpr size_t kMaxReplyHeaderBytes = 1024 * 1024;
inline constexpr int64_t kMaxReplyBodyBytes = int64_t{512} * 1024 * 1024;
// The most one call (GetInto) may take, from its start to the last byte of the final reply,
// with the default read time limit; a lower read limit (for tests) scales it down alike. Long
// enough for a 512 MiB body at a modest rate (under 1 MB/s), it ends a transfer that a server
// keeps just above the trickle rate.
inline constexpr int kCallTimeLimitMs = 10 * 60 * 1000;

// A reply that is neither a success nor a followed or accepted redirect. The message is the
// status line without its first token, e.g. "404 Not Found". Written out rather than declared
// like the others because it carries the status code besides its message.
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int32_t statusCode, const std::string& text)
      : EIdException(text), StatusCode(statusCode) {}
  int32_t StatusCode;
};

// An address, or a redirect's target, named a scheme other than http and https.
PIXHAUL_FIXED_EXCEPTION(EIdUnknownProtocol, EIdException, kProtocolNotSupportedMessage);

// An address named a port that is not a number from 1 to 65535 in decimal digits.
PIXHAUL_FIXED_EXCEPTION(EIdInvalidPort, EIdException, kInvalidPortMessage);

enum class TIdHTTPProtocolVersion { pv1_0, pv1_1 };

enum class RequestMethod { rmHead = 0, rmGet = 1, rmPost = 2 };

// An object of a kind the client cannot send as a request body.
struct TIdUnsupportedSource {};
// The body of a POST: none, a line list (sent as its text, each line followed by CR LF) or a
// stream (sent whole, from its start).
using TIdRequestSource =
    std::variant<std::monostate, const TStringList*, TStream*, TIdUnsupportedSource>;

class TIdHTTP;
// Told of a redirect before it is followed or accepted: the handler may change `dest` and
// `Handled`; changes to `NumRedirect` are ignored.
using TIdHTTPOnRedirectEvent =
    std::function<void(TIdHTTP& Sender, std::string& dest, int32_t& NumRedirect, bool& Handled)>;

class TIdHTTP : public TIdTCPClient {
 public:
  // Port 80, HandleRedirects false, RedirectMaximum 15, HTTP/1.1, default header records.
  TIdHTTP();
  ~TIdHTTP() override;

  // Outgoing header lines of a hop, then the incoming ones.
  TIdHeaderList WireHeaders;
  TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
  // Hops nested in the current call (1 in the first hop); 0 after a call that did not raise.
  int32_t RedirectDepth = 0;
  // Redirects are followed only while RedirectDepth is below this.
  int32_t RedirectMaximum = 15;
  TIdHeaderInfo Request;
  TIdHeaderInfo Reply;
  // Status code and status text (status line without its first token) of the last reply.
  int32_t ReplyCode = 0;
  std::string ReplyText;
  bool HandleRedirects = false;
  TIdHTTPOnRedirectEvent OnRedirect;
  // Value of the Host line, and the protocol used for an absolute target in the proxy form.
  std::string RequestHost;
  std::string RequestProtocol;
  // Which proxy each hop goes through, asked again for every hop's address. By default every
  // hop goes direct and nothing of the proxy form below is touched. Otherwise an http address
  // through an HTTP proxy takes the proxy form (absolute target, Proxy-Authorization when the
  // proxy has a user; a 407 raises EIdProxyAuthenticationRequired), and an https address
  // through an HTTP proxy, or any address through a SOCKS5 one, a tunnel (TunnelProxy()).
  ProxyChoice Proxies;
  // Bounds against hostile servers; tests lower them.
  size_t MaxReplyHeaderBytes = kMaxReplyHeaderBytes;
  int64_t MaxReplyBodyBytes = kMaxReplyBodyBytes;

  // A GET of `url`; on return `content` holds the body of the last reply read (written from
  // its position on, the stream cut there). Raises EIdProtocolReplyError for a failed reply (a
  // redirect past the limit or without a target included), EIdInterceptPropInvalid for an
  // https address without a TLS intercept, EConvertError for a malformed status line, chunk
  // size line or Content-Range, EIdInvalidContentLength, EIdUnknownProtocol, EIdInvalidPort,
  // EIdLimitExceeded, EIdReadTimeout and whatever the connection, socket and TLS layers raise.
  void GetInto(const std::string& url, TStream& content);

  // One hop of `method` to `url`, recursing for followed redirects. `content` may be null
  // (the body is then not read and the connection is closed if one follows).
  virtual void PerformRequest(RequestMethod method, const std::string& url, TStream* content,
                              const TIdRequestSource& source = std::monostate{});
  // Whether to follow (or accept) a redirect to `dest`: HandleRedirects, unless OnRedirect
  // says otherwise (it may also change `dest`).
  virtual bool AskRedirect(std::string& dest, int32_t depth);

  // The time one call may take: kCallTimeLimitMs scaled by ReadTimeoutMs() against the
  // default read time limit; -1 (none) when the read time limit is switched off.
  int CallTimeLimitMs() const;
  // An earlier end for the calls made from now on than their own limit gives, for a caller
  // whose several calls share one limit (the tries of one download). Unset by default.
  std::optional<std::chrono::steady_clock::time_point> CallDeadline;

 private:
  // Where a hop goes: an address split into its parts, the target not yet percent-encoded.
  // Empty protocol and host (a relative address) keep the current connection's.
  struct HopAddress {
    std::string protocol;
    std::string host;
    std::string portText;
    std::string target;
  };

  // One hop: request, reply, and the redirects that follow from it.
  void PerformHop(RequestMethod method, const HopAddress& address, TStream* content,
                  const TIdRequestSource& source);
  // Where a redirect to `dest` goes from the hop whose target was `currentTarget`. Raises
  // EIdUnknownProtocol for a scheme other than http and https.
  HopAddress RedirectAddress(std::string dest, const std::string& currentTarget) const;
  // Sets the proxy form's fields or the tunnel for the hop to `address` from Proxies, closing a
  // connection that went another way.
  void ChooseRoute(const HopAddress& address, int32_t port);
  // Sets Host, Port, RequestHost and the intercept for the address; true for the proxy form.
  bool PrepareTarget(const std::string& protocol, const std::string& host, int32_t port);
  void HostStep(const std::string& protocol, const std::string& host, int32_t port);
  void OpenTunnel();
  // Writes the request and reads the first status line of its reply. A GET or HEAD on a reused
  // connection (`reused`) that fails before any byte of the reply has arrived is written once
  // more on a new connection.
  std::string SendRequest(RequestMethod method, const std::string& target,
                          const TIdRequestSource& source, bool reused);
  void WriteRequest(RequestMethod method, const std::string& target,
                    const TIdRequestSource& source);
  // Parses a status line into ReplyCode and ReplyText; true when it is an HTTP/1.0 reply.
  bool ParseStatusLine(const std::string& line);
  // Reads header lines up to the empty line; `received` counts their bytes against
  // MaxReplyHeaderBytes.
  void ReadHeaderBlock(size_t& received);
  // Reads the reply's body into `content` by its framing (body_framing.h); a reply that
  // carries none (to a HEAD, 1xx, 204, 304) leaves the stream cut at its position.
  void ReadBody(RequestMethod method, TStream* content);
  void FinishHop(bool http10Reply);
  // Closes a kept-alive connection that holds bytes beyond the reply just read (or has been
  // reset): they answer no request, and read as the next reply they would pass for it.
  void CloseIfBytesLeft();
  // Whether the last reply read carries "Connection: close" (blanks around it and letter case
  // ignored).
  bool SaysConnectionClose() const;

  // How the open connection goes: "direct", or the proxy and whether it carries the proxy form.
  std::string route_ = "direct";
  // The port the last absolute address of the proxy form named; -1 for none.
  int32_t formPort_ = -1;
  std::string tunnelHost_;
  int32_t tunnelPort_ = 0;
  std::string tunnelVersion_;
};

}  // namespace pixhaul
