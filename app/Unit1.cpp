// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <exception>

#include "app/Unit2.h"
#include "app/application.h"
#include "app/help_viewer.h"
#include "app/program_icon.h"
#include "app/qt_text.h"
#include "app/radio_group.h"
#include "app/run_state_view.h"
#include "app/settings.h"
#include "app/shell_open.h"
#include "app/status_label.h"
#include "app/window_geometry.h"
#include "download/download_client.h"
#include "download/run_texts.h"
#include "download/save_folder.h"
#include "download/wrong_site.h"
#include "framework/program_layout.h"
#include "harvest/rules_file.h"
#include "harvest/site_table.h"

namespace pixhaul {

int CurrentSite = 0;

namespace {

constexpr const char* kStartCaption = "Pixhaul";
constexpr const char* kShownCaption = "Pixhaul 1.1";
constexpr const char* kFolderBrowserTitle = "Select path to save";
// The steps name the sites of the table: "(bing/google/baidu)".
std::string HowtoText() {
  std::string sites;
  for (const SiteId site : AllSites()) sites += (sites.empty() ? "" : "/") + SiteName(site);
  return "\n It is very easy to use, only 4 steps to download:\n"
         " step 1: select the image site (" +
         sites +
         "). \n"
         " step 2: input your search keyword in the right search box. \n"
         " step 3: click search button.\n"
         " step 4: click button 'Start download'\n.";
}

const QColor kCream(255, 251, 240);
const QColor kGreen(0, 128, 0);

void PaintCream(QWidget* widget, QPalette::ColorRole role) {
  QPalette palette = widget->palette();
  palette.setColor(role, kCream);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  setObjectName("Form1");
  setWindowTitle(kStartCaption);
  setWindowIcon(QIcon(ProgramIcon(32)));
  QFont windowFont = font();
  windowFont.setPixelSize(13);
  setFont(windowFont);
  resize(990, 700);
  BuildControls();
  BuildMenu();
  controller_ = std::make_unique<TRunController>(*this, options_.timings);
  loader_ = new ResultLoader(
      *web_, [this] { return CurrentSite(); },
      [this] {
        return RulesFileLocation{RulesFileBesideSettings(SettingsFilePath), false};
      },
      options_.loaderTimings, this);
  connect(loader_, &ResultLoader::Progress, this,
          [this](int first, int now) { ShowLoading(true, LoadingText(first, now)); });
  connect(loader_, &ResultLoader::Finished, this, [this](const LoadOutcome& outcome) {
    ShowLoading(false, LoadEndText(outcome, loader_->Timings()));
  });
  // The rules file lives with the settings file, wherever that is when a run starts.
  controller_->SetRulesFile([this] {
    return RulesFileLocation{RulesFileBesideSettings(SettingsFilePath), false};
  });
}

TForm1::~TForm1() = default;

void TForm1::BuildControls() {
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  setCentralWidget(central);

  PanelLeft = new QWidget(central);
  PanelLeft->setObjectName("PanelLeft");
  PanelLeft->setFixedWidth(465);
  row->addWidget(PanelLeft);
  auto* left = new QVBoxLayout(PanelLeft);

  GroupBoxHowto = new QGroupBox(" How to use ", PanelLeft);
  GroupBoxHowto->setObjectName("GroupBoxHowto");
  auto* howtoLayout = new QVBoxLayout(GroupBoxHowto);
  LabelHowto = new QLabel(GroupBoxHowto);
  LabelHowto->setObjectName("LabelHowto");
  LabelHowto->setFixedSize(409, 109);
  LabelHowto->setWordWrap(true);
  LabelHowto->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  PaintCream(LabelHowto, QPalette::Window);
  howtoLayout->addWidget(LabelHowto);
  left->addWidget(GroupBoxHowto);

  QStringList siteLabels;
  for (const SiteId site : AllSites()) siteLabels << Q(SiteLabel(site));
  RadioGroup1 = new TRadioGroup("Select image site", siteLabels, PanelLeft);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->SetItemIndex(0);
  connect(RadioGroup1, &TRadioGroup::Clicked, this,
          [this] { Guarded([this] { RadioGroup1Click(); }); });
  left->addWidget(RadioGroup1);

  GroupBoxPath = new QGroupBox(PanelLeft);
  GroupBoxPath->setObjectName("GroupBoxPath");
  auto* pathLayout = new QGridLayout(GroupBoxPath);
  Label1 = new QLabel("Save images to: ", GroupBoxPath);
  Label1->setObjectName("Label1");
  EditPath = new QLineEdit(GroupBoxPath);
  EditPath->setObjectName("EditPath");
  EditPath->setText(Q(DefaultSaveFolder(HomeFolder())));
  PaintCream(EditPath, QPalette::Base);
  ButtonSelectPath = new QPushButton("...", GroupBoxPath);
  ButtonSelectPath->setObjectName("ButtonSelectPath");
  ButtonSelectPath->setFixedWidth(32);
  connect(ButtonSelectPath, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonSelectPathClick(); }); });
  pathLayout->addWidget(Label1, 0, 0, 1, 2);
  pathLayout->addWidget(EditPath, 1, 0);
  pathLayout->addWidget(ButtonSelectPath, 1, 1);
  left->addWidget(GroupBoxPath);

  ButtonStart = new QPushButton(kStartDownloadCaption, PanelLeft);
  ButtonStart->setObjectName("ButtonStart");
  ButtonStart->setMinimumHeight(32);
  // The controller's errors are caught inside ButtonStartClick, which also finishes a close
  // that waited for the run.
  connect(ButtonStart, &QPushButton::clicked, this, [this] { ButtonStartClick(); });
  ButtonLoadMore = new QPushButton(kLoadMoreCaption, PanelLeft);
  ButtonLoadMore->setObjectName("ButtonLoadMore");
  ButtonLoadMore->setMinimumHeight(32);
  connect(ButtonLoadMore, &QPushButton::clicked, this,
          [this] { Guarded([this] { LoadMoreResults1Click(); }); });
  SpinResultTarget = new QSpinBox(PanelLeft);
  SpinResultTarget->setObjectName("SpinResultTarget");
  SpinResultTarget->setRange(1, 100000);
  SpinResultTarget->setValue(kDefaultResultTarget);
  SpinResultTarget->setPrefix("up to ");
  SpinResultTarget->setToolTip("Load more results stops once the page holds this many results");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonStart, 1);
  buttons->addWidget(ButtonLoadMore);
  buttons->addWidget(SpinResultTarget);
  left->addLayout(buttons);
  BuildOutcomeRow(*left);

  LabelFilters = new QLabel(PanelLeft);
  LabelFilters->setObjectName("LabelFilters");
  LabelFilters->hide();
  left->addWidget(LabelFilters);
  BuildWrongSiteRow(*left);

  Memo1 = new QPlainTextEdit(PanelLeft);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette memoPalette = Memo1->palette();
  memoPalette.setColor(QPalette::Base, kCream);
  memoPalette.setColor(QPalette::Text, kGreen);
  Memo1->setPalette(memoPalette);
  left->addWidget(Memo1, 1);
  AppendLogLine("[Log window]");
  FollowLogEnd();
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { LogPaneMenu()->exec(Memo1->viewport()->mapToGlobal(at)); });

  PanelWeb = new QWidget(central);
  PanelWeb->setObjectName("PanelWeb");
  row->addWidget(PanelWeb, 1);
  web_ = std::make_unique<WebViewAdapter>(PanelWeb, options_.viewFactory);
  // The notes speak of the page they were made on; the home page address is only a greeting.
  if (QWebEngineView* view = web_->View()) {
    connect(view, &QWebEngineView::urlChanged, this, [this] {
      ClearNotes();
      StatusText->SetFullText({});
      StatusText->hide();
      UpdateHistoryCommands();
    });
    connect(view, &QWebEngineView::loadFinished, this, [this] { UpdateHistoryCommands(); });
  }

  BuildStatusBar();
}

