#include "app/XdgPlaces.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace places {

namespace {

constexpr char kProgramFolder[] = "quorvel";
constexpr char kSettingsName[] = "quorvel.ini";

bool IsAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Home(const TEnvironment& env) {
  const char* home = env("HOME");
  if (home && IsAbsolute(home)) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user && user->pw_dir ? user->pw_dir : "/";
}

// The value of a user-dirs.dirs line, `NAME="$HOME/folder"` or
// `NAME="/folder"`, with the shell's backslash escapes resolved.
std::string UserDirValue(const std::string& text, const std::string& home) {
  std::string value;
  bool quoted = !text.empty() && text[0] == '"';
  for (std::size_t i = quoted ? 1 : 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted && c == '"') break;
    if (c == '\\' && i + 1 < text.size()) c = text[++i];
    value += c;
  }
  const std::string kHome = "$HOME";
  if (value.compare(0, kHome.size(), kHome) == 0 &&
      (value.size() == kHome.size() || value[kHome.size()] == '/'))
    value = home + value.substr(kHome.size());
  return value;
}

// The name beside the program: its path with the extension replaced by ".ini".
std::string BesideProgram(const std::string& exeName) {
  std::string name = exeName;
  auto slash = name.find_last_of('/');
  auto dot = name.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  return name + ".ini";
}

}  // namespace

bool CanWriteFolder(const std::string& folder) {
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0) return true;
  return errno == ENOENT;
}

std::string ConfigHome(const TEnvironment& env) {
  const char* config = env("XDG_CONFIG_HOME");
  if (config && IsAbsolute(config)) return config;
  return Home(env) + "/.config";
}

std::string DocumentsFolder(const TEnvironment& env) {
  const std::string home = Home(env);
  std::ifstream dirs(ConfigHome(env) + "/user-dirs.dirs");
  const std::string kKey = "XDG_DOCUMENTS_DIR=";
  std::string documents;
  for (std::string line; std::getline(dirs, line);) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0) continue;
    documents = UserDirValue(line.substr(start + kKey.size()), home);  // the last one counts
  }
  return WithSlash(IsAbsolute(documents) && IsFolder(documents) ? documents : home);
}

TPlaces ProgramPlaces(const std::string& exeName, bool programFolderWritable, const TEnvironment& env) {
  if (programFolderWritable) {
    return {BesideProgram(exeName), exeName.substr(0, exeName.find_last_of('/') + 1), true};
  }
  return {ConfigHome(env) + "/" + kProgramFolder + "/" + kSettingsName, DocumentsFolder(env), false};
}

TPlaces ProgramPlaces(const std::string& exeName) {
  std::string folder = exeName.substr(0, exeName.find_last_of('/') + 1);
  return ProgramPlaces(exeName, CanWriteFolder(folder.empty() ? "." : folder),
                       [](const char* name) { return static_cast<const char*>(std::getenv(name)); });
}

void MakeSettingsFolder(const TPlaces& places) {
  if (places.BesideProgram) return;
  std::string path = places.SettingsFile;
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0700);  // an existing folder keeps its mode
}

}  // namespace places
