// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Hostile and broken servers against the client set up exactly as a download worker sets it up
// (Referer, User-Agent, redirects on, a TLS intercept attached): every reply ends in the right
// body or in a failure, never in a wrong body that would be saved and logged "OK".
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "http/socket/socket_error.h"
#include "http/tls/openssl_intercept.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

// A chunked 200 reply with the given chunked body text.
std::string Chunked(const std::string& body, const std::string& headers = "") {
  return "HTTP/1.1 200 OK\r\n" + headers + "Transfer-Encoding: chunked\r\n\r\n" + body;
}

// Sends `head` at once, then `dripped` one byte every `intervalMs`, then `tail`: a reply that
// never goes silent for long, yet trickles.
Script Trickle(Script script, const std::string& head, const std::string& dripped,
               const std::string& tail, int intervalMs) {
  if (!head.empty()) script.Send(head);
  for (char c : dripped) script.Send(std::string(1, c)).Pause(intervalMs);
  if (!tail.empty()) script.Send(tail);
  return script;
}

Script AfterRequest() { return Script().ReceiveUntil("\r\n\r\n"); }

// Serves `reply` and then closes, without saying so, the kept-alive connection.
Script ServeThenDropSilently(const std::string& reply) {
  return Script().ReceiveUntil("\r\n\r\n").Send(reply).Close();
}

