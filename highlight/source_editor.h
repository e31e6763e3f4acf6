#pragma once

// TSourceEditor: the editing control of one document. It knows the file it
// shows, whether the text changed since it was loaded or saved, and colours
// the text with the highlighter its file extension names.

#include <memory>
#include <string>

#include "editor/AdvEdit.h"
#include "highlight/SyntaxHL.h"

class TSourceEditor : public TAdvancedEditor {
 public:
  TSourceEditor();
  ~TSourceEditor() override;

  std::unique_ptr<TSyntaxHighLight> Highlighter;
  std::string FileName;  // as given; a relative name stays relative
  bool FileModified = false;

  // Loads the file and picks the highlighter by its extension. On failure
  // FileName already holds the new name; text and highlighter stay.
  void LoadFile(const std::string& name);
  void Reload() { LoadFile(FileName); }
  // Writes the text to FileName (CR LF after every line). On failure
  // FileModified stays as it was.
  void Save();
  // Writes the text to `name`, which becomes FileName. On failure FileName
  // and FileModified stay as they were.
  void SaveAs(const std::string& name);
  // Selects the next occurrence of `text`, without regard to case, from the
  // line after the caret's row on; without one the caret goes to the top.
  void FindNext(const std::string& text);
  void SetHighlighting(bool on);

  void ChangeNotification() override;
  TColourKey LineColourKey(int line) override;

 protected:
  void TextChanged(const TLinesChange& change) override;

 public:
  // The highlighter for a file name, by its extension; none for other files.
  static std::unique_ptr<TSyntaxHighLight> HighlighterFor(const std::string& fileName, TAdvLines& lines);
};
