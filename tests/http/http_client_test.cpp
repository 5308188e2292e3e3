// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The HTTP exchange over plain connections: request bytes, status lines, classification,
// redirects and when the connection is kept or closed.
#include "http/http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

TEST(TIdHTTP, ConstructionDefaults) {
  TIdHTTP http;
  EXPECT_EQ(http.Port(), 80);
  EXPECT_FALSE(http.HandleRedirects);
  EXPECT_EQ(http.RedirectMaximum, 15);
  EXPECT_EQ(http.RedirectDepth, 0);
  EXPECT_EQ(http.ProtocolVersion, TIdHTTPProtocolVersion::pv1_1);
  EXPECT_EQ(http.ReplyCode, 0);
  EXPECT_EQ(http.ReplyText, "");
  EXPECT_EQ(http.Request.Accept, "text/html, */*");
  EXPECT_EQ(http.WireHeaders.Count(), 0);
  EXPECT_EQ(http.MaxReplyHeaderBytes, 1024u * 1024);              // 1 MiB
  EXPECT_EQ(http.MaxReplyBodyBytes, int64_t{512} * 1024 * 1024);  // 512 MiB
  EXPECT_EQ(http.Request.Owner(), &http);
}

TEST(TIdHTTP, SendsTheWorkersSixLinesByteForByte) {
  struct Case {
    std::string url;
    std::string connect;
    std::string target;
    std::string host;
    // Where the connection really goes: the server listens on ::1 for "::1" and for "" (the
    // host named, which the test resolver turns into ::1 alone).
    std::string mapHost = "127.0.0.1";
  };
  const std::vector<Case> cases = {
      {"http://h/a/b.jpg", "h:80", "/a/b.jpg", "h"},
      {"http://h:8080/a/b.jpg?x=1#top", "h:8080", "/a/b.jpg?x=1", "h"},
      {"http://h", "h:80", "/", "h"},
      {"HTTP://Img.Example/p q/%41.jpg", "Img.Example:80", "/p%20q/%41.jpg", "Img.Example"},
      // An IPv6 literal: brackets on the Host line, never the port.
      {"http://[::1]/a.png", "[::1]:80", "/a.png", "[::1]", "::1"},
      {"http://[::1]:8080/a.png", "[::1]:8080", "/a.png", "[::1]", "::1"},
      {"http://six.pixhaul.test:8080/a.png", "six.pixhaul.test:8080", "/a.png", "six.pixhaul.test",
       ""},
  };
  TIdStack::SetHostResolver([](const std::string& host) {
    return host == "six.pixhaul.test" ? std::vector<TIdResolvedAddress>{{AF_INET6, "::1"}}
                                      : std::vector<TIdResolvedAddress>{};
  });
  struct ResolverReset {
    ~ResolverReset() { TIdStack::SetHostResolver(nullptr); }
  } resolverReset;
  for (const auto& c : cases) {
    const bool ipv6 = c.mapHost != "127.0.0.1";
    if (ipv6 && !ScriptedServer::HasIPv6Loopback()) {
      std::cout << "[  SKIPPED ] row " << c.url << ": this machine has no ::1\n";
      continue;
    }
    ScriptedServer server({ServeOnce(CountedReply("200 OK", "ok"))}, {.ipv6 = ipv6});
    LoopbackHTTP http(server.Port());
    http.MappedHost = c.mapHost;
    UseWorkerSettings(http);
    TMemoryStream body;
    http.GetInto(c.url, body);
    ASSERT_TRUE(server.WaitFinished(1)) << c.url;
    EXPECT_EQ(server.Received(0), WorkerRequest(c.target, c.host)) << c.url;
    EXPECT_EQ(http.Connects, std::vector<std::string>{c.connect}) << c.url;
    EXPECT_EQ(body.ToString(), "ok") << c.url;
    EXPECT_EQ(http.Request.ContentLength, 0);
  }
}

