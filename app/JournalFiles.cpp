// The journals' folder and files: where they live, who owns them, which
// ones were left behind.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <tuple>

#include "app/Journal.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw EJournalError(std::string(what) + " \"" + path + "\". " + std::strerror(err));
}

// A temporary file this old was left by a writer that died; a younger one
// may still be on its way to its name.
constexpr std::time_t kLeftoverAge = 60;

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// All bytes of an open file.
TTextBuffer ReadAll(int fd, std::size_t sizeHint) {
  std::size_t capacity = sizeHint + 1, used = 0;
  TTextBuffer buffer(capacity);
  for (;;) {
    if (used == capacity) {
      TTextBuffer bigger(capacity * 2);
      std::memcpy(bigger.Data(), buffer.Data(), used);
      buffer = std::move(bigger);
      capacity *= 2;
    }
    ssize_t n = ::read(fd, buffer.Data() + used, capacity - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EJournalError(std::string("Cannot read a journal. ") + std::strerror(errno));
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  buffer.Shrink(used);
  return buffer;
}

// The file behind `fd` is still the one named `name` in the folder.
bool StillNamed(int dirFd, const char* name, int fd) {
  struct stat opened {
  }, named{};
  return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// The folder, opened without following a link in its place, once it is
// the user's own and private to the user (0700, made so when it is not).
int OpenOwnFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    Fail(errno == ELOOP ? "Cannot use the folder" : "Cannot make the folder", folder, errno == ELOOP ? ENOTDIR : errno);
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0)
    err = errno;
  else if (st.st_uid != ::geteuid())
    err = EPERM;
  else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
    err = errno;
  if (err != 0) {
    ::close(fd);
    Fail("Cannot use the folder", folder, err);
  }
  return fd;
}

}  // namespace

std::string JournalFolder() { return UserStateFolder(); }

void PrepareJournalFolder(const std::string& folder) {
  // The folders above are made as the desktop's conventions ask: 0700.
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    const std::string above = folder.substr(0, slash);
    if (::mkdir(above.c_str(), 0700) != 0 && errno != EEXIST) Fail("Cannot make the folder", above, errno);
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("Cannot make the folder", folder, errno);
  ::close(OpenOwnFolder(folder));
}

void WriteStateFile(const std::string& path, std::string_view bytes) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  PrepareJournalFolder(folder);
  const int dirFd = OpenOwnFolder(folder);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closeDir{dirFd};
  // Named like a journal's temporary file: locked while it is written, so
  // that a clean end elsewhere leaves it alone, and removed once a killed
  // writer left it.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = std::string(kJournalTempPrefix) + std::to_string(::getpid()) + "-" + std::to_string(attempt) + "-" + name;
    fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) Fail("Cannot write the file", path, errno);
  }
  if (fd < 0) Fail("Cannot write the file", path, EEXIST);
  Closer closeFile{fd};
  ::flock(fd, LOCK_EX);
  try {
    for (std::string_view rest = bytes; !rest.empty();) {
      const ssize_t n = ::write(fd, rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("Cannot write the file", path, errno);
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fdatasync(fd) != 0) Fail("Cannot write the file", path, errno);
    if (::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0) Fail("Cannot write the file", path, errno);
  } catch (...) {
    ::unlinkat(dirFd, temp.c_str(), 0);
    throw;
  }
  if (::fsync(dirFd) != 0 && errno != EINVAL) Fail("Cannot write the file", path, errno);
}

TJournalFile::~TJournalFile() {
  if (Fd >= 0) ::close(Fd);
}

void TJournalFile::Remove() {
  ::unlink(Path.c_str());
  if (!BaseCopy.empty()) ::unlink(BaseCopy.c_str());
}

