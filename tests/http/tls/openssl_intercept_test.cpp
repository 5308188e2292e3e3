// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdConnectionInterceptOpenSSL on a TIdTCPClient against TLS loopback servers.
#include "http/tls/openssl_intercept.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/memory_stream.h"
#include "http/socket/socket_error.h"
#include "http/tcp_client.h"
#include "http/tls/ssl_exceptions.h"
#include "loopback/self_signed_certificate.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

using Peer = ScriptedConnection;

// TLS servers here run their one script on every connection they accept.
constexpr ScriptedServer::Options kTlsServer{.repeatScripts = true, .tls = true};
constexpr const char* kConnectError = "EIdOSSLConnectError: Error connecting with SSL.";

// A client with a TLS intercept over `library`, ready to connect to the loopback `port`.
struct TlsClient {
  TlsClient(int port, SslLibrary& library = SslLibrary::Shared(),
            const std::string& host = "127.0.0.1")
      : intercept(library) {
    intercept.SSLOptions().Method = sslvSSLv23;
    client.SetHost(host);
    client.SetPort(port);
    client.SetReadTimeoutMs(5000);
    client.SetIntercept(&intercept);
    client.SetInterceptEnabled(true);
  }

  TIdConnectionInterceptOpenSSL intercept;
  TIdTCPClient client;
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return bytes;
}

TEST(TIdConnectionInterceptOpenSSL, IsAnSslInterceptThatHandlesBothDirections) {
  TIdConnectionInterceptOpenSSL intercept;
  TIdConnectionIntercept* base = &intercept;
  EXPECT_NE(dynamic_cast<TIdSSLConnectionIntercept*>(base), nullptr);
  EXPECT_TRUE(intercept.HandlesReceive());
  EXPECT_TRUE(intercept.HandlesSend());
  EXPECT_FALSE(intercept.ServerMade());
  EXPECT_EQ(intercept.Context(), nullptr);
  EXPECT_EQ(intercept.Channel(), nullptr);
  EXPECT_EQ(intercept.SSLOptions().Method, sslvSSLv2);
}

TEST(TIdConnectionInterceptOpenSSL, EchoesOneMebibyteThroughTheHandshakenChannel) {
  const std::string payload = Pattern(1 << 20);
  ScriptedServer server({Script().Call([&](Peer& peer) {
                          // Take the whole payload before answering, so neither side blocks the
                          // other's writes.
                          peer.Write(peer.ReadExactly(payload.size()));
                        })},
                        kTlsServer);
  TlsClient tls(server.Port());
  tls.client.ConnectToPeer();
  ASSERT_NE(tls.intercept.Channel(), nullptr);
  ASSERT_NE(tls.intercept.Context(), nullptr);

  tls.client.SendBytes(payload.data(), static_cast<int>(payload.size()));
  TMemoryStream echoed;
  tls.client.ReadIntoStream(echoed, static_cast<int64_t>(payload.size()), false);
  EXPECT_TRUE(echoed.ToString() == payload) << "echo differs from what was sent";
  EXPECT_EQ(server.HandshakeCount(), 1u);

  tls.client.CloseConnection();
  EXPECT_EQ(tls.intercept.Channel(), nullptr);
  EXPECT_EQ(tls.intercept.Context(), nullptr);
  EXPECT_EQ(tls.intercept.AttachedSocket(), nullptr);
}

TEST(TIdConnectionInterceptOpenSSL, ServerClosingRightAfterItsReplyEndsTheReadNormally) {
  for (bool closeNotify : {true, false}) {
    SCOPED_TRACE(closeNotify ? "with close_notify" : "bare end of stream");
    const std::string body = Pattern(100000);
    ScriptedServer server({Script().Call([&](Peer& peer) {
                            peer.ReadUntil("\r\n");
                            peer.Write("HTTP/1.0 200 OK\r\n\r\n" + body);
                            if (closeNotify) peer.SendCloseNotify();
                          })},
                          kTlsServer);
    TlsClient tls(server.Port());
    tls.client.ConnectToPeer();
    tls.client.WriteLine("GET");
    EXPECT_EQ(tls.client.ReadLine(), "HTTP/1.0 200 OK");
    EXPECT_EQ(tls.client.ReadLine(), "");
    TMemoryStream received;
    EXPECT_EQ(Raised([&] { tls.client.ReadIntoStream(received, -1, true); }), "");
    EXPECT_TRUE(received.ToString() == body) << "got " << received.Size() << " bytes";
    EXPECT_FALSE(tls.client.IsConnected());
  }
}

