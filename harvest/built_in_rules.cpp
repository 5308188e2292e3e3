// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/built_in_rules.h"

#include <stdexcept>

#include "harvest/rules_file.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// A JSON string's body is (?:[^"\\]++|\\.)*+: it ends at the first quote that is not escaped,
// and being possessive it never backtracks, however long it is. An attribute's address runs to
// its closing quote (&quot; inside Bing's JSON) and is at most 4096 bytes long.
// Bing's own thumbnails, on its image hosts of every generation.
constexpr const char* kBingThumbnails =
    R"re(^https?://(?:tse?\d*\.mm\.bing\.net|th\.bing\.com)/th)re";

const std::vector<std::vector<RuleText>>& Table() {
  static const std::vector<std::vector<RuleText>> table = {
      // Bing: the m attribute's JSON, quotes written &quot; in the markup (its key "murl" is
      // the only one ending so, and a literal start lets the engine skip ahead quickly); then
      // the same JSON with plain quotes, as a page from another source may hold it; then the
      // attribute of the earlier server-rendered pages, whose keys are not quoted.
      {
          {R"re(murl&quot;:&quot;(https?://[^"<>]{1,4096}?)&quot;)re",
           AddressDecoding::kHtml,
           {kBingThumbnails}},
          {R"re("murl"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re",
           AddressDecoding::kJson,
           {kBingThumbnails}},
          {R"re(imgurl:&quot;(https?://[^"<>]{1,4096}?)&quot;)re",
           AddressDecoding::kHtml,
           {kBingThumbnails}},
      },
      // Google: ["address",height,width] for the thumbnail, then for the full-size image. The
      // same arrays carry the site's logos, the source pages' icons and their previews, all on
      // Google's own hosts (gstatic.com, google.com and its country domains).
      {
          {R"re(\["(https?:(?:[^"\\]++|\\.)*+)",\d{1,6},\d{1,6}\])re",
           AddressDecoding::kJson,
           {R"re(^https?://[^/]*\bgstatic\.com/)re",
            R"re(^https?://(?:[^/?#]*\.)?google(?:\.[a-z]{2,3}){1,2}[/?#:])re"}},
      },
      // Baidu: the original image, enciphered in "objURL" on most pages (plain on some); the
      // original or an alternate in replaceUrl; the older layout's attribute; then Baidu's own
      // copies.
      {
          {R"re("objURL"\s*:\s*"((?:[^"\\]++|\\.)*+)")re", AddressDecoding::kBaidu, {}},
          {R"re("ObjURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
          {R"re(data-objurl="(https?://[^"<>]{1,4096})")re", AddressDecoding::kHtml, {}},
          {R"re("middleURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
          {R"re("thumbURL"\s*:\s*"(https?:(?:[^"\\]++|\\.)*+)")re", AddressDecoding::kJson, {}},
      },
  };
  return table;
}

}  // namespace

const std::vector<RuleText>& BuiltInRuleTexts(int siteIndex) {
  static const std::vector<RuleText> none;
  return IsSiteIndex(siteIndex) ? Table()[static_cast<size_t>(siteIndex)] : none;
}

SiteRules BuiltInRules(int siteIndex) {
  SiteRules site;
  const std::vector<RuleText>& texts = BuiltInRuleTexts(siteIndex);
  for (size_t n = 0; n < texts.size(); ++n) {
    const std::string name =
        "built-in rule " + std::to_string(n + 1) + " for " + SiteLabel(siteIndex);
    std::string error;
    std::optional<RegexPattern> expression = CompileRuleExpression(texts[n].expression, error);
    if (!expression) throw std::logic_error(name + ": " + error);
    AddressRule rule{std::move(*expression), texts[n].decoding, {}, name, {}};
    for (size_t m = 0; m < texts[n].exclusions.size(); ++m) {
      std::optional<RegexPattern> exclusion = CompileExclusion(texts[n].exclusions[m], error);
      if (!exclusion) throw std::logic_error(name + ", exclusion " + std::to_string(m + 1));
      rule.exclusions.push_back(std::move(*exclusion));
      rule.exclusionNames.push_back(name + ", exclusion " + std::to_string(m + 1));
    }
    site.rules.push_back(std::move(rule));
  }
  return site;
}

std::string BuiltInRulesFileText() {
  std::string text = "; The built-in rules, written as a rules file.\n";
  for (int site = 0; site < kSiteCount; ++site) {
    text += "\n[" + SiteLabel(site) + "]\n";
    const std::vector<RuleText>& rules = BuiltInRuleTexts(site);
    for (size_t n = 0; n < rules.size(); ++n) {
      text += RuleKey(n + 1) + "=" + rules[n].expression + "\n";
      text += DecodingKey(n + 1) + "=" + AddressDecodingName(rules[n].decoding) + "\n";
      for (size_t m = 0; m < rules[n].exclusions.size(); ++m) {
        text += ExclusionKey(n + 1, m + 1) + "=" + rules[n].exclusions[m] + "\n";
      }
    }
  }
  return text;
}

}  // namespace pixhaul
