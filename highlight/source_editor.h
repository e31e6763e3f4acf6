#pragma once

// TSourceEditor: the editing control of one document. It colours the text
// with the highlighter its file extension names (the extension table), and
// gives the document's file (TAdvDocument: name, stamp, modified flag, load
// and save) the names and operations the application uses.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editor/AdvEdit.h"
#include "highlight/SyntaxHL.h"

class TSourceEditor : public TAdvancedEditor {
 public:
  TSourceEditor();
  ~TSourceEditor() override;

  std::unique_ptr<TSyntaxHighLight> Highlighter;
  // The document's file name (as given; a relative name stays relative),
  // modified flag and disk stamp (Missing for a document whose file does not
  // exist yet), under the editor's names for them.
  std::string& FileName = Document->FileName;
  bool& FileModified = Document->FileModified;
  TFileStamp& DiskStamp = Document->DiskStamp;
  // Hears of every change of the text, after the line store changed.
  std::function<void(TSourceEditor&, const TLinesChange&)> OnTextChanged;

  // Loads the file and picks the highlighter by its extension. On failure
  // FileName already holds the new name; text and highlighter stay.
  void LoadFile(const std::string& name);
  void Reload() { LoadFile(FileName); }
  // The document's Save, SaveUnlessChanged and SaveAs (AdvDocument.h).
  void Save() { Document->Save(); }
  void SaveUnlessChanged() { Document->SaveUnlessChanged(); }
  void SaveAs(const std::string& name) { Document->SaveAs(name); }
  // Selects the next occurrence of `text`, without regard to case, from the
  // line after the caret's row on; without one the caret goes to the top.
  void FindNext(const std::string& text);
  void SetHighlighting(bool on);
  // A new document named `fileName` (a file that does not exist yet): one
  // empty line, not modified.
  void StartEmpty(const std::string& fileName);
  // Restores a document kept in a journal, as one change: `restoreText`
  // writes the text into the line store, TABs entering it at `readTabWidth`
  // (the width the text was read with); the document then has the file
  // name, encoding, file format and disk stamp given, the highlighter its name picks,
  // no undo history, and counts as modified.
  void Restore(const std::string& fileName, TTextEncoding encoding, bool byteOrderMark, TFileFormat format,
               const TFileStamp& stamp, int readTabWidth, const std::function<void(TAdvLines&)>& restoreText);
  // The file was deleted from the disk: the text is all that is left of it.
  void FileDeleted() { FileModified = true; }
  // Replaces the highlighter by the one FileName's extension names (none for
  // other files) and switches it on.
  void ChooseHighlighter();

  void ChangeNotification() override;
  TColourKey LineColourKey(int line) override;

 protected:
  void HighlighterHears(const TLinesChange& change) override;
  void JournalHears(const TLinesChange& change) override;

 public:
  // The highlighter for a file name, by its extension; none for other files.
  static std::unique_ptr<TSyntaxHighLight> HighlighterFor(const std::string& fileName, TAdvLines& lines);
};
