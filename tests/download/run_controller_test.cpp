// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// The run controller with a fake window, fake workers and lowered timings: the pane and the
// files of whole runs, the folder rules, the throttle, stops and the guarded second press.
#include "download/run_controller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "download/file_naming.h"
#include "download/run_outcome.h"
#include "download/run_texts.h"
#include "download/wrong_site.h"
#include "framework/exception.h"
#include "framework/headless_pump.h"
#include "framework/message_pump.h"
#include "tests/download/fake_run_window.h"
#include "tests/download/fake_workers.h"
#include "tests/harvest/todays_pages.h"
#include "tests/support/sites.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

using namespace std::chrono_literals;

constexpr ThrottleTimings kFast{/*startPauseMs=*/20, /*liveWorkerLimit=*/50,
                                /*throttlePauseMs=*/100, /*graceMs=*/150, /*stopWaitMs=*/100};

const std::vector<std::string> kHeader = {
    "Log:", "Start to get the search result... please wait...",
    "",     "Successful to get the search result.",
    "",     "Now to get the url list...",
    "",     "Got the url list successfully.",
    ""};
const std::vector<std::string> kStopLines = {
    "", "Task will be terminated by user. please wait some seconds...", ""};
const std::vector<std::string> kClosing = {"", "All images downloaded, task finished."};

std::string BingPage(const std::vector<std::string>& urls) {
  std::string page = "<html><body>";
  for (const std::string& url : urls) page += "<a m=\"{a:1}\" imgurl:\"" + url + "\">";
  return page + "</body></html>";
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<std::string> CountLines(int count) {
  return {"Total url count:" + std::to_string(count), "", "Now start to download these images.",
          ""};
}

std::string CrLfJoined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The tick counter counts whole milliseconds, so a wait of n ticks may last a little under
// n ms of the finer steady clock.
constexpr double kTickSlackMs = 1.0;

double MillisSince(SteadyClock::time_point start) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

class RunControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { window.folderText = dir.Path() + "/images"; }

  TempDir dir;
  FakeRunWindow window;
};

TEST_F(RunControllerTest, WholeRunWritesPaneFilesAndLog) {
  const std::vector<std::string> urls = {"http://h/a.jpg", "http://h/b.jpg", "https://h/c/d.png"};
  window.markup = BingPage(urls);
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);

  controller.ButtonStartClick();

  const std::string folder = window.folderText + "/";
  std::vector<std::string> lines = window.pane.Lines();
  ASSERT_EQ(lines.size(), kHeader.size() + 4 + 3 + kClosing.size());
  // Workers may finish in any order; their block holds exactly their three lines.
  std::vector<std::string> workerLines(lines.begin() + 13, lines.begin() + 16);
  std::sort(workerLines.begin(), workerLines.end());
  EXPECT_EQ(workerLines, (std::vector<std::string>{"T0 http__h_a.jpg: OK", "T1 http__h_b.jpg: OK",
                                                   "T2 https__h_c_d.png: OK"}));
  lines.erase(lines.begin() + 13, lines.begin() + 16);
  EXPECT_EQ(lines, Join({kHeader, CountLines(3), kClosing}));

  EXPECT_EQ(ReadFileBytes(folder + "log.txt"), CrLfJoined(window.pane.Lines()));
  EXPECT_EQ(ReadFileBytes(folder + "result_content.txt"), *window.markup + "\r\n");
  EXPECT_EQ(ReadFileBytes(folder + "url_list.txt"), CrLfJoined(urls));
  EXPECT_EQ(window.captions, (std::vector<std::string>{"Stop", "Start download"}));
  EXPECT_TRUE(window.enabledCalls.empty());
  EXPECT_FALSE(controller.StopRequested());
  EXPECT_TRUE(controller.RunFinished());
  EXPECT_FALSE(controller.RunActive());
  EXPECT_EQ(controller.LiveWorkerCount(), 0);

  ASSERT_EQ(workers.starts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(workers.starts[i].url, urls[i]);
    EXPECT_EQ(workers.starts[i].fileName, FileNameFromUrl(urls[i]));
    EXPECT_EQ(workers.starts[i].index, i);
    EXPECT_EQ(workers.starts[i].saveFolder, folder);
  }
}

