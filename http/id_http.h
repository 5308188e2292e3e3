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
// a byte (EIdReadTimeout "Read timed out."). Hostile replies are bounded: a line above 100 KiB,
// a header block above MaxReplyHeaderBytes or a body above MaxReplyBodyBytes ends the call with
// EIdLimitExceeded after the connection was closed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "framework/stream.h"
#include "framework/string_list.h"
#include "http/header_info.h"
#include "http/header_list.h"
#include "http/id_exception.h"
#include "http/tcp_client.h"

namespace pixhaul {

inline constexpr const char* kInvalidContentLengthPrefix = "Invalid Content-Length: ";
inline constexpr const char* kChunkStartedText = "Chunk Started";
inline constexpr size_t kMaxReplyHeaderBytes = 1024 * 1024;
inline constexpr int64_t kMaxReplyBodyBytes = int64_t{512} * 1024 * 1024;

// A reply that is neither a success nor a followed or accepted redirect. The message is the
// status line without its first token, e.g. "404 Not Found".
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int32_t statusCode, const std::string& text)
      : EIdException(text), StatusCode(statusCode) {}
  int32_t StatusCode;
};

// A reply declared a negative Content-Length; the message carries the value as received.
class EIdInvalidContentLength : public EIdException {
 public:
  explicit EIdInvalidContentLength(const std::string& value)
      : EIdException(kInvalidContentLengthPrefix + value) {}
};

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
  // Bounds against hostile servers; tests lower them.
  size_t MaxReplyHeaderBytes = kMaxReplyHeaderBytes;
  int64_t MaxReplyBodyBytes = kMaxReplyBodyBytes;

  // A GET of `url`; on return `content` holds the body of the last reply read (written from
  // its position on, the stream cut there). Raises EIdProtocolReplyError for a failed reply,
  // EIdInterceptPropInvalid for an https address without a TLS intercept, EConvertError for a
  // malformed status line or Content-Range, EIdInvalidContentLength, EIdLimitExceeded,
  // EIdReadTimeout and whatever the connection, socket and TLS layers raise.
  void GetInto(const std::string& url, TStream& content);

  // One hop of `method` to `url`, recursing for followed redirects. `content` may be null
  // (the body is then not read and the connection is closed if one follows).
  virtual void PerformRequest(RequestMethod method, const std::string& url, TStream* content,
                              const TIdRequestSource& source = std::monostate{});
  // Whether to follow (or accept) a redirect to `dest`: HandleRedirects, unless OnRedirect
  // says otherwise (it may also change `dest`).
  virtual bool AskRedirect(std::string& dest, int32_t depth);

 private:
  // Sets Host, Port, RequestHost and the intercept for the address; true for the proxy form.
  bool PrepareTarget(const std::string& protocol, const std::string& host, int32_t port);
  void HostStep(const std::string& protocol, const std::string& host, int32_t port);
  void OpenTunnel();
  void WriteRequest(RequestMethod method, const std::string& target,
                    const TIdRequestSource& source);
  // Reads and parses the status line; true when it is an HTTP/1.0 reply.
  bool ReadStatusLine();
  void ReadHeaderBlock();
  void ReadBody(RequestMethod method, TStream* content);
  void ReadChunkedBody(TStream& content);
  int64_t NextChunkLength();
  void FinishHop(bool http10Reply);
  // Whether the last reply read carries "Connection: close" (blanks around it and letter case
  // ignored).
  bool SaysConnectionClose() const;
  // Closes the connection, drops buffered bytes and raises EIdLimitExceeded.
  [[noreturn]] void FailLimit(const char* message);

  std::string tunnelHost_;
  int32_t tunnelPort_ = 0;
  std::string tunnelVersion_;
};

}  // namespace pixhaul
