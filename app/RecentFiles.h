#pragma once

// The files opened or saved lately, most recent first, and the documents
// that were open when the program last ended. Both live in one small state
// file of the user's state folder ($XDG_STATE_HOME/quorvel/recent-files),
// never in the settings file.
//
// Every change reads the file again before it writes it, so that windows on
// other displays keep what they added. The file is replaced as a whole
// (a temporary file renamed over it, never written through a link); one that
// is missing, damaged, too large or no regular file (a link too) counts as
// empty, and its damaged lines are dropped on the next write.

#include <string>
#include <string_view>
#include <vector>

class TRecentFiles {
 public:
  static constexpr std::size_t kMostFiles = 10;
  // The state file the program uses.
  static std::string DefaultPath();

  explicit TRecentFiles(std::string stateFile) : file_(std::move(stateFile)) {}

  // Reads the state file.
  void Load();
  // Writes it; false when it could not be written (the list stays in memory).
  bool Save() const;

  // A file opened or saved goes first; the same name is listed once, at
  // most kMostFiles are kept. Relative names are made absolute.
  void Add(const std::string& fileName);
  // A file the list should no longer offer.
  void Remove(const std::string& fileName);
  const std::vector<std::string>& Files() const { return files_; }

  // The documents open at the end, in tab order, and the index of the
  // current one (-1 for none).
  void SetSession(const std::vector<std::string>& fileNames, int current);
  const std::vector<std::string>& Session() const { return session_; }
  int SessionCurrent() const { return current_; }

  // The state file's text, and reading it back.
  std::string Text() const;
  void Parse(std::string_view text);

 private:
  std::string file_;
  std::vector<std::string> files_;
  std::vector<std::string> session_;
  int current_ = -1;
};
