#include "app/SysFuncs.h"

#include <filesystem>
#include <system_error>

TSystemFunctions::TSystemFunctions(std::string exeName) : FExeName(std::move(exeName)) {}

std::string TSystemFunctions::GetExeName() const {
  if (!FExeName.empty()) return FExeName;
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
}

std::string TSystemFunctions::GetExePath() const {
  std::string name = GetExeName();
  return name.substr(0, name.find_last_of('/') + 1);
}
