#pragma once

// TDiskWatch: tells, a moment after a burst of changes has settled (and
// within a second of its first change, however long it lasts), that one of
// the watched files, or a folder holding one, changed on disk. A file
// that is missing, or was replaced, is watched through its folder until it
// is there again.

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class TDiskWatch : public QObject {
 public:
  explicit TDiskWatch(std::function<void()> onChange, QObject* parent = nullptr);

  // Watches these files (names as the file system spells them) instead of
  // the ones before.
  void Watch(const std::vector<std::string>& fileNames);

 private:
  std::function<void()> onChange_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  QElapsedTimer burst_;  // since the first change of the burst
};
