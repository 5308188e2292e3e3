// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Throughput of the current-layout rules on large pages in Bing's layout of today.
//
//   rules_scan_bench --generate PAGE MEGABYTES RESULTS
//       writes a result page in today's Bing layout: RESULTS results, each an <a class="iusc"
//       m="..."> whose JSON (quotes written &quot;, & written &amp;) holds the full-size address
//       (murl) beside Bing's thumbnail (turl) and the page it comes from (purl), and an <img> of
//       the thumbnail; filler markup between them (scripts, entities, near misses of the rule)
//       up to MEGABYTES. One in twenty addresses repeats an earlier one; one in fifty is Bing's
//       own thumbnail, which the rule's exclusion leaves out. The filler's scripts build
//       "imgurl:" texts in code, as today's pages do, so the site's marker cuts only script
//       fragments and the rules give the list.
//   rules_scan_bench --expression
//       prints Bing's first built-in rule, for the reference tools.
//   rules_scan_bench PAGE [REPEATS]
//       times the list a run makes of PAGE for Bing (best of REPEATS, default 3): the marker scan
//       that cuts only script text, then the rules; prints MB/s, the entry count and the peak
//       resident memory of the process ("list" line); then the rule's pass alone, which writes
//       the same list ("rules"), and the marker's pass alone ("marker").
//   rules_scan_bench --rules-files FOLDER
//       writes three rules files of 1 MiB, the largest size allowed: largest.ini (every site
//       with 64 rules of 64 exclusions each, expressions like the built-in ones), literal.ini
//       (exclusions of 2046 literal bytes, the dearest to turn into machine code) and costly.ini
//       (short expressions that compile to 36 KiB each, until the file's compiled size is
//       refused).
//   rules_scan_bench --load-rules FILE [REPEATS]
//       times loading the rules file (best of REPEATS, default 3) and prints how many faults it
//       reported.
// bench/rules_scan_bench.sh runs it against grep -oP and rg -o with the same expression.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "demo/markup_escapes.h"
#include "harvest/address_harvest.h"
#include "harvest/marker_scan.h"
#include "harvest/rule_book.h"
#include "harvest/rules_file.h"
#include "harvest/rules_file_text.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Best wall time and best CPU time (user + system, steadier on a busy machine) of `repeats`
// runs of `work`.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

Timing BestOf(int repeats, const std::function<void()>& work) {
  Timing best;
  for (int i = 0; i < repeats; ++i) {
    const double cpuStart = CpuSeconds();
    best.wall = std::min(best.wall, SecondsOf(work));
    best.cpu = std::min(best.cpu, CpuSeconds() - cpuStart);
  }
  return best;
}

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// Filler in the style of a result page of today: scripts, entities, JSON in attributes, and
// near misses of the rule (other keys, a murl that is not an address).
const char* const kFiller[] = {
    "<div class=\"dgControl hover\" data-nexturl=\"/images/async?q=cat&amp;first=%u&amp;"
    "count=35\" data-idx=\"%u\">",
    "<script>var _w=window;_w.IG=\"%X\";_w.bing=_w.bing||{};(function(){var a=%u;})();</script>",
    "<span class=\"infopt\" data-m=\"{&quot;ns&quot;:&quot;images&quot;,&quot;k&quot;:&quot;"
    "%u&quot;,&quot;muted&quot;:&quot;x&quot;}\">",
    "<a class=\"inflnk\" aria-label=\"Image result for cat %u\" href=\"/images/search?view="
    "detailV2&amp;ccid=%x&amp;id=%X&amp;thid=OIP.%x\"></a>",
    "<div class=\"img_info hon\"><span class=\"nowrap\">%u &#215; 768 &#183; jpeg</span></div>",
    "<a m=\"{&quot;murl&quot;:&quot;/images/relative/%u.jpg&quot;}\"></a>",
    "</div></li>",
    "<script>function sj_iu(n,t,i){var s=t.replace(\"%%IMAGEURL%%\",\"imgurl:\"+"
    "encodeURIComponent(i));return s+%u}var iu=function(n){return\"imgurl:\"+((n===null||n==="
    "void 0?void 0:n.murl)||\"\")};</script>",
};

void AppendFiller(std::string& page, uint32_t& state) {
  char line[512];
  const uint32_t r = NextRandom(state);
  const int n = std::snprintf(line, sizeof line, kFiller[r % std::size(kFiller)], r, r, r, r);
  page.append(line, static_cast<size_t>(n));
  if ((r & 3) == 0) page += '\n';
}

