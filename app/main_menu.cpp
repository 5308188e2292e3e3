// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The main window's menu bar and the commands its items give.
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/failed_downloads_dialog.h"
#include "app/help_viewer.h"
#include "app/qt_text.h"
#include "app/shell_open.h"
#include "app/status_label.h"
#include "download/download_client.h"
#include "download/run_preparation.h"
#include "framework/file_utils.h"
#include "harvest/site_table.h"

namespace pixhaul {

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu("File");
  OpenSaveFolder1 = file->addAction("Open save folder");
  OpenSaveFolder1->setObjectName("OpenSaveFolder1");
  connect(OpenSaveFolder1, &QAction::triggered, this,
          [this] { Guarded([this] { OpenSaveFolder1Click(); }); });
  // Enabled while the save folder exists: typed, made by a run, or removed meanwhile.
  connect(EditPath, &QLineEdit::textChanged, this, [this] { UpdateFolderCommands(); });
  connect(file, &QMenu::aboutToShow, this, [this] { UpdateFolderCommands(); });
  UpdateFolderCommands();
  file->addSeparator();
  Exit1 = file->addAction("Exit");
  Exit1->setObjectName("Exit1");
  connect(Exit1, &QAction::triggered, this, [this] { Guarded([this] { Exit1Click(); }); });

  BuildGoMenu();

  QMenu* options = menuBar()->addMenu("Options");
  VerifyCertificates1 = options->addAction("Verify server certificates");
  VerifyCertificates1->setObjectName("VerifyCertificates1");
  VerifyCertificates1->setCheckable(true);
  connect(VerifyCertificates1, &QAction::toggled, this,
          [this] { Guarded([this] { VerifyCertificates1Click(); }); });
  DownloadOptions1 = options->addAction("Download options\u2026");
  DownloadOptions1->setObjectName("DownloadOptions1");
  connect(DownloadOptions1, &QAction::triggered, this,
          [this] { Guarded([this] { DownloadOptions1Click(); }); });

  QMenu* page = menuBar()->addMenu("Page");
  LoadMoreResults1 = page->addAction(kLoadMoreCaption);
  LoadMoreResults1->setObjectName("LoadMoreResults1");
  LoadMoreResults1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(LoadMoreResults1, &QAction::triggered, this,
          [this] { Guarded([this] { LoadMoreResults1Click(); }); });

  // The start/stop button's two presses, each enabled while the button would take it.
  QMenu* run = menuBar()->addMenu("Run");
  StartDownload1 = run->addAction(kStartDownloadCaption);
  StartDownload1->setObjectName("StartDownload1");
  StartDownload1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
  StartDownload1->setShortcutContext(Qt::WindowShortcut);
  connect(StartDownload1, &QAction::triggered, this, [this] {
    if (ButtonStart->isEnabled() && ButtonStart->text() == kStartDownloadCaption)
      ButtonStartClick();
  });
  Stop1 = run->addAction(kStopCaption);
  Stop1->setObjectName("Stop1");
  Stop1->setShortcut(QKeySequence(Qt::Key_Escape));
  Stop1->setShortcutContext(Qt::WindowShortcut);
  Stop1->setEnabled(false);
  connect(Stop1, &QAction::triggered, this, [this] {
    if (ButtonStart->isEnabled() && ButtonStart->text() != kStartDownloadCaption)
      ButtonStartClick();
  });
  RetryFailed1 = run->addAction("Retry failed downloads");
  RetryFailed1->setObjectName("RetryFailed1");
  RetryFailed1->setEnabled(false);
  // Its own press handler catches and finishes like the start button's.
  connect(RetryFailed1, &QAction::triggered, this, [this] { RetryFailed1Click(); });
  run->addSeparator();
  ClearLog1 = run->addAction("Clear log");
  ClearLog1->setObjectName("ClearLog1");
  connect(ClearLog1, &QAction::triggered, this, [this] { Guarded([this] { ClearLog1Click(); }); });

  QMenu* help = menuBar()->addMenu("Help");
  UserManual1 = help->addAction("User Manual");
  UserManual1->setObjectName("UserManual1");
  connect(UserManual1, &QAction::triggered, this,
          [this] { Guarded([this] { UserManual1Click(); }); });
  gotohomepage1 = help->addAction("Home Page");
  gotohomepage1->setObjectName("gotohomepage1");
  connect(gotohomepage1, &QAction::triggered, this,
          [this] { Guarded([this] { gotohomepage1Click(); }); });
  About1 = help->addAction("About");
  About1->setObjectName("About1");
  connect(About1, &QAction::triggered, this, [this] { Guarded([this] { About1Click(); }); });
}

void TForm1::BuildGoMenu() {
  QMenu* go = menuBar()->addMenu("Go");
  const auto add = [this, go](const char* text, const char* name, QKeySequence keys,
                              void (TForm1::*handler)()) {
    QAction* action = go->addAction(text);
    action->setObjectName(name);
    action->setShortcut(keys);
    // The shortcuts work wherever the focus is in the window, the log pane included.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return action;
  };
  Back1 = add("Back", "Back1", QKeySequence(Qt::ALT | Qt::Key_Left), &TForm1::Back1Click);
  Forward1 =
      add("Forward", "Forward1", QKeySequence(Qt::ALT | Qt::Key_Right), &TForm1::Forward1Click);
  Reload1 = add("Reload", "Reload1", QKeySequence(Qt::Key_F5), &TForm1::Reload1Click);
  Back1->setEnabled(false);
  Forward1->setEnabled(false);
}

