#pragma once

// File associations as the Linux desktop keeps them: the default
// application of a MIME type is the first desktop entry listed for it under
// [Default Applications] in a mimeapps.list (the user's own in
// $XDG_CONFIG_HOME first), as xdg-mime and the file managers read it.
//
// The program makes itself the default by putting its entry's ID in front
// of the user's list for the type: what was there (the previous default)
// stays behind it, and taking the ID out again restores the list as it
// was. The entry is the installed quorvel.desktop when that runs this
// program file; otherwise the program writes an entry of its own into
// $XDG_DATA_HOME/applications, named after its path, and removes it again
// when it is the default of nothing.

#include <set>
#include <string>
#include <vector>

namespace platform {

// The folders the desktop reads entries and associations from.
struct XdgFolders {
  std::string ConfigHome;                    // $XDG_CONFIG_HOME, else ~/.config
  std::vector<std::string> ConfigDirs;       // $XDG_CONFIG_DIRS, else /etc/xdg
  std::string DataHome;                      // $XDG_DATA_HOME, else ~/.local/share
  std::vector<std::string> DataDirs;         // $XDG_DATA_DIRS, else /usr/local/share and /usr/share
  std::vector<std::string> CurrentDesktops;  // $XDG_CURRENT_DESKTOP, lower case
  std::string Path;                          // $PATH, to find a program named without a folder

  static XdgFolders FromEnvironment();
};

class DesktopAssociations {
 public:
  // `programFile`: the program whose entry is made the default.
  DesktopAssociations(XdgFolders folders, std::string programFile);

  // The MIME type the desktop gives files with the extension ("PHP" →
  // "application/x-php"); empty when it knows none.
  static std::string MimeTypeOf(const std::string& extension);

  // The ID of the entry the desktop opens files of `mimeType` with; empty
  // when no mimeapps.list, defaults.list or mimeinfo.cache names one.
  std::string DefaultEntry(const std::string& mimeType) const;
  // The program file an installed entry's Exec line runs, symbolic links
  // resolved; empty when there is no such entry or program.
  std::string EntryProgram(const std::string& entryId) const;
  // Whether the desktop opens files with the extension with `program`.
  bool Opens(const std::string& extension, const std::string& program) const;

  // The ID of this program's entry: "quorvel.desktop" when installed, else
  // the ID of the user's own entry for this program file.
  std::string EntryId() const;
  // Makes the program the default application of exactly `mimeTypes` among
  // the types the user's mimeapps.list lists it for, and gives the others
  // back to what was there before. Throws EFileError when a file cannot be
  // written.
  void Apply(const std::set<std::string>& mimeTypes) const;

  const std::string& ProgramFile() const { return FProgram; }

 private:
  std::string FindEntry(const std::string& entryId) const;
  std::string UserEntryFile() const;
  std::string UserEntryText(const std::set<std::string>& mimeTypes) const;

  XdgFolders FFolders;
  std::string FProgram;  // symbolic links resolved
};

// The program file a command line runs: its first word (double quotes
// allowed), resolved like the desktop does through `path` when it names no
// folder, symbolic links resolved; empty when there is no such file.
std::string ProgramOfCommand(const std::string& command, const std::string& path);

// Editing a desktop key file (mimeapps.list) line by line, keeping every
// line it does not change. The value of `key` in `group`, and whether the
// key is there.
bool ReadKey(const std::string& text, const std::string& group, const std::string& key, std::string& value);
// The text with `key` in `group` set to `value` (the group and the key made
// when missing), or, with `remove`, the key taken out (and the group too when
// it is left without keys).
std::string WriteKey(const std::string& text, const std::string& group, const std::string& key,
                     const std::string& value, bool remove = false);

}  // namespace platform
