#pragma once

// TAdvDocument: an editor's text as a file. It knows the file the text came
// from and goes to (its name as given and what the file was on disk when it
// was last read or written), whether the text changed since, how the
// file's bytes are characters (encoding, byte-order mark) and what the file
// looked like beyond its text (line ends, TABs: its format). It reads a
// file into the line store and writes the line store back: the whole road
// from bytes on disk to lines and back, through FileIO, lives here.
//
// The lines themselves are the editor's store (AdvLines.h), written only by
// the editor's edit transaction (AdvEdit.h), which also tells the document
// of every change (the modified flag). The document finds text in them
// without regard to case, for the editor to select.

#include <cstdint>
#include <functional>
#include <string>

#include "editor/LineFormat.h"
#include "editor/TextEncoding.h"

class TAdvLines;

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

// What a document reaches of the editor that holds it.
class TDocumentHost {
 public:
  virtual ~TDocumentHost() = default;
  // Spaces that replace one TAB entering the text.
  virtual int GetTabWidth() const = 0;
  // Runs `assign`, which replaces the whole text with a file's, with the view
  // held: its caret is not reset and nothing is painted until the store's
  // own notification that follows.
  virtual void HoldViewWhile(const std::function<void()>& assign) = 0;
};

class TAdvDocument {
 public:
  TAdvDocument(TAdvLines& lines, TDocumentHost& host);
  TAdvDocument(const TAdvDocument&) = delete;
  TAdvDocument& operator=(const TAdvDocument&) = delete;

  // ---- the file ----
  std::string FileName;  // as given; a relative name stays relative
  // The file as it was when the text was last loaded from it or saved to
  // it; Missing for a document whose file does not exist yet.
  TFileStamp DiskStamp;
  // The text was changed since the last load or save.
  bool FileModified = false;

  // ---- encoding and format ----
  TTextEncoding Encoding() const { return encoding_; }
  // The encoding as a field, for the editor's character stepping to read.
  const TTextEncoding& EncodingField() const { return encoding_; }
  bool Utf8() const { return encoding_ == TTextEncoding::Utf8; }
  // Sets how the bytes are read; the lines whose rows may now end elsewhere
  // are cut into rows again.
  void SetEncoding(TTextEncoding encoding);
  bool ByteOrderMark() const { return byteOrderMark_; }
  void SetByteOrderMark(bool on) { byteOrderMark_ = on; }
  bool KeepFileFormat() const { return keepFileFormat_; }
  void SetKeepFileFormat(bool on) { keepFileFormat_ = on; }
  // What the file looked like beyond its text when it was read.
  TFileFormat FileFormat;
  // Whether the next save writes line ends or TABs other than the file had.
  bool SaveRewritesFormat() const { return FileFormat.Foreign && !(keepFileFormat_ && FileFormat.Kept); }

  // ---- bytes to lines and back ----
  // Reads a file into the text with its encoding (FileEncodingOf): a UTF-8
  // document as its UTF-8 bytes (a byte-order mark kept apart), any other
  // file's bytes unchanged; keeping its format, when asked, as FileFormat.
  // Throws EFileError; the text and encoding stay then. With `stamp`, the
  // file as it was when it was opened, before its first byte was read.
  void ReadText(const std::string& fileName, TFileStamp* stamp = nullptr);
  // Writes the text in the encoding and format it was read in (without a
  // kept format: every line followed by CR LF). `unchanged` as for
  // WriteFileSafely. Throws EFileError; the file stays as it was then.
  void WriteText(const std::string& fileName, const std::function<bool()>& unchanged = nullptr) const;
  // After the text was written: a document not written in its file's format
  // now has the one of CR LF and no TABs, and forgets the bytes as read.
  void TextWritten();

  // ---- the file and the text together ----
  // FileName := name, then the file's text, not modified, with the stamp
  // of the file read. On failure FileName already holds the new name; the
  // text stays.
  void Load(const std::string& name);
  // Writes the text to FileName, creating the file when it does not exist.
  // On failure FileModified stays as it was.
  void Save();
  // As Save, unless another program changed, replaced or made the file
  // since DiskStamp: that is looked at right before the file would be
  // replaced, and throws EFileChanged with the file left as it is.
  void SaveUnlessChanged();
  // Writes the text to `name`, which becomes FileName once it is written.
  // On failure FileName and FileModified stay as they were.
  void SaveAs(const std::string& name);

  // ---- finding ----
  // The first occurrence of `text`, without regard to case (the code page's
  // case table, or Unicode's in a UTF-8 document), in the lines from `from`
  // on, each line searched alone: its flat offset, and its length in
  // `length`; -1 when there is none. An empty text is never found.
  std::int64_t FindText(const std::string& text, int from, std::size_t& length) const;

 private:
  TAdvLines& lines_;
  TDocumentHost& host_;
  TTextEncoding encoding_ = TTextEncoding::Windows1252;
  bool byteOrderMark_ = false;
  bool keepFileFormat_ = false;
};
