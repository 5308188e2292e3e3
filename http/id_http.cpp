#include "http/id_http.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <vector>

#include "framework/exception.h"
#include "http/header_text.h"
#include "http/socket_error.h"
#include "http/ssl_connection_intercept.h"
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

// A chunk size line: hexadecimal digits, anything else (empty, an extension glued to the size)
// is 0 and ends the body. Sizes beyond 64 bits saturate, which the body limit then refuses.
int64_t ParseChunkSize(const std::string& text) {
  if (text.empty()) return 0;
  constexpr int64_t kMax = INT64_MAX;
  int64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value > (kMax - digit) / 16 ? kMax : value * 16 + digit;
  }
  return value;
}

// Holds a request's lines back in the kernel while they are written one line per write. With
// Nagle's algorithm on and a peer that delays its acknowledgements, each line after the first
// would otherwise wait for the acknowledgement of the one before: up to 40 ms per request on a
// kept-alive connection. The bytes sent are the same; only their packets change. Failures to
// set the option are ignored, as the request goes out either way.
class RequestCork {
 public:
  explicit RequestCork(TIdSocketHandle& socket)
      : fd_(socket.HandleAllocated() ? socket.Handle() : -1) {
    Set(1);
  }
  ~RequestCork() { Set(0); }
  RequestCork(const RequestCork&) = delete;
  RequestCork& operator=(const RequestCork&) = delete;

 private:
  void Set(int value) {
    if (fd_ >= 0) ::setsockopt(fd_, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
  }
  int fd_;
};

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
  ++RedirectDepth;
  // A body that cannot be sent is refused before a connection is touched.
  if (method == RequestMethod::rmPost && std::holds_alternative<TIdUnsupportedSource>(source)) {
    throw EIdObjectTypeNotSupported();
  }

  std::string protocol, host, path, resourceName, portText, fragment;
  TIdURI::SplitAddress(url, protocol, host, path, resourceName, portText, fragment);
  std::string target = path + resourceName;
  const auto parsedPort = ParseInt32(portText);
  const int32_t port = parsedPort ? *parsedPort : -1;

  if (PrepareTarget(protocol, host, port)) {
    target = (host.empty() ? RequestHost : host) + target;
    target = (protocol.empty() ? RequestProtocol : protocol) + "://" + target;
  }

  CheckPeerClosed(false, false);
  if (!IsConnected()) ConnectToPeer();

  WireHeaders.Clear();
  Request.ContentLength =
      method == RequestMethod::rmPost ? static_cast<int32_t>(SourceLength(source)) : 0;
  Request.StoreToLines(WireHeaders);
  WriteRequest(method, target, source);

  bool http10Reply = false;
  try {
    http10Reply = ReadStatusLine();
    ReadHeaderBlock();
  } catch (const EConvertError&) {
    // The rest of the reply is still on the wire; the connection cannot carry another hop.
    CloseConnection();
    throw;
  }

  const int32_t replyClass = ReplyCode / 100;
  const bool redirect = (replyClass == 3 && ReplyCode != 304) || !Reply.Location.empty();
  ReadBody(method, content);

  if (!redirect) {
    if (replyClass != 2) {
      if (InterceptEnabled()) CloseConnection();
      throw EIdProtocolReplyError(ReplyCode, ReplyText);
    }
  } else {
    std::string dest = Reply.Location;
    if (HandleRedirects && RedirectDepth < RedirectMaximum) {
      if (content != nullptr) content->SetPosition(0);
      if (AskRedirect(dest, RedirectDepth)) {
        // A reply that announced "Connection: close" is the last one its connection carries;
        // the next hop written on it would only meet the server's close.
        if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 || http10Reply ||
            SaysConnectionClose()) {
          CloseConnection();
        }
        PerformRequest(method, dest, content, source);
      }
    } else if (AskRedirect(dest, RedirectDepth)) {
      Reply.Location = dest;
    } else {
      throw EIdProtocolReplyError(ReplyCode, ReplyText);
    }
  }
  FinishHop(http10Reply);
}

bool TIdHTTP::PrepareTarget(const std::string& protocol, const std::string& host, int32_t port) {
  if (!Request.ProxyServer.empty()) {
    SetHost(Request.ProxyServer);
    SetPort(Request.ProxyPort);
    if (!host.empty()) RequestHost = host;
    if (!protocol.empty()) RequestProtocol = protocol;
    tunnelHost_ = host;
    tunnelPort_ = port == -1 ? 443 : port;
    tunnelVersion_ = VersionText(ProtocolVersion);
    if (auto* ssl = dynamic_cast<TIdSSLConnectionIntercept*>(Intercept())) {
      ssl->OnConnect = [this](TIdConnectionIntercept&, TIdSocketHandle&) { OpenTunnel(); };
    } else if (Intercept() != nullptr) {
      Intercept()->OnConnect = nullptr;
    }
    return true;
  }

  if (SameText(protocol, "HTTPS")) {
    if (dynamic_cast<TIdSSLConnectionIntercept*>(Intercept()) == nullptr) {
      throw EIdInterceptPropInvalid();
    }
    HostStep(protocol, host, port);
    SetPort(port == -1 ? 443 : port);
    // A plain connection still open to the same host and port cannot turn into TLS midway.
    if (!InterceptEnabled() && IsConnected()) CloseConnection();
    SetInterceptEnabled(true);
  } else {
    // The intercept is left as it is: a relative address on a TLS connection stays on TLS.
    HostStep(protocol, host, port);
    // A relative address also keeps the port: should its connection have been closed, the
    // next connect must reach the same server again, not port 80 (with TLS still on).
    if (port != -1) {
      SetPort(port);
    } else if (!host.empty()) {
      SetPort(80);
    }
  }
  return false;
}

