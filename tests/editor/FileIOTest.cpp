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
#include <functional>
#include <future>
#include <mutex>
#include <set>

#include "editor/AdvLines.h"
#include "editor/FileIO.h"
#include "tests/support/ChildProcess.h"
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
  std::string bytes =
      "\xEF\xBB\xBF"
      "first\r\n" +
      AllBytes() + "\r\n";
  WriteBytes(dir.File("in.txt"), bytes);
  lines.LoadFromFile(dir.File("in.txt"));
  EXPECT_EQ(lines.Get(0),
            "\xEF\xBB\xBF"
            "first")
      << "a byte-order mark stays as characters";
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

  // No new file in a folder the user may not write (root may: the case runs as "nobody").
  GiveTo(dir.Path(), UnprivilegedUser());
  ::chmod(dir.Path().c_str(), 0500);
  std::string error = AsUnprivilegedUser([&] { return ErrorOf([&] { lines.SaveToFile(dir.File("other.txt")); }); });
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  ::chmod(dir.Path().c_str(), 0700);
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

// Large enough that its pages are mapped ahead of the read on another thread.
TEST_F(Files, OneHugeLine) {
  std::string big;
  big.reserve(70 << 20);
  while (big.size() < (70 << 20)) big += AllBytes();
  big.resize(70 << 20);
  WriteBytes(dir.File("big"), big);
  EXPECT_TRUE(ReadFileBuffer(dir.File("big")).View() == big);
  lines.LoadFromFile(dir.File("big"));
  ASSERT_EQ(lines.Count(), 1);
  EXPECT_EQ(lines.LineLength(0), 70 << 20);
  EXPECT_EQ(owner.columnCapacity, (70 << 20) + 1);
}

// The loaded text is the document's own: another program that truncates and
// rewrites the file changes nothing of it (a text that were the file's pages
// would change with them, or fault once they are gone).
TEST_F(Files, ATruncationByAnotherProcessLeavesTheOpenTextAsItWas) {
  std::string text;
  for (int i = 0; text.size() < (12 << 20); ++i) text += "line " + std::to_string(i) + " <?php echo $x; ?>\r\n";
  const std::string name = dir.File("doc.php");
  WriteBytes(name, text);
  lines.LoadFromFile(name);
  const std::string done = InChild([&] {
    int fd = ::open(name.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) return std::string("cannot truncate");
    const std::string other(4096, 'z');
    const bool written = ::write(fd, other.data(), other.size()) == static_cast<ssize_t>(other.size());
    ::close(fd);
    return std::string(written ? "truncated" : "cannot write");
  });
  ASSERT_EQ(done, "truncated");
  ASSERT_EQ(Stat(name).st_size, 4096);
  std::string back;
  for (int i = 0; i < lines.Count(); ++i) back.append(lines.LineView(i)).append("\r\n");
  EXPECT_TRUE(back == text);
}

// Takes the pieces of a file read in two parts, checking that each part's
// pieces come in order and cover it once; `change` is called once, with the
// second part's first piece.
class PieceLog : public TReadPieces {
 public:
  std::function<void()> change;
  int started = 0, finished = 0, dropped = 0;
  bool inOrder = true, whole = false;

  std::size_t From() const override { return std::size_t{1} << 20; }
  void Start(const char* data, std::size_t size, std::size_t second) override {
    ++started;
    data_ = data;
    size_ = size;
    second_ = second;
    next_[0] = 0;
    next_[1] = second;
    high_ = false;
  }
  void Piece(int part, std::size_t from, std::size_t to) override {
    bool changeNow = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      inOrder = inOrder && from == next_[part] && to > from;
      next_[part] = to;
      for (std::size_t i = from; i < to && !high_; ++i) high_ = static_cast<unsigned char>(data_[i]) > 0x7F;
      changeNow = part == 1 && from == second_ && change;
    }
    if (changeNow) change();
  }
  bool Finish() override {
    ++finished;
    whole = next_[0] == second_ && next_[1] == size_;
    return !high_;
  }
  void Drop() override { ++dropped; }

 private:
  std::mutex mutex_;
  const char* data_ = nullptr;
  std::size_t size_ = 0, second_ = 0, next_[2] = {};
  bool high_ = false;
};