TEST(TIdHTTP, ALocationMayNameAnIPv6LiteralWithItsPort) {
  if (!ScriptedServer::HasIPv6Loopback()) GTEST_SKIP() << "this machine has no ::1";
  ScriptedServer six({ServeOnce(CountedReply("200 OK", "six"))}, {.ipv6 = true});
  ScriptedServer four({ServeOnce(RedirectReply(six.Url("/b.png")))});
  TIdHTTP http;
  http.SetReadTimeoutMs(kTestReadTimeoutMs);
  UseWorkerSettings(http);
  EXPECT_EQ(Outcome(http, four.Url("/a.png")), "body: six");
  ASSERT_TRUE(six.WaitFinished(1));
  EXPECT_EQ(six.Received(0), WorkerRequest("/b.png", "[::1]"));
}

TEST(TIdHTTP, ErrorReplyRaisesWithStatusTextAndKeepsBody) {
  ScriptedServer server({ServeOnce(CountedReply("404 Not Found", "missing")).Pause(3000)});
  LoopbackHTTP http(server.Port());
  UseWorkerSettings(http);
  TMemoryStream body;
  EXPECT_EQ(Raised<EIdProtocolReplyError>(
                [&] { http.GetInto(server.Url("/x.jpg"), body); },
                [&](const EIdProtocolReplyError& e) { EXPECT_EQ(e.StatusCode, 404); }),
            "EIdProtocolReplyError: 404 Not Found");
  EXPECT_EQ(body.ToString(), "missing");
  EXPECT_EQ(http.ReplyCode, 404);
  // A plain connection stays open after a failed reply.
  EXPECT_TRUE(http.IsConnected());
  // The depth is left where the failure happened.
  EXPECT_EQ(http.RedirectDepth, 1);
}

// Status lines: the code decides the outcome, and a line that names no number leaves the
// connection unusable.
TEST(TIdHTTP, StatusLineDecidesTheOutcome) {
  std::vector<ExchangeRow> rows = {
      ExchangeRow("without reason text", "http://h/")
          .Plain({ServeOnce("HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n")})
          .BareClient()
          .Ends("EIdProtocolReplyError: 404")
          .Code(404),
  };
  struct Malformed {
    std::string statusLine;
    std::string message;
  };
  for (const Malformed& c : std::vector<Malformed>{
           {"HTTP/1.1", "'' is not a valid integer value"},
           {"HTTP/1.1  200 OK", "'' is not a valid integer value"},
           {"", "'' is not a valid integer value"},
           {"HTTP/1.1 abc OK", "'abc' is not a valid integer value"},
           {"HTTP/1.1 2OO OK", "'2OO' is not a valid integer value"},
       }) {
    // The unread rest of the reply must not be taken for the next reply.
    rows.push_back(
        ExchangeRow("status line: " + c.statusLine, "http://h/")
            .Plain({ServeOnce(c.statusLine + "\r\nContent-Length: 2\r\n\r\nok").Pause(3000)})
            .BareClient()
            .Ends("EConvertError: " + c.message)
            .LeavesBody("")
            .Connected(false));
  }
  for (const ExchangeRow& row : rows) ExpectExchange(row);
}

