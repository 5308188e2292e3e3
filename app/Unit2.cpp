// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/Unit2.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "app/link_label.h"
#include "app/program_icon.h"
#include "app/shell_open.h"

namespace pixhaul {

namespace {

QFont WithPixelSize(QFont font, int pixels) {
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

TfrmAbout::TfrmAbout(AboutContent content, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), content_(std::move(content)) {
  setObjectName("frmAbout");
  setWindowTitle("About");
  setFont(WithPixelSize(font(), 11));
  setFixedSize(377, 181);
  setModal(true);

  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(0, 0, 377, 145);
  // A raised inner bevel inside a lowered outer one.
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(1);
  auto* inner = new QFrame(Panel1);
  inner->setGeometry(2, 2, 373, 141);
  inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
  inner->setLineWidth(1);
  Panel1->setFont(WithPixelSize(font(), 13));

  Label3 = new QLabel(Panel1);
  Label3->setObjectName("Label3");
  QFont underlined = Panel1->font();
  underlined.setUnderline(true);
  Label3->setFont(underlined);
  Label3->setGeometry(16, 14, 208, 20);

  Label8 = new QLabel(kAuthorCredit, Panel1);
  Label8->setObjectName("Label8");
  Label8->setGeometry(16, 40, 280, 20);

  Image1 = new QLabel(Panel1);
  Image1->setObjectName("Image1");
  Image1->setGeometry(328, 14, 32, 32);
  Image1->setPixmap(ProgramIcon(32));
  Image1->setAttribute(Qt::WA_TranslucentBackground);

  Label5 = new QLabel("Homepage:", Panel1);
  Label5->setObjectName("Label5");
  Label5->setGeometry(16, 80, 76, 20);
  Label4 = new TLinkLabel(Panel1);
  Label4->setObjectName("Label4");
  Label4->move(96, 80);
  connect(Label4, &TLinkLabel::Clicked, this, [this] { Label4Click(); });

  Label6 = new QLabel("Email:", Panel1);
  Label6->setObjectName("Label6");
  Label6->setGeometry(16, 106, 76, 20);
  Label7 = new TLinkLabel(Panel1);
  Label7->setObjectName("Label7");
  Label7->move(96, 106);
  connect(Label7, &TLinkLabel::Clicked, this, [this] { Label7Click(); });

  // Beneath the panel, beside the button: the licence the program is distributed under.
  LabelLicence = new QLabel(kLicenceLine, this);
  LabelLicence->setObjectName("LabelLicence");
  LabelLicence->setTextFormat(Qt::PlainText);
  LabelLicence->setGeometry(10, 153, 276, 20);

  bLater = new QPushButton("&OK", this);
  bLater->setObjectName("bLater");
  bLater->setGeometry(292, 151, 75, 25);
  bLater->setDefault(true);
  connect(bLater, &QPushButton::clicked, this, [this] { bLaterClick(); });
}

void TfrmAbout::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TfrmAbout::FormShow() {
  Label4->setText(QString::fromStdString(content_.homePageAddress()));
  Label4->adjustSize();
  Label7->setText(QString::fromStdString(content_.supportMailLink()));
  Label7->adjustSize();
  Label3->setText(content_.caption());
}

void TfrmAbout::Label4Click() { ShellOpen(content_.homePageAddress()); }

void TfrmAbout::Label7Click() { ShellOpen(content_.supportMailLink()); }

void TfrmAbout::bLaterClick() { accept(); }

}  // namespace pixhaul
