// Documents on disk: bytes in unchanged, CR LF after every line out, and a
// failed save that leaves the old file as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <set>

#include "editor/AdvLines.h"
#include "editor/FileIO.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/TempDir.h"

namespace {

using Names = std::set<std::string>;

Names Entries(const std::string& folder) {
  Names names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

// The message of the error a call raises; "no error" when it raises none.
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const EFileError& e) {
    return e.what();
  }
  return "no error";
}

class Files : public ::testing::Test {
 protected:
  TempDir dir;
  FakeLinesOwner owner;
  TAdvLines lines{&owner};
};

std::string AllBytes() {
  std::string s;
  for (int b = 0; b < 256; ++b)
    if (b != '\r' && b != '\n' && b != '\t') s.push_back(static_cast<char>(b));
  return s;
}

TEST_F(Files, EveryByteComesBackAfterLoadAndSave) {
  std::string bytes = "\xEF\xBB\xBF" "first\r\n" + AllBytes() + "\r\n";
  WriteBytes(dir.File("in.txt"), bytes);
  lines.LoadFromFile(dir.File("in.txt"));
  EXPECT_EQ(lines.Get(0), "\xEF\xBB\xBF" "first") << "a byte-order mark stays as characters";
  lines.SaveToFile(dir.File("out.txt"));
  EXPECT_EQ(ReadBytes(dir.File("out.txt")), bytes);
}

TEST_F(Files, LoadNormalisesBreaksAndSaveEndsEveryLine) {
  WriteBytes(dir.File("in.txt"), "a\rb\nc\r\r\nd");
  lines.LoadFromFile(dir.File("in.txt"));
  lines.SaveToFile(dir.File("in.txt"));
  EXPECT_EQ(ReadBytes(dir.File("in.txt")), "a\r\nb\r\nc\r\n\r\nd\r\n");
  lines.SetTextStr("x\r\n\r\n");
  EXPECT_EQ(lines.Count(), 2) << "x and an empty line";
  lines.SaveToFile(dir.File("two.txt"));
  EXPECT_EQ(ReadBytes(dir.File("two.txt")), "x\r\n\r\n");
}

TEST_F(Files, LoadRaisesTheCounterAndNotifiesOnceWithoutResettingTheOwner) {
  WriteBytes(dir.File("in.txt"), "a\r\nb\r\n");
  lines.LoadFromFile(dir.File("in.txt"));
  EXPECT_EQ(owner.linesChanged, 1);
  EXPECT_EQ(owner.undoCleared, 0);
  EXPECT_EQ(owner.caretResets, 0);
  EXPECT_EQ(owner.updateCount, 0);
}

TEST_F(Files, EmptyAndMissingFiles) {
  WriteBytes(dir.File("empty"), "");
  lines.Add("old");
  lines.LoadFromFile(dir.File("empty"));
  EXPECT_EQ(lines.Count(), 0);
  lines.Add("keep");
  try {
    lines.LoadFromFile(dir.File("missing"));
    FAIL() << "no error";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos);
  }
  EXPECT_THROW(lines.LoadFromFile(dir.Path()), EFileError) << "a folder is not a document";
  EXPECT_EQ(lines.Get(0), "keep");
  EXPECT_EQ(owner.updateCount, 0);
}

TEST_F(Files, AFailedSaveKeepsTheOldFile) {
  std::string target = dir.File("doc.txt");
  WriteBytes(target, "precious\r\n");
  ::chmod(target.c_str(), 0640);
  lines.SetTextStr("new");
  lines.SaveToFile(target);
  EXPECT_EQ(ReadBytes(target), "new\r\n");
  struct stat st {};
  ::stat(target.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the saved file keeps its permissions";

  if (::geteuid() != 0) {  // root may write into read-only folders
    ::chmod(dir.Path().c_str(), 0500);
    EXPECT_THROW(lines.SaveToFile(dir.File("other.txt")), EFileError);
    ::chmod(dir.Path().c_str(), 0700);
  }
  EXPECT_THROW(lines.SaveToFile(dir.Path()), EFileError) << "a folder cannot be overwritten";

  // A writer that fails half-way leaves the old file and no temporary behind.
  EXPECT_THROW(WriteFileSafely(target,
                               [](TFileWriter& out) {
                                 out.Write("partial");
                                 throw EFileError("disk full");
                               }),
               EFileError);
  EXPECT_EQ(ReadBytes(target), "new\r\n");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(Files, OnlyRegularFilesAreReplaced) {
  // /dev/null must stay a device: saving there is refused, not done by rename.
  lines.SetTextStr("x");
  EXPECT_THROW(lines.SaveToFile("/dev/null"), EFileError);
  struct stat st {};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(Files, OneHugeLine) {
  std::string big(10 << 20, 'q');
  WriteBytes(dir.File("big"), big);
  lines.LoadFromFile(dir.File("big"));
  ASSERT_EQ(lines.Count(), 1);
  EXPECT_EQ(lines.LineLength(0), 10 << 20);
  EXPECT_EQ(owner.columnCapacity, (10 << 20) + 1);
}

TEST_F(Files, OnlyRegularFilesBelowTwoGibibytesAreReadAndOpeningNeverWaits) {
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, dir.File("socket").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  WriteBytes(dir.File("huge"), "");
  ASSERT_EQ(::truncate(dir.File("huge").c_str(), kMaxFileSize), 0);  // sparse: nothing to read for real
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir.File("pipe"), "Not a regular file (a named pipe)"},
      {"/dev/zero", "Not a regular file (a character device)"},
      {dir.File("socket"), "Not a regular file (a socket)"},
      {dir.Path(), "Is a directory"},
      {dir.File("huge"), "File too large"},
  };
  lines.Add("keep");
  for (const auto& c : cases) {
    auto load = std::async(std::launch::async, [&] { return ErrorOf([&] { lines.LoadFromFile(c.path); }); });
    if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << c.path << ": opening it waited";
      int writer = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK);  // lets a waiting open of the pipe end
      load.wait();
      if (writer >= 0) ::close(writer);
      continue;
    }
    std::string message = load.get();
    EXPECT_NE(message.find("\"" + c.path + "\""), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
  ::close(listener);
  ASSERT_EQ(lines.Count(), 1);
  EXPECT_EQ(lines.Get(0), "keep");
}

}  // namespace
