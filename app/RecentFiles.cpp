#include "app/RecentFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "app/Journal.h"
#include "editor/FileIO.h"
#include "editor/TextEscape.h"

namespace {

constexpr const char* kFileName = "recent-files";
// A list of a few dozen names: anything far larger is no file of ours.
constexpr off_t kMostBytes = off_t{1} << 20;
constexpr std::string_view kHeading = "# Quorvel Editor: files opened or saved lately, documents open at the end\n";
constexpr std::string_view kRecent = "recent=";
constexpr std::string_view kSession = "session=";
constexpr std::string_view kCurrent = "current=";

std::string Absolute(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.lexically_normal().string();
}

// A name the list can hold: an absolute path of one line.
bool Usable(const std::string& name) { return !name.empty() && name[0] == '/' && name.find('\0') == std::string::npos; }

void AddLine(std::string& text, std::string_view key, std::string_view value) {
  text += key;
  text += EscapeText(value);
  text += '\n';
}

}  // namespace

std::string TRecentFiles::DefaultPath() { return UserStateFolder() + "/" + kFileName; }

void TRecentFiles::Load() {
  files_.clear();
  session_.clear();
  current_ = -1;
  // A link in its place is no state file of ours: the next write replaces it.
  struct stat st {};
  if (::lstat(file_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMostBytes) return;
  try {
    Parse(ReadFileBuffer(file_).View());
  } catch (const EFileError&) {
    // Unreadable: nothing is remembered.
  }
}

void TRecentFiles::Parse(std::string_view text) {
  files_.clear();
  session_.clear();
  current_ = -1;
  std::string current;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto value = [&](std::string_view key) { return UnescapeText(line.substr(key.size())); };
    if (line.starts_with(kRecent)) {
      std::string name = value(kRecent);
      if (Usable(name) && files_.size() < kMostFiles && std::find(files_.begin(), files_.end(), name) == files_.end())
        files_.push_back(std::move(name));
    } else if (line.starts_with(kSession)) {
      std::string name = value(kSession);
      if (Usable(name)) session_.push_back(std::move(name));
    } else if (line.starts_with(kCurrent)) {
      current = value(kCurrent);
    }
  }
  auto found = std::find(session_.begin(), session_.end(), current);
  if (!current.empty() && found != session_.end()) current_ = static_cast<int>(found - session_.begin());
}

std::string TRecentFiles::Text() const {
  std::string text(kHeading);
  for (const std::string& name : files_) AddLine(text, kRecent, name);
  for (const std::string& name : session_) AddLine(text, kSession, name);
  if (current_ >= 0 && current_ < static_cast<int>(session_.size()))
    AddLine(text, kCurrent, session_[static_cast<std::size_t>(current_)]);
  return text;
}

bool TRecentFiles::Save() const {
  try {
    WriteStateFile(file_, Text());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TRecentFiles::Add(const std::string& fileName) {
  const std::string name = Absolute(fileName);
  if (!Usable(name)) return;
  Load();
  files_.erase(std::remove(files_.begin(), files_.end(), name), files_.end());
  files_.insert(files_.begin(), name);
  if (files_.size() > kMostFiles) files_.resize(kMostFiles);
  Save();
}

void TRecentFiles::Remove(const std::string& fileName) {
  Load();
  const auto before = files_.size();
  files_.erase(std::remove(files_.begin(), files_.end(), fileName), files_.end());
  if (files_.size() != before) Save();
}

void TRecentFiles::SetSession(const std::vector<std::string>& fileNames, int current) {
  Load();
  std::vector<std::string> session;
  int kept = -1;
  for (std::size_t i = 0; i < fileNames.size(); ++i) {
    const std::string name = Absolute(fileNames[i]);
    if (!Usable(name)) continue;
    if (static_cast<int>(i) == current) kept = static_cast<int>(session.size());
    session.push_back(name);
  }
  if (session == session_ && kept == current_) return;
  session_ = std::move(session);
  current_ = kept;
  Save();
}
