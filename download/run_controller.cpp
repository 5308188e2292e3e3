#include "download/run_controller.h"

#include <chrono>
#include <string>
#include <thread>

#include "download/Unitdowntile.h"
#include "download/file_naming.h"
#include "download/save_folder.h"
#include "framework/file_utils.h"
#include "framework/leftover_files.h"
#include "framework/message_pump.h"
#include "framework/replacement_file.h"
#include "framework/string_list.h"
#include "framework/worker_drain.h"
#include "harvest/image_url_harvest.h"

namespace pixhaul {

namespace {

constexpr const char* kStartCaption = "Start download";
constexpr const char* kStopCaption = "Stop";
constexpr const char* kNoDocumentMessage = "Error: can not get document.";

constexpr const char* kPageFileName = "result_content.txt";
constexpr const char* kListFileName = "url_list.txt";
constexpr const char* kLogFileName = "log.txt";

}  // namespace

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TRunController::TRunController(RunWindow& window, ThrottleTimings timings)
    : window_(window), timings_(timings) {
  starter_ = [this](const std::string& url, const std::string& fileName, int index,
                    const std::string& saveFolder) {
    StartDownTileThread(url, fileName, index, saveFolder, *this);
  };
}

TRunController::~TRunController() {
  // A worker's hand-offs call into this object, so it cannot go while one can still come: the
  // wait has no limit here. Workers end by themselves (every network wait has a time limit),
  // and the front ends bound their own waits before this one, ending the process instead when
  // workers outlive them.
  WaitForWorkersToDrain([this] { return outstandingWorkers_ <= 0; }, kDrainWithoutLimit);
}

void TRunController::ButtonStartClick() {
  if (window_.ButtonCaption() == kStartCaption) {
    // A stopped run still closing keeps its button disabled; a press that reaches us anyway
    // must not start a run nested inside it and reset the count under its live workers.
    if (runActive_) return;
    StartPath();
  } else {
    StopPath();
  }
}

void TRunController::StartPath() {
  const std::string folderText = window_.SaveFolderText();
  const std::optional<std::string> prepared = PrepareSaveFolder(folderText);
  if (!prepared) {
    window_.ShowMessage(CreateDirectoryFailedMessage(folderText));
    return;
  }
  const std::string& folder = *prepared;
  // Temporary files that processes cut off before they could clean up left in the folder.
  RemoveLeftoverTemporaryFiles(folder);

  window_.ClearLog();
  window_.ShowListSource("");
  Log("Log:");
  Log("Start to get the search result... please wait...");
  Log("");

  std::optional<PageMarkup> markup = window_.CapturePageMarkup();
  if (!markup) {
    window_.ShowMessage(kNoDocumentMessage);
    return;
  }
  Log("Successful to get the search result.");
  Log("");

  const std::string pageFile = folder + kPageFileName;
  const std::string listFile = folder + kListFileName;
  // Written as the single entry of a line list is saved, without another copy of the page;
  // the run needs only the file from here on.
  markup->SaveToFile(pageFile);
  markup.reset();
  Log("Now to get the url list...");
  Log("");

  const int count = MakeUrlList(pageFile, listFile);
  Log("Got the url list successfully.");
  Log("");
  Log("Total url count:" + std::to_string(count));
  Log("");
  Log("Now start to download these images.");
  Log("");

  window_.SetButtonCaption(kStopCaption);
  stopRequested_ = false;
  runFinished_ = false;
  liveWorkerCount_ = 0;
  runActive_ = true;

  // A framework error ends the press where it happens. The caption and flags stay as they
  // are, but the run is no longer on the stack: a later stop press must not disable the
  // button waiting for closing steps that will never come, and a disabled one comes back.
  struct ActiveRunGuard {
    TRunController& self;
    ~ActiveRunGuard() {
      self.runActive_ = false;
      if (self.progress_.active) {
        self.progress_.active = false;
        self.ReportProgress();
      }
      if (self.buttonDisabled_) {
        self.buttonDisabled_ = false;
        self.window_.SetButtonEnabled(true);
      }
    }
  } guard{*this};

  TStringList urls;
  urls.LoadFromFile(listFile);
  ++runNumber_;
  progress_ = RunProgress{};
  progress_.addresses = urls.Count();
  progress_.active = true;
  ReportProgress();
  MessagePump& pump = CurrentMessagePump();
  for (int i = 0; i < urls.Count(); ++i) {
    pump.ProcessMessages();
    if (stopRequested_) break;
    const std::string url = urls.Get(i);
    const std::string fileName = FileNameFromUrl(url);
    // A temporary file of a download in progress (or of one cut off) is no image.
    if (FileExists(folder + fileName) && !TemporaryFileOwner(fileName)) {
      ++progress_.skipped;
      ReportProgress();
      continue;
    }
    starter_(url, fileName, i, folder);
    ++outstandingWorkers_;
    ++liveWorkerCount_;
    ++progress_.started;
    ReportProgress();
    // Deliberately not pumping: this spaces the starts, and hand-offs wait until the next pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(timings_.startPauseMs));
    while (liveWorkerCount_ > timings_.liveWorkerLimit) WaitWithMessages(timings_.throttlePauseMs);
  }

  WaitWithMessages(timings_.graceMs);
  Log("");
  Log("All images downloaded, task finished.");
  {
    // Saved as a line list saves, through a file that takes the log's name only when complete.
    TStringList log;
    for (const std::string& line : window_.LogLines()) log.Add(line);
    ReplacementFile file(folder + kLogFileName);
    file.Write(log.Text());
    file.Commit();
  }

  runFinished_ = true;
  window_.SetButtonCaption(kStartCaption);
  // The guard ends the active run and re-enables a button that a stop disabled.
}

// The site's marker scan, or its current-layout rules when the marker finds nothing. Faults of
// the rules file (when it has changed) and rules that stopped at the engine's limits are shown
// together in one message box; the list stands either way.
int TRunController::MakeUrlList(const std::string& pageFile, const std::string& listFile) {
  std::vector<std::string> problems =
      rules_.Refresh(rulesFile_ ? rulesFile_() : RulesFileLocation{});
  const int site = window_.CurrentSite();
  HarvestResult harvest = HarvestImageUrls(pageFile, listFile, site, rules_);
  problems.insert(problems.end(), harvest.problems.begin(), harvest.problems.end());
  if (!problems.empty()) {
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + problem;
    window_.ShowMessage(text);
  }
  if (harvest.byRules) window_.ShowListSource(RulesListNote(site));
  return harvest.count;
}

void TRunController::StopPath() {
  Log("");
  Log("Task will be terminated by user. please wait some seconds...");
  Log("");
  WaitWithMessages(timings_.stopWaitMs);
  window_.SetButtonCaption(kStartCaption);
  stopRequested_ = true;
  if (runActive_ && !buttonDisabled_) {
    buttonDisabled_ = true;
    window_.SetButtonEnabled(false);
  }
}

void TRunController::AppendWorkerLine(const std::string& line) {
  if (stopRequested_ || runFinished_) return;
  Log(line);
}

void TRunController::WorkerFinished(unsigned run, bool saved) {
  --liveWorkerCount_;
  --outstandingWorkers_;
  // Counted while its own run is on; a worker that ends after its run has no run to count in.
  if (run == runNumber_ && progress_.active) {
    ++(saved ? progress_.saved : progress_.failed);
    ReportProgress();
  }
}

void TRunController::WaitWithMessages(unsigned milliseconds) {
  MessagePump& pump = CurrentMessagePump();
  const uint32_t start = TickCount();
  for (;;) {
    uint32_t elapsed = TickElapsed(start, TickCount());
    if (elapsed >= milliseconds) return;
    pump.ProcessMessages();
    elapsed = TickElapsed(start, TickCount());
    if (elapsed >= milliseconds) return;
    // Sleep until something is pending or the wait is over, instead of spinning.
    pump.WaitForMessages(MessagePump::Clock::now() +
                         std::chrono::milliseconds(milliseconds - elapsed));
  }
}

}  // namespace pixhaul
