#pragma once

// The registry's key tree held in memory.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

class TMemoryRegistry : public platform::Registry {
 public:
  TMemoryRegistry();
  ~TMemoryRegistry() override;

  bool KeyExists(const std::string& path) const override;
  bool CreateKey(const std::string& path) override;
  std::optional<std::string> ReadValue(const std::string& path, const std::string& name) const override;
  bool WriteValue(const std::string& path, const std::string& name, const std::string& value) override;
  bool ValueExists(const std::string& path, const std::string& name) const override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
  std::vector<std::string> SubKeys(const std::string& path) const override;
  bool RenameValue(const std::string& path, const std::string& from, const std::string& to) override;
  bool MoveKey(const std::string& from, const std::string& to) override;
  bool DeleteKey(const std::string& path) override;

  using TValues = std::vector<std::pair<std::string, std::string>>;
  using TKeyVisitor = std::function<void(const std::string& path, const TValues& values)>;
  // Every key with its full path ("" for the root) and its values, depth
  // first, each key before its subkeys, subkeys and values in the order made.
  void ForEachKey(const TKeyVisitor& visit) const;
  void Swap(TMemoryRegistry& other) noexcept;

 private:
  struct TKey;
  TKey* Find(const std::string& path) const;
  std::unique_ptr<TKey> FRoot;
};

// A registry that forwards to another one it does not own: lets several
// accessors, each opened and freed on its own, work on one tree.
class TRegistryView : public platform::Registry {
 public:
  explicit TRegistryView(platform::Registry& target) : FTarget(target) {}

  bool KeyExists(const std::string& p) const override { return FTarget.KeyExists(p); }
  bool CreateKey(const std::string& p) override { return FTarget.CreateKey(p); }
  std::optional<std::string> ReadValue(const std::string& p, const std::string& n) const override {
    return FTarget.ReadValue(p, n);
  }
  bool WriteValue(const std::string& p, const std::string& n, const std::string& v) override {
    return FTarget.WriteValue(p, n, v);
  }
  bool ValueExists(const std::string& p, const std::string& n) const override {
    return FTarget.ValueExists(p, n);
  }
  bool DeleteValue(const std::string& p, const std::string& n) override { return FTarget.DeleteValue(p, n); }
  std::vector<std::string> SubKeys(const std::string& p) const override { return FTarget.SubKeys(p); }
  bool RenameValue(const std::string& p, const std::string& f, const std::string& t) override {
    return FTarget.RenameValue(p, f, t);
  }
  bool MoveKey(const std::string& f, const std::string& t) override { return FTarget.MoveKey(f, t); }
  bool DeleteKey(const std::string& p) override { return FTarget.DeleteKey(p); }
  bool Flush() override { return FTarget.Flush(); }

 private:
  platform::Registry& FTarget;
};