// A page in today's layout: the marker finds nothing, the site's current-layout rules give the
// decoded addresses, the log is the described one with their count, the workers get the
// decoded addresses and their names, and the window is told where the list came from.
TEST_F(RunControllerTest, TodaysPageIsListedByTheRulesAndTheWindowIsTold) {
  const std::vector<std::string> urls = {"https://h/a.jpg?w=1&h=2", "http://h/b.png",
                                         "https://h/a.jpg?w=1&h=2", "http://h/c/d.jpg"};
  const std::vector<std::string> unique = {urls[0], urls[1], urls[3]};
  window.markup = TodaysBingPage(urls);
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);

  controller.ButtonStartClick();

  std::vector<std::string> lines = window.pane.Lines();
  ASSERT_EQ(lines.size(), kHeader.size() + 4 + 3 + kClosing.size());
  lines.erase(lines.begin() + 13, lines.begin() + 16);
  EXPECT_EQ(lines, Join({kHeader, CountLines(3), kClosing}));
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), CrLfJoined(unique));
  ASSERT_EQ(workers.starts.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(workers.starts[i].url, unique[i]);
    EXPECT_EQ(workers.starts[i].fileName, FileNameFromUrl(unique[i]));
  }
  EXPECT_EQ(window.listSources,
            (std::vector<std::string>{
                "", "Addresses found by the current-layout rules for www.bing.com"}));
  EXPECT_TRUE(window.messages.empty());

  // The next run's list comes from the marker: the note goes.
  window.markup = BingPage({"http://h/z.jpg"});
  controller.ButtonStartClick();
  EXPECT_EQ(window.listSources.back(), "");
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), "http://h/z.jpg\r\n");
}

// A page that the selected site finds nothing on but that belongs to another site, by its
// address or by what that site's rules find: the window is told which, once; the log, the
// count and the run's files are the described ones, and the scratch list leaves no trace.
TEST_F(RunControllerTest, PageOfAnotherSiteIsNamedOnceAndTheRunIsUnchanged) {
  struct Row {
    const char* what;
    SiteId site;
    std::string address;
    std::string page;
    std::vector<SiteId> told;
  };
  const Row rows[] = {
      {"Google's address, Bing selected",
       Bing(),
       "https://www.google.com/search?q=cats&udm=2",
       "<p>no results</p>",
       {Google()}},
      {"Baidu's address, user and port",
       Google(),
       "http://u:p@IMAGE.baidu.com:8080/search?word=x",
       "<p>no results</p>",
       {Baidu()}},
      {"Google's page by its rules, address unknown",
       Bing(),
       "",
       TodaysGooglePage({"https://h/a.jpg"}),
       {Google()}},
      {"Bing's page of the described layout by its marker, Google selected",
       Google(),
       "",
       BingPage({"http://h/a.jpg"}),
       {Bing()}},
      {"a host that only ends like a site's", Bing(), "http://notgoogle.com/", "<p>none</p>", {}},
      {"the selected site's own address",
       Google(),
       "https://images.google.com/",
       "<p>none</p>",
       {}},
      {"no address, nothing found by any rules", Bing(), "", "<p>none</p>", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeRunWindow window;
    window.folderText = dir.Path() + "/" + std::to_string(&row - rows);
    window.site = row.site;
    window.pageAddress = row.address;
    window.markup = row.page;
    TRunController controller(window, kFast);
    FakeWorkers workers(controller);

    controller.ButtonStartClick();

    EXPECT_EQ(window.wrongSites, row.told);
    EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(0), kClosing}));
    EXPECT_TRUE(workers.starts.empty());
    EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), "");
    EXPECT_EQ(FolderEntries(window.folderText),
              (std::vector<std::string>{"log.txt", "result_content.txt", "url_list.txt"}));
  }
  EXPECT_EQ(WrongSiteNote(Google()),
            "This page is from images.google.com; the selected site found nothing on it");
  EXPECT_EQ(UseSiteCaption(Bing()), "Use Bing for this page");
}

// A page a site does find addresses on says nothing about another site.
TEST_F(RunControllerTest, PageWithAddressesNamesNoOtherSite) {
  window.pageAddress = "https://www.google.com/search";
  window.markup = BingPage({"http://h/a.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  controller.ButtonStartClick();
  EXPECT_TRUE(window.wrongSites.empty());
  EXPECT_EQ(workers.starts.size(), 1u);
}

// A fault in the rules file is shown once, when the run meets the file, and the run goes on
// with the built-in rules; an unchanged file is not reported again, an edited one is read anew.
TEST_F(RunControllerTest, RulesFileFaultsAreShownOnceAndTheRunGoesOn) {
  const std::string rules = dir.Path() + "/rules.ini";
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=(unclosed\r\n");
  window.markup = TodaysBingPage({"https://h/a.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  int asked = 0;
  controller.SetRulesFile([&] {
    ++asked;
    return RulesFileLocation{rules, false};
  });

  controller.ButtonStartClick();
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0], rules +
                                    ": [www.bing.com] Rule1: invalid expression: missing closing "
                                    "parenthesis (at character 10); the built-in rules are used "
                                    "for www.bing.com");
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), "https://h/a.jpg\r\n");
  EXPECT_EQ(window.captions, (std::vector<std::string>{"Stop", "Start download"}));

  controller.ButtonStartClick();
  EXPECT_EQ(window.messages.size(), 1u) << "an unchanged file is not reported again";

  // The user mends the file: its rule now gives the list.
  WriteFileBytes(rules, "[www.bing.com]\r\nRule1=turl&quot;:&quot;(https?://[^&]+)\r\n");
  window.markup = TodaysBingPage({"https://h/a.jpg"});
  controller.ButtonStartClick();
  EXPECT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"),
            "https://tse1.mm.bing.net/th?id=OIP.0\r\n");
  EXPECT_EQ(asked, 3);
}

