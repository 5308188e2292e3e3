// The built program as a whole: the build places ini/ and the user manual beside it, and a
// start with an address on the command line shows the window and loads that address (served
// on the loopback; the stored settings select no site, so nothing else is loaded).
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/app/app_test_support.h"
#include "tests/app/loopback_http_server.h"

using namespace pixhaul;
using namespace pixhaul::apptest;

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
    LoopbackHttpServer server;
    server.Serve("/start", {.body = "<html><body>demo start page</body></html>"});
    QTemporaryDir programFolder;
    const QString program = programFolder.filePath("pixhaul");
    QVERIFY(QFile::copy(PIXHAUL_PROGRAM, program));
    QVERIFY(QDir(programFolder.path()).mkpath("ini"));
    {
      QFile config(programFolder.filePath("ini/config.ini"));
      QVERIFY(config.open(QIODevice::WriteOnly));
      config.write("[IniParas]\r\nDefaultPath=/tmp/pixhaul-startup-test\r\nDefaultSite=-1\r\n");
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QString::fromStdString(server.Address("/start"))});
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(server.RequestCount("/start") >= 1, 30000);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(10000));
  }
};

PIXHAUL_APP_TEST_MAIN(StartupTest)
#include "startup_test.moc"
