// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The buffered connection against scripted loopback peers: line reads, peer closes, body reads,
// writes, the intercept hook and the time and size limits.
#include "http/socket/tcp_connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/tcp_client.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

using Clock = std::chrono::steady_clock;

std::unique_ptr<TIdTCPClient> ConnectedClient(const ScriptedServer& server) {
  auto client = std::make_unique<TIdTCPClient>();
  client->SetHost("127.0.0.1");
  client->SetPort(server.Port());
  client->ConnectToPeer();
  return client;
}

int64_t ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST(ReadLine, AcceptsLfCrLfAndKeepsOneOfTwoCrs) {
  ScriptedServer server({Script().Send("alpha\nbeta\r\ngamma\r\r\n\r\nlast\n").Pause(2000)});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), "alpha");
  EXPECT_EQ(client->ReadLine(), "beta");
  EXPECT_EQ(client->ReadLine(), "gamma\r");
  EXPECT_EQ(client->ReadLine(), "");
  EXPECT_FALSE(client->LineTimedOut());
  EXPECT_EQ(client->ReadLine(), "last");
}

TEST(ReadLine, LineSplitAcrossManyBlocksIsJoined) {
  Script script;
  script.Send("GET /sp");
  script.Pause(50).Send("lit HTTP/1.1\r");
  script.Pause(50).Send("\nnext\r\n");
  ScriptedServer server({script});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), "GET /split HTTP/1.1");
  EXPECT_EQ(client->ReadLine(), "next");
}

TEST(ReadLine, ExplicitTerminatorIsCutAndCrKept) {
  ScriptedServer server({Script().Send("one\r\n--two--three\r\n").Pause(2000)});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine("--"), "one\r\n");
  EXPECT_EQ(client->ReadLine("--"), "two");
  EXPECT_EQ(client->ReadLine("\n"), "three\r");
}

TEST(ReadLine, PeerClosingWithNothingBufferedRaises) {
  ScriptedServer server({Script().Close()});
  auto client = ConnectedClient(server);
  EXPECT_EQ(Raised([&] { client->ReadLine(); }),
            "EIdConnClosedGracefully: Connection Closed Gracefully.");
  EXPECT_FALSE(client->IsConnected());
}

TEST(ReadLine, PeerClosingAfterUnterminatedBytesFirstTimesOutThenRaises) {
  ScriptedServer server({Script().Send("abc").Close()});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), "");
  EXPECT_TRUE(client->LineTimedOut());
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
  EXPECT_EQ(client->InputBuffer().Length(), 3u);
  EXPECT_THROW(client->ReadLine(), EIdConnClosedGracefully);
}

TEST(ReadLine, FiniteWaitWithoutBytesReturnsEmptyAndStaysConnected) {
  ScriptedServer server({Script().Pause(1500).Send("late\n").Pause(1000)});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine("", 50), "");
  EXPECT_TRUE(client->LineTimedOut());
  EXPECT_TRUE(client->IsConnected());
  EXPECT_EQ(client->ReadLine(), "late");
  EXPECT_FALSE(client->LineTimedOut());
}

TEST(ReadLine, SilentPeerTimesOutWithinTheReadLimitAndIsClosed) {
  ScriptedServer server({Script().Pause(5000)});
  auto client = ConnectedClient(server);
  client->SetReadTimeoutMs(300);
  const auto start = Clock::now();
  EXPECT_EQ(Raised([&] { client->ReadLine(); }), "EIdReadTimeout: Read timed out.");
  // A wait without limit would have ended in the peer's close after its pause instead.
  EXPECT_GE(ElapsedMs(start), 250);
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
}

TEST(ReadLine, ReadLimitCountsFromTheLastByteNotTheWholeLine) {
  // Bytes keep trickling in for longer than the limit; each gap is shorter than it.
  Script script;
  for (int i = 0; i < 6; ++i) script.Send("x").Pause(150);
  script.Send("\n").Pause(1000);
  ScriptedServer server({script});
  auto client = ConnectedClient(server);
  client->SetReadTimeoutMs(600);
  EXPECT_EQ(client->ReadLine(), "xxxxxx");
}

