// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The main window's shell: first start, stored settings (beside the program, or in the user's
// configuration folder once installed), the site selector's click rules, the folder picker,
// the close rule and the settings written on close, the menu commands.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBrowser>
#include <QWebEngineHistory>
#include <QWebEngineView>
#include <QtTest>
#include <atomic>

#include "app/application.h"
#include "app/help_viewer.h"
#include "app/radio_group.h"
#include "app/settings.h"
#include "app/shell_open.h"
#include "app/status_label.h"
#include "app/window_geometry.h"
#include "download/download_client.h"
#include "download/retry_policy.h"
#include "download/save_folder.h"
#include "framework/folder_lock.h"
#include "framework/program_layout.h"
#include "harvest/site_table.h"
#include "http/tls/openssl_intercept.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

namespace {

std::vector<std::string> StartPages(std::initializer_list<int> sites) {
  std::vector<std::string> pages;
  for (int site : sites) pages.push_back(SiteStartPage(*SiteOfRow(site)));
  return pages;
}

std::string Config(const std::string& path, const std::string& site) {
  return "[IniParas]\r\nDefaultPath=" + path + "\r\nDefaultSite=" + site + "\r\n";
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { pixhaul::CurrentSite = 0; }

  void firstStartWithoutSettingsFile() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    QCOMPARE(form.windowTitle(), QString("Pixhaul"));
    QCOMPARE(form.Memo1->toPlainText(), QString("[Log window]"));
    QCOMPARE(form.ButtonStart->text(), QString("Start download"));
    QVERIFY(form.web().RequestedAddresses().empty());

    form.show();
    QCOMPARE(form.windowTitle(), QString("Pixhaul 1.1"));
    QCOMPARE(form.EditPath->text().toStdString(), DefaultSaveFolder(HomeFolder()));
    QCOMPARE(DefaultSaveFolder(HomeFolder()),
             qEnvironmentVariable("HOME").toStdString() + "/images_download");
    QCOMPARE(form.RadioGroup1->ItemIndex(), 0);
    QCOMPARE(pixhaul::CurrentSite, 0);
    QCOMPARE(form.web().RequestedAddresses(), StartPages({0}));
    QCOMPARE(form.SettingsFilePath, folder.Path() + "ini/config.ini");
    QCOMPARE(form.HelpFilePath, folder.Path() + "help/help.chm");
    QCOMPARE(form.HomePageAddress, std::string("http://www.pixhaul.example/"));
    QCOMPARE(form.SupportMailLink, std::string("mailto:support@pixhaul.example"));
    QCOMPARE(form.LabelHowto->text(),
             QString("\n It is very easy to use, only 4 steps to download:\n"
                     " step 1: select the image site (bing/google/baidu). \n"
                     " step 2: input your search keyword in the right search box. \n"
                     " step 3: click search button.\n"
                     " step 4: click button 'Start download'\n."));
    QVERIFY(folder.ReadConfig().empty());  // reading creates nothing
    QVERIFY(form.messages.empty() && form.errors.empty());
  }

