// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// HTTP client benchmark helper: the client runs being measured, and a runner that times any
// command and reports its peak resident memory. The server they fetch from is bench_server.
//
//   http_bench get URL SIZE [SAVE_FILE]   one GetInto into a memory stream (then SaveToFile),
//                                         checking the body is SIZE bytes
//   http_bench worker URL SIZE FOLDER     one download worker (TDownTileThread) saving URL into
//                                         FOLDER/body.bin as a run does: the body streamed into
//                                         a temporary file there, renamed when complete;
//                                         checks the outcome and that the file is SIZE bytes
//   http_bench many URL_PREFIX COUNT SIZE COUNT GetInto calls of URL_PREFIX0..COUNT-1 on one
//                                         client (one kept-alive connection)
//   http_bench measure CMD [ARGS...]      runs CMD, prints "seconds maxrss_kb" on stderr's last
//                                         line and exits with CMD's status
//
// With PIXHAUL_BENCH_PROXY set to a proxy address, every client goes through that proxy, as
// pixhaul-cli --proxy sends it.
//
// The clients are the download worker's own (DownloadClient): a TLS intercept attached to every
// client, which the client switches on itself for https addresses. The executable links no TLS
// library, so a process that never touches TLS maps none of it, just like the product.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "download/Unitdowntile.h"
#include "download/download_client.h"
#include "download/worker_reports.h"
#include "framework/memory_stream.h"
#include "framework/thread.h"

namespace {

int Get(const std::string& url, uint64_t size, const char* saveFile) {
  pixhaul::DownloadClient client;
  pixhaul::TMemoryStream body;
  client.GetInto(url, body);
  if (static_cast<uint64_t>(body.Size()) != size) {
    std::fprintf(stderr, "expected %llu bytes, got %lld\n", static_cast<unsigned long long>(size),
                 static_cast<long long>(body.Size()));
    return 1;
  }
  if (saveFile != nullptr) body.SaveToFile(saveFile);
  return 0;
}

// Takes a worker's two hand-offs and shows nothing.
class QuietReports : public pixhaul::WorkerReports {
 public:
  void AppendWorkerLine(const std::string&) override {}
  void WorkerFinished(unsigned, const pixhaul::WorkerEnd&) override {}
};

int Worker(const std::string& url, uint64_t size, const std::string& folder) {
  QuietReports reports;
  auto* worker = pixhaul::TThread::Spawn<pixhaul::TDownTileThread>(true, url, "body.bin", 0,
                                                                   folder + "/", 0, reports);
  worker->SetFreeOnTerminate(false);
  const std::unique_ptr<pixhaul::TDownTileThread> owned(worker);
  worker->Start();
  worker->WaitFor();  // runs the worker's two hand-offs while it waits
  const std::string saved = folder + "/body.bin";
  std::error_code error;
  const auto savedSize = std::filesystem::file_size(saved, error);
  if (worker->Outcome != pixhaul::kOutcomeSaved || error || savedSize != size) {
    std::fprintf(stderr, "worker: %s (outcome %d, %llu bytes saved)\n", worker->LogLine.c_str(),
                 worker->Outcome, static_cast<unsigned long long>(error ? 0 : savedSize));
    return 1;
  }
  return 0;
}

int Many(const std::string& prefix, int count, uint64_t size) {
  pixhaul::DownloadClient client;
  pixhaul::TMemoryStream body;
  for (int i = 0; i < count; ++i) {
    body.Clear();
    client.GetInto(prefix + std::to_string(i), body);
    if (static_cast<uint64_t>(body.Size()) != size) {
      std::fprintf(stderr, "request %d: got %lld bytes\n", i, static_cast<long long>(body.Size()));
      return 1;
    }
  }
  return 0;
}

int Measure(char** command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(command[0], command);
    std::perror("execvp");
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%.4f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: http_bench get URL SIZE [SAVE_FILE] | worker URL SIZE FOLDER | "
               "many URL_PREFIX COUNT SIZE | measure CMD [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  try {
    if (const char* proxy = std::getenv("PIXHAUL_BENCH_PROXY"); proxy != nullptr && *proxy) {
      const std::optional<pixhaul::ProxyServer> server = pixhaul::ParseProxyAddress(proxy);
      if (!server) return Usage();
      pixhaul::DownloadClient::SetProxyChoice(pixhaul::ProxyChoice::Fixed(*server));
    }
    if (mode == "get" && (argc == 4 || argc == 5)) {
      return Get(argv[2], std::strtoull(argv[3], nullptr, 10), argc == 5 ? argv[4] : nullptr);
    }
    if (mode == "worker" && argc == 5) {
      return Worker(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
    }
    if (mode == "many" && argc == 5) {
      return Many(argv[2], std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    }
    if (mode == "measure" && argc >= 3) return Measure(argv + 2);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return Usage();
}
