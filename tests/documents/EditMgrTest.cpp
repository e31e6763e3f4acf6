// The open documents: one editor each, a spare one while none is open.

#include <gtest/gtest.h>

#include "app/EditMgr.h"
#include "tests/support/FakeEditorPanel.h"
#include "tests/support/TempDir.h"

namespace {

class EditManager : public ::testing::Test {
 protected:
  EditManager() {
    manager.OnChange = [this](TEditManager&) { ++changes; };
  }
  std::string File(const std::string& name, const std::string& text) {
    WriteBytes(dir.File(name), text);
    return dir.File(name);
  }

  TempDir dir;
  FakeEditorPanel panel;
  TEditManager manager{&panel};
  int changes = 0;
};

TEST_F(EditManager, StartsWithTheSpareEditorCurrent) {
  EXPECT_EQ(manager.Count(), 0);
  EXPECT_EQ(manager.CurrentIndex(), -1);
  EXPECT_TRUE(manager.IsSpare(manager.Current()));
  manager.FocusCurrent();
  EXPECT_TRUE(panel.windows.empty()) << "the spare editor has no window";
}

TEST_F(EditManager, OpeningAMissingFileGivesOneEmptyUnmodifiedLine) {
  manager.Open("no/such/file.txt");
  ASSERT_EQ(manager.Count(), 1);
  TSourceEditor& e = manager.Current();
  EXPECT_EQ(e.FileName, "no/such/file.txt");
  EXPECT_EQ(e.Lines->Count(), 1);
  EXPECT_FALSE(e.FileModified);
  EXPECT_EQ(e.Highlighter, nullptr);
  EXPECT_EQ(e.Color(), 0xC0C0C0u) << "the document look";
  EXPECT_EQ(e.GutterWidth(), 20);
  EXPECT_EQ(panel.VisibleCount(), 1);
}

TEST_F(EditManager, OpeningTheSameFileTwiceGivesTwoDocuments) {
  std::string path = File("a.php", "<?php ?>");
  int created = 0;
  manager.OnEditorCreated = [&](TSourceEditor&) { ++created; };
  manager.Open(path);
  manager.Open(path);
  EXPECT_EQ(manager.Count(), 2);
  EXPECT_EQ(created, 2);
  EXPECT_EQ(manager.CurrentIndex(), 1);
  manager.Editor(0).KeyPress('x');
  EXPECT_EQ(manager.Editor(0).UndoBuffer->Count(), 1);
  EXPECT_EQ(manager.Editor(1).UndoBuffer->Count(), 0) << "each has its own history";
  EXPECT_EQ(panel.VisibleCount(), 1) << "only the current one is shown";
}

TEST_F(EditManager, ClosingPicksTheNeighbour) {
  for (const char* n : {"1.txt", "2.txt", "3.txt"}) manager.Open(File(n, n));
  manager.Select(1);
  int before = changes;
  manager.Close(1);
  EXPECT_EQ(changes, before + 1);
  EXPECT_EQ(manager.CurrentIndex(), 1);
  EXPECT_EQ(manager.Current().Lines->Get(0), "3.txt") << "the former third is now current";
  manager.Close(1);
  EXPECT_EQ(manager.CurrentIndex(), 0) << "closing the last makes the one before current";
  manager.Close(5);
  manager.Close(-1);
  EXPECT_EQ(manager.Count(), 1) << "an index out of range does nothing";
  manager.Close(0);
  EXPECT_EQ(manager.Count(), 0);
  EXPECT_TRUE(manager.IsSpare(manager.Current()));
  EXPECT_EQ(panel.windows.size(), 0u);
}

TEST_F(EditManager, SaveAllWritesEveryDocument) {
  manager.Open(File("a.txt", "a"));
  manager.Open(dir.File("new.txt"));
  manager.Editor(0).FileModified = false;
  manager.SaveAll();
  EXPECT_EQ(ReadBytes(dir.File("a.txt")), "a\r\n");
  EXPECT_EQ(ReadBytes(dir.File("new.txt")), "\r\n");
}

TEST_F(EditManager, ReloadAndAnUnreadableFile) {
  std::string path = File("a.txt", "disk");
  manager.Open(path);
  manager.Current().KeyPress('x');
  manager.Reload();
  EXPECT_EQ(manager.Current().Lines->Get(0), "disk");
  EXPECT_FALSE(manager.Current().FileModified);
  std::remove(path.c_str());
  EXPECT_THROW(manager.Reload(), EFileError);
  EXPECT_EQ(manager.Current().Lines->Get(0), "disk") << "the document stays as it was";
  // A folder exists but is not a document: no tab is left for it.
  EXPECT_THROW(manager.Open(dir.Path()), EFileError);
  EXPECT_EQ(manager.Count(), 1);
}

}  // namespace
