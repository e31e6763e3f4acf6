// Find in files and the file list over generated folders: what git's rules,
// the kinds of file and the file's encoding let through, cancelling, and
// ripgrep's matches as the judge of the search's.

#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/FileList.h"
#include "app/FileSearch.h"
#include "gtest/gtest.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  WriteBytes(path, bytes);
}

// A git repository at `dir` whose index tracks `tracked`.
void MakeRepository(const std::string& dir, const std::vector<std::string>& tracked = {}) {
  git_libgit2_init();
  git_repository* repo = nullptr;
  ASSERT_EQ(git_repository_init(&repo, dir.c_str(), 0), 0);
  git_index* index = nullptr;
  ASSERT_EQ(git_repository_index(&index, repo), 0);
  for (const auto& path : tracked) ASSERT_EQ(git_index_add_bypath(index, path.c_str()), 0) << path;
  ASSERT_EQ(git_index_write(index), 0);
  git_index_free(index);
  git_repository_free(repo);
  git_libgit2_shutdown();
}

// Waits for `done` with a generous deadline.
template <typename Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Every match of a finished search as "path:line:begin-end" in the file's
// bytes, sorted; with `text`, each line's shown text and marked bytes too.
std::vector<std::string> Found(TFileSearch& search, bool text = false) {
  std::vector<std::string> out;
  auto take = [&] {
    for (const TFoundFile& f : search.Take())
      for (const TFoundLine& l : f.Lines)
        for (const TFoundMatch& m : l.Matches) {
          std::string row = f.Path + ":" + std::to_string(l.Line) + ":" + std::to_string(m.FileBegin) + "-" +
                            std::to_string(m.FileEnd);
          if (text) row += " " + l.Text + " [" + l.Text.substr(m.Begin, m.End - m.Begin) + "]";
          out.push_back(row);
        }
  };
  if (!WaitFor([&] {
        take();
        return search.Finished();
      }))
    return {"the search did not end"};
  take();
  std::sort(out.begin(), out.end());
  return out;
}

std::string Joined(const std::vector<std::string>& rows) {
  std::string s;
  for (const auto& r : rows) s += r + "\n";
  return s;
}

}  // namespace

TEST(FileSearch, FindsTheLinesGitShowsInTextFilesItCanReadAndListsTheSameFiles) {
  TempDir dir;
  const std::string root = dir.Path();
  Write(root + "/.gitignore", "*.log\nbuild/\n!keep.log\n");
  Write(root + "/a.php", "<?php\nfunction needle() {}\n  call_NEEDLE(); needle\nnothing\n");
  Write(root + "/b.js", "x\r\nNeedle = 1;\r\n");
  Write(root + "/notes.log", "needle\n");
  Write(root + "/keep.log", "a needle kept\n");
  Write(root + "/tracked.log", "needle tracked\n");  // ignored by rule, tracked by the index
  Write(root + "/build/out.php", "needle\n");
  Write(root + "/sub/.gitignore", "local.php\n");
  Write(root + "/sub/local.php", "needle\n");
  Write(root + "/sub/deep/other.php", "a\nb\nneedle\n");
  Write(root + "/bin.dat", std::string("needle\0\x01\x02", 9));
  Write(root + "/latin1.txt", "caf\xE9 needle\n");
  Write(root + "/utf8.txt", "\xEF\xBB\xBF\xC3\xA9 needle\n");
  Write(root + "/secret.php", "needle\n");
  ASSERT_EQ(mkfifo((root + "/pipe.php").c_str(), 0644), 0);
  fs::create_directory_symlink("..", root + "/sub/loop");
  fs::create_symlink("a.php", root + "/link.php");
  MakeRepository(root, {"tracked.log"});
  chmod(root.c_str(), 0755);
  chmod((root + "/secret.php").c_str(), 0);

  // As a user that file permissions bind (root reads a file of mode 000).
  const std::string seen = AsUnprivilegedUser([&] {
    setenv("HOME", root.c_str(), 1);  // git's configuration: one this user can read
    TFileSearch search;
    search.Start(root, "needle", {});
    std::string out = Joined(Found(search, true));
    const TFileSearchCounts c = search.Counts();
    out += "lines " + std::to_string(c.Lines) + " matches " + std::to_string(c.Matches) + " skipped " +
           std::to_string(c.Skipped) + "\n";
    search.Start(root, "needle", {{.WholeWords = true}, "*.php; *.js", 1});
    out += Joined(Found(search));
    TFileList list;
    list.Start(root);
    list.Wait();
    std::vector<std::string> files = list.Files();
    std::sort(files.begin(), files.end());
    return out + Joined(files);
  });
  EXPECT_EQ(seen,
            "a.php:2:9-15 function needle() {} [needle]\n"
            "a.php:3:17-23   call_NEEDLE(); needle [needle]\n"
            "a.php:3:7-13   call_NEEDLE(); needle [NEEDLE]\n"
            "b.js:2:0-6 Needle = 1; [Needle]\n"
            "keep.log:1:2-8 a needle kept [needle]\n"
            "latin1.txt:1:5-11 caf\xC3\xA9 needle [needle]\n"
            "link.php:2:9-15 function needle() {} [needle]\n"
            "link.php:3:17-23   call_NEEDLE(); needle [needle]\n"
            "link.php:3:7-13   call_NEEDLE(); needle [NEEDLE]\n"
            "sub/deep/other.php:3:0-6 needle [needle]\n"
            "tracked.log:1:0-6 needle tracked [needle]\n"
            "utf8.txt:1:3-9 \xC3\xA9 needle [needle]\n"
            "lines 10 matches 12 skipped 2\n"
            "a.php:2:9-15\n"
            "a.php:3:17-23\n"
            "b.js:2:0-6\n"
            "link.php:2:9-15\n"
            "link.php:3:17-23\n"
            "sub/deep/other.php:3:0-6\n"
            ".gitignore\na.php\nb.js\nbin.dat\nkeep.log\nlatin1.txt\nlink.php\nsecret.php\nsub/.gitignore\n"
            "sub/deep/other.php\ntracked.log\nutf8.txt\n");
}

