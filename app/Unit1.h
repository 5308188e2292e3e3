// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TForm1: the main window - the site selector, the save folder, the start/stop button, the log
// pane and the web view - and the shell around a run: settings, menu commands, the close rule.
//
// The window is a thin adapter: a press of the start/stop button is handed to TRunController,
// which reaches back only through the RunWindow interface implemented here. The window owns
// its controller, its web-view adapter and every control; the About dialog is owned by whoever
// created it (start-up) and must outlive the window's use of it. GUI thread only.
//
// Because a run pumps the event loop from inside the button's handler, every other handler
// here may run nested inside a run. A close that is allowed while a press is still on the stack
// writes the settings at once but keeps the window up until that press has returned.
//
// Tests: tests/app/main_window_test.cpp, and whole runs in tests/app/whole_run_test.cpp.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/download_options_dialog.h"
#include "app/result_loader.h"
#include "app/settings.h"
#include "download/run_controller.h"
#include "download/run_log.h"
#include "download/run_window.h"
#include "harvest/qt/web_view_adapter.h"
#include "harvest/site_table.h"

class QAction;
class QBoxLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;

namespace pixhaul {

// The selector's index of the selected site: a row of the site table, -1 for none; 0 when the
// program starts. The window converts it to a SiteId (TForm1::CurrentSite) before any other
// code sees it. Main thread only.
extern int CurrentSite;

class TRadioGroup;
class TStatusLabel;
class TfrmAbout;
struct AboutContent;
class THelpViewer;

inline constexpr const char* kHomePageAddress = "http://www.pixhaul.example/";
inline constexpr const char* kSupportMailLink = "mailto:support@pixhaul.example";
inline constexpr const char* kCloseRefusedText =
    "Task is still running, please Stop the task before close!";

struct TForm1Options {
  // The program folder with its trailing "/"; empty means the executable's own folder. It
  // decides where the settings and the manual are (framework/program_layout.h).
  std::string programFolder;
  ThrottleTimings timings;
  WebViewAdapter::ViewFactory viewFactory = &WebViewAdapter::MakeWebEngineView;
  ResultLoaderTimings loaderTimings;
  // Whether the window's place is kept in config.ini and restored from it. Only tests, which
  // compare the settings file byte for byte, turn it off.
  bool keepWindowPlace = true;
};

class TForm1 : public QMainWindow, public RunWindow {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Set in FormShow; read by the menu commands and the About dialog.
  std::string HomePageAddress;
  std::string HelpFilePath;
  std::string SupportMailLink;
  std::string SettingsFilePath;

