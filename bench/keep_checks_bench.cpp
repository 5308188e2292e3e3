// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What the checks before an image is kept cost, each on its own.
//
//   keep_checks_bench checks
//       the document check and the header size read, per image (µs), over every format the
//       readers know, a JPEG behind 64 KiB of EXIF and an HTML page included.
//   keep_checks_bench hash FILE
//       the content hash of FILE (mapped, XXH3 128-bit) in GB/s, best of 3.
//   keep_checks_bench folder FOLDER COUNT
//       fills FOLDER with COUNT files of distinct sizes, then times indexing it and one
//       duplicate check of a body whose size none of them has (nothing may be hashed).
// bench/keep_checks_bench.sh runs them beside sha256sum and xxhsum, and a whole run with the
// filters on against the same run with them off.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/duplicate_index.h"
#include "download/image_check.h"
#include "download/image_signature.h"
#include "download/image_size.h"
#include "framework/posix_file.h"
#include "tests/support/image_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace pixhaul;
using namespace pixhaul::test;

double SecondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int Checks() {
  struct Sample {
    const char* name;
    std::string type;
    std::string bytes;
  };
  const std::vector<Sample> samples = {
      {"jpeg", "image/jpeg", JpegBytes(1920, 1080)},
      {"jpeg, 64 KiB exif", "image/jpeg", JpegBytes(1920, 1080, 65536)},
      {"png", "image/png", PngBytes(800, 600)},
      {"gif", "image/gif", GifBytes(16, 16)},
      {"webp lossy", "image/webp", WebpLossyBytes(1024, 768)},
      {"webp extended", "image/webp", WebpExtendedBytes(1024, 768)},
      {"svg", "image/svg+xml", "<?xml version=\"1.0\"?><svg width=\"48\" height=\"48\">"},
      {"html page", "text/html", "<!DOCTYPE html><html><body>" + std::string(60000, 'x')},
  };
  constexpr int kRounds = 20000;
  std::printf("%-20s %12s %12s\n", "body", "document µs", "size µs");
  for (const Sample& sample : samples) {
    volatile bool sink = false;
    const double document = SecondsOf([&] {
      for (int i = 0; i < kRounds; ++i) sink = IsDocument(sample.type, sample.bytes);
    });
    const double size = SecondsOf([&] {
      for (int i = 0; i < kRounds; ++i) sink = ImageSizeOf(sample.bytes).has_value();
    });
    std::printf("%-20s %12.2f %12.2f\n", sample.name, document / kRounds * 1e6,
                size / kRounds * 1e6);
  }
  return 0;
}

int Hash(const char* path) {
  const FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) return std::perror(path), 1;
  const off_t bytes = ::lseek(file.Get(), 0, SEEK_END);
  double best = 1e9;
  for (int i = 0; i < 3; ++i)
    best = std::min(best, SecondsOf([&] { (void)ContentHash(file.Get()); }));
  std::printf("hash %.2f GB/s (%.3f s for %.2f GiB)\n", static_cast<double>(bytes) / best / 1e9,
              best, static_cast<double>(bytes) / (1 << 30));
  return 0;
}

int Folder(const std::string& folder, int count) {
  for (int i = 0; i < count; ++i)
    WriteFileBytes(folder + "/" + std::to_string(i) + ".jpg", std::string(1000 + i, 'x'));
  std::unique_ptr<DuplicateIndex> index;
  const double indexing =
      SecondsOf([&] { index = std::make_unique<DuplicateIndex>(folder + "/"); });
  const std::string body = folder + "/../keep_checks_body";
  WriteFileBytes(body, std::string(500, 'y'));
  const FileDescriptor fd(::open(body.c_str(), O_RDONLY | O_CLOEXEC));
  const double check =
      SecondsOf([&] { (void)index->KeepUnlessDuplicate(fd.Get(), "new.jpg", [] {}); });
  std::printf(
      "folder of %zu files: indexed in %.2f ms, a check of a new size %.1f µs, %zu hashed\n",
      index->Count(), indexing * 1e3, check * 1e6, index->FilesHashed());
  ::unlink(body.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "checks") return Checks();
  if (mode == "hash" && argc == 3) return Hash(argv[2]);
  if (mode == "folder" && argc == 4) return Folder(argv[2], std::atoi(argv[3]));
  std::fprintf(stderr, "usage: keep_checks_bench checks | hash FILE | folder FOLDER COUNT\n");
  return 2;
}