TEST(TIdConnectionInterceptOpenSSL, ServerRefusingEveryVersionFailsTheConnect) {
  ScriptedServer server({Script().RefuseTlsHandshake()}, {.repeatScripts = true});
  TlsClient tls(server.Port());
  EXPECT_EQ(Raised([&] { tls.client.ConnectToPeer(); }), kConnectError);
  // The failed attach leaves the socket and what the intercept made until the close.
  EXPECT_TRUE(tls.client.SocketHandle().HandleAllocated());
  EXPECT_NE(tls.intercept.Channel(), nullptr);
  EXPECT_NE(tls.intercept.Context(), nullptr);
  tls.client.CloseConnection();
  EXPECT_FALSE(tls.client.SocketHandle().HandleAllocated());
  EXPECT_EQ(tls.intercept.Channel(), nullptr);
  EXPECT_EQ(tls.intercept.Context(), nullptr);
  EXPECT_EQ(Raised([&] {
              TlsClient again(server.Port());
              again.client.ConnectToPeer();
            }),
            kConnectError);
  EXPECT_EQ(server.AcceptedCount(), 2u);
}

TEST(TIdConnectionInterceptOpenSSL, ServerNameIsSentForHostNamesOnly) {
  struct Case {
    std::string host;
    std::optional<std::string> expected;
  };
  const Case cases[] = {{"localhost", "localhost"}, {"127.0.0.1", std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    ScriptedServer server({Script().Call([](Peer& peer) { peer.Write("hi\n"); })}, kTlsServer);
    TlsClient tls(server.Port(), SslLibrary::Shared(), c.host);
    tls.client.ConnectToPeer();
    EXPECT_EQ(tls.client.ReadLine(), "hi");
    ASSERT_EQ(server.HandshakeCount(), 1u);
    EXPECT_EQ(server.ServerName(0), c.expected);
  }
}

// An intercept that names the peer `peerName` whatever host the connection reached, as a
// connection to a server of that name would.
class NamingIntercept : public TIdConnectionInterceptOpenSSL {
 public:
  void AttachToSocket(TIdSocketHandle* socket) override {
    if (!peerName.empty()) SetPeerHostName(peerName);
    TIdConnectionInterceptOpenSSL::AttachToSocket(socket);
  }
  std::string peerName;
};

// The server's certificate (self-signed, CN=localhost) is verified only when asked for: then
// against the trusted roots - a given file, or the system's trust store - and the host name.
TEST(TIdConnectionInterceptOpenSSL, ServerCertificateIsVerifiedOnlyWhenAsked) {
  TempDir dir;
  const std::string roots = dir.File("roots.pem");
  WriteFileBytes(roots, loopback::SelfSignedCertificatePem());
  auto failed = [](int reason) {
    return std::string("EIdOSSLCertificateVerifyError: Certificate verify failed: ") +
           X509_verify_cert_error_string(reason) + ".";
  };
  struct Case {
    bool verify;
    bool trusted;                           // the roots file holds the server's certificate
    std::string peerName;                   // empty: the host connected to, 127.0.0.1
    std::string expected;                   // what was read, or what was raised
    std::optional<std::string> serverName;  // sent in the handshake (SNI)
  };
  const Case cases[] = {
      {false, false, "", "hi", std::nullopt},
      {false, false, "other.example", "hi", "other.example"},
      // No roots file: the system's trust store, which does not know the test certificate.
      {true, false, "localhost", failed(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT), "localhost"},
      {true, true, "localhost", "hi", "localhost"},
      {true, true, "LOCALHOST", "hi", "LOCALHOST"},
      {true, true, "other.example", failed(X509_V_ERR_HOSTNAME_MISMATCH), "other.example"},
      {true, true, "", failed(X509_V_ERR_IP_ADDRESS_MISMATCH), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.verify ? "verified" : "unverified") +
                 (c.trusted ? ", trusted" : "") + ", as " + c.peerName);
    ScriptedServer server({Script().Call([](Peer& peer) { peer.Write("hi\n"); })}, kTlsServer);
    NamingIntercept intercept;
    intercept.peerName = c.peerName;
    intercept.SSLOptions().Method = sslvSSLv23;
    intercept.SSLOptions().VerifyServer = c.verify;
    if (c.trusted) intercept.SSLOptions().RootCertFile = roots;
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetReadTimeoutMs(5000);
    client.SetIntercept(&intercept);
    client.SetInterceptEnabled(true);
    std::string line;
    const std::string raised = Raised([&] {
      client.ConnectToPeer();
      line = client.ReadLine();
    });
    EXPECT_EQ(raised.empty() ? line : raised, c.expected);
    // A server sees the name only where its handshake completed.
    if (raised.empty()) {
      EXPECT_EQ(server.ServerName(0), c.serverName);
    }
  }
}

