#include "app/ui/DiskWatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace {

// Changes that come in a burst (a program writing a file in pieces, a save
// through a temporary file) are told once, this long after the last one...
constexpr int kSettleMs = 200;
// ...but no later than this after the first: a file that never stops
// changing is told of all the same.
constexpr int kLongestWaitMs = 1000;

}  // namespace

TDiskWatch::TDiskWatch(std::function<void()> onChange, QObject* parent)
    : QObject(parent), onChange_(std::move(onChange)) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] {
    if (onChange_) onChange_();
  });
  auto changed = [this](const QString&) {
    if (!settle_.isActive()) burst_.start();
    settle_.start(static_cast<int>(std::clamp<qint64>(kLongestWaitMs - burst_.elapsed(), 0, kSettleMs)));
  };
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, changed);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
}

void TDiskWatch::Watch(const std::vector<std::string>& fileNames) {
  QSet<QString> wanted;
  for (const std::string& name : fileNames) {
    if (name.empty()) continue;
    const QFileInfo file(QFile::decodeName(QByteArray::fromStdString(name)));
    if (file.exists()) wanted.insert(file.absoluteFilePath());
    if (QFileInfo(file.absolutePath()).isDir()) wanted.insert(file.absolutePath());
  }
  QStringList watched = watcher_.files() + watcher_.directories();
  QStringList gone;
  for (const QString& path : watched)
    if (!wanted.contains(path)) gone.append(path);
  if (!gone.isEmpty()) watcher_.removePaths(gone);
  QStringList added;
  for (const QString& path : wanted)
    if (!watched.contains(path)) added.append(path);
  if (!added.isEmpty()) watcher_.addPaths(added);
}