TEST_F(RunControllerTest, EmptyListClosesAfterTheGracePeriod) {
  window.markup = "<html>no images here</html>";
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);

  const auto start = SteadyClock::now();
  controller.ButtonStartClick();

  EXPECT_GE(MillisSince(start), kFast.graceMs - kTickSlackMs);
  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(0), kClosing}));
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), "");
  EXPECT_EQ(ReadFileBytes(window.folderText + "/log.txt"), CrLfJoined(window.pane.Lines()));
  EXPECT_TRUE(workers.starts.empty());
  EXPECT_EQ(window.caption, "Start download");
}

TEST_F(RunControllerTest, PresentTargetsStartNoWorkerAndMakeNoPause) {
  std::vector<std::string> urls;
  for (int i = 0; i < 10; ++i) urls.push_back("http://h/" + std::to_string(i) + ".jpg");
  window.markup = BingPage(urls);
  std::filesystem::create_directory(window.folderText);
  for (const std::string& url : urls)
    WriteFileBytes(window.folderText + "/" + FileNameFromUrl(url), "x");
  ThrottleTimings timings = kFast;
  timings.startPauseMs = 300;  // ten pauses would show clearly
  TRunController controller(window, timings);
  FakeWorkers workers(controller);

  const auto start = SteadyClock::now();
  controller.ButtonStartClick();

  EXPECT_LT(MillisSince(start), timings.graceMs + 1000.0);
  EXPECT_TRUE(workers.starts.empty());
  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(10), kClosing}));
}

TEST_F(RunControllerTest, PositionCountsSkippedEntries) {
  window.markup = BingPage({"http://h/kept.jpg", "http://h/new.jpg"});
  std::filesystem::create_directory(window.folderText);
  WriteFileBytes(window.folderText + "/http__h_kept.jpg", "x");
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);

  controller.ButtonStartClick();

  ASSERT_EQ(workers.starts.size(), 1u);
  EXPECT_EQ(workers.starts[0].index, 1);
  EXPECT_EQ(workers.starts[0].url, "http://h/new.jpg");
}

// A process id that no process has any more.
pid_t GonePid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status;
  ::waitpid(child, &status, 0);
  return child;
}

// Temporary files that processes cut off before they could clean up left in the save folder
// go at the start of the next run. One whose owner is still alive stays, and a temporary file
// is never taken for an image already there.
TEST_F(RunControllerTest, LeftoverTemporaryFilesOfGoneProcessesGoAndNoneIsTakenForAnImage) {
  const std::string gone = ".pixhaul-" + std::to_string(GonePid()) + "-3-0123abcd.part";
  const std::string live = ".pixhaul-" + std::to_string(::getpid()) + "-4-89abcdef.part";
  const std::string goneFolder = ".pixhaul-" + std::to_string(GonePid()) + "-5-00000000.part";
  std::filesystem::create_directory(window.folderText);
  for (const std::string& name : {gone, live, std::string(".pixhaul-notes.part")}) {
    WriteFileBytes(window.folderText + "/" + name, "partial");
  }
  std::filesystem::create_directory(window.folderText + "/" + goneFolder);
  // An address whose file name is that of the live temporary file.
  window.markup = BingPage({live});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);

  controller.ButtonStartClick();

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(window.folderText)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {live,      goneFolder,           ".pixhaul-notes.part",
                                       "log.txt", "result_content.txt", "url_list.txt"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  ASSERT_EQ(workers.starts.size(), 1u);
  EXPECT_EQ(workers.starts[0].fileName, live);
}