  void layoutHasTheNamedControls() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    QCOMPARE(form.PanelLeft->width(), 465);
    QCOMPARE(form.LabelHowto->size(), QSize(409, 109));
    QVERIFY(form.LabelHowto->wordWrap());
    QCOMPARE(form.GroupBoxHowto->title(), QString(" How to use "));
    QCOMPARE(form.RadioGroup1->title(), QString("Select image site"));
    const auto items = form.RadioGroup1->findChildren<QRadioButton*>();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QString("www.bing.com"));
    QCOMPARE(items[1]->text(), QString("images.google.com"));
    QCOMPARE(items[2]->text(), QString("image.baidu.com"));
    QCOMPARE(items[0]->y(), items[2]->y());  // one row
    QCOMPARE(form.Label1->text(), QString("Save images to: "));
    QCOMPARE(form.ButtonSelectPath->text(), QString("..."));
    QVERIFY(form.Memo1->isReadOnly());
    QCOMPARE(form.Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.StatusText->FullText(), QString("http://www.pixhaul.example/"));
    QVERIFY(form.findChild<QWidget*>("web") != nullptr);
    QCOMPARE(form.findChild<QWidget*>("web")->parentWidget(), form.PanelWeb);
    QCOMPARE(form.size(), QSize(990, 700));
  }

  void storedSiteIsSelectedClampedAndLoaded_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<std::vector<std::string>>("navigations");
    QTest::newRow("0 loads once") << "0" << 0 << StartPages({0});
    QTest::newRow("1 loads twice") << "1" << 1 << StartPages({1, 1});
    QTest::newRow("2 loads twice") << "2" << 2 << StartPages({2, 2});
    QTest::newRow("7 clamps to 2") << "7" << 2 << StartPages({2, 2});
    QTest::newRow("-1 loads nothing") << "-1" << -1 << StartPages({});
    QTest::newRow("-3 clamps to -1") << "-3" << -1 << StartPages({});
    QTest::newRow("abc is the default 0") << "abc" << 0 << StartPages({0});
    QTest::newRow("0x1 is hexadecimal") << "0x1" << 1 << StartPages({1, 1});
    QTest::newRow("$2 is hexadecimal") << "$2" << 2 << StartPages({2, 2});
    QTest::newRow("+1 has a sign") << "+1" << 1 << StartPages({1, 1});
  }
  void storedSiteIsSelectedClampedAndLoaded() {
    QFETCH(QString, stored);
    QFETCH(int, selected);
    QFETCH(std::vector<std::string>, navigations);
    ProgramFolder folder;
    folder.WriteConfig(Config("/tmp/pics", stored.toStdString()));
    RecordingForm form(FormOptions(folder));
    form.show();
    QCOMPARE(form.RadioGroup1->ItemIndex(), selected);
    QCOMPARE(pixhaul::CurrentSite, selected);
    QCOMPARE(form.web().RequestedAddresses(), navigations);
    QCOMPARE(form.EditPath->text(), QString("/tmp/pics"));
  }

  void storedPathIsCutTo2047Characters() {
    ProgramFolder folder;
    std::string longPath = "/";
    for (int i = 0; longPath.size() < 3000; ++i) longPath += char('a' + i % 26);
    folder.WriteConfig(Config(longPath, "0"));
    RecordingForm form(FormOptions(folder));
    form.show();
    QCOMPARE(form.EditPath->text().size(), 2047);
    QCOMPARE(form.EditPath->text().toStdString(), longPath.substr(0, 2047));
  }

  void selectorRunsOnlyOnAChangeOfSelection() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    QCOMPARE(form.web().RequestedAddresses().size(), size_t(1));
    auto items = form.RadioGroup1->findChildren<QRadioButton*>();

    QTest::mouseClick(items[0], Qt::LeftButton);  // already selected: no click raised
    QCOMPARE(form.web().RequestedAddresses().size(), size_t(1));

    QTest::mouseClick(items[1], Qt::LeftButton);  // the user picks Google
    QCOMPARE(pixhaul::CurrentSite, 1);
    QCOMPARE(form.web().RequestedAddresses().back(), SiteStartPage(*SiteOfRow(1)));
    QCOMPARE(form.web().RequestedAddresses().size(), size_t(2));

    form.RadioGroup1->SetItemIndex(2);  // code sets another index: the click runs too
    QCOMPARE(pixhaul::CurrentSite, 2);
    QCOMPARE(form.web().RequestedAddresses().back(), SiteStartPage(*SiteOfRow(2)));
    form.RadioGroup1->SetItemIndex(2);  // the same index: nothing
    QCOMPARE(form.web().RequestedAddresses().size(), size_t(3));

    form.RadioGroup1->SetItemIndex(-1);  // clearing checks no button, so no click
    QCOMPARE(form.RadioGroup1->ItemIndex(), -1);
    QCOMPARE(pixhaul::CurrentSite, 2);
    form.RadioGroup1Click();  // called directly with nothing selected: no navigation
    QCOMPARE(pixhaul::CurrentSite, -1);
    QCOMPARE(form.web().RequestedAddresses().size(), size_t(3));
  }

  void folderBrowserSetsTheTextOnlyWhenConfirmed() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    form.EditPath->setText("/kept");
    form.folderToChoose.reset();
    QTest::mouseClick(form.ButtonSelectPath, Qt::LeftButton);
    QCOMPARE(form.folderBrowserShown, 1);
    QCOMPARE(form.EditPath->text(), QString("/kept"));
    form.folderToChoose = "/home/ann/Pictures";
    QTest::mouseClick(form.ButtonSelectPath, Qt::LeftButton);
    QCOMPARE(form.EditPath->text(), QString("/home/ann/Pictures"));
  }

  void closeWithoutAnyRunIsAllowedAndWritesSettings() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    form.EditPath->setText("/data/my pics");
    QTest::mouseClick(form.RadioGroup1->findChildren<QRadioButton*>()[2], Qt::LeftButton);
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QVERIFY(form.messages.empty());
    QCOMPARE(folder.ReadConfig(), Config("/data/my pics", "2"));
  }

  void closeWithNoSiteSelectedWritesMinusOne() {
    ProgramFolder folder;
    folder.WriteConfig(Config("/p", "-3"));
    RecordingForm form(FormOptions(folder));
    form.show();
    QVERIFY(form.close());
    QCOMPARE(folder.ReadConfig(), Config("/p", "-1"));
  }

  void exitMenuClosesLikeTheTitleBar() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    form.Exit1->trigger();
    QVERIFY(!form.isVisible());
    QCOMPARE(folder.ReadConfig(), Config(DefaultSaveFolder(HomeFolder()), "0"));
  }

  // Without an ini folder the settings cannot be written: the error box names the file, and
  // the window still closes so that the user is never kept in the program.
  void unwritableSettingsAreReportedAndTheWindowStillCloses() {
    ProgramFolder folder(/*withIniFolder=*/false);
    RecordingForm form(FormOptions(folder));
    form.show();
    form.close();
    QVERIFY(!form.isVisible());
    QCOMPARE(form.errors.size(), size_t(1));
    QCOMPARE(form.errors[0], "Unable to write to " + folder.ConfigPath());
    QVERIFY(!QFile::exists(QString::fromStdString(folder.ConfigPath())));
  }

  // Installed - share/pixhaul/ beside the program's bin folder - the settings live in the
  // user's configuration folder ($XDG_CONFIG_HOME/pixhaul/, made at the first close) and the
  // manual is the installed one; the next start reads the settings back from there.
  void installedProgramKeepsSettingsInTheUserConfigFolder() {
    TempDir root;
    const QString prefix = QString::fromStdString(root.File("usr"));
    QVERIFY(QDir().mkpath(prefix + "/bin") && QDir().mkpath(prefix + "/share/pixhaul/help"));
    QVERIFY(QFile::copy(PIXHAUL_SOURCE_DIR "/app/help/help.html",
                        prefix + "/share/pixhaul/help/help.html"));
    const std::string config = root.File("home/ann/.config");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    TForm1Options options;
    options.programFolder = prefix.toStdString() + "/bin/";
    options.keepWindowPlace = false;  // the file is compared byte for byte

    {
      RecordingForm form(options);
      form.show();
      QCOMPARE(form.SettingsFilePath, config + "/pixhaul/config.ini");
      QCOMPARE(form.HelpFilePath, options.programFolder + "../share/pixhaul/help/help.html");
      QCOMPARE(form.EditPath->text().toStdString(), DefaultSaveFolder(HomeFolder()));
      form.EditPath->setText("/data/pics");
      QTest::mouseClick(form.RadioGroup1->findChildren<QRadioButton*>()[1], Qt::LeftButton);
      QVERIFY(form.close());
      QVERIFY(form.errors.empty());
    }
    QCOMPARE(ReadFileBytes(config + "/pixhaul/config.ini"), Config("/data/pics", "1"));
    QVERIFY(!QFileInfo::exists(prefix + "/bin/ini"));

    RecordingForm again(options);
    again.show();
    QCOMPARE(again.EditPath->text(), QString("/data/pics"));
    QCOMPARE(again.RadioGroup1->ItemIndex(), 1);
    again.UserManual1->trigger();
    QVERIFY(again.HelpViewer() && again.HelpViewer()->isVisible());
    QVERIFY(again.HelpViewer()->ShownText().contains("Start download"));
    QVERIFY(again.close());
    if (oldConfig.isNull()) {
      qunsetenv("XDG_CONFIG_HOME");
    } else {
      qputenv("XDG_CONFIG_HOME", oldConfig);
    }
  }

  void homePageAndManualCommands() {
    std::vector<std::string> opened;
    SetShellOpenerForTesting([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    form.gotohomepage1->trigger();
    QCOMPARE(opened, std::vector<std::string>{"http://www.pixhaul.example/"});

    form.UserManual1->trigger();  // no manual beside the program: nothing is reported
    QVERIFY(form.HelpViewer() == nullptr || !form.HelpViewer()->isVisible());
    QVERIFY(form.messages.empty() && form.errors.empty());

    QDir(QString::fromStdString(folder.Path())).mkpath("help");
    QVERIFY(QFile::copy(PIXHAUL_SOURCE_DIR "/app/help/help.html",
                        QString::fromStdString(form.HelpFilePath)));
    QVERIFY(QFile::copy(PIXHAUL_SOURCE_DIR "/app/help/load_more.png",
                        QString::fromStdString(folder.Path() + "help/load_more.png")));
    form.UserManual1->trigger();
    QVERIFY(form.HelpViewer() && form.HelpViewer()->isVisible());
    const QString manual = form.HelpViewer()->ShownText();
    for (const char* topic :
         {"step", "result_content.txt", "url_list.txt", "log.txt", "images", "Load more results"})
      QVERIFY2(manual.contains(topic), topic);
    // The manual's pictures are found beside it.
    auto* browser = form.HelpViewer()->findChild<QTextBrowser*>();
    QVERIFY(browser != nullptr);
    QVERIFY(!browser->loadResource(QTextDocument::ImageResource, QUrl("load_more.png")).isNull());
    SetShellOpenerForTesting({});
  }

  // Off unless the user turns it on; kept in config.ini, and the file of one who never does
  // holds the two described keys alone.
  void verifyCertificatesOptionIsKeptInTheSettings_data() {
    QTest::addColumn<QString>("stored");  // the key's line in config.ini, or none
    QTest::addColumn<bool>("shownChecked");
    QTest::addColumn<bool>("toggle");
    QTest::addColumn<QString>("written");  // the key's line at close, or none
    QTest::newRow("never turned on") << "" << false << false << "";
    QTest::newRow("turned on") << "" << false << true << "VerifyServerCertificates=1\r\n";
    QTest::newRow("kept on") << "VerifyServerCertificates=1\r\n"
                             << true << false << "VerifyServerCertificates=1\r\n";
    QTest::newRow("turned off") << "VerifyServerCertificates=1\r\n"
                                << true << true << "VerifyServerCertificates=0\r\n";
    QTest::newRow("not a number is off") << "VerifyServerCertificates=yes\r\n"
                                         << false << false << "VerifyServerCertificates=0\r\n";
  }
  void verifyCertificatesOptionIsKeptInTheSettings() {
    QFETCH(QString, stored);
    QFETCH(bool, shownChecked);
    QFETCH(bool, toggle);
    QFETCH(QString, written);
    ProgramFolder folder;
    folder.WriteConfig(Config("/tmp/pics", "0") + stored.toStdString());
    DownloadClient::SetVerifyServerCertificates(!shownChecked);  // as a window before left it
    RecordingForm form(FormOptions(folder));
    QStringList menus;
    for (QAction* menu : form.menuBar()->actions()) menus << menu->text();
    QCOMPARE(menus, QStringList({"File", "Go", "Options", "Page", "Run", "Help"}));
    QCOMPARE(form.VerifyCertificates1->text(), QString("Verify server certificates"));
    QVERIFY(form.VerifyCertificates1->isCheckable());

    form.show();
    QCOMPARE(form.VerifyCertificates1->isChecked(), shownChecked);
    QCOMPARE(DownloadClient::VerifyServerCertificates(), shownChecked);
    if (toggle) form.VerifyCertificates1->trigger();
    QCOMPARE(DownloadClient::VerifyServerCertificates(), shownChecked != toggle);
    // Every download made from now on follows the check.
    DownloadClient client;
    auto* tls = dynamic_cast<TIdConnectionInterceptOpenSSL*>(client.Http().Intercept());
    QVERIFY(tls != nullptr);
    QCOMPARE(tls->SSLOptions().VerifyServer, shownChecked != toggle);
    QVERIFY(form.close());
    QCOMPARE(folder.ReadConfig(), Config("/tmp/pics", "0") + written.toStdString());
    DownloadClient::SetVerifyServerCertificates(false);
  }

  // The download options: kept in config.ini only once set, applied to the runs, shown in one
  // line on the left panel, and edited in their dialog.
  void downloadOptionsAreKeptShownAndApplied_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("acceptWidth");  // -1: the dialog is cancelled
    QTest::addColumn<bool>("acceptSkip");
    QTest::addColumn<int>("acceptMax");
    QTest::addColumn<QString>("shownLine");  // after the dialog
    QTest::addColumn<QString>("written");
    QTest::newRow("never set") << "" << -1 << false << 0 << ""
                               << "";
    QTest::newRow("set in the dialog")
        << "" << 200 << true << 100
        << "Filters: \u2265 200\u00d7150, no duplicates \u00b7 up to 100 images \u00b7 2 retries"
        << "MinimumWidth=200\r\nMinimumHeight=150\r\nSkipDuplicates=1\r\nMaxImages=100\r\n"
           "Retries=2\r\n";
    QTest::newRow("kept from before")
        << "MinimumWidth=64\r\nMinimumHeight=0\r\nRetries=3\r\n"
        << -1 << false << 0 << "Filters: \u2265 64\u00d70 \u00b7 3 retries"
        << "MinimumWidth=64\r\nMinimumHeight=0\r\nRetries=3\r\n";
    QTest::newRow("turned off again")
        << "MinimumWidth=64\r\nSkipDuplicates=1\r\nMaxImages=7\r\n"
        << 0 << false << 0 << "Filters: \u2265 0\u00d7150 \u00b7 2 retries"
        << "MinimumWidth=0\r\nSkipDuplicates=0\r\nMaxImages=0\r\nMinimumHeight=150\r\n"
           "Retries=2\r\n";
    QTest::newRow("out of range counts as 0")
        << "MinimumWidth=-5\r\nMinimumHeight=999999\r\nRetries=11\r\nMaxImages=x\r\n"
        << -1 << false << 0 << ""
        << "MinimumWidth=0\r\nMinimumHeight=0\r\nRetries=0\r\nMaxImages=0\r\n";
  }
  void downloadOptionsAreKeptShownAndApplied() {
    QFETCH(QString, stored);
    QFETCH(int, acceptWidth);
    QFETCH(bool, acceptSkip);
    QFETCH(int, acceptMax);
    QFETCH(QString, shownLine);
    QFETCH(QString, written);
    ProgramFolder folder;
    folder.WriteConfig(Config("/tmp/pics", "0") + stored.toStdString());
    RecordingForm form(FormOptions(folder));
    QCOMPARE(form.DownloadOptions1->text(), QString("Download options\u2026"));
    form.show();
    const DownloadOptions before = form.CurrentDownloadOptions();
    QCOMPARE(form.Controller().Options(), before.run);
    if (acceptWidth >= 0) {
      DownloadOptions accepted;
      accepted.run = {{acceptWidth, 150, acceptSkip}, acceptMax, 2};
      form.optionsToAccept = accepted;
    }
    form.DownloadOptions1->trigger();
    QCOMPARE(form.optionsDialogShown.size(), size_t{1});
    QCOMPARE(form.optionsDialogShown[0], before);
    QCOMPARE(form.LabelFilters->text(), shownLine);
    QCOMPARE(form.LabelFilters->isVisibleTo(&form), !shownLine.isEmpty());
    QCOMPARE(form.Controller().Options(), form.CurrentDownloadOptions().run);
    QVERIFY(form.close());
    QCOMPARE(folder.ReadConfig(), Config("/tmp/pics", "0") + written.toStdString());
  }

  // The dialog shows the options it is given and gives back what its controls hold.
  void downloadOptionsDialogEditsTheOptions() {
    DownloadOptions options;
    options.run = {{320, 240, true}, 100, 3};
    TDownloadOptionsDialog dialog(options);
    QCOMPARE(dialog.SpinMinWidth->value(), 320);
    QCOMPARE(dialog.SpinMinHeight->value(), 240);
    QVERIFY(dialog.CheckSkipDuplicates->isChecked());
    QCOMPARE(dialog.SpinMaxImages->value(), 100);
    QCOMPARE(dialog.SpinRetries->value(), 3);
    QCOMPARE(dialog.Options(), options);
    dialog.SpinMinWidth->setValue(1000000);  // beyond the largest minimum
    dialog.CheckSkipDuplicates->setChecked(false);
    dialog.SpinMaxImages->setValue(0);
    QCOMPARE(dialog.SpinMaxImages->text(), QString("all"));
    dialog.SpinRetries->setValue(99);
    QCOMPARE(dialog.Options().run, (RunOptions{{kMaxMinimumSide, 240, false}, 0, kMaxRetries}));
  }

  // "Proxy: as the system / none / this one: URL", in the download options: kept in config.ini
  // once changed, and followed by every download made from then on. As the system, a download
  // asks Qt's system proxy query, which here reads the environment's http_proxy.
  void proxySettingIsKeptAndFollowed_data() {
    QTest::addColumn<QString>("stored");  // Proxy and ProxyAddress lines in config.ini
    QTest::addColumn<int>("acceptMode");  // -1: the dialog is cancelled
    QTest::addColumn<QString>("acceptAddress");
    QTest::addColumn<QString>("proxyFor");  // the proxy of a download of http://img.test/
    QTest::addColumn<QString>("written");   // the lines at close
    const int system = int(ProxyMode::kSystem), none = int(ProxyMode::kNone),
              thisOne = int(ProxyMode::kThisOne);
    QTest::newRow("as the system, never changed") << "" << -1 << ""
                                                  << "http://127.0.0.1:3128"
                                                  << "";
    QTest::newRow("none chosen") << "" << none << ""
                                 << ""
                                 << "Proxy=none\r\nProxyAddress=\r\n";
    QTest::newRow("this one chosen") << "" << thisOne << "socks5h://ann@[::1]:1080"
                                     << "socks5h://ann@[::1]:1080"
                                     << "Proxy=this\r\nProxyAddress=socks5h://ann@[::1]:1080\r\n";
    QTest::newRow("this one kept") << "Proxy=this\r\nProxyAddress=p:8080\r\n"
                                   << -1 << ""
                                   << "http://p:8080"
                                   << "Proxy=this\r\nProxyAddress=p:8080\r\n";
    QTest::newRow("back to the system") << "Proxy=none\r\nProxyAddress=\r\n"
                                        << system << ""
                                        << "http://127.0.0.1:3128"
                                        << "Proxy=system\r\nProxyAddress=\r\n";
  }
  void proxySettingIsKeptAndFollowed() {
    QFETCH(QString, stored);
    QFETCH(int, acceptMode);
    QFETCH(QString, acceptAddress);
    QFETCH(QString, proxyFor);
    QFETCH(QString, written);
    qputenv("http_proxy", "http://127.0.0.1:3128");
    ProgramFolder folder;
    folder.WriteConfig(Config("/tmp/pics", "0") + stored.toStdString());
    RecordingForm form(FormOptions(folder));
    form.show();
    if (acceptMode >= 0) {
      DownloadOptions accepted = form.CurrentDownloadOptions();
      accepted.proxy = {ProxyMode(acceptMode), acceptAddress.toStdString()};
      form.optionsToAccept = accepted;
    }
    form.DownloadOptions1->trigger();
    DownloadClient client;
    const std::optional<ProxyServer> proxy = client.Http().Proxies.For("http", "img.test", 80);
    QCOMPARE(QString::fromStdString(proxy ? ProxyDisplayAddress(*proxy) : ""), proxyFor);
    QVERIFY(form.close());
    QCOMPARE(folder.ReadConfig(), Config("/tmp/pics", "0") + written.toStdString());
    qunsetenv("http_proxy");
    DownloadClient::SetProxyChoice(ProxyChoice::None());
  }

  // The dialog shows the proxy setting it is given, and accepts "this one" only with an address
  // the downloads can speak.
  void downloadOptionsDialogEditsTheProxy() {
    DownloadOptions options;
    options.proxy = {ProxyMode::kThisOne, "https://p:443"};
    TDownloadOptionsDialog dialog(options);
    QVERIFY(dialog.RadioProxyThisOne->isChecked());
    QVERIFY(dialog.EditProxy->isEnabled());
    QCOMPARE(dialog.Options(), options);
    dialog.show();
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.LabelProxyProblem->text().startsWith("Not a proxy address"));
    dialog.EditProxy->setText("http://p:3128");
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    dialog.RadioProxyNone->setChecked(true);
    QVERIFY(!dialog.EditProxy->isEnabled());
    QCOMPARE(dialog.Options().proxy, (ProxySetting{ProxyMode::kNone, "http://p:3128"}));
  }

  // The window comes back where it was closed, once the user has moved or resized it, and
  // always whole on a screen.
  void windowPlaceIsKeptAndComesBackOnScreen() {
    const QRect screen(0, 0, 1280, 800);
    QCOMPARE(ClampedToScreen({100, 50, 990, 700}, screen), QRect(100, 50, 990, 700));
    QCOMPARE(ClampedToScreen({-5000, -20, 990, 700}, screen), QRect(0, 0, 990, 700));
    QCOMPARE(ClampedToScreen({900, 600, 990, 700}, screen), QRect(290, 100, 990, 700));
    QCOMPARE(ClampedToScreen({10, 10, 3000, 2000}, screen), QRect(0, 0, 1280, 800));
    QCOMPARE(ClampedToScreen({1300, 5, 500, 400}, {1280, 0, 1920, 1080}), QRect(1300, 5, 500, 400));

    ProgramFolder folder;
    folder.WriteConfig(Config("/tmp/pics", "0"));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    TForm1Options options = FormOptions(folder);
    options.keepWindowPlace = true;
    QRect placed;
    {
      RecordingForm form(options);
      form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&form));
      const QSize size = form.minimumSizeHint().expandedTo(QSize(400, 300));
      form.setGeometry(QRect(available.topLeft() + QPoint(11, 13), size));
      QCoreApplication::processEvents();
      placed = form.geometry();
      QVERIFY(form.close());
    }
    const std::string place = "WindowLeft=" + std::to_string(placed.left()) +
                              "\r\nWindowTop=" + std::to_string(placed.top()) +
                              "\r\nWindowWidth=" + std::to_string(placed.width()) +
                              "\r\nWindowHeight=" + std::to_string(placed.height()) + "\r\n";
    QCOMPARE(folder.ReadConfig(), Config("/tmp/pics", "0") + place);
    {
      RecordingForm form(options);
      form.show();
      QCOMPARE(form.geometry(), OnScreen(placed));
      QVERIFY(form.close());
    }
    // A place off every screen comes back on one.
    folder.WriteConfig(Config("/tmp/pics", "0") + "WindowLeft=-5000\r\nWindowTop=-4000\r\n" +
                       "WindowWidth=" + std::to_string(placed.width()) +
                       "\r\nWindowHeight=" + std::to_string(placed.height()) + "\r\n");
    RecordingForm form(options);
    form.show();
    QVERIFY(available.contains(form.geometry().topLeft()));
    QVERIFY(form.close());
  }

  void pressWithAFolderThatCannotBeMadeLeavesThePaneAlone_data() {
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<bool>("heldByAnotherRun");
    QTest::newRow("empty text") << QString() << false;
    QTest::newRow("parent missing") << QString("/nonexistent-pixhaul-parent/pics") << false;
    QTest::newRow("another run saves there") << QString("pics") << true;
  }
  void pressWithAFolderThatCannotBeMadeLeavesThePaneAlone() {
    QFETCH(QString, folderText);
    QFETCH(bool, heldByAnotherRun);
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    std::string text = folderText.toStdString();
    FolderLock otherRun;
    if (heldByAnotherRun) {
      text = folder.Path() + text;
      QVERIFY(QDir().mkpath(QString::fromStdString(text)));
      otherRun = FolderLock::TryLock(text);
      QVERIFY(otherRun.GetState() == FolderLock::State::kHeld);
    }
    form.EditPath->setText(QString::fromStdString(text));
    QTest::mouseClick(form.ButtonStart, Qt::LeftButton);
    const std::string message = heldByAnotherRun ? "Another run is saving into " + text + "."
                                                 : "Create directory " + text + " Failed.";
    QCOMPARE(form.messages, std::vector<std::string>{message});
    QCOMPARE(form.LogLines(), std::vector<std::string>{"[Log window]"});
    if (heldByAnotherRun) QVERIFY(QDir(QString::fromStdString(text)).isEmpty());
    QCOMPARE(form.ButtonStart->text(), QString("Start download"));
    QVERIFY(form.close());
  }

  void logPaneSplitsLineBreaksIntoLines() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.ClearLog();
    QVERIFY(form.LogLines().empty());
    form.AppendLogLine("");
    form.AppendLogLine("a\r\nb");
    form.AppendLogLine("c\nd\re");
    const std::vector<std::string> expected{"", "a", "b", "c", "d", "e"};
    QCOMPARE(form.LogLines(), expected);
    QCOMPARE(form.Memo1->toPlainText(), QString("\na\nb\nc\nd\ne"));
  }

  // A folder typed as "/tmp/<b>x" must appear as typed, not as a bold "x".
  // However long a status-bar text, the window keeps its width: the text is elided to its
  // room and whole in the tooltip, and the run's counts and outcome are too.
  void statusBarTextsNeverWidenTheWindow() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    const QSize before = form.size();
    const QString note =
        "Addresses found by the current-layout rules for " + QString(400, QChar('x'));
    form.ShowListSource(note.toStdString());
    form.ShowProgress(RunProgress{123456789, 123456789, 12345678, 1234567, 123456, true});
    QCoreApplication::processEvents();
    QTest::qWait(50);
    QCOMPARE(form.size(), before);
    QCOMPARE(form.ListSourceText->FullText(), note);
    QCOMPARE(form.ListSourceText->toolTip(), note);
    QVERIFY(form.ListSourceText->text().endsWith(QChar(0x2026)));
    QVERIFY(form.ListSourceText->text().size() < note.size());
    QVERIFY(form.StatusBar1->width() <= before.width());
    QVERIFY(form.ListSourceText->geometry().right() <= form.StatusBar1->width());

    form.ShowProgress(RunProgress{123456789, 123456789, 12345678, 1234567, 123456, false, true});
    QCoreApplication::processEvents();
    QTest::qWait(50);
    QCOMPARE(form.size(), before);
    QCOMPARE(form.LabelOutcome->FullText(),
             QString("Stopped: 12345678 of 123456789 saved, 1234567 failed, 123456 skipped, "
                     "109876544 still running"));
    QCOMPARE(form.ProgressBar1->format(), QString("Stopped"));
    QVERIFY(form.ProgressBar1->value() < form.ProgressBar1->maximum());
    // The home page address went with the first page shown.
    QCOMPARE(form.StatusText->FullText(), QString());
  }

  // The longest outcome the summary gives, with five-digit counts, is whole at the default
  // size and above, whatever notes stand beside it; and the notes go when a run starts, the
  // page changes or the site changes.
  void outcomeIsWholeAndNotesAreShortLived() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    QVERIFY(ShowWithStartPageLoaded(form));
    RunProgress longest;
    longest.saved = longest.failed = longest.notImages = longest.filtered = longest.duplicates =
        longest.skipped = longest.limit = longest.notStarted = 12345;
    longest.started = longest.saved + longest.NotSaved();
    longest.addresses = longest.started + longest.skipped + longest.notStarted;
    const QString whole =
        "Finished: 12345 saved, 12345 failed, 12345 not images, 12345 filtered, 12345 "
        "duplicates, 12345 skipped (limit of 12345 reached, 12345 not started)";
    for (const QSize size : {QSize(990, 700), QSize(1280, 800)}) {
      form.resize(size);
      form.ShowListSource("Addresses found by the current-layout rules for images.google.com");
      form.LoadMoreText->SetFullText("Loaded more results: 30 \u2192 300");
      form.ShowProgress(longest);
      QCoreApplication::processEvents();
      QTest::qWait(50);
      QCOMPARE(form.size(), size);
      QCOMPARE(form.LabelOutcome->FullText(), whole);
      QCOMPARE(form.LabelOutcome->text(), whole);  // not elided, and given the lines it needs
      QVERIFY(form.LabelOutcome->isVisible());
      QVERIFY(form.LabelOutcome->height() >=
              form.LabelOutcome->heightForWidth(form.LabelOutcome->width()));
      QVERIFY(form.LabelOutcome->geometry().right() <= form.PanelLeft->width());
      QVERIFY(form.ProgressBar1->isVisible());
    }

    const auto notesShown = [&] {
      return !form.ListSourceText->FullText().isEmpty() ||
             !form.LoadMoreText->FullText().isEmpty() || form.PanelWrongSite->isVisible();
    };
    const auto setNotes = [&] {
      form.ShowListSource("Addresses found by the current-layout rules for www.bing.com");
      form.LoadMoreText->SetFullText("Loaded more results: 30 \u2192 300");
      form.ShowWrongSite(*SiteOfRow(1));
    };
    setNotes();
    QVERIFY(form.PanelWrongSite->isVisible());
    QCOMPARE(form.LabelWrongSite->text(),
             QString("This page is from images.google.com; the selected site found nothing on it"));
    QCOMPARE(form.ButtonUseSite->text(), QString("Use Google for this page"));
    form.RadioGroup1->SetItemIndex(2);
    QVERIFY(!notesShown());
    setNotes();
    QSignalSpy loaded(form.web().View(), &QWebEngineView::loadFinished);
    form.web().Navigate("about:blank");
    QVERIFY(loaded.wait(20000));
    QVERIFY(!notesShown());
    setNotes();
    form.EditPath->setText(QString::fromStdString(folder.Path() + "run"));
    form.ButtonStartClick();
    QVERIFY(!notesShown());
  }

  // File, Open save folder hands the save folder, absolute, to the desktop; it is disabled
  // while the folder does not exist, and a desktop that cannot open it is answered by a box.
  void openSaveFolderHandsTheFolderToTheDesktop() {
    std::vector<std::string> opened;
    SetShellOpenerForTesting([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    QCOMPARE(form.OpenSaveFolder1->text(), QString("Open save folder"));
    QVERIFY(form.menuBar()->actions().first()->menu()->actions().contains(form.OpenSaveFolder1));

    const QString saveFolder = QString::fromStdString(folder.Path() + "pictures");
    QVERIFY(QDir().mkpath(saveFolder));
    form.EditPath->setText(saveFolder + "/");
    form.OpenSaveFolder1->trigger();
    QCOMPARE(opened, std::vector<std::string>{QDir::cleanPath(saveFolder).toStdString()});

    // A relative text names a folder of the current one, as a run takes it.
    const QString current = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(folder.Path())));
    form.EditPath->setText("pictures");
    form.OpenSaveFolder1->trigger();
    QVERIFY(QDir::setCurrent(current));
    QCOMPARE(opened.size(), size_t{2});
    QCOMPARE(opened[1], opened[0]);

    // No folder, no command.
    form.EditPath->setText(saveFolder + "/not-yet");
    QVERIFY(!form.OpenSaveFolder1->isEnabled());
    form.OpenSaveFolder1->trigger();
    QCOMPARE(opened.size(), size_t{2});
    QVERIFY(form.messages.empty());
    form.EditPath->setText(saveFolder);
    QVERIFY(form.OpenSaveFolder1->isEnabled());

    // A desktop that opens nothing: the box says so with the path, and copies it on request.
    SetShellOpenerForTesting([](const std::string&) { return false; });
    QApplication::clipboard()->clear();
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      shown = box->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == "Copy path") button->click();
      }
    });
    poll.start(10);
    form.OpenSaveFolder1->trigger();
    poll.stop();
    const QString path = QDir::cleanPath(saveFolder);
    QCOMPARE(shown, "The desktop could not open the folder (no file manager took it):\n" + path);
    QCOMPARE(QApplication::clipboard()->text(), path);
    SetShellOpenerForTesting({});
  }

  // Go, Back, Forward and Reload walk the web view's history with the usual shortcuts, so that
  // a result page clicked away from can be had again.
  void goMenuWalksTheWebViewsHistory() {
    std::atomic<int> requestsOfB{0};
    loopback::LoopbackHttpServer server([&](const loopback::HttpRequest& request) {
      if (request.target == "/b.html") ++requestsOfB;
      return loopback::OkReply("<html><body>" + request.target + "</body></html>");
    });
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    QCOMPARE(form.Back1->text(), QString("Back"));
    QCOMPARE(form.Forward1->text(), QString("Forward"));
    QCOMPARE(form.Reload1->text(), QString("Reload"));
    QCOMPARE(form.Back1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Left));
    QCOMPARE(form.Forward1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Right));
    QCOMPARE(form.Reload1->shortcut(), QKeySequence(Qt::Key_F5));
    bool inGoMenu = false;
    for (QAction* menu : form.menuBar()->actions()) {
      if (menu->text() == "Go") inGoMenu = menu->menu()->actions().contains(form.Back1);
    }
    QVERIFY(inGoMenu);

    QWebEngineView* view = form.web().View();
    QVERIFY(view != nullptr);
    const auto loaded = [&](const std::function<void()>& act) {
      QSignalSpy finished(view, &QWebEngineView::loadFinished);
      act();
      return finished.wait(20000) && finished.first().first().toBool();
    };
    const QString a = QString::fromStdString(server.HttpBase() + "/a.html");
    const QString b = QString::fromStdString(server.HttpBase() + "/b.html");
    QVERIFY(loaded([&] { form.web().Navigate(a.toStdString()); }));
    QVERIFY(loaded([&] { form.web().Navigate(b.toStdString()); }));
    QCOMPARE(view->url().toString(), b);
    QVERIFY(loaded([&] { form.Back1->trigger(); }));
    QCOMPARE(view->url().toString(), a);
    QVERIFY(loaded([&] { form.Forward1->trigger(); }));
    QCOMPARE(view->url().toString(), b);
    const int before = requestsOfB;
    QVERIFY(loaded([&] { form.Reload1->trigger(); }));
    QCOMPARE(view->url().toString(), b);
    QVERIFY(requestsOfB > before);
  }

  // Back and Forward are enabled only when there is somewhere to go, through a history of
  // three pages; the Run menu has the button's presses with their shortcuts and "Clear log",
  // which the log pane's context menu has too.
  void historyAndRunCommandsAreWhereTheyWork() {
    loopback::LoopbackHttpServer server([&](const loopback::HttpRequest& request) {
      return loopback::OkReply("<html><body>" + request.target + "</body></html>");
    });
    ProgramFolder folder;
    folder.WriteConfig(Config(folder.Path() + "pics", "-1"));  // no start page is loaded
    RecordingForm form(FormOptions(folder));
    form.show();
    form.activateWindow();  // no window manager under a bare X server does it
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWebEngineView* view = form.web().View();
    const auto states = [&] {
      return std::pair{form.Back1->isEnabled(), form.Forward1->isEnabled()};
    };
    const auto loaded = [&](const std::function<void()>& act) {
      QSignalSpy finished(view, &QWebEngineView::loadFinished);
      act();
      return finished.wait(20000) && finished.first().first().toBool();
    };
    QCOMPARE(states(), std::pair(false, false));
    const std::string base = server.HttpBase();
    QVERIFY(loaded([&] { form.web().Navigate(base + "/a.html"); }));
    QCOMPARE(states(), std::pair(false, false));
    QVERIFY(loaded([&] { form.web().Navigate(base + "/b.html"); }));
    QCOMPARE(states(), std::pair(true, false));
    QVERIFY(loaded([&] { form.web().Navigate(base + "/c.html"); }));
    QCOMPARE(states(), std::pair(true, false));
    QVERIFY(loaded([&] { form.Back1->trigger(); }));
    QCOMPARE(states(), std::pair(true, true));
    QVERIFY(loaded([&] { form.Back1->trigger(); }));
    QCOMPARE(view->url().toString(), QString::fromStdString(base + "/a.html"));
    QCOMPARE(states(), std::pair(false, true));
    QVERIFY(loaded([&] { form.Forward1->trigger(); }));
    QVERIFY(loaded([&] { form.Forward1->trigger(); }));
    QCOMPARE(view->url().toString(), QString::fromStdString(base + "/c.html"));
    QCOMPARE(states(), std::pair(true, false));

    QMenu* run = nullptr;
    for (QAction* menu : form.menuBar()->actions()) {
      if (menu->text() == "Run") run = menu->menu();
    }
    QVERIFY(run != nullptr);
    for (QAction* action : {form.StartDownload1, form.Stop1, form.RetryFailed1, form.ClearLog1})
      QVERIFY2(run->actions().contains(action), qPrintable(action->text()));
    QCOMPARE(form.StartDownload1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
    QCOMPARE(form.Stop1->shortcut(), QKeySequence(Qt::Key_Escape));
    QVERIFY(form.StartDownload1->isEnabled());
    QVERIFY(!form.Stop1->isEnabled());
    QVERIFY(form.LogPaneMenu()->actions().contains(form.ClearLog1));

    // Ctrl+Return runs the page shown; Clear log empties the pane afterwards.
    QTest::keyClick(form.Memo1, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(QFile::exists(QString::fromStdString(folder.Path() + "pics/log.txt")));
    QCOMPARE(form.LogLines().front(), std::string("Log:"));
    QVERIFY(form.ClearLog1->isEnabled());
    form.ClearLog1->trigger();
    QVERIFY(form.LogLines().empty());
    QCOMPARE(form.Memo1->toPlainText(), QString());
  }

  void messageBoxesShowTheirTextAsPlainText() {
    const std::string text = "Create directory /tmp/<b>x</b> Failed.";
    ProgramFolder folder;
    TForm1 form(FormOptions(folder));
    const std::pair<const char*, std::function<void()>> boxes[] = {
        {"message", [&] { form.ShowMessage(text); }},
        {"handler error", [&] { form.ShowError(text); }},
        {"start-up error", [&] { ShowErrorBox(text); }},
    };
    for (const auto& [name, show] : boxes) {
      QString shownText;
      Qt::TextFormat shownFormat = Qt::RichText;
      bool seen = false;
      QTimer poll;
      QElapsedTimer waited;
      waited.start();
      QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
          if (waited.elapsed() > 10000) QApplication::closeAllWindows();  // never hang the suite
          return;
        }
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
          shownText = label->text();
          shownFormat = label->textFormat();
        }
        seen = true;
        box->done(QMessageBox::Ok);
      });
      poll.start(10);
      show();
      poll.stop();
      QVERIFY2(seen, name);
      QCOMPARE(shownFormat, Qt::PlainText);
      QCOMPARE(shownText.toStdString(), text);
    }
  }
};

PIXHAUL_APP_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