TEST(ReadLine, LineOver100KiBRaisesClosesAndFreesTheBuffer) {
  ScriptedServer server({Script().SendRepeated(std::string(4096, 'a'), 200 * 1024).Pause(3000)});
  auto client = ConnectedClient(server);
  EXPECT_EQ(Raised([&] { client->ReadLine(); }), "EIdLimitExceeded: Reply line too long.");
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
  EXPECT_EQ(client->InputBuffer().Length(), 0u);
  EXPECT_EQ(client->InputBuffer().Memory(), nullptr);
}

TEST(ReadLine, LineOfExactly100KiBIsAccepted) {
  const std::string line(kMaxLineLength, 'b');
  ScriptedServer server({Script().Send(line + "\r\n" + "x\n").Pause(2000)});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), line);
  EXPECT_EQ(client->ReadLine(), "x");
}

TEST(ReadLine, TerminatedLineOverTheLimitArrivingAtOnceIsRefused) {
  const std::string line(kMaxLineLength + 1, 'c');
  ScriptedServer server({Script().Send(line + "\n").Pause(2000)});
  auto client = ConnectedClient(server);
  EXPECT_THROW(client->ReadLine(), EIdLimitExceeded);
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
}

TEST(ReadLine, TerminatorSplitAcrossOneByteBlocksIsFound) {
  // One-byte receives: every terminator straddles two blocks, and the search resumes where
  // the previous one stopped.
  ScriptedServer server(
      {Script().Send("ab\r\ncd\r\r\n" + std::string(5000, 'e') + "\r\nf\n").Pause(2000)});
  auto client = ConnectedClient(server);
  client->SetRecvBufferSize(1);
  EXPECT_EQ(client->ReadLine("\r\n"), "ab");
  EXPECT_EQ(client->ReadLine("\r\n"), "cd\r");
  EXPECT_EQ(client->ReadLine("\r\n"), std::string(5000, 'e'));
  EXPECT_EQ(client->ReadLine(), "f");
}

TEST(ReadLine, ManyLinesInOneBlockAreAllRead) {
  // 200000 short lines in one buffer; moving the whole rest of the buffer per line would make
  // this run for minutes.
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "h" + std::to_string(i) + "\r\n";
  ScriptedServer server({Script().Send(lines).Close()});
  auto client = ConnectedClient(server);
  for (int i = 0; i < 200000; ++i) {
    ASSERT_EQ(client->ReadLine(), "h" + std::to_string(i));
  }
  EXPECT_THROW(client->ReadLine(), EIdConnClosedGracefully);
}

TEST(ReadIntoStream, CountedBodyAlreadyBufferedNeedsNoReceiveAndKeepsSurplus) {
  ScriptedServer server({Script().Pause(3000)});
  auto client = ConnectedClient(server);
  client->SetReadTimeoutMs(300);  // a receive would raise EIdReadTimeout
  client->InputBuffer().Append("BODYSURPLUS", 11);
  int works = 0;
  client->OnWork = [&](TIdComponent&, TWorkMode, int64_t) { ++works; };
  TMemoryStream stream;
  client->ReadIntoStream(stream, 4, false);
  EXPECT_EQ(stream.ToString(), "BODY");
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(std::string(client->InputBuffer().Data(), client->InputBuffer().Length()), "SURPLUS");
  EXPECT_EQ(works, 0);
  EXPECT_TRUE(client->IsConnected());
}

TEST(ReadIntoStream, CountedBodyArrivingInPiecesIsWrittenAtThePosition) {
  ScriptedServer server({Script().Send("0123").Pause(50).Send("456789").Pause(2000)});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  stream.Write("pre:", 4);
  client->ReadIntoStream(stream, 10, false);
  EXPECT_EQ(stream.ToString(), "pre:0123456789");
  EXPECT_TRUE(client->IsConnected());
}

TEST(ReadIntoStream, CountedBodyCutShortRaisesAndKeepsWhatArrived) {
  ScriptedServer server({Script().Send("12345").Close()});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  EXPECT_THROW(client->ReadIntoStream(stream, 10, false), EIdConnClosedGracefully);
  EXPECT_EQ(stream.Size(), 10);  // pre-sized, not cut
  EXPECT_EQ(stream.ToString().substr(0, 5), "12345");
}

