#pragma once

// A stream that forwards reading, writing and seeking to another stream,
// which it does not own.

#include "editor/Streams.h"

class TStreamDecorator : public TStream {
 public:
  explicit TStreamDecorator(TStream& stream) : FStream(stream) {}

  std::int64_t Read(void* buffer, std::int64_t count) override { return FStream.Read(buffer, count); }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return FStream.Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    return FStream.Seek(offset, origin);
  }

 protected:
  TStream& FStream;
};
