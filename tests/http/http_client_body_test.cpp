// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Reply bodies of the HTTP exchange: counted, chunked and until-close, and the reply header
// records as they arrive over the wire.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

TEST(TIdHTTPBody, ChunkedBodies) {
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  struct Case {
    std::string name;
    std::string headers;
    std::string body;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"single chunk", "Transfer-Encoding: chunked\r\n", "5\r\nhello\r\n0\r\n\r\n", "hello"},
      {"upper-case size", "Transfer-Encoding: chunked\r\n", "1A\r\n" + alphabet + "\r\n0\r\n\r\n",
       alphabet},
      {"lower-case size", "Transfer-Encoding: chunked\r\n", "1a\r\n" + alphabet + "\r\n0\r\n\r\n",
       alphabet},
      {"several chunks", "Transfer-Encoding: chunked\r\n",
       "3\r\nabc\r\n2\r\nde\r\n1\r\nf\r\n0\r\n\r\n", "abcdef"},
      {"extension after a blank", "Transfer-Encoding: chunked\r\n",
       "5 ;ext=1\r\nhello\r\n0\r\n\r\n", "hello"},
      {"capital Chunked", "Transfer-Encoding: Chunked\r\n", "2\r\nok\r\n0\r\n\r\n", "ok"},
      {"gzip, chunked", "Transfer-Encoding: gzip, chunked\r\n", "3\r\n\x1f\x8b\x08\r\n0\r\n\r\n",
       "\x1f\x8b\x08"},
      {"no chunks", "Transfer-Encoding: chunked\r\n", "0\r\n\r\n", ""},
  };
  for (const auto& c : cases) {
    ScriptedServer server({ThenServeNext("HTTP/1.1 200 OK\r\n" + c.headers + "\r\n" + c.body)});
    LoopbackHTTP http(server.Port());
    TMemoryStream body;
    http.GetInto(server.Url(), body);
    EXPECT_EQ(body.ToString(), c.expected) << c.name;
    EXPECT_EQ(http.Reply.ExtraHeaders().ValueOf("Transfer-Encoding"),
              c.headers.substr(19, c.headers.size() - 21))
        << c.name;
    // The body ended exactly at its last line: the next reply on the connection reads cleanly.
    TMemoryStream next;
    http.GetInto(server.Url(), next);
    EXPECT_EQ(next.ToString(), "next") << c.name;
    EXPECT_EQ(server.AcceptedCount(), 1u) << c.name;
  }
}

TEST(TIdHTTPBody, ChunkStartedStatusIsReported) {
  ScriptedServer server(
      {ServeOnce("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n")});
  LoopbackHTTP http(server.Port());
  std::vector<std::string> texts;
  http.OnStatus = [&](TIdComponent&, TIdStatus status, const std::string& text) {
    if (status == TIdStatus::hsText) texts.push_back(text);
  };
  TMemoryStream body;
  http.GetInto(server.Url(), body);
  EXPECT_EQ(texts, std::vector<std::string>{"Chunk Started"});
}

TEST(TIdHTTPBody, UntilCloseWithoutLengthOrChunking) {
  Script script;
  script.ReceiveUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nServer: t\r\n\r\nuntil ").Pause(100);
  script.Send("the close").Close();
  ScriptedServer server({script});
  LoopbackHTTP http(server.Port());
  TMemoryStream body;
  body.Write("stale bytes that must go away", 29);
  body.SetPosition(0);
  http.GetInto(server.Url(), body);
  EXPECT_EQ(body.ToString(), "until the close");
  EXPECT_FALSE(http.IsConnected());
}

TEST(TIdHTTPBody, SurplusBeyondACountedBodyIsNeverTheNextReply) {
  // Both replies arrive in one write; the second answers no request, so the connection that
  // holds it is closed and the next call gets its reply from a new one.
  Script surplus;
  surplus.ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "abc") + CountedReply("200 OK", "xy"))
      .ReceiveUntil("\r\n\r\n")
      .Pause(3000);
  ScriptedServer server({surplus, ServeOnce(CountedReply("200 OK", "fresh"))});
  TIdHTTP http;
  http.SetReadTimeoutMs(kTestReadTimeoutMs);
  TMemoryStream first, second;
  http.GetInto(server.Url(), first);
  EXPECT_EQ(first.ToString(), "abc");
  EXPECT_FALSE(http.IsConnected());
  http.GetInto(server.Url(), second);
  EXPECT_EQ(second.ToString(), "fresh");
  EXPECT_EQ(server.AcceptedCount(), 2u);
}

