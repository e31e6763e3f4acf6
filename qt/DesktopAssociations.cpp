#include "qt/DesktopAssociations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QMimeDatabase>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "editor/FileIO.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr char kDefaults[] = "Default Applications";
constexpr char kInstalledEntry[] = "quorvel.desktop";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Env(const char* name, const std::string& otherwise) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : otherwise;  // relative folders are ignored
}

std::vector<std::string> EnvList(const char* name, const std::string& otherwise) {
  const char* value = std::getenv(name);
  std::vector<std::string> folders;
  for (const std::string& folder : Split(value && *value ? value : otherwise, ':'))
    if (folder[0] == '/') folders.push_back(folder);
  return folders;
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ReadText(const std::string& path) {
  if (!IsFile(path)) return {};
  try {
    return ReadFileBytes(path);
  } catch (const EFileError&) {
    return {};
  }
}

std::string Resolved(const std::string& path) {
  std::error_code error;
  fs::path real = fs::canonical(path, error);
  return error ? std::string() : real.string();
}

// The words of an Exec value: the key file's escapes (backslash with s, n,
// t, r or a backslash) resolved, then split at blanks; double quotes group,
// and inside them a backslash takes the next character as it is.
std::vector<std::string> ExecWords(const std::string& value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    char next = value[++i];
    switch (next) {
      case 's':
        text += ' ';
        break;
      case 'n':
        text += '\n';
        break;
      case 't':
        text += '\t';
        break;
      case 'r':
        text += '\r';
        break;
      case '\\':
        text += '\\';
        break;
      default:
        text += '\\', text += next;
    }
  }
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        if (c == '\\' && i + 1 < text.size()) c = text[++i];
        word += c;
      }
    } else if (c == '"') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

// A value as the Exec key holds it: quoted when it needs to be.
std::string ExecQuoted(const std::string& word) {
  if (word.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos) return word;
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c == '%' ? std::string("%%") : std::string(1, c);
  }
  quoted += '"';
  std::string escaped;  // the key file's own level: a backslash is written twice
  for (char c : quoted) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return escaped;
}

std::string ProgramOfWord(const std::string& word, const std::string& path) {
  if (word.empty()) return {};
  if (word.find('/') != std::string::npos) return Resolved(word);
  for (const std::string& folder : Split(path, ':')) {
    std::string candidate = folder + "/" + word;
    if (::access(candidate.c_str(), X_OK) == 0 && IsFile(candidate)) return Resolved(candidate);
  }
  return {};
}

// FNV-1a: the same program path gives the same entry name in every build.
std::string Hash(const std::string& text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  return hex;
}

struct Line {
  std::size_t Begin, End;  // the line's bytes, without its line feed
};

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back({begin, end});
    begin = end + 1;
  }
  return lines;
}

bool IsGroup(const std::string& line, std::string* name = nullptr) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  if (name) *name = t.substr(1, t.size() - 2);
  return true;
}

bool IsKey(const std::string& line, const std::string& key, std::string* value = nullptr) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == '#') return false;
  std::size_t equals = t.find('=');
  if (equals == std::string::npos || Trim(t.substr(0, equals)) != key) return false;
  if (value) *value = Trim(t.substr(equals + 1));
  return true;
}

// The lines of the first group named `group`: [header, end) as line indices.
bool FindGroup(const std::string& text, const std::vector<Line>& lines, const std::string& group,
               std::size_t& header, std::size_t& end) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (!IsGroup(text.substr(lines[i].Begin, lines[i].End - lines[i].Begin), &name) || name != group)
      continue;
    header = i;
    for (end = i + 1; end < lines.size(); ++end)
      if (IsGroup(text.substr(lines[end].Begin, lines[end].End - lines[end].Begin))) break;
    return true;
  }
  return false;
}

