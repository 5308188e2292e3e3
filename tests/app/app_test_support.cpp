// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/app/app_test_support.h"

#include <filesystem>

#include "app/radio_group.h"
#include "harvest/site_table.h"

namespace pixhaul::test {

ProgramFolder::ProgramFolder(bool withIniFolder) {
  if (withIniFolder) std::filesystem::create_directory(dir_.File("ini"));
}

std::string ProgramFolder::Path() const { return dir_.Path() + "/"; }

void ProgramFolder::WriteConfig(const std::string& bytes) const {
  WriteFileBytes(ConfigPath(), bytes);
}

std::string ProgramFolder::ReadConfig() const {
  return std::filesystem::exists(ConfigPath()) ? ReadFileBytes(ConfigPath()) : "";
}

TForm1Options FormOptions(const ProgramFolder& folder) {
  TForm1Options options;
  options.programFolder = folder.Path();
  options.keepWindowPlace = false;  // the settings files are compared byte for byte
  options.timings.startPauseMs = 10;
  options.timings.throttlePauseMs = 200;
  options.timings.graceMs = 800;
  options.timings.stopWaitMs = 300;
  return options;
}

bool ShowWithStartPageLoaded(TForm1& form) {
  QSignalSpy startPageLoaded(form.web().View(), &QWebEngineView::loadFinished);
  form.show();
  return QTest::qWaitForWindowExposed(&form) &&
         (startPageLoaded.count() > 0 || startPageLoaded.wait(20000));
}

bool SelectSiteAndWait(TForm1& form, int row) {
  if (form.RadioGroup1->ItemIndex() == row) return true;
  QSignalSpy startPageLoaded(form.web().View(), &QWebEngineView::loadFinished);
  form.RadioGroup1->SetItemIndex(row);
  return startPageLoaded.count() > 0 || startPageLoaded.wait(20000);
}

loopback::LoopbackHttpServer::Handler ServePath(std::string path, loopback::HttpReply reply) {
  return [path = std::move(path), reply = std::move(reply)](const loopback::HttpRequest& request) {
    if (request.target == path) return reply;
    return loopback::HttpReply{404, "Not Found", {}, "<html><body>not here</body></html>", false};
  };
}

void PrepareTestProcess() {
  // Port 9 on the loopback refuses connections: a start page load ends at once, offline.
  for (const SiteId site : AllSites())
    SetSiteStartPageForTesting(site, "http://127.0.0.1:9/" + SiteName(site));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--disable-background-networking --disable-component-update --no-first-run "
            "--disable-sync");
  }
}

}  // namespace pixhaul::test
