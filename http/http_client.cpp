// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/http_client.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "framework/ascii_text.h"
#include "framework/exception.h"
#include "framework/integer_text.h"
#include "http/host_name.h"
#include "http/proxy/proxy_exceptions.h"
#include "http/request_target.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"
#include "http/tls/secure_intercept.h"
#include "http/uri.h"

namespace pixhaul {

namespace {

const char* MethodWord(RequestMethod method) {
  switch (method) {
    case RequestMethod::rmHead:
      return "HEAD ";
    case RequestMethod::rmPost:
      return "POST ";
    case RequestMethod::rmGet:
      break;
  }
  return "GET ";
}

const char* VersionText(TIdHTTPProtocolVersion version) {
  return version == TIdHTTPProtocolVersion::pv1_0 ? "1.0" : "1.1";
}

int64_t SourceLength(const TIdRequestSource& source) {
  if (const auto* lines = std::get_if<const TStringList*>(&source); lines && *lines) {
    return static_cast<int64_t>((*lines)->Text().size());
  }
  if (const auto* stream = std::get_if<TStream*>(&source); stream && *stream) {
    return (*stream)->Size();
  }
  return 0;
}

// The port number an address names: -1 when it names none (the protocol's default port stands
// in). Anything but 1 to 65535 in decimal digits is refused: a port text cut to 16 bits, or
// read as the default, would send the request to a port the address did not name.
int32_t PortNumber(const std::string& portText) {
  if (portText.empty()) return -1;
  const bool digitsOnly =
      std::all_of(portText.begin(), portText.end(), [](char c) { return DigitValue(c, 10) >= 0; });
  const std::optional<int64_t> value = digitsOnly ? ParseDecimal(portText) : std::nullopt;
  if (!value || *value < 1 || *value > 65535) throw EIdInvalidPort();
  return static_cast<int32_t>(*value);
}

bool IsHttpScheme(const std::string& scheme) {
  return SameText(scheme, "http") || SameText(scheme, "https");
}

bool CarriesNoBody(RequestMethod method, int32_t code) {
  return method == RequestMethod::rmHead || code / 100 == 1 || code == 204 || code == 304;
}

}  // namespace

TIdHTTP::TIdHTTP() : Request(this), Reply(this) { SetPort(80); }

TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::GetInto(const std::string& url, TStream& content) {
  PerformRequest(RequestMethod::rmGet, url, &content);
}

bool TIdHTTP::AskRedirect(std::string& dest, int32_t depth) {
  bool handled = HandleRedirects;
  if (OnRedirect) {
    int32_t numRedirect = depth;
    OnRedirect(*this, dest, numRedirect, handled);
  }
  return handled;
}

void TIdHTTP::PerformRequest(RequestMethod method, const std::string& url, TStream* content,
                             const TIdRequestSource& source) {
  HopAddress address;
  std::string path, resourceName, fragment;
  TIdURI::SplitAddress(url, address.protocol, address.host, path, resourceName, address.portText,
                       fragment);
  address.target = path + resourceName;
  // An address of another scheme ("ftp://", "data:", "javascript:") must never be fetched as
  // if it were plain HTTP; it is refused before any connection is touched.
  std::string unified = url;
  TIdURI::UnifySlashes(unified);
  const std::string scheme =
      unified.find("://") != std::string::npos ? address.protocol : ReferenceScheme(unified);
  if (!scheme.empty() && !IsHttpScheme(scheme)) throw EIdUnknownProtocol();

  // However steadily a server sends, the call has an end: the connect, handshake and reads of
  // every hop share one deadline.
  const int limitMs = CallTimeLimitMs();
  if (limitMs < 0) {
    PerformHop(method, address, content, source);
    return;
  }
  struct DeadlineScope {
    TIdReadRateGuard& guard;
    ~DeadlineScope() { guard.SetDeadline(std::nullopt); }
  } scope{ReadGuard()};
  auto deadline = TIdReadRateGuard::Clock::now() + std::chrono::milliseconds(limitMs);
  if (CallDeadline && *CallDeadline < deadline) deadline = *CallDeadline;
  ReadGuard().SetDeadline(deadline);
  PerformHop(method, address, content, source);
}

int TIdHTTP::CallTimeLimitMs() const {
  if (ReadTimeoutMs() <= 0) return -1;
  return static_cast<int>(std::min<int64_t>(
      int64_t{kCallTimeLimitMs} * ReadTimeoutMs() / kDefaultReadTimeoutMs, INT32_MAX));
}

void TIdHTTP::PerformHop(RequestMethod method, const HopAddress& named, TStream* content,
                         const TIdRequestSource& source) {
  ++RedirectDepth;
  // A body that cannot be sent is refused before a connection is touched.
  if (method == RequestMethod::rmPost && std::holds_alternative<TIdUnsupportedSource>(source)) {
    throw EIdObjectTypeNotSupported();
  }

  const int32_t port = PortNumber(named.portText);
  // The host is read as a browser reads it; one with a control byte or a blank is no host the
  // address can name. Either way before a route, a lookup or a connection is chosen for it.
  HopAddress address = named;
  if (!address.host.empty()) address.host = CanonicalHost(address.host);
  ChooseRoute(address, port);
  std::string target = EncodeRequestTarget(address.target);
  if (PrepareTarget(address.protocol, address.host, port)) {
    // The proxy must reach the port the address named; a relative address keeps the last.
    if (!address.host.empty()) formPort_ = port;
    const std::string portPart = formPort_ == -1 ? "" : ":" + std::to_string(formPort_);
    target = (address.host.empty() ? RequestHost : address.host) + portPart + target;
    target = (address.protocol.empty() ? RequestProtocol : address.protocol) + "://" + target;
  }

  CheckPeerClosed(false, false);
  const bool reused = IsConnected();
  if (!reused) ConnectToPeer();

  WireHeaders.Clear();
  Request.ContentLength =
      method == RequestMethod::rmPost ? static_cast<int32_t>(SourceLength(source)) : 0;
  Request.StoreToLines(WireHeaders);

  bool http10Reply = false;
  try {
    std::string statusLine = SendRequest(method, target, source, reused);
    // Interim replies (100 Continue, 103 Early Hints) come before the reply to act on. Their
    // bytes count against the head's limit, so an endless run of them ends too.
    size_t headBytes = 0;
    for (;;) {
      http10Reply = ParseStatusLine(statusLine);
      ReadHeaderBlock(headBytes);
      if (ReplyCode / 100 != 1) break;
      statusLine = ReadLine();
      headBytes += statusLine.size() + 4;  // with its line end and the interim reply's empty line
      if (headBytes > MaxReplyHeaderBytes) FailLimit(kReplyHeaderTooLargeMessage);
    }
  } catch (const EConvertError&) {
    // The rest of the reply is still on the wire; the connection cannot carry another hop.
    CloseConnection();
    throw;
  }

  const int32_t replyClass = ReplyCode / 100;
  // A partial reply answers a Range request, and none is ever sent: its body is a piece of the
  // resource, never the resource, so it fails as an error does.
  const bool partial = ReplyCode == 206;
  // Only a reply that names where to go redirects: a 3xx without a Location has nowhere to
  // lead, and an error stays an error whatever it carries.
  const std::string location(TrimBlanks(Reply.Location));
  const bool redirect = !location.empty() && replyClass != 4 && replyClass != 5 && !partial;
  ReadBody(method, content);

  if (!redirect) {
    if (replyClass != 2 || partial) {
      if (InterceptEnabled()) CloseConnection();
      if (ReplyCode == 407 && !Request.ProxyServer.empty()) {
        CloseConnection();
        throw EIdProxyAuthenticationRequired();
      }
      throw EIdProtocolReplyError(ReplyCode, ReplyText);
    }
  } else {
    std::string dest = location;
    const bool limitReached = RedirectDepth >= RedirectMaximum;
    if (HandleRedirects && !limitReached) {
      if (content != nullptr) content->SetPosition(0);
      if (AskRedirect(dest, RedirectDepth)) {
        const HopAddress next = RedirectAddress(dest, address.target);
        // A reply that announced "Connection: close" is the last one its connection carries;
        // the next hop written on it would only meet the server's close.
        if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 || http10Reply ||
            SaysConnectionClose()) {
          CloseConnection();
        }
        CloseIfBytesLeft();
        PerformHop(method, next, content, source);
      }
    } else if (!HandleRedirects && AskRedirect(dest, RedirectDepth)) {
      Reply.Location = dest;
    } else {
      // Redirects not handled, or one redirect too many: the reply in hand is not what was
      // asked for, so its body must not pass for it.
      throw EIdProtocolReplyError(ReplyCode, ReplyText);
    }
  }
  FinishHop(http10Reply);
}