// The IDs of a `;` list.
std::vector<std::string> Ids(const std::string& list) {
  std::vector<std::string> ids;
  for (const std::string& id : Split(list, ';'))
    if (!Trim(id).empty()) ids.push_back(Trim(id));
  return ids;
}

}  // namespace

bool ReadKey(const std::string& text, const std::string& group, const std::string& key, std::string& value) {
  std::vector<Line> lines = Lines(text);
  std::size_t header = 0, end = 0;
  if (!FindGroup(text, lines, group, header, end)) return false;
  for (std::size_t i = header + 1; i < end; ++i)
    if (IsKey(text.substr(lines[i].Begin, lines[i].End - lines[i].Begin), key, &value)) return true;
  return false;
}

std::string WriteKey(const std::string& text, const std::string& group, const std::string& key,
                     const std::string& value, bool remove) {
  std::vector<Line> lines = Lines(text);
  auto line = [&](std::size_t i) { return text.substr(lines[i].Begin, lines[i].End - lines[i].Begin); };
  // The text from line i on, and the text before line i.
  auto from = [&](std::size_t i) { return i < lines.size() ? text.substr(lines[i].Begin) : std::string(); };
  auto upTo = [&](std::size_t i) { return i < lines.size() ? text.substr(0, lines[i].Begin) : text; };
  const std::string entry = key + "=" + value;

  std::size_t header = 0, end = 0;
  if (!FindGroup(text, lines, group, header, end)) {
    if (remove) return text;
    std::string out = text;
    if (!out.empty() && out.back() != '\n') out += '\n';
    if (!out.empty()) out += '\n';
    return out + "[" + group + "]\n" + entry + "\n";
  }
  std::size_t last = header;  // the group's last line that is not blank
  for (std::size_t i = header + 1; i < end; ++i) {
    if (IsKey(line(i), key)) {
      if (!remove)
        return upTo(i) + entry + (i + 1 < lines.size() || text.back() == '\n' ? "\n" : "") + from(i + 1);
      std::string out = upTo(i) + from(i + 1);
      bool keysLeft = false;
      for (std::size_t j = header + 1; j < end; ++j)
        if (j != i && !Trim(line(j)).empty() && Trim(line(j))[0] != '#') keysLeft = true;
      if (keysLeft) return out;
      // The group is left empty: take it out with the blank lines around it.
      std::size_t begin = header;
      while (begin > 0 && Trim(line(begin - 1)).empty()) --begin;
      std::size_t after = header + 1;
      while (after < end && (after == i || Trim(line(after)).empty())) ++after;
      if (after < end) return out;  // comments stay, and so does their group
      // Between two other groups one blank line stays to part them.
      std::string rest = upTo(begin) + (begin > 0 && end < lines.size() ? "\n" : "") + from(end);
      return Trim(rest).empty() ? std::string() : rest;
    }
    if (!Trim(line(i)).empty()) last = i;
  }
  if (remove) return text;
  std::string head = upTo(last + 1);
  if (!head.empty() && head.back() != '\n') head += '\n';
  return head + entry + "\n" + from(last + 1);
}