void TForm1::showEvent(QShowEvent* event) {
  if (!formShown_ && !event->spontaneous()) {
    formShown_ = true;
    Guarded([this] { FormShow(); });
  }
  QMainWindow::showEvent(event);
}

void TForm1::FormShow() {
  LabelHowto->setText(Q(HowtoText()));
  programFolder_ = options_.programFolder.empty() ? S(QCoreApplication::applicationDirPath()) + "/"
                                                  : options_.programFolder;
  HomePageAddress = kHomePageAddress;
  // Beside the program (ini/, help/) as built, or the user's configuration folder and the
  // installed manual once installed.
  SettingsFilePath = SettingsFolder(programFolder_) + "config.ini";
  HelpFilePath = ManualPath(programFolder_);
  SupportMailLink = kSupportMailLink;

  Settings defaults;
  defaults.defaultPath = DefaultSaveFolder(HomeFolder());
  const Settings stored = ReadSettings(SettingsFilePath, defaults);
  setWindowTitle(kShownCaption);
  EditPath->setText(Q(stored.defaultPath));
  {
    // Applied once below, whether the check changes or not.
    const QSignalBlocker quiet(VerifyCertificates1);
    VerifyCertificates1->setChecked(stored.verifyCertificates);
  }
  VerifyCertificates1Click();
  DownloadOptions options;
  options.run = stored.run;
  options.proxy = stored.proxy;
  ApplyDownloadOptions(options);
  if (stored.window && options_.keepWindowPlace) {
    const WindowPlace& place = *stored.window;
    setGeometry(OnScreen(QRect(place.left, place.top, place.width, place.height)));
  }
  // Changing the selection already runs RadioGroup1Click; the direct call below runs it again,
  // so a stored site other than the layout's first loads its start page twice.
  RadioGroup1->SetItemIndex(stored.defaultSite);
  RadioGroup1Click();
}

