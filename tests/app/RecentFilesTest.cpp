// The recent files and the last session's documents in their state file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "app/RecentFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> Expected(const std::vector<std::string>& added) {
  std::vector<std::string> list;
  for (auto it = added.rbegin(); it != added.rend() && list.size() < TRecentFiles::kMostFiles; ++it)
    if (std::find(list.begin(), list.end(), *it) == list.end()) list.push_back(*it);
  return list;
}

// Any run of adds, from two windows sharing the state file: the list is the
// names last added, most recent first, each once, at most ten.
TEST(RecentFiles, MostRecentFirstOnceEachAtMostTenAcrossWindows) {
  TempDir dir;
  const std::string state = dir.File("state/quorvel/recent-files");
  std::mt19937 random(27);
  for (int round = 0; round < 8; ++round) {
    ::unlink(state.c_str());
    TRecentFiles one(state), two(state);
    std::vector<std::string> added;
    const int adds = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < adds; ++i) {
      const std::string name = "/docs/f" + std::to_string(random() % 15) + ".php";
      (random() % 2 ? one : two).Add(name);
      added.push_back(name);
    }
    TRecentFiles later(state);
    later.Load();
    EXPECT_EQ(later.Files(), Expected(added)) << "round " << round;
  }
  // Relative names are taken from the working folder; the folder is the user's own.
  TRecentFiles list(state);
  list.Add("sub/../here.txt");
  list.Load();
  ASSERT_FALSE(list.Files().empty());
  EXPECT_EQ(list.Files()[0], std::filesystem::current_path().string() + "/here.txt");
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("state/quorvel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(RecentFiles, ADamagedOrForeignStateFileKeepsOnlyItsSoundLines) {
  TempDir dir;
  const std::string state = dir.File("recent-files");
  struct Row {
    const char* what;
    std::string bytes;
    std::vector<std::string> files;
  } rows[] = {
      {"missing", "", {}},
      {"junk", std::string("\x00\xff\x01garbage\nrecent\n=recent=/x\n", 27), {}},
      {"relative and empty names", "recent=a.txt\nrecent=\nrecent=/ok.txt\n", {"/ok.txt"}},
      {"CR LF, duplicates", "recent=/a\r\nrecent=/b\r\nrecent=/a\r\n", {"/a", "/b"}},
      {"escaped name", "recent=/odd\\nname\\\\x\n", {"/odd\nname\\x"}},
      {"a last line cut short", "recent=/a\nrecent=/b", {"/a", "/b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ::unlink(state.c_str());
    if (std::string(row.what) != "missing") WriteBytes(state, row.bytes);
    TRecentFiles list(state);
    list.Load();
    EXPECT_EQ(list.Files(), row.files);
    // Written again, the file holds the sound lines only, and reads back the same.
    list.Add("/new");
    TRecentFiles again(state);
    again.Load();
    std::vector<std::string> expected{"/new"};
    expected.insert(expected.end(), row.files.begin(), row.files.end());
    EXPECT_EQ(again.Files(), expected);
    EXPECT_EQ(ReadBytes(state).find("garbage"), std::string::npos);
  }
  // Twelve entries read as ten; a file far too large, or a folder, as nothing.
  std::string twelve;
  for (int i = 0; i < 12; ++i) twelve += "recent=/f" + std::to_string(i) + "\n";
  WriteBytes(state, twelve);
  TRecentFiles list(state);
  list.Load();
  EXPECT_EQ(list.Files().size(), TRecentFiles::kMostFiles);
  WriteBytes(state, twelve + std::string(2 << 20, '#'));
  list.Load();
  EXPECT_TRUE(list.Files().empty());
  ::unlink(state.c_str());
  ::mkdir(state.c_str(), 0700);
  list.Load();
  EXPECT_TRUE(list.Files().empty());
  EXPECT_FALSE(list.Save()) << "a folder in the file's place is not written over";
}

// A link put in the state file's place (to another user's file when the
// suite runs as root, as the program may) is replaced, never written
// through. The state folder is the user's own and private: made so when it
// is the user's, not used when it is another's or a link.
TEST(RecentFiles, ALinkInTheStateFilesPlaceIsReplacedNeverWrittenThrough) {
  TempDir dir;
  const std::string folder = dir.File("state/quorvel"), state = folder + "/recent-files";
  ASSERT_EQ(::mkdir(dir.File("state").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string other = dir.File("someone-elses.txt");
  WriteBytes(other, "not a list\n");
  ::chmod(other.c_str(), 0666);
  GiveTo(other, UnprivilegedUser());
  ASSERT_EQ(::symlink(other.c_str(), state.c_str()), 0);
  TRecentFiles list(state);
  list.Load();
  EXPECT_TRUE(list.Files().empty()) << "a link is no state file of ours";
  list.Add("/docs/a.php");
  list.SetSession({"/docs/b.php"}, 0);
  EXPECT_EQ(ReadBytes(other), "not a list\n");
  struct stat st {};
  ASSERT_EQ(::lstat(state.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  TRecentFiles later(state);
  later.Load();
  EXPECT_EQ(later.Files(), std::vector<std::string>{"/docs/a.php"});
  EXPECT_EQ(later.Session(), std::vector<std::string>{"/docs/b.php"});
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the user's own folder is made private";

  const std::string elsewhere = dir.File("elsewhere"), linked = dir.File("linked");
  ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), linked.c_str()), 0);
  EXPECT_FALSE(TRecentFiles(linked + "/recent-files").Save()) << "a link in the folder's place";
  EXPECT_NE(::access((elsewhere + "/recent-files").c_str(), F_OK), 0);
  if (::geteuid() == 0) {
    const std::string foreign = dir.File("foreign");
    ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
    GiveTo(foreign, UnprivilegedUser());
    EXPECT_FALSE(TRecentFiles(foreign + "/recent-files").Save()) << "another user's folder";
    EXPECT_NE(::access((foreign + "/recent-files").c_str(), F_OK), 0);
  }
}

TEST(RecentFiles, TheSessionKeepsItsDocumentsAndTheCurrentOneBesideTheList) {
  TempDir dir;
  const std::string state = dir.File("recent-files");
  TRecentFiles list(state);
  list.Add("/a.php");
  list.SetSession({"/b.php", "", "/c\tone.php", "/b.php"}, 2);
  TRecentFiles later(state);
  later.Load();
  EXPECT_EQ(later.Files(), std::vector<std::string>{"/a.php"});
  EXPECT_EQ(later.Session(), (std::vector<std::string>{"/b.php", "/c\tone.php", "/b.php"}));
  EXPECT_EQ(later.SessionCurrent(), 1);
  later.SetSession({}, -1);
  list.Load();
  EXPECT_TRUE(list.Session().empty());
  EXPECT_EQ(list.SessionCurrent(), -1);
  EXPECT_EQ(list.Files(), std::vector<std::string>{"/a.php"});
}

}  // namespace
