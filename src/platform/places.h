// Where the window program keeps its settings and writes its reports: beside the executable
// when that folder can be written (a portable copy), otherwise in the user's own folders.
#pragma once

#include <string>

namespace zentab::platform {

// True when the folder exists and the running user may create files in it.
bool IsWritableDirectory(const std::string& folder);

// The user's settings folder: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config; ends with "/".
std::string ConfigHome();

// The user's documents folder: XDG_DOCUMENTS_DIR from $XDG_CONFIG_HOME/user-dirs.dirs, else
// from the environment, else $HOME/Documents; ends with "/". Only absolute paths and paths
// starting with "$HOME" count.
std::string DocumentsDirectory();

// The settings file: beside the executable (SettingsPathFor) when its folder is writable,
// else ConfigHome()/zentab/ with the same file name; that folder is created when missing.
std::string UserSettingsFile();

// The folder reports go to: the executable's folder when it is writable, else
// DocumentsDirectory()/Zentab/, created when missing. Ends with "/".
std::string UserReportDirectory();

}  // namespace zentab::platform