// Every change is shown as it happens: one count moves by one per report, from the bare list
// to the run's end, which is reported once more as no longer active.
TEST_F(RunControllerTest, ProgressCountsStartsSavesFailuresAndSkips) {
  std::vector<std::string> urls;
  for (int i = 0; i < 6; ++i) urls.push_back("http://h/" + std::to_string(i) + ".jpg");
  window.markup = BingPage(urls);
  std::filesystem::create_directory(window.folderText);
  WriteFileBytes(window.folderText + "/" + FileNameFromUrl(urls[1]), "x");
  WriteFileBytes(window.folderText + "/" + FileNameFromUrl(urls[4]), "x");
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.saves = [](int index) { return index != 3; };

  controller.ButtonStartClick();

  const std::vector<RunProgress>& shown = window.progress;
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown.front(), (RunProgress{6, 0, 0, 0, 0, true}));
  EXPECT_EQ(shown.back(), (RunProgress{6, 4, 3, 1, 2, false}));
  EXPECT_EQ(controller.Progress(), shown.back());
  ASSERT_EQ(shown.size(), 1 + 4 + 4 + 2 + 1u);
  for (size_t i = 1; i + 1 < shown.size(); ++i) {
    const RunProgress& a = shown[i - 1];
    const RunProgress& b = shown[i];
    EXPECT_TRUE(b.active);
    EXPECT_EQ(b.addresses, 6);
    EXPECT_EQ((b.started - a.started) + (b.saved - a.saved) + (b.failed - a.failed) +
                  (b.skipped - a.skipped),
              1)
        << "report " << i;
    EXPECT_LE(b.saved + b.failed, b.started);
  }
  EXPECT_EQ(ProgressText(shown.back()),
            "6 addresses \u00b7 4 started \u00b7 3 saved \u00b7 1 failed \u00b7 2 skipped");
  EXPECT_EQ(ProgressText(RunProgress{1, 0, 0, 0, 1, false}),
            "1 address \u00b7 0 started \u00b7 0 saved \u00b7 0 failed \u00b7 1 skipped");
  EXPECT_EQ(OutcomeText(shown.back()), "Finished: 3 saved, 1 failed, 2 skipped");
  EXPECT_TRUE(window.lateLines.empty());
}

