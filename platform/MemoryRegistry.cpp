#include "platform/MemoryRegistry.h"

#include "platform/TextEscape.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view kHeader = "QuorvelRegistry 1";

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

// The inverse of EscapeText (the settings store's escaping), strict: a file
// holding any other escape is corrupt and refused.
std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out.push_back('\\');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
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

std::string TMemoryRegistry::Serialize() const {
  std::string out(kHeader);
  out += '\n';
  // Depth first, parents before children, so that reading back keeps the order.
  std::vector<std::pair<const TKey*, std::string>> stack{{FRoot.get(), ""}};
  while (!stack.empty()) {
    auto [key, path] = stack.back();
    stack.pop_back();
    out += "K\t" + EscapeText(path) + '\n';
    for (const auto& [name, data] : key->Values) out += "V\t" + EscapeText(name) + '\t' + EscapeText(data) + '\n';
    for (auto child = key->Children.rbegin(); child != key->Children.rend(); ++child)
      stack.emplace_back(child->get(), path + "\\" + (*child)->Name);
  }
  return out;
}

bool TMemoryRegistry::Deserialize(std::string_view text) {
  if (text.substr(0, kHeader.size()) != kHeader) return false;
  text.remove_prefix(kHeader.size());
  if (text.empty() || text.front() != '\n') return false;
  text.remove_prefix(1);
  TMemoryRegistry tree;
  std::optional<std::string> current;
  while (!text.empty()) {
    auto lf = text.find('\n');
    if (lf == std::string_view::npos) return false;  // cut off
    std::string_view line = text.substr(0, lf);
    text.remove_prefix(lf + 1);
    if (line.substr(0, 2) == "K\t") {
      auto path = Unescape(line.substr(2));
      if (!path || !tree.CreateKey(*path)) return false;
      current = std::move(path);
    } else if (line.substr(0, 2) == "V\t") {
      std::string_view rest = line.substr(2);
      auto tab = rest.find('\t');
      if (!current || tab == std::string_view::npos) return false;
      auto name = Unescape(rest.substr(0, tab));
      auto data = Unescape(rest.substr(tab + 1));
      if (!name || !data) return false;
      tree.WriteValue(*current, *name, *data);
    } else {
      return false;
    }
  }
  FRoot = std::move(tree.FRoot);
  tree.FRoot = std::make_unique<TKey>();
  return true;
}
