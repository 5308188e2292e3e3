// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Connecting: resolution, binding, refusals, the connect time limit and notifications.
#include "http/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "http/socket/connection_exceptions.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_handle.h"
#include "http/socket/socket_stack.h"
#include "loopback/loopback_listener.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

using Clock = std::chrono::steady_clock;

// A listener on 127.0.0.1 (or another loopback address, on a chosen port) that never accepts,
// and whose accept queue Fill can fill.
class Listener {
 public:
  explicit Listener(int backlog, const char* ip = "127.0.0.1", int port = 0)
      : listener_({.address = ip, .port = static_cast<uint16_t>(port), .backlog = backlog}) {
    ::inet_pton(AF_INET, ip, &bound_);
  }
  ~Listener() {
    for (int fd : fillers_) ::close(fd);
  }
  int Port() const { return listener_.Port(); }
  // Opens non-blocking connections until the accept queue is full.
  void Fill(int count) {
    for (int i = 0; i < count; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr = bound_;
      address.sin_port = htons(static_cast<uint16_t>(Port()));
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(fd);
    }
  }

 private:
  loopback::LoopbackListener listener_;
  in_addr bound_{};
  std::vector<int> fillers_;
};

// A port that was just free.
int FreePort() { return loopback::RefusingPort().Port(); }

TEST(ConnectToPeer, ReadsBackBothEndsAndNotifies) {
  ScriptedServer server({Script().Pause(500)});
  TIdTCPClient client;
  std::vector<std::string> statuses;
  int connected = 0;
  client.OnStatus = [&](TIdComponent&, TIdStatus, const std::string& text) {
    statuses.push_back(text);
  };
  client.OnConnected = [&](TIdTCPConnection&) { ++connected; };
  client.SetHost("localhost");
  client.SetPort(server.Port());
  client.ConnectToPeer();
  EXPECT_TRUE(client.IsConnected());
  EXPECT_EQ(client.SocketHandle().RemoteIP(), "127.0.0.1");
  EXPECT_EQ(client.SocketHandle().RemotePort(), server.Port());
  EXPECT_EQ(client.SocketHandle().IP(), "127.0.0.1");
  EXPECT_GT(client.SocketHandle().Port(), 0);
  const std::vector<std::string> expected = {"Resolving hostname localhost.",
                                             "Connecting to 127.0.0.1.", "Connected."};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(connected, 1);
}

TEST(ConnectToPeer, DottedHostIsNotAnnouncedAsResolving) {
  ScriptedServer server({Script().Pause(500)});
  TIdTCPClient client;
  std::vector<std::string> statuses;
  client.OnStatus = [&](TIdComponent&, TIdStatus, const std::string& text) {
    statuses.push_back(text);
  };
  client.SetHost("127.0.0.1");
  client.SetBoundIP("127.0.0.1");
  client.SetUseNagle(false);
  client.SetPort(server.Port());
  client.ConnectToPeer();
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.front(), "Connecting to 127.0.0.1.");
}

// A request written under the cork leaves at once when the cork ends; the socket then sends as
// the client's UseNagle says, with Nagle's algorithm on again where it was on.
TEST(SocketCork, EndsWithNothingHeldAndTheSocketsNagleSettingAsBefore) {
  for (const bool nagle : {true, false}) {
    SCOPED_TRACE(nagle ? "Nagle on" : "Nagle off");
    ScriptedServer server({Script().Pause(500)});
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetUseNagle(nagle);
    client.SetPort(server.Port());
    client.ConnectToPeer();
    const int fd = client.SocketHandle().Handle();
    auto option = [fd](int name) {
      int value = -1;
      socklen_t length = sizeof value;
      EXPECT_EQ(::getsockopt(fd, IPPROTO_TCP, name, &value, &length), 0);
      return value;
    };
    {
      const SocketCork cork(client.SocketHandle());
      EXPECT_NE(option(TCP_CORK), 0);
    }
    EXPECT_EQ(option(TCP_CORK), 0);
    EXPECT_EQ(option(TCP_NODELAY) != 0, !nagle);
  }
}

