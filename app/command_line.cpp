// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/command_line.h"

#include <string_view>

namespace pixhaul {

WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments) {
  WindowCommandLine line;
  bool optionsEnded = false;
  bool haveAddress = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
      // The first of --help and --version answers; nothing else is started.
      if (line.action == WindowCommandLine::Action::Run)
        line.action = WindowCommandLine::Action::Help;
    } else if (!optionsEnded && (argument == "--version" || argument == "-v")) {
      if (line.action == WindowCommandLine::Action::Run) {
        line.action = WindowCommandLine::Action::Version;
      }
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return {WindowCommandLine::Action::Refuse, "", "unknown option " + argument};
    } else if (haveAddress) {
      return {WindowCommandLine::Action::Refuse, "", "more than one address: " + argument};
    } else {
      line.address = argument;
      haveAddress = true;
    }
  }
  return line;
}

namespace {

bool IsSet(const EnvironmentLookup& environment, const char* name) {
  const char* value = environment(name);
  return value != nullptr && *value != '\0';
}

// Whether the toolkit's platform `name` can start in this environment.
bool PlatformCanStart(std::string_view name, const EnvironmentLookup& environment) {
  if (name == "xcb") return IsSet(environment, "DISPLAY");
  if (name.starts_with("wayland")) {
    return IsSet(environment, "WAYLAND_DISPLAY") || IsSet(environment, "WAYLAND_SOCKET");
  }
  // offscreen, minimal, eglfs, linuxfb, vnc and the like draw without a display server; a
  // name unknown here is left to the toolkit.
  return true;
}

}  // namespace

bool DisplayAvailable(const EnvironmentLookup& environment) {
  // The toolkit tries the listed platforms in turn; one that can start is enough.
  bool named = false;
  if (const char* platforms = environment("QT_QPA_PLATFORM")) {
    std::string_view list = platforms;
    while (!list.empty()) {
      const size_t end = list.find(';');
      std::string_view entry = list.substr(0, end);
      entry = entry.substr(0, entry.find(':'));
      if (!entry.empty()) {
        named = true;
        if (PlatformCanStart(entry, environment)) return true;
      }
      list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    }
  }
  // Without a platform named, the toolkit picks X11 or Wayland by what the session offers.
  return !named && (IsSet(environment, "DISPLAY") || IsSet(environment, "WAYLAND_DISPLAY") ||
                    IsSet(environment, "WAYLAND_SOCKET"));
}

}  // namespace pixhaul
