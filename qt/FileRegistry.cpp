#include "qt/FileRegistry.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

#include "editor/FileIO.h"
#include "editor/TextEscape.h"

namespace platform {

namespace {
constexpr std::string_view kHeader = "QuorvelRegistry 1";
}

std::string SerializeRegistry(const TMemoryRegistry& tree) {
  std::string out(kHeader);
  out += '\n';
  tree.ForEachKey([&](const std::string& path, const TMemoryRegistry::TValues& values) {
    out += "K\t" + EscapeText(path) + '\n';
    for (const auto& [name, data] : values) out += "V\t" + EscapeText(name) + '\t' + EscapeText(data) + '\n';
  });
  return out;
}

bool DeserializeRegistry(std::string_view text, TMemoryRegistry& tree) {
  if (text.substr(0, kHeader.size()) != kHeader) return false;
  text.remove_prefix(kHeader.size());
  if (text.empty() || text.front() != '\n') return false;
  text.remove_prefix(1);
  TMemoryRegistry read;
  std::optional<std::string> current;
  while (!text.empty()) {
    auto lf = text.find('\n');
    if (lf == std::string_view::npos) return false;  // cut off
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf + 1);
    if (line.substr(0, 2) == "K\t") {
      auto path = UnescapeTextStrictly(line.substr(2));
      if (!path || !read.CreateKey(*path)) return false;
      current = std::move(path);
    } else if (line.substr(0, 2) == "V\t") {
      std::string_view rest = line.substr(2);
      auto tab = rest.find('\t');
      if (!current || tab == std::string_view::npos) return false;
      auto name = UnescapeTextStrictly(rest.substr(0, tab));
      auto data = UnescapeTextStrictly(rest.substr(tab + 1));
      if (!name || !data) return false;
      read.WriteValue(*current, *name, *data);
    } else {
      return false;
    }
  }
  tree.Swap(read);
  return true;
}

FileRegistry::FileRegistry(std::string fileName) : FFileName(std::move(fileName)) {
  struct stat info {};
  if (::stat(FFileName.c_str(), &info) != 0) {
    FUsable = errno == ENOENT;  // no file yet: an empty tree
    return;
  }
  try {
    FUsable = S_ISREG(info.st_mode) && DeserializeRegistry(ReadFileBytes(FFileName), FTree);
  } catch (const std::exception&) {
    FUsable = false;
  }
}

FileRegistry::~FileRegistry() {
  try {
    Flush();
  } catch (const std::exception&) {
  }
}

std::string FileRegistry::DefaultFileName() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) folder = QDir::homePath() + "/.config";
  return QFile::encodeName(folder + "/quorvel/classes.reg").toStdString();
}

template <typename Change>
bool FileRegistry::Modify(Change change) {
  if (!FUsable) return false;
  bool done = change();
  FModified = FModified || done;
  return done;
}

bool FileRegistry::CreateKey(const std::string& path) {
  if (FTree.KeyExists(path)) return true;
  return Modify([&] { return FTree.CreateKey(path); });
}

bool FileRegistry::WriteValue(const std::string& path, const std::string& name, const std::string& value) {
  return Modify([&] { return FTree.WriteValue(path, name, value); });
}

bool FileRegistry::DeleteValue(const std::string& path, const std::string& name) {
  return Modify([&] { return FTree.DeleteValue(path, name); });
}

bool FileRegistry::RenameValue(const std::string& path, const std::string& from, const std::string& to) {
  return Modify([&] { return FTree.RenameValue(path, from, to); });
}

bool FileRegistry::MoveKey(const std::string& from, const std::string& to) {
  return Modify([&] { return FTree.MoveKey(from, to); });
}

bool FileRegistry::DeleteKey(const std::string& path) {
  return Modify([&] { return FTree.DeleteKey(path); });
}

bool FileRegistry::Flush() {
  if (!FModified) return true;
  if (!FUsable) return false;
  try {
    QDir().mkpath(QFileInfo(QFile::decodeName(FFileName.c_str())).absolutePath());
    std::string text = SerializeRegistry(FTree);
    WriteFileSafely(FFileName, [&](TFileWriter& out) { out.Write(text); });
  } catch (const EFileError&) {
    return false;
  }
  FModified = false;
  return true;
}

}  // namespace platform
