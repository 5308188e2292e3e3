// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Every fault kind, fetched by the HTTP client set up exactly as a download worker sets it up,
// ends as the catalogue says: the same bytes, or an exception with the same message. This pins
// the expectations the soak test checks whole runs against, one kind at a time.
// test-labels: threaded
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "download/download_client.h"
#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "http/socket/tcp_connection.h"
#include "tests/support/fault_server.h"

namespace pixhaul::test {
namespace {

using namespace std::chrono_literals;

// The slow drip below must take longer than this, yet less than twice of it: it then arrives
// whole although it is longer than the read limit, and is not yet a trickle.
constexpr int kReadLimitMs = 1200;
constexpr int64_t kBodyLimit = 4 << 20;

struct Fetched {
  bool ok = false;
  std::string bytes;
  std::string message;
};

// One GET with the client a download worker makes (its TLS intercept attached but not
// enabled), into memory.
Fetched Fetch(const std::string& url) {
  Fetched result;
  DownloadClient client;
  client.Http().MaxReplyBodyBytes = kBodyLimit;
  TMemoryStream buffer;
  try {
    client.GetInto(url, buffer);
    result.ok = true;
    result.bytes.assign(buffer.Memory(), static_cast<size_t>(buffer.Size()));
  } catch (const Exception& e) {
    result.message = e.Message();
  }
  return result;
}

class FaultCatalogueClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TIdTCPConnection::SetDefaultTimeouts(5000, kReadLimitMs); }
  static void TearDownTestSuite() {
    TIdTCPConnection::SetDefaultTimeouts(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
  }
};

TEST_F(FaultCatalogueClientTest, EveryKindEndsAsCatalogued) {
  FaultServer::Options options;
  options.lifetime = 120s;
  options.ioLimit = 10s;
  options.dripInterval = 7ms;  // about 200 bytes: 1.4 s in total
  FaultServer server(options);
  std::vector<FaultEntry> entries;
  for (int k = 0; k < kFaultKindCount; ++k) {
    const auto kind = static_cast<FaultKind>(k);
    entries.push_back({kind, 100 + k, false});
    if (FaultAllowsTls(kind)) entries.push_back({kind, 200 + k, true});
  }
  // All at once, as a run would: each client on a thread of its own.
  std::vector<Fetched> results(entries.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < entries.size(); ++i)
    threads.emplace_back([&, i] { results[i] = Fetch(FaultAddress(entries[i], server.Ports())); });
  for (std::thread& thread : threads) thread.join();

  const ClientLimits limits{kBodyLimit};
  for (size_t i = 0; i < entries.size(); ++i) {
    const FaultEntry& entry = entries[i];
    SCOPED_TRACE(std::string(FaultToken(entry.kind)) + (entry.tls ? " over TLS" : ""));
    const ExpectedOutcome expected = FaultExpectation(entry, limits);
    EXPECT_EQ(results[i].ok, expected.saved) << results[i].message;
    if (expected.saved) {
      EXPECT_EQ(results[i].bytes.size(), expected.bytes.size());
      EXPECT_TRUE(results[i].bytes == expected.bytes);
    } else {
      EXPECT_EQ(results[i].message, expected.message);
    }
  }
  EXPECT_EQ(server.UnknownRequests(), 0);
  // The redirect loop is followed to its 15th reply and no further (which fails).
  EXPECT_EQ(server.RequestsForKind(FaultKind::kRedirectLoop), 15);
  EXPECT_EQ(server.RequestsForKind(FaultKind::kOtherScheme), 0);
}

}  // namespace
}  // namespace pixhaul::test
