#pragma once

// Line-by-line reading of a byte stream.

#include <string>

#include "app/StreamDecorator.h"

class TTextStream : public TStreamDecorator {
 public:
  using TStreamDecorator::TStreamDecorator;

  // The next line: bytes up to an LF, with every CR dropped wherever it
  // stands. A last line without LF ends at the end of the data.
  void ReadLine(std::string& line);
  bool EndOfStream() { return Position() == Size(); }
};
