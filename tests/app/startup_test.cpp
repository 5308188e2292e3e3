// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The built program as a whole: the build places ini/ and the user manual beside it, and a
// start with an address on the command line shows the window and loads that address (served
// on the loopback; the stored settings select no site, so nothing else is loaded).
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <atomic>

#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void buildPlacesIniFolderAndManualBesideTheProgram() {
    const QDir programFolder = QFileInfo(PIXHAUL_PROGRAM).dir();
    QVERIFY(QFileInfo(programFolder.filePath("ini")).isDir());
    QFile manual(programFolder.filePath("help/help.chm"));
    QVERIFY(manual.open(QIODevice::ReadOnly));
    const QByteArray text = manual.readAll();
    QVERIFY(text.contains("<html"));
    QVERIFY(text.contains("Start download"));
  }

  void addressOnTheCommandLineIsLoadedAtStart() {
    std::atomic<int> startRequests{0};
    demo::LoopbackHttpServer server([&](const demo::HttpRequest& request) {
      if (request.target != "/start") return demo::HttpReply{404, "Not Found", {}, "", false};
      ++startRequests;
      return demo::OkReply("<html><body>demo start page</body></html>");
    });
    ProgramFolder programFolder;
    const QString program = QString::fromStdString(programFolder.Path() + "pixhaul");
    QVERIFY(QFile::copy(PIXHAUL_PROGRAM, program));
    programFolder.WriteConfig(
        "[IniParas]\r\nDefaultPath=/tmp/pixhaul-startup-test\r\nDefaultSite=-1\r\n");

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QString::fromStdString(server.HttpBase() + "/start")});
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(startRequests >= 1, 30000);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(10000));
  }
};

PIXHAUL_APP_TEST_MAIN(StartupTest)
#include "startup_test.moc"
