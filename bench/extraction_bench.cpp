// Throughput of the image address extraction on large saved pages.
//
//   extraction_bench --generate PAGE MEGABYTES MARKERS
//       writes a search-result-like page: filler markup with LF and CR LF line breaks and
//       MARKERS Bing entries imgurl:"http://...jpg" spread evenly through it.
//   extraction_bench PAGE [REPEATS]
//       runs ExtractImageUrls on PAGE (best of REPEATS, default 3) and prints MB/s, the entry
//       count and the peak resident memory; then times each step of the extraction on its own
//       (line-list load, join, freeing, the scan, the list save) so a slow step can be told
//       apart from a slow scan, and what a one-pass load of the same text would cost.
// bench/extraction_bench.sh runs both against grep on the same files.
#include <malloc.h>
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
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "framework/string_list.h"
#include "harvest/image_url_extraction.h"

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

// The extraction's own steps run one by one, each timed: what share the line list takes
// against the scan itself.
struct Phases {
  double load = 1e300, join = 1e300, freeLines = 1e300, scan = 1e300, freeText = 1e300,
         save = 1e300;
  double LineList() const { return load + join + freeLines + freeText; }
};

Phases Faster(const Phases& a, const Phases& b) {
  return {std::min(a.load, b.load),           std::min(a.join, b.join),
          std::min(a.freeLines, b.freeLines), std::min(a.scan, b.scan),
          std::min(a.freeText, b.freeText),   std::min(a.save, b.save)};
}

Phases TimePhases(const std::string& page, const std::string& list) {
  Phases phases;
  auto lines = std::make_unique<pixhaul::TStringList>();
  std::string text;
  pixhaul::TStringList addresses;
  phases.load = SecondsOf([&] { lines->LoadFromFile(page); });
  phases.join = SecondsOf([&] { text = lines->Text(); });
  // glibc leaves freed small blocks in its fast bins and merges them at the next large
  // allocation, which would bill the scan for the line list; malloc_trim does the merge here.
  phases.freeLines = SecondsOf([&] {
    lines.reset();
    malloc_trim(0);
  });
  phases.scan = SecondsOf([&] { addresses = pixhaul::FindImageUrls(text, 0); });
  phases.freeText = SecondsOf([&] { std::string().swap(text); });
  phases.save = SecondsOf([&] { addresses.SaveToFile(list); });
  return phases;
}

// The file's bytes in a buffer left uninitialised until read, as the line list reads them.
std::pair<std::unique_ptr<char[]>, size_t> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  const auto size = static_cast<size_t>(file.tellg());
  auto bytes = std::make_unique_for_overwrite<char[]>(size);
  file.seekg(0);
  file.read(bytes.get(), static_cast<std::streamsize>(size));
  return {std::move(bytes), size};
}

size_t CountByte(std::string_view in, char byte) {
  size_t count = 0;
  for (size_t at = in.find(byte); at != std::string_view::npos; at = in.find(byte, at + 1)) {
    ++count;
  }
  return count;
}

// The page's lines each followed by CR LF, written in one pass into one buffer. Each kind of
// break is found with memchr and remembered, so every byte is read once; a lone CR or LF grows
// by one byte, which bounds the size reserved up front.
std::string OnePassCrLf(std::string_view in) {
  in = in.substr(0, in.find('\0'));
  std::string text;
  text.reserve(in.size() + CountByte(in, '\r') + CountByte(in, '\n') + 2);
  size_t at = 0;
  size_t nextCr = std::min(in.size(), in.find('\r'));
  size_t nextLf = std::min(in.size(), in.find('\n'));
  while (at < in.size()) {
    if (nextCr < at) nextCr = std::min(in.size(), in.find('\r', at));
    if (nextLf < at) nextLf = std::min(in.size(), in.find('\n', at));
    const size_t stop = std::min(nextCr, nextLf);
    text.append(in.data() + at, stop - at).append("\r\n", 2);
    at = stop;
    if (at < in.size() && in[at] == '\r') ++at;
    if (at < in.size() && in[at] == '\n') ++at;
  }
  return text;
}

// What loading could cost without one heap string per line. Checks that the text is byte for
// byte the one the line list produces, so the figure is for the same work.
double TimeOnePassLoad(const std::string& page, const std::string& expected) {
  std::string text;
  const double seconds = SecondsOf([&] {
    const auto [bytes, size] = ReadWholeFile(page);
    text = OnePassCrLf(std::string_view(bytes.get(), size));
  });
  if (text != expected) std::printf("  one-pass load: text differs from the line list's!\n");
  return seconds;
}

int Measure(const std::string& page, int repeats) {
  std::ifstream probe(page, std::ios::binary | std::ios::ate);
  const double megabytes = static_cast<double>(probe.tellg()) / 1e6;
  const std::string list = page + ".url_list.txt";

  int count = 0;
  double cpu = 1e300;
  const double total = BestOf(repeats, [&] {
    const double cpuStart = CpuSeconds();
    count = pixhaul::ExtractImageUrls(page, list, /*siteIndex=*/0);
    cpu = std::min(cpu, CpuSeconds() - cpuStart);
  });
  const long peak = PeakResidentMegabytes();
  std::printf(
      "extraction %s: %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s), %d entries, "
      "peak RSS %ld MB\n",
      page.c_str(), megabytes, total, megabytes / total, cpu, count, peak);

  Phases best;
  for (int i = 0; i < repeats; ++i) best = Faster(best, TimePhases(page, list));
  std::printf(
      "  steps: line-list load %.3f s, Text() %.3f s, freeing lines %.3f s and text "
      "%.3f s (line list %.0f%% of the steps); scan %.3f s = %.0f MB/s; list save %.3f s\n",
      best.load, best.join, best.freeLines, best.freeText,
      100 * best.LineList() / (best.LineList() + best.scan + best.save), best.scan,
      megabytes / best.scan, best.save);

  pixhaul::TStringList lines;
  lines.LoadFromFile(page);
  const std::string expected = lines.Text();
  lines.Clear();
  double onePass = 1e300;
  for (int i = 0; i < repeats; ++i) onePass = std::min(onePass, TimeOnePassLoad(page, expected));
  std::printf("  a one-pass CR LF load of the same text would take %.3f s instead of %.3f s\n",
              onePass, best.load + best.join + best.freeLines);
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
