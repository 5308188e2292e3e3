// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Where the desktop program keeps its settings and finds its user manual.
//
// Run from a build folder, or from any other folder it can write, the program keeps its files
// beside its executable: ini/config.ini and help/help.chm. Installed - its executable sits in
// the prefix's bin folder with the prefix's share/pixhaul/ beside it - or run from a folder it
// cannot write, it keeps its settings in the user's configuration folder,
// $XDG_CONFIG_HOME/pixhaul/ (~/.config/pixhaul/ when the variable is unset, empty or not an
// absolute path); installed, it finds the manual as share/pixhaul/help/help.html.
//
// `programFolder` is the folder of the executable with its trailing "/". Every function looks
// at the environment and the file system at the moment of the call and raises nothing; any
// thread, as long as no thread changes the environment meanwhile.
#pragma once

#include <string>

namespace pixhaul {

// True when the program folder is an installed prefix's bin folder (share/pixhaul/ beside it).
bool IsInstalledProgramFolder(const std::string& programFolder);

// True when the program keeps its settings and manual beside its executable: the folder is not
// an installed one and the program may write it.
bool KeepsFilesBesideProgram(const std::string& programFolder);

// The folder that holds config.ini (and every other file the program keeps between runs), with
// its trailing "/": programFolder + "ini/", or the user's configuration folder + "pixhaul/".
// This is the one place that decides it.
std::string SettingsFolder(const std::string& programFolder);

// The user manual: programFolder + "help/help.chm" beside the program, the installed
// share/pixhaul/help/help.html for an installed program.
std::string ManualPath(const std::string& programFolder);

// The user's home folder: $HOME when it is set and not empty, else the user's entry in the
// password database; empty when neither tells. No trailing "/".
std::string HomeFolder();

// $XDG_CONFIG_HOME, or the home folder + "/.config", with a trailing "/".
std::string UserConfigFolder();

// Makes sure the settings folder exists before a write: the user's configuration folder is
// created with its missing parents (new levels readable by the user only); the "ini" folder
// beside the program is never created, so a write there fails as it always has when it is
// missing. True when the folder exists afterwards.
bool PrepareSettingsFolder(const std::string& programFolder);

}  // namespace pixhaul
