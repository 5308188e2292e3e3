// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// "Load more results" in the window, on the demo site's growing pages in the web view: the page
// is scrolled (and Google's "more results" button pressed) until it stops growing, the status
// bar counts the results as a run would, a run afterwards saves every image, and the loading
// ends by itself, at the target, or at once when the user stops it. Failures are status-bar
// texts, never message boxes. Pages come from a loopback server only.
//
// Set PIXHAUL_SCREENSHOT=<file.png> to save a picture of the window after a loading.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "app/radio_group.h"
#include "app/result_loader.h"
#include "demo/demo_site.h"
#include "download/file_naming.h"
#include "harvest/site_table.h"
#include "loopback/loopback_server.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

namespace {

constexpr int kImages = 30;
constexpr int kBatch = 5;  // the first batch, and every later one: the whole page is 6 batches

struct GrowingDemo {
  GrowingDemo()
      : site(Options()), server([this](const loopback::HttpRequest& request) {
          if (request.target == "/still.html") return loopback::OkReply(still);
          return site.Handle(request);
        }) {
    site.SetBases(server.HttpBase(), server.HttpsBase());
    DemoSite::Options whole{kImages, 16, 16};
    still = demo::DemoSite(whole).Page(0);  // every result at once; it never grows
  }
  using DemoSite = demo::DemoSite;
  static DemoSite::Options Options() {
    DemoSite::Options options{kImages, 16, 16};
    options.batch = kBatch;
    options.growthDelayMs = 20;
    options.batchesBeforeButton = 2;  // Google's pages need the button pressed twice
    return options;
  }
  std::string Address(const std::string& path) const { return server.HttpBase() + path; }