TEST(ReadIntoStream, CountedBodyOnAnAlreadyClosedConnectionIsNotCompleteWithBufferedPart) {
  ScriptedServer server({Script().Send("line\n12345").Close()});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), "line");
  ASSERT_TRUE(server.WaitFinished(1));
  // The close is noticed while the first part of the body is still buffered.
  while (client->SocketHandle().HandleAllocated()) client->PollPeerClosed(false);
  TMemoryStream stream;
  EXPECT_THROW(client->ReadIntoStream(stream, 10, false), EIdConnClosedGracefully);
  EXPECT_EQ(stream.ToString().substr(0, 5), "12345");
}

// Remembers the largest size the reader asked the stream to take.
class SizeRecordingStream : public TMemoryStream {
 public:
  void SetSize(int64_t newSize) override {
    largest = std::max(largest, newSize);
    TMemoryStream::SetSize(newSize);
  }
  int64_t largest = 0;
};

TEST(ReadIntoStream, HugeDeclaredCountIsNotReservedBeforeItsBytesArrive) {
  // A peer that claims 400 MiB and sends five bytes must not make the reader claim 400 MiB of
  // address space up front: many connections doing so at once run the process out of it.
  ScriptedServer server({Script().Send("12345").Close()});
  auto client = ConnectedClient(server);
  SizeRecordingStream stream;
  EXPECT_THROW(client->ReadIntoStream(stream, int64_t{400} * 1024 * 1024, false),
               EIdConnClosedGracefully);
  EXPECT_LE(stream.largest, kMaxStreamPresize);
  EXPECT_EQ(stream.ToString().substr(0, 5), "12345");
}

TEST(ReadIntoStream, CountedBodyAboveThePresizeArrivesWhole) {
  const int64_t count = kMaxStreamPresize + 300000;
  ScriptedServer server(
      {Script().SendRepeated("0123456789abcdef", static_cast<uint64_t>(count) + 16).Pause(2000)});
  auto client = ConnectedClient(server);
  SizeRecordingStream stream;
  stream.Write("pre:", 4);
  client->ReadIntoStream(stream, count, false);
  ASSERT_EQ(stream.Size(), count + 4);
  EXPECT_EQ(stream.Position(), count + 4);
  std::string expected = "pre:";
  for (int64_t i = 0; i < count; ++i) expected += "0123456789abcdef"[i % 16];
  EXPECT_TRUE(stream.ToString() == expected);
  EXPECT_LE(stream.largest, count + 4);
}

// A stream with no storage of its own to lend: the body reaches it through Write.
class WriteOnlyStream : public TStream {
 public:
  int64_t Size() const override { return static_cast<int64_t>(bytes.size()); }
  void SetSize(int64_t newSize) override {
    bytes.resize(static_cast<size_t>(newSize));
    position_ = std::min(position_, newSize);
  }
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    const auto at = static_cast<size_t>(position_);
    if (at + count > bytes.size()) bytes.resize(at + count);
    bytes.replace(at, count, static_cast<const char*>(buffer), count);
    position_ += static_cast<int64_t>(count);
  }
  std::string bytes;
};

// Whether the body lands in storage the stream lends or goes through Write, a counted body
// takes its own bytes and not one byte of what follows it on the wire.
TEST(ReadIntoStream, CountedBodyTakesNothingBeyondItsEnd) {
  const std::string body = std::string(300000, 'b') + "END";
  for (const bool lends : {true, false}) {
    SCOPED_TRACE(lends ? "stream lends its storage" : "stream takes Write only");
    ScriptedServer server({Script()
                               .Send(body.substr(0, 1000))
                               .Pause(30)
                               .Send(body.substr(1000) + "NEXT LINE\n")
                               .Pause(2000)});
    auto client = ConnectedClient(server);
    TMemoryStream lending;
    WriteOnlyStream writing;
    TStream& stream = lends ? static_cast<TStream&>(lending) : writing;
    client->ReadIntoStream(stream, static_cast<int64_t>(body.size()), false);
    EXPECT_TRUE((lends ? lending.ToString() : writing.bytes) == body);
    EXPECT_EQ(client->ReadLine(), "NEXT LINE");
  }
}

