#include "platform/MemoryRegistry.h"

#include <algorithm>
#include <utility>

namespace {

bool SameName(std::string_view a, std::string_view b) {
  auto fold = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

// The key names of a path; empty for the root; nothing for a path that names no key.
std::optional<std::vector<std::string>> SplitPath(std::string_view path) {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  std::vector<std::string> parts;
  if (path.empty()) return parts;
  for (;;) {
    auto slash = path.find('\\');
    std::string_view part = path.substr(0, slash);
    if (part.empty()) return std::nullopt;
    parts.emplace_back(part);
    if (slash == std::string_view::npos) return parts;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

struct TMemoryRegistry::TKey {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Values;
  std::vector<std::unique_ptr<TKey>> Children;

  TKey* Child(std::string_view name) const {
    for (const auto& child : Children)
      if (SameName(child->Name, name)) return child.get();
    return nullptr;
  }
  auto ValueIt(std::string_view name) {
    return std::find_if(Values.begin(), Values.end(), [&](const auto& v) { return SameName(v.first, name); });
  }
  const std::string* Value(std::string_view name) const {
    for (const auto& v : Values)
      if (SameName(v.first, name)) return &v.second;
    return nullptr;
  }
};

TMemoryRegistry::TMemoryRegistry() : FRoot(std::make_unique<TKey>()) {}
TMemoryRegistry::~TMemoryRegistry() = default;

TMemoryRegistry::TKey* TMemoryRegistry::Find(const std::string& path) const {
  auto parts = SplitPath(path);
  if (!parts) return nullptr;
  TKey* key = FRoot.get();
  for (const std::string& part : *parts) {
    key = key->Child(part);
    if (!key) return nullptr;
  }
  return key;
}

bool TMemoryRegistry::KeyExists(const std::string& path) const { return Find(path) != nullptr; }

bool TMemoryRegistry::CreateKey(const std::string& path) {
  auto parts = SplitPath(path);
  if (!parts) return false;
  TKey* key = FRoot.get();
  for (const std::string& part : *parts) {
    TKey* child = key->Child(part);
    if (!child) {
      key->Children.push_back(std::make_unique<TKey>());
      child = key->Children.back().get();
      child->Name = part;
    }
    key = child;
  }
  return true;
}

std::optional<std::string> TMemoryRegistry::ReadValue(const std::string& path,
                                                      const std::string& name) const {
  TKey* key = Find(path);
  if (!key) return std::nullopt;
  const std::string* value = key->Value(name);
  if (!value) return std::nullopt;
  return *value;
}

bool TMemoryRegistry::WriteValue(const std::string& path, const std::string& name, const std::string& value) {
  TKey* key = Find(path);
  if (!key) return false;
  auto it = key->ValueIt(name);
  if (it != key->Values.end()) {
    it->second = value;
  } else {
    key->Values.emplace_back(name, value);
  }
  return true;
}

bool TMemoryRegistry::ValueExists(const std::string& path, const std::string& name) const {
  TKey* key = Find(path);
  return key && key->Value(name);
}

bool TMemoryRegistry::DeleteValue(const std::string& path, const std::string& name) {
  TKey* key = Find(path);
  if (!key) return false;
  auto it = key->ValueIt(name);
  if (it == key->Values.end()) return false;
  key->Values.erase(it);
  return true;
}

std::vector<std::string> TMemoryRegistry::SubKeys(const std::string& path) const {
  std::vector<std::string> names;
  if (TKey* key = Find(path))
    for (const auto& child : key->Children) names.push_back(child->Name);
  return names;
}

bool TMemoryRegistry::RenameValue(const std::string& path, const std::string& from, const std::string& to) {
  TKey* key = Find(path);
  if (!key || key->Value(to)) return false;
  auto it = key->ValueIt(from);
  if (it == key->Values.end()) return false;
  it->first = to;
  return true;
}

bool TMemoryRegistry::MoveKey(const std::string& from, const std::string& to) {
  auto source = SplitPath(from);
  auto target = SplitPath(to);
  if (!source || !target || source->empty() || target->empty()) return false;
  bool inside = target->size() >= source->size() &&
                std::equal(source->begin(), source->end(), target->begin(),
                           [](const std::string& a, const std::string& b) { return SameName(a, b); });
  if (inside || KeyExists(to)) return false;
  // Find the source's parent and detach the source.
  TKey* parent = FRoot.get();
  for (std::size_t i = 0; i + 1 < source->size(); ++i) {
    parent = parent->Child((*source)[i]);
    if (!parent) return false;
  }
  auto it = std::find_if(parent->Children.begin(), parent->Children.end(),
                         [&](const auto& child) { return SameName(child->Name, source->back()); });
  if (it == parent->Children.end()) return false;
  std::unique_ptr<TKey> moved = std::move(*it);
  parent->Children.erase(it);
  moved->Name = target->back();
  std::string targetParent;
  for (std::size_t i = 0; i + 1 < target->size(); ++i) targetParent += "\\" + (*target)[i];
  CreateKey(targetParent);
  Find(targetParent)->Children.push_back(std::move(moved));
  return true;
}

bool TMemoryRegistry::DeleteKey(const std::string& path) {
  auto parts = SplitPath(path);
  if (!parts || parts->empty()) return false;
  TKey* parent = FRoot.get();
  for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
    parent = parent->Child((*parts)[i]);
    if (!parent) return false;
  }
  auto it = std::find_if(parent->Children.begin(), parent->Children.end(),
                         [&](const auto& child) { return SameName(child->Name, parts->back()); });
  if (it == parent->Children.end()) return false;
  parent->Children.erase(it);
  return true;
}

void TMemoryRegistry::ForEachKey(const TKeyVisitor& visit) const {
  // Depth first, parents before children, so that a tree built again in this
  // order keeps the order of keys.
  std::vector<std::pair<const TKey*, std::string>> stack{{FRoot.get(), ""}};
  while (!stack.empty()) {
    auto [key, path] = stack.back();
    stack.pop_back();
    visit(path, key->Values);
    for (auto child = key->Children.rbegin(); child != key->Children.rend(); ++child)
      stack.emplace_back(child->get(), path + "\\" + (*child)->Name);
  }
}

void TMemoryRegistry::Swap(TMemoryRegistry& other) noexcept { FRoot.swap(other.FRoot); }
