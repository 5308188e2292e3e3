#include "tests/app/app_test_support.h"

#include <QDir>
#include <fstream>
#include <sstream>

#include "harvest/site_table.h"

namespace pixhaul::apptest {

ProgramFolder::ProgramFolder(bool withIniFolder) {
  if (withIniFolder) QDir(dir_.path()).mkpath("ini");
}

std::string ProgramFolder::Path() const { return dir_.path().toStdString() + "/"; }

void ProgramFolder::WriteConfig(const std::string& bytes) const {
  std::ofstream(ConfigPath(), std::ios::binary) << bytes;
}

std::string ProgramFolder::ReadConfig() const { return ReadFileBytes(ConfigPath()); }

TForm1Options FormOptions(const ProgramFolder& folder) {
  TForm1Options options;
  options.programFolder = folder.Path();
  options.timings.startPauseMs = 10;
  options.timings.throttlePauseMs = 200;
  options.timings.graceMs = 800;
  options.timings.stopWaitMs = 300;
  return options;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void PrepareTestProcess() {
  // Port 9 on the loopback refuses connections: a start page load ends at once, offline.
  SetSiteStartPageForTesting(0, "http://127.0.0.1:9/bing/images");
  SetSiteStartPageForTesting(1, "http://127.0.0.1:9/google");
  SetSiteStartPageForTesting(2, "http://127.0.0.1:9/baidu");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--disable-background-networking --disable-component-update --no-first-run "
            "--disable-sync");
  }
}

}  // namespace pixhaul::apptest