std::string FullSizeAddress(uint32_t index, uint32_t r) {
  char address[256];
  std::snprintf(address, sizeof address,
                "https://img%u.example.com/photos/%u/%08u.jpg?w=%u&h=%u&fit=crop", r % 97, r % 2024,
                index, 640 + r % 7, 480 + r % 5);
  return address;
}

void AppendResult(std::string& page, uint32_t& state, uint32_t index) {
  const uint32_t r = NextRandom(state);
  std::string murl = FullSizeAddress(index, r);
  if (index % 20 == 19) murl = FullSizeAddress(index - 7, r);  // a repeat (its r differs)
  if (index % 50 == 49) murl = "https://tse3.mm.bing.net/th?id=OIP.own" + std::to_string(index);
  const std::string id = std::to_string(index);
  const std::string m = "{\"cid\":\"c" + id + "\",\"purl\":\"https://site" +
                        std::to_string(r % 500) + ".example/gallery/" + id + ".html\",\"murl\":\"" +
                        murl + "\",\"turl\":\"https://tse" + std::to_string(1 + r % 4) +
                        ".mm.bing.net/th?id=OIP." + id + "&pid=15.1\",\"md5\":\"" +
                        std::to_string(r) + "\"}";
  page += "<li><div class=\"iuscp isv\"><div class=\"imgpt\"><a class=\"iusc\" m=\"" +
          pixhaul::demo::HtmlAttributeText(m) +
          "\" href=\"/images/search?view=detailV2&amp;id=" + id +
          "\"><img class=\"mimg\" src=\"https://tse1.mm.bing.net/th?id=OIP." + id +
          "&amp;w=230&amp;h=172\" alt=\"cat " + id + "\"></a></div>\n";
}

