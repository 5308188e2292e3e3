// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The main window's status bar and its notes: the run's counts, which have the bar's room
// first, the run's outcome under the start button, the short-lived notes beside them, and the row
// that offers the site a page belongs to when the selected one found nothing on it.
#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "app/Unit1.h"
#include "app/qt_text.h"
#include "app/radio_group.h"
#include "app/status_label.h"
#include "download/run_texts.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// Room the run's counts may take before the notes beside them get some.
constexpr int kCountsRoom = 600;

}  // namespace

void TForm1::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  // Left, giving way: the home page address until a page is shown, then the notes.
  StatusText = new TStatusLabel(StatusBar1);
  StatusText->setObjectName("StatusText");
  StatusText->SetFullText(kHomePageAddress);
  StatusBar1->addWidget(StatusText, 1);
  LoadMoreText = new TStatusLabel(StatusBar1);
  LoadMoreText->setObjectName("LoadMoreText");
  StatusBar1->addWidget(LoadMoreText);
  ListSourceText = new TStatusLabel(StatusBar1);
  ListSourceText->setObjectName("ListSourceText");
  StatusBar1->addWidget(ListSourceText);
  // Right: the run's counts and its bar, first in line for room.
  LabelProgress = new TStatusLabel(StatusBar1);
  LabelProgress->setObjectName("LabelProgress");
  LabelProgress->SetRoomFirst(kCountsRoom);
  LabelProgress->hide();
  StatusBar1->addPermanentWidget(LabelProgress);
  ProgressBar1 = new QProgressBar(StatusBar1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setFixedWidth(120);
  ProgressBar1->hide();
  StatusBar1->addPermanentWidget(ProgressBar1);
  setStatusBar(StatusBar1);
}

void TForm1::BuildOutcomeRow(QBoxLayout& layout) {
  // Under the start button, wrapped onto the lines it needs: the outcome is never cut short.
  auto* row = new QHBoxLayout;
  LabelOutcome = new TStatusLabel(PanelLeft);
  LabelOutcome->setObjectName("LabelOutcome");
  LabelOutcome->SetWrapped(true);
  LabelOutcome->SetClickable(true);
  QFont bold = LabelOutcome->font();
  bold.setBold(true);
  LabelOutcome->setFont(bold);
  LabelOutcome->hide();
  connect(LabelOutcome, &TStatusLabel::Clicked, this,
          [this] { Guarded([this] { LabelOutcomeClick(); }); });
  LabelShowFailed = new TStatusLabel(PanelLeft);
  LabelShowFailed->setObjectName("LabelShowFailed");
  LabelShowFailed->SetFullText("Show failed");
  LabelShowFailed->SetClickable(true);
  LabelShowFailed->SetRoomFirst(200);  // short and fixed: never cut
  LabelShowFailed->hide();
  connect(LabelShowFailed, &TStatusLabel::Clicked, this,
          [this] { Guarded([this] { ShowFailed1Click(); }); });
  row->addWidget(LabelOutcome, 1);
  row->addWidget(LabelShowFailed, 0, Qt::AlignTop);
  layout.addLayout(row);
}

void TForm1::BuildWrongSiteRow(QBoxLayout& layout) {
  PanelWrongSite = new QWidget(PanelLeft);
  PanelWrongSite->setObjectName("PanelWrongSite");
  auto* row = new QHBoxLayout(PanelWrongSite);
  row->setContentsMargins(0, 0, 0, 0);
  LabelWrongSite = new QLabel(PanelWrongSite);
  LabelWrongSite->setObjectName("LabelWrongSite");
  LabelWrongSite->setTextFormat(Qt::PlainText);
  LabelWrongSite->setWordWrap(true);
  ButtonUseSite = new QPushButton(PanelWrongSite);
  ButtonUseSite->setObjectName("ButtonUseSite");
  connect(ButtonUseSite, &QPushButton::clicked, this, [this] { UseSuggestedSiteClick(); });
  row->addWidget(LabelWrongSite, 1);
  row->addWidget(ButtonUseSite);
  PanelWrongSite->hide();
  layout.addWidget(PanelWrongSite);
}

void TForm1::ClearNotes() {
  ListSourceText->SetFullText({});
  LoadMoreText->SetFullText({});
  suggestedSite_.reset();
  PanelWrongSite->hide();
}

void TForm1::ShowListSource(const std::string& note) { ListSourceText->SetFullText(Q(note)); }

void TForm1::ShowWrongSite(SiteId site) {
  suggestedSite_ = site;
  LabelWrongSite->setText(Q(WrongSiteNote(site)));
  ButtonUseSite->setText(Q(UseSiteCaption(site)));
  PanelWrongSite->show();
}

void TForm1::UseSuggestedSiteClick() {
  const std::optional<SiteId> site = suggestedSite_;
  if (!site || ButtonStart->text() != kStartDownloadCaption) return;
  {
    // The page shown is the one to download: the site is selected without its start page.
    keepPage_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{keepPage_};
    Guarded([this, row = site->Row()] { RadioGroup1->SetItemIndex(row); });
  }
  ButtonStartClick();
}

}  // namespace pixhaul
