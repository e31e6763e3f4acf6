#pragma once

// Reading and writing whole files, with errors that carry the system's message.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// A file could not be opened, read, created or written. The message names the
// file and carries the operating system's reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A block of bytes that is not zero-filled when allocated, or a string taken over.
class TTextBuffer {
 public:
  TTextBuffer() = default;
  explicit TTextBuffer(std::size_t size);
  explicit TTextBuffer(std::string text) : text_(std::move(text)) {}
  char* Data() { return raw_ ? raw_.get() : text_.data(); }
  std::size_t Size() const { return raw_ ? size_ : text_.size(); }
  std::string_view View() const { return raw_ ? std::string_view(raw_.get(), size_) : std::string_view(text_); }
  void Shrink(std::size_t size) {
    if (raw_) size_ = std::min(size_, size);
    else text_.resize(std::min(text_.size(), size));
  }

 private:
  struct Free {
    void operator()(char* p) const;
  };
  std::unique_ptr<char[], Free> raw_;
  std::size_t size_ = 0;
  std::string text_;
};

// Files of this size or more are refused: positions in the text are 32-bit.
constexpr std::int64_t kMaxFileSize = std::int64_t{1} << 31;

// The names a save gives its temporary file in the target's folder begin
// with this. A save cleans up such files that a killed save left behind.
constexpr std::string_view kTempFilePrefix = ".~quorvel-";

// All bytes of the file, unchanged. Only a regular file smaller than
// kMaxFileSize is read; anything else (a folder, a pipe, a device) is
// refused before it is opened, and opening never waits. Throws EFileError.
// With `ascii`, also tells whether every byte is below 0x80: found while each
// piece read is still in the cache, which costs next to nothing.
TTextBuffer ReadFileBuffer(const std::string& fileName, bool* ascii = nullptr);
std::string ReadFileBytes(const std::string& fileName);

// Collects output in large blocks and hands them to the file.
class TFileWriter {
 public:
  virtual ~TFileWriter() = default;
  virtual void Write(std::string_view bytes) = 0;
};

// Replaces the content of `fileName` with what `produce` writes, without
// ever leaving a half-written file behind, and without changing what the
// file is: owner, group, permission bits, hard links and extended
// attributes stay. A save is refused exactly where writing the file in
// place would be (a read-only file is not replaced because its folder is
// writable).
//
// Usually the bytes go to a temporary file in the same folder that has no
// name while it is written (the kernel discards it if the program dies),
// which is flushed and then renamed over the target. Where the rename would
// change the file (several hard links, an owner or group a new file cannot
// get, attributes that cannot be copied, a folder that cannot be written)
// the file is written in place instead, with a copy of its old content kept
// until the new content is flushed and put back on failure.
//
// On failure the old content stays and EFileError is thrown.
void WriteFileSafely(const std::string& fileName, const std::function<void(TFileWriter&)>& produce);