// Redirects, and when a hop's connection is kept, closed or opened anew.
TEST(TIdHTTP, RedirectsAndConnectionReuse) {
  Script chain;
  chain.ReceiveUntil("\r\n\r\n")
      .Send(RedirectReply("/b", "first"))
      .ReceiveUntil("\r\n\r\n")
      .Send(RedirectReply("http://other.example/c.jpg", "second", "301 Moved Permanently"))
      .Pause(3000);
  std::vector<ExchangeRow> rows = {
      ExchangeRow("redirect chain across hosts", "http://h/a")
          .Plain({chain, ServeOnce(CountedReply("200 OK", "final"))})
          .WithoutIntercept()
          .Ends("body: final")
          .Connects({"h:80", "other.example:80"})
          .PlainReceived({WorkerRequest("/a", "h") + WorkerRequest("/b", "h"),
                          WorkerRequest("/c.jpg", "other.example")})
          .Depth(0)
          .Code(200),
      ExchangeRow("a success with a Location is followed", "http://h/here")
          .Plain({ServeOnce(RedirectReply("/there", "here", "200 OK"))
                      .ReceiveUntil("\r\n\r\n")
                      .Send(CountedReply("200 OK", "there"))})
          .WithoutIntercept()
          .Ends("body: there")
          .Requests({Get("/here"), Get("/there")}),
      ExchangeRow("redirect not handled", "http://h/")
          .Plain({ServeOnce(RedirectReply("/elsewhere", "moved")).Pause(2000)})
          .BareClient()
          .Ends("EIdProtocolReplyError: 302 Found")
          .LeavesBody("moved")
          .Connected(true)
          .Code(302),
      ExchangeRow("long redirect body, then a short final body", "http://h/")
          .Plain({ServeOnce(RedirectReply("/final", std::string(5000, 'r')))
                      .ReceiveUntil("\r\n\r\n")
                      .Send(CountedReply("200 OK", "short"))})
          .WithoutIntercept()
          .Ends("body: short"),
      ExchangeRow("long redirect body, then an empty final body", "http://h/")
          .Plain({ServeOnce(RedirectReply("/final", std::string(5000, 'r')))
                      .ReceiveUntil("\r\n\r\n")
                      .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")})
          .WithoutIntercept()
          .Ends("body: ")
          .LeavesBody(""),
      ExchangeRow("absolute redirect to the same host without a port reconnects", "http://h/a")
          .Plain({ServeOnce(RedirectReply("http://h/b")).Pause(3000),
                  ServeOnce(CountedReply("200 OK", "b"))})
          .WithoutIntercept()
          .Ends("body: b")
          .Connects({"h:80", "h:80"})
          .Accepted(2),
      ExchangeRow("HTTP/1.0 reply closes", "http://h/")
          .Plain({ServeOnce("HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx").Pause(3000)})
          .BareClient()
          .Ends("body: x")
          .Connected(false),
      ExchangeRow("HTTP/1.0 client closes", "http://h/")
          .Plain({ServeOnce(CountedReply("200 OK", "x")).Pause(3000)})
          .BareClient()
          .Http10Client()
          .Ends("body: x")
          .Connected(false)
          .Requests({"GET / HTTP/1.0"}),
      ExchangeRow("HTTP/1.0 redirect reconnects for the next hop", "http://h/")
          .Plain({ServeOnce("HTTP/1.0 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n")
                      .Pause(3000),
                  ServeOnce(CountedReply("200 OK", "next"))})
          .WithoutIntercept()
          .Ends("body: next")
          .Accepted(2),
      // The server ends the connection after a reply that says "Connection: close"; a relative
      // Location must not be requested on it.
      ExchangeRow("redirect saying Connection: close is followed on a new connection",
                  "http://127.0.0.1/first")
          .Plain(
              {ServeOnce(CountedReply("302 Found", "", "Connection: close\r\nLocation: /next\r\n"))
                   .Close(),
               ServeOnce(CountedReply("200 OK", "next"))})
          .WithoutIntercept()
          .Ends("body: next")
          .PlainReceived(
              {WorkerRequest("/first", "127.0.0.1"), WorkerRequest("/next", "127.0.0.1")}),
      ExchangeRow("relative redirect after a close reconnects to the same port",
                  "http://h:8080/a.jpg")
          .Plain({ServeOnce("HTTP/1.0 302 Found\r\nLocation: /b.jpg\r\nContent-Length: 0\r\n\r\n")
                      .Close(),
                  ServeOnce(CountedReply("200 OK", "b"))})
          .WithoutIntercept()
          .Ends("body: b")
          .Connects({"h:8080", "h:8080"}),
  };
  struct CloseHeader {
    std::string header;
    bool closed;
  };
  for (const CloseHeader& c : std::vector<CloseHeader>{
           {"Connection: close\r\n", true},
           {"Connection:   CLOSE  \r\n", true},
           {"connection: Close\r\n", true},
           {"Connection: keep-alive\r\n", false},
           {"", false},
       }) {
    rows.push_back(ExchangeRow("header: " + c.header, "http://h/")
                       .Plain({ServeOnce(CountedReply("200 OK", "x", c.header)).Pause(3000)})
                       .BareClient()
                       .Ends("body: x")
                       .Connected(!c.closed));
  }
  for (const ExchangeRow& row : rows) ExpectExchange(row);
}

TEST(TIdHTTP, RedirectHandlerMayRewriteOrRefuse) {
  {
    Script script;
    script.ReceiveUntil("\r\n\r\n")
        .Send(RedirectReply("/ignored"))
        .ReceiveUntil("\r\n\r\n")
        .Send(CountedReply("200 OK", "rewritten"));
    ScriptedServer server({script});
    LoopbackHTTP http(server.Port());
    http.HandleRedirects = true;
    std::vector<int32_t> depths;
    http.OnRedirect = [&](TIdHTTP&, std::string& dest, int32_t& numRedirect, bool& handled) {
      depths.push_back(numRedirect);
      dest = "/chosen";
      numRedirect = 99;
      EXPECT_TRUE(handled);
    };
    TMemoryStream body;
    http.GetInto(server.Url("/"), body);
    EXPECT_EQ(body.ToString(), "rewritten");
    EXPECT_EQ(depths, std::vector<int32_t>{1});
    ASSERT_TRUE(server.WaitFinished(1));
    EXPECT_NE(server.Received(0).find("GET /chosen HTTP/1.1\r\n"), std::string::npos);
  }
  {
    // Refused while following: the call succeeds with the redirect's body.
    ScriptedServer server({ServeOnce(RedirectReply("/no", "redirect body")).Pause(2000)});
    LoopbackHTTP http(server.Port());
    http.HandleRedirects = true;
    http.OnRedirect = [](TIdHTTP&, std::string&, int32_t&, bool& handled) { handled = false; };
    TMemoryStream body;
    http.GetInto(server.Url("/"), body);
    EXPECT_EQ(body.ToString(), "redirect body");
    EXPECT_EQ(server.AcceptedCount(), 1u);
  }
  {
    // Accepted without following: the call succeeds and Location takes the handler's text.
    ScriptedServer server({ServeOnce(RedirectReply("/no", "redirect body")).Pause(2000)});
    LoopbackHTTP http(server.Port());
    http.OnRedirect = [](TIdHTTP&, std::string& dest, int32_t&, bool& handled) {
      dest = "/accepted";
      handled = true;
    };
    TMemoryStream body;
    http.GetInto(server.Url("/"), body);
    EXPECT_EQ(http.Reply.Location, "/accepted");
  }
}

TEST(TIdHTTP, ResetAfterACompleteReplyStillReturnsTheBody) {
  // The reply is whole before the peer resets; the poll after the hop only ends the connection.
  for (int round = 0; round < 5; ++round) {
    ScriptedServer server({ServeOnce(CountedReply("200 OK", "complete body")).Reset()});
    LoopbackHTTP http(server.Port());
    UseWorkerSettings(http);
    TMemoryStream body;
    EXPECT_NO_THROW(http.GetInto("http://h/a.jpg", body)) << "round " << round;
    EXPECT_EQ(body.ToString(), "complete body") << "round " << round;
    EXPECT_EQ(http.RedirectDepth, 0) << "round " << round;
  }
}

// A send that fails closes the connection in the middle of the request. The request's cork must
// then leave alone whatever socket took the closed one's descriptor number.
TEST(TIdHTTP, FailedSendLeavesASocketThatTookTheNumberAlone) {
  class WriteShutAfterConnect : public LoopbackHTTP {
   public:
    using LoopbackHTTP::LoopbackHTTP;
    void ConnectToPeer() override {
      LoopbackHTTP::ConnectToPeer();
      connectedFd = SocketHandle().Handle();
      ::shutdown(connectedFd, SHUT_WR);  // the request's first write fails
    }
    int connectedFd = -1;
  };
  ScriptedServer server({Script().ReceiveUntilClose()});
  WriteShutAfterConnect http(server.Port());
  int successor = -1;
  http.OnDisconnected = [&](TIdTCPConnection&) {
    successor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(successor, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
  };
  TMemoryStream body;
  EXPECT_THROW(http.GetInto("http://h/a.jpg", body), EIdSocketError);
  ASSERT_GE(successor, 0);
  EXPECT_EQ(successor, http.connectedFd) << "the new socket must reuse the closed number";
  int cork = 0;
  socklen_t size = sizeof cork;
  ASSERT_EQ(::getsockopt(successor, IPPROTO_TCP, TCP_CORK, &cork, &size), 0);
  EXPECT_EQ(cork, 1);
  ::close(successor);
}

TEST(TIdHTTP, KeepAliveReusesOneConnectionForTwoCalls) {
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "one"))
      .ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "two"))
      .Pause(3000);
  ScriptedServer server({script});
  TIdHTTP http;
  http.SetReadTimeoutMs(kTestReadTimeoutMs);
  TMemoryStream first, second;
  http.GetInto(server.Url("/1"), first);
  http.GetInto(server.Url("/2"), second);
  EXPECT_EQ(first.ToString(), "one");
  EXPECT_EQ(second.ToString(), "two");
  EXPECT_EQ(server.AcceptedCount(), 1u);
  EXPECT_TRUE(http.IsConnected());
}