// A download that ends after the closing lines: its line goes to the window as a late one, not
// to the pane or log.txt, and its result still counts in its run, which is reported again.
TEST_F(RunControllerTest, DownloadEndingAfterTheClosingLinesIsToldAsLateAndCounted) {
  window.markup = BingPage({"http://h/a.jpg", "http://h/b.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.held = true;
  workers.saves = [](int index) { return index == 0; };

  controller.ButtonStartClick();
  ASSERT_EQ(controller.OutstandingWorkers(), 2);
  const std::vector<std::string> pane = window.pane.Lines();
  const std::string log = ReadFileBytes(window.folderText + "/log.txt");
  EXPECT_EQ(OutcomeText(controller.Progress()),
            "Finished: 0 saved, 0 failed, 0 skipped, 2 still running");

  workers.held = false;
  ASSERT_TRUE(PumpUntil([&] { return controller.OutstandingWorkers() == 0; }));
  std::vector<std::string> late = window.lateLines;
  std::sort(late.begin(), late.end());
  ASSERT_EQ(late.size(), 2u);
  EXPECT_EQ(late,
            (std::vector<std::string>{"T0 http__h_a.jpg: OK", "T1:404 Not Found http://h/b.jpg"}));
  EXPECT_EQ(window.pane.Lines(), pane);
  EXPECT_EQ(ReadFileBytes(window.folderText + "/log.txt"), log);
  EXPECT_EQ(window.progress.back(), (RunProgress{2, 2, 1, 1, 0, false, false}));
  EXPECT_EQ(OutcomeText(window.progress.back()), "Finished: 1 saved, 1 failed, 0 skipped");
}

TEST_F(RunControllerTest, TrailingSeparatorIsAddedOnceAndNeverDoubled) {
  for (const std::string& suffix : {std::string(""), std::string("/")}) {
    SCOPED_TRACE("folder text ends with '" + suffix + "'");
    TempDir local;
    FakeRunWindow w;
    w.folderText = local.Path() + "/pics" + suffix;
    w.markup = BingPage({"http://h/a.jpg"});
    TRunController controller(w, kFast);
    FakeWorkers workers(controller);

    controller.ButtonStartClick();

    ASSERT_EQ(workers.starts.size(), 1u);
    EXPECT_EQ(workers.starts[0].saveFolder, local.Path() + "/pics/");
    EXPECT_EQ(ReadFileBytes(local.Path() + "/pics/log.txt"), CrLfJoined(w.pane.Lines()));
  }
}

TEST_F(RunControllerTest, FolderThatCannotBeCreatedLeavesEverythingAsItWas) {
  for (const std::string& text : {std::string(""), dir.Path() + "/missing/parent"}) {
    SCOPED_TRACE("folder text '" + text + "'");
    FakeRunWindow w;
    w.folderText = text;
    w.markup = BingPage({"http://h/a.jpg"});
    TRunController controller(w, kFast);
    FakeWorkers workers(controller);

    controller.ButtonStartClick();

    EXPECT_EQ(w.messages, std::vector<std::string>{"Create directory " + text + " Failed."});
    EXPECT_EQ(w.pane.Lines(), std::vector<std::string>{"[Log window]"});
    EXPECT_EQ(w.clears, 0);
    EXPECT_TRUE(w.captions.empty());
    EXPECT_TRUE(controller.StopRequested());
    EXPECT_TRUE(controller.RunFinished());
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/missing"));
  }
}

TEST_F(RunControllerTest, NoDocumentShowsTheMessageAfterTheFirstLines) {
  window.markup.reset();
  TRunController controller(window, kFast);

  controller.ButtonStartClick();

  EXPECT_EQ(window.messages, std::vector<std::string>{"Error: can not get document."});
  EXPECT_EQ(
      window.pane.Lines(),
      (std::vector<std::string>{"Log:", "Start to get the search result... please wait...", ""}));
  EXPECT_FALSE(std::filesystem::exists(window.folderText + "/result_content.txt"));
  EXPECT_TRUE(window.captions.empty());
  EXPECT_TRUE(controller.StopRequested());
}

TEST_F(RunControllerTest, FiftyFirstLiveWorkerHoldsTheLoopForWholePeriods) {
  std::vector<std::string> urls;
  for (int i = 0; i < 53; ++i) urls.push_back("http://h/" + std::to_string(i) + ".png");
  window.markup = BingPage(urls);
  ThrottleTimings timings = kFast;
  timings.startPauseMs = 2;
  timings.throttlePauseMs = 200;
  TRunController controller(window, timings);
  FakeWorkers workers(controller);
  workers.held = true;
  // Hold every worker until 300 ms after the 51st start: the loop must wait two whole periods.
  std::thread releaser;
  workers.onStart = [&](int index) {
    if (index == 50) {
      releaser = std::thread([&workers] {
        std::this_thread::sleep_for(300ms);
        workers.held = false;
      });
    }
  };

  controller.ButtonStartClick();
  releaser.join();

  ASSERT_EQ(workers.starts.size(), 53u);
  int maxLiveBefore = 0;
  for (const auto& s : workers.starts) maxLiveBefore = std::max(maxLiveBefore, s.liveBefore);
  EXPECT_EQ(maxLiveBefore, 50);  // so 51 live at most
  const auto gap = [&](int i) {
    return std::chrono::duration<double, std::milli>(workers.starts[i + 1].at -
                                                     workers.starts[i].at)
        .count();
  };
  EXPECT_LT(gap(49), 150.0) << "the 50th live worker must not pause the loop";
  EXPECT_GE(gap(50), 2 * (200.0 - kTickSlackMs)) << "the pause lasts whole periods";
}

// With every pause at 0 the waits still pump: the throttle sees the hand-offs that free its
// slots, and a stop press made while every slot is held ends the run.
TEST_F(RunControllerTest, ZeroPausesStillRunTheHandOffsAndSeeAStop) {
  constexpr ThrottleTimings kZero{0, 2, 0, 0, 0};
  std::vector<std::string> urls;
  for (int i = 0; i < 8; ++i) urls.push_back("http://h/" + std::to_string(i) + ".jpg");
  window.markup = BingPage(urls);
  {
    TRunController controller(window, kZero);
    FakeWorkers workers(controller);
    workers.finishAfter = 5ms;
    controller.ButtonStartClick();
    EXPECT_EQ(workers.starts.size(), 8u) << "the throttle must see the workers finish";
    int maxLiveBefore = 0;
    for (const auto& start : workers.starts)
      maxLiveBefore = std::max(maxLiveBefore, start.liveBefore);
    EXPECT_LE(maxLiveBefore, 2);
  }
  {
    std::filesystem::remove_all(window.folderText);
    TRunController controller(window, kZero);
    FakeWorkers workers(controller);
    workers.held = true;
    // The third start fills every slot; the press comes while the throttle waits.
    workers.onStart = [&](int index) {
      if (index == 2) CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });
    };
    controller.ButtonStartClick();
    EXPECT_EQ(workers.starts.size(), 3u);
    EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(8), kStopLines, kClosing}));
    EXPECT_TRUE(controller.RunFinished());
    EXPECT_EQ(controller.LiveWorkerCount(), 3) << "the held workers are still out";
  }
}