  // Controls, owned by the window.
  QWidget* PanelLeft = nullptr;
  QGroupBox* GroupBoxHowto = nullptr;
  QLabel* LabelHowto = nullptr;
  TRadioGroup* RadioGroup1 = nullptr;
  QGroupBox* GroupBoxPath = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* EditPath = nullptr;
  QPushButton* ButtonSelectPath = nullptr;
  QPushButton* ButtonStart = nullptr;
  // Beside ButtonStart: "Load more results" ("Stop loading" while it runs) and the number of
  // results at which it stops.
  QPushButton* ButtonLoadMore = nullptr;
  QSpinBox* SpinResultTarget = nullptr;
  // The download options in force, in one short line ("Filters: ≥ 200×200, no duplicates");
  // hidden while none is.
  QLabel* LabelFilters = nullptr;
  // Shown when the selected site found nothing on a page of another site: what the page is,
  // and "Use Bing for this page", which selects that site, keeps the page and downloads it.
  QWidget* PanelWrongSite = nullptr;
  QLabel* LabelWrongSite = nullptr;
  QPushButton* ButtonUseSite = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QWidget* PanelWeb = nullptr;
  // The status bar's texts are elided to the room they have (the whole text in the tooltip),
  // so that none of them can widen the window.
  QStatusBar* StatusBar1 = nullptr;
  TStatusLabel* StatusText = nullptr;
  // At the status bar's right end: the run's counts while it is on ("Stopping…" during a
  // stop's wait), and a bar of the addresses dealt with, left at its final state after the run.
  // The outcome (LabelOutcome, a click on it opens the save folder) stands whole under the start
  // button once the run has ended or its stop was carried out.
  TStatusLabel* LabelProgress = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  // Where the last run's address list came from; like every note, cleared when a run starts,
  // the site or the page changes.
  TStatusLabel* ListSourceText = nullptr;
  TStatusLabel* LabelOutcome = nullptr;
  // Beside the outcome of a run with downloads that failed: "Show failed", which lists them.
  TStatusLabel* LabelShowFailed = nullptr;
  QAction* OpenSaveFolder1 = nullptr;
  // In the status bar: the results counted while more are loaded, and how the loading ended.
  TStatusLabel* LoadMoreText = nullptr;
  QAction* Exit1 = nullptr;
  // Go menu: the web view's history and reload; Back and Forward enabled only when there is
  // somewhere to go.
  QAction* Back1 = nullptr;
  QAction* Forward1 = nullptr;
  QAction* Reload1 = nullptr;
  // Options menu: checked while https servers' certificates are verified; the download
  // options' dialog.
  QAction* VerifyCertificates1 = nullptr;
  QAction* DownloadOptions1 = nullptr;
  // Page menu: "Load more results" (Ctrl+L), "Stop loading" while it runs.
  QAction* LoadMoreResults1 = nullptr;
  // Run menu: "Start download" (Ctrl+Return) and "Stop" (Escape), each enabled while the
  // button would take that press; "Retry failed downloads", enabled after a run with
  // failures; "Clear log", also in the log pane's context menu, enabled while no run is on.
  QAction* StartDownload1 = nullptr;
  QAction* Stop1 = nullptr;
  QAction* RetryFailed1 = nullptr;
  QAction* ClearLog1 = nullptr;
  QAction* UserManual1 = nullptr;
  QAction* gotohomepage1 = nullptr;
  QAction* About1 = nullptr;

  WebViewAdapter& web() { return *web_; }
  TRunController& Controller() { return *controller_; }
  ResultLoader& Loader() { return *loader_; }
  void SetAboutDialog(TfrmAbout* dialog) { frmAbout_ = dialog; }
  // What the About dialog shows: this window's caption and link fields, read when it asks.
  AboutContent AboutDialogContent();
  THelpViewer* HelpViewer() const { return helpViewer_.get(); }

  // Handlers. Each one that the toolkit calls catches what escapes it and shows the error box.
  void FormShow();
  void RadioGroup1Click();
  void ButtonStartClick();
  void ButtonSelectPathClick();
  bool FormCloseQuery();
  void FormClose();
  void Exit1Click();
  // Opens the save folder (as EditPath names it) in the desktop's file manager, enabled while
  // it exists; a click on the run's outcome opens the folder that run saved into. When the
  // desktop cannot open it, ShowFolderNotOpened says so.
  void OpenSaveFolder1Click();
  void LabelOutcomeClick();
  // Selects the site the wrong-site row names without loading its start page, and starts the
  // download of the page shown.
  void UseSuggestedSiteClick();
  void Back1Click();
  void Forward1Click();
  void Reload1Click();
  void ClearLog1Click();
  // The log pane's context menu: the usual commands and "Clear log".
  std::unique_ptr<QMenu> LogPaneMenu();
  // The check of VerifyCertificates1 changed: downloads started from now on follow it.
  void VerifyCertificates1Click();
  // Opens the download options; what the user accepts applies to the runs started from then on.
  void DownloadOptions1Click();
  // Puts `options` in force: the controller's filters and the line that shows them, and the
  // proxy of every download made from then on.
  void ApplyDownloadOptions(const DownloadOptions& options);
  const DownloadOptions& CurrentDownloadOptions() const { return downloadOptions_; }
  // Lists the last run's failed downloads; the list may ask for them to be tried again.
  void ShowFailed1Click();
  // Runs the last run's address list again, from its saved page, into its save folder, so
  // that only what is not there yet is fetched; the web view's page is not captured.
  void RetryFailed1Click();
  // Starts loading more results into the page shown, or stops a loading that runs.
  void LoadMoreResults1Click();
  void UserManual1Click();
  void gotohomepage1Click();
  void About1Click();

