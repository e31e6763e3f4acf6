#include "app/DiskCheck.h"

TDiskChange TDiskCheck::Check(const TSourceEditor& document) {
  const TFileStamp now = FileStampOf(document.FileName);
  if (now.State == TFileStamp::TState::Unknown) return TDiskChange::None;  // cannot tell: no guess
  if (now == document.DiskStamp) {
    told_.erase(&document);
    return TDiskChange::None;
  }
  auto told = told_.find(&document);
  if (told != told_.end() && told->second == now) return TDiskChange::None;
  told_[&document] = now;
  if (now.State == TFileStamp::TState::Missing)
    return document.DiskStamp.State == TFileStamp::TState::Present ? TDiskChange::Deleted : TDiskChange::None;
  return TDiskChange::Changed;
}

bool ChangedOnDisk(const TSourceEditor& document) {
  const TFileStamp now = FileStampOf(document.FileName);
  return now.State == TFileStamp::TState::Present && !(now == document.DiskStamp);
}