TEST(TIdHTTPHostileServer, RightBodyOrAFailureNeverAWrongBody) {
  using namespace std::string_literals;
  const std::string kUnknownHost = "EIdSocketError: Socket Error # 11001\r\n";
  constexpr int kTrickleLimitMs = 300;
  constexpr int kDripMs = 100;
  const std::string hello = CountedReply("200 OK", "hello");
  const std::string image = CountedReply("200 OK", "image");
  // A TLS handshake record of 256 bytes announced whole.
  const std::string handshakeRecord("\x16\x03\x03\x01\x00", 5);

  Script fifteenRedirects;
  Script fourteenRedirects;
  std::vector<std::string> fifteenRequests{Get("/start")};
  for (int i = 1; i <= 15; ++i) {
    fifteenRedirects.ReceiveUntil("\r\n\r\n").Send(RedirectReply("/hop" + std::to_string(i), "r"));
    if (i < 15) {
      fourteenRedirects.ReceiveUntil("\r\n\r\n").Send(RedirectReply("/hop" + std::to_string(i)));
      fifteenRequests.push_back(Get("/hop" + std::to_string(i)));
    }
  }
  fourteenRedirects.ReceiveUntil("\r\n\r\n").Send(image);

  // Forty one-byte chunks with extensions: a body of 40 bytes, with 840 bytes on the wire.
  std::string tinyChunks;
  for (int i = 0; i < 40; ++i) tinyChunks += "1;ext=0123456789\r\nx\r\n";
  const std::string longExtension = "1;" + std::string(100 * 1024, 'e') + "\r\nx\r\n0\r\n\r\n";

  // Far above the trickle rate and never silent for the read limit of 100 ms, for 6 s: only
  // the call's time limit (20 times the read limit, 2 s) ends it.
  constexpr int kSteadyLimitMs = 100;
  auto steadyBody = [](Script script, int blocks) {
    for (int i = 0; i < blocks; ++i) script.Send(std::string(2048, 's')).Pause(50);
    return script;
  };
  const std::string endlessHead = "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n";
  // A redirect whose body takes 0.8 s, then an image whose body takes 1.5 s: each hop alone
  // would end in time, but the call's 2 s cover both (the first hop short, so that a loaded
  // machine still reaches the second).
  Script slowHops = steadyBody(
      AfterRequest().Send("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 32768\r\n\r\n"),
      16);
  slowHops.ReceiveUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 61440\r\n\r\n");
  slowHops = steadyBody(std::move(slowHops), 30);

  std::string slowBody;
  for (int i = 0; i < 12; ++i) slowBody += std::string(1024, static_cast<char>('a' + i));
  Script slowButSteady = AfterRequest().Send("HTTP/1.1 200 OK\r\nContent-Length: 12288\r\n\r\n");
  for (int i = 0; i < 12; ++i) slowButSteady.Send(slowBody.substr(i * 1024, 1024)).Pause(kDripMs);

  const std::vector<ExchangeRow> rows = {
      // Redirect limit: the fifteenth reply is still a redirect, so there is no image.
      ExchangeRow("fifteenth redirect", "http://h/start")
          .Plain({fifteenRedirects})
          .Ends("EIdProtocolReplyError: 302 Found")
          .Requests(fifteenRequests),
      ExchangeRow("fourteen redirects, then the image", "http://h/start")
          .Plain({fourteenRedirects})
          .Ends("body: image"),

      // Chunk size lines.
      ExchangeRow("extension glued to the size", "http://h/c")
          .Plain({ThenServeNext(Chunked("5;name=value\r\nhello\r\n0\r\n\r\n"))})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("extensions after blanks", "http://h/c")
          .Plain({ThenServeNext(Chunked("5 \t;a=1;b=\"x\"\r\nhello\r\n0\r\n\r\n"))})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("size line not hexadecimal", "http://h/c")
          .Plain({ServeOnce(Chunked("5\r\nhello\r\nzz\r\nworld\r\n0\r\n\r\n")).Pause(3000)})
          .Ends("EConvertError: 'zz' is not a valid integer value"),
      ExchangeRow("size followed by text", "http://h/c")
          .Plain({ServeOnce(Chunked("5 five\r\nhello\r\n0\r\n\r\n")).Pause(3000)})
          .Ends("EConvertError: '5 five' is not a valid integer value"),
      ExchangeRow("empty size line", "http://h/c")
          .Plain({ServeOnce(Chunked("5\r\nhello\r\n\r\n0\r\n\r\n")).Pause(3000)})
          .Ends("EConvertError: '' is not a valid integer value"),
      ExchangeRow("chunk longer than its size", "http://h/c")
          .Plain({ServeOnce(Chunked("3\r\nhello\r\n0\r\n\r\n")).Pause(3000)})
          .Ends("EConvertError: 'lo' is not a valid integer value"),
      // Every byte of a chunked body counts against its bound, its framing too.
      ExchangeRow("framing beyond the body bound", "http://h/c")
          .Plain({ServeOnce(Chunked(tinyChunks + "0\r\n\r\n")).Pause(3000)})
          .Ends("EIdLimitExceeded: Reply body too large.")
          .BodyLimit(200),
      ExchangeRow("framing within the body bound", "http://h/c")
          .Plain({ThenServeNext(Chunked("5;a=1\r\nhello\r\n0\r\n\r\n"))})
          .Ends("body: hello")
          .BodyLimit(200)
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("chunk extension beyond the line bound", "http://h/c")
          .Plain({ServeOnce(Chunked(longExtension)).Pause(3000)})
          .Ends("EIdLimitExceeded: Reply line too long."),
      ExchangeRow("TLS: chunk extension beyond the line bound", "https://secure.example/c")
          .Secure({ServeOnce(Chunked(longExtension)).Pause(3000)})
          .Ends("EIdLimitExceeded: Reply line too long."),
      ExchangeRow("trailer fields after the last chunk", "http://h/c")
          .Plain(
              {ThenServeNext(Chunked("5\r\nhello\r\n0\r\nX-Checksum: 1234\r\nX-More: 5\r\n\r\n"))})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),

      // Framing conflicts.
      ExchangeRow("chunked wins over Content-Length", "http://h/c")
          .Plain({ThenServeNext(Chunked("5\r\nhello\r\n0\r\n\r\n", "Content-Length: 3\r\n"))})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("chunked named on a second line", "http://h/c")
          .Plain({ThenServeNext(Chunked("5\r\nhello\r\n0\r\n\r\n", "Transfer-Encoding: gzip\r\n"))})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("two different lengths", "http://h/c")
          .Plain(
              {ServeOnce("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!")
                   .Pause(3000)})
          .Ends("EIdInvalidContentLength: Invalid Content-Length: 5, 6"),
      ExchangeRow("two equal lengths", "http://h/c")
          .Plain({ThenServeNext(
              "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello")})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),

      // Interim replies.
      ExchangeRow("100 Continue before the reply", "http://h/i")
          .Plain({ThenServeNext("HTTP/1.1 100 Continue\r\n\r\n" + hello)})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("103 Early Hints before the reply", "http://h/i")
          .Plain({ThenServeNext("HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n"
                                "HTTP/1.1 102 Processing\r\n\r\n" +
                                hello)})
          .Ends("body: hello")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("interim replies without end", "http://h/i")
          .Plain({AfterRequest().SendRepeated("HTTP/1.1 100 Continue\r\n\r\n", 4 << 20)})
          .Ends("EIdLimitExceeded: Reply header too large."),

      // Redirects without a target, and errors that carry one.
      ExchangeRow("302 without Location", "http://h/r")
          .Plain({ServeOnce(CountedReply("302 Found", "moved")).Pause(3000)})
          .Ends("EIdProtocolReplyError: 302 Found")
          .Requests({Get("/r")}),
      ExchangeRow("301 with an empty Location", "http://h/r")
          .Plain({ServeOnce(CountedReply("301 Moved Permanently", "", "Location:   \r\n"))
                      .Pause(3000)})
          .Ends("EIdProtocolReplyError: 301 Moved Permanently")
          .Requests({Get("/r")}),
      ExchangeRow("404 with a Location", "http://h/r")
          .Plain(
              {ServeOnce(RedirectReply("/elsewhere.jpg", "missing", "404 Not Found")).Pause(3000)})
          .Ends("EIdProtocolReplyError: 404 Not Found")
          .Requests({Get("/r")}),
      ExchangeRow("503 with a Location", "http://h/r")
          .Plain({ServeOnce(RedirectReply("/elsewhere.jpg", "busy", "503 Service Unavailable"))
                      .Pause(3000)})
          .Ends("EIdProtocolReplyError: 503 Service Unavailable")
          .Requests({Get("/r")}),

      // Redirect targets.
      ExchangeRow("reference relative to the folder", "http://h/a/b/page.html")
          .Plain({ThenServeNext(RedirectReply("img/x.jpg"))})
          .Ends("body: next")
          .Requests({Get("/a/b/page.html"), Get("/a/b/img/x.jpg")})
          .Connects({"h:80"}),
      ExchangeRow("reference with dot segments", "http://h/a/b/page.html")
          .Plain({ThenServeNext(RedirectReply("./../c/./x.jpg?s=1#frag"))})
          .Ends("body: next")
          .Requests({Get("/a/b/page.html"), Get("/a/c/x.jpg?s=1")})
          .Connects({"h:80"}),
      ExchangeRow("address inside the query", "http://h/a/page")
          .Plain({ThenServeNext(RedirectReply("/go?u=http://evil.example/x.jpg"))})
          .Ends("body: next")
          .Requests({Get("/a/page"), Get("/go?u=http://evil.example/x.jpg")})
          .Connects({"h:80"}),
      ExchangeRow("reference naming a host", "http://h/a/page")
          .Plain({ServeOnce(RedirectReply("//other.example/x.jpg")).Pause(3000), ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a/page"), Get("/x.jpg")})
          .Connects({"h:80", "other.example:80"}),
      ExchangeRow("ftp Location", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("ftp://h/a.jpg")).Pause(3000)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Requests({Get("/a.jpg")})
          .Connects({"h:80"}),
      ExchangeRow("file Location", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("file:///etc/passwd")).Pause(3000)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Requests({Get("/a.jpg")})
          .Connects({"h:80"}),
      ExchangeRow("https page redirecting to http", "https://secure.example/s.jpg")
          .Plain({ServeOnce(CountedReply("200 OK", "plain image"))})
          .Secure({ServeOnce(RedirectReply("http://plain.example/p.jpg")).Pause(3000)})
          .Ends("body: plain image")
          .Requests({Get("/p.jpg"), Get("/s.jpg")})
          .Connects({"secure.example:443", "plain.example:80"}),
      ExchangeRow("port beyond 65535", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("http://h:65616/x.jpg")).Pause(3000), ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Requests({Get("/a.jpg")})
          .Connects({"h:80"}),

      // The address names the place: the authority ends at the first "/", "?" or "#", user
      // information is dropped, and a port that is not 1 to 65535 in digits goes nowhere.
      ExchangeRow("port before a query", "http://127.0.0.1:8080?id=1")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/?id=1")})
          .Hosts({"Host: 127.0.0.1"})
          .Connects({"127.0.0.1:8080"}),
      ExchangeRow("port before a fragment", "http://h:8080#x")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/")})
          .Hosts({"Host: h"})
          .Connects({"h:8080"}),
      ExchangeRow("user information in the address", "http://u:p@h:8080/a")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a")})
          .Hosts({"Host: h"})
          .Connects({"h:8080"}),
      ExchangeRow("an at sign in the password", "http://ann:se@cret@h/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Hosts({"Host: h"})
          .Connects({"h:80"}),
      ExchangeRow("an address inside the query is no authority",
                  "http://h?u=x@evil.example:81/y.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/?u=x@evil.example:81/y.jpg")})
          .Connects({"h:80"}),
      ExchangeRow("TLS: user information and a query after the host",
                  "https://ann@secure.example?x=1")
          .Secure({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/?x=1")})
          .Hosts({"Host: secure.example"})
          .Connects({"secure.example:443"}),
      ExchangeRow("Location with user information and a port before its query", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("http://x:y@other.example:8081?img=1")).Pause(3000),
                  ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a.jpg"), Get("/?img=1")})
          .Hosts({"Host: h", "Host: other.example"})
          .Connects({"h:80", "other.example:8081"}),
      ExchangeRow("TLS: Location naming a port by a word", "https://secure.example/a.jpg")
          .Secure({ServeOnce(RedirectReply("https://secure.example:https/b.jpg")).Pause(3000)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Requests({Get("/a.jpg")})
          .Connects({"secure.example:443"}),
      ExchangeRow("port 0", "http://h:0/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("port 65536", "http://h:65536/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("port with a sign", "http://h:+80/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("port with a letter", "http://h:80a/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("port of blanks", "http://h: 80/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("TLS: port beyond 65535", "https://secure.example:70000/a.jpg")
          .Secure({ServeOnce(image)})
          .Ends("EIdInvalidPort: Invalid port number.")
          .Connects({}),
      ExchangeRow("empty port: the default", "http://h:/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"h:80"}),

      // A host is exactly what the address names: one holding a control byte or a blank is an
      // unknown host, refused before any lookup or connection, never cut at a NUL.
      ExchangeRow("NUL and CRs in a Location's host", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("http://127.0.0.1\0\rX-Injected-Header;yes\r:81/x"s))
                      .Pause(3000),
                  ServeOnce(image)})
          .Ends(kUnknownHost)
          .Requests({Get("/a.jpg")})
          .Hosts({"Host: h"})
          .Connects({"h:80"}),
      ExchangeRow("NUL in the address's host", "http://h\0.evil.example/a.jpg"s)
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("blank in the host", "http://h x/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("tab in the host", "http://h\t/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("DEL in the host", "http://h\x7f:8080/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("TLS: NUL in the host verified when asked for",
                  "https://localhost\0.evil.example/"s)
          .Secure({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({})
          .VerifyingCertificates(),
      ExchangeRow("TLS: control byte in a Location's host", "https://secure.example/a.jpg")
          .Secure({ServeOnce(RedirectReply("https://secure.example\x01.evil/b.jpg")).Pause(3000),
                   ServeOnce(image)})
          .Ends(kUnknownHost)
          .Requests({Get("/a.jpg")})
          .Connects({"secure.example:443"}),
      ExchangeRow("relative Location with a NUL stays on the host", "http://h/a.jpg")
          .Plain({ThenServeNext(RedirectReply("/b\0c.jpg"s))})
          .Ends("body: next")
          .Requests({Get("/a.jpg"), Get("/b%00c.jpg")})
          .Hosts({"Host: h", "Host: h"}),

      // Numeric hosts are read one way, as browsers read them: octal and hexadecimal parts,
      // fewer than four parts; an international name goes out in its ASCII form.
      ExchangeRow("octal part", "http://0177.0.0.1/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Hosts({"Host: 127.0.0.1"})
          .Connects({"127.0.0.1:80"}),
      ExchangeRow("octal last part", "http://127.0.0.010:8080/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"127.0.0.8:8080"}),
      ExchangeRow("hexadecimal part and two parts", "http://0x7f.1/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"127.0.0.1:80"}),
      ExchangeRow("two decimal parts, a trailing dot", "http://127.1./a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"127.0.0.1:80"}),
      ExchangeRow("one number", "http://2130706433/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"127.0.0.1:80"}),
      ExchangeRow("five parts", "http://1.2.3.4.5/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("part beyond 255", "http://127.0.0.256/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),
      ExchangeRow("Location with an octal host", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("http://0x7F.00.0.01:81/b.jpg")).Pause(3000),
                  ServeOnce(image)})
          .Ends("body: image")
          .Hosts({"Host: h", "Host: 127.0.0.1"})
          .Connects({"h:80", "127.0.0.1:81"}),
      ExchangeRow("international name",
                  "http://b\xC3\xBC"
                  "cher.example/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Hosts({"Host: xn--bcher-kva.example"})
          .Connects({"xn--bcher-kva.example:80"}),
      ExchangeRow("TLS: international name",
                  "https://b\xC3\xBC"
                  "cher.example/a.jpg")
          .Secure({ServeOnce(image)})
          .Ends("body: image")
          .Hosts({"Host: xn--bcher-kva.example"})
          .Connects({"xn--bcher-kva.example:443"}),
      ExchangeRow("name IDNA refuses",
                  "http://a\xFF\xFE"
                  "b.example/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends(kUnknownHost)
          .Connects({}),

      // Only http and https, in any letter case, are fetched; nothing else opens a connection.
      ExchangeRow("ftp address", "ftp://h/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("FTP address in capitals", "FTP://h:21/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("file address", "file:///etc/passwd")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("data address", "data:image/png;base64,iVBORw0KGgo=")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("javascript address", "javascript:fetch('http://h/a.jpg')")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("scheme with a blank", "htt p://h/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("EIdUnknownProtocol: Protocol not supported.")
          .Connects({}),
      ExchangeRow("http in mixed case", "hTtP://h/a.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"h:80"}),
      ExchangeRow("TLS: https in mixed case", "HttPS://secure.example/a.jpg")
          .Secure({ServeOnce(image)})
          .Ends("body: image")
          .Connects({"secure.example:443"}),

      // Certificates are verified only when asked for; the test server's is self-signed.
      ExchangeRow("TLS: certificate verified when asked for", "https://secure.example/a.jpg")
          .Secure({ServeOnce(image)})
          .Ends(std::string("EIdOSSLCertificateVerifyError: Certificate verify failed: ") +
                X509_verify_cert_error_string(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) + ".")
          .VerifyingCertificates(),
      ExchangeRow("http to an https redirect verified when asked for", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("https://secure.example/b.jpg")).Pause(3000)})
          .Secure({ServeOnce(image)})
          .Ends(std::string("EIdOSSLCertificateVerifyError: Certificate verify failed: ") +
                X509_verify_cert_error_string(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) + ".")
          .Connects({"h:80", "secure.example:443"})
          .VerifyingCertificates(),

      // A partial reply is not an image: no Range is ever sent.
      ExchangeRow("206 Partial Content", "http://h/a.jpg")
          .Plain({ThenServeNext(
              CountedReply("206 Partial Content", "ima", "Content-Range: bytes 0-2/5\r\n"))})
          .Ends("EIdProtocolReplyError: 206 Partial Content")
          .LeavesTheConnectionAtTheNextReply(),
      ExchangeRow("206 with a Location", "http://h/a.jpg")
          .Plain({ServeOnce(RedirectReply("/b.jpg", "ima", "206 Partial Content")).Pause(3000),
                  ServeOnce(image)})
          .Ends("EIdProtocolReplyError: 206 Partial Content")
          .Requests({Get("/a.jpg")}),
      ExchangeRow("TLS: 206 Partial Content", "https://secure.example/a.jpg")
          .Secure({ServeOnce(CountedReply("206 Partial Content", "ima")).Pause(3000)})
          .Ends("EIdProtocolReplyError: 206 Partial Content"),
      ExchangeRow("redirect to a 206", "http://h/a.jpg")
          .Plain({AfterRequest()
                      .Send(RedirectReply("/b.jpg"))
                      .ReceiveUntil("\r\n\r\n")
                      .Send(CountedReply("206 Partial Content", "ima"))
                      .Pause(3000)})
          .Ends("EIdProtocolReplyError: 206 Partial Content")
          .Requests({Get("/a.jpg"), Get("/b.jpg")}),

      // A kept-alive connection the server dropped while idle.
      ExchangeRow("reused connection closed before the reply", "http://h/first")
          .Plain({ServeThenDropSilently(RedirectReply("/next")), ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/first"), Get("/next")})
          .Connects({"h:80", "h:80"}),
      ExchangeRow("fresh connection closed before the reply", "http://h/first")
          .Plain({AfterRequest().Close(), ServeOnce(image)})
          .Ends("EIdConnClosedGracefully: Connection Closed Gracefully.")
          .Requests({Get("/first")})
          .Connects({"h:80"}),
      ExchangeRow("reused connection closed inside the status line", "http://h/first")
          .Plain({AfterRequest()
                      .Send(RedirectReply("/next"))
                      .ReceiveUntil("\r\n\r\n")
                      .Send("HTTP/1.1 2")
                      .Close(),
                  ServeOnce(image)})
          .Ends("EConvertError: '' is not a valid integer value")
          .Requests({Get("/first"), Get("/next")})
          .Connects({"h:80"}),

      // Bytes beyond a reply's framing answer no request: the connection that holds them is
      // closed, never read for the next hop's reply.
      ExchangeRow("a second reply behind a redirect's body", "http://h/a")
          .Plain({AfterRequest()
                      .Send(RedirectReply("/b", "moved") + CountedReply("200 OK", "smuggled"))
                      .Pause(3000),
                  ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a"), Get("/b")})
          .Connects({"h:80", "h:80"}),
      ExchangeRow("TLS: a second reply behind a redirect's body", "https://secure.example/a")
          .Secure({AfterRequest()
                       .Send(RedirectReply("/b", "moved") + CountedReply("200 OK", "smuggled"))
                       .Pause(3000),
                   ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a"), Get("/b")})
          .Connects({"secure.example:443", "secure.example:443"}),
      ExchangeRow("bytes behind the last reply", "http://h/a")
          .Plain({ServeOnce(image + CountedReply("200 OK", "smuggled")).Pause(3000)})
          .Ends("body: image")
          .Connected(false),

      // Request target bytes.
      ExchangeRow("blanks, control and high bytes in the address",
                  "http://h/a b/c\x01"
                  "d\x7f\xc3\xa9.jpg?q=x y&r=%41")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a%20b/c%01d%7F%C3%A9.jpg?q=x%20y&r=%41")}),
      ExchangeRow("a request smuggled in the address",
                  "http://h/a.jpg HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET /b.jpg")
          .Plain({ServeOnce(image)})
          .Ends("body: image")
          .Requests({Get("/a.jpg%20HTTP/1.1%0D%0AX-Injected:%201%0D%0A%0D%0AGET%20/b.jpg")}),
      ExchangeRow("blanks and control bytes in a Location", "http://h/a.jpg")
          .Plain({ThenServeNext(RedirectReply("/x y\t\x01.jpg"))})
          .Ends("body: next")
          .Requests({Get("/a.jpg"), Get("/x%20y%09%01.jpg")}),

      // Trickles: never silent for the read limit, yet fewer than 1,024 bytes in twice of it.
      ExchangeRow("status line trickles", "http://h/t")
          .Plain({Trickle(AfterRequest(), "", "HTTP/1.1 200 OK\r\n",
                          "Content-Length: 5\r\n\r\nhello", kDripMs)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kTrickleLimitMs),
      ExchangeRow("header block trickles", "http://h/t")
          .Plain({Trickle(AfterRequest(), "HTTP/1.1 200 OK\r\n", "X-Slow: 123456789\r\n",
                          "Content-Length: 5\r\n\r\nhello", kDripMs)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kTrickleLimitMs),
      ExchangeRow("body trickles", "http://h/t")
          .Plain({Trickle(AfterRequest(), "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n",
                          "0123456789", "0123456789", kDripMs)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kTrickleLimitMs),
      ExchangeRow("TLS handshake trickles", "https://h/t")
          .Plain(
              {Trickle(Script().ReceiveBytes(5), handshakeRecord, "0123456789abcdef", "", kDripMs)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kTrickleLimitMs),
      ExchangeRow("TLS handshake goes silent", "https://h/t")
          .Plain({Script().ReceiveBytes(5).Send(handshakeRecord).Pause(3000)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kTrickleLimitMs),
      ExchangeRow("steady body beyond the call's time", "http://h/t")
          .Plain({steadyBody(AfterRequest().Send(endlessHead), 120)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kSteadyLimitMs),
      ExchangeRow("TLS: steady body beyond the call's time", "https://secure.example/t")
          .Secure({steadyBody(AfterRequest().Send(endlessHead), 120)})
          .Ends("EIdReadTimeout: Read timed out.")
          .ReadLimitMs(kSteadyLimitMs),
      ExchangeRow("the call's time covers its redirects", "http://h/a")
          .Plain({slowHops})
          .Ends("EIdReadTimeout: Read timed out.")
          .Requests({Get("/a"), Get("/b")})
          .ReadLimitMs(kSteadyLimitMs),
      ExchangeRow("slow but steady body", "http://h/t")
          .Plain({slowButSteady})
          .Ends("body: " + slowBody)
          .ReadLimitMs(500),
  };

  for (const ExchangeRow& row : rows) ExpectExchange(row);
}

}  // namespace
}  // namespace pixhaul::test