// A run holds its save folder: a second run into it - from another window of this process,
// under another name of the folder too - is refused at once and writes nothing, not even its
// pane; once the first run has closed, the folder is free again.
TEST_F(RunControllerTest, SecondRunIntoTheSameFolderIsRefusedAndWritesNothing) {
  window.markup = BingPage({"http://h/a.jpg", "http://h/b.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.held = true;

  FakeRunWindow other;
  other.markup = BingPage({"http://other/x.jpg"});
  std::filesystem::create_directories(dir.Path() + "/images");
  std::filesystem::create_directory_symlink(dir.Path() + "/images", dir.Path() + "/alias");
  TRunController otherController(other, kFast);
  FakeWorkers otherWorkers(otherController);
  std::vector<std::string> refusals;
  workers.onStart = [&](int index) {
    if (index != 1) return;
    for (const std::string& folder : {window.folderText, dir.Path() + "/alias/"}) {
      other.folderText = folder;
      otherController.ButtonStartClick();
      refusals.push_back(other.messages.empty() ? "" : other.messages.back());
    }
    workers.held = false;
  };
  controller.ButtonStartClick();

  EXPECT_EQ(refusals,
            (std::vector<std::string>{"Another run is saving into " + window.folderText + ".",
                                      "Another run is saving into " + dir.Path() + "/alias/."}));
  EXPECT_EQ(other.pane.Lines(), std::vector<std::string>{"[Log window]"});
  EXPECT_EQ(other.clears, 0);
  EXPECT_TRUE(other.captions.empty());
  EXPECT_TRUE(otherWorkers.starts.empty());
  EXPECT_EQ(ReadFileBytes(window.folderText + "/result_content.txt"), *window.markup + "\r\n");
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"),
            "http://h/a.jpg\r\nhttp://h/b.jpg\r\n");

  // The first run has closed: the other one may use the folder now.
  other.folderText = window.folderText;
  otherController.ButtonStartClick();
  EXPECT_EQ(other.messages.size(), 2u);
  EXPECT_EQ(ReadFileBytes(window.folderText + "/url_list.txt"), "http://other/x.jpg\r\n");
}

// The lock lasts as long as the run's files are written: downloads that end after the closing
// lines still hold the folder against another run, and the folder is free once the last ends.
TEST_F(RunControllerTest, FolderStaysLockedUntilTheLastLateDownloadEnds) {
  window.markup = BingPage({"http://h/a.jpg", "http://h/b.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.held = true;
  controller.ButtonStartClick();
  ASSERT_TRUE(controller.RunFinished());
  ASSERT_EQ(controller.OutstandingWorkers(), 2);

  FakeRunWindow other;
  other.markup = BingPage({"http://other/x.jpg"});
  other.folderText = window.folderText;
  TRunController otherController(other, kFast);
  FakeWorkers otherWorkers(otherController);
  otherController.ButtonStartClick();
  EXPECT_EQ(other.messages,
            std::vector<std::string>{"Another run is saving into " + window.folderText + "."});
  EXPECT_TRUE(otherWorkers.starts.empty());

  workers.held = false;
  ASSERT_TRUE(PumpUntil([&] { return controller.OutstandingWorkers() == 0; }));
  otherController.ButtonStartClick();
  EXPECT_EQ(other.messages.size(), 1u);
  EXPECT_EQ(otherWorkers.starts.size(), 1u);
}

TEST_F(RunControllerTest, StopDuringRunEndsTheLoopAndDropsLaterLines) {
  std::vector<std::string> urls;
  for (int i = 0; i < 10; ++i) urls.push_back("http://h/" + std::to_string(i) + ".jpg");
  window.markup = BingPage(urls);
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.held = true;
  workers.onStart = [&](int index) {
    if (index == 2) CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });
  };
  // The workers finish once the stop has been carried out (its wait over, the caption back):
  // their lines must be dropped. The button is disabled from the press on.
  std::vector<bool> enabledAtCaption;
  // The run's state agrees with the caption already when the window sees it change.
  std::vector<bool> showsStop;
  window.onCaption = [&](const std::string& caption) {
    showsStop.push_back(controller.ShowsStop());
    enabledAtCaption.push_back(window.buttonEnabled);
    if (caption == kStartDownloadCaption) workers.held = false;
  };

  const auto start = SteadyClock::now();
  controller.ButtonStartClick();

  EXPECT_GE(MillisSince(start), kFast.stopWaitMs + kFast.graceMs - 2 * kTickSlackMs);
  EXPECT_EQ(workers.starts.size(), 3u);
  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(10), kStopLines, kClosing}));
  EXPECT_EQ(ReadFileBytes(window.folderText + "/log.txt"), CrLfJoined(window.pane.Lines()));
  EXPECT_EQ(window.captions,
            (std::vector<std::string>{"Stop", "Start download", "Start download"}));
  EXPECT_EQ(showsStop, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(enabledAtCaption, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(window.enabledCalls, (std::vector<bool>{false, true}));
  // "Stopping" is told at the press, before the wait; "stopped" once it is over.
  const auto stoppingAt = std::find_if(window.progress.begin(), window.progress.end(),
                                       [](const RunProgress& p) { return p.stopping; });
  const auto stoppedAt = std::find_if(window.progress.begin(), window.progress.end(),
                                      [](const RunProgress& p) { return p.stopped; });
  ASSERT_NE(stoppingAt, window.progress.end());
  EXPECT_FALSE(stoppingAt->stopped);
  EXPECT_EQ(stoppedAt - stoppingAt, 1);
  EXPECT_FALSE(stoppedAt->stopping);
  EXPECT_TRUE(controller.StopRequested());
  EXPECT_TRUE(controller.RunFinished());
  EXPECT_TRUE(PumpUntil([&] { return controller.LiveWorkerCount() == 0; }));
  // Workers that end while the stopped run closes still count; the list's rest was never
  // dealt with.
  EXPECT_EQ(window.progress.back(), (RunProgress{10, 3, 3, 0, 0, false, true}));
  EXPECT_EQ(OutcomeText(window.progress.back()), "Stopped: 3 of 10 saved");
}

TEST_F(RunControllerTest, StopDuringGracePeriodPrecedesTheClosingLines) {
  window.markup = BingPage({});
  TRunController controller(window, kFast);
  // With an empty list the first pump of the run is the grace period's.
  CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });

  const auto start = SteadyClock::now();
  controller.ButtonStartClick();

  EXPECT_GE(MillisSince(start), std::max(kFast.graceMs, kFast.stopWaitMs) - kTickSlackMs);
  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(0), kStopLines, kClosing}));
  EXPECT_EQ(ReadFileBytes(window.folderText + "/log.txt"), CrLfJoined(window.pane.Lines()));
  EXPECT_TRUE(controller.StopRequested());
  EXPECT_TRUE(controller.RunFinished());
}