// A file read in parts hands over every piece once, in order. One that
// changes while it is read (shorter, longer, or written with the same size)
// is read again the plain way: the bytes are those it has after the change.
TEST_F(Files, AFileReadInPartsHandsOverEveryPieceAndOneThatChangesOnTheWayIsReadAgain) {
  std::string text;
  for (int i = 0; text.size() < (6u << 20); ++i) text += "line " + std::to_string(i) + "\n";
  text[text.size() - 3] = '\xE9';
  const std::string name = dir.File("doc.txt");
  auto writeOld = [&] {
    WriteBytes(name, text);
    // An hour old: a write now gives it another time of change.
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
  };
  writeOld();
  {
    PieceLog log;
    bool ascii = true;
    EXPECT_TRUE(ReadFileBuffer(name, &ascii, true, &log).View() == text);
    EXPECT_EQ(log.started, 1);
    EXPECT_EQ(log.finished, 1);
    EXPECT_EQ(log.dropped, 0);
    EXPECT_TRUE(log.inOrder);
    EXPECT_TRUE(log.whole);
    EXPECT_FALSE(ascii);
  }
  auto onFile = [&](auto&& write) {
    return [&name, write] {
      const int fd = ::open(name.c_str(), O_WRONLY);
      if (fd >= 0) write(fd);
      ::close(fd);
    };
  };
  const std::string changed(10, 'Q');
  const struct {
    const char* what;
    std::function<void(int)> write;
    std::string after;
  } changes[] = {
      {"truncated", [](int fd) { EXPECT_EQ(::ftruncate(fd, 4 << 20), 0); }, text.substr(0, 4 << 20)},
      {"grown", [&](int fd) { EXPECT_EQ(::pwrite(fd, "more\n", 5, static_cast<off_t>(text.size())), 5); },
       text + "more\n"},
      {"written", [&](int fd) { EXPECT_EQ(::pwrite(fd, changed.data(), changed.size(), 0), 10); },
       changed + text.substr(changed.size())},
  };
  for (const auto& c : changes) {
    writeOld();
    PieceLog log;
    log.change = onFile(c.write);
    bool ascii = false;
    const TTextBuffer read = ReadFileBuffer(name, &ascii, true, &log);
    EXPECT_TRUE(read.View() == c.after) << c.what << ": " << read.Size() << " bytes";
    EXPECT_EQ(log.dropped, 1) << c.what;
    EXPECT_EQ(log.finished, 0) << c.what;
    EXPECT_EQ(ascii, c.after.find('\xE9') == std::string::npos) << c.what;
  }
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

TEST_F(Files, AReadOnlyFileIsRefusedWhereWritingItInPlaceWouldBe) {
  const TUser user = UnprivilegedUser();
  const std::string target = dir.File("ro.txt");
  WriteBytes(target, "old\r\n");
  GiveTo(dir.Path(), user);  // the folder is the user's: only the file's own mode stops the save
  GiveTo(target, user);
  ::chmod(target.c_str(), 0444);
  lines.SetTextStr("new");
  std::string error = AsUnprivilegedUser([&] { return ErrorOf([&] { lines.SaveToFile(target); }); });
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(target), "old\r\n");
  EXPECT_EQ(Stat(target).st_mode & 07777, 0444u);
  EXPECT_EQ(Entries(dir.Path()), Names{"ro.txt"});
  if (::geteuid() == 0) {  // root writes such a file in place, so its save goes through
    lines.SaveToFile(target);
    EXPECT_EQ(ReadBytes(target), "new\r\n");
    EXPECT_EQ(Stat(target).st_mode & 07777, 0444u);
  }
}

