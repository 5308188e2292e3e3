// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// Many worker threads creating, using and destroying connections at the same moment, as the
// download workers do: the shared socket stack and its user count must stay sound.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/memory_stream.h"
#include "http/socket/socket_stack.h"
#include "http/tcp_client.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

constexpr int kThreads = 64;
constexpr int kRounds = 4;

TEST(ConcurrentConnections, SixtyFourThreadsConnectReadAndCloseAtOnce) {
  const std::string body(20000, 'p');
  ScriptedServer::Options options;
  options.repeatScripts = true;
  options.backlog = 256;
  ScriptedServer server({Script().ReceiveUntil("\r\n").Send("OK\r\n" + body).Close()}, options);
  const int usersBefore = StackUserCount();

  std::atomic<int> succeeded{0};
  std::mutex failureMutex;
  std::string firstFailure;
  for (int round = 0; round < kRounds; ++round) {
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        try {
          start.arrive_and_wait();
          auto client = std::make_unique<TIdTCPClient>();
          client->SetHost(i % 2 == 0 ? "localhost" : "127.0.0.1");
          client->SetPort(server.Port());
          client->ConnectToPeer();
          client->WriteLine("hello " + std::to_string(i));
          if (client->ReadLine() != "OK") throw std::runtime_error("bad status line");
          TMemoryStream stream;
          client->ReadIntoStream(stream, -1, true);
          if (stream.ToString() != body) throw std::runtime_error("bad body");
          if (client->IsConnected()) throw std::runtime_error("still connected");
          client.reset();
          ++succeeded;
        } catch (const std::exception& e) {
          std::lock_guard lock(failureMutex);
          if (firstFailure.empty()) firstFailure = e.what();
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(succeeded.load(), kThreads * kRounds) << firstFailure;
  EXPECT_EQ(StackUserCount(), usersBefore);
  ASSERT_TRUE(server.WaitFinished(kThreads * kRounds));
  size_t greeted = 0;
  for (size_t i = 0; i < server.AcceptedCount(); ++i) {
    greeted += server.Received(i).rfind("hello ", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(greeted, static_cast<size_t>(kThreads * kRounds));
}

TEST(ConcurrentConnections, StackUsersComeAndGoFromManyThreads) {
  const int usersBefore = StackUserCount();
  std::vector<std::thread> threads;
  std::barrier start(kThreads);
  std::atomic<int> lookups{0};
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int j = 0; j < 200; ++j) {
        TIdTCPConnection connection;
        if (SharedStack().LookupHostAddress("LocalHost") == "127.0.0.1") ++lookups;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(lookups.load(), kThreads * 200);
  EXPECT_EQ(StackUserCount(), usersBefore);
}

}  // namespace
}  // namespace pixhaul::test
