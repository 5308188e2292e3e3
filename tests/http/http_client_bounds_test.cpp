// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Replies that must not hold or flood the client: bodiless replies and explicit zero lengths
// on connections the server keeps open, negative lengths, oversized header blocks and bodies,
// and servers that stop sending.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

// Replies that end at once or are refused before any body byte is read. The servers stay
// silent for longer than the client's read limit (kTestReadTimeoutMs), so a call that waited
// for a body that is not coming would end in "Read timed out." with its connection closed
// instead of returning on an open one.
TEST(TIdHTTPBounds, RepliesEndAtOnceOrAreRefusedUnread) {
  std::vector<ExchangeRow> rows;
  struct Bodiless {
    std::string reply;
    std::string outcome;
  };
  for (const Bodiless& c : std::vector<Bodiless>{
           {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "body: "},
           {"HTTP/1.1 204 No Content\r\n\r\n", "body: "},
           {"HTTP/1.1 304 Not Modified\r\n\r\n", "EIdProtocolReplyError: 304 Not Modified"},
           {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n",
            "EIdProtocolReplyError: 404 Not Found"},
       }) {
    rows.push_back(ExchangeRow("no body: " + c.reply, "http://h/")
                       .Plain({ServeOnce(c.reply).Pause(8000)})
                       .BareClient()
                       .Ends(c.outcome)
                       .LeavesBody("")
                       .Connected(true));
  }
  rows.push_back(
      ExchangeRow("zero-length redirect is followed at once", "http://h/")
          .Plain({ServeOnce("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n")
                      .ReceiveUntil("\r\n\r\n")
                      .Send(CountedReply("200 OK", "b"))
                      .Pause(8000)})
          .WithoutIntercept()
          .Ends("body: b"));
  for (const std::string value : {"-5", "-1", "-99999999999", "-2 "}) {
    rows.push_back(ExchangeRow("negative length " + value, "http://h/")
                       .Plain({ServeOnce("HTTP/1.1 200 OK\r\nContent-Length: " + value +
                                         "\r\n\r\n" + std::string("\0\0\0\x10payload", 11))
                                   .Pause(3000)})
                       .BareClient()
                       .Ends("EIdInvalidContentLength: Invalid Content-Length: " + value)
                       .LeavesBody("")
                       .Connected(false));
  }
  const std::string tooLarge = "EIdLimitExceeded: Reply body too large.";
  // 600 MiB declared against the default limit: refused before the stream is sized.
  rows.push_back(
      ExchangeRow("600 MiB declared", "http://h/")
          .Plain(
              {ServeOnce("HTTP/1.1 200 OK\r\nContent-Length: 629145600\r\n\r\nxxxx").Pause(3000)})
          .BareClient()
          .Ends(tooLarge)
          .LeavesBody("")
          .Connected(false));
  rows.push_back(
      ExchangeRow("length beyond 32 bits declared", "http://h/")
          .Plain(
              {ServeOnce("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nxxxx").Pause(3000)})
          .BareClient()
          .Ends(tooLarge));
  rows.push_back(ExchangeRow("one byte above a lowered limit", "http://h/")
                     .Plain({ServeOnce(CountedReply("200 OK", std::string(1001, 'b'))).Pause(3000)})
                     .BareClient()
                     .BodyLimit(1000)
                     .Ends(tooLarge)
                     .LeavesBody(""));
  rows.push_back(ExchangeRow("exactly at a lowered limit", "http://h/")
                     .Plain({ServeOnce(CountedReply("200 OK", std::string(1000, 'b')))})
                     .BareClient()
                     .BodyLimit(1000)
                     .Ends("body: " + std::string(1000, 'b')));
  rows.push_back(ExchangeRow("overlong status line", "http://h/")
                     .Plain({ServeOnce("HTTP/1.1 200 " + std::string(200 * 1024, 'o')).Pause(3000)})
                     .BareClient()
                     .Ends("EIdLimitExceeded: Reply line too long.")
                     .Connected(false));
  for (const ExchangeRow& row : rows) ExpectExchange(row);
}

TEST(TIdHTTPBounds, ReplyToHeadHasNoBody) {
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n")
      .ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "got"))
      .Pause(8000);
  ScriptedServer server({script});
  LoopbackHTTP http(server.Port());
  TMemoryStream body;
  http.PerformRequest(RequestMethod::rmHead, server.Url("/h"), &body);
  EXPECT_EQ(body.Size(), 0);
  EXPECT_EQ(http.Reply.ContentLength, 1000);
  http.GetInto(server.Url("/g"), body);
  EXPECT_EQ(body.ToString(), "got");
  EXPECT_EQ(server.Received(0).substr(0, 17), "HEAD /h HTTP/1.1\r");
}