TEST_F(Files, SavingKeepsWhatTheFileIs) {
  const TUser user = UnprivilegedUser();
  // Permission bits and extended attributes (where the file system has them).
  const std::string plain = dir.File("plain.txt");
  WriteBytes(plain, "old\r\n");
  ::chmod(plain.c_str(), 0640);
  const bool attributes = ::setxattr(plain.c_str(), "user.origin", "kept", 4, 0) == 0;
  // Hard links.
  const std::string linked = dir.File("linked.txt"), other = dir.File("other-name.txt");
  WriteBytes(linked, "old\r\n");
  ASSERT_EQ(::link(linked.c_str(), other.c_str()), 0);
  // A file the user may write in a folder the user may not.
  std::filesystem::create_directory(dir.File("closed"));
  const std::string inClosed = dir.File("closed/doc.txt");
  WriteBytes(inClosed, "old\r\n");
  // A path of 4,090 characters.
  std::string deep = dir.Path();
  while (deep.size() < 4090 - 250) deep += "/" + std::string(200, 'd');
  std::filesystem::create_directories(deep);
  const std::string longName = deep + "/" + std::string(4090 - deep.size() - 1, 'f');
  ASSERT_EQ(longName.size(), 4090u);
  WriteBytes(longName, "old\r\n");
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) GiveTo(e.path().string(), user);
  GiveTo(dir.Path(), user);
  ::chmod(dir.File("closed").c_str(), 0555);
  const ino_t linkedInode = Stat(linked).st_ino;

  lines.SetTextStr("new");
  std::string errors = AsUnprivilegedUser([&] {
    std::string out;
    for (const std::string& name : {plain, linked, inClosed, longName, deep + "/new.txt"}) {
      std::string error = ErrorOf([&] { lines.SaveToFile(name); });
      if (error != "no error") out += error + "\n";
    }
    return out;
  });
  EXPECT_EQ(errors, "");
  for (const std::string& name : {plain, linked, other, inClosed, longName, deep + "/new.txt"})
    EXPECT_EQ(ReadBytes(name), "new\r\n") << name.substr(0, 100);
  EXPECT_EQ(Stat(plain).st_mode & 07777, 0640u);
  if (attributes) {
    char value[16] = {};
    EXPECT_EQ(::getxattr(plain.c_str(), "user.origin", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
  }
  EXPECT_EQ(Stat(linked).st_ino, linkedInode);
  EXPECT_EQ(Stat(linked).st_nlink, 2u);
  EXPECT_EQ(Stat(inClosed).st_uid, user.uid);
  EXPECT_EQ(Entries(dir.Path()),
            (Names{"plain.txt", "linked.txt", "other-name.txt", "closed", deep.substr(dir.Path().size() + 1, 200)}));
}

TEST_F(Files, OwnerAndGroupStayWhenAnotherUserSaves) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make files of another owner and group";
  const TUser nobody = UnprivilegedUser();
  // Root saving a user's file leaves it the user's.
  const std::string users = dir.File("users.txt");
  WriteBytes(users, "old\r\n");
  GiveTo(users, nobody);
  ::chmod(users.c_str(), 0600);
  lines.SetTextStr("by root");
  lines.SaveToFile(users);
  EXPECT_EQ(ReadBytes(users), "by root\r\n");
  EXPECT_EQ(Stat(users).st_uid, nobody.uid);
  EXPECT_EQ(Stat(users).st_gid, nobody.gid);
  EXPECT_EQ(Stat(users).st_mode & 07777, 0600u);

  // A user saving a file whose group is one of the user's other groups, and
  // one whose group is not the user's at all.
  constexpr gid_t kMember = 100, kStranger = 0;
  GiveTo(dir.Path(), nobody);
  const std::string shared = dir.File("shared.txt"), foreign = dir.File("foreign.txt");
  for (const auto& [name, group] : {std::pair{shared, kMember}, std::pair{foreign, kStranger}}) {
    WriteBytes(name, "old\r\n");
    ASSERT_EQ(::chown(name.c_str(), nobody.uid, group), 0);
    ::chmod(name.c_str(), 0664);
  }
  lines.SetTextStr("by nobody");
  std::string errors = AsUnprivilegedUser(
      [&] { return ErrorOf([&] { lines.SaveToFile(shared); }) + ErrorOf([&] { lines.SaveToFile(foreign); }); },
      {kMember});
  EXPECT_EQ(errors, "no errorno error");
  EXPECT_EQ(ReadBytes(shared), "by nobody\r\n");
  EXPECT_EQ(ReadBytes(foreign), "by nobody\r\n");
  EXPECT_EQ(Stat(shared).st_gid, kMember);
  EXPECT_EQ(Stat(foreign).st_gid, kStranger);
}