TEST(TIdConnectionInterceptOpenSSL, MissingLibraryRaisesAtEveryConnect) {
  SslLibrary missing("libpixhaul-no-such-ssl.so.3", SslLibrary::kCryptoFileName);
  ScriptedServer server({Script().Call([](Peer&) {})}, kTlsServer);
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE("connection " + std::to_string(attempt));
    TlsClient tls(server.Port(), missing);
    EXPECT_EQ(Raised([&] { tls.client.ConnectToPeer(); }),
              "EIdOSSLCouldNotLoadSSLLibrary: Could not load SSL library.");
    // The TCP connection stood; only the intercept failed.
    EXPECT_EQ(tls.intercept.Channel(), nullptr);
  }
  EXPECT_EQ(missing.LoadAttempts(), 1);
  EXPECT_EQ(server.HandshakeCount(), 0u);
}

TEST(TIdConnectionInterceptOpenSSL, PlainConnectionWithDisabledInterceptLoadsNoLibrary) {
  SslLibrary library(SslLibrary::kSslFileName, SslLibrary::kCryptoFileName);
  ScriptedServer server({Script().ReceiveUntil("\r\n").Send("plain\r\n")});
  TIdConnectionInterceptOpenSSL intercept(library);
  intercept.SSLOptions().Method = sslvSSLv23;
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.SetReadTimeoutMs(5000);
  client.SetIntercept(&intercept);
  client.ConnectToPeer();
  client.WriteLine("hello");
  EXPECT_EQ(client.ReadLine(), "plain");
  client.CloseConnection();
  EXPECT_TRUE(server.WaitFinished(1));
  EXPECT_EQ(server.Received(0), "hello\r\n");
  EXPECT_EQ(library.LoadAttempts(), 0);
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_EQ(intercept.Context(), nullptr);
}

TEST(TIdConnectionInterceptOpenSSL, RecordLeftPartlyUnreadInTheChannelIsReadWithoutWaiting) {
  const std::string record = Pattern(3000);
  std::string farewell;
  ScriptedServer server({Script().Call([&](Peer& peer) {
                          peer.Write("LINE\r\n");  // one record
                          peer.Write(record);      // one record, read by the client in two parts
                          // Stay open and silent: the socket shows nothing more until the client
                          // says so.
                          farewell = peer.ReadUntil("\n");
                        })},
                        kTlsServer);
  TlsClient tls(server.Port());
  tls.client.SetReadTimeoutMs(1500);
  tls.client.ConnectToPeer();
  EXPECT_EQ(tls.client.ReadLine(), "LINE");

  TMemoryStream head;
  tls.client.ReadIntoStream(head, 10, false);
  ASSERT_EQ(head.ToString(), record.substr(0, 10));
  EXPECT_GT(tls.intercept.PendingBytes(), 0);

  TMemoryStream rest;
  // The rest is already inside the channel and the socket shows nothing: waiting on the socket
  // would run into the read limit and raise.
  EXPECT_EQ(Raised([&] {
              tls.client.ReadIntoStream(rest, static_cast<int64_t>(record.size() - 10), false);
            }),
            "");
  EXPECT_TRUE(rest.ToString() == record.substr(10)) << "got " << rest.Size() << " bytes";

  tls.client.WriteLine("done");
  EXPECT_TRUE(server.WaitFinished(1));
  EXPECT_EQ(farewell, "done\r\n");
}

TEST(TIdConnectionInterceptOpenSSL, RecordThatNeverCompletesEndsInReadTimeout) {
  ScriptedServer server(
      {Script().Call([](Peer& peer) {
        peer.WritePartialRecord("a line that never arrives whole\r\n", 10);
        peer.ReadSome();  // silent until the client gives up (or the server's own limit)
      })},
      kTlsServer);
  TlsClient tls(server.Port());
  tls.client.SetReadTimeoutMs(800);
  tls.client.ConnectToPeer();
  EXPECT_EQ(Raised([&] { tls.client.ReadLine(); }), "EIdReadTimeout: Read timed out.");
  EXPECT_FALSE(tls.client.SocketHandle().HandleAllocated());
}

