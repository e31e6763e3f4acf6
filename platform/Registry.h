#pragma once

// A tree of keys with named string values, in the shape of the system's
// class registry (HKEY_CLASSES_ROOT). Paths use "\" between key names; key
// names compare without regard to ASCII case. The empty value name is the
// key's default value.

#include <optional>
#include <string>
#include <vector>

namespace platform {

class Registry {
 public:
  virtual ~Registry() = default;

  virtual bool KeyExists(const std::string& path) const = 0;
  // Creates the key and any missing parents. Returns false on failure.
  virtual bool CreateKey(const std::string& path) = 0;
  virtual std::optional<std::string> ReadValue(const std::string& path,
                                               const std::string& name) const = 0;
  // Creates the key when needed.
  virtual bool WriteValue(const std::string& path, const std::string& name,
                          const std::string& value) = 0;
  virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;
  virtual std::vector<std::string> SubKeys(const std::string& path) const = 0;
  virtual bool ValueExists(const std::string& path, const std::string& name) const = 0;
  // Renames (moves) a key with its whole subtree; fails when the target exists.
  virtual bool MoveKey(const std::string& from, const std::string& to) = 0;
  // Deletes a key with its whole subtree.
  virtual bool DeleteKey(const std::string& path) = 0;
};

}  // namespace platform