TEST(ReadIntoStream, CountPrefixCutShortByACloseRaises) {
  ScriptedServer server({Script().Send(std::string("\0\0", 2)).Close()});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  EXPECT_THROW(client->ReadIntoStream(stream, -1, false), EIdConnClosedGracefully);
}

TEST(ReadIntoStream, BodyUntilCloseEndsWithoutErrorAndClosesTheConnection) {
  ScriptedServer server({Script().Send("head\n").Send("the body ").Pause(50).Send("ends").Close()});
  auto client = ConnectedClient(server);
  EXPECT_EQ(client->ReadLine(), "head");
  TMemoryStream stream;
  client->ReadIntoStream(stream, -1, true);
  EXPECT_EQ(stream.ToString(), "the body ends");
  EXPECT_FALSE(client->IsConnected());
  EXPECT_TRUE(client->PeerClosed());
}

TEST(ReadIntoStream, LargeBodyUntilCloseArrivesWhole) {
  const uint64_t total = 8 * 1024 * 1024 + 17;
  ScriptedServer server({Script().SendRepeated("0123456789abcdef", total).Close()});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  client->ReadIntoStream(stream, -1, true);
  ASSERT_EQ(static_cast<uint64_t>(stream.Size()), total);
  const char* data = stream.Memory();
  for (uint64_t i = 0; i < total; i += 4099) {
    ASSERT_EQ(data[i], "0123456789abcdef"[i % 16]) << "offset " << i;
  }
}

TEST(ReadIntoStream, BodyUntilCloseFromASilentPeerTimesOut) {
  ScriptedServer server({Script().Send("part").Pause(5000)});
  auto client = ConnectedClient(server);
  client->SetReadTimeoutMs(300);
  TMemoryStream stream;
  EXPECT_THROW(client->ReadIntoStream(stream, -1, true), EIdReadTimeout);
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
}

TEST(ReadIntoStream, BodyLimitStopsAnEndlessBody) {
  ScriptedServer server({Script().SendRepeated(std::string(1024, 'z'), 4 * 1024 * 1024)});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  EXPECT_EQ(Raised([&] { client->ReadIntoStream(stream, -1, true, 1024 * 1024); }),
            "EIdLimitExceeded: Reply body too large.");
  EXPECT_LE(stream.Size(), 1024 * 1024);
  EXPECT_FALSE(client->SocketHandle().HandleAllocated());
  // A counted body over the limit is refused before anything is read or reserved.
  ScriptedServer second({Script().Pause(2000)});
  auto other = ConnectedClient(second);
  TMemoryStream untouched;
  EXPECT_THROW(other->ReadIntoStream(untouched, 5000, false, 4000), EIdLimitExceeded);
  EXPECT_EQ(untouched.Size(), 0);
}

TEST(ReadIntoStream, FourByteCountPrefixInNetworkOrder) {
  ScriptedServer server({Script().Send(std::string("\0\0\0\5hello!", 10)).Pause(2000)});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  client->ReadIntoStream(stream, -1, false);
  EXPECT_EQ(stream.ToString(), "hello");
  EXPECT_EQ(client->TakeFromInput(1), "!");
}

TEST(ReadIntoStream, NegativeCountRaisesStreamWriteErrorWithoutReading) {
  ScriptedServer server({Script().Send("data").Pause(2000)});
  auto client = ConnectedClient(server);
  TMemoryStream stream;
  EXPECT_EQ(Raised([&] { client->ReadIntoStream(stream, -5, false); }),
            "EWriteError: Stream write error");
  EXPECT_EQ(stream.Size(), 0);
}

TEST(TakeFromInput, RaisesWhenTooFewBytesAreBuffered) {
  TIdTCPConnection connection;
  connection.InputBuffer().Append("ab", 2);
  EXPECT_THROW(connection.TakeFromInput(3), EIdNotEnoughDataInBuffer);
  EXPECT_EQ(connection.TakeFromInput(2), "ab");
}

TEST(Write, EmptyTextSendsNothingAndLinesEndInCrLf) {
  ScriptedServer server({Script().ReceiveUntil("END\r\n").Send("ok\n").Pause(1000)});
  auto client = ConnectedClient(server);
  client->WriteText("");
  client->WriteLine("");
  client->WriteText("a");
  client->WriteLine("END");
  EXPECT_EQ(client->ReadLine(), "ok");
  EXPECT_EQ(server.Received(0), "\r\naEND\r\n");
}