void TForm1::RadioGroup1Click() {
  ClearNotes();
  pixhaul::CurrentSite = RadioGroup1->ItemIndex();
  if (const std::optional<SiteId> site = CurrentSite(); site && !keepPage_)
    web_->NavigateToSite(*site);
}

void TForm1::ButtonStartClick() {
  // The run takes the page as it stands: a loading still going is ended first.
  loader_->Stop();
  if (ButtonStart->text() == kStartDownloadCaption) {
    runFolderText_ = EditPath->text();
    ClearNotes();
  }
  ++pressDepth_;
  Guarded([this] { controller_->ButtonStartClick(); });
  --pressDepth_;
  if (pressDepth_ == 0 && closeAccepted_) close();
}

std::optional<std::string> TForm1::ChooseFolder() {
  const QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  const QString folder = QFileDialog::getExistingDirectory(this, kFolderBrowserTitle, start,
                                                           QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return S(folder);
}

void TForm1::ButtonSelectPathClick() {
  if (std::optional<std::string> folder = ChooseFolder()) EditPath->setText(Q(*folder));
}

bool TForm1::FormCloseQuery() {
  if (controller_->StopRequested() || controller_->RunFinished()) return true;
  ShowMessage(kCloseRefusedText);
  return false;
}

void TForm1::FormClose() {
  Settings settings;
  settings.defaultPath = S(EditPath->text());
  settings.defaultSite = RadioGroup1->ItemIndex();
  settings.verifyCertificates = VerifyCertificates1->isChecked();
  settings.run = downloadOptions_.run;
  settings.proxy = downloadOptions_.proxy;
  if (options_.keepWindowPlace) {
    // A maximised window comes back at the size it had before.
    const QRect place = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    settings.window = WindowPlace{place.left(), place.top(), place.width(), place.height()};
  }
  // The user's configuration folder may not exist yet; a failure shows in the write's error.
  if (!programFolder_.empty()) PrepareSettingsFolder(programFolder_);
  WriteSettings(SettingsFilePath, settings);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!closeAccepted_) {
    if (!FormCloseQuery()) {
      event->ignore();
      return;
    }
    closeAccepted_ = true;
    // A settings file that cannot be written is reported, but does not keep the window open:
    // the user could otherwise never leave while the ini folder is missing or read-only.
    Guarded([this] { FormClose(); });
  }
  // A press still on the stack (a stopped run in its closing steps) finishes first; its
  // return closes the window again.
  if (pressDepth_ > 0) {
    event->ignore();
    return;
  }
  event->accept();
}

void TForm1::LabelOutcomeClick() { OpenFolder(runFolderText_); }

std::string TForm1::SaveFolderText() {
  return S(retryFolderText_ ? *retryFolderText_ : EditPath->text());
}

std::string TForm1::ButtonCaption() { return S(ButtonStart->text()); }

void TForm1::SetButtonCaption(const std::string& caption) {
  ButtonStart->setText(Q(caption));
  UpdateRunCommands();
}

void TForm1::SetButtonEnabled(bool enabled) {
  ButtonStart->setEnabled(enabled);
  UpdateRunCommands();
}

void TForm1::ShowMessage(const std::string& text) {
  ShowMessageBox(this, QMessageBox::NoIcon, text);
}

void TForm1::ShowError(const std::string& text) {
  ShowMessageBox(this, QMessageBox::Critical, text);
}

std::optional<PageMarkup> TForm1::CapturePageMarkup() {
  if (!retryPage_) return web_->CapturePageMarkup();
  // A retry takes the page the last run saved, not the page the web view shows now.
  try {
    return PageMarkup::FromFile(*retryPage_);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<SiteId> TForm1::CurrentSite() { return SiteOfRow(pixhaul::CurrentSite); }

void TForm1::ShowProgress(const RunProgress& progress) {
  ShowRunState(progress, *LabelProgress, *ProgressBar1, *LabelOutcome);
  const bool failures = !progress.active && progress.failed + progress.notImages > 0;
  LabelShowFailed->setVisible(failures);
  RetryFailed1->setEnabled(failures);
  UpdateRunCommands();
  UpdateFolderCommands();
}

std::string TForm1::PageAddress() {
  QWebEngineView* view = web_->View();
  return view ? S(view->url().toString()) : std::string();
}

}  // namespace pixhaul