  DemoSite site;
  std::string still;  // written before the first request can ask for it
  loopback::LoopbackHttpServer server;
};

TForm1Options LoaderFormOptions(const ProgramFolder& folder) {
  TForm1Options options = FormOptions(folder);
  options.timings.graceMs = 4000;  // room for every TLS handshake on a busy machine
  options.loaderTimings.pollMs = 30;
  options.loaderTimings.growthWaitMs = 600;
  options.loaderTimings.settleMs = 120;
  return options;
}

bool LoadAndWait(TForm1& form, const std::string& address) {
  QSignalSpy finished(form.web().View(), &QWebEngineView::loadFinished);
  form.web().Navigate(address);
  return finished.wait(20000) && finished.first().first().toBool();
}

// Presses the button and waits for the loading to end; the outcome, or nothing after a minute.
std::optional<LoadOutcome> LoadMore(TForm1& form) {
  QSignalSpy finished(&form.Loader(), &ResultLoader::Finished);
  QTest::mouseClick(form.ButtonLoadMore, Qt::LeftButton);
  if (finished.isEmpty() && !finished.wait(60000)) return std::nullopt;
  return finished.first().first().value<LoadOutcome>();
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class LoadMoreTest : public QObject {
  Q_OBJECT

 private slots:
  // The command's places: the Page menu with its shortcut, and the button beside "Start
  // download" with the number of results it loads up to.
  void commandIsInThePageMenuAndBesideTheStartButton() {
    ProgramFolder folder;
    RecordingForm form(LoaderFormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    QMenu* page = nullptr;
    for (QAction* menu : form.menuBar()->actions()) {
      if (menu->text() == "Page") page = menu->menu();
    }
    QVERIFY(page != nullptr);
    QVERIFY(page->actions().contains(form.LoadMoreResults1));
    QCOMPARE(form.LoadMoreResults1->text(), QString("Load more results"));
    QCOMPARE(form.LoadMoreResults1->shortcut(), QKeySequence("Ctrl+L"));
    QCOMPARE(form.ButtonLoadMore->text(), QString("Load more results"));
    QCOMPARE(form.SpinResultTarget->value(), 500);
    QCOMPARE(form.ButtonLoadMore->y(), form.ButtonStart->y());
    QVERIFY(form.ButtonLoadMore->x() > form.ButtonStart->x());
    QVERIFY(form.SpinResultTarget->geometry().right() <= form.PanelLeft->width());
    QVERIFY(form.close());
  }

  // On each layout the page grows from its first batch to every result; the status bar counts
  // while it does; the command ends by itself once the page has stopped growing; its count is
  // the run's "Total url count:", and the run saves every image with the described lines.
  void loadsEveryResultAndTheRunSavesThem_data() {
    QTest::addColumn<int>("site");
    QTest::addColumn<bool>("today");
    QTest::newRow("described layout, Bing") << 0 << false;
    QTest::newRow("described layout, Google") << 1 << false;
    QTest::newRow("today's Bing") << 0 << true;
    QTest::newRow("today's Google") << 1 << true;
    QTest::newRow("today's Baidu") << 2 << true;
  }
  void loadsEveryResultAndTheRunSavesThem() {
    QFETCH(int, site);
    QFETCH(bool, today);
    GrowingDemo demo;
    ProgramFolder folder;
    RecordingForm form(LoaderFormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    QVERIFY(SelectSiteAndWait(form, site));
    const std::string path =
        today ? demo::DemoSite::TodaysPagePath(site) : demo::DemoSite::PagePath(site);
    QVERIFY(LoadAndWait(form, demo.Address(path)));

    std::vector<std::pair<int, int>> counts;
    std::vector<QString> shown;
    connect(&form.Loader(), &ResultLoader::Progress, &form, [&](int first, int now) {
      counts.emplace_back(first, now);
      shown.push_back(form.LoadMoreText->FullText());
      QCOMPARE(form.ButtonLoadMore->text(), QString("Stop loading"));
      QCOMPARE(form.LoadMoreResults1->text(), QString("Stop loading"));
    });
    const std::optional<LoadOutcome> outcome = LoadMore(form);
    QVERIFY(outcome.has_value());

    QVERIFY2(outcome->end == LoadEnd::kStoppedGrowing,
             (std::to_string(int(outcome->end)) + " " + outcome->detail).c_str());
    QCOMPARE(outcome->first, kBatch);
    QVERIFY2(outcome->now >= 5 * kBatch, std::to_string(outcome->now).c_str());
    QCOMPARE(outcome->now, kImages);
    QVERIFY(counts.size() >= 2);
    QCOMPARE(counts.front(), std::make_pair(kBatch, kBatch));
    for (size_t i = 0; i < counts.size(); ++i) {
      QCOMPARE(shown[i], Text(LoadingText(counts[i].first, counts[i].second)));
      if (i > 0) QVERIFY(counts[i].second >= counts[i - 1].second);
    }
    QCOMPARE(form.LoadMoreText->FullText(),
             QString::fromUtf8("Loaded more results: 5 \u2192 30 (the page stopped growing)"));
    QCOMPARE(form.ButtonLoadMore->text(), QString("Load more results"));
    QCOMPARE(form.LoadMoreResults1->text(), QString("Load more results"));
    QVERIFY(form.messages.empty());
    QVERIFY(form.errors.empty());
    if (!qEnvironmentVariableIsEmpty("PIXHAUL_SCREENSHOT") && site == 0 && today) {
      form.resize(1100, 640);
      form.web().View()->page()->runJavaScript("window.scrollTo(0, 0)");
      QTest::qWait(1500);  // let the web view paint the page
      QVERIFY(form.grab().save(qEnvironmentVariable("PIXHAUL_SCREENSHOT")));
    }

    const std::string saveFolder = folder.Path() + "images_download";
    form.EditPath->setText(Text(saveFolder));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);  // the whole run happens in here

    QVERIFY2(form.messages.empty(), form.messages.empty() ? "" : form.messages[0].c_str());
    const std::vector<std::string> addresses =
        today ? demo.site.TodaysImageAddresses(site) : demo.site.ImageAddresses();
    QCOMPARE(ReadFileBytes(saveFolder + "/url_list.txt"), JoinCrLf(addresses));
    const std::vector<std::string> lines = form.LogLines();
    QCOMPARE(ReadFileBytes(saveFolder + "/log.txt"), JoinCrLf(lines));
    const std::vector<std::string> expectedHead{
        "Log:", "Start to get the search result... please wait...",
        "",     "Successful to get the search result.",
        "",     "Now to get the url list...",
        "",     "Got the url list successfully.",
        "",     "Total url count:" + std::to_string(outcome->now),
        "",     "Now start to download these images."};
    QCOMPARE(std::vector<std::string>(lines.begin(), lines.begin() + 12), expectedHead);
    for (size_t i = 0; i < addresses.size(); ++i) {
      const std::string name = FileNameFromUrl(addresses[i]);
      const std::string line = "T" + std::to_string(i) + " " + name + ": OK";
      QVERIFY2(std::find(lines.begin(), lines.end(), line) != lines.end(), line.c_str());
      QVERIFY2(ReadFileBytes(saveFolder + "/" + name) == demo.site.Image(int(i)), name.c_str());
    }
    QCOMPARE(lines.back(), std::string("All images downloaded, task finished."));
    QCOMPARE(lines.size(), size_t(13 + kImages + 2));
    QVERIFY(form.close());
  }

  // The number of results asked for ends the loading once the page holds it, within a batch.
  void stopsAtTheTargetNumberOfResults() {
    GrowingDemo demo;
    ProgramFolder folder;
    RecordingForm form(LoaderFormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    QVERIFY(LoadAndWait(form, demo.Address(demo::DemoSite::TodaysPagePath(0))));
    form.SpinResultTarget->setValue(12);
    const std::optional<LoadOutcome> outcome = LoadMore(form);
    QVERIFY(outcome.has_value());
    QCOMPARE(int(outcome->end), int(LoadEnd::kTargetReached));
    QVERIFY(outcome->now >= 12 && outcome->now < 12 + kBatch);
    QCOMPARE(form.LoadMoreText->FullText(),
             QString::fromUtf8("Loaded more results: 5 \u2192 %1 (12 wanted)").arg(outcome->now));
    QCOMPARE(form.Loader().CountResults(), std::optional<int>(outcome->now));
    QVERIFY(form.close());
  }

  // "Stop loading" ends the loading within the press: the page is scrolled no more, so at most
  // the batch it was already fetching still comes.
  void stopLoadingStopsAtOnce() {
    GrowingDemo demo;
    ProgramFolder folder;
    RecordingForm form(LoaderFormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    QVERIFY(SelectSiteAndWait(form, 2));
    QVERIFY(LoadAndWait(form, demo.Address(demo::DemoSite::TodaysPagePath(2))));
    QSignalSpy finished(&form.Loader(), &ResultLoader::Finished);
    bool stillRunning = true;
    QString captionAfter;
    int countAtStop = -1;
    connect(&form.Loader(), &ResultLoader::Progress, &form, [&](int, int now) {
      if (now < 2 * kBatch || countAtStop >= 0) return;
      countAtStop = now;
      QTimer::singleShot(0, &form, [&] {
        form.LoadMoreResults1->trigger();  // the menu command, as Ctrl+L gives it
        stillRunning = form.Loader().Running();
        captionAfter = form.ButtonLoadMore->text();
      });
    });
    QTest::mouseClick(form.ButtonLoadMore, Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QVERIFY(!stillRunning);
    QCOMPARE(captionAfter, QString("Load more results"));
    const LoadOutcome outcome = finished.first().first().value<LoadOutcome>();
    QCOMPARE(int(outcome.end), int(LoadEnd::kStoppedByUser));
    QCOMPARE(outcome.now, countAtStop);
    QCOMPARE(form.LoadMoreText->FullText(),
             QString::fromUtf8("Loaded more results: 5 \u2192 %1 (stopped)").arg(countAtStop));
    // A loading that went on would have the whole page in this time.
    QTest::qWait(1500);
    const std::optional<int> later = form.Loader().CountResults();
    QVERIFY(later.has_value());
    QVERIFY2(*later <= countAtStop + kBatch, std::to_string(*later).c_str());
    QCOMPARE(finished.size(), 1);
    QVERIFY(form.close());
  }

  // Failures are said in the status bar: a page that never grows, no page at all. No message
  // box is shown.
  void failuresAreStatusBarTexts_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("text");
    QTest::newRow("never grows") << "/still.html" << int(LoadEnd::kNeverGrew)
                                 << "Could not load more results: the page did not grow (30 "
                                    "results)";
    QTest::newRow("no page") << "" << int(LoadEnd::kNoPage)
                             << "Could not load more results: no page is shown";
  }
  void failuresAreStatusBarTexts() {
    QFETCH(QString, path);
    QFETCH(int, end);
    QFETCH(QString, text);
    GrowingDemo demo;
    ProgramFolder folder;
    folder.WriteConfig("[IniParas]\r\nDefaultSite=-1\r\n");  // nothing is loaded at start
    TForm1Options options = LoaderFormOptions(folder);
    options.loaderTimings.growthWaitMs = 200;
    RecordingForm form(options);
    form.show();
    if (!path.isEmpty()) {
      QVERIFY(SelectSiteAndWait(form, 0));
      QVERIFY(LoadAndWait(form, demo.Address(path.toStdString())));
    }
    const std::optional<LoadOutcome> outcome = LoadMore(form);
    QVERIFY(outcome.has_value());
    QCOMPARE(int(outcome->end), end);
    QCOMPARE(form.LoadMoreText->FullText(), text);
    QCOMPARE(form.ButtonLoadMore->text(), QString("Load more results"));
    QVERIFY(form.messages.empty());
    QVERIFY(form.errors.empty());
    QVERIFY(form.close());
  }

  // The loader itself, on a selector the page cannot take: the script error ends it, with the
  // error in its outcome.
  void scriptErrorEndsTheLoading() {
    GrowingDemo demo;
    ProgramFolder folder;
    RecordingForm form(LoaderFormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    QVERIFY(LoadAndWait(form, demo.Address(demo::DemoSite::PagePath(0))));
    QSignalSpy finished(&form.Loader(), &ResultLoader::Finished);
    form.Loader().Start(500, "a[[");
    QVERIFY(finished.wait(20000));
    const LoadOutcome outcome = finished.first().first().value<LoadOutcome>();
    QCOMPARE(int(outcome.end), int(LoadEnd::kFailed));
    QVERIFY2(outcome.detail.find("SyntaxError") != std::string::npos, outcome.detail.c_str());
    QCOMPARE(form.LoadMoreText->FullText(),
             Text("Could not load more results: " + outcome.detail + " (5 results)"));
    QVERIFY(form.messages.empty());
    QVERIFY(form.close());
  }
};

PIXHAUL_APP_TEST_MAIN(LoadMoreTest)
#include "load_more_test.moc"
