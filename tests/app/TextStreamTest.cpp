// Reading lines from a byte stream through the decorator.

#include <gtest/gtest.h>

#include "app/TextStream.h"

namespace {

std::vector<std::string> ReadAll(const std::string& bytes) {
  TBytesStream data(bytes);
  TTextStream text(data);
  std::vector<std::string> out;
  while (!text.EndOfStream()) {
    std::string line;
    text.ReadLine(line);
    out.push_back(line);
  }
  return out;
}

TEST(TextStream, LinesEndAtLfAndEveryCrIsDropped) {
  EXPECT_EQ(ReadAll("a\r\nb"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ReadAll("a\rb\n"), (std::vector<std::string>{"ab"}));
  EXPECT_EQ(ReadAll("x\n\ny\n"), (std::vector<std::string>{"x", "", "y"}));
  EXPECT_TRUE(ReadAll("").empty());
}

TEST(TextStream, ReadLineAtTheEndGivesAnEmptyLine) {
  TBytesStream data("");
  TTextStream text(data);
  std::string line = "stale";
  text.ReadLine(line);
  EXPECT_EQ(line, "");
}

TEST(TextStream, TheDecoratorForwardsAndLeavesTheStreamAlive) {
  TBytesStream data("hello");
  {
    TTextStream text(data);
    char buf[3] = {};
    EXPECT_EQ(text.Read(buf, 2), 2);
    EXPECT_EQ(text.Seek(1, TSeekOrigin::Current), 3);
    EXPECT_EQ(text.Size(), 5);
    EXPECT_EQ(text.Write("XY", 2), 2);
  }
  EXPECT_EQ(data.Bytes(), "helXY");
  TResourceStream resource("ro");
  TTextStream text(resource);
  EXPECT_EQ(text.Write("z", 1), 0) << "a resource is read-only";
}

}  // namespace
