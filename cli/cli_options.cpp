// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/cli_options.h"

#include "download/save_folder.h"
#include "framework/ascii_text.h"
#include "framework/program_layout.h"
#include "harvest/built_in_rules.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace pixhaul::cli {

namespace {

// A site's short name or its index, e.g. "google" or "1".
bool ParseSite(const std::string& text, int& site) {
  for (int i = 0; i < kSiteCount; ++i) {
    if (text == SiteName(i) || text == std::to_string(i)) {
      site = i;
      return true;
    }
  }
  return false;
}

// "bing|google|baidu|0|1|2"
std::string SiteChoices() {
  std::string names, indexes;
  for (int i = 0; i < kSiteCount; ++i) {
    names += SiteName(i) + "|";
    indexes += (i > 0 ? "|" : "") + std::to_string(i);
  }
  return names + indexes;
}

// "bing (0), google (1) or baidu (2)"
std::string SiteNamesWithIndexes() {
  std::string text;
  for (int i = 0; i < kSiteCount; ++i) {
    if (i > 0) text += i + 1 < kSiteCount ? ", " : " or ";
    text += SiteName(i) + " (" + std::to_string(i) + ")";
  }
  return text;
}

// "www.bing.com, images.google.com, image.baidu.com"
std::string SiteLabels() {
  std::string text;
  for (int i = 0; i < kSiteCount; ++i) text += (i > 0 ? ", " : "") + SiteLabel(i);
  return text;
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
      } else if (argument == "--version" && !inlineValue) {
        result.kind = ParseResult::Kind::kVersion;
        return result;
      } else if (argument == "--list-only" && !inlineValue) {
        result.options.listOnly = true;
      } else if (argument == "--verify-tls" && !inlineValue) {
        result.options.verifyTls = true;
      } else if (argument == "--site") {
        std::string site;
        if (!takeValue(site)) return UsageError("--site needs a value");
        if (!ParseSite(site, result.options.site)) return UsageError("unknown site '" + site + "'");
      } else if (argument == "--save-dir") {
        if (!takeValue(result.options.saveFolder)) return UsageError("--save-dir needs a value");
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

std::string UsageText() {
  return "usage: pixhaul-cli [--site " + SiteChoices() +
         "] [--save-dir DIR] [--rules FILE] [--list-only]\n"
         "                   [--verify-tls] PAGE\n"
         "       pixhaul-cli --help\n"
         "       pixhaul-cli --version\n";
}

std::string HelpText() {
  return UsageText() +
         "\n"
         "Downloads the images that a saved image-search result page lists.\n"
         "\n"
         "  PAGE            a saved result page, or an http:// or https:// address to fetch it\n"
         "  --site SITE     the site the page comes from, which picks how addresses are found:\n"
         "                  " +
         SiteNamesWithIndexes() + " (default: " + SiteName(0) +
         ")\n"
         "  --save-dir DIR  the save folder, created when missing, one level only\n"
         "                  (default: $HOME/" +
         kDefaultSaveFolderName +
         ")\n"
         "  --rules FILE    the current-layout rules file to use (default: rules.ini in the\n"
         "                  settings folder, ini/ beside the program or ~/.config/pixhaul/\n"
         "                  once installed, when it is there)\n"
         "  --list-only     write result_content.txt and url_list.txt, print the addresses,\n"
         "                  download nothing (default: off, the images are downloaded)\n"
         "  --verify-tls    verify the certificate of every https server, for the page and the\n"
         "                  images, against the system's trust store and the host name; one\n"
         "                  that fails ends that fetch with \"Certificate verify failed: ...\"\n"
         "                  (default: off, certificates are NOT verified, so an https fetch\n"
         "                  is encrypted but a server pretending to be another goes unnoticed)\n"
         "  --help          show this text and exit\n"
         "  --version       show the program's version and exit\n"
         "\n"
         "The run log goes to standard output and to log.txt in the save folder. When standard\n"
         "error is a terminal, a progress line there shows how far the run has come. SIGINT or\n"
         "SIGTERM stops a run's downloads the way the Stop button does; before they start, and\n"
         "a second time, it ends the program at once (exit status 130). A page file over 1 GiB\n"
         "is refused. Exit status: 0 done, 1 the run could not be made, the rules file has a\n"
         "fault or downloads still ran 10 minutes after the run, 2 bad command line.\n"
         "\n"
         "Addresses are found with the site's marker. On a page where the marker finds none,\n"
         "the site's current-layout rules apply: each rule is a regular expression (Perl\n"
         "syntax, on the page's bytes) whose one capture group is an image address. The rules\n"
         "are tried in order and the first that finds any address gives the whole list; the\n"
         "addresses are decoded by the rule's decoding, those not starting with http:// or\n"
         "https:// or matching one of the rule's exclusions are left out, and repeats are\n"
         "dropped. Standard error then says that the rules gave the list.\n"
         "\n"
         "A rules file replaces the built-in rules of the sites it names, one section per site\n"
         "(" +
         SiteLabels() +
         "). In a section, RuleN is an\n"
         "expression, DecodingN its decoding (none, the default; html for character\n"
         "references such as &amp;; json for escapes such as \\/ and \\u0026) and ExcludeN.M\n"
         "its exclusions, numbered 1, 2, 3... without gaps. A value is the rest of its line,\n"
         "blanks at both ends dropped, at most 2046 characters; lines starting with ';' are\n"
         "comments. A section with a fault (an invalid expression or decoding, a key that is\n"
         "unknown, missing or given twice), or a rule that stops at the regular-expression\n"
         "engine's limits on a page, is reported on standard error, its site keeps the\n"
         "built-in rules, and the exit status is 1. A match may be at most " +
         std::to_string(kMaxMatchBytes / 1024) +
         " KiB long.\n"
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
