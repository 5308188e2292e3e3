// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Whole runs from the window against the demo image site on the loopback: the page shown in the
// web view is captured, its addresses (plain, TLS and redirected) are fetched by the workers,
// and the run's files land in the save folder; and a close asked for while a stopped run is
// still closing writes the settings at once but waits for the run's end.
//
// Set PIXHAUL_SCREENSHOT=<file.png> to save a picture of the window after the finished run, and
// PIXHAUL_SCREENSHOTS=<folder> for pictures after a finished, a stopped and a wrong-site run at
// 990 x 700 and 1280 x 800.
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>
#include <atomic>

#include "app/radio_group.h"
#include "app/shell_open.h"
#include "demo/demo_site.h"
#include "download/file_naming.h"
#include "loopback/loopback_server.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

namespace {

struct DemoServer {
  explicit DemoServer(int images)
      : site(demo::DemoSite::Options{images, 48, 48}),
        server([this](const loopback::HttpRequest& request) {
          if (request.target.rfind("/img/", 0) == 0) ++imageRequests;
          if (request.target == missingImage && !serveMissing)
            return loopback::HttpReply{404, "Not Found", {}, "", false};
          if (request.target == "/results.html") return loopback::OkReply(page);
          if (request.target == "/empty.html") {
            return loopback::OkReply("<html><body><p>No results.</p></body></html>");
          }
          return site.Handle(request);
        }) {
    site.SetBases(server.HttpBase(), server.HttpsBase());
    page = site.Page(0);  // the demo's Bing-style page
  }
  demo::DemoSite site;
  std::string page;          // written before the first request can ask for it
  std::string missingImage;  // an image path answered with 404; set before the first request
  std::atomic<bool> serveMissing{false};  // from now on the missing image is there
  std::atomic<int> imageRequests{0};
  loopback::LoopbackHttpServer server;
};

bool LoadAndWait(TForm1& form, const std::string& address) {
  QSignalSpy finished(form.web().View(), &QWebEngineView::loadFinished);
  form.web().Navigate(address);
  return finished.wait(20000) && finished.first().first().toBool();
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A picture of the window as it stands, in a palette of 256 colours and the strongest
// compression, which keep it small.
bool SavePicture(QWidget& form, const QString& file) {
  QTest::qWait(1500);  // let the web view paint the page
  const QImage picture = form.grab().toImage().convertToFormat(
      QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
  return picture.save(file, "PNG", 0);
}

// With PIXHAUL_SCREENSHOTS=<folder>: pictures of the window in `state` at the default size and
// at 1280 x 800, to look at.
bool SaveStatePictures(QWidget& form, const QString& state) {
  const QString folder = qEnvironmentVariable("PIXHAUL_SCREENSHOTS");
  if (folder.isEmpty()) return true;
  const QSize size = form.size();
  bool saved = true;
  for (const QSize shown : {QSize(990, 700), QSize(1280, 800)}) {
    form.resize(shown);
    saved =
        SavePicture(
            form,
            QString("%1/%2-%3x%4.png").arg(folder, state).arg(shown.width()).arg(shown.height())) &&
        saved;
  }
  form.resize(size);
  return saved;
}

int ImageNumberOf(const std::string& address) {
  const QRegularExpressionMatch match =
      QRegularExpression("/(\\d+)\\.png$").match(QString::fromStdString(address));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

}  // namespace

class WholeRunTest : public QObject {
  Q_OBJECT

 private slots:
  // Image 7 is not found and the list's sixth image is already in the save folder; the status
  // bar counts the run through to its end.
  void runFromTheWindowSavesEveryImageAndItsFiles() {
    DemoServer demoServer(12);
    demoServer.missingImage = "/img/7.png";
    ProgramFolder folder;
    TForm1Options options = FormOptions(folder);
    options.timings.graceMs = 4000;  // room for every TLS handshake on a busy machine
    RecordingForm form(options);
    form.show();
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/results.html"));
    const std::string saveFolder = folder.Path() + "images_download";
    form.EditPath->setText(QString::fromStdString(saveFolder));
    const std::vector<std::string> addresses = demoServer.site.ImageAddresses();
    QVERIFY(QDir().mkpath(QString::fromStdString(saveFolder)));
    QFile present(QString::fromStdString(saveFolder + "/" + FileNameFromUrl(addresses[5])));
    QVERIFY(present.open(QIODevice::WriteOnly) && present.write("present") == 7);
    present.close();

    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);  // the whole run happens in here

    QVERIFY2(form.messages.empty(), form.messages.empty() ? "" : form.messages[0].c_str());
    QVERIFY(form.errors.empty());
    QCOMPARE(form.ButtonStart->text(), QString("Start download"));
    QVERIFY(form.ButtonStart->isEnabled());
    QVERIFY(form.Controller().RunFinished());

    const std::string base = saveFolder + "/";
    const std::string page = ReadFileBytes(base + "result_content.txt");
    QVERIFY(page.rfind("<body>", 0) == 0);
    QVERIFY(page.size() > 9 && page.substr(page.size() - 9) == "</body>\r\n");
    QCOMPARE(ReadFileBytes(base + "url_list.txt"), JoinCrLf(addresses));

    const std::vector<std::string> lines = form.LogLines();
    QCOMPARE(ReadFileBytes(base + "log.txt"), JoinCrLf(lines));
    const std::vector<std::string> head(lines.begin(), lines.begin() + 12);
    const std::vector<std::string> expectedHead{
        "Log:", "Start to get the search result... please wait...",
        "",     "Successful to get the search result.",
        "",     "Now to get the url list...",
        "",     "Got the url list successfully.",
        "",     "Total url count:12",
        "",     "Now start to download these images."};
    QCOMPARE(head, expectedHead);
    QCOMPARE(lines.back(), std::string("All images downloaded, task finished."));

    for (size_t i = 0; i < addresses.size(); ++i) {
      const std::string name = FileNameFromUrl(addresses[i]);
      const int n = ImageNumberOf(addresses[i]);
      std::string line = "T" + std::to_string(i) + " " + name + ": OK";
      std::string saved = demoServer.site.Image(n);
      if (i == 5) {
        line.clear();
        saved = "present";
      } else if (n == 7) {
        line = "T" + std::to_string(i) + ":404 Not Found " + addresses[i];
        saved.clear();
      }
      if (!line.empty()) {
        QVERIFY2(std::find(lines.begin(), lines.end(), line) != lines.end(), line.c_str());
      }
      if (saved.empty()) {
        QVERIFY2(!QFile::exists(QString::fromStdString(base + name)), name.c_str());
      } else {
        QVERIFY2(ReadFileBytes(base + name) == saved, name.c_str());
      }
    }
    QCOMPARE(lines.size(), size_t(13 + 11 + 2));

    // The status bar: the counts and a bar on the right,
    // following every change; once the run is over its outcome takes the counts' place and
    // the bar stays, full, saying how the run ended.
    QVERIFY(form.progress.size() >= 2);
    QVERIFY(form.progress.front().reported == (RunProgress{12, 0, 0, 0, 0, true}));
    for (const RecordingForm::ProgressSeen& seen : form.progress) {
      QVERIFY(seen.barShown);
      QCOMPARE(seen.barMaximum, 12);
      QCOMPARE(seen.barValue, seen.reported.Done());
      if (!seen.reported.active) continue;
      QCOMPARE(seen.label, ProgressText(seen.reported));
      QVERIFY(seen.labelShown);
      QCOMPARE(seen.outcome, std::string());
    }
    const RecordingForm::ProgressSeen& last = form.progress.back();
    QVERIFY(last.reported == (RunProgress{12, 11, 10, 1, 1, false}));
    QVERIFY(!last.labelShown);
    QCOMPARE(last.barValue, 12);
    QCOMPARE(last.barFormat, std::string("Finished"));
    QCOMPARE(form.LabelOutcome->text(), QString("Finished: 10 saved, 1 failed, 1 skipped"));
    QVERIFY(form.LabelOutcome->isVisible());
    QVERIFY(form.ProgressBar1->isVisible());
    QCOMPARE(form.ProgressBar1->text(), QString("Finished"));
    QVERIFY(form.StatusText->isHidden());  // the home page address went with the first page
    QCOMPARE(form.LabelOutcome->cursor().shape(), Qt::PointingHandCursor);

    // A click on the outcome opens the folder the run saved into, even once the text is
    // another.
    std::vector<std::string> opened;
    SetShellOpenerForTesting([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    form.EditPath->setText("elsewhere");
    QTest::mouseClick(form.LabelOutcome, Qt::LeftButton);
    QCOMPARE(opened, std::vector<std::string>{
                         QDir::cleanPath(QString::fromStdString(saveFolder)).toStdString()});
    SetShellOpenerForTesting({});
    form.EditPath->setText(QString::fromStdString(saveFolder));

    if (!qEnvironmentVariableIsEmpty("PIXHAUL_SCREENSHOT")) {
      form.resize(1280, 800);
      QVERIFY(SavePicture(form, qEnvironmentVariable("PIXHAUL_SCREENSHOT")));
    }
    QVERIFY(SaveStatePictures(form, "finished"));

    QVERIFY(form.close());
    QCOMPARE(folder.ReadConfig(),
             "[IniParas]\r\nDefaultPath=" + saveFolder + "\r\nDefaultSite=0\r\n");
  }

  // Pages in each site's layout of today, as the web view serialises them (attributes
  // re-quoted, scripts as they stand): the current-layout rules find the full-size addresses,
  // every image is saved, and the status bar says where the list came from. A fault in the rules
  // file beside the settings file is shown once, and its site keeps the built-in rules.
  void runOnTodaysPagesUsesTheCurrentLayoutRules() {
    DemoServer demoServer(4);
    ProgramFolder folder;
    const std::string rules = folder.Path() + "ini/rules.ini";
    {
      QFile file(QString::fromStdString(rules));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("[www.bing.com]\r\nRule1=(\r\n");
    }
    TForm1Options options = FormOptions(folder);
    options.timings.graceMs = 3000;
    RecordingForm form(options);
    form.show();
    QCOMPARE(form.ListSourceText->text(), QString());
    const char* const kLabels[] = {"www.bing.com", "images.google.com", "image.baidu.com"};
    for (int site = 0; site < 3; ++site) {
      form.RadioGroup1->SetItemIndex(site);
      QVERIFY(
          LoadAndWait(form, demoServer.server.HttpBase() + demo::DemoSite::TodaysPagePath(site)));
      const std::string saveFolder = folder.Path() + "today" + std::to_string(site);
      form.EditPath->setText(QString::fromStdString(saveFolder));

      QTest::mouseClick(form.ButtonStart, Qt::LeftButton);

      const std::vector<std::string> addresses = demoServer.site.TodaysImageAddresses(site);
      QCOMPARE(ReadFileBytes(saveFolder + "/url_list.txt"), JoinCrLf(addresses));
      const std::vector<std::string> lines = form.LogLines();
      QCOMPARE(lines[9], std::string("Total url count:4"));
      for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string name = FileNameFromUrl(addresses[i]);
        const std::string okLine = "T" + std::to_string(i) + " " + name + ": OK";
        QVERIFY2(std::find(lines.begin(), lines.end(), okLine) != lines.end(), okLine.c_str());
        QVERIFY2(
            ReadFileBytes(saveFolder + "/" + name) == demoServer.site.Image(static_cast<int>(i)),
            name.c_str());
      }
      QCOMPARE(form.ListSourceText->FullText(),
               QString("Addresses found by the current-layout rules for ") + kLabels[site]);
    }
    QCOMPARE(form.messages, std::vector<std::string>{
                                rules + ": [www.bing.com] Rule1: invalid expression: missing "
                                        "closing parenthesis (at character 2); the built-in rules "
                                        "are used for www.bing.com"});
    QVERIFY(form.errors.empty());

    // The note speaks of its page and site: a change of either takes it away.
    QVERIFY(!form.ListSourceText->FullText().isEmpty());
    form.RadioGroup1->SetItemIndex(1);
    QCOMPARE(form.ListSourceText->FullText(), QString());
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + demo::DemoSite::TodaysPagePath(1)));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);  // Google's page, Google selected
    QVERIFY(!form.ListSourceText->FullText().isEmpty());
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/empty.html"));
    QCOMPARE(form.ListSourceText->FullText(), QString());

    // Today's Google page with Bing selected: nothing is found, the log and count are the
    // described ones, and the status bar names the page's site, once.
    form.RadioGroup1->SetItemIndex(0);
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + demo::DemoSite::TodaysPagePath(1)));
    form.EditPath->setText(QString::fromStdString(folder.Path() + "wrong-site"));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);
    QCOMPARE(form.LogLines()[9], std::string("Total url count:0"));
    QCOMPARE(form.LogLines().size(), size_t{13 + 2});
    QCOMPARE(form.LabelWrongSite->text(),
             QString("This page is from images.google.com; the selected site found nothing on it"));
    QVERIFY(form.PanelWrongSite->isVisible());
    QCOMPARE(form.LabelOutcome->FullText(), QString("Finished: 0 saved, 0 failed, 0 skipped"));
    QCOMPARE(QDir(QString::fromStdString(folder.Path() + "wrong-site")).entryList(QDir::Files),
             (QStringList{"log.txt", "result_content.txt", "url_list.txt"}));

    // A run whose list comes from the marker has no note.
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/results.html"));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);
    QCOMPARE(form.ListSourceText->FullText(), QString());
    QCOMPARE(form.messages.size(), size_t{1});
  }

  // A page of the described layout and one of today's, each with the wrong site selected: the
  // hint names the page's site, and its action selects that site without loading its start
  // page and downloads the page that is shown, which stays.
  void wrongSiteHintRunsThePageWithItsSite() {
    DemoServer demoServer(4);
    ProgramFolder folder;
    TForm1Options options = FormOptions(folder);
    options.timings.graceMs = 3000;
    RecordingForm form(options);
    form.show();
    struct Row {
      const char* what;
      int selected;
      std::string path;
      int pageSite;
      const char* action;
      std::vector<std::string> addresses;
    };
    const Row rows[] = {
        {"described Bing layout, Google selected", 1, "/results.html", 0, "Use Bing for this page",
         demoServer.site.ImageAddresses()},
        {"today's Google layout, Bing selected", 0, demo::DemoSite::TodaysPagePath(1), 1,
         "Use Google for this page", demoServer.site.TodaysImageAddresses(1)},
    };
    for (const Row& row : rows) {
      form.RadioGroup1->SetItemIndex(row.selected);
      QVERIFY2(LoadAndWait(form, demoServer.server.HttpBase() + row.path), row.what);
      const std::string saveFolder = folder.Path() + std::to_string(&row - rows);
      form.EditPath->setText(QString::fromStdString(saveFolder));
      QTest::mouseClick(form.ButtonStart, Qt::LeftButton);
      QCOMPARE(form.LogLines()[9], std::string("Total url count:0"));
      QVERIFY2(form.PanelWrongSite->isVisible(), row.what);
      QCOMPARE(form.ButtonUseSite->text(), QString(row.action));
      if (&row == rows) QVERIFY(SaveStatePictures(form, "wrong-site"));
      const QUrl before = form.web().View()->url();

      QSignalSpy navigations(form.web().View(), &QWebEngineView::urlChanged);
      QTest::mouseClick(form.ButtonUseSite, Qt::LeftButton);  // the run happens in here
      QTest::qWait(300);  // a start page asked for would have begun loading by now

      QCOMPARE(form.RadioGroup1->ItemIndex(), row.pageSite);
      QCOMPARE(pixhaul::CurrentSite, row.pageSite);
      QCOMPARE(form.web().View()->url(), before);
      QCOMPARE(navigations.count(), 0);
      QCOMPARE(ReadFileBytes(saveFolder + "/url_list.txt"), JoinCrLf(row.addresses));
      QCOMPARE(form.LogLines()[9], "Total url count:" + std::to_string(row.addresses.size()));
      QVERIFY(!form.PanelWrongSite->isVisible());
      for (const std::string& address : row.addresses) {
        QVERIFY2(QFile::exists(QString::fromStdString(saveFolder + "/" + FileNameFromUrl(address))),
                 address.c_str());
      }
    }
    QVERIFY(form.messages.empty());
  }

  // File, Exit during a run is refused; once Stop has been carried out the close is allowed at
  // once (the settings are written then) but the window stays until the stopped run has written
  // its closing lines and log.txt.
  // After a run with a failure: the failure line stands out in the pane (not by colour alone),
  // "Show failed" lists exactly the failed address with its reason, and "Retry failed
  // downloads" runs the same list again from the saved page into the same folder, fetching
  // only what is missing, although the web view shows another page by then.
  void failedDownloadsAreListedAndRetried() {
    DemoServer demoServer(6);
    const std::vector<std::string> addresses = demoServer.site.ImageAddresses();
    int missing = -1;
    for (size_t i = 0; i < addresses.size(); ++i) {
      if (addresses[i].find("/img/") != std::string::npos && missing < 0 &&
          addresses[i].rfind(demoServer.server.HttpBase(), 0) == 0)
        missing = static_cast<int>(i);
    }
    QVERIFY(missing >= 0);
    demoServer.missingImage = addresses[missing].substr(demoServer.server.HttpBase().size());
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    QVERIFY(!form.RetryFailed1->isEnabled());
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/results.html"));
    const std::string saveFolder = folder.Path() + "pictures";
    form.EditPath->setText(QString::fromStdString(saveFolder));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);

    QVERIFY(form.LabelShowFailed->isVisibleTo(&form));
    QVERIFY(form.RetryFailed1->isEnabled());
    const std::string failedLine =
        "T" + std::to_string(missing) + ":404 Not Found " + addresses[missing];
    bool failedBold = false;
    bool savedBold = false;
    const QTextDocument* pane = form.Memo1->document();
    for (int i = 0; i < pane->blockCount(); ++i) {
      const QTextBlock block = pane->findBlockByNumber(i);
      QTextCursor first(block);
      first.movePosition(QTextCursor::NextCharacter);  // the format of the line's first character
      const bool bold = block.length() > 1 && first.charFormat().fontWeight() == QFont::Bold;
      if (block.text().toStdString() == failedLine) failedBold = bold;
      if (block.text().endsWith(": OK")) savedBold = savedBold || bold;
    }
    QVERIFY(failedBold);
    QVERIFY(!savedBold);

    form.retryFromFailedList = true;
    demoServer.serveMissing = true;
    const int requestsBefore = demoServer.imageRequests;
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/empty.html"));
    form.EditPath->setText(QString::fromStdString(folder.Path() + "elsewhere"));
    form.LabelShowFailed->Clicked();  // the whole retry happens in here

    QCOMPARE(form.failedShown.size(), size_t{1});
    QCOMPARE(form.failedShown[0].size(), size_t{1});
    QCOMPARE(form.failedShown[0][0].url, addresses[missing]);
    QCOMPARE(form.failedShown[0][0].reason, std::string("404 Not Found"));
    QCOMPARE(demoServer.imageRequests - requestsBefore, 1);
    QVERIFY(QFile::exists(
        QString::fromStdString(saveFolder + "/" + FileNameFromUrl(addresses[missing]))));
    QVERIFY(!QDir(QString::fromStdString(folder.Path() + "elsewhere")).exists());
    const std::vector<std::string> lines = form.LogLines();
    QVERIFY(std::find(lines.begin(), lines.end(), "Total url count:6") != lines.end());
    QVERIFY(std::find(lines.begin(), lines.end(),
                      "T" + std::to_string(missing) + " " + FileNameFromUrl(addresses[missing]) +
                          ": OK") != lines.end());
    QCOMPARE(form.LabelOutcome->FullText(), QString("Finished: 1 saved, 0 failed, 5 skipped"));
    QVERIFY(!form.LabelShowFailed->isVisibleTo(&form));
    QVERIFY(!form.RetryFailed1->isEnabled());
  }

  void closeDuringARunWaitsForTheStoppedRunToFinish() {
    DemoServer demoServer(1);
    ProgramFolder folder;
    TForm1Options options = FormOptions(folder);
    options.timings.graceMs = 4000;
    options.timings.stopWaitMs = 300;
    RecordingForm form(options);
    form.show();
    form.activateWindow();  // no window manager under a bare X server does it
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QVERIFY(LoadAndWait(form, demoServer.server.HttpBase() + "/empty.html"));
    const std::string saveFolder = folder.Path() + "pics";
    form.EditPath->setText(QString::fromStdString(saveFolder));

    bool visibleAfterRefusal = false;
    std::string configAtClose;
    bool visibleAtClose = false, logWrittenAtClose = true, buttonEnabledAtClose = true;
    QTimer::singleShot(200, &form, [&] {
      form.Exit1->trigger();
      visibleAfterRefusal = form.isVisible();
    });
    // Stop, nested, by its shortcut.
    QTimer::singleShot(400, &form, [&] { QTest::keyClick(form.Memo1, Qt::Key_Escape); });
    // From the press on the stop is told; once its wait is over, the whole outcome.
    QString barDuringWait, countsDuringWait, outcomeAfterWait, barAfterWait;
    bool picturesSaved = false;
    bool enabledDuringWait = true;
    QTimer::singleShot(550, &form, [&] {
      barDuringWait = form.ProgressBar1->format();
      countsDuringWait = form.LabelProgress->text();
      enabledDuringWait = form.ButtonStart->isEnabled() || form.Stop1->isEnabled();
    });
    QTimer::singleShot(1200, &form, [&] {
      outcomeAfterWait = form.LabelOutcome->isVisible() ? form.LabelOutcome->text() : QString();
      barAfterWait = form.ProgressBar1->text();
      picturesSaved = SaveStatePictures(form, "stopped");
    });
    QTimer::singleShot(1500, &form, [&] {
      form.EditPath->setText(QString::fromStdString(saveFolder));
      form.close();
      configAtClose = folder.ReadConfig();
      visibleAtClose = form.isVisible();
      logWrittenAtClose = QFile::exists(QString::fromStdString(saveFolder + "/log.txt"));
      buttonEnabledAtClose = form.ButtonStart->isEnabled();
    });

    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);

    QCOMPARE(form.messages,
             std::vector<std::string>{"Task is still running, please Stop the task before close!"});
    QVERIFY(visibleAfterRefusal);
    QCOMPARE(configAtClose, "[IniParas]\r\nDefaultPath=" + saveFolder + "\r\nDefaultSite=0\r\n");
    QVERIFY(visibleAtClose);
    QVERIFY(!logWrittenAtClose);
    QVERIFY(!buttonEnabledAtClose);  // no second run while the stopped one closes
    QVERIFY(!form.isVisible());      // closed once the run returned
    QCOMPARE(barDuringWait, QString("Stopping\u2026"));
    QCOMPARE(countsDuringWait, QString("Stopping\u2026"));
    QVERIFY(!enabledDuringWait);
    QCOMPARE(outcomeAfterWait, QString("Stopped: 0 of 0 saved"));
    QCOMPARE(barAfterWait, QString("Stopped"));
    QVERIFY(picturesSaved);
    // The pane and log.txt hold the described lines and nothing else.
    const std::vector<std::string> lines = form.LogLines();
    QCOMPARE(ReadFileBytes(saveFolder + "/log.txt"), JoinCrLf(lines));
    const std::vector<std::string> expected{
        "Log:",
        "Start to get the search result... please wait...",
        "",
        "Successful to get the search result.",
        "",
        "Now to get the url list...",
        "",
        "Got the url list successfully.",
        "",
        "Total url count:0",
        "",
        "Now start to download these images.",
        "",
        "",
        "Task will be terminated by user. please wait some seconds...",
        "",
        "",
        "All images downloaded, task finished."};
    QCOMPARE(lines, expected);
  }
};

PIXHAUL_APP_TEST_MAIN(WholeRunTest)
#include "whole_run_test.moc"