TEST(ConnectToPeer, SecondConnectWithoutCloseRaisesAlreadyConnected) {
  ScriptedServer server({Script().Pause(500)});
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ConnectToPeer();
  EXPECT_EQ(Raised([&] { client.ConnectToPeer(); }), "EIdAlreadyConnected: Already connected.");
  EXPECT_TRUE(client.IsConnected());
}

TEST(ConnectToPeer, ReconnectAfterCloseStartsClean) {
  ScriptedServer server(
      {Script().Send("first\nleft").Close(), Script().Send("second\n").Pause(500)});
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ConnectToPeer();
  EXPECT_EQ(client.ReadLine(), "first");
  EXPECT_EQ(client.ReadLine(), "");  // peer closed with "left" unterminated
  EXPECT_FALSE(client.IsConnected());
  client.ConnectToPeer();
  EXPECT_FALSE(client.PeerClosed());
  EXPECT_EQ(client.ReadLine(), "second");
}

TEST(ConnectToPeer, RefusedPortRaises10061AndLeavesItClosed) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(FreePort());
  EXPECT_EQ(
      Raised<EIdSocketError>([&] { client.ConnectToPeer(); },
                             [&](const EIdSocketError& e) { EXPECT_EQ(e.LastError(), 10061); }),
      "EIdSocketError: Socket Error # 10061\r\nConnection refused.");
  EXPECT_FALSE(client.SocketHandle().HandleAllocated());
  EXPECT_FALSE(client.IsConnected());
}

TEST(ConnectToPeer, UnresolvableNameRaises11001BeforeAnyConnect) {
  TIdTCPClient client;
  client.SetHost("nowhere.pixhaul.invalid");
  client.SetPort(80);
  std::vector<std::string> statuses;
  client.OnStatus = [&](TIdComponent&, TIdStatus, const std::string& text) {
    statuses.push_back(text);
  };
  EXPECT_EQ(Raised([&] { client.ConnectToPeer(); }), "EIdSocketError: Socket Error # 11001\r\n");
  for (const std::string& status : statuses) {
    EXPECT_EQ(status.rfind("Connecting", 0), std::string::npos) << status;
  }
  EXPECT_FALSE(client.SocketHandle().HandleAllocated());
}

TEST(ConnectToPeer, UnassignableBindAddressRaisesSocketError) {
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(FreePort());
  client.SetBoundIP("192.0.2.1");  // documentation range, never a local address
  EXPECT_EQ(
      Raised<EIdSocketError>([&] { client.ConnectToPeer(); },
                             [](const EIdSocketError& e) { EXPECT_EQ(e.LastError(), 10049); }),
      "EIdSocketError: Socket Error # 10049\r\nCannot assign requested address.");
  EXPECT_FALSE(client.SocketHandle().HandleAllocated());
}

TEST(ConnectToPeer, GivesUpAfterTheConnectLimitWith10060) {
  // A listener whose accept queue is full drops further handshakes, so the connect hangs.
  Listener listener(0);
  listener.Fill(4);
  TIdTCPClient client;
  client.SetConnectTimeoutMs(400);
  client.SetHost("127.0.0.1");
  client.SetPort(listener.Port());
  const auto start = Clock::now();
  EXPECT_EQ(
      Raised<EIdSocketError>([&] { client.ConnectToPeer(); },
                             [&](const EIdSocketError& e) { EXPECT_EQ(e.LastError(), 10060); }),
      "EIdSocketError: Socket Error # 10060\r\nConnection timed out.");
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(elapsed, 350);
  EXPECT_LT(elapsed, 5000);
  EXPECT_FALSE(client.SocketHandle().HandleAllocated());
}

// Names that resolve, through the stack's resolver seam, to chosen addresses; the system's
// resolver is back when the scope ends.
class ResolverScope {
 public:
  explicit ResolverScope(std::vector<TIdResolvedAddress> addresses) {
    TIdStack::SetHostResolver([addresses](const std::string&) { return addresses; });
  }
  ~ResolverScope() { TIdStack::SetHostResolver(nullptr); }
};

