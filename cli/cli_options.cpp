// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/cli_options.h"

#include <optional>

#include "download/retry_policy.h"
#include "download/save_folder.h"
#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "framework/program_layout.h"
#include "harvest/rules_file.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace pixhaul::cli {

namespace {

// A site's short name or its index, e.g. "google" or "1".
bool ParseSite(const std::string& text, SiteId& site) {
  for (const SiteId candidate : AllSites()) {
    if (text == SiteName(candidate) || text == std::to_string(candidate.Row())) {
      site = candidate;
      return true;
    }
  }
  return false;
}

// "bing|google|baidu|0|1|2"
std::string SiteChoices() {
  std::string names, indexes;
  for (const SiteId site : AllSites()) {
    names += SiteName(site) + "|";
    indexes += (site.Row() > 0 ? "|" : "") + std::to_string(site.Row());
  }
  return names + indexes;
}

// "bing (0), google (1) or baidu (2)"
std::string SiteNamesWithIndexes() {
  std::string text;
  for (const SiteId site : AllSites()) {
    const int row = site.Row();
    if (row > 0) text += row + 1 < kSiteCount ? ", " : " or ";
    text += SiteName(site) + " (" + std::to_string(row) + ")";
  }
  return text;
}

// "www.bing.com, images.google.com, image.baidu.com"
std::string SiteLabels() {
  std::string text;
  for (const SiteId site : AllSites()) text += (site.Row() > 0 ? ", " : "") + SiteLabel(site);
  return text;
}

// A decimal count from 0 to `most`.
std::optional<int> ParseCount(const std::string& text, int most) {
  const std::optional<int64_t> value = ParseUnsignedDecimal(text);
  if (!value || *value > most) return std::nullopt;
  return static_cast<int>(*value);
}

ParseResult UsageError(std::string error) {
  ParseResult result;
  result.kind = ParseResult::Kind::kUsageError;
  result.error = std::move(error);
  return result;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& homeFolder) {
  ParseResult result;
  result.kind = ParseResult::Kind::kRun;
  result.options.saveFolder = DefaultSaveFolder(homeFolder);
  bool havePage = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--") {
        optionsEnded = true;
        continue;
      }
      // "--name=value" is the same as "--name value".
      std::string value;
      bool inlineValue = false;
      const size_t equals = argument.find('=');
      if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
        value = argument.substr(equals + 1);
        argument.resize(equals);
        inlineValue = true;
      }
      const auto takeValue = [&](std::string& out) {
        if (inlineValue) {
          out = value;
          return true;
        }
        if (i + 1 >= arguments.size()) return false;
        out = arguments[++i];
        return true;
      };
      if (argument == "--help" && !inlineValue) {
        result.kind = ParseResult::Kind::kHelp;
        return result;
      } else if (argument == "--help-rules" && !inlineValue) {
        result.kind = ParseResult::Kind::kHelpRules;
        return result;
      } else if (argument == "--version" && !inlineValue) {
        result.kind = ParseResult::Kind::kVersion;
        return result;
      } else if (argument == "--list-only" && !inlineValue) {
        result.options.listOnly = true;
      } else if (argument == "--verify-tls" && !inlineValue) {
        result.options.verifyTls = true;
      } else if (argument == "--skip-duplicates" && !inlineValue) {
        result.options.run.filters.skipDuplicates = true;
      } else if (argument == "--min-size") {
        std::string size;
        const auto minimum = takeValue(size) ? ParseMinimumSize(size) : std::nullopt;
        if (!minimum) return UsageError("--min-size needs WIDTHxHEIGHT, such as 200x200");
        result.options.run.filters.minWidth = minimum->first;
        result.options.run.filters.minHeight = minimum->second;
      } else if (argument == "--max-images" || argument == "--retries") {
        const bool retries = argument == "--retries";
        std::string text;
        const int most = retries ? kMaxRetries : kMaxImagesLimit;
        const auto number = takeValue(text) ? ParseCount(text, most) : std::nullopt;
        if (!number)
          return UsageError(argument + " needs a number from 0 to " + std::to_string(most));
        (retries ? result.options.run.retries : result.options.run.maxImages) = *number;
      } else if (argument == "--failed-list") {
        if (!takeValue(result.options.failedList) || result.options.failedList.empty()) {
          return UsageError("--failed-list needs a file");
        }
      } else if (argument == "--site") {
        std::string site;
        if (!takeValue(site)) return UsageError("--site needs a value");
        if (!ParseSite(site, result.options.site)) return UsageError("unknown site '" + site + "'");
      } else if (argument == "--save-dir") {
        if (!takeValue(result.options.saveFolder)) return UsageError("--save-dir needs a value");
      } else if (argument == "--proxy") {
        if (!takeValue(result.options.proxy) || result.options.proxy.empty()) {
          return UsageError("--proxy needs an address or none");
        }
        if (result.options.proxy != "none" && !ParseProxyAddress(result.options.proxy)) {
          return UsageError("--proxy: not a proxy address '" + result.options.proxy + "'");
        }
      } else if (argument == "--rules") {
        if (!takeValue(result.options.rulesFile) || result.options.rulesFile.empty()) {
          return UsageError("--rules needs a file");
        }
      } else {
        return UsageError("unknown option '" + arguments[i] + "'");
      }
      continue;
    }
    if (havePage) return UsageError("more than one PAGE given");
    result.options.page = argument;
    havePage = true;
  }
  if (!havePage) return UsageError("no PAGE given");
  return result;
}