TEST(FileSearch, CancelOrANewSearchStopsOneThatWaitsForItsResultsToBeTaken) {
  TempDir dir;
  std::string lines;
  for (int i = 0; i < 100; ++i) lines += "a match on line " + std::to_string(i) + "\n";
  for (int i = 0; i < 300; ++i) Write(dir.File("big/f" + std::to_string(i) + ".txt"), lines);
  Write(dir.File("small/one.txt"), "one match\n");
  std::atomic<int> ready{0};
  TFileSearch search;
  search.OnReady = [&] { ++ready; };
  // Nobody takes the results: the search fills its queue and waits.
  search.Start(dir.Path() + "/big", "match", {});
  ASSERT_TRUE(WaitFor([&] { return search.Counts().Lines >= 10000 && ready > 0; }));
  EXPECT_FALSE(search.Finished());
  search.Cancel();
  ASSERT_TRUE(WaitFor([&] { return search.Finished(); }));
  EXPECT_TRUE(search.Cancelled());
  EXPECT_LT(search.Counts().Files, 300);
  // And a new search replaces one under way, results and all.
  search.Start(dir.Path() + "/big", "match", {});
  ASSERT_TRUE(WaitFor([&] { return search.Counts().Lines >= 10000; }));
  search.Start(dir.Path() + "/small", "match", {});
  EXPECT_EQ(Joined(Found(search)), "one.txt:1:4-9\n");
}