TEST(TIdConnectionInterceptOpenSSL, BrokenStreamAfterTheHandshakeIsASocketError) {
  struct Case {
    const char* what;
    std::function<void(Peer&)> misbehave;
    const char* lineBefore;  // a whole record sent before the failure, or null
    const char* message;
  };
  const Case cases[] = {
      {"bytes outside any record", [](Peer& peer) { peer.WriteRaw("garbage!"); }, nullptr,
       "EIdSocketError: Socket Error # 10053\r\nSoftware caused connection abort."},
      {"reset", [](Peer& peer) { peer.Reset(); }, nullptr,
       "EIdSocketError: Socket Error # 10054\r\nConnection reset by peer."},
      // The whole record and what follows arrive together and are read ahead in one piece:
      // the record's line comes first, the failure behind it is still reported as itself.
      {"garbage behind a whole record",
       [](Peer& peer) {
         peer.Write("second\r\n");
         peer.WriteRaw("garbage!");
       },
       "second", "EIdSocketError: Socket Error # 10053\r\nSoftware caused connection abort."},
      {"reset behind a whole record and part of another",
       [](Peer& peer) {
         peer.Write("second\r\n");
         peer.WritePartialRecord("third, never whole\r\n", 10);
         peer.Reset();
       },
       "second", "EIdSocketError: Socket Error # 10054\r\nConnection reset by peer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server({Script().Call([&](Peer& peer) {
                            peer.Write("first\r\n");
                            peer.ReadUntil("\n");
                            c.misbehave(peer);
                          })},
                          kTlsServer);
    TlsClient tls(server.Port());
    tls.client.ConnectToPeer();
    EXPECT_EQ(tls.client.ReadLine(), "first");
    tls.client.WriteLine("go");
    EXPECT_TRUE(server.WaitFinished(1));
    if (c.lineBefore != nullptr) {
      EXPECT_EQ(tls.client.ReadLine(), c.lineBefore);
    }
    EXPECT_EQ(Raised([&] { tls.client.ReadLine(); }), c.message);
  }
}

TEST(TIdConnectionInterceptOpenSSL, SendingToAServerThatLeftFailsWithoutKillingTheProcess) {
  ScriptedServer server({Script().Call([](Peer&) {})},
                        kTlsServer);  // handshake, then close at once
  TlsClient tls(server.Port());
  tls.client.ConnectToPeer();
  ASSERT_TRUE(server.WaitFinished(1));
  const std::string payload = Pattern(1 << 20);
  std::string message;
  // The first writes may still land in the socket buffer; keep writing until the reset shows.
  for (int i = 0; i < 20 && message.empty(); ++i) {
    message =
        Raised([&] { tls.client.SendBytes(payload.data(), static_cast<int>(payload.size())); });
  }
  EXPECT_TRUE(message.rfind("EIdSocketError: Socket Error # ", 0) == 0 ||
              message == "EIdConnClosedGracefully: Connection Closed Gracefully.")
      << message;
}

TEST(TIdConnectionInterceptOpenSSL, StatusInfoReportsTheHandshakeStates) {
  ScriptedServer server({Script().Call([](Peer& peer) { peer.Write("x\n"); })}, kTlsServer);
  TlsClient tls(server.Port());
  std::vector<std::string> messages;
  tls.intercept.OnStatusInfo = [&](const std::string& message) { messages.push_back(message); };
  tls.client.ConnectToPeer();
  EXPECT_EQ(tls.client.ReadLine(), "x");
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front(), "SSL status: \"before SSL initialization\"");
  EXPECT_NE(std::find(messages.begin(), messages.end(),
                      "SSL status: \"SSL negotiation finished successfully\""),
            messages.end());
  for (const std::string& message : messages) {
    EXPECT_EQ(message.rfind("SSL status: \"", 0), 0u) << message;
  }
}

TEST(TIdConnectionInterceptOpenSSL, OutOfRangeMethodFailsTheAttach) {
  ScriptedServer server({Script().Call([](Peer&) {})}, kTlsServer);
  TlsClient tls(server.Port());
  tls.intercept.SSLOptions().Method = static_cast<TIdSSLVersion>(4);
  EXPECT_EQ(Raised([&] { tls.client.ConnectToPeer(); }),
            "EIdOSSLGetMethodError: Error geting SSL method.");
}

TEST(TIdConnectionInterceptOpenSSL, ReconnectsAfterCloseWithAFreshChannel) {
  ScriptedServer server({Script().Call([](Peer& peer) {
                          std::string line = peer.ReadUntil("\n");
                          peer.Write("got " + line);
                        })},
                        kTlsServer);
  TlsClient tls(server.Port());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    tls.client.ConnectToPeer();
    tls.client.WriteLine("r" + std::to_string(round));
    EXPECT_EQ(tls.client.ReadLine(), "got r" + std::to_string(round));
    tls.client.CloseConnection();
    EXPECT_EQ(tls.intercept.Channel(), nullptr);
  }
  EXPECT_EQ(server.HandshakeCount(), 3u);
}

}  // namespace
}  // namespace pixhaul::test
