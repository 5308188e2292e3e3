// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The About dialog: its texts taken from the main window at every showing, the two links,
// the OK button, and the modal call from the Help menu.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/Unit2.h"
#include "app/link_label.h"
#include "app/shell_open.h"
#include "tests/app/app_test_support.h"

using namespace pixhaul;
using namespace pixhaul::test;

class AboutDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showsCaptionAndLinksOfTheMainWindow() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    TfrmAbout about(form.AboutDialogContent());
    QVERIFY(!about.isVisible());  // created hidden
    about.show();
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.Label3->text(), QString("Pixhaul 1.1"));
    QCOMPARE(about.Label4->text(), QString("http://www.pixhaul.example/"));
    QCOMPARE(about.Label7->text(), QString("mailto:support@pixhaul.example"));
    QCOMPARE(about.Label8->text(), QString("Written by the Pixhaul authors"));
    QCOMPARE(about.Label5->text(), QString("Homepage:"));
    QCOMPARE(about.Label6->text(), QString("Email:"));
    QCOMPARE(about.bLater->text(), QString("&OK"));
    QVERIFY(about.bLater->isDefault());
    QCOMPARE(about.Image1->size(), QSize(32, 32));
    QVERIFY(!about.Image1->pixmap().isNull());
    QVERIFY(about.Label3->font().underline());
    QVERIFY(about.Label4->font().underline());
    QCOMPARE(about.Label4->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(about.size(), QSize(377, 181));
    // The licence line beneath the panel, whole, and clear of the button.
    QCOMPARE(about.LabelLicence->text(), QString("Licensed under the MIT License"));
    QVERIFY(about.LabelLicence->isVisible());
    QVERIFY(about.LabelLicence->geometry().top() >= about.Panel1->geometry().bottom());
    QVERIFY(about.LabelLicence->geometry().bottom() < about.height());
    QVERIFY(!about.LabelLicence->geometry().intersects(about.bLater->geometry()));
    QVERIFY(about.LabelLicence->sizeHint().width() <= about.LabelLicence->width());
    about.bLater->click();
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));

    // Every showing reads the window again.
    form.setWindowTitle("Pixhaul 1.1 (changed)");
    form.HomePageAddress = "http://127.0.0.1:9/home";
    about.show();
    QCOMPARE(about.Label3->text(), QString("Pixhaul 1.1 (changed)"));
    QCOMPARE(about.Label4->text(), QString("http://127.0.0.1:9/home"));
    about.close();
  }

  void linksOpenHomePageAndMail() {
    std::vector<std::string> opened;
    SetShellOpenerForTesting([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    TfrmAbout about(form.AboutDialogContent());
    about.show();
    QTest::mouseClick(about.Label4, Qt::LeftButton);
    QTest::mouseClick(about.Label7, Qt::LeftButton);
    QTest::mouseClick(about.Label8, Qt::LeftButton);  // not a link
    const std::vector<std::string> expected{"http://www.pixhaul.example/",
                                            "mailto:support@pixhaul.example"};
    QCOMPARE(opened, expected);
    SetShellOpenerForTesting({});
    about.close();
  }

  void helpAboutShowsTheDialogModallyUntilOk() {
    ProgramFolder folder;
    RecordingForm form(FormOptions(folder));
    form.show();
    TfrmAbout about(form.AboutDialogContent());
    form.SetAboutDialog(&about);
    bool wasModal = false;
    QString shownCaption;
    QTimer::singleShot(200, &about, [&] {
      wasModal = about.isVisible() && about.isModal();
      shownCaption = about.Label3->text();
      about.bLater->click();
    });
    form.About1->trigger();  // returns once OK closed it
    QVERIFY(wasModal);
    QCOMPARE(shownCaption, QString("Pixhaul 1.1"));
    QVERIFY(!about.isVisible());
  }
};

PIXHAUL_APP_TEST_MAIN(AboutDialogTest)
#include "about_dialog_test.moc"
