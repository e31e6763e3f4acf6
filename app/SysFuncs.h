#pragma once

// The program file's name and folder.

#include <string>

class TSystemFunctions {
 public:
  // `exeName` stands in for the program file when not empty (tests run the
  // kernel as if it were a program elsewhere).
  explicit TSystemFunctions(std::string exeName = {});

  // The full path of the program file, symbolic links resolved.
  std::string GetExeName() const;
  // The folder of the program file, ending in "/".
  std::string GetExePath() const;

 private:
  std::string FExeName;
};
