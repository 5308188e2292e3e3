// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// pixhaul-cli: the headless front end. It performs the run of the "Start download" button on
// a saved result page or a page address, with the console as the window (see --help).
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_window.h"
#include "cli/line_printer.h"
#include "cli/page_source.h"
#include "cli/stop_signals.h"
#include "cli/test_hooks.h"
#include "download/Unitdowntile.h"
#include "download/download_client.h"
#include "download/page_markup.h"
#include "download/process_end.h"
#include "download/run_controller.h"
#include "download/run_outcome.h"
#include "download/run_preparation.h"
#include "download/run_texts.h"
#include "framework/build_info.h"
#include "framework/file_utils.h"
#include "framework/message_pump.h"
#include "framework/program_layout.h"
#include "framework/replacement_file.h"
#include "framework/thread.h"
#include "framework/visible_text.h"
#include "framework/worker_drain.h"
#include "harvest/rule_book.h"
#include "http/socket/tcp_connection.h"

namespace pixhaul::cli {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDownloadFailed = 3;  // the run ran, and at least one download failed
constexpr int kExitInterrupted = 130;   // a signal stopped the run or ended the program at once

// The wait, scaled with the test setting of the I/O time limits as the trickle rule is.
DrainLimit WorkerDrainLimit(const TestHooks& hooks) {
  const DrainLimit limit = kDrainLimitAfterRun;
  if (!hooks.ioTimeoutMs) return limit;
  return limit * *hooks.ioTimeoutMs / kDefaultReadTimeoutMs;
}

void PrintError(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

// The folder of this program's executable, with a trailing "/"; empty when it cannot be told.
std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return "";
  path.resize(static_cast<size_t>(length));
  return ExtractFilePath(path);
}

// The "web view" of the console: the page is opened (or fetched) when the run captures it. A
// page that cannot be had counts as no document; the reason is shown first.
ConsoleRunWindow::Capture PageCapture(const std::string& page, uint64_t fileLimit) {
  return [page, fileLimit]() -> std::optional<PageMarkup> {
    try {
      return ReadPage(page, fileLimit);
    } catch (const std::exception& e) {
      PrintError(e.what());
      return std::nullopt;
    }
  };
}

// Folder, page file and address list exactly as a run makes them; the addresses go to
// standard output as url_list.txt holds them.
int ListOnly(const CliOptions& options, const TestHooks& hooks) {
  // No downloads: a signal ends the program at any moment.
  StopSignalWatcher signals(nullptr, [] { ExitAtOnce(kExitInterrupted); });
  // Its message boxes and the note on the list's source go to standard error; its log pane is
  // left alone.
  ConsoleRunWindow window(
      options.saveFolder, options.site,
      PageCapture(options.page, hooks.pageLimitBytes.value_or(kMaxPageFileBytes)));
  RuleBook rules;
  const RulesFileLocation rulesFile = RulesFileFor(options, ProgramFolder());
  const std::optional<PreparedRun> prepared = PrepareRun(
      window, rules, [&rulesFile] { return rulesFile; }, StepLines::kSilent);
  if (!prepared) return kExitFailed;
  // Streamed as the page was: a list of any length costs one small buffer.
  errno = 0;
  PrintFileLines(prepared->folder.File(kListFileName), stdout);
  const bool flushed = std::fflush(stdout) == 0;
  const int writeError = errno;
  // The list is the product: a list that did not reach its reader is a failure, unless the
  // reader took what it wanted and went away (`| head -1`).
  if (!flushed || std::ferror(stdout)) {
    if (writeError == EPIPE) return kExitDone;
    PrintError(std::string("pixhaul-cli: cannot write standard output: ") +
               std::strerror(writeError));
    return kExitFailed;
  }
  // A message shown here names the rules' faults; the list stands, but the exit code says so.
  return window.MessageShown() ? kExitFailed : kExitDone;
}

// The addresses whose download failed or was not an image, one a line (LF), for the user's
// scripts; images left out by the filters are the user's choice and not listed. False, with
// the reason on standard error, when the file cannot be written.
bool WriteFailedList(const std::string& path, const TRunController& controller) {
  std::string text;
  for (const WorkerEnd& end : controller.NotSaved()) {
    if (end.result == WorkerResult::kFailed || end.result == WorkerResult::kNotImage)
      text += end.url + "\n";
  }
  try {
    ReplacementFile file(path);
    file.Write(text);
    file.Commit();
    return true;
  } catch (const std::exception& e) {
    PrintError(e.what());
    return false;
  }
}

int Run(const CliOptions& options, const TestHooks& hooks) {
  ConsoleRunWindow window(
      options.saveFolder, options.site,
      PageCapture(options.page, hooks.pageLimitBytes.value_or(kMaxPageFileBytes)));
  int exitCode = kExitDone;
  {
    TRunController controller(window, hooks.timings);
    const RulesFileLocation rulesFile = RulesFileFor(options, ProgramFolder());
    controller.SetRulesFile([rulesFile] { return rulesFile; });
    controller.SetRunOptions(options.run);
    // While the downloads are on, the first signal is the Stop press. Before they start (the
    // page is fetched, copied and scanned), once the press is taken and once the run is over,
    // a signal ends the program at once, whatever the main thread is doing.
    StopSignalWatcher signals(
        [&] {
          // The run may have closed since the signal took the press.
          if (!controller.ShowsStop()) ExitAtOnce(kExitInterrupted);
          controller.ButtonStartClick();
        },
        [] { ExitAtOnce(kExitInterrupted); });
    window.OnCaptionChange([&signals, &controller](const std::string&) {
      signals.OfferStopPress(controller.ShowsStop());
    });

    try {
      controller.ButtonStartClick();
    } catch (const std::exception& e) {
      PrintError(e.what());
      exitCode = kExitFailed;
    }
    if (window.MessageShown()) exitCode = kExitFailed;
    signals.OfferStopPress(false);

    // Let every worker finish its download and hand-offs; their lines are dropped now. The
    // thread objects delete themselves right after their last hand-off.
    DrainWorkersOrAbandon(
        [&] { return controller.OutstandingWorkers() <= 0 && TThread::LiveThreadObjects() == 0; },
        WorkerDrainLimit(hooks), "pixhaul-cli", kExitFailed);

    // A run that got as far as its downloads ends standard error with its outcome, late
    // results included.
    if (controller.RunNumber() > 0) {
      const RunProgress& outcome = controller.Progress();
      window.WriteErrorLine(OutcomeText(outcome));
      if (exitCode == kExitDone && outcome.stopped) exitCode = kExitInterrupted;
      if (exitCode == kExitDone && outcome.failed + outcome.notImages > 0)
        exitCode = kExitDownloadFailed;
      if (!options.failedList.empty() && !WriteFailedList(options.failedList, controller))
        exitCode = kExitFailed;
    }
  }
  return exitCode;
}

int Main(int argc, char** argv) {
  // A reader of standard output that goes away (`pixhaul-cli ... | head -1`) makes writes fail
  // instead of ending the run, which finishes and writes its files.
  std::signal(SIGPIPE, SIG_IGN);
  IgnoreFileSizeSignal();
  const ParseResult parsed =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), HomeFolder());
  if (parsed.kind == ParseResult::Kind::kHelp) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitDone;
  }
  if (parsed.kind == ParseResult::Kind::kHelpRules) {
    std::fputs(RulesHelpText().c_str(), stdout);
    return kExitDone;
  }
  if (parsed.kind == ParseResult::Kind::kVersion) {
    std::printf("%s\n", kVersionText);
    return kExitDone;
  }
  if (parsed.kind == ParseResult::Kind::kUsageError) {
    std::fprintf(stderr, "pixhaul-cli: %s\n%s", parsed.error.c_str(), UsageText().c_str());
    return kExitUsage;
  }

  std::string hookError;
  const std::optional<TestHooks> hooks =
      ParseTestHooks(std::getenv("PIXHAUL_TEST_TIMINGS"), std::getenv("PIXHAUL_TEST_IO_TIMEOUT_MS"),
                     std::getenv("PIXHAUL_TEST_PAGE_LIMIT_BYTES"), hookError);
  if (!hooks) {
    std::fprintf(stderr, "pixhaul-cli: %s\n%s", hookError.c_str(), UsageText().c_str());
    return kExitUsage;
  }
  if (hooks->ioTimeoutMs) {
    TIdTCPConnection::SetDefaultTimeouts(*hooks->ioTimeoutMs, *hooks->ioTimeoutMs);
  }

  // For the page's fetch and every image's alike.
  DownloadClient::SetVerifyServerCertificates(parsed.options.verifyTls);
  DownloadClient::SetProxyChoice(ProxyChoiceFor(parsed.options));

  try {
    if (parsed.options.listOnly) return ListOnly(parsed.options, *hooks);
    return Run(parsed.options, *hooks);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitFailed;
  }
}

}  // namespace
}  // namespace pixhaul::cli

int main(int argc, char** argv) { return pixhaul::cli::Main(argc, argv); }
