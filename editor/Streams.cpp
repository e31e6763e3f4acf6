#include "editor/Streams.h"

#include <algorithm>
#include <cstring>

namespace {

std::int64_t SeekIn(std::int64_t pos, std::int64_t size, std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? pos : size;
  return std::max<std::int64_t>(0, base + offset);
}

std::int64_t ReadFrom(std::string_view bytes, std::int64_t& pos, void* buffer, std::int64_t count) {
  auto size = static_cast<std::int64_t>(bytes.size());
  if (count <= 0 || pos >= size) return 0;
  std::int64_t n = std::min(count, size - pos);
  std::memcpy(buffer, bytes.data() + pos, static_cast<std::size_t>(n));
  pos += n;
  return n;
}

}  // namespace

std::int64_t TBytesStream::Read(void* buffer, std::int64_t count) {
  return ReadFrom(bytes_, pos_, buffer, count);
}

std::int64_t TBytesStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  auto end = static_cast<std::size_t>(pos_ + count);
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + pos_, buffer, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

std::int64_t TBytesStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  pos_ = SeekIn(pos_, static_cast<std::int64_t>(bytes_.size()), offset, origin);
  return pos_;
}

std::int64_t TResourceStream::Read(void* buffer, std::int64_t count) {
  return ReadFrom(bytes_, pos_, buffer, count);
}

std::int64_t TResourceStream::Write(const void*, std::int64_t) { return 0; }

std::int64_t TResourceStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  pos_ = SeekIn(pos_, static_cast<std::int64_t>(bytes_.size()), offset, origin);
  return pos_;
}