std::string TIdHTTP::SendRequest(RequestMethod method, const std::string& target,
                                 const TIdRequestSource& source, bool reused) {
  // A server may close a kept-alive connection while it is idle, without a word; the request
  // then meets the close before any byte of its reply. That is no answer from the server, so
  // the request goes once more on a new connection - never on a fresh connection, never once
  // a reply byte arrived, and never for a method that must not run twice.
  const bool mayRetry = reused && method != RequestMethod::rmPost;
  for (bool retried = false;; retried = true) {
    if (retried) {
      CloseConnection();
      ConnectToPeer();
    }
    const bool canRetry = mayRetry && !retried && InputBuffer().Empty();
    try {
      WriteRequest(method, target, source);
      return ReadLine();
    } catch (const EIdConnClosedGracefully&) {
      if (!canRetry || !InputBuffer().Empty()) throw;
    } catch (const EIdSocketError&) {
      if (!canRetry || !InputBuffer().Empty()) throw;
    }
  }
}

void TIdHTTP::WriteRequest(RequestMethod method, const std::string& target,
                           const TIdRequestSource& source) {
  const SocketCork cork(SocketHandle());
  WriteLine(MethodWord(method) + target + " HTTP/" + VersionText(ProtocolVersion));
  WriteLine("Host: " + RequestHost);
  for (const std::string& line : WireHeaders.Lines()) WriteLine(line);
  WriteLine("");
  if (method != RequestMethod::rmPost) return;

  if (const auto* lines = std::get_if<const TStringList*>(&source); lines && *lines) {
    WriteText((*lines)->Text());
  } else if (const auto* stream = std::get_if<TStream*>(&source); stream && *stream) {
    TStream& body = **stream;
    body.SetPosition(0);
    std::vector<char> block(static_cast<size_t>(std::max(1, SendBufferSize())));
    for (;;) {
      const size_t n = body.Read(block.data(), block.size());
      if (n == 0) break;
      SendBytes(block.data(), static_cast<int>(n));
    }
  }
}

