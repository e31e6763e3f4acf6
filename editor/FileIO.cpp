#include "editor/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
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

class BufferedFdWriter : public TFileWriter {
 public:
  BufferedFdWriter(int fd, const std::string& fileName) : fd_(fd), fileName_(fileName) {
    buffer_.reserve(kBlock);
  }
  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kBlock) Flush();
    if (bytes.size() >= kBlock) {
      WriteAll(bytes);
    } else {
      buffer_.append(bytes);
    }
  }
  void Flush() {
    WriteAll(buffer_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kBlock = 1 << 20;
  void WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write file", fileName_, errno);
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }
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

}  // namespace

TTextBuffer::TTextBuffer(std::size_t size) : raw_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

TTextBuffer ReadFileBuffer(const std::string& fileName) {
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
  // Read to the end whatever the size said: the file may change while we
  // read. It may not grow past the limit, though.
  std::size_t capacity = static_cast<std::size_t>(std::min<std::int64_t>(st.st_size + 1, kMaxFileSize));
  TTextBuffer buffer(capacity);
  std::size_t used = 0;
  for (;;) {
    if (used == capacity) {
      if (static_cast<std::int64_t>(used) >= kMaxFileSize) Fail("Cannot open file", fileName, TooLarge());
      capacity = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(capacity) * 2, kMaxFileSize));
      TTextBuffer bigger(capacity);
      std::memcpy(bigger.Data(), buffer.Data(), used);
      buffer = std::move(bigger);
    }
    ssize_t n = ::read(fd, buffer.Data() + used, capacity - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read file", fileName, errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  buffer.Shrink(used);
  return buffer;
}

std::string ReadFileBytes(const std::string& fileName) { return std::string(ReadFileBuffer(fileName).View()); }

void WriteFileSafely(const std::string& requestedName,
                     const std::function<void(TFileWriter&)>& produce) {
  // Saving through a symbolic link replaces the file it points to, not the link.
  std::string fileName = requestedName;
  if (char* real = ::realpath(requestedName.c_str(), nullptr)) {
    fileName = real;
    std::free(real);
  }
  struct stat target {};
  bool exists = ::stat(fileName.c_str(), &target) == 0;
  if (exists && S_ISDIR(target.st_mode)) Fail("Cannot create file", fileName, EISDIR);
  // Only a regular file may be replaced: a device or pipe is never swapped for a file.
  if (exists && !S_ISREG(target.st_mode)) Fail("Cannot create file", fileName, EINVAL);

  std::string tempName = FolderOf(fileName) + "/.~" + std::to_string(::getpid()) + "-XXXXXX";
  std::string templ = tempName;
  int fd = ::mkstemp(templ.data());
  if (fd < 0) Fail("Cannot create file", fileName, errno);
  tempName = templ;
  FdCloser closer(fd);
  try {
    BufferedFdWriter writer(fd, fileName);
    produce(writer);
    writer.Flush();
    mode_t mode = exists ? (target.st_mode & 07777) : (0666 & ~[] {
      mode_t m = ::umask(0);
      ::umask(m);
      return m;
    }());
    if (::fchmod(fd, mode) != 0) Fail("Cannot create file", fileName, errno);
    if (::fdatasync(fd) != 0) Fail("Cannot write file", fileName, errno);
    if (::close(closer.Release()) != 0) Fail("Cannot write file", fileName, errno);
    if (::rename(tempName.c_str(), fileName.c_str()) != 0) Fail("Cannot create file", fileName, errno);
  } catch (...) {
    ::unlink(tempName.c_str());
    throw;
  }
}
