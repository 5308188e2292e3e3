// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Page capture through the web view: the live document's body markup (script-made content
// included), the no-document cases, the text conversion, and a view that cannot be created.
// Pages come from a loopback server only.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "app/radio_group.h"
#include "harvest/qt/web_view_adapter.h"
#include "harvest/site_table.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

namespace {

bool LoadAndWait(WebViewAdapter& web, const std::string& address) {
  QSignalSpy finished(web.View(), &QWebEngineView::loadFinished);
  web.Navigate(address);
  return finished.wait(20000) && finished.first().first().toBool();
}

QWebEngineView* FailingFactory(QWidget*) { throw std::runtime_error("no web engine"); }
QWebEngineView* NullFactory(QWidget*) { return nullptr; }

const std::vector<std::string> kFirstPaneLines{
    "Log:", "Start to get the search result... please wait...", ""};

}  // namespace

class WebCaptureTest : public QObject {
  Q_OBJECT

 private slots:
  void wideTextToAnsi_data() {
    QTest::addColumn<QString>("wide");
    QTest::addColumn<QByteArray>("ansi");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << QString("<body>x</body>") << QByteArray("<body>x</body>");
    QTest::newRow("cut at NUL") << QString::fromUtf16(u"ab\0cd", 5) << QByteArray("ab");
    QTest::newRow("NUL first") << QString::fromUtf16(u"\0cd", 3) << QByteArray();
    QTest::newRow("non-ascii as utf-8")
        << QString::fromUtf16(u"caf\u00e9 \u4e2d") << QByteArray("caf\xc3\xa9 \xe4\xb8\xad");
    QTest::newRow("length edges") << QString::fromUtf16(u"\x7f\x80\u07ff\u0800\uffff")
                                  << QByteArray("\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf");
    QTest::newRow("surrogate pair")
        << QString::fromUtf16(u"a\xD83D\xDE00z") << QByteArray("a\xf0\x9f\x98\x80z");
    QTest::newRow("lone halves") << QString::fromUtf16(
                                        u"a\xD800"
                                        u"b\xDC00"
                                        u"c")
                                 << QByteArray("a?b?c");
    QTest::newRow("first half last") << QString::fromUtf16(u"x\xD83D") << QByteArray("x?");
    QTest::newRow("first half, then a pair")
        << QString::fromUtf16(u"\xD83D\xD83D\xDE00") << QByteArray("?\xf0\x9f\x98\x80");
  }
  void wideTextToAnsi() {
    QFETCH(QString, wide);
    QFETCH(QByteArray, ansi);
    QCOMPARE(QByteArray::fromStdString(WideTextToAnsi(wide)), ansi);
    // The same bytes as the toolkit's own conversion of the text before the first NUL.
    const qsizetype nul = wide.indexOf(QChar(u'\0'));
    QCOMPARE(QByteArray::fromStdString(WideTextToAnsi(wide)),
             (nul < 0 ? wide : wide.left(nul)).toUtf8());
  }

  void nothingLoadedIsNoDocument() {
    QWidget panel;
    WebViewAdapter web(&panel);
    QVERIFY(web.ViewAvailable());
    QVERIFY(!web.CapturePageMarkup().has_value());
  }

  void scriptMadeContentIsCaptured() {
    loopback::LoopbackHttpServer server(ServePath(
        "/result", loopback::OkReply("<html><head><title>r</title></head><body>"
                                     "<p>caf\xc3\xa9 \xe4\xb8\xad</p><div id=\"r\"></div><script>"
                                     "setTimeout(function () {"
                                     " document.getElementById('r').textContent ="
                                     " 'imgurl:\"http://127.0.0.1:9/late.png\"'; }, 150);"
                                     "</script></body></html>")));
    QWidget panel;
    WebViewAdapter web(&panel);
    QVERIFY(LoadAndWait(web, server.HttpBase() + "/result"));
    std::string markup;
    QTRY_VERIFY_WITH_TIMEOUT(
        (markup = web.CapturePageMarkup().value_or("")).find("late.png") != std::string::npos,
        10000);
    QVERIFY2(markup.find("imgurl:\"http://127.0.0.1:9/late.png\"") != std::string::npos,
             markup.c_str());
    QVERIFY(markup.rfind("<body>", 0) == 0);
    QVERIFY(markup.size() >= 7 && markup.substr(markup.size() - 7) == "</body>");
    QVERIFY(markup.find("caf\xc3\xa9 \xe4\xb8\xad") != std::string::npos);
    QVERIFY(markup.find("<title>") == std::string::npos);  // the body only
  }