TEST(Write, SendingAfterThePeerClosedRaises) {
  ScriptedServer server({Script().Close()});
  auto client = ConnectedClient(server);
  EXPECT_THROW(client->ReadLine(), EIdConnClosedGracefully);
  EXPECT_THROW(client->WriteLine("late"), EIdConnClosedGracefully);
}

TEST(Write, PeerResetSurfacesAsSocketError) {
  ScriptedServer server({Script().Reset()});
  const std::string raised = Raised([&] {
    // A reset that lands before the connect step has read back its addresses surfaces there.
    auto client = ConnectedClient(server);
    ASSERT_TRUE(server.WaitFinished(1));
    for (int i = 0; i < 50; ++i) client->WriteLine(std::string(1000, 'q'));
  });
  EXPECT_TRUE(raised == "EIdSocketError: Socket Error # 10054\r\nConnection reset by peer." ||
              raised ==
                  "EIdSocketError: Socket Error # 10058\r\nCannot send or receive after socket is "
                  "closed.")
      << raised;
}

TEST(PollPeerClosed, NoticesACloseAndKeepsArrivedBytes) {
  ScriptedServer server({Script().Send("tail").Close()});
  auto client = ConnectedClient(server);
  ASSERT_TRUE(server.WaitFinished(1));
  for (int i = 0; i < 100 && client->SocketHandle().HandleAllocated(); ++i) {
    client->PollPeerClosed(false);
  }
  EXPECT_FALSE(client->IsConnected());
  EXPECT_EQ(std::string(client->InputBuffer().Data(), client->InputBuffer().Length()), "tail");
}

TEST(CloseConnection, NotifiesAndClearsAddresses) {
  ScriptedServer server({Script().Pause(1000)});
  auto client = ConnectedClient(server);
  std::vector<std::string> statuses;
  int disconnected = 0;
  client->OnStatus = [&](TIdComponent&, TIdStatus, const std::string& text) {
    statuses.push_back(text);
  };
  client->OnDisconnected = [&](TIdTCPConnection&) { ++disconnected; };
  client->CloseConnection();
  client->CloseConnection();  // nothing open: no second notification
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], "Disconnecting from 127.0.0.1.");
  EXPECT_EQ(statuses[1], "Not connected.");
  EXPECT_EQ(disconnected, 1);
  EXPECT_TRUE(client->PeerClosed());
  EXPECT_EQ(client->SocketHandle().RemoteIP(), "");
}

// An intercept that serves bytes it holds itself, as a TLS channel does with a decrypted
// record, and records what it is told.
class HoldingIntercept : public TIdConnectionIntercept {
 public:
  HoldingIntercept() {
    SetHandlesReceive(true);
    SetHandlesSend(true);
  }
  int ReceiveThrough(char* bytes, int capacity) override {
    if (held.empty()) {
      const int n = AttachedSocket()->Receive(bytes, capacity);
      return n;
    }
    const int n = std::min<int>(capacity, static_cast<int>(held.size()));
    held.copy(bytes, static_cast<size_t>(n));
    held.erase(0, static_cast<size_t>(n));
    return n;
  }
  int SendThrough(const char* bytes, int count) override {
    sent.append(bytes, static_cast<size_t>(count));
    return AttachedSocket()->Send(bytes, count);
  }
  int PendingBytes() const override { return static_cast<int>(held.size()); }
  void AfterReceive(const char*, int count) override { received += count; }
  void DetachFromSocket() override {
    ++detaches;
    TIdConnectionIntercept::DetachFromSocket();
  }

  std::string held;
  std::string sent;
  int received = 0;
  int detaches = 0;
};