TEST(TIdHTTP, HttpsWithoutTlsInterceptIsRefusedBeforeSending) {
  ScriptedServer server({ServeOnce(CountedReply("200 OK", "x"))});
  {
    LoopbackHTTP http(server.Port());
    TMemoryStream body;
    EXPECT_EQ(Raised([&] { http.GetInto("https://h/a.jpg", body); }),
              "EIdInterceptPropInvalid: Intercept value is not valid");
  }
  {
    // An intercept that is not a TLS one is refused too.
    TIdConnectionIntercept plainIntercept;
    LoopbackHTTP http(server.Port());
    http.SetIntercept(&plainIntercept);
    TMemoryStream body;
    EXPECT_THROW(http.GetInto("https://h/a.jpg", body), EIdInterceptPropInvalid);
    EXPECT_TRUE(http.Connects.empty());
  }
  EXPECT_EQ(server.AcceptedCount(), 0u);
}

TEST(TIdHTTP, ProxyFormSendsAbsoluteTarget) {
  ScriptedServer server({ServeOnce(CountedReply("200 OK", "via proxy"))});
  TIdHTTP http;
  http.SetReadTimeoutMs(kTestReadTimeoutMs);
  http.Request.ProxyServer = "127.0.0.1";
  http.Request.ProxyPort = server.Port();
  http.Request.UserAgent.clear();
  http.Request.Accept.clear();
  TMemoryStream body;
  http.GetInto("http://img.example/a.jpg?x=1", body);
  EXPECT_EQ(body.ToString(), "via proxy");
  ASSERT_TRUE(server.WaitFinished(1));
  EXPECT_EQ(server.Received(0),
            "GET http://img.example/a.jpg?x=1 HTTP/1.1\r\nHost: img.example\r\n\r\n");
}