TEST(TIdHTTPBody, ReplyHeaderRecordsFromTheWire) {
  ScriptedServer server(
      {ThenServeNext("HTTP/1.1 200 OK\r\n"
                     "content-length: 4\r\n"
                     "X-Note: first\r\n"
                     "  second\r\n"
                     "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                     "Expires: -1\r\n"
                     "Server: loopback\r\n"
                     "\r\n"
                     "body")});
  LoopbackHTTP http(server.Port());
  TMemoryStream body;
  http.GetInto(server.Url(), body);
  EXPECT_EQ(body.ToString(), "body");
  EXPECT_EQ(http.Reply.ContentLength, 4);
  EXPECT_EQ(http.Reply.Server, "loopback");
  EXPECT_EQ(http.Reply.ExtraHeaders().ValueOf("X-Note"), "first second");
  EXPECT_EQ(http.Reply.ExtraHeaders().FindName("Content-Length"), -1);
  const double offset = LocalUtcOffset();
  const double nov6 = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
  EXPECT_NEAR(http.Reply.Date, nov6 + offset, 1e-9);
  EXPECT_NEAR(http.Reply.Expires, offset, 1e-9);
  EXPECT_EQ(http.ReplyText, "200 OK");
}

// Where a body ends: its framing, and a header that contradicts or breaks it.
TEST(TIdHTTPBody, FramingDecidesWhereTheBodyEnds) {
  const std::vector<ExchangeRow> rows = {
      ExchangeRow("counted body cut short", "http://h/")
          .Plain({Script()
                      .ReceiveUntil("\r\n\r\n")
                      .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc")
                      .Close()})
          .BareClient()
          .Ends("EIdConnClosedGracefully: Connection Closed Gracefully."),
      ExchangeRow("chunked wins over an explicit zero length", "http://h/")
          .Plain({ServeOnce("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nTransfer-Encoding: "
                            "chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n")})
          .BareClient()
          .Ends("body: ok"),
      ExchangeRow("malformed Content-Range: the body stays unread", "http://h/")
          .Plain({ServeOnce("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes */1000\r\n"
                            "Content-Length: 4\r\n\r\nbody")
                      .Pause(2000)})
          .BareClient()
          .Ends("EConvertError: '*/1000' is not a valid integer value")
          .LeavesBody("")
          .Connected(false),
      ExchangeRow("two Location lines: the first is followed", "http://h/")
          .Plain({ServeOnce("HTTP/1.1 302 Found\r\nLocation: /first\r\nLocation: /second\r\n"
                            "Content-Length: 0\r\n\r\n")
                      .ReceiveUntil("\r\n\r\n")
                      .Send(CountedReply("200 OK", "done"))})
          .WithoutIntercept()
          .Ends("body: done")
          .Requests({Get("/"), Get("/first")}),
  };
  for (const ExchangeRow& row : rows) ExpectExchange(row);
}

TEST(TIdHTTPBody, NonNumericContentLengthReadsUntilClose) {
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nall of it")
      .Close();
  ScriptedServer server({script});
  LoopbackHTTP http(server.Port());
  TMemoryStream body;
  http.GetInto(server.Url(), body);
  EXPECT_EQ(http.Reply.ContentLength, 0);
  EXPECT_EQ(body.ToString(), "all of it");
}

TEST(TIdHTTPBody, BodyIsWrittenAtTheStreamPosition) {
  ScriptedServer server({ServeOnce(CountedReply("200 OK", "tail"))});
  LoopbackHTTP http(server.Port());
  TMemoryStream body;
  body.Write("head-and-more", 13);
  body.SetPosition(5);
  http.GetInto(server.Url(), body);
  EXPECT_EQ(body.ToString(), "head-tail");
}

}  // namespace
}  // namespace pixhaul::test
