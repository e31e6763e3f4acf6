#pragma once

// Reading and writing whole files, with errors that carry the system's message.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// A file could not be opened, read, created or written. The message names the
// file and carries the operating system's reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// All bytes of the file, unchanged. Throws EFileError.
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