TEST_F(RunControllerTest, SecondStopPressDuringTheStopWaitRunsNested) {
  window.markup = BingPage({});
  TRunController controller(window, kFast);
  int stopLinesSeen = 0;
  window.onAppend = [&](const std::string& text) {
    if (text.rfind("Task will be terminated", 0) == 0 && ++stopLinesSeen == 1) {
      CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });
    }
  };
  CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });

  controller.ButtonStartClick();

  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(0), kStopLines, kStopLines, kClosing}));
  EXPECT_EQ(window.caption, "Start download");
}

TEST_F(RunControllerTest, StartPressWhileAStoppedRunIsClosingIsRefused) {
  window.markup = BingPage({});
  TRunController controller(window, kFast);
  bool pressedDuringClosing = false;
  window.onCaption = [&](const std::string& caption) {
    if (caption == kStartDownloadCaption && !pressedDuringClosing) {
      // The window would not deliver this press (its button stays disabled while the stopped
      // run closes); the controller must refuse it anyway.
      CurrentMessagePump().Post([&] {
        pressedDuringClosing = true;
        EXPECT_EQ(window.ButtonCaption(), "Start download");
        controller.ButtonStartClick();
      });
    }
  };
  CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });

  controller.ButtonStartClick();

  EXPECT_TRUE(pressedDuringClosing);
  EXPECT_EQ(window.clears, 1);
  EXPECT_EQ(window.pane.Lines(), Join({kHeader, CountLines(0), kStopLines, kClosing}));
  EXPECT_EQ(window.enabledCalls, (std::vector<bool>{false, true}));
  EXPECT_TRUE(window.buttonEnabled);
}

TEST_F(RunControllerTest, WorkersOfAnEarlierRunLowerTheNextRunsCount) {
  window.markup = BingPage({"http://h/a.jpg", "http://h/b.jpg"});
  TRunController controller(window, kFast);
  FakeWorkers workers(controller);
  workers.held = true;

  controller.ButtonStartClick();  // both workers still held when the run closes
  ASSERT_EQ(controller.LiveWorkerCount(), 2);
  ASSERT_EQ(controller.OutstandingWorkers(), 2);

  window.markup = BingPage({});
  window.onAppend = [&](const std::string& text) {
    if (text == "Now start to download these images.") workers.held = false;
  };
  controller.ButtonStartClick();

  // Their lines land in the new run's pane and their decrements push its count below zero.
  std::vector<std::string> lines = window.pane.Lines();
  ASSERT_EQ(lines.size(), kHeader.size() + 4 + 2 + kClosing.size());
  std::vector<std::string> late(lines.begin() + 13, lines.begin() + 15);
  std::sort(late.begin(), late.end());
  EXPECT_EQ(late, (std::vector<std::string>{"T0 http__h_a.jpg: OK", "T1 http__h_b.jpg: OK"}));
  EXPECT_EQ(controller.LiveWorkerCount(), -2);
  EXPECT_EQ(controller.OutstandingWorkers(), 0);
  // ... but they are not counted as the new run's saves.
  EXPECT_EQ(window.progress.back(), (RunProgress{0, 0, 0, 0, 0, false}));
}