TEST(TIdHTTP, PostSendsTheSourceWithItsLength) {
  ScriptedServer server({[] {
    Script s;
    s.ReceiveUntil("\r\n\r\n").ReceiveBytes(8).Send(CountedReply("200 OK", "posted"));
    return s;
  }()});
  TIdHTTP http;
  http.SetReadTimeoutMs(kTestReadTimeoutMs);
  http.Request.UserAgent.clear();
  TStringList lines;
  lines.Add("a=1");
  lines.Add("b");
  TMemoryStream body;
  http.PerformRequest(RequestMethod::rmPost, server.Url("/form"), &body, &lines);
  EXPECT_EQ(body.ToString(), "posted");
  ASSERT_TRUE(server.WaitFinished(1));
  EXPECT_EQ(server.Received(0),
            "POST /form HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
            "Content-Length: 8\r\n\r\na=1\r\nb\r\n");

  // A body of another kind is refused before anything is sent.
  TIdHTTP other;
  EXPECT_EQ(Raised([&] {
              other.PerformRequest(RequestMethod::rmPost, server.Url("/form"), &body,
                                   TIdUnsupportedSource{});
            }),
            "EIdObjectTypeNotSupported: Object type not supported.");
  EXPECT_EQ(server.AcceptedCount(), 1u);
}

}  // namespace
}  // namespace pixhaul::test
