#include "app/ini_store.h"

#include <algorithm>
#include <charconv>

#include "app/TextStream.h"
#include "editor/FileIO.h"

namespace {

constexpr char kEndOfText = 26;

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlankOrControl(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
  return s;
}

unsigned char Fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Byte-wise comparison with ASCII letters folded to lower case.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Fold(x) < Fold(y); });
}

std::string_view NameOf(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// A line break or an end-of-text mark inside an entry would cut its line in
// the saved file and turn the rest into other entries or sections.
bool FitsOnOneLine(std::string_view entry) {
  return entry.find_first_of(std::string_view("\r\n\x1a", 3)) == std::string_view::npos;
}

}  // namespace

std::string TIniStore::ReadString(const std::string& name) {
  auto it = FIndex.find(name);
  if (it == FIndex.end()) {
    WriteString(name, "");
    return {};
  }
  const std::string& entry = FEntries[it->second];
  return entry.substr(std::min(entry.size(), name.size() + 1));
}

void TIniStore::WriteString(const std::string& name, const std::string& value) {
  std::string entry = name + "=" + value;
  auto it = FIndex.find(name);
  if (it != FIndex.end()) {
    FEntries[it->second] = std::move(entry);
    return;
  }
  FEntries.push_back(std::move(entry));
  FIndex[name] = FEntries.size() - 1;
}

bool TIniStore::ReadBool(const std::string& name) { return ReadString(name) == "1"; }

bool TIniStore::PeekBool(const std::string& name) const {
  auto it = FIndex.find(name);
  if (it == FIndex.end()) return false;
  const std::string_view entry = FEntries[it->second];
  return entry.substr(std::min(entry.size(), name.size() + 1)) == "1";
}

void TIniStore::WriteBool(const std::string& name, bool value) { WriteString(name, value ? "1" : "0"); }

int TIniStore::ReadInteger(const std::string& name) {
  std::string text = ReadString(name);
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  return value;
}

void TIniStore::WriteInteger(const std::string& name, int value) { WriteString(name, std::to_string(value)); }

std::string TIniStore::ReadText(const std::string& name) { return UnescapeText(ReadString(name)); }

void TIniStore::WriteText(const std::string& name, const std::string& value) {
  WriteString(name, EscapeText(value));
}

void TIniStore::AddEntry(const std::string& line) {
  auto eq = line.find('=');
  if (eq == std::string::npos) return;
  WriteString(line.substr(0, eq), line.substr(eq + 1));
}

void TIniStore::Clear() {
  FEntries.clear();
  FIndex.clear();
}

void TIniStore::LoadLine(std::string_view raw, std::string& section) {
  std::string_view line = Trim(raw);
  if (line.empty()) return;
  if (line.front() == '[') {
    section = line.size() >= 2 ? std::string(line.substr(1, line.size() - 2)) : std::string();
    return;
  }
  if (line.find('=') == std::string_view::npos) return;
  if (section.empty()) {
    AddEntry(std::string(line));
  } else {
    AddEntry(section + "." + std::string(line));
  }
}

void TIniStore::LoadFromFile(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  std::string_view text = bytes;
  text = text.substr(0, text.find(kEndOfText));
  std::string section;
  std::string line;
  while (!text.empty()) {
    auto lf = text.find('\n');
    std::string_view piece = text.substr(0, lf);
    text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    line.clear();
    for (char c : piece)
      if (c != '\r') line.push_back(c);
    LoadLine(line, section);
  }
}

void TIniStore::LoadFromStream(TStream& stream) {
  Clear();
  TTextStream text(stream);
  std::string section;
  std::string line;
  while (!text.EndOfStream()) {
    text.ReadLine(line);
    LoadLine(line, section);
  }
}

void TIniStore::RebuildIndex() {
  FIndex.clear();
  for (std::size_t i = 0; i < FEntries.size(); ++i) FIndex[std::string(NameOf(FEntries[i]))] = i;
}

void TIniStore::SaveToFile(const std::string& path) {
  std::stable_sort(FEntries.begin(), FEntries.end(), LessIgnoringCase);
  RebuildIndex();
  WriteFileSafely(path, [this](TFileWriter& out) {
    static constexpr std::string_view kEol = "\r\n";
    bool sectionOpen = false;
    std::string_view current;
    for (const std::string& entry : FEntries) {
      if (!FitsOnOneLine(entry)) continue;
      std::string_view whole = entry;
      std::string_view name = NameOf(whole);
      std::string_view value = name.size() < whole.size() ? whole.substr(name.size() + 1) : "";
      auto dot = name.find('.');
      std::string_view section = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
      std::string_view key = dot == std::string_view::npos ? name : name.substr(dot + 1);
      if (!sectionOpen || section != current) {
        if (sectionOpen) out.Write(kEol);
        sectionOpen = true;
        current = section;
        out.Write("[");
        out.Write(section);
        out.Write("]");
        out.Write(kEol);
      }
      out.Write(key);
      out.Write("=");
      out.Write(value);
      out.Write(kEol);
    }
    out.Write(kEol);
  });
}