ProxyChoice ProxyChoiceFor(const CliOptions& options, const EnvironmentReader& environment) {
  if (options.proxy.empty()) return ProxyChoice::FromEnvironment(environment);
  if (options.proxy == "none") return ProxyChoice::None();
  return ProxyChoice::Fixed(*ParseProxyAddress(options.proxy), environment);
}

std::string UsageText() {
  return "usage: pixhaul-cli [--site " + SiteChoices() +
         "] [--save-dir DIR]\n"
         "                   [--rules FILE] [--list-only] [--verify-tls]\n"
         "                   [--min-size WxH] [--skip-duplicates] [--max-images N]\n"
         "                   [--retries N] [--failed-list FILE] [--proxy URL|none] PAGE\n"
         "       pixhaul-cli --help\n"
         "       pixhaul-cli --help-rules\n"
         "       pixhaul-cli --version\n";
}

std::string HelpText() {
  // Kept to one screen: the rules file's format is in RulesHelpText and the manual page.
  return UsageText() +
         "\n"
         "Downloads the images that a saved image-search result page lists.\n"
         "PAGE is read as it stands: unlike the window, it loads no more results into it.\n"
         "\n"
         "  PAGE            a saved result page, or an http:// or https:// address\n"
         "  --site SITE     the site the page comes from, which picks how addresses are\n"
         "                  found: " +
         SiteNamesWithIndexes() + " (default: " + SiteName(AllSites()[0]) +
         ")\n"
         "  --save-dir DIR  the save folder, created when missing, one level only\n"
         "                  (default: $HOME/" +
         kDefaultSaveFolderName +
         ")\n"
         "  --rules FILE    the current-layout rules file (default: rules.ini in the\n"
         "                  settings folder: ini/ beside the program, ~/.config/pixhaul/)\n"
         "  --list-only     write result_content.txt and url_list.txt, print the\n"
         "                  addresses, download nothing\n"
         "  --verify-tls    verify https servers' certificates against the system's trust\n"
         "                  store and the host name (default: off, NOT verified)\n"
         "  --min-size WxH  do not keep images smaller than W by H pixels, read from their\n"
         "                  header (default: 0x0, keep all)\n"
         "  --skip-duplicates  do not keep an image whose bytes are those of one already\n"
         "                  saved in the run or in the save folder\n"
         "  --max-images N  end with N images: start no more downloads once the images\n"
         "                  saved or already in the folder and those running reach N\n"
         "                  (default: 0, every address)\n"
         "  --retries N     try a download that failed for a passing reason (reset,\n"
         "                  time-out, 408, 429, 5xx but 501) up to N times more, waiting\n"
         "                  1 s, 2 s, 4 s... or as Retry-After says (default: 0)\n"
         "  --failed-list FILE  write the addresses not saved to FILE, one a line\n"
         "  --proxy URL     fetch through this proxy: http://[user:password@]host:port,\n"
         "                  socks5://... (names resolved here) or socks5h://... (by the\n"
         "                  proxy); none for none (default: http_proxy, https_proxy,\n"
         "                  all_proxy and no_proxy, read as curl reads them)\n"
         "  --help-rules    show the rules file's format and the built-in rules, and exit\n"
         "  --help, --version  show this text, or the program's version, and exit\n"
         "\n"
         "A page served for an image (HTML, JSON, XML) is never kept as one. Running the\n"
         "same PAGE again fetches only what is not yet in the save folder.\n"
         "The run log goes to standard output and to log.txt in the save folder; standard\n"
         "error ends with a summary such as \"Finished: 33 saved, 3 failed, 0 skipped\".\n"
         "SIGINT, SIGTERM or SIGHUP stops the downloads as the Stop button does; before\n"
         "they start, and a second time, it ends the program at once.\n"
         "Exit status: 0 every address saved or skipped; 1 the run could not be made, the\n"
         "rules file has a fault or downloads still ran 10 minutes after the run; 2 bad\n"
         "command line; 3 at least one download failed or was not an image; 130 stopped\n"
         "by a signal.\n"
         "The rules file and the built-in rules: pixhaul-cli --help-rules and the manual\n"
         "page (man pixhaul-cli).\n";
}

