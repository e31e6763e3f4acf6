#pragma once

// Where the program keeps its settings file and puts new documents.
//
// While the program's folder can be written (a build folder, a portable
// copy) both stay beside the program: the settings file is named like the
// program with the extension ".ini", new documents go into its folder.
// Otherwise (installed in a system folder) the desktop's places are used:
// $XDG_CONFIG_HOME/quorvel/quorvel.ini (by default ~/.config/quorvel) and
// the user's documents folder as `xdg-user-dir DOCUMENTS` names it, else
// the home folder.

#include <functional>
#include <string>

namespace places {

struct TPlaces {
  std::string SettingsFile;     // full path
  std::string DocumentsFolder;  // ends in "/"
  bool BesideProgram = true;
};

// Looks up an environment variable; nullptr when it is not set.
using TEnvironment = std::function<const char*(const char*)>;

// The places of the program file `exeName`, deciding by whether its folder
// can be written now, in the process's environment.
TPlaces ProgramPlaces(const std::string& exeName);
// The same with the decision and the environment given.
TPlaces ProgramPlaces(const std::string& exeName, bool programFolderWritable, const TEnvironment& env);

// False when the folder exists and this process cannot create files in it.
// A folder that does not exist counts as writable: the program stays with
// its own place there (and cannot save, as it could not before).
bool CanWriteFolder(const std::string& folder);

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string ConfigHome(const TEnvironment& env);
// XDG_DOCUMENTS_DIR of <config home>/user-dirs.dirs when it names an
// existing folder, else the home folder; ends in "/".
std::string DocumentsFolder(const TEnvironment& env);

// Creates the folders above the settings file when it lives in the
// configuration folder (private to the user, as that folder should be).
// Errors are left to the save that follows.
void MakeSettingsFolder(const TPlaces& places);

}  // namespace places