TEST_F(RunControllerTest, LogFileErrorAfterAStopGivesTheButtonBack) {
  window.markup = BingPage({});
  std::filesystem::create_directories(window.folderText + "/log.txt");  // cannot be a file
  TRunController controller(window, kFast);
  CurrentMessagePump().Post([&] { controller.ButtonStartClick(); });

  EXPECT_THROW(controller.ButtonStartClick(), EFCreateError);

  EXPECT_EQ(window.enabledCalls, (std::vector<bool>{false, true}));
  EXPECT_FALSE(controller.RunActive());
  EXPECT_FALSE(controller.RunFinished());
  EXPECT_TRUE(controller.StopRequested());
}

TEST_F(RunControllerTest, LogFileErrorLeavesTheRunStoppableAndTheButtonEnabled) {
  window.markup = BingPage({});
  std::filesystem::create_directories(window.folderText + "/log.txt");
  TRunController controller(window, kFast);

  EXPECT_THROW(controller.ButtonStartClick(), EFCreateError);
  EXPECT_EQ(window.caption, "Stop");
  EXPECT_TRUE(controller.ShowsStop());
  EXPECT_FALSE(controller.StopRequested());
  EXPECT_FALSE(controller.RunFinished());

  controller.ButtonStartClick();  // the stop path restores the caption
  EXPECT_EQ(window.caption, "Start download");
  EXPECT_FALSE(controller.ShowsStop());
  EXPECT_TRUE(controller.StopRequested());
  // Disabled during the stop wait only: no closing steps will come to enable it.
  EXPECT_EQ(window.enabledCalls, (std::vector<bool>{false, true}));
  EXPECT_TRUE(window.buttonEnabled);
  // The failed press ended the run's progress display too.
  ASSERT_FALSE(window.progress.empty());
  EXPECT_FALSE(window.progress.back().active);
}

TEST(TickElapsedTest, UnsignedDifferenceSurvivesAWrap) {
  struct Row {
    uint32_t from, now, elapsed;
  } rows[] = {{0, 0, 0}, {100, 3100, 3000}, {0xFFFFFF00u, 0x00000100u, 0x200}, {0xFFFFFFFFu, 0, 1}};
  for (const Row& r : rows) {
    EXPECT_EQ(TickElapsed(r.from, r.now), r.elapsed) << "from " << r.from << " now " << r.now;
  }
}

// Counts pumps of the headless pump to tell a wait that sleeps from one that spins.
class CountingPump : public MessagePump {
 public:
  void ProcessMessages() override {
    ++pumps;
    inner_.ProcessMessages();
  }
  void WaitForMessages(Clock::time_point deadline) override { inner_.WaitForMessages(deadline); }
  void Wake() override { inner_.Wake(); }
  void Post(std::function<void()> action) override { inner_.Post(std::move(action)); }
  int pumps = 0;

 private:
  HeadlessMessagePump inner_;
};

TEST(WaitWithMessagesTest, PumpsPromptlyForItsWholeLengthWithoutSpinning) {
  CountingPump pump;
  InstallMessagePump(&pump);
  FakeRunWindow window;
  TRunController controller(window);
  std::vector<double> ranAt;
  const auto start = SteadyClock::now();
  std::thread poster([&pump, &ranAt, start] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(60ms);
      pump.Post([&ranAt, start] { ranAt.push_back(MillisSince(start)); });
    }
  });

  controller.WaitWithMessages(300);
  const double waited = MillisSince(start);
  poster.join();
  InstallMessagePump(nullptr);

  EXPECT_GE(waited, 300.0 - kTickSlackMs);
  EXPECT_LT(waited, 600.0);
  ASSERT_EQ(ranAt.size(), 3u);
  for (size_t i = 0; i < ranAt.size(); ++i) EXPECT_NEAR(ranAt[i], 60.0 * (i + 1), 40.0);
  EXPECT_LT(pump.pumps, 30) << "the wait spins instead of sleeping";
}

}  // namespace
}  // namespace pixhaul::test