bool TIdHTTP::ParseStatusLine(const std::string& line) {
  const bool http10Reply = line.size() >= 8 && SameText(line.substr(5, 3), "1.0");
  const size_t blank = line.find(' ');
  ReplyText = blank == std::string::npos ? std::string() : line.substr(blank + 1);
  const std::string codeText = ReplyText.substr(0, ReplyText.find(' '));
  ReplyCode = StrToInt(codeText);
  return http10Reply;
}

void TIdHTTP::ReadHeaderBlock(size_t& received) {
  WireHeaders.Clear();
  for (;;) {
    std::string line = ReadLine();
    if (line.empty()) break;
    received += line.size() + 2;
    if (received > MaxReplyHeaderBytes) {
      WireHeaders.Clear();
      FailLimit(kReplyHeaderTooLargeMessage);
    }
    WireHeaders.Add(std::move(line));
  }
  Reply.LoadFromLines(WireHeaders);
}

void TIdHTTP::ReadBody(RequestMethod method, TStream* content) {
  if (CarriesNoBody(method, ReplyCode)) {
    if (content != nullptr) content->SetSize(content->Position());
    return;
  }
  BodyFraming body(*this, Reply, MaxReplyBodyBytes, MaxReplyHeaderBytes);
  if (content == nullptr) {
    // Nothing is read without a stream; unread body bytes would be taken for the next reply.
    body.LeaveUnread();
    return;
  }
  if (body.Framing() == BodyFraming::Kind::kChunked) {
    NotifyStatus(TIdStatus::hsText, kChunkStartedText);
  }
  body.ReadInto(*content);
  content->SetSize(content->Position());
}

void TIdHTTP::FinishHop(bool http10Reply) {
  if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 || http10Reply) {
    CloseConnection();
  } else if (SaysConnectionClose() && IsConnected()) {
    CloseConnection();
  } else {
    CloseIfBytesLeft();
  }
  RedirectDepth = 0;
}

void TIdHTTP::CloseIfBytesLeft() {
  if (!IsConnected()) return;
  // The reply is already whole: a reset or a failed read noticed by this poll ends the
  // connection, not the call.
  try {
    PollPeerClosed(false);
  } catch (const EIdSocketError&) {
    CloseConnection();
  } catch (const EIdReadTimeout&) {
    // Raised only after the connection was closed.
  }
  if (!InputBuffer().Empty()) CloseConnection();
}

bool TIdHTTP::SaysConnectionClose() const {
  return SameText(TrimBlanks(Reply.Connection), "CLOSE");
}

}  // namespace pixhaul