  // The capture asks from the program's own script world, so a page that hides its body from
  // scripts is still captured as it stands.
  void pageScriptsCannotHideTheBody() {
    loopback::LoopbackHttpServer server(ServePath(
        "/hiding", loopback::OkReply("<html><body><i>imgurl:\"x\"</i><script>"
                                     "Object.defineProperty(document, 'body', {get: function "
                                     "() { return null; }});</script></body></html>")));
    QWidget panel;
    WebViewAdapter web(&panel);
    QVERIFY(LoadAndWait(web, server.HttpBase() + "/hiding"));
    const std::optional<std::string> markup = web.CapturePageMarkup();
    QVERIFY(markup.has_value());
    QVERIFY(markup->find("<i>imgurl:\"x\"</i>") != std::string::npos);
  }

  // A document without a body (an SVG picture shown on its own) counts as no document.
  void documentWithoutBodyIsNoDocument() {
    loopback::LoopbackHttpServer server(ServePath(
        "/picture.svg", loopback::OkReply("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" "
                                          "height=\"10\"><rect width=\"10\" height=\"10\"/></svg>",
                                          "image/svg+xml")));
    QWidget panel;
    WebViewAdapter web(&panel);
    QVERIFY(LoadAndWait(web, server.HttpBase() + "/picture.svg"));
    QVERIFY(!web.CapturePageMarkup().has_value());
  }

  // No answer within the limit is no document; the late answer then lands harmlessly.
  void noAnswerInTimeIsNoDocument() {
    loopback::LoopbackHttpServer server(
        ServePath("/page", loopback::OkReply("<html><body>x</body></html>")));
    QWidget panel;
    WebViewAdapter web(&panel);
    QVERIFY(LoadAndWait(web, server.HttpBase() + "/page"));
    QVERIFY(!web.CapturePageMarkup(std::chrono::milliseconds(0)).has_value());
    QTest::qWait(300);
    QCOMPARE(web.CapturePageMarkup().value_or(""), std::string("<body>x</body>"));
  }

  void viewThatCannotBeCreatedIsReplacedByANotice_data() {
    QTest::addColumn<bool>("throws");
    QTest::newRow("factory throws") << true;
    QTest::newRow("factory gives nothing") << false;
  }
  void viewThatCannotBeCreatedIsReplacedByANotice() {
    QFETCH(bool, throws);
    QWidget panel;
    WebViewAdapter web(&panel, throws ? &FailingFactory : &NullFactory);
    QVERIFY(!web.ViewAvailable());
    auto* notice = panel.findChild<QLabel*>("webUnavailable");
    QVERIFY(notice);
    QCOMPARE(notice->text(), QString(kWebViewUnavailableText));
    web.NavigateToSite(*SiteOfRow(1));
    QCOMPARE(web.RequestedAddresses(), std::vector<std::string>{SiteStartPage(*SiteOfRow(1))});
    QVERIFY(!web.CapturePageMarkup().has_value());
  }

  void pressWithNoPageShowsNoDocumentAndTheFirstLines_data() {
    QTest::addColumn<bool>("viewAvailable");
    QTest::newRow("nothing loaded") << true;
    QTest::newRow("no web view") << false;
  }
  void pressWithNoPageShowsNoDocumentAndTheFirstLines() {
    QFETCH(bool, viewAvailable);
    ProgramFolder folder;
    folder.WriteConfig("[IniParas]\r\nDefaultSite=-1\r\n");
    TForm1Options options = FormOptions(folder);
    if (!viewAvailable) options.viewFactory = &NullFactory;
    RecordingForm form(options);
    form.show();
    QVERIFY(form.web().RequestedAddresses().empty());
    const std::string saveFolder = folder.Path() + "pics";
    form.EditPath->setText(QString::fromStdString(saveFolder));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);
    QCOMPARE(form.messages, std::vector<std::string>{"Error: can not get document."});
    QCOMPARE(form.LogLines(), kFirstPaneLines);
    QCOMPARE(form.ButtonStart->text(), QString("Start download"));
    QVERIFY(form.Controller().StopRequested() && form.Controller().RunFinished());
    QVERIFY(QDir(QString::fromStdString(saveFolder)).exists());
    QVERIFY(!QFile::exists(QString::fromStdString(saveFolder + "/result_content.txt")));
    QVERIFY(form.close());
  }
};

PIXHAUL_APP_TEST_MAIN(WebCaptureTest)
#include "web_capture_test.moc"
