#include "app/SysFuncs.h"

#include <sys/stat.h>

#include <filesystem>
#include <string_view>
#include <system_error>

TSystemFunctions::TSystemFunctions(std::string exeName) : FExeName(std::move(exeName)) {}

std::string TSystemFunctions::GetExeName() const {
  if (!FExeName.empty()) return FExeName;
  std::error_code error;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error) return {};
  // The kernel marks a program file that was removed or replaced while the
  // program runs (a rebuild, a package upgrade); the name without the mark
  // is where the program lives. A file really named so is the running one.
  constexpr std::string_view kDeleted = " (deleted)";
  struct stat named {};
  struct stat running {};
  if (self.ends_with(kDeleted) &&
      !(::stat(self.c_str(), &named) == 0 && ::stat("/proc/self/exe", &running) == 0 &&
        named.st_dev == running.st_dev && named.st_ino == running.st_ino))
    self.erase(self.size() - kDeleted.size());
  return self;
}

std::string TSystemFunctions::GetExePath() const {
  std::string name = GetExeName();
  return name.substr(0, name.find_last_of('/') + 1);
}