TEST_F(Files, AWriteThatFailsHalfWayLeavesTheOldContent) {
  const std::string single = dir.File("single.txt"), linked = dir.File("linked.txt"), other = dir.File("other.txt");
  WriteBytes(single, "old single\r\n");
  WriteBytes(linked, "old linked\r\n");
  ASSERT_EQ(::link(linked.c_str(), other.c_str()), 0);  // written in place
  lines.SetTextStr(std::string(1 << 20, 'x'));
  std::string errors = InChild([&] {
    // Writing past 64 KiB fails, as on a full disk.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1 << 16, 1 << 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return ErrorOf([&] { lines.SaveToFile(single); }) + "\n" + ErrorOf([&] { lines.SaveToFile(linked); });
  });
  EXPECT_EQ(errors, "Cannot write file \"" + single + "\". File too large\nCannot write file \"" + linked +
                        "\". File too large");
  EXPECT_EQ(ReadBytes(single), "old single\r\n");
  EXPECT_EQ(ReadBytes(linked), "old linked\r\n");
  EXPECT_EQ(Stat(linked).st_nlink, 2u);
  EXPECT_EQ(Entries(dir.Path()), (Names{"single.txt", "linked.txt", "other.txt"}));
}

TEST_F(Files, AKilledSaveLeavesNoTemporaryFileBehind) {
  const std::string target = dir.File("doc.txt");
  WriteBytes(target, "old\r\n");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    WriteFileSafely(target, [&](TFileWriter& out) {
      out.Write(std::string(4 << 20, 'x'));
      (void)!::write(ready[1], "w", 1);
      ::pause();
    });
    ::_exit(0);
  }
  char written = 0;
  ASSERT_EQ(::read(ready[0], &written, 1), 1);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(ReadBytes(target), "old\r\n");
  lines.SetTextStr("new");
  lines.SaveToFile(target);
  EXPECT_EQ(ReadBytes(target), "new\r\n");
  EXPECT_EQ(Entries(dir.Path()), Names{"doc.txt"}) << "a temporary file outlived the next save";
}

TEST_F(Files, ALeftoverTemporaryFileGoesOnlyOnceItsWriterIsGone) {
  const std::string prefix(kTempFilePrefix);
  const std::string stale = prefix + "stale001", busy = prefix + "busy0001", foreign = prefix + "foreign1";
  for (const std::string& name : {stale, busy, foreign, std::string(".~other")}) WriteBytes(dir.File(name), "x");
  const bool root = ::geteuid() == 0;
  GiveTo(dir.File(foreign), UnprivilegedUser());
  // A save at work holds its file locked.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    int fd = ::open(dir.File(busy).c_str(), O_RDONLY);
    ::flock(fd, LOCK_EX);
    (void)!::write(ready[1], "l", 1);
    ::pause();
    ::_exit(0);
  }
  char locked = 0;
  ASSERT_EQ(::read(ready[0], &locked, 1), 1);
  lines.SetTextStr("new");
  lines.SaveToFile(dir.File("doc.txt"));
  Names after = {"doc.txt", busy, ".~other"};
  if (root) after.insert(foreign);  // another user's is never touched
  EXPECT_EQ(Entries(dir.Path()), after);
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  lines.SaveToFile(dir.File("doc.txt"));
  after.erase(busy);
  EXPECT_EQ(Entries(dir.Path()), after);
}

