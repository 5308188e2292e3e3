// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The built program as a whole: the build places ini/ and the user manual beside it; a start
// with an address on the command line shows the window and loads that address (served on the
// loopback; the stored settings select no site, so nothing else is loaded); and the command
// line and the display are checked before any window, each failure ending with a line of text
// and its exit code, never the toolkit's abort.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>
#include <atomic>

#include "app/command_line.h"
#include "framework/build_info.h"
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
    loopback::LoopbackHttpServer server([&](const loopback::HttpRequest& request) {
      if (request.target != "/start") return loopback::HttpReply{404, "Not Found", {}, "", false};
      ++startRequests;
      return loopback::OkReply("<html><body>demo start page</body></html>");
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

  // Each row runs the program with only the environment variables it names. Standard output
  // is compared whole, or its start where the row says so; standard error likewise, or its end
  // where the toolkit's own message comes first.
  void commandLineAndDisplayAreCheckedBeforeAnyWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("outputIsStart");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<bool>("errorsAreEnd");

    const QString usage = QString::fromUtf8(kWindowUsage);
    const QString noDisplay = QString::fromUtf8(kNoDisplayMessage) + "\n";
    const QString version = QString::fromUtf8(kVersionText) + "\n";
    const QStringList none;
    const QStringList offscreen{"QT_QPA_PLATFORM=offscreen"};
    QTest::newRow("--help without a display")
        << QStringList{"--help"} << none << 0 << usage << true << QString() << false;
    QTest::newRow("--version without a display")
        << QStringList{"--version"} << none << 0 << version << false << QString() << false;
    QTest::newRow("-h like --help")
        << QStringList{"-h"} << none << 0 << usage << true << QString() << false;
    QTest::newRow("-v like --version")
        << QStringList{"-v"} << none << 0 << version << false << QString() << false;
    QTest::newRow("--version, xcb named without DISPLAY")
        << QStringList{"--version"} << QStringList{"QT_QPA_PLATFORM=xcb"} << 0 << version << false
        << QString() << false;
    QTest::newRow("unknown option without a display")
        << QStringList{"--bogus"} << none << kExitUsage << QString() << false
        << "pixhaul: unknown option --bogus\n" + usage << false;
    QTest::newRow("unknown option with a display")
        << QStringList{"--bogus"} << offscreen << kExitUsage << QString() << false
        << "pixhaul: unknown option --bogus\n" + usage << false;
    QTest::newRow("short option after an address")
        << QStringList{"http://127.0.0.1:9/", "-platform"} << offscreen << kExitUsage << QString()
        << false << "pixhaul: unknown option -platform\n" + usage << false;
    QTest::newRow("two addresses")
        << QStringList{"http://127.0.0.1:9/a", "http://127.0.0.1:9/b"} << offscreen << kExitUsage
        << QString() << false << "pixhaul: more than one address: http://127.0.0.1:9/b\n" + usage
        << false;
    QTest::newRow("no display, no address")
        << none << none << kExitNoDisplay << QString() << false << noDisplay << false;
    QTest::newRow("no display, an address")
        << QStringList{"http://127.0.0.1:9/"} << none << kExitNoDisplay << QString() << false
        << noDisplay << false;
    QTest::newRow("empty DISPLAY") << none << QStringList{"DISPLAY="} << kExitNoDisplay << QString()
                                   << false << noDisplay << false;
    QTest::newRow("xcb named, no DISPLAY")
        << none << QStringList{"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-0"} << kExitNoDisplay
        << QString() << false << noDisplay << false;
    QTest::newRow("wayland then xcb named, neither server")
        << none << QStringList{"QT_QPA_PLATFORM=wayland;xcb:nograb"} << kExitNoDisplay << QString()
        << false << noDisplay << false;
    // The environment names a display that does not answer, or a platform that does not
    // exist: the toolkit gives up with its message, and the program ends with its own line.
    QTest::newRow("DISPLAY names no server") << none << QStringList{"DISPLAY=:97"} << kExitNoDisplay
                                             << QString() << false << noDisplay << true;
    QTest::newRow("unknown platform") << none << QStringList{"QT_QPA_PLATFORM=nosuchplatform"}
                                      << kExitNoDisplay << QString() << false << noDisplay << true;
  }

  void commandLineAndDisplayAreCheckedBeforeAnyWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(bool, outputIsStart);
    QFETCH(QString, errors);
    QFETCH(bool, errorsAreEnd);

    QProcessEnvironment cleaned;
    for (const QString& entry : environment) {
      const qsizetype equals = entry.indexOf('=');
      cleaned.insert(entry.left(equals), entry.mid(equals + 1));
    }
    QProcess process;
    process.setProcessEnvironment(cleaned);
    process.start(PIXHAUL_PROGRAM, arguments);
    QVERIFY(process.waitForFinished(30000));
    const QString gotOutput = QString::fromUtf8(process.readAllStandardOutput());
    const QString gotErrors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);  // never an abort
    QCOMPARE(process.exitCode(), exitCode);
    if (outputIsStart) {
      QVERIFY2(gotOutput.startsWith(output) && gotOutput.size() > output.size(),
               qPrintable(gotOutput));
    } else {
      QCOMPARE(gotOutput, output);
    }
    if (errorsAreEnd) {
      QVERIFY2(gotErrors.endsWith(errors) && gotErrors.size() > errors.size(),
               qPrintable(gotErrors));
    } else {
      QCOMPARE(gotErrors, errors);
    }
  }
};

PIXHAUL_APP_TEST_MAIN(StartupTest)
#include "startup_test.moc"