  // RunWindow
  std::string SaveFolderText() override;
  std::string ButtonCaption() override;
  void SetButtonCaption(const std::string& caption) override;
  void SetButtonEnabled(bool enabled) override;
  void ClearLog() override;
  void AppendLogLine(const std::string& text) override;
  std::vector<std::string> LogLines() override;
  void ShowMessage(const std::string& text) override;
  std::optional<PageMarkup> CapturePageMarkup() override;
  // The site the selector shows, from its index (the global CurrentSite); nothing for none.
  std::optional<SiteId> CurrentSite() override;
  void ShowProgress(const RunProgress& progress) override;
  void ShowListSource(const std::string& note) override;
  std::string PageAddress() override;
  void ShowWrongSite(SiteId site) override;

  // Says that the desktop could not open `folder`, with the path and a button that copies it.
  // Tests replace it.
  virtual void ShowFolderNotOpened(const std::string& folder);

  // The error box for a failure that ended a handler. Tests replace it (and ShowMessage) to
  // observe boxes without blocking.
  virtual void ShowError(const std::string& text);

 protected:
  // The folder browser; nothing when the user cancels. Tests replace it.
  virtual std::optional<std::string> ChooseFolder();
  // The download options' dialog, modal; nothing when the user cancels. Tests replace it.
  virtual std::optional<DownloadOptions> EditDownloadOptions(const DownloadOptions& current);
  // The failed downloads' dialog, modal; true when the user asks to retry them. Tests
  // replace it.
  virtual bool ShowFailedDownloads(const std::vector<WorkerEnd>& failed);

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void BuildGoMenu();
  void BuildStatusBar();
  void UpdateHistoryCommands();
  void UpdateRunCommands();
  void UpdateFolderCommands();
  void FollowLogEnd();
  void BuildOutcomeRow(QBoxLayout& layout);
  void BuildWrongSiteRow(QBoxLayout& layout);
  // Takes away the notes about the last run, the last loading and the page's site.
  void ClearNotes();
  // Asks the desktop to open `folderText` (a folder text as typed); a missing folder is said.
  void OpenFolder(const QString& folderText);
  template <class Handler>
  void Guarded(Handler&& handler);
  void ShowLoading(bool running, const std::string& text);

  TForm1Options options_;
  std::string programFolder_;  // set in FormShow, with its trailing "/"
  RunLogPane pane_;            // the lines Memo1 shows, as saved to log.txt
  std::unique_ptr<WebViewAdapter> web_;
  std::unique_ptr<THelpViewer> helpViewer_;
  ResultLoader* loader_ = nullptr;  // a child of the window
  TfrmAbout* frmAbout_ = nullptr;
  bool formShown_ = false;
  bool followLog_ = true;  // the log pane shows its end
  bool keepPage_ = false;  // a change of site selects it without loading its start page
  std::optional<SiteId> suggestedSite_;  // the site the wrong-site row offers
  int pressDepth_ = 0;                   // start/stop presses on the stack (a stop nests in a run)
  bool closeAccepted_ = false;  // settings written; the window ends once no press is running
  QString runFolderText_;       // the save folder text of the last press of "Start download"
  DownloadOptions downloadOptions_;

  // While a retry press runs: the saved page it takes in place of a capture, and its folder.
  std::optional<std::string> retryPage_;
  std::optional<QString> retryFolderText_;
  // Declared last so that it goes first: its destructor still takes the hand-offs of workers
  // that are out, and those reach the pane and the window's state above.
  std::unique_ptr<TRunController> controller_;
};

// Runs a command handler; an error it throws is shown, not passed on to Qt's event loop.
template <class Handler>
void TForm1::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
}

}  // namespace pixhaul