void TForm1::UpdateHistoryCommands() {
  QWebEngineView* view = web_->View();
  Back1->setEnabled(view != nullptr && view->history()->canGoBack());
  Forward1->setEnabled(view != nullptr && view->history()->canGoForward());
}

void TForm1::UpdateRunCommands() {
  const bool enabled = ButtonStart->isEnabled();
  const bool showsStart = ButtonStart->text() == kStartDownloadCaption;
  StartDownload1->setEnabled(enabled && showsStart);
  Stop1->setEnabled(enabled && !showsStart);
  // log.txt is the pane as the run leaves it: it is not cleared under a run.
  ClearLog1->setEnabled(showsStart && !controller_->RunActive());
}

void TForm1::ClearLog1Click() {
  if (!controller_->RunActive()) ClearLog();
}

std::unique_ptr<QMenu> TForm1::LogPaneMenu() {
  std::unique_ptr<QMenu> menu(Memo1->createStandardContextMenu());
  menu->addSeparator();
  menu->addAction(ClearLog1);
  return menu;
}

void TForm1::Exit1Click() { close(); }

void TForm1::OpenSaveFolder1Click() { OpenFolder(EditPath->text()); }

void TForm1::OpenFolder(const QString& folderText) {
  const QFileInfo folder(folderText);
  if (folderText.isEmpty() || !folder.isDir()) {
    ShowMessage("The folder " + S(folderText) + " does not exist yet.");
    return;
  }
  const std::string path = S(QDir::cleanPath(folder.absoluteFilePath()));
  if (!ShellOpen(path)) ShowFolderNotOpened(path);
}

void TForm1::ShowFolderNotOpened(const std::string& folder) {
  QMessageBox box(QMessageBox::Warning, windowTitle(),
                  "The desktop could not open the folder (no file manager took it):\n" + Q(folder),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPushButton* copy = box.addButton("Copy path", QMessageBox::ActionRole);
  box.exec();
  if (box.clickedButton() == copy) QGuiApplication::clipboard()->setText(Q(folder));
}

void TForm1::UpdateFolderCommands() {
  const QString text = EditPath->text();
  OpenSaveFolder1->setEnabled(!text.isEmpty() && QFileInfo(text).isDir());
}

void TForm1::Back1Click() {
  if (QWebEngineView* view = web_->View()) view->back();
}

void TForm1::Forward1Click() {
  if (QWebEngineView* view = web_->View()) view->forward();
}

void TForm1::Reload1Click() {
  if (QWebEngineView* view = web_->View()) view->reload();
}

void TForm1::VerifyCertificates1Click() {
  DownloadClient::SetVerifyServerCertificates(VerifyCertificates1->isChecked());
}

std::optional<DownloadOptions> TForm1::EditDownloadOptions(const DownloadOptions& current) {
  TDownloadOptionsDialog dialog(current, this);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Options();
}

void TForm1::DownloadOptions1Click() {
  if (const std::optional<DownloadOptions> edited = EditDownloadOptions(downloadOptions_))
    ApplyDownloadOptions(*edited);
}

void TForm1::ApplyDownloadOptions(const DownloadOptions& options) {
  downloadOptions_ = options;
  controller_->SetRunOptions(options.run);
  DownloadClient::SetProxyChoice(ProxyChoiceForSetting(options.proxy));
  const QString line = Q(RunOptionsLine(options.run));
  LabelFilters->setText(line);
  LabelFilters->setToolTip(line.isEmpty() ? QString() : "Set in Options \u203a Download options");
  LabelFilters->setVisible(!line.isEmpty());
}

bool TForm1::ShowFailedDownloads(const std::vector<WorkerEnd>& failed) {
  TFailedDownloadsDialog dialog(failed, this);
  dialog.exec();
  return dialog.RetryAsked();
}

void TForm1::ShowFailed1Click() {
  const std::vector<WorkerEnd> failed = FailedDownloads(controller_->NotSaved());
  if (ShowFailedDownloads(failed)) RetryFailed1Click();
}

void TForm1::RetryFailed1Click() {
  if (controller_->RunActive() || controller_->ListFile().empty()) return;
  const std::string folder = ExtractFilePath(controller_->ListFile());
  retryPage_ = folder + kPageFileName;
  retryFolderText_ = Q(folder);
  ButtonStartClick();
  retryPage_.reset();
  retryFolderText_.reset();
}

void TForm1::LoadMoreResults1Click() {
  if (loader_->Running()) return loader_->Stop();
  // While a run goes on, its page is already captured; loading more would only slow it.
  if (controller_->RunActive()) {
    return ShowLoading(false, "Could not load more results: a download is running");
  }
  const std::optional<SiteId> site = CurrentSite();
  loader_->Start(SpinResultTarget->value(), site ? SiteMoreResultsSelector(*site) : "");
}

void TForm1::ShowLoading(bool running, const std::string& text) {
  const QString caption = running ? kStopLoadingCaption : kLoadMoreCaption;
  ButtonLoadMore->setText(caption);
  LoadMoreResults1->setText(caption);
  LoadMoreText->SetFullText(Q(text));
}

void TForm1::UserManual1Click() {
  if (!helpViewer_) helpViewer_ = std::make_unique<THelpViewer>(this);
  (void)helpViewer_->ShowManual(HelpFilePath);  // a missing manual is not reported
}

void TForm1::gotohomepage1Click() { ShellOpen(HomePageAddress); }

AboutContent TForm1::AboutDialogContent() {
  return {[this] { return windowTitle(); }, [this] { return HomePageAddress; },
          [this] { return SupportMailLink; }};
}

void TForm1::About1Click() {
  if (frmAbout_) frmAbout_->exec();
}

}  // namespace pixhaul
