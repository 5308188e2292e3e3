// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// A small library the soak tests preload into pixhaul-cli (LD_PRELOAD) to count the process's
// open descriptors and threads when it starts (before main) and when it ends (after main has
// returned and the static objects are gone). It writes one line to the file named by
// PIXHAUL_SOAK_PROBE_FILE:
//
//   start_fds start_threads end_fds end_threads settle_ms vm_hwm_kib
//
// A thread that has run its last instruction may still be counted for a moment, so the end
// count is taken once the thread count has settled at or below the start count, waiting at
// most 2 s (settle_ms says how long that took; a real leak shows as a higher end count).
// PIXHAUL_SOAK_PROBE_RUNTIME_THREADS counts threads a sanitizer runtime adds on its own.
// Nothing here runs unless the variable is set.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int startFds = -1;
int startThreads = -1;

int CountFds() {
  DIR* folder = opendir("/proc/self/fd");
  if (folder == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(folder);
  return count - 1;  // the descriptor of the listing itself
}

long StatusField(const char* name) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long value = -1;
  const size_t length = std::strlen(name);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
      value = std::strtol(line + length + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(status);
  return value;
}

__attribute__((constructor)) void ProbeStart() {
  if (std::getenv("PIXHAUL_SOAK_PROBE_FILE") == nullptr) return;
  startFds = CountFds();
  startThreads = static_cast<int>(StatusField("Threads"));
}

__attribute__((destructor)) void ProbeEnd() {
  const char* path = std::getenv("PIXHAUL_SOAK_PROBE_FILE");
  if (path == nullptr || startFds < 0) return;
  // Threads a sanitizer runtime starts for itself (PIXHAUL_SOAK_PROBE_RUNTIME_THREADS).
  const char* runtime = std::getenv("PIXHAUL_SOAK_PROBE_RUNTIME_THREADS");
  const long expected = startThreads + (runtime != nullptr ? std::atol(runtime) : 0);
  int settleMs = 0;
  long threads = StatusField("Threads");
  while (threads > expected && settleMs < 2000) {
    usleep(10 * 1000);
    settleMs += 10;
    threads = StatusField("Threads");
  }
  const int fds = CountFds();
  FILE* out = std::fopen(path, "w");
  if (out == nullptr) return;
  std::fprintf(out, "%d %d %d %ld %d %ld\n", startFds, startThreads, fds, threads, settleMs,
               StatusField("VmHWM"));
  std::fclose(out);
}

}  // namespace
