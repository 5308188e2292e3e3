// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The desktop program's command line and the checks made before the toolkit starts, so that
// --help, --version, a mistyped option and a start without a display are all answered with a
// line of text and an exit code instead of a window or the toolkit's abort. No Qt.
//
//   pixhaul [ADDRESS]    ADDRESS, when given, is loaded into the web view once the window shows.
//   pixhaul --help, -h     the usage, on standard output; exit 0.
//   pixhaul --version, -v  the version, on standard output; exit 0.
// Anything else beginning with "-" (and a second ADDRESS) is refused with a usage line on
// standard error and exit 2; "--" ends the options, for an address that begins with "-".
//
// Tests: tests/app/startup_test.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pixhaul {

inline constexpr const char* kWindowUsage =
    "usage: pixhaul [ADDRESS]\n       pixhaul --help|-h\n       pixhaul --version|-v\n";
inline constexpr const char* kNoDisplayMessage =
    "pixhaul: no display; use pixhaul-cli for headless runs";

// The exit codes of the start-up checks.
inline constexpr int kExitNoDisplay = 1;
inline constexpr int kExitUsage = 2;

struct WindowCommandLine {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::string address;  // Run: the address to load, empty for none
  std::string error;    // Refuse: what is wrong, as one line without the program's name
};

// Reads the arguments after the program's name.
WindowCommandLine ParseWindowCommandLine(const std::vector<std::string>& arguments);

// Reads an environment variable: nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// True when the toolkit can show a window. QT_QPA_PLATFORM, when it names any platform (a list
// of names separated by ";", each maybe followed by ":options"), must name one that needs no
// display server (offscreen, minimal, eglfs, linuxfb, vnc, ...), one whose server the
// environment names (xcb with DISPLAY, wayland with WAYLAND_DISPLAY or WAYLAND_SOCKET), or one
// unknown here, which the toolkit is left to judge. Otherwise DISPLAY, WAYLAND_DISPLAY or
// WAYLAND_SOCKET must be set and not empty.
bool DisplayAvailable(const EnvironmentLookup& environment);

}  // namespace pixhaul
