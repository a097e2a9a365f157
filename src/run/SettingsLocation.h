#pragma once

#include <QString>

namespace sarvoli::run {

// The settings file of the program, as a host path: settings.ini beside the executable in
// `exeFolder`, a portable copy, when that folder is writable and the program is not installed;
// otherwise settings.ini in `configFolder` (the user's configuration folder), which is created
// where it is missing, and which starts as a copy of the settings.ini beside the executable
// where there is one.
QString settingsFileFor(const QString& exeFolder, const QString& configFolder);

// True when the program runs from an installed tree: its folder is "bin" with the desktop
// entry in "share/applications" beside it; on Windows, under the Program Files folders or beside
// the mark that its installer leaves.
bool isInstalledIn(const QString& exeFolder);

// True when a file can be created in the folder.
bool isWritableFolder(const QString& folder);

}  // namespace sarvoli::run
