// pixhaul-cli: the headless front end. It performs the run of the "Start download" button on
// a saved result page or a page address, with the console as the window (see --help).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
#include "download/run_controller.h"
#include "download/save_folder.h"
#include "framework/build_info.h"
#include "framework/file_utils.h"
#include "framework/message_pump.h"
#include "framework/program_layout.h"
#include "framework/thread.h"
#include "harvest/image_url_harvest.h"
#include "harvest/rule_book.h"
#include "http/tcp_connection.h"

namespace pixhaul::cli {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // a second stop signal ended the program at once

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
ConsoleRunWindow::Capture PageCapture(const std::string& page) {
  return [page]() -> std::optional<PageMarkup> {
    try {
      return ReadPage(page);
    } catch (const std::exception& e) {
      PrintError(e.what());
      return std::nullopt;
    }
  };
}

// Folder, page file and address list exactly as a run makes them; the addresses go to
// standard output as url_list.txt holds them.
int ListOnly(const CliOptions& options) {
  const std::optional<std::string> folder = PrepareSaveFolder(options.saveFolder);
  if (!folder) {
    PrintError(CreateDirectoryFailedMessage(options.saveFolder));
    return kExitFailed;
  }
  std::optional<PageMarkup> markup = PageCapture(options.page)();
  if (!markup) {
    PrintError("Error: can not get document.");
    return kExitFailed;
  }
  const std::string pageFile = *folder + "result_content.txt";
  const std::string listFile = *folder + "url_list.txt";
  markup->SaveToFile(pageFile);
  markup.reset();
  RuleBook rules;
  std::vector<std::string> problems = rules.Refresh(RulesFileFor(options, ProgramFolder()));
  const HarvestResult harvest = HarvestImageUrls(pageFile, listFile, options.site, rules);
  problems.insert(problems.end(), harvest.problems.begin(), harvest.problems.end());
  for (const std::string& problem : problems) PrintError(problem);
  if (harvest.byRules) {
    PrintError("pixhaul-cli: " + RulesListNote(options.site));
  }
  // Streamed as the page was: a list of any length costs one small buffer.
  PrintFileLines(listFile, stdout);
  std::fflush(stdout);
  return problems.empty() ? kExitDone : kExitFailed;
}

int Run(const CliOptions& options, const ThrottleTimings& timings) {
  ConsoleRunWindow window(options.saveFolder, options.site, PageCapture(options.page));
  int exitCode = kExitDone;
  {
    TRunController controller(window, timings);
    const RulesFileLocation rulesFile = RulesFileFor(options, ProgramFolder());
    controller.SetRulesFile([rulesFile] { return rulesFile; });
    bool stopTaken = false;
    // The first signal is the Stop press; one more, once that is no longer possible or
    // already done, ends the program at once.
    StopSignalWatcher signals([&] {
      if (!stopTaken && window.ButtonCaption() == "Stop") {
        stopTaken = true;
        controller.ButtonStartClick();
        return;
      }
      std::fflush(stdout);
      std::_Exit(kExitInterrupted);
    });

    try {
      controller.ButtonStartClick();
    } catch (const std::exception& e) {
      PrintError(e.what());
      exitCode = kExitFailed;
    }
    if (window.MessageShown()) exitCode = kExitFailed;

    // Let every worker finish its download and hand-offs; their lines are dropped now.
    MessagePump& pump = CurrentMessagePump();
    while (controller.OutstandingWorkers() > 0) {
      pump.ProcessMessages();
      if (controller.OutstandingWorkers() <= 0) break;
      pump.WaitForMessages(MessagePump::Clock::now() + std::chrono::milliseconds(200));
    }
    // The thread objects delete themselves right after their last hand-off.
    while (!TThread::WaitForAllThreadObjects(1000)) {
    }
  }
  return exitCode;
}

int Main(int argc, char** argv) {
  const ParseResult parsed =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), HomeFolder());
  if (parsed.kind == ParseResult::Kind::kHelp) {
    std::fputs(HelpText().c_str(), stdout);
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
  const std::optional<TestHooks> hooks = ParseTestHooks(
      std::getenv("PIXHAUL_TEST_TIMINGS"), std::getenv("PIXHAUL_TEST_IO_TIMEOUT_MS"), hookError);
  if (!hooks) {
    std::fprintf(stderr, "pixhaul-cli: %s\n%s", hookError.c_str(), UsageText().c_str());
    return kExitUsage;
  }
  if (hooks->ioTimeoutMs) {
    TIdTCPConnection::SetDefaultTimeouts(*hooks->ioTimeoutMs, *hooks->ioTimeoutMs);
  }

  try {
    if (parsed.options.listOnly) return ListOnly(parsed.options);
    return Run(parsed.options, hooks->timings);
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitFailed;
  }
}

}  // namespace
}  // namespace pixhaul::cli

int main(int argc, char** argv) { return pixhaul::cli::Main(argc, argv); }
