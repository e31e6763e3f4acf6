#pragma once

// TDiskCheck: notices that another program changed, replaced or deleted the
// file of an open document, by comparing the file's stamp on disk with the
// one the document took when it loaded or saved it. Each change is told
// once: a change the user was asked about is not asked about again until
// the file changes once more.

#include <unordered_map>

#include "highlight/source_editor.h"

enum class TDiskChange {
  None,
  Deleted,  // the file the document was loaded from or saved to is gone
  Changed,  // the file is there and is not what the document loaded or saved
};

class TDiskCheck {
 public:
  // What happened to the document's file since it was last told.
  TDiskChange Check(const TSourceEditor& document);
  // The document is closed.
  void Forget(const TSourceEditor& document) { told_.erase(&document); }
  // The file that was told as `was` is that same file again under the stamp
  // `now` (this program put its content back): it is not told again.
  void Renewed(const TSourceEditor& document, const TFileStamp& was, const TFileStamp& now) {
    auto told = told_.find(&document);
    if (told != told_.end() && told->second == was) told->second = now;
  }

 private:
  std::unordered_map<const TSourceEditor*, TFileStamp> told_;
};

// Saving would write over a file that another program changed since the
// document loaded or saved it.
bool ChangedOnDisk(const TSourceEditor& document);
