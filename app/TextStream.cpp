#include "app/TextStream.h"

void TTextStream::ReadLine(std::string& line) {
  line.clear();
  char c = 0;
  while (Read(&c, 1) == 1) {
    if (c == '\n') return;
    if (c != '\r') line.push_back(c);
  }
}
