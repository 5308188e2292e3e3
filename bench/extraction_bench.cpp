// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Throughput of the image address extraction on large saved pages.
//
//   extraction_bench --generate PAGE MEGABYTES MARKERS
//       writes a search-result-like page: filler markup with LF and CR LF line breaks and
//       MARKERS Bing entries imgurl:"http://...jpg" spread evenly through it.
//   extraction_bench PAGE [REPEATS]
//       runs ExtractImageUrls on PAGE (best of REPEATS, default 3) and prints MB/s, the entry
//       count and the peak resident memory; then the floor of reading the page in the same
//       chunks and nothing else, the scan alone over the text already in memory, and the whole
//       extraction at other chunk sizes (checking each gives the same list).
// bench/extraction_bench.sh runs both against grep on the same files.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "framework/string_list.h"
#include "harvest/marker_scan.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double BestOf(int repeats, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < repeats; ++i) best = std::min(best, SecondsOf(work));
  return best;
}

// User plus system time of this process: steadier than wall time on a busy machine.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// Filler lines in the style of a result page: attributes, quotes, entities, and many of the
// marker's own letters, so the search meets plenty of near misses.
const char* const kFiller[] = {
    "<li><div class=\"iuscp isv\" data-idx=\"%u\" style=\"width:240px;height:180px\">",
    "<a class=\"iusc\" m=\"{&quot;cid&quot;:&quot;%x&quot;,&quot;purl&quot;:&quot;http://"
    "site%u.example/page&quot;}\" href=\"/images/search?view=detailV2&amp;id=%X&amp;q=cat\">",
    "<img class=\"mimg\" src=\"data:image/gif;base64,R0lGODlhAQABAIAAAP\" alt=\"image %u\" />",
    "</a><div class=\"infopt\"><span class=\"imgtitle\">Image title %u, figure listing</span>",
    "<script>var i%u = {minimal: true, image: \"thumb\", url: \"/th?id=OIP.%x\"};</script>",
    "</div></li>",
};

// Tiny deterministic generator: the same page on every machine.
uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

void AppendFiller(std::string& page, uint32_t& state) {
  char line[512];
  const uint32_t r = NextRandom(state);
  const char* format = kFiller[r % std::size(kFiller)];
  const int n = std::snprintf(line, sizeof line, format, r, r, r, r);
  page.append(line, static_cast<size_t>(n));
  page += (r & 7) == 0 ? "\r\n" : "\n";
}

void AppendMarker(std::string& page, uint32_t& state, uint32_t index) {
  char entry[256];
  const uint32_t r = NextRandom(state);
  const int n = std::snprintf(entry, sizeof entry,
                              "<a m=\"x\" data-m='{imgurl:\"http://img%u.example.com/photos/%u/"
                              "%08u.jpg\",w:\"640\",h:\"480\"}'>\n",
                              r % 97, r % 2024, index);
  page.append(entry, static_cast<size_t>(n));
}

int Generate(const std::string& path, long megabytes, long markers) {
  const size_t target = static_cast<size_t>(megabytes) * 1000 * 1000;
  std::string page;
  page.reserve(target + 4096);
  uint32_t state = 20240607;
  for (long i = 0; i < markers; ++i) {
    const size_t blockEnd = target / static_cast<size_t>(markers) * static_cast<size_t>(i + 1);
    while (page.size() < blockEnd) AppendFiller(page, state);
    AppendMarker(page, state, static_cast<uint32_t>(i));
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(page.data(), static_cast<std::streamsize>(page.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("generated %s: %.1f MB, %ld markers\n", path.c_str(), page.size() / 1e6, markers);
  return 0;
}

// Reading the page in chunks of the extraction's size and doing nothing else: the floor the
// extraction cannot go below.
double TimeReadOnly(const std::string& page) {
  return SecondsOf([&] {
    std::ifstream file(page, std::ios::binary);
    const auto chunk = std::make_unique_for_overwrite<char[]>(pixhaul::detail::kPageChunkBytes);
    while (file.read(chunk.get(), pixhaul::detail::kPageChunkBytes) || file.gcount() > 0) {
    }
  });
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Measure(const std::string& page, int repeats) {
  std::ifstream probe(page, std::ios::binary | std::ios::ate);
  const double megabytes = static_cast<double>(probe.tellg()) / 1e6;
  const std::string list = page + ".url_list.txt";

  int count = 0;
  double cpu = 1e300;
  const double total = BestOf(repeats, [&] {
    const double cpuStart = CpuSeconds();
    count = pixhaul::ExtractImageUrls(page, list, pixhaul::SiteNamed("bing"));
    cpu = std::min(cpu, CpuSeconds() - cpuStart);
  });
  // Taken before the steps below, which hold the whole text in memory.
  const long peak = PeakResidentMegabytes();
  std::printf(
      "extraction %s: %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s), %d entries, "
      "peak RSS %ld MB\n",
      page.c_str(), megabytes, total, megabytes / total, cpu, count, peak);
  const std::string expected = ReadFile(list);

  double readOnly = 1e300;
  for (int i = 0; i < repeats; ++i) readOnly = std::min(readOnly, TimeReadOnly(page));
  double scan = 1e300;
  {
    const std::string text = pixhaul::LoadTextFromFile(page);
    scan = BestOf(repeats, [&] { pixhaul::FindImageUrls(text, pixhaul::SiteNamed("bing")); });
  }
  std::printf(
      "  steps: reading the page in %zu KiB chunks alone %.3f s = %.0f MB/s; the scan alone over "
      "the text in memory %.3f s = %.0f MB/s\n",
      pixhaul::detail::kPageChunkBytes / 1024, readOnly, megabytes / readOnly, scan,
      megabytes / scan);

  std::printf("  chunk sizes:");
  for (size_t chunk :
       {size_t{16} << 10, size_t{64} << 10, size_t{256} << 10, size_t{1} << 20, size_t{4} << 20}) {
    const double seconds = BestOf(repeats, [&] {
      pixhaul::detail::ExtractImageUrlsChunked(page, list, pixhaul::SiteNamed("bing"), chunk);
    });
    std::printf(" %zu KiB %.3f s%s", chunk / 1024, seconds,
                ReadFile(list) == expected ? "" : " (LIST DIFFERS!)");
  }
  std::printf("\n");
  ::unlink(list.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--generate") {
    return Generate(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  }
  if (argc == 2 || argc == 3) {
    return Measure(argv[1], argc == 3 ? std::atoi(argv[2]) : 3);
  }
  std::fprintf(stderr,
               "usage: %s --generate PAGE MEGABYTES MARKERS\n"
               "       %s PAGE [REPEATS]\n",
               argv[0], argv[0]);
  return 2;
}
