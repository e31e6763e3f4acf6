#pragma once

// The class registry kept in a file of the user's configuration folder, so
// that associations and their backups survive restarts.
//
// The file is read when the accessor is made and written (safely: a new file
// renamed over the old one) by Flush. A file that exists but cannot be read
// or is not a registry file is never overwritten: the accessor then refuses
// every change.

#include <string>
#include <string_view>

#include "platform/MemoryRegistry.h"

namespace platform {

// The registry file's text: a header line, then one line per key (its full
// path) followed by one line per value, names and values escaped.
std::string SerializeRegistry(const TMemoryRegistry& tree);
// Replaces `tree` with the one in `text`; false (tree unchanged) when the text
// is not a tree SerializeRegistry wrote.
bool DeserializeRegistry(std::string_view text, TMemoryRegistry& tree);

class FileRegistry : public Registry {
 public:
  explicit FileRegistry(std::string fileName);
  ~FileRegistry() override;  // flushes, errors swallowed

  // <configuration folder>/quorvel/classes.reg
  static std::string DefaultFileName();

  // False when the file could not be read or was not understood.
  bool Usable() const { return FUsable; }

  bool KeyExists(const std::string& path) const override { return FTree.KeyExists(path); }
  bool CreateKey(const std::string& path) override;
  std::optional<std::string> ReadValue(const std::string& path, const std::string& name) const override {
    return FTree.ReadValue(path, name);
  }
  bool WriteValue(const std::string& path, const std::string& name, const std::string& value) override;
  bool ValueExists(const std::string& path, const std::string& name) const override {
    return FTree.ValueExists(path, name);
  }
  bool DeleteValue(const std::string& path, const std::string& name) override;
  std::vector<std::string> SubKeys(const std::string& path) const override { return FTree.SubKeys(path); }
  bool RenameValue(const std::string& path, const std::string& from, const std::string& to) override;
  bool MoveKey(const std::string& from, const std::string& to) override;
  bool DeleteKey(const std::string& path) override;
  bool Flush() override;

 private:
  template <typename Change>
  bool Modify(Change change);

  std::string FFileName;
  TMemoryRegistry FTree;
  bool FUsable = true;
  bool FModified = false;
};

}  // namespace platform