int Generate(const std::string& path, long megabytes, long results) {
  const size_t target = static_cast<size_t>(megabytes) * 1000 * 1000;
  std::string page = "<body><div id=\"b_content\"><ul class=\"dgControl_list\">\n";
  page.reserve(target + 4096);
  uint32_t state = 20250301;
  for (long i = 0; i < results; ++i) {
    const size_t blockEnd = target / static_cast<size_t>(results) * static_cast<size_t>(i + 1);
    AppendResult(page, state, static_cast<uint32_t>(i));
    while (page.size() < blockEnd) AppendFiller(page, state);
  }
  page += "</ul></div></body>\n";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(page.data(), static_cast<std::streamsize>(page.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("generated %s: %.1f MB, %ld results\n", path.c_str(), page.size() / 1e6, results);
  return 0;
}

int Measure(const std::string& page, int repeats) {
  std::ifstream probe(page, std::ios::binary | std::ios::ate);
  const double megabytes = static_cast<double>(probe.tellg()) / 1e6;
  const std::string list = page + ".url_list.txt";
  pixhaul::RuleBook book;

  pixhaul::HarvestResult result;
  const Timing total = BestOf(repeats, [&] {
    result = pixhaul::HarvestImageUrls(page, list, pixhaul::SiteNamed("bing"), book);
  });
  if (!result.byRules || !result.problems.empty()) {
    std::fprintf(stderr, "the list did not come from the rules\n");
    return 1;
  }
  std::printf(
      "list %s: %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s), %d entries, peak RSS %.1f MiB\n",
      page.c_str(), megabytes, total.wall, megabytes / total.wall, total.cpu, result.count,
      PeakResidentKiB() / 1024.0);

  pixhaul::SiteRules rules = pixhaul::BuiltInRules(*pixhaul::SiteNamed("bing"));
  const Timing rulesAlone = BestOf(repeats, [&] {
    pixhaul::ScanPageWithRules(page, list, std::span(rules.rules).first(1),
                               pixhaul::detail::kPageChunkBytes);
  });
  std::printf("rules %s: %.3f s = %.0f MB/s (CPU %.3f s)\n", page.c_str(), rulesAlone.wall,
              megabytes / rulesAlone.wall, rulesAlone.cpu);
  int fragments = 0;
  const Timing markerAlone = BestOf(repeats, [&] {
    fragments = pixhaul::ExtractImageUrls(page, list, pixhaul::SiteNamed("bing"));
  });
  std::printf("marker %s: %.3f s = %.0f MB/s (CPU %.3f s), %d script fragments\n", page.c_str(),
              markerAlone.wall, megabytes / markerAlone.wall, markerAlone.cpu, fragments);
  ::unlink(list.c_str());
  return 0;
}

// One section per site of `rules` rules with `exclusions` each, the lines made by `line`
// (rule number, exclusion number or 0 for the rule itself) and padded with "x" to fill
// `bytes` in all.
template <class Line>
int WriteRulesFile(const std::string& path, int rules, int exclusions, size_t bytes, Line line) {
  const size_t lines = static_cast<size_t>(3 * rules * (exclusions + 2));
  std::string text;
  for (int site = 0; site < pixhaul::kSiteCount; ++site) {
    text += "[" + pixhaul::SiteLabel(*pixhaul::SiteOfRow(site)) + "]\n";
    for (int n = 1; n <= rules; ++n) {
      text += "Rule" + std::to_string(n) + "=" + line(n, 0) + "\n";
      text += "Decoding" + std::to_string(n) + "=html\n";
      for (int m = 1; m <= exclusions; ++m) {
        std::string exclusion = line(n, m);
        // A value may hold 2046 bytes.
        const size_t key = std::to_string(n).size() + std::to_string(m).size() + 10;
        const size_t room = std::min<size_t>(bytes / lines - key, 2046);
        if (exclusion.size() < room) exclusion += std::string(room - exclusion.size(), 'x');
        text += "Exclude" + std::to_string(n) + "." + std::to_string(m) + "=" + exclusion + "\n";
      }
    }
  }
  if (text.size() > bytes) text.resize(text.rfind('\n', bytes - 1) + 1);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  std::printf("wrote %s: %zu bytes\n", path.c_str(), text.size());
  return out ? 0 : 1;
}

int WriteRulesFiles(const std::string& folder) {
  const size_t bytes = pixhaul::kMaxRulesFileBytes;
  int failed = WriteRulesFile(folder + "/largest.ini", 64, 64, bytes, [](int n, int m) {
    const std::string id = std::to_string(n) + "_" + std::to_string(m);
    return m == 0 ? "murl&quot;:&quot;(https?://[^\"<>]{1,4096}?)&quot;" + id
                  : "^https?://(?:tse\\d*\\.mm\\.bing\\.net|th\\.bing\\.com)/th/" + id + "/";
  });
  failed |= WriteRulesFile(folder + "/literal.ini", 3, 64, bytes, [](int, int m) {
    return m == 0 ? std::string("(h\\S+)") : std::string(2046, 'y');
  });
  failed |= WriteRulesFile(folder + "/costly.ini", 64, 64, bytes, [](int, int m) {
    return m == 0 ? std::string("(h\\S+)") : std::string("(?:\\w+\\d+[^x]*){3000}");
  });
  return failed;
}

int MeasureRulesLoad(const std::string& path, int repeats) {
  pixhaul::RulesFileContent content;
  const Timing load = BestOf(repeats, [&] {
    content = pixhaul::LoadRulesFile({path, /*required=*/true});
  });
  size_t rules = 0;
  for (const auto& site : content.sites) rules += site ? site->rules.size() : 0;
  std::printf("load %s: %.3f s (CPU %.3f s), %zu rules taken, %zu faults%s%s, peak RSS %.1f MiB\n",
              path.c_str(), load.wall, load.cpu, rules, content.problems.size(),
              content.problems.empty() ? "" : ": ",
              content.problems.empty() ? "" : content.problems.front().c_str(),
              PeakResidentKiB() / 1024.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--generate") {
    return Generate(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  }
  if (argc == 2 && std::string(argv[1]) == "--expression") {
    std::printf(
        "%s\n",
        std::string(pixhaul::BuiltInRuleTexts(*pixhaul::SiteNamed("bing")).front().expression)
            .c_str());
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--rules-files") return WriteRulesFiles(argv[2]);
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--load-rules") {
    return MeasureRulesLoad(argv[2], argc == 4 ? std::atoi(argv[3]) : 3);
  }
  if (argc == 2 || argc == 3) return Measure(argv[1], argc == 3 ? std::atoi(argv[2]) : 3);
  std::fprintf(stderr,
               "usage: %s --generate PAGE MEGABYTES RESULTS\n"
               "       %s --expression\n"
               "       %s PAGE [REPEATS]\n"
               "       %s --rules-files FOLDER\n"
               "       %s --load-rules FILE [REPEATS]\n",
               argv[0], argv[0], argv[0], argv[0], argv[0]);
  return 2;
}