TEST(Intercept, HeldBytesAreReadWithoutWaitingOnTheSocket) {
  ScriptedServer server({Script().ReceiveUntil("ping\r\n").Pause(3000)});
  HoldingIntercept intercept;
  int connects = 0;
  intercept.OnConnect = [&](TIdConnectionIntercept&, TIdSocketHandle&) { ++connects; };
  TIdTCPClient client;
  client.SetHost("localhost");
  client.SetPort(server.Port());
  client.SetIntercept(&intercept);
  client.SetInterceptEnabled(true);
  client.ConnectToPeer();
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(intercept.AttachedSocket(), &client.SocketHandle());
  client.WriteLine("ping");
  EXPECT_EQ(intercept.sent, "ping\r\n");
  // The socket stays silent: a wait on it would run into the read limit.
  client.SetReadTimeoutMs(300);
  intercept.held = "line one\r\nrest";
  EXPECT_EQ(client.ReadLine(), "line one");
  TMemoryStream stream;
  intercept.held += "ofbody";
  client.ReadIntoStream(stream, 10, false);
  EXPECT_EQ(stream.ToString(), "restofbody");
  EXPECT_EQ(intercept.received, 20);
  client.CloseConnection();
  EXPECT_EQ(intercept.detaches, 1);
  EXPECT_EQ(intercept.AttachedSocket(), nullptr);
}

TEST(Intercept, EnablingWithoutOneRaisesAndClearingDisables) {
  TIdTCPConnection connection;
  EXPECT_EQ(Raised([&] { connection.SetInterceptEnabled(true); }),
            "EIdInterceptPropIsNil: InterceptEnabled cannot be set to true when Intercept is nil.");
  HoldingIntercept intercept;
  connection.SetIntercept(&intercept);
  connection.SetInterceptEnabled(true);
  connection.SetIntercept(nullptr);
  EXPECT_FALSE(connection.InterceptEnabled());
}

TEST(Intercept, ConnectionForgetsAnInterceptDestroyedFirst) {
  TIdTCPConnection connection;
  {
    HoldingIntercept intercept;
    connection.SetIntercept(&intercept);
    connection.SetInterceptEnabled(true);
  }
  EXPECT_EQ(connection.Intercept(), nullptr);
  EXPECT_FALSE(connection.InterceptEnabled());
  connection.CloseConnection();  // must not touch the dead intercept
  // And the other way round: a connection destroyed first unregisters itself.
  HoldingIntercept survivor;
  {
    TIdTCPConnection shortLived;
    shortLived.SetIntercept(&survivor);
  }
}

TEST(Intercept, DisabledInterceptIsNeverConsulted) {
  ScriptedServer server({Script().ReceiveUntil("x\r\n").Send("y\n").Pause(1000)});
  HoldingIntercept intercept;
  auto client = std::make_unique<TIdTCPClient>();
  client->SetHost("127.0.0.1");
  client->SetPort(server.Port());
  client->SetIntercept(&intercept);
  client->ConnectToPeer();
  client->WriteLine("x");
  EXPECT_EQ(client->ReadLine(), "y");
  client->CloseConnection();
  EXPECT_EQ(intercept.sent, "");
  EXPECT_EQ(intercept.received, 0);
  EXPECT_EQ(intercept.detaches, 0);
}

TEST(Work, NotificationsCountTakenAndStreamedBytes) {
  // The body is sent only once the line is read, so it arrives by a receive of its own.
  ScriptedServer server({Script().Send("ab\n").ReceiveUntil("go\r\n").Send("body").Close()});
  auto client = ConnectedClient(server);
  std::vector<int64_t> counts;
  int begins = 0, ends = 0;
  int64_t expected = -1;
  client->OnWorkBegin = [&](TIdComponent&, TWorkMode, int64_t count) {
    ++begins;
    expected = count;
  };
  client->OnWork = [&](TIdComponent&, TWorkMode, int64_t count) { counts.push_back(count); };
  client->OnWorkEnd = [&](TIdComponent&, TWorkMode) { ++ends; };
  EXPECT_EQ(client->ReadLine(), "ab");
  EXPECT_TRUE(counts.empty());  // outside a begin/end pair
  client->WriteLine("go");
  counts.clear();  // the write's own notifications
  TMemoryStream stream;
  client->ReadIntoStream(stream, -1, true);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(expected, 0);  // no count is known for a body read until close
  EXPECT_EQ(stream.ToString(), "body");
  // Running counts: rising, ending at the bytes streamed.
  ASSERT_FALSE(counts.empty());
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_EQ(counts.back(), 4);
}

}  // namespace
}  // namespace pixhaul::test
