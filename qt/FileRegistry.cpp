#include "qt/FileRegistry.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

#include "editor/FileIO.h"

namespace platform {

FileRegistry::FileRegistry(std::string fileName) : FFileName(std::move(fileName)) {
  struct stat info {};
  if (::stat(FFileName.c_str(), &info) != 0) {
    FUsable = errno == ENOENT;  // no file yet: an empty tree
    return;
  }
  try {
    FUsable = S_ISREG(info.st_mode) && FTree.Deserialize(ReadFileBytes(FFileName));
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
    std::string text = FTree.Serialize();
    WriteFileSafely(FFileName, [&](TFileWriter& out) { out.Write(text); });
  } catch (const EFileError&) {
    return false;
  }
  FModified = false;
  return true;
}

}  // namespace platform