namespace {

// The bytes at `at`: fewer where the file ends.
std::string ReadAt(int fd, std::size_t count, off_t at) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    ssize_t n = ::pread(fd, bytes.data() + got, count - got, at + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// What a journal left behind holds; throws EJournalError when nothing can
// be recovered from it. Only a journal that begins with a whole header and
// the frame of a snapshot that fits the file is read whole.
TJournalContent ReadOrphan(int fd, std::size_t size, TJournalHeader& header) {
  const std::size_t headerSize =
      ReadJournalHeader(ReadAt(fd, std::min(size, kJournalFrameSize + kMaxJournalHeader), 0), header);
  if (headerSize == 0) throw EJournalError("The journal does not begin with a header");
  const std::string frame = ReadAt(fd, kJournalFrameSize, static_cast<off_t>(headerSize));
  std::uint32_t length = 0;
  if (frame.size() == kJournalFrameSize) std::memcpy(&length, frame.data(), 4);
  if (frame.size() < kJournalFrameSize || length > size - headerSize - kJournalFrameSize)
    throw EJournalError("The journal holds no whole snapshot of a document");
  return ParseJournal(ReadAll(fd, size));
}

}  // namespace

std::vector<TOrphanJournal> FindOrphanJournals(const std::string& folder, std::vector<TDamagedJournal>* damaged) {
  std::vector<TOrphanJournal> found;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return found;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    const bool temp = name.substr(0, kJournalTempPrefix.size()) == kJournalTempPrefix;
    if (!temp && !EndsWith(name, kJournalSuffix)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    auto file = std::make_unique<TJournalFile>(fd, folder + "/" + entry->d_name);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    // A running program holds the lock on each of its journals.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillNamed(dirFd, entry->d_name, fd)) continue;
    if (temp) {
      if (st.st_mtime + kLeftoverAge < std::time(nullptr)) ::unlinkat(dirFd, entry->d_name, 0);
      continue;
    }
    TJournalHeader header;
    try {
      TJournalContent content = ReadOrphan(fd, static_cast<std::size_t>(st.st_size), header);
      if (content.Base) {
        FindBase(content, folder);
        if (!content.Base->Copy.empty()) file->BaseCopy = folder + "/" + content.Base->Copy;
      }
      found.push_back({std::move(file), std::move(content)});
    } catch (const std::exception& e) {
      // Nothing to recover from it: kept under a name that is not offered again.
      const std::string kept = std::string(name) + std::string(kDamagedJournalSuffix);
      if (::renameat(dirFd, entry->d_name, dirFd, kept.c_str()) == 0) {
        ::fsync(dirFd);
        if (damaged) damaged->push_back({header.FileName, folder + "/" + kept, e.what()});
      }
    }
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const TOrphanJournal& a, const TOrphanJournal& b) {
    const TJournalHeader &x = a.Content.Header, &y = b.Content.Header;
    return std::tie(x.Session, x.Order, a.File->Path) < std::tie(y.Session, y.Order, b.File->Path);
  });
  return found;
}

std::string BaseCopyOf(int fd) {
  TJournalHeader header;
  const std::size_t headerSize = ReadJournalHeader(ReadAt(fd, kJournalFrameSize + kMaxJournalHeader, 0), header);
  if (headerSize == 0) return {};
  const std::string frame = ReadAt(fd, kJournalFrameSize, static_cast<off_t>(headerSize));
  std::uint32_t length = 0;
  if (frame.size() < kJournalFrameSize || static_cast<TJournalRecordKind>(frame[8]) != TJournalRecordKind::Base)
    return {};
  std::memcpy(&length, frame.data(), 4);
  if (length > kMaxJournalHeader) return {};
  TJournalBase base;
  const std::string payload = ReadAt(fd, length, static_cast<off_t>(headerSize + kJournalFrameSize));
  return ParseBase(payload, base) ? base.Copy : std::string();
}

void RemoveJournalLeftovers(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  // The copies the journals there refer to (also those set aside as damaged).
  std::vector<std::string> referred, bases;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (EndsWith(name, kBaseSuffix)) bases.emplace_back(name);
    if (!EndsWith(name, kJournalSuffix) && !EndsWith(name, kDamagedJournalSuffix)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) referred.push_back(BaseCopyOf(fd));
    ::close(fd);
  }
  for (const std::string& base : bases) {
    if (std::find(referred.begin(), referred.end(), base) != referred.end()) continue;
    const int fd = ::openat(dirFd, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // Its journal's writer holds the lock while the copy is in use.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(dirFd, base.c_str(), fd))
      ::unlinkat(dirFd, base.c_str(), 0);
    ::close(fd);
  }
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (std::string_view(entry->d_name).substr(0, kJournalTempPrefix.size()) != kJournalTempPrefix) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // Its writer holds the lock until the file has its name.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(dirFd, entry->d_name, fd))
      ::unlinkat(dirFd, entry->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}