// A save of a file with a second link writes it in place. Killed once it
// has overwritten part of the file, it leaves a record from which the next
// start puts back the whole old content: not while the save still runs, and
// only once.
TEST_F(Files, AKilledInPlaceSaveIsPutBackWhole) {
  const std::string linked = dir.File("linked.txt"), other = dir.File("other.txt"), state = dir.File("state");
  std::string old;
  for (int i = 0; i < 200000; ++i) old += "old line " + std::to_string(i) + "\r\n";
  WriteBytes(linked, old);
  ASSERT_EQ(::link(linked.c_str(), other.c_str()), 0);
  const timespec before = Stat(linked).st_mtim;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetSaveRecordFolder(state);
    WriteFileSafely(linked, [&](TFileWriter& out) {
      out.Write(std::string(2 << 20, 'n'));  // past the writer's buffer: on the file now
      out.Write(std::string(1, 'n'));
      (void)!::write(ready[1], "w", 1);
      ::pause();
    });
    ::_exit(0);
  }
  char written = 0;
  ASSERT_EQ(::read(ready[0], &written, 1), 1);
  EXPECT_EQ(ReadBytes(linked).substr(0, 4), "nnnn") << "the save is under way";
  EXPECT_TRUE(RestoreInterruptedSaves(state).empty()) << "a running save is not touched";
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  const std::string torn = ReadBytes(linked);
  EXPECT_NE(torn, old);
  EXPECT_EQ(torn.size(), old.size()) << "new text over the old";

  const std::vector<TInterruptedSave> restored = RestoreInterruptedSaves(state);
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0].FileName, linked);
  EXPECT_TRUE(restored[0].Restored);
  EXPECT_EQ(ReadBytes(linked), old);
  EXPECT_EQ(Stat(other).st_nlink, 2u);
  EXPECT_EQ(Stat(linked).st_mtim.tv_sec, before.tv_sec);
  EXPECT_EQ(Stat(linked).st_mtim.tv_nsec, before.tv_nsec);
  EXPECT_TRUE(RestoreInterruptedSaves(state).empty());
  EXPECT_EQ(Entries(dir.Path()), (Names{"linked.txt", "other.txt", "state"}));
  EXPECT_TRUE(Entries(state).empty());
}

// Another process writes the file after the document last knew it: while
// it is written to a temporary file, or (a file written in place) before
// its first byte is overwritten. The save leaves the file as that process
// left it and says so.
TEST_F(Files, AWriteByAnotherProcessDuringASaveIsNeverOverwritten) {
  const std::string single = dir.File("single.txt"), linked = dir.File("linked.txt"), state = dir.File("state");
  WriteBytes(single, "old\r\n");
  WriteBytes(linked, "old\r\n");
  ASSERT_EQ(::link(linked.c_str(), dir.File("other.txt").c_str()), 0);  // written in place
  SetSaveRecordFolder(state);
  for (const std::string& name : {single, linked}) {
    const struct stat known = Stat(name);
    auto unchanged = [&] {
      const struct stat now = Stat(name);
      return now.st_size == known.st_size && now.st_mtim.tv_nsec == known.st_mtim.tv_nsec &&
             now.st_mtim.tv_sec == known.st_mtim.tv_sec && now.st_ino == known.st_ino;
    };
    auto theirs = [&] {
      pid_t other = ::fork();
      if (other == 0) {
        int fd = ::open(name.c_str(), O_WRONLY | O_APPEND);
        (void)!::write(fd, "theirs\n", 7);
        ::_exit(0);
      }
      ::waitpid(other, nullptr, 0);
    };
    if (name == linked) theirs();
    const std::string error = ErrorOf([&] {
      WriteFileSafely(
          name,
          [&](TFileWriter& out) {
            out.Write("new\r\n");
            if (name == single) theirs();
          },
          unchanged);
    });
    EXPECT_EQ(error, "Cannot save file \"" + name + "\". It was changed by another program");
    EXPECT_EQ(ReadBytes(name), "old\r\ntheirs\n");
  }
  SetSaveRecordFolder("");
  EXPECT_EQ(Entries(dir.Path()), (Names{"single.txt", "linked.txt", "other.txt", "state"}));
  EXPECT_TRUE(Entries(state).empty());
}

}  // namespace