TEST(TIdHTTPBounds, HeaderBlockAboveTheLimit) {
  const std::string line = "X-Filler: " + std::string(990, 'h') + "\r\n";  // 1002 bytes
  {
    // Default limit of 1 MiB: 1100 lines are refused, 1000 lines pass.
    std::string big = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 1100; ++i) big += line;
    ScriptedServer server({ServeOnce(big + "Content-Length: 0\r\n\r\n").Pause(3000)});
    LoopbackHTTP http(server.Port());
    TMemoryStream body;
    EXPECT_EQ(Raised([&] { http.GetInto(server.Url(), body); }),
              "EIdLimitExceeded: Reply header too large.");
    EXPECT_FALSE(http.IsConnected());
    EXPECT_EQ(http.InputBuffer().Length(), 0u);
    EXPECT_EQ(http.WireHeaders.Count(), 0);
  }
  {
    std::string fits = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 1000; ++i) fits += line;
    ScriptedServer server({ServeOnce(fits + "Content-Length: 2\r\n\r\nok")});
    LoopbackHTTP http(server.Port());
    TMemoryStream body;
    http.GetInto(server.Url(), body);
    EXPECT_EQ(body.ToString(), "ok");
    EXPECT_EQ(http.Reply.ExtraHeaders().Count(), 1000);
  }
  {
    // A lowered limit counts line bytes with their line ends.
    ScriptedServer server({ServeOnce("HTTP/1.1 200 OK\r\n" + line + line + "\r\n").Pause(3000)});
    LoopbackHTTP http(server.Port());
    http.MaxReplyHeaderBytes = 2003;
    TMemoryStream body;
    EXPECT_EQ(Raised([&] { http.GetInto(server.Url(), body); }),
              "EIdLimitExceeded: Reply header too large.");
  }
}

TEST(TIdHTTPBounds, ChunkedBodyAboveTheLimit) {
  struct Case {
    std::string name;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"chunks adding up",
       "200\r\n" + std::string(512, 'a') + "\r\n200\r\n" + std::string(512, 'b') + "\r\n0\r\n\r\n"},
      {"one huge size", "FFFFFFFFFFFFFFFFFFFFFFFF\r\nxxxx"},
      {"size beyond 32 bits", "100000000\r\nxxxx"},
  };
  for (const auto& c : cases) {
    ScriptedServer server(
        {ServeOnce("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + c.body).Pause(3000)});
    LoopbackHTTP http(server.Port());
    http.MaxReplyBodyBytes = 1000;
    TMemoryStream body;
    EXPECT_EQ(Raised([&] { http.GetInto(server.Url(), body); }),
              "EIdLimitExceeded: Reply body too large.")
        << c.name;
    EXPECT_LE(body.Size(), 1000) << c.name;
    EXPECT_FALSE(http.IsConnected()) << c.name;
  }
}

TEST(TIdHTTPBounds, EndlessBodyEndsAtTheLimitWithBoundedMemory) {
  constexpr int64_t kLimit = 4 * 1024 * 1024;
  struct Case {
    std::string name;
    std::string head;
    std::string chunk;
  };
  const std::string block(65536, 'z');
  const std::string chunkLine = "10000\r\n" + block + "\r\n";
  const std::vector<Case> cases = {
      {"until close", "HTTP/1.1 200 OK\r\n\r\n", block},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunkLine},
  };
  for (const auto& c : cases) {
    Script script;
    script.ReceiveUntil("\r\n\r\n").Send(c.head).SendRepeated(c.chunk, uint64_t{1} << 32);
    ScriptedServer server({script});
    LoopbackHTTP http(server.Port());
    http.MaxReplyBodyBytes = kLimit;
    TMemoryStream body;
    EXPECT_EQ(Raised([&] { http.GetInto(server.Url(), body); }),
              "EIdLimitExceeded: Reply body too large.")
        << c.name;
    EXPECT_LE(body.Size(), kLimit) << c.name;
    EXPECT_FALSE(http.IsConnected()) << c.name;
  }
}

TEST(TIdHTTPBounds, SilentServerTimesOutEveryRead) {
  struct Case {
    std::string name;
    std::string sent;
  };
  const std::vector<Case> cases = {
      {"status line", ""},
      {"header block", "HTTP/1.1 200 OK\r\nServer: x\r\n"},
      {"counted body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"},
      {"chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"},
      {"chunk size line", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n"},
      {"until close", "HTTP/1.1 200 OK\r\n\r\nsome"},
  };
  for (const auto& c : cases) {
    Script script;
    script.ReceiveUntil("\r\n\r\n");
    if (!c.sent.empty()) script.Send(c.sent);
    script.Pause(8000);
    ScriptedServer server({script});
    LoopbackHTTP http(server.Port());
    http.SetReadTimeoutMs(300);
    TMemoryStream body;
    // Stalled for longer than the limit: a wait without limit would end in the server's
    // close instead, with another message.
    EXPECT_EQ(Raised([&] { http.GetInto(server.Url(), body); }), "EIdReadTimeout: Read timed out.")
        << c.name;
    EXPECT_FALSE(http.IsConnected()) << c.name;
  }
}

TEST(TIdHTTPBounds, NoStreamLeavesNoBodyForTheNextReply) {
  Script script;
  script.ReceiveUntil("\r\n\r\n").Send(CountedReply("200 OK", "unread body")).Pause(3000);
  ScriptedServer server({script, ServeOnce(CountedReply("200 OK", "second"))});
  LoopbackHTTP http(server.Port());
  http.PerformRequest(RequestMethod::rmGet, server.Url("/a"), nullptr);
  TMemoryStream body;
  http.GetInto(server.Url("/b"), body);
  EXPECT_EQ(body.ToString(), "second");
  EXPECT_EQ(server.AcceptedCount(), 2u);
}

}  // namespace
}  // namespace pixhaul::test
