// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// bench_server: the loopback HTTP/1.1 server the HTTP benchmarks fetch from, plain and TLS, in a
// process of its own so that the measured clients link no TLS library, as in the product.
//
//   bench_server PORT_FILE
//
// Serves on two ports of 127.0.0.1 that the system picks, http and https (the loopback
// servers' self-signed certificate), writes "http PORT" and "https PORT" lines to PORT_FILE
// once listening, and serves until SIGTERM or SIGINT (at most an hour). Every reply keeps the
// connection open. Paths: /counted/N (N bytes with a Content-Length), /chunked/N (N bytes in
// chunks of 64 KiB), /small/ANYTHING (16 KiB, counted); 404 for anything else.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "loopback/loopback_server.h"
#include "loopback/stop_signal_wait.h"

namespace {

using pixhaul::loopback::HttpConnection;
using pixhaul::loopback::HttpRequest;
using pixhaul::loopback::LoopbackHttpServer;

constexpr size_t kSmallSize = 16 * 1024;
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kPatternSize = 1 << 20;

const std::string& Pattern() {
  static const std::string pattern = [] {
    std::string bytes(kPatternSize, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
  }();
  return pattern;
}

bool SendPattern(HttpConnection& connection, uint64_t size) {
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, Pattern().size()));
    if (!connection.Write(std::string_view(Pattern()).substr(0, n))) return false;
    size -= n;
  }
  return true;
}

bool Answer(const HttpRequest& request, HttpConnection& connection) {
  const std::string& path = request.target;
  auto sizeAfter = [&](const char* prefix) {
    return std::strtoull(path.c_str() + std::strlen(prefix), nullptr, 10);
  };
  if (path.rfind("/counted/", 0) == 0) {
    const uint64_t size = sizeAfter("/counted/");
    return connection.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                            "\r\n\r\n") &&
           SendPattern(connection, size);
  }
  if (path.rfind("/chunked/", 0) == 0) {
    uint64_t left = sizeAfter("/chunked/");
    if (!connection.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")) return false;
    char line[32];
    while (left > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunkSize));
      const int length = std::snprintf(line, sizeof line, "%zx\r\n", n);
      if (!connection.Write(std::string_view(line, static_cast<size_t>(length))) ||
          !connection.Write(std::string_view(Pattern()).substr(0, n)) ||
          !connection.Write("\r\n")) {
        return false;
      }
      left -= n;
    }
    return connection.Write("0\r\n\r\n");
  }
  if (path.rfind("/small/", 0) == 0) {
    return connection.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSmallSize) +
                            "\r\n\r\n" + Pattern().substr(0, kSmallSize));
  }
  return connection.Write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_server PORT_FILE\n");
    return 2;
  }
  pixhaul::loopback::StopSignalWait stop;  // before any thread starts
  try {
    LoopbackHttpServer::Options options;
    options.keepAlive = true;
    options.ioLimit = std::chrono::seconds(60);
    options.lifetime = std::chrono::hours(1);
    LoopbackHttpServer server(&Answer, options);
    std::ofstream(argv[1]) << "http " << server.HttpPort() << "\nhttps " << server.HttpsPort()
                           << "\n";
    stop.Wait(std::chrono::hours(1));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_server: %s\n", e.what());
    return 1;
  }
  return 0;
}