void TIdHTTP::HostStep(const std::string& protocol, const std::string& host, int32_t port) {
  if (host.empty()) {
    RequestHost = Host();
    return;
  }
  // An absent port (-1) never equals Port(), so an address naming a host without a port
  // always starts a fresh connection, even to the same host.
  if ((!SameText(Host(), host) || port != Port()) && IsConnected()) CloseConnection();
  SetHost(host);
  RequestHost = host;
  if (!protocol.empty()) RequestProtocol = protocol;
}

void TIdHTTP::OpenTunnel() {
  SetInterceptEnabled(false);
  WriteLine("CONNECT " + tunnelHost_ + ":" + std::to_string(tunnelPort_) + " HTTP/" +
            tunnelVersion_);
  WriteLine("");
  for (int i = 0; i < 3; ++i) ReadLine();
  SetInterceptEnabled(true);
}

void TIdHTTP::WriteRequest(RequestMethod method, const std::string& target,
                           const TIdRequestSource& source) {
  const RequestCork cork(SocketHandle());
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

bool TIdHTTP::ReadStatusLine() {
  const std::string line = ReadLine();
  const bool http10Reply = line.size() >= 8 && SameText(line.substr(5, 3), "1.0");
  const size_t blank = line.find(' ');
  ReplyText = blank == std::string::npos ? std::string() : line.substr(blank + 1);
  const std::string codeText = ReplyText.substr(0, ReplyText.find(' '));
  const auto code = ParseInt32(codeText);
  if (!code) throw EConvertError::InvalidInteger(codeText);
  ReplyCode = *code;
  return http10Reply;
}

void TIdHTTP::ReadHeaderBlock() {
  WireHeaders.Clear();
  size_t received = 0;
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

  int64_t declared = -1;
  if (Reply.HasContentLength) {
    declared = ParseDecimal(TrimBlanks(Reply.ContentLengthText)).value_or(0);
    if (declared < 0) {
      // Whatever follows has no known end; the connection cannot be used again.
      CloseConnection();
      throw EIdInvalidContentLength(Reply.ContentLengthText);
    }
    if (declared > MaxReplyBodyBytes) FailLimit(kReplyBodyTooLargeMessage);
  }
  const bool chunked = ContainsText(Reply.ExtraHeaders().ValueOf("Transfer-Encoding"), "chunked");

  if (content == nullptr) {
    // Nothing is read without a stream; unread body bytes would be taken for the next reply.
    if (declared != 0 || chunked) CloseConnection();
    return;
  }
  if (declared > 0) {
    ReadIntoStream(*content, declared, false);
  } else if (chunked) {
    ReadChunkedBody(*content);
  } else if (declared == 0) {
    // An explicit "Content-Length: 0": the body is empty, the connection stays usable.
  } else {
    ReadIntoStream(*content, -1, true, MaxReplyBodyBytes);
  }
  content->SetSize(content->Position());
}

void TIdHTTP::ReadChunkedBody(TStream& content) {
  NotifyStatus(TIdStatus::hsText, kChunkStartedText);
  int64_t total = 0;
  int64_t n = NextChunkLength();
  while (n > 0) {
    if (n > MaxReplyBodyBytes - total) FailLimit(kReplyBodyTooLargeMessage);
    ReadIntoStream(content, n, false);
    total += n;
    ReadLine();
    n = NextChunkLength();
  }
  // The line after the last chunk; further trailer lines are not read.
  ReadLine();
}

int64_t TIdHTTP::NextChunkLength() {
  std::string line = ReadLine();
  const size_t blank = line.find(' ');
  if (blank != std::string::npos) line.erase(blank);
  return ParseChunkSize(line);
}

void TIdHTTP::FinishHop(bool http10Reply) {
  if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 || http10Reply) {
    CloseConnection();
  } else if (SaysConnectionClose() && IsConnected()) {
    CloseConnection();
  } else {
    // The reply is already whole: a reset or a failed read noticed by this poll ends the
    // connection, not the call.
    try {
      PollPeerClosed(false);
    } catch (const EIdSocketError&) {
      CloseConnection();
    } catch (const EIdReadTimeout&) {
      // Raised only after the connection was closed.
    }
  }
  RedirectDepth = 0;
}

bool TIdHTTP::SaysConnectionClose() const {
  return SameText(TrimBlanks(Reply.Connection), "CLOSE");
}

void TIdHTTP::FailLimit(const char* message) {
  CloseConnection();
  InputBuffer().Clear();
  throw EIdLimitExceeded(message);
}

}  // namespace pixhaul
