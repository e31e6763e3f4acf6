#pragma once

// TSourceEditor: the editing control of one document. It knows the file it
// shows, whether the text changed since it was loaded or saved, and colours
// the text with the highlighter its file extension names.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editor/AdvEdit.h"
#include "highlight/SyntaxHL.h"

// What a file is on disk: compared with what it was when it was loaded or
// saved, it tells whether another program changed, replaced or deleted it.
struct TFileStamp {
  enum class TState : std::uint8_t {
    Missing,  // no such file, or one that is no regular file (a folder, a pipe)
    Present,
    Unknown,  // the file could not be looked at (no permission, I/O error)
  };
  TState State = TState::Missing;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedSeconds = 0;
  std::int64_t ModifiedNanoseconds = 0;
  bool operator==(const TFileStamp&) const = default;
};

// The stamp of the file a name leads to (through symbolic links).
TFileStamp FileStampOf(const std::string& fileName);

class TSourceEditor : public TAdvancedEditor {
 public:
  TSourceEditor();
  ~TSourceEditor() override;

  std::unique_ptr<TSyntaxHighLight> Highlighter;
  std::string FileName;  // as given; a relative name stays relative
  bool FileModified = false;
  // The file as it was when the text was last loaded from it or saved to
  // it; Missing for a document whose file does not exist yet.
  TFileStamp DiskStamp;
  // Hears of every change of the text, after the line store changed.
  std::function<void(TSourceEditor&, const TLinesChange&)> OnTextChanged;

  // Loads the file and picks the highlighter by its extension. On failure
  // FileName already holds the new name; text and highlighter stay.
  void LoadFile(const std::string& name);
  void Reload() { LoadFile(FileName); }
  // Writes the text to FileName (CR LF after every line). On failure
  // FileModified stays as it was.
  void Save();
  // As Save, unless another program changed, replaced or made the file
  // since DiskStamp: that is looked at right before the file would be
  // replaced, and throws EFileChanged with the file left as it is.
  void SaveUnlessChanged();
  // Writes the text to `name`, which becomes FileName. On failure FileName
  // and FileModified stay as they were.
  void SaveAs(const std::string& name);
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
