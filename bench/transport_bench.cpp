// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Transport benchmark: one large body read until close from a loopback server, through the
// program's own connection (TIdTCPClient::ReadIntoStream), plain or over TLS.
//
//   transport_bench serve BYTES [--tls]
//       Serves every connection an HTTP/1.1 200 reply with "Connection: close", no length, and
//       BYTES body bytes, then closes. Prints "PORT <n>" once listening; runs until killed.
//   transport_bench fetch PORT BYTES [--tls] [--discard]
//       Sends a GET, reads the status and header lines, then the body until the server closes,
//       into a memory stream (what a download worker does) or, with --discard, into a stream
//       that only counts. Checks the size and a sample of the bytes; prints
//       "bytes=<n> seconds=<s> MBps=<x> maxrss_kb=<k>". Exit code 1 on any failure.
//
// bench/transport_bench.sh runs both side by side with curl.
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "framework/memory_stream.h"
#include "framework/stream.h"
#include "http/tcp_client.h"
#include "http/tls/openssl_intercept.h"
#include "tests/support/scripted_server.h"

namespace {

using pixhaul::TStream;
using pixhaul::test::Script;
using pixhaul::test::ScriptedServer;

// The body is this pattern repeated, so the reader can check any byte by its offset.
const std::string kPattern = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_";

// Counts what is written and keeps nothing: the transport's own cost, as curl -o /dev/null.
class DiscardStream : public TStream {
 public:
  int64_t Size() const override { return size_; }
  void SetSize(int64_t newSize) override {
    size_ = newSize;
    if (position_ > size_) position_ = size_;
  }
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    if (count > 0) last_ = static_cast<const char*>(buffer)[count - 1];
    position_ += static_cast<int64_t>(count);
    if (position_ > size_) size_ = position_;
  }
  char Last() const { return last_; }

 private:
  int64_t size_ = 0;
  char last_ = 0;
};

int Serve(uint64_t bytes, bool tls) {
  ScriptedServer::Options options;
  options.repeatScripts = true;
  options.stepTimeoutMs = 30000;
  if (tls) options.tls = true;
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send(
          "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n")
      .SendRepeated(kPattern, bytes)
      .ShutdownWrite()
      .Close();
  ScriptedServer server({script}, options);
  std::printf("PORT %d\n", server.Port());
  std::fflush(stdout);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  int signal = 0;
  sigwait(&set, &signal);
  return 0;
}

int Fetch(int port, uint64_t bytes, bool tls, bool discard) {
  pixhaul::TIdTCPClient client;
  std::unique_ptr<pixhaul::TIdConnectionInterceptOpenSSL> intercept;
  client.SetHost("127.0.0.1");
  client.SetPort(port);
  if (tls) {
    intercept = std::make_unique<pixhaul::TIdConnectionInterceptOpenSSL>();
    intercept->SSLOptions().Method = pixhaul::sslvSSLv23;
    client.SetIntercept(intercept.get());
    client.SetInterceptEnabled(true);
  }
  const auto start = std::chrono::steady_clock::now();
  client.ConnectToPeer();
  client.WriteLine("GET /body HTTP/1.1");
  client.WriteLine("Host: 127.0.0.1");
  client.WriteLine("");
  const std::string status = client.ReadLine();
  if (status.rfind("HTTP/1.1 200", 0) != 0) {
    std::fprintf(stderr, "unexpected status line: %s\n", status.c_str());
    return 1;
  }
  while (!client.ReadLine().empty()) {
  }
  bool ok = true;
  int64_t received = 0;
  if (discard) {
    DiscardStream stream;
    client.ReadIntoStream(stream, -1, true);
    received = stream.Size();
    ok = received > 0 && stream.Last() == kPattern[(received - 1) % kPattern.size()];
  } else {
    pixhaul::TMemoryStream stream;
    client.ReadIntoStream(stream, -1, true);
    received = stream.Size();
    const char* data = stream.Memory();
    for (int64_t i = 0; i < received && ok; i += 4093) {
      ok = data[i] == kPattern[i % kPattern.size()];
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ok || static_cast<uint64_t>(received) != bytes) {
    std::fprintf(stderr, "body wrong: %lld bytes, pattern %s\n", static_cast<long long>(received),
                 ok ? "ok" : "broken");
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("bytes=%lld seconds=%.3f MBps=%.1f maxrss_kb=%ld\n", static_cast<long long>(received),
              seconds, received / seconds / 1e6, usage.ru_maxrss);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: transport_bench serve BYTES [--tls]\n"
               "       transport_bench fetch PORT BYTES [--tls] [--discard]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  bool tls = false;
  bool discard = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tls") == 0) tls = true;
    if (std::strcmp(argv[i], "--discard") == 0) discard = true;
  }
  try {
    if (std::strcmp(argv[1], "serve") == 0) return Serve(std::strtoull(argv[2], nullptr, 10), tls);
    if (std::strcmp(argv[1], "fetch") == 0 && argc >= 4) {
      return Fetch(std::atoi(argv[2]), std::strtoull(argv[3], nullptr, 10), tls, discard);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return Usage();
}
