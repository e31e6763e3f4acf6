#pragma once

// The program's settings: a flat list of "Section.Key=value" entries, loaded
// from an INI file (or the built-in defaults) and written back at exit.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "editor/TextEscape.h"

class TStream;

class TIniStore {
 public:
  // The raw value. An absent setting, or one with an empty value, is entered
  // with an empty value, so that the next saved file lists it.
  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  // True exactly when the value is "1".
  bool ReadBool(const std::string& name);
  // The same for a setting the program adds: an absent one reads as false
  // and is not entered, so that the file changes only once it is written.
  bool PeekBool(const std::string& name) const;
  void WriteBool(const std::string& name, bool value);
  // The value as a signed decimal number; 0 when it is not one.
  int ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, int value);
  // A value that may hold TAB, LF, CR and backslash, stored escaped.
  std::string ReadText(const std::string& name);
  void WriteText(const std::string& name, const std::string& value);

  // Splits "name=value" at the first "=" and writes it; a line without "=" is ignored.
  void AddEntry(const std::string& line);
  void Clear();
  int Count() const { return static_cast<int>(FEntries.size()); }

  // Adds the entries of an INI file to those held. Throws EFileError.
  void LoadFromFile(const std::string& path);
  // Replaces the entries with those of the INI text in `stream`.
  void LoadFromStream(TStream& stream);
  // Writes the entries, sorted, as an INI file. The new file is written
  // beside the old one and renamed over it, so a failed save keeps the old
  // file. Throws EFileError.
  void SaveToFile(const std::string& path);

 private:
  void LoadLine(std::string_view line, std::string& section);
  void RebuildIndex();

  std::vector<std::string> FEntries;  // "name=value", unsorted until saved
  // Name -> position in FEntries of the last entry with that name.
  std::unordered_map<std::string, std::size_t> FIndex;
};

