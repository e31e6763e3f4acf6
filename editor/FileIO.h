#pragma once

// Reading and writing whole files, with errors that carry the system's message.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file could not be opened, read, created or written. The message names the
// file and carries the operating system's reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A block of bytes that is not zero-filled when allocated, or a string taken over.
// It may have room after its bytes to grow into: address space only, until
// it is written.
class TTextBuffer {
 public:
  TTextBuffer() = default;
  explicit TTextBuffer(std::size_t size, std::size_t room = 0);
  explicit TTextBuffer(std::string text) : text_(std::move(text)) {}
  char* Data() { return raw_ ? raw_.get() + start_ : text_.data(); }
  std::size_t Size() const { return raw_ ? size_ : text_.size(); }
  std::string_view View() const {
    return raw_ ? std::string_view(raw_.get() + start_, size_) : std::string_view(text_);
  }
  // Bytes after the last one that may be written and then taken in by Grow.
  std::size_t Room() const { return raw_ ? capacity_ - size_ : 0; }
  void Grow(std::size_t count) { size_ += std::min(count, Room()); }
  void Shrink(std::size_t size) {
    if (raw_)
      size_ = std::min(size_, size);
    else
      text_.resize(std::min(text_.size(), size));
  }
  // Leaves out the first `count` bytes (without moving the others).
  void DropFront(std::size_t count) {
    if (raw_) {
      count = std::min(count, size_);
      start_ += count;
      size_ -= count;
      capacity_ -= count;
    } else {
      text_.erase(0, count);
    }
  }

 private:
  struct Free {
    void operator()(char* p) const;
  };
  std::unique_ptr<char[], Free> raw_;
  std::size_t start_ = 0;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // bytes from start_ on
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
// With `roomToGrow`, the buffer has room after the bytes for what a document
// pastes (TextRoom).
//
// With `pieces`, a file of at least pieces->From() bytes is read in two
// parts at once, each on a core of its own, and every piece is handed to
// `pieces` on the thread that read it, while its bytes are still in the
// cache. A file that changes while it is read (its size, a short read) is
// read again the plain way, after pieces->Drop().
//
// With `opened`, the status of the file read as it was when it was opened,
// before its first byte was read.
class TReadPieces;
struct stat;
TTextBuffer ReadFileBuffer(const std::string& fileName, bool* ascii = nullptr, bool roomToGrow = false,
                           TReadPieces* pieces = nullptr, struct stat* opened = nullptr);
std::string ReadFileBytes(const std::string& fileName);

// Takes the pieces of a file read in two parts at once. Piece is called on
// two threads at the same time, once for each part's pieces in their order.
class TReadPieces {
 public:
  virtual ~TReadPieces() = default;
  // Files this large are read in parts.
  virtual std::size_t From() const = 0;
  // Before the first piece: where the file's `size` bytes go and where its second part begins.
  virtual void Start(const char* data, std::size_t size, std::size_t second) = 0;
  // Bytes [from, to) of the file, of part 0 or 1, are in place.
  virtual void Piece(int part, std::size_t from, std::size_t to) = 0;
  // Every byte is in place and the file did not change while it was read.
  // Returns whether every byte is below 0x80.
  virtual bool Finish() = 0;
  // The pieces were of a file that changed: none of them is to be used.
  virtual void Drop() = 0;
};

// Collects output in large blocks and hands them to the file.
class TFileWriter {
 public:
  virtual ~TFileWriter() = default;
  virtual void Write(std::string_view bytes) = 0;
};

// The file was changed by another program since the document last loaded
// or saved it: the save was left undone, and the file is as that program left it.
class EFileChanged : public EFileError {
 public:
  using EFileError::EFileError;
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
// The old content of a file written in place is kept on the disk, flushed
// before the first byte is overwritten, and the save is noted in the folder
// SetSaveRecordFolder names (a save record): a program killed half-way
// leaves what RestoreInterruptedSaves puts back. The old content stays in
// that folder when it is on the file's file system, else beside the file
// where its folder takes one; without a usable folder it is kept in memory.
//
// `unchanged`, when given, is asked right before the file is replaced (for
// a file written in place, right before the first byte is written): false
// leaves the file as it is and throws EFileChanged.
//
// On failure the old content stays and EFileError is thrown.
void WriteFileSafely(const std::string& fileName, const std::function<void(TFileWriter&)>& produce,
                     const std::function<bool()>& unchanged = nullptr);

// The folder for save records (private to the user; made when needed). The
// program's own state folder; none (the default) keeps old content in memory.
void SetSaveRecordFolder(std::string folder);

// A save left unfinished by a program that died.
struct TInterruptedSave {
  std::string FileName;
  bool Restored = false;  // the file holds its content from before the save again
  std::string Kept;       // else: where that content is kept
};

// Puts back the files whose in-place save a program that died left
// half-written: each gets all of its content from before that save (with
// its time of change), never a mix of old and new. A file replaced or
// removed since is left alone, its old content kept. Saves of programs
// still running are not touched. Their records go once they are dealt with.
std::vector<TInterruptedSave> RestoreInterruptedSaves(const std::string& folder);

// The user's state folder of the program: $XDG_STATE_HOME/quorvel, or
// ~/.local/state/quorvel when that is not set (or not an absolute path).
std::string UserStateFolder();