TEST(ConnectToPeer, TriesEveryAddressOfANameInOrderUntilOneConnects) {
  ScriptedServer server({Script().Pause(500)}, {.repeatScripts = true});
  // The same port on another loopback address, where a full accept queue lets a connect hang.
  Listener hanging(0, "127.0.0.2", server.Port());
  hanging.Fill(4);
  const int refusedPort = FreePort();
  struct Row {
    const char* name;
    std::vector<TIdResolvedAddress> addresses;
    int port;  // 0: the server's
    std::string outcome;
    std::string remote;
    std::vector<std::string> connecting;
  };
  const std::vector<Row> rows = {
      {"refused first, then the server",
       {{AF_INET6, "::1"}, {AF_INET, "127.0.0.1"}},
       0,
       "",
       "127.0.0.1",
       {"Connecting to ::1.", "Connecting to 127.0.0.1."}},
      {"silent first (its connect limit), then the server",
       {{AF_INET, "127.0.0.2"}, {AF_INET, "127.0.0.1"}},
       0,
       "",
       "127.0.0.1",
       {"Connecting to 127.0.0.2.", "Connecting to 127.0.0.1."}},
      {"the first that connects is used",
       {{AF_INET, "127.0.0.1"}, {AF_INET, "127.0.0.2"}},
       0,
       "",
       "127.0.0.1",
       {"Connecting to 127.0.0.1."}},
      {"none connects: the last failure",
       {{AF_INET, "127.0.0.2"}, {AF_INET, "127.0.0.1"}},
       refusedPort,
       "EIdSocketError: Socket Error # 10061\r\nConnection refused.",
       "",
       {"Connecting to 127.0.0.2.", "Connecting to 127.0.0.1."}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ResolverScope resolver(row.addresses);
    TIdTCPClient client;
    client.SetConnectTimeoutMs(300);
    client.SetHost("two.pixhaul.test");
    client.SetPort(row.port == 0 ? server.Port() : row.port);
    std::vector<std::string> connecting;
    client.OnStatus = [&](TIdComponent&, TIdStatus status, const std::string& text) {
      if (status == TIdStatus::hsConnecting) connecting.push_back(text);
    };
    EXPECT_EQ(Raised([&] { client.ConnectToPeer(); }), row.outcome);
    EXPECT_EQ(client.SocketHandle().RemoteIP(), row.remote);
    EXPECT_EQ(connecting, row.connecting);
  }
}

TEST(DefaultTimeouts, NewConnectionsStartFromTheProcessDefaults) {
  EXPECT_EQ(TIdTCPConnection::DefaultConnectTimeoutMs(), 30000);
  EXPECT_EQ(TIdTCPConnection::DefaultReadTimeoutMs(), 30000);
  TIdTCPConnection::SetDefaultTimeouts(1234, 567);
  TIdTCPClient lowered;
  TIdTCPConnection::SetDefaultTimeouts(30000, 30000);
  EXPECT_EQ(lowered.ConnectTimeoutMs(), 1234);
  EXPECT_EQ(lowered.ReadTimeoutMs(), 567);
  TIdTCPClient standard;
  EXPECT_EQ(standard.ConnectTimeoutMs(), 30000);
}

TEST(ConnectToPeer, InterceptAttachFailureLeavesTheSocketOpen) {
  struct FailingIntercept : TIdConnectionIntercept {
    void AttachToSocket(TIdSocketHandle* socket) override {
      TIdConnectionIntercept::AttachToSocket(socket);
      throw EIdException("handshake refused");
    }
  } intercept;
  ScriptedServer server({Script().Pause(500)});
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetIntercept(&intercept);
  client.SetInterceptEnabled(true);
  EXPECT_THROW(client.ConnectToPeer(), EIdException);
  EXPECT_TRUE(client.SocketHandle().HandleAllocated());
  client.CloseConnection();
  EXPECT_EQ(intercept.AttachedSocket(), nullptr);
}

}  // namespace
}  // namespace pixhaul::test
