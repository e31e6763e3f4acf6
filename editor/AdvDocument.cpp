// TAdvDocument: the file's identity, and the road from its bytes to the
// lines and back.

#include "editor/AdvDocument.h"

#include <sys/stat.h>

#include <cerrno>

#include "editor/AdvLines.h"
#include "editor/FileIO.h"

namespace {

TFileStamp StampOf(const struct stat& st) {
  TFileStamp stamp;
  // What is there now is no document's file: the text is its last copy.
  if (!S_ISREG(st.st_mode)) return stamp;
  stamp.State = TFileStamp::TState::Present;
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  stamp.ModifiedSeconds = st.st_mtim.tv_sec;
  stamp.ModifiedNanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace

TFileStamp FileStampOf(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    TFileStamp stamp;
    stamp.State = errno == ENOENT || errno == ENOTDIR ? TFileStamp::TState::Missing : TFileStamp::TState::Unknown;
    return stamp;
  }
  return StampOf(st);
}

TAdvDocument::TAdvDocument(TAdvLines& lines, TDocumentHost& host) : lines_(lines), host_(host) {}

void TAdvDocument::SetEncoding(TTextEncoding encoding) {
  if (encoding_ == encoding) return;
  encoding_ = encoding;
  lines_.RewrapForEncoding();
}

// ---------------------------------------------------------------- bytes to lines and back

void TAdvDocument::ReadText(const std::string& fileName, TFileStamp* stamp) {
  bool ascii = false;
  struct stat opened {};
  TAdvLines::TReadText read = lines_.ReadText(fileName, &ascii, stamp ? &opened : nullptr);
  TTextBuffer& bytes = read.Bytes;
  const TFileEncoding encoding = FileEncodingOf(bytes.View(), ascii);
  if (encoding.ByteOrderMark) bytes.DropFront(kByteOrderMark.size());
  const auto readBytes = static_cast<std::int64_t>(bytes.Size());
  TFileFormat format;
  TLinesAsRead asRead;
  if (keepFileFormat_) format = ReadFileFormat(bytes.View(), host_.GetTabWidth(), asRead);
  // As the store's own load: the text is replaced while the view is held
  // (no caret reset, no repaint), then one notification follows. The lines
  // enter in their encoding.
  const TTextEncoding was = encoding_;
  encoding_ = encoding.Encoding;
  try {
    host_.HoldViewWhile([&] { lines_.SetTextStr(std::move(read)); });
  } catch (...) {
    encoding_ = was;
    throw;
  }
  byteOrderMark_ = encoding.ByteOrderMark;
  // Every line followed by CR LF and no TAB: the text is the file.
  format.Foreign = lines_.TabsExpanded() || lines_.TextLength() != readBytes;
  for (auto& [line, kept] : asRead) lines_.SetAsRead(line, std::move(kept));
  FileFormat = format;
  if (stamp) *stamp = StampOf(opened);
  lines_.Changed();
}

void TAdvDocument::WriteText(const std::string& fileName, const std::function<bool()>& unchanged) const {
  // The text is the file's bytes in either encoding; a UTF-8 document's
  // byte-order mark goes before it.
  const bool mark = Utf8() && byteOrderMark_;
  if (keepFileFormat_ && FileFormat.Kept) {
    WriteFileSafely(
        fileName,
        [this, mark](TFileWriter& out) {
          if (mark) out.Write(kByteOrderMark);
          const int count = lines_.Count();
          int index = 0;
          auto write = [&out](std::string_view piece) { out.Write(piece); };
          lines_.ForEachLineAsRead([&](std::string_view text, const TLineAsRead* asRead) {
            WriteKeptLine(text, asRead, ++index == count, FileFormat, write);
          });
        },
        unchanged);
    return;
  }
  if (!mark) {
    lines_.SaveToFile(fileName, unchanged);
    return;
  }
  WriteFileSafely(
      fileName,
      [this](TFileWriter& out) {
        out.Write(kByteOrderMark);
        lines_.ForEachLineView(0, lines_.Count(), [&out](std::string_view line) {
          out.Write(line);
          out.Write("\r\n");
          return true;
        });
      },
      unchanged);
}

void TAdvDocument::TextWritten() {
  if (keepFileFormat_ && FileFormat.Kept) return;
  FileFormat = TFileFormat();
  lines_.DropAsRead();
}

// ---------------------------------------------------------------- the file and the text together

void TAdvDocument::Load(const std::string& name) {
  FileName = name;
  // Taken when the file was opened, before the read: a change made while it
  // reads shows as a change.
  TFileStamp stamp;
  ReadText(name, &stamp);
  DiskStamp = stamp;
  FileModified = false;
}

void TAdvDocument::Save() {
  WriteText(FileName);
  TextWritten();
  DiskStamp = FileStampOf(FileName);
  FileModified = false;
}

void TAdvDocument::SaveUnlessChanged() {
  WriteText(FileName, [this] {
    const TFileStamp now = FileStampOf(FileName);
    return now.State != TFileStamp::TState::Present || now == DiskStamp;
  });
  TextWritten();
  DiskStamp = FileStampOf(FileName);
  FileModified = false;
}

void TAdvDocument::SaveAs(const std::string& name) {
  // The document takes the new name only once it has been written there.
  WriteText(name);
  TextWritten();
  FileName = name;
  DiskStamp = FileStampOf(name);
  FileModified = false;
}
