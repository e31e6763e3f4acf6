#pragma once

// Byte streams: the abstract stream and an in-memory one.

#include <cstdint>
#include <string>
#include <string_view>

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes `count` bytes; returns how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  // Computed by seeking, so that a stream only needs the three operations above.
  std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::Beginning); }
  std::int64_t Size() {
    std::int64_t pos = Seek(0, TSeekOrigin::Current);
    std::int64_t size = Seek(0, TSeekOrigin::End);
    Seek(pos, TSeekOrigin::Beginning);
    return size;
  }
};

// A stream over bytes held in memory; writing past the end grows it.
class TBytesStream : public TStream {
 public:
  TBytesStream() = default;
  explicit TBytesStream(std::string bytes) : bytes_(std::move(bytes)) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::int64_t pos_ = 0;
};

// A read-only stream over bytes compiled into the program.
class TResourceStream : public TStream {
 public:
  explicit TResourceStream(std::string_view bytes) : bytes_(bytes) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;  // writes nothing
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  std::string_view bytes_;
  std::int64_t pos_ = 0;
};
