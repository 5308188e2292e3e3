// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Many worker threads making TLS connections at the same moment, the first of them racing to
// start the library.
// test-labels: threaded
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "http/tcp_client.h"
#include "http/tls/openssl_intercept.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

constexpr int kThreads = 64;
constexpr int kRounds = 4;

TEST(TIdConnectionInterceptOpenSSL, SixtyFourThreadsHandshakeAtOnce) {
  ScriptedServer server({Script().Call([](ScriptedConnection& peer) {
                          std::string line = peer.ReadUntil("\n");
                          peer.Write("pong " + line);
                        })},
                        {.repeatScripts = true, .tls = true, .backlog = kThreads * 2});
  EXPECT_EQ(SslLibrary::Shared().LoadAttempts(), 0);

  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::atomic<int> ready{0};
    std::atomic<int> succeeded{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        // Each worker owns its intercept and client, as a download worker does.
        TIdConnectionInterceptOpenSSL intercept;
        intercept.SSLOptions().Method = sslvSSLv23;
        TIdTCPClient client;
        client.SetHost(i % 2 == 0 ? "localhost" : "127.0.0.1");
        client.SetPort(server.Port());
        client.SetReadTimeoutMs(15000);
        client.SetIntercept(&intercept);
        client.SetInterceptEnabled(true);
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        try {
          client.ConnectToPeer();
          client.WriteLine("ping " + std::to_string(i));
          std::string reply = client.ReadLine();
          client.CloseConnection();
          if (reply == "pong ping " + std::to_string(i)) {
            succeeded.fetch_add(1);
          } else {
            failures[i] = "reply: " + reply;
          }
        } catch (const std::exception& error) {
          failures[i] = error.what();
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(succeeded.load(), kThreads);
    for (int i = 0; i < kThreads; ++i) {
      EXPECT_EQ(failures[i], "") << "thread " << i;
    }
  }
  EXPECT_TRUE(server.WaitFinished(kThreads * kRounds));
  EXPECT_EQ(server.HandshakeCount(), size_t{kThreads * kRounds});
  EXPECT_EQ(SslLibrary::Shared().LoadAttempts(), 1);
  int named = 0;
  for (size_t i = 0; i < server.AcceptedCount(); ++i)
    named += server.ServerName(i) == "localhost" ? 1 : 0;
  EXPECT_EQ(named, kThreads * kRounds / 2);
}

}  // namespace
}  // namespace pixhaul::test
