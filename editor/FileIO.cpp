#include "editor/FileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <thread>

#include "editor/LargeBuffer.h"
#include "editor/Utf8.h"

namespace {

std::string SystemMessage(int err) { return std::strerror(err); }

[[noreturn]] void Fail(const char* what, const std::string& fileName, const std::string& reason) {
  throw EFileError(std::string(what) + " \"" + fileName + "\". " + reason);
}

[[noreturn]] void Fail(const char* what, const std::string& fileName, int err) {
  Fail(what, fileName, SystemMessage(err));
}

// Why a file that is not a regular file is no document.
std::string NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return SystemMessage(EISDIR);
  const char* kind = S_ISFIFO(mode)   ? "a named pipe"
                     : S_ISCHR(mode)  ? "a character device"
                     : S_ISBLK(mode)  ? "a block device"
                     : S_ISSOCK(mode) ? "a socket"
                                      : "a special file";
  return std::string("Not a regular file (") + kind + ")";
}

std::string TooLarge() {
  return "File too large: files of " + std::to_string(kMaxFileSize >> 30) + " GiB or more cannot be edited";
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& fileName) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", fileName, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

constexpr std::size_t kBlock = 1 << 20;

class BufferedFdWriter : public TFileWriter {
 public:
  BufferedFdWriter(int fd, const std::string& fileName) : fd_(fd), fileName_(fileName) { buffer_.reserve(kBlock); }
  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kBlock) Flush();
    if (bytes.size() >= kBlock) {
      WriteAll(fd_, bytes, fileName_);
    } else {
      buffer_.append(bytes);
    }
  }
  void Flush() {
    WriteAll(fd_, buffer_, fileName_);
    buffer_.clear();
  }

 private:
  int fd_;
  const std::string& fileName_;
  std::string buffer_;
};