TEST(FileSearch, MatchesWhatRipgrepMatchesOverAGeneratedRepository) {
  if (std::system("rg --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ripgrep (rg) is not installed";
  TempDir dir;
  const std::string root = dir.Path();
  const char* words[] = {"get", "set", "user_id", "$post_id", "Needle", "needle", "function", "\t", " ", "=",
                         "getter", "_get", "é", "->", "(", ")", ";"};
  unsigned seed = 7;
  auto next = [&] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
  auto text = [&](int lines, const char* end) {
    std::string t;
    for (int l = 0; l < lines; ++l) {
      for (int w = next() % 12; w-- > 0;) t += words[next() % (sizeof words / sizeof *words)];
      t += end;
    }
    return t;
  };
  for (int f = 0; f < 120; ++f)
    Write(root + "/d" + std::to_string(f % 7) + "/s" + std::to_string(f % 3) + "/f" + std::to_string(f) +
              (f % 4 ? ".php" : ".log"),
          text(40 + f, f % 5 ? "\n" : "\r\n"));
  Write(root + "/large.php", text(200000, "\n"));  // read in several blocks
  Write(root + "/bin.php", std::string("needle\0", 7));
  Write(root + "/.gitignore", "*.log\n!d3/**/*.log\nd5/\n");
  MakeRepository(root);
  struct Case {
    const char* pattern;
    TSearchOptions options;
    const char* rgFlags;
  };
  const Case cases[] = {{"needle", {.MatchCase = true}, "-s -F"},
                        {"needle", {}, "-i -F"},
                        {"get", {.MatchCase = true, .WholeWords = true}, "-s -F -w"},
                        {"\\$[a-z]+_id\\b", {.Regex = true}, "-i"},
                        {"^[ \\t]*function", {.MatchCase = true, .Regex = true}, "-s"}};
  for (const Case& c : cases) {
    const std::string command = "cd '" + root + "' && rg --no-config --hidden --no-ignore-dot -g '!.git' -P " +
                                c.rgFlags + " --vimgrep -o -e '" + c.pattern + "' .";
    std::vector<std::string> expected;
    FILE* rg = popen(command.c_str(), "r");
    ASSERT_NE(rg, nullptr);
    char row[65536];
    while (fgets(row, sizeof row, rg)) {
      // ./path:line:column:match
      std::string s(row);
      if (!s.empty() && s.back() == '\n') s.pop_back();
      const std::size_t a = s.find(':'), b = s.find(':', a + 1), k = s.find(':', b + 1);
      const long begin = std::stol(s.substr(b + 1, k - b - 1)) - 1;
      expected.push_back(s.substr(2, a - 2) + ":" + s.substr(a + 1, b - a - 1) + ":" + std::to_string(begin) + "-" +
                         std::to_string(begin + static_cast<long>(s.size() - k - 1)));
    }
    pclose(rg);
    std::sort(expected.begin(), expected.end());
    TFileSearch search;
    search.Start(root, c.pattern, {c.options, "", 2});
    const std::vector<std::string> found = Found(search);
    EXPECT_GT(found.size(), 10u) << c.pattern;
    EXPECT_EQ(found, expected) << c.pattern;
  }
}

TEST(FileList, TheBestFuzzyMatchesComeFirst) {
  // Letters in order, ignoring case; none other.
  EXPECT_LT(FuzzyScore("app/FileSearch.cpp", "fsx"), 0);
  EXPECT_LT(FuzzyScore("app/FileSearch.cpp", "hcs"), 0);
  EXPECT_GE(FuzzyScore("app/FileSearch.cpp", "APPFSC"), 0);
  TempDir dir;
  for (const char* f : {"app/FileSearch.cpp", "app/FileSearch.h", "fs/readme.txt", "editor/FastSearch.cpp",
                        "tests/app/FileSearchTest.cpp", "a/f/i/l/e/s.txt", "app/ui/Files.cpp", "wp-filesystem.php"})
    Write(dir.File(f), "x\n");
  TFileList list;
  list.Start(dir.Path());
  list.Wait();
  ASSERT_EQ(list.Files().size(), 8u);
  auto best = [&](const char* query) {
    std::string out;
    for (std::size_t i : list.Filter(query, 4)) out += list.Files()[i] + " ";
    return out;
  };
  // Each keystroke narrows the last one's matches: "f" is in every path.
  EXPECT_EQ(list.Filter("f", 100).size(), 8u);
  // Word starts in the name first, then the shorter path.
  EXPECT_EQ(best("fs"), "app/FileSearch.h app/FileSearch.cpp tests/app/FileSearchTest.cpp app/ui/Files.cpp ");
  // A whole word beats the same letters running into the next word.
  EXPECT_EQ(best("files"), "app/ui/Files.cpp app/FileSearch.h app/FileSearch.cpp tests/app/FileSearchTest.cpp ");
  EXPECT_EQ(best("fsch"), "app/FileSearch.h app/FileSearch.cpp editor/FastSearch.cpp tests/app/FileSearchTest.cpp ");
  EXPECT_EQ(best("readme"), "fs/readme.txt ");
}