std::string RulesHelpText() {
  return "Addresses are found with the site's marker first. Its list stands when at least one\n"
         "entry it cut begins with http:// or https://. Otherwise (no entry at all, or only\n"
         "script text and entries without a scheme, as on the sites' pages of today) the\n"
         "site's current-layout rules apply: each rule is a regular expression (Perl syntax,\n"
         "on the page's bytes) whose one capture group is an image address. The rules are\n"
         "tried in order and the first that finds any address gives the whole list, in place\n"
         "of the marker's; the addresses are decoded by the rule's decoding, those not\n"
         "starting with http:// or https:// and a host, or matching one of the rule's\n"
         "exclusions, are left out, and repeats are dropped. Standard error then says that the\n"
         "rules gave the list. When no rule finds an address, the marker's list is kept.\n"
         "\n"
         "A rules file replaces the built-in rules of the sites it names, one section per site\n"
         "(" +
         SiteLabels() +
         "). In a section, RuleN is an\n"
         "expression, DecodingN its decoding (none, the default; html for character\n"
         "references such as &amp;; json for escapes such as \\/ and \\u0026; baidu for\n"
         "Baidu's enciphered objURL values: json first, then a value that does not begin with\n"
         "http:// or https:// is deciphered, _z2C$q, _z&e3B and AzdH3F becoming :, . and /\n"
         "and then each letter and digit by Baidu's table, w to a, k to b ... a to 0) and\n"
         "ExcludeN.M its exclusions, numbered 1, 2, 3... without gaps, at most 64 rules a site\n"
         "and 64 exclusions a rule. A value is the rest of its line, blanks at both ends\n"
         "dropped, at most 2046 characters; lines starting with ';' are comments. A section\n"
         "with a fault (an invalid expression or decoding, a key that is unknown, missing or\n"
         "given twice, too many rules or exclusions), or a rule that stops at the\n"
         "regular-expression engine's limits on a page, is reported on standard error, its\n"
         "site keeps the built-in rules, and the exit status is 1. So is a rule still running\n"
         "when the site's rules have taken " +
         std::to_string(kRulesPassTimeLimit.count() / 1000) +
         " s on a page, their time limit (the built-in\n"
         "rules then have as long again). The file must be a regular file of at most 1 MiB\n"
         "whose expressions take at most 16 MiB compiled; otherwise every site keeps its\n"
         "built-in rules. A match may be at most " +
         std::to_string(kMaxMatchBytes / 1024) +
         " KiB long, and each try of an expression\n"
         "sees only a little more than that of the page from where it starts.\n"
         "\n"
         "The built-in rules, as a rules file would hold them:\n"
         "\n" +
         BuiltInRulesFileText();
}

RulesFileLocation RulesFileFor(const CliOptions& options, const std::string& programFolder) {
  if (!options.rulesFile.empty()) return {options.rulesFile, true};
  if (programFolder.empty()) return {};
  return {RulesFileBesideSettings(SettingsFolder(programFolder) + "config.ini"), false};
}

bool IsWebAddress(const std::string& page) {
  return StartsWithText(page, "http://") || StartsWithText(page, "https://");
}

}  // namespace pixhaul::cli
