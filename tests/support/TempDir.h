#pragma once

// A fresh folder under the system's temporary folder, removed with its content.

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& fileName, const std::string& bytes);
std::string ReadBytes(const std::string& fileName);
