#pragma once

// A tree of keys with named string values, in the shape of the system's
// class registry (HKEY_CLASSES_ROOT).
//
// Paths use "\" between key names; one leading "\" is allowed and means the
// root, as does the empty path. A path with an empty key name in it ("a\\b",
// a trailing "\") names no key: every operation on it fails. Key and value
// names compare without regard to ASCII case and keep the spelling they were
// created with. The empty value name is the key's default value.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Registry {
 public:
  virtual ~Registry() = default;

  virtual bool KeyExists(const std::string& path) const = 0;
  // Creates the key and any missing parents; true when the key exists afterwards.
  virtual bool CreateKey(const std::string& path) = 0;
  // Empty when the key or the value does not exist.
  virtual std::optional<std::string> ReadValue(const std::string& path, const std::string& name) const = 0;
  // The key must exist.
  virtual bool WriteValue(const std::string& path, const std::string& name, const std::string& value) = 0;
  virtual bool ValueExists(const std::string& path, const std::string& name) const = 0;
  virtual bool DeleteValue(const std::string& path, const std::string& name) = 0;
  // The names of the key's direct subkeys, in the order they were created.
  virtual std::vector<std::string> SubKeys(const std::string& path) const = 0;
  // Gives a value a new name, keeping its data. Does nothing and fails when
  // `to` already exists or `from` does not.
  virtual bool RenameValue(const std::string& path, const std::string& from, const std::string& to) = 0;
  // Moves a key with all its values and subkeys to a new path, creating the
  // target's parents. Does nothing and fails when the target exists, the
  // source does not, or the target lies inside the source.
  virtual bool MoveKey(const std::string& from, const std::string& to) = 0;
  // Deletes a key with its whole subtree. The root cannot be deleted.
  virtual bool DeleteKey(const std::string& path) = 0;
  // Makes the changes made so far lasting; true when they are.
  virtual bool Flush() { return true; }
};

}  // namespace platform

// Opens an accessor of the class registry; nullptr when there is none.
using TRegistryOpener = std::function<std::unique_ptr<platform::Registry>()>;
