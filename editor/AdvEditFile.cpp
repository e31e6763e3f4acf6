// TAdvancedEditor: reading and writing the document file.

#include "editor/AdvEdit.h"

void TAdvancedEditor::LoadText(const std::string& fileName) {
  bool ascii = false;
  TAdvLines::TReadText read = Lines->ReadText(fileName, &ascii);
  TTextBuffer& bytes = read.Bytes;
  const TFileEncoding encoding = FileEncodingOf(bytes.View(), ascii);
  if (encoding.ByteOrderMark) bytes.DropFront(kByteOrderMark.size());
  const auto readBytes = static_cast<std::int64_t>(bytes.Size());
  TFileFormat format;
  TLinesAsRead asRead;
  if (keepFileFormat_) format = ReadFileFormat(bytes.View(), TabWidth, asRead);
  // As the store's own load: the text is replaced while the counter is held
  // (no caret reset, no repaint), then one notification follows. The lines
  // enter in their encoding.
  const TTextEncoding was = encoding_;
  encoding_ = encoding.Encoding;
  ++UpdateCount;
  try {
    Lines->SetTextStr(std::move(read));
  } catch (...) {
    --UpdateCount;
    encoding_ = was;
    throw;
  }
  --UpdateCount;
  byteOrderMark_ = encoding.ByteOrderMark;
  // Every line followed by CR LF and no TAB: the text is the file.
  format.Foreign = Lines->TabsExpanded() || Lines->TextLength() != readBytes;
  for (auto& [line, kept] : asRead) Lines->SetAsRead(line, std::move(kept));
  FileFormat = format;
  Lines->Changed();
}

void TAdvancedEditor::SaveText(const std::string& fileName, const std::function<bool()>& unchanged) const {
  // The text is the file's bytes in either encoding; a UTF-8 document's
  // byte-order mark goes before it.
  const bool mark = Utf8() && byteOrderMark_;
  if (keepFileFormat_ && FileFormat.Kept) {
    WriteFileSafely(
        fileName,
        [this, mark](TFileWriter& out) {
          if (mark) out.Write(kByteOrderMark);
          const int count = Lines->Count();
          int index = 0;
          auto write = [&out](std::string_view piece) { out.Write(piece); };
          Lines->ForEachLineAsRead([&](std::string_view text, const TLineAsRead* asRead) {
            WriteKeptLine(text, asRead, ++index == count, FileFormat, write);
          });
        },
        unchanged);
    return;
  }
  if (!mark) {
    Lines->SaveToFile(fileName, unchanged);
    return;
  }
  WriteFileSafely(
      fileName,
      [this](TFileWriter& out) {
        out.Write(kByteOrderMark);
        Lines->ForEachLineView(0, Lines->Count(), [&out](std::string_view line) {
          out.Write(line);
          out.Write("\r\n");
          return true;
        });
      },
      unchanged);
}

void TAdvancedEditor::TextSaved() {
  if (keepFileFormat_ && FileFormat.Kept) return;
  FileFormat = TFileFormat();
  Lines->DropAsRead();
}
