// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The command line of pixhaul-cli:
//
//   pixhaul-cli [--site bing|google|baidu|0|1|2] [--save-dir DIR] [--rules FILE] [--list-only]
//               [--verify-tls] [--min-size WxH] [--skip-duplicates] [--max-images N]
//               [--retries N] [--failed-list FILE] [--proxy URL|none] PAGE
//   pixhaul-cli --help
//   pixhaul-cli --help-rules
//   pixhaul-cli --version
//
// Parsing is pure: it reads the arguments and the home folder, and touches nothing else.
#pragma once

#include <string>
#include <vector>

#include "download/run_options.h"
#include "harvest/rules_file.h"
#include "harvest/site_table.h"
#include "http/proxy/proxy_choice.h"

namespace pixhaul::cli {

struct CliOptions {
  SiteId site = AllSites()[0];  // the first row of the site table unless --site names one
  std::string saveFolder;       // used as typed, like the window's save-folder text
  bool listOnly = false;
  bool verifyTls = false;  // verify https servers' certificates (off: not verified)
  std::string rulesFile;   // --rules: the rules file to use; empty for the one beside the program
  RunOptions run;          // --min-size, --skip-duplicates, --max-images, --retries
  std::string failedList;  // --failed-list: where the addresses not saved are written
  std::string page;        // a file, or an http:// or https:// address
  // --proxy: empty to read the proxy variables as curl does, "none" for none, else the
  // proxy's address (checked by ParseProxyAddress).
  std::string proxy;
};

// The proxy choice of a run: --proxy's, or the environment's (read through `environment`).
ProxyChoice ProxyChoiceFor(const CliOptions& options,
                           const EnvironmentReader& environment = SystemEnvironment);

struct ParseResult {
  enum class Kind { kRun, kHelp, kHelpRules, kVersion, kUsageError };
  Kind kind = Kind::kUsageError;
  CliOptions options;
  std::string error;  // what was wrong, for a usage error
};

// `arguments` excludes the program name. `homeFolder` gives the default save folder
// (DefaultSaveFolder in download/save_folder.h).
ParseResult ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::string& homeFolder);

// The usage lines; the help text (usage plus what each option does and the exit codes, one
// screen); and how addresses are found, with the rules file's format and the built-in rules.
std::string UsageText();
std::string HelpText();
std::string RulesHelpText();

// The rules file a run reads: the one named with --rules (which must then be there), or else
// rules.ini in the settings folder of the program in `programFolder` (ending with "/"), the
// folder the desktop program keeps config.ini in, if there is one.
RulesFileLocation RulesFileFor(const CliOptions& options, const std::string& programFolder);

// True when `page` begins with "http://" or "https://" in any letter case.
bool IsWebAddress(const std::string& page);

}  // namespace pixhaul::cli