XdgFolders XdgFolders::FromEnvironment() {
  const char* homeValue = std::getenv("HOME");
  std::string home = homeValue ? homeValue : "";
  XdgFolders folders;
  folders.ConfigHome = Env("XDG_CONFIG_HOME", home + "/.config");
  folders.ConfigDirs = EnvList("XDG_CONFIG_DIRS", "/etc/xdg");
  folders.DataHome = Env("XDG_DATA_HOME", home + "/.local/share");
  folders.DataDirs = EnvList("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
  for (std::string desktop : Split(desktops ? desktops : "", ':')) {
    for (char& c : desktop) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    folders.CurrentDesktops.push_back(desktop);
  }
  const char* path = std::getenv("PATH");
  folders.Path = path ? path : "/usr/local/bin:/usr/bin:/bin";
  return folders;
}

std::string ProgramOfCommand(const std::string& command, const std::string& path) {
  std::vector<std::string> words = ExecWords(command);
  return words.empty() ? std::string() : ProgramOfWord(words[0], path);
}

DesktopAssociations::DesktopAssociations(XdgFolders folders, std::string programFile)
    : FFolders(std::move(folders)), FProgram(Resolved(programFile)) {
  if (FProgram.empty()) FProgram = programFile;
}

std::string DesktopAssociations::MimeTypeOf(const std::string& extension) {
  QMimeDatabase mime;
  // File names on the desktop are spelled in lower case ("*.C" would be C++).
  QMimeType type = mime.mimeTypeForFile("file." + QString::fromUtf8(extension.c_str()).toLower(),
                                        QMimeDatabase::MatchExtension);
  return type.isDefault() ? std::string() : type.name().toStdString();
}

std::string DesktopAssociations::FindEntry(const std::string& entryId) const {
  if (entryId.empty() || entryId.find('/') != std::string::npos) return {};
  std::vector<std::string> folders{FFolders.DataHome};
  folders.insert(folders.end(), FFolders.DataDirs.begin(), FFolders.DataDirs.end());
  for (const std::string& folder : folders) {
    std::string plain = folder + "/applications/" + entryId;
    if (IsFile(plain)) return plain;
    std::size_t dash = entryId.find('-');  // "vendor-name.desktop" may live in applications/vendor/
    if (dash != std::string::npos) {
      std::string nested =
          folder + "/applications/" + entryId.substr(0, dash) + "/" + entryId.substr(dash + 1);
      if (IsFile(nested)) return nested;
    }
  }
  return {};
}

std::string DesktopAssociations::EntryProgram(const std::string& entryId) const {
  std::string file = FindEntry(entryId);
  std::string exec;
  if (file.empty() || !ReadKey(ReadText(file), "Desktop Entry", "Exec", exec)) return {};
  return ProgramOfCommand(exec, FFolders.Path);
}

std::string DesktopAssociations::DefaultEntry(const std::string& mimeType) const {
  auto installed = [this](const std::string& id) { return !FindEntry(id).empty(); };
  // mimeapps.list in the configuration folders, then beside the entries;
  // in each folder the current desktops' own lists come first.
  std::vector<std::string> folders{FFolders.ConfigHome};
  folders.insert(folders.end(), FFolders.ConfigDirs.begin(), FFolders.ConfigDirs.end());
  folders.push_back(FFolders.DataHome + "/applications");
  for (const std::string& data : FFolders.DataDirs) folders.push_back(data + "/applications");
  for (const std::string& folder : folders) {
    std::vector<std::string> names;
    for (const std::string& desktop : FFolders.CurrentDesktops) names.push_back(desktop + "-mimeapps.list");
    names.push_back("mimeapps.list");
    for (const std::string& name : names) {
      std::string list;
      if (!ReadKey(ReadText(folder + "/" + name), kDefaults, mimeType, list)) continue;
      for (const std::string& id : Ids(list))
        if (installed(id)) return id;
    }
  }
  // What the entries' own lists say: defaults.list, then the cache of the
  // MimeType keys of all entries.
  std::vector<std::string> data{FFolders.DataHome};
  data.insert(data.end(), FFolders.DataDirs.begin(), FFolders.DataDirs.end());
  for (const std::string& folder : data) {
    for (const auto& [name, group] : {std::pair<const char*, const char*>{"defaults.list", kDefaults},
                                      std::pair<const char*, const char*>{"mimeinfo.cache", "MIME Cache"}}) {
      std::string list;
      if (!ReadKey(ReadText(folder + "/applications/" + name), group, mimeType, list)) continue;
      for (const std::string& id : Ids(list))
        if (installed(id)) return id;
    }
  }
  return {};
}

bool DesktopAssociations::Opens(const std::string& extension, const std::string& program) const {
  std::string mimeType = MimeTypeOf(extension);
  if (mimeType.empty() || program.empty()) return false;
  std::string runs = EntryProgram(DefaultEntry(mimeType));
  return !runs.empty() && runs == (Resolved(program).empty() ? program : Resolved(program));
}

std::string DesktopAssociations::EntryId() const {
  // The entry the desktop finds under the installed name is ours when it runs this program.
  if (EntryProgram(kInstalledEntry) == FProgram) return kInstalledEntry;
  return "quorvel-" + Hash(FProgram) + ".desktop";
}

std::string DesktopAssociations::UserEntryFile() const {
  return FFolders.DataHome + "/applications/" + "quorvel-" + Hash(FProgram) + ".desktop";
}

std::string DesktopAssociations::UserEntryText(const std::set<std::string>& mimeTypes) const {
  std::string types;
  for (const std::string& type : mimeTypes) types += type + ";";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Quorvel Editor\n"
         "Comment=Edit PHP and web sources with this copy of the editor\n"
         "Exec=" +
         ExecQuoted(FProgram) +
         " %f\n"
         "MimeType=" +
         types +
         "\n"
         "NoDisplay=true\n";
}

void DesktopAssociations::Apply(const std::set<std::string>& mimeTypes) const {
  const std::string id = EntryId();
  const std::string listFile = FFolders.ConfigHome + "/mimeapps.list";
  const std::string before = ReadText(listFile);
  std::string text = before;

  // Types the user's list gives to the program and that are no longer its own.
  std::vector<std::string> release;
  {
    std::vector<Line> lines = Lines(text);
    std::size_t header = 0, end = 0;
    if (FindGroup(text, lines, kDefaults, header, end)) {
      for (std::size_t i = header + 1; i < end; ++i) {
        std::string line = Trim(text.substr(lines[i].Begin, lines[i].End - lines[i].Begin));
        std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        std::string type = Trim(line.substr(0, equals));
        for (const std::string& listed : Split(line.substr(equals + 1), ';'))
          if (Trim(listed) == id && !mimeTypes.count(type)) release.push_back(type);
      }
    }
  }
  for (const std::string& type : release) {
    std::string list;
    ReadKey(text, kDefaults, type, list);
    const std::string front = id + ";";
    std::string rest;
    if (list.compare(0, front.size(), front) == 0) {
      rest = Trim(list.substr(front.size()));  // exactly what was there before
    } else {
      for (const std::string& listed : Split(list, ';'))
        if (Trim(listed) != id) rest += Trim(listed) + ";";
    }
    text = WriteKey(text, kDefaults, type, rest, rest.empty());
  }
  for (const std::string& type : mimeTypes) {
    std::string list;
    ReadKey(text, kDefaults, type, list);
    std::vector<std::string> ids = Ids(list);
    if (!ids.empty() && ids[0] == id) continue;
    // The list is kept as it stands behind the ID, so that taking the ID out restores it.
    std::string rest = list;
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
      rest.clear();
      for (const std::string& other : ids)
        if (other != id) rest += other + ";";
    }
    text = WriteKey(text, kDefaults, type, id + ";" + rest);
  }

  // The entry exists before the list names it, and goes after the list no longer does.
  const std::string entry = id == kInstalledEntry ? std::string() : UserEntryFile();
  if (!entry.empty() && !mimeTypes.empty()) {
    const std::string wanted = UserEntryText(mimeTypes);
    if (ReadText(entry) != wanted) {
      fs::create_directories(fs::path(entry).parent_path());
      WriteFileSafely(entry, [&](TFileWriter& out) { out.Write(wanted); });
    }
  }
  if (text != before) {
    if (text.empty()) {
      ::unlink(listFile.c_str());  // it held nothing but the program's own lines
    } else {
      fs::create_directories(FFolders.ConfigHome);
      WriteFileSafely(listFile, [&](TFileWriter& out) { out.Write(text); });
    }
  }
  if (!entry.empty() && mimeTypes.empty() && IsFile(entry)) ::unlink(entry.c_str());
}

}  // namespace platform