std::string FolderOf(const std::string& fileName) {
  auto slash = fileName.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

std::string BaseOf(const std::string& fileName) { return fileName.substr(fileName.find_last_of('/') + 1); }

// ---------------------------------------------------------------- temporary files

// A file made with O_TMPFILE is linked into its folder through /proc.
bool CanLinkUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

std::string TempName() {
  static std::mt19937_64 random{std::random_device{}()};
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name(kTempFilePrefix);
  for (int i = 0; i < 8; ++i) name.push_back(kChars[random() % (sizeof kChars - 1)]);
  return name;
}

// The temporary file of a save. Where the file system allows it, it has no
// name until it is complete, so that a killed save leaves nothing behind.
// It stays locked while its writer has it open: a later save removes a
// leftover only when it can take the lock, that is when the writer is gone.
struct TempFile {
  int fd = -1;
  std::string name;  // empty while it has none
};

// False, with errno set, when the folder does not take a new file.
bool CreateTemp(int dirFd, TempFile& temp) {
  if (CanLinkUnnamedFiles()) {
    temp.fd = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (temp.fd >= 0) {
      ::flock(temp.fd, LOCK_EX);
      return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR) return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TempName();
    temp.fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (temp.fd >= 0) {
      temp.name = name;
      ::flock(temp.fd, LOCK_EX);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void NameTemp(int dirFd, TempFile& temp, const std::string& fileName) {
  if (!temp.name.empty()) return;
  std::string self = "/proc/self/fd/" + std::to_string(temp.fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TempName();
    if (::linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp.name = name;
      return;
    }
    if (errno != EEXIST) Fail("Cannot create file", fileName, errno);
  }
  Fail("Cannot create file", fileName, EEXIST);
}

// Removes the temporary files of saves into this folder that were killed
// before they finished: only the user's own, and only those whose writer
// is gone (their lock is free).
void RemoveLeftoverTemps(int dirFd) {
  int scanFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (scanFd < 0) return;
  DIR* folder = ::fdopendir(scanFd);
  if (!folder) {
    ::close(scanFd);
    return;
  }
  while (const dirent* entry = ::readdir(folder)) {
    if (std::string_view(entry->d_name).substr(0, kTempFilePrefix.size()) != kTempFilePrefix) continue;
    struct stat seen {};
    if (::fstatat(scanFd, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode) ||
        seen.st_uid != ::geteuid() || seen.st_nlink != 1)
      continue;
    int fd = ::openat(scanFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == seen.st_dev &&
        opened.st_ino == seen.st_ino)
      ::unlinkat(scanFd, entry->d_name, 0);
    ::close(fd);
  }
  ::closedir(folder);
}

// Flushes the folder's entries to the disk (a rename in it). A folder that
// cannot be opened for reading (write and search rights only) has its whole
// file system flushed instead, through `fileFd`, a file in it.
void SyncFolder(int dirFd, int fileFd, const std::string& fileName) {
  const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int result;
  if (fd >= 0) {
    result = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    errno = err;
  } else {
    result = ::syncfs(fileFd);
  }
  // Some file systems have nothing to flush for a folder and say so.
  if (result != 0 && errno != EINVAL && errno != EROFS) Fail("Cannot write file", fileName, errno);
}

// ---------------------------------------------------------------- identity

bool CopyAttributes(const std::string& from, int to) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP;
  std::string names(static_cast<std::size_t>(size), '\0');
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return false;
  names.resize(static_cast<std::size_t>(size));
  std::string value;
  for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
    const char* name = names.c_str() + at;
    ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
    if (length < 0) return false;
    value.resize(static_cast<std::size_t>(length));
    length = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (length < 0 || ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0) return false;
  }
  return true;
}

// Gives the temporary file the owner, group, extended attributes and
// permission bits of the target. False when it cannot have them, so that a
// rename would change what the file is.
bool TakeIdentity(int fd, const std::string& target, const struct stat& st) {
  struct stat own {};
  if (::fstat(fd, &own) != 0) return false;
  if ((own.st_uid != st.st_uid || own.st_gid != st.st_gid) && ::fchown(fd, st.st_uid, st.st_gid) != 0) return false;
  return CopyAttributes(target, fd) && ::fchmod(fd, st.st_mode & 07777) == 0;
}

// The folder does not let this user add the temporary file, or its name
// would be too long: the file can still be written in place.
bool FolderRefuses(int err) { return err == EACCES || err == EPERM || err == EROFS || err == ENAMETOOLONG; }

// ---------------------------------------------------------------- writing in place

// Copies `from` (all of it, or its first `limit` bytes) to the start of
// `to`; returns the size copied.
off_t CopyContent(int from, int to, const std::string& fileName, off_t limit = -1) {
  std::string block(kBlock, '\0');
  off_t at = 0;
  for (;;) {
    const std::size_t want = limit < 0 ? block.size() : static_cast<std::size_t>(std::min<off_t>(limit - at, kBlock));
    if (want == 0) return at;
    ssize_t n = ::pread(from, block.data(), want, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read file", fileName, errno);
    }
    if (n == 0) return at;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::pwrite(to, block.data() + done, static_cast<std::size_t>(n - done), at + done);
      if (w < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write file", fileName, errno);
      }
      done += w;
    }
    at += n;
  }
}

// ---------------------------------------------------------------- save records

// A save record is a file "<random>.saving" in the record folder:
//
//   [old content]  when it is kept in the record itself
//   file name      the file being written in place (a full path)
//   kept name      where the old content is kept instead; empty: above
//   tail           TSaveRecordTail
//
// The tail is written once the old content is on the disk, and before the
// file's first byte is overwritten: a record without a whole tail belongs
// to a save that had not begun to write.
constexpr std::string_view kSaveRecordSuffix = ".saving";
// Old content kept beside a file written in place (another file system
// than the record folder's). Unlike the temporary files of saves, these
// stay until their record is dealt with.
constexpr std::string_view kKeptPrefix = ".~quorvel~old-";
constexpr char kSaveRecordMagic[8] = {'Q', 'V', 'S', 'A', 'V', 'E', '1', '\n'};

struct TSaveRecordTail {
  std::uint64_t Device = 0, Inode = 0;
  std::int64_t Size = 0, Seconds = 0, Nanoseconds = 0;
  std::uint32_t NameLength = 0, KeptLength = 0;
  char Magic[8] = {};
};

std::string& RecordFolder() {
  static std::string folder;
  return folder;
}

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// The record folder, made when needed and the user's own, 0700; -1 when
// there is none to use.
int OpenRecordFolder() {
  const std::string& folder = RecordFolder();
  if (folder.empty() || folder[0] != '/') return -1;
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
  ::mkdir(folder.c_str(), 0700);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A new file of this user's only, locked; -1 when the folder takes none.
int CreateLocked(int dirFd, std::string_view prefix, std::string_view suffix, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = std::string(prefix) + TempName().substr(kTempFilePrefix.size()) + std::string(suffix);
    int fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  name.clear();
  return -1;
}

void PutAll(int fd, std::string_view bytes, off_t at, const std::string& fileName) {
  while (!bytes.empty()) {
    ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", fileName, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    at += n;
  }
}

// The old content of a file written in place, on the disk with a save
// record while the save runs (in memory where there is no record folder).
// Both go when it goes, unless Keep was called.
class TOldContent {
 public:
  TOldContent(const std::string& fileName, const struct stat& target) : fileName_(fileName), target_(target) {
    recordDir_ = OpenRecordFolder();
    if (recordDir_ >= 0) recordFd_ = CreateLocked(recordDir_, "", kSaveRecordSuffix, recordName_);
    if (recordFd_ < 0) {
      contentFd_ = ::memfd_create("quorvel-old-content", MFD_CLOEXEC);
      if (contentFd_ < 0) Fail("Cannot write file", fileName, errno);
      return;
    }
    contentFd_ = recordFd_;
    struct stat folder {};
    if (::fstat(recordDir_, &folder) == 0 && folder.st_dev != target.st_dev) {
      // Beside the file, on its own file system, where its folder takes one.
      keptDir_ = ::open(FolderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (keptDir_ >= 0) keptFd_ = CreateLocked(keptDir_, kKeptPrefix, "", keptName_);
      if (keptFd_ >= 0) contentFd_ = keptFd_;
    }
  }
  ~TOldContent() {
    if (!kept_) {
      if (keptFd_ >= 0) ::unlinkat(keptDir_, keptName_.c_str(), 0);
      if (recordFd_ >= 0) {
        ::unlinkat(recordDir_, recordName_.c_str(), 0);
        ::fsync(recordDir_);  // a finished save is not put back after a power cut
      }
    }
    if (recordFd_ < 0 && contentFd_ >= 0) ::close(contentFd_);  // in memory
    for (int fd : {recordFd_, keptFd_, recordDir_, keptDir_})
      if (fd >= 0) ::close(fd);
  }
  TOldContent(const TOldContent&) = delete;
  TOldContent& operator=(const TOldContent&) = delete;

  int Fd() const { return contentFd_; }
  // Where the old content stays when the save cannot put it back.
  std::string Place() const {
    if (keptFd_ >= 0) return FolderOf(fileName_) + "/" + keptName_;
    if (recordFd_ >= 0) return RecordFolder() + "/" + recordName_;
    return {};
  }
  // The save failed and its file could not be put back: the record stays
  // for the next start.
  void Keep() { kept_ = recordFd_ >= 0; }

  // Copies the file's content, flushes it, then writes the record's tail:
  // from then on the file may be overwritten. Returns the content's size.
  off_t Take(int from) {
    const off_t size = CopyContent(from, contentFd_, fileName_);
    if (::fdatasync(contentFd_) != 0) Fail("Cannot write file", fileName_, errno);
    if (recordFd_ < 0) return size;
    if (keptFd_ >= 0) ::fsync(keptDir_);
    const std::string kept = keptFd_ >= 0 ? Place() : std::string();
    TSaveRecordTail tail;
    tail.Device = target_.st_dev;
    tail.Inode = target_.st_ino;
    tail.Size = size;
    tail.Seconds = target_.st_mtim.tv_sec;
    tail.Nanoseconds = target_.st_mtim.tv_nsec;
    tail.NameLength = static_cast<std::uint32_t>(fileName_.size());
    tail.KeptLength = static_cast<std::uint32_t>(kept.size());
    std::memcpy(tail.Magic, kSaveRecordMagic, sizeof tail.Magic);
    std::string record = fileName_ + kept;
    record.append(reinterpret_cast<const char*>(&tail), sizeof tail);
    PutAll(recordFd_, record, contentFd_ == recordFd_ ? size : 0, fileName_);
    if (::fdatasync(recordFd_) != 0 || ::fsync(recordDir_) != 0) Fail("Cannot write file", fileName_, errno);
    return size;
  }

 private:
  const std::string& fileName_;
  const struct stat target_;
  int recordDir_ = -1, recordFd_ = -1, keptDir_ = -1, keptFd_ = -1, contentFd_ = -1;
  std::string recordName_, keptName_;
  bool kept_ = false;
};

// Writes the target itself, for a file a rename would change. Its old
// content is kept (on the disk, with a record of the save) until the new
// one is flushed, and put back when anything fails on the way.
void WriteInPlace(const std::string& fileName, const struct stat& target,
                  const std::function<void(TFileWriter&)>& produce, const std::function<bool()>& unchanged) {
  if (target.st_size >= kMaxFileSize) Fail("Cannot create file", fileName, TooLarge());
  int fd = ::open(fileName.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot create file", fileName, errno);
  FdCloser closer(fd);
  struct stat now {};
  if (::fstat(fd, &now) != 0) Fail("Cannot create file", fileName, errno);
  if (!S_ISREG(now.st_mode) || now.st_dev != target.st_dev || now.st_ino != target.st_ino)
    Fail("Cannot create file", fileName, "The file was replaced while it was being saved");
  TOldContent old(fileName, now);
  const off_t oldSize = old.Take(fd);
  if (unchanged && !unchanged())
    throw EFileChanged("Cannot save file \"" + fileName + "\". It was changed by another program");
  try {
    if (::lseek(fd, 0, SEEK_SET) != 0) Fail("Cannot write file", fileName, errno);
    BufferedFdWriter writer(fd, fileName);
    produce(writer);
    writer.Flush();
    off_t size = ::lseek(fd, 0, SEEK_CUR);
    if (size < 0 || ::ftruncate(fd, size) != 0 || ::fdatasync(fd) != 0) Fail("Cannot write file", fileName, errno);
  } catch (...) {
    std::string notRestored;
    try {
      CopyContent(old.Fd(), fd, fileName, oldSize);
      if (::ftruncate(fd, oldSize) != 0 || ::fdatasync(fd) != 0) Fail("Cannot write file", fileName, errno);
    } catch (const std::exception& restore) {
      notRestored = restore.what();
      old.Keep();
    }
    if (notRestored.empty()) throw;
    const std::string place = old.Place();
    try {
      throw;
    } catch (const std::exception& e) {
      throw EFileError(std::string(e.what()) + " The old content could not be put back: " + notRestored +
                       (place.empty() ? std::string() : " It is kept in \"" + place + "\"."));
    }
  }
}

// Puts back the old content a save record holds; a record of a save still
// running is left alone.
void RestoreFromRecord(int dirFd, const std::string& folder, const char* recordName,
                       std::vector<TInterruptedSave>& out) {
  const int fd = ::openat(dirFd, recordName, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  FdCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return;  // its save is still at work
  TSaveRecordTail tail;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  bool whole = size >= sizeof tail && ::pread(fd, &tail, sizeof tail, static_cast<off_t>(size - sizeof tail)) ==
                                          static_cast<ssize_t>(sizeof tail);
  whole = whole && std::memcmp(tail.Magic, kSaveRecordMagic, sizeof tail.Magic) == 0 && tail.Size >= 0 &&
          tail.NameLength > 0 && std::uint64_t{tail.NameLength} + tail.KeptLength + sizeof tail <= size;
  const std::uint64_t inlineSize = size - (whole ? tail.NameLength + tail.KeptLength + sizeof tail : 0);
  whole = whole && (tail.KeptLength > 0 ? inlineSize == 0 : inlineSize == static_cast<std::uint64_t>(tail.Size));
  std::string names(whole ? tail.NameLength + tail.KeptLength : 0, '\0');
  whole = whole &&
          ::pread(fd, names.data(), names.size(), static_cast<off_t>(inlineSize)) == static_cast<ssize_t>(names.size());
  if (!whole) {
    // The save never began to write its file: nothing to put back.
    ::unlinkat(dirFd, recordName, 0);
    return;
  }
  TInterruptedSave save;
  save.FileName = names.substr(0, tail.NameLength);
  const std::string keptName = names.substr(tail.NameLength);
  const int keptFd =
      keptName.empty() ? -1 : ::open(keptName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  FdCloser keptCloser(keptFd);
  if (!keptName.empty()) {
    struct stat kept {};
    if (keptFd < 0 || ::fstat(keptFd, &kept) != 0 || kept.st_size != tail.Size) {
      // Its old content is gone: the record can do nothing more.
      ::unlinkat(dirFd, recordName, 0);
      return;
    }
  }
  const int content = keptName.empty() ? fd : keptFd;
  const int target = ::open(save.FileName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  FdCloser targetCloser(target);
  struct stat now {};
  if (target >= 0 && ::fstat(target, &now) == 0 && S_ISREG(now.st_mode) && now.st_dev == tail.Device &&
      now.st_ino == tail.Inode) {
    try {
      CopyContent(content, target, save.FileName, tail.Size);
      if (::ftruncate(target, tail.Size) != 0 || ::fdatasync(target) != 0)
        Fail("Cannot write file", save.FileName, errno);
      const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(tail.Seconds), tail.Nanoseconds}};
      ::futimens(target, times);
      save.Restored = true;
    } catch (const EFileError&) {
      // Left as it is: the next start tries again.
      return;
    }
  }
  if (save.Restored) {
    if (!keptName.empty()) ::unlink(keptName.c_str());
    ::unlinkat(dirFd, recordName, 0);
  } else if (!keptName.empty()) {
    save.Kept = keptName;
    ::unlinkat(dirFd, recordName, 0);
  } else {
    // Replaced or removed since: the old content becomes a file of its own.
    save.Kept = folder + "/" + BaseOf(save.FileName) + ".before-save-" + std::string(recordName).substr(0, 8);
    if (::ftruncate(fd, tail.Size) != 0 || ::renameat(dirFd, recordName, AT_FDCWD, save.Kept.c_str()) != 0)
      save.Kept = folder + "/" + recordName;
  }
  ::fsync(dirFd);
  out.push_back(std::move(save));
}

// Maps the pages of a large buffer ahead of the read that fills it, on the
// second core: the kernel clears each page it hands out, and the read then
// finds them ready instead of stopping at every one. The bytes are the same
// either way; where the kernel cannot do it, the read maps the pages itself.
class TPagesAhead {
 public:
  TPagesAhead(char* data, std::size_t size) {
    if (size < kFrom) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const std::uintptr_t to = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    try {
      thread_ = std::thread([this, from, to] { MapPages(from, to); });
    } catch (const std::system_error&) {
      // No thread to spare: the read maps the pages itself.
    }
  }
  ~TPagesAhead() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  TPagesAhead(const TPagesAhead&) = delete;
  TPagesAhead& operator=(const TPagesAhead&) = delete;

 private:
  void MapPages(std::uintptr_t from, std::uintptr_t to) {
    for (std::uintptr_t at = from; at < to && !stop_.load(std::memory_order_relaxed); at += kStep) {
      const std::size_t length = std::min<std::uintptr_t>(kStep, to - at);
      if (::madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) != 0) return;
    }
  }

  static constexpr std::size_t kFrom = std::size_t{64} << 20;
  static constexpr std::size_t kStep = std::size_t{4} << 20;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A file is read a piece at a time that fits the cache: whatever looks at a
// piece right after it is read finds its bytes there.
constexpr std::size_t kPiece = std::size_t{1} << 20;

// Reads bytes [from, to) of the file, a piece at a time, each handed to
// `pieces` as part `part`. False at a short read or an error.
bool ReadPart(int fd, char* data, std::size_t from, std::size_t to, int part, TReadPieces& pieces) {
  for (std::size_t at = from; at < to;) {
    const ssize_t n = ::pread(fd, data + at, std::min(kPiece, to - at), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pieces.Piece(part, at, at + static_cast<std::size_t>(n));
    at += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads the file's `st.st_size` bytes in two parts at once, the second on
// another thread. False when the file changed on the way: it was shorter,
// it grew, or it was written.
bool ReadInParts(int fd, const struct stat& st, char* data, TReadPieces& pieces) {
  const auto size = static_cast<std::size_t>(st.st_size);
  const std::size_t second = size / 2;
  pieces.Start(data, size, second);
  bool firstRead = false, secondRead = false;
  std::exception_ptr failed;
  auto readSecond = [&] {
    try {
      secondRead = ReadPart(fd, data, second, size, 1, pieces);
    } catch (...) {
      failed = std::current_exception();
    }
  };
  std::thread other;
  try {
    other = std::thread(readSecond);
  } catch (const std::system_error&) {
    // No thread to spare: the second part after the first.
  }
  try {
    firstRead = ReadPart(fd, data, 0, second, 0, pieces);
  } catch (...) {
    if (other.joinable()) other.join();
    throw;
  }
  if (other.joinable())
    other.join();
  else
    readSecond();
  if (failed) std::rethrow_exception(failed);
  char past = 0;
  ssize_t n;
  do n = ::pread(fd, &past, 1, static_cast<off_t>(size));
  while (n < 0 && errno == EINTR);
  struct stat now {};
  return firstRead && secondRead && n == 0 && ::fstat(fd, &now) == 0 && now.st_size == st.st_size &&
         now.st_mtim.tv_sec == st.st_mtim.tv_sec && now.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
}

}  // namespace

TTextBuffer::TTextBuffer(std::size_t size, std::size_t room) : size_(size) {
  // Not zero-filled: the bytes are written before they are read. A large
  // buffer takes whole huge pages: each fault then brings 2 MB, not 4 KB.
  // Its last bytes that fill no huge page stay on small pages, so that a
  // text a little longer than a huge page does not hold a whole one more.
  // The room after them stays on small pages: it is taken a piece at a time.
  room = (room + kHugePage - 1) / kHugePage * kHugePage;
  if (size >= kLargeBuffer) {
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    raw_.reset(static_cast<char*>(std::aligned_alloc(kHugePage, rounded + room)));
    capacity_ = rounded + room;
    if (raw_) ::madvise(raw_.get(), size / kHugePage * kHugePage, MADV_HUGEPAGE);
  } else {
    raw_.reset(static_cast<char*>(std::malloc(std::max<std::size_t>(size + room, 1))));
    capacity_ = size + room;
  }
  if (!raw_) throw std::bad_alloc();
}

void TTextBuffer::Free::operator()(char* p) const { std::free(p); }

TTextBuffer ReadFileBuffer(const std::string& fileName, bool* ascii, bool roomToGrow, TReadPieces* pieces,
                           struct stat* opened) {
  // Looked at before it is opened: opening a pipe or a device may wait for
  // ever or do something of its own.
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) Fail("Cannot open file", fileName, errno);
  if (!S_ISREG(st.st_mode)) Fail("Cannot open file", fileName, NotRegular(st.st_mode));
  if (st.st_size >= kMaxFileSize) Fail("Cannot open file", fileName, TooLarge());
  int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open file", fileName, errno);
  FdCloser closer(fd);
  if (::fstat(fd, &st) != 0) Fail("Cannot open file", fileName, errno);
  if (!S_ISREG(st.st_mode)) Fail("Cannot open file", fileName, NotRegular(st.st_mode));
  if (opened) *opened = st;
  // Read to the end whatever the size said: the file may change while we
  // read. It may not grow past the limit, though.
  std::size_t capacity = static_cast<std::size_t>(std::min<std::int64_t>(st.st_size + 1, kMaxFileSize));
  if (pieces && static_cast<std::size_t>(st.st_size) >= std::max<std::size_t>(pieces->From(), 1)) {
    TTextBuffer buffer(capacity, roomToGrow ? TextRoom(capacity) : 0);
    if (ReadInParts(fd, st, buffer.Data(), *pieces)) {
      buffer.Shrink(static_cast<std::size_t>(st.st_size));
      const bool allAscii = pieces->Finish();
      if (ascii) *ascii = allAscii;
      return buffer;
    }
    pieces->Drop();
  }
  TTextBuffer buffer(capacity, roomToGrow ? TextRoom(capacity) : 0);
  std::optional<TPagesAhead> pagesAhead(std::in_place, buffer.Data(), capacity);
  std::size_t used = 0;
  // Read a piece at a time, for the check of `ascii`.
  bool allAscii = true;
  for (;;) {
    if (used == capacity) {
      if (static_cast<std::int64_t>(used) >= kMaxFileSize) Fail("Cannot open file", fileName, TooLarge());
      capacity =
          static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(capacity) * 2, kMaxFileSize));
      TTextBuffer bigger(capacity, roomToGrow ? TextRoom(capacity) : 0);
      std::memcpy(bigger.Data(), buffer.Data(), used);
      pagesAhead.reset();  // its pages go with the old buffer
      buffer = std::move(bigger);
    }
    ssize_t n = ::read(fd, buffer.Data() + used, ascii ? std::min(kPiece, capacity - used) : capacity - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read file", fileName, errno);
    }
    if (n == 0) break;
    if (ascii && allAscii) {
      const std::string_view piece(buffer.Data() + used, static_cast<std::size_t>(n));
      allAscii = utf8::FindNonAscii(piece, 0) == piece.size();
    }
    used += static_cast<std::size_t>(n);
  }
  buffer.Shrink(used);
  if (ascii) *ascii = allAscii;
  return buffer;
}

std::string ReadFileBytes(const std::string& fileName) { return std::string(ReadFileBuffer(fileName).View()); }

void WriteFileSafely(const std::string& requestedName, const std::function<void(TFileWriter&)>& produce,
                     const std::function<bool()>& unchanged) {
  // Saving through a symbolic link replaces the file it points to, not the link.
  std::string fileName = requestedName;
  if (char* real = ::realpath(requestedName.c_str(), nullptr)) {
    fileName = real;
    std::free(real);
  }
  struct stat target {};
  const bool exists = ::stat(fileName.c_str(), &target) == 0;
  // Only a regular file may be replaced: a device or pipe is never swapped for a file.
  if (exists && !S_ISREG(target.st_mode)) Fail("Cannot create file", fileName, NotRegular(target.st_mode));
  if (exists) {
    // Refused where writing in place would be: a read-only file stays as it
    // is, whatever its folder allows.
    int check = ::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (check < 0) Fail("Cannot create file", fileName, errno);
    ::close(check);
  }
  int dirFd = ::open(FolderOf(fileName).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) Fail("Cannot create file", fileName, errno);
  FdCloser dirCloser(dirFd);
  RemoveLeftoverTemps(dirFd);

  TempFile temp;
  bool inPlace = exists && target.st_nlink > 1;  // a rename would split the links
  if (!inPlace && !CreateTemp(dirFd, temp)) {
    int err = errno;
    if (!exists || !FolderRefuses(err)) Fail("Cannot create file", fileName, err);
    inPlace = true;
  }
  FdCloser tempCloser(temp.fd);
  if (!inPlace && exists && !TakeIdentity(temp.fd, fileName, target)) inPlace = true;
  if (inPlace) {
    if (!temp.name.empty()) ::unlinkat(dirFd, temp.name.c_str(), 0);
    tempCloser.Close();
    WriteInPlace(fileName, target, produce, unchanged);
    return;
  }
  try {
    BufferedFdWriter writer(temp.fd, fileName);
    produce(writer);
    writer.Flush();
    if (::fdatasync(temp.fd) != 0) Fail("Cannot write file", fileName, errno);
    NameTemp(dirFd, temp, fileName);
    if (unchanged && !unchanged())
      throw EFileChanged("Cannot save file \"" + fileName + "\". It was changed by another program");
    if (::renameat(dirFd, temp.name.c_str(), dirFd, BaseOf(fileName).c_str()) != 0)
      Fail("Cannot create file", fileName, errno);
  } catch (...) {
    if (!temp.name.empty()) ::unlinkat(dirFd, temp.name.c_str(), 0);
    throw;
  }
  // The content was on the disk before the rename; the rename is made so
  // before the save counts as done. Until then the old file may come back
  // after a power cut, and whatever the caller drops once the document is
  // saved (its recovery journal) must outlive that. A failed flush is told
  // as a failed save, though the new content is in place.
  SyncFolder(dirFd, temp.fd, fileName);
}

void SetSaveRecordFolder(std::string folder) { RecordFolder() = std::move(folder); }

std::vector<TInterruptedSave> RestoreInterruptedSaves(const std::string& folder) {
  std::vector<TInterruptedSave> found;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return found;
  const int dirFd = ::dirfd(dir);
  std::vector<std::string> records;
  while (const dirent* entry = ::readdir(dir))
    if (EndsWith(entry->d_name, kSaveRecordSuffix)) records.emplace_back(entry->d_name);
  for (const std::string& name : records) RestoreFromRecord(dirFd, folder, name.c_str(), found);
  ::closedir(dir);
  return found;
}

std::string UserStateFolder() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') {
    base = state;  // a relative setting is no setting
  } else {
    const char* home = std::getenv("HOME");
    if (home && *home) {
      base = home;
    } else if (const passwd* user = ::getpwuid(::geteuid())) {
      base = user->pw_dir;
    }
    base += "/.local/state";
  }
  return base + "/quorvel";
}
