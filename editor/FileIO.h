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
  std::unique_ptr<char[]> raw_;
  std::size_t size_ = 0;
  std::string text_;
};

// Files of this size or more are refused: positions in the text are 32-bit.
constexpr std::int64_t kMaxFileSize = std::int64_t{1} << 31;

// All bytes of the file, unchanged. Only a regular file smaller than
// kMaxFileSize is read; anything else (a folder, a pipe, a device) is
// refused before it is opened, and opening never waits. Throws EFileError.
TTextBuffer ReadFileBuffer(const std::string& fileName);
std::string ReadFileBytes(const std::string& fileName);

// Collects output in large blocks and hands them to the file.
class TFileWriter {
 public:
  virtual ~TFileWriter() = default;
  virtual void Write(std::string_view bytes) = 0;
};

// Replaces `fileName` with what `produce` writes, without ever leaving a
// half-written file behind: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the target. An
// existing target keeps its permission bits. On any failure the old file is
// untouched, the temporary file is removed and EFileError is thrown.
void WriteFileSafely(const std::string& fileName, const std::function<void(TFileWriter&)>& produce);
