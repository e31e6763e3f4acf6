// TAdvancedEditor: reading and writing the document file.

#include "editor/AdvEdit.h"

void TAdvancedEditor::LoadText(const std::string& fileName) {
  bool ascii = false;
  TTextBuffer bytes = ReadFileBuffer(fileName, &ascii);
  std::size_t cells = bytes.Size();
  std::optional<TCellTable> utf8;
  if (!ascii) utf8 = TCellTable::FromUtf8(bytes.Data(), cells);
  if (utf8) bytes.Shrink(cells);
  const auto readCells = static_cast<std::int64_t>(bytes.Size());
  TFileFormat format;
  TLinesAsRead asRead;
  if (keepFileFormat_) format = ReadFileFormat(bytes.View(), TabWidth, asRead);
  // As the store's own load: the text is replaced while the counter is held
  // (no caret reset, no repaint), then one notification follows.
  ++UpdateCount;
  try {
    Lines->SetTextStr(std::move(bytes));
  } catch (...) {
    --UpdateCount;
    throw;
  }
  --UpdateCount;
  Cells = utf8 ? std::move(*utf8) : TCellTable();
  // Every line followed by CR LF and no TAB: the text is the file.
  format.Foreign = Lines->TabsExpanded() || Lines->TextLength() != readCells;
  for (auto& [line, kept] : asRead) Lines->SetAsRead(line, std::move(kept));
  FileFormat = format;
  Lines->Changed();
}

void TAdvancedEditor::SaveText(const std::string& fileName, const std::function<bool()>& unchanged) const {
  if (keepFileFormat_ && FileFormat.Kept) {
    WriteFileSafely(
        fileName,
        [this](TFileWriter& out) {
          const int count = Lines->Count();
          int index = 0;
          if (!Cells.Utf8()) {
            auto write = [&out](std::string_view piece) { out.Write(piece); };
            Lines->ForEachLineAsRead([&](std::string_view text, const TLineAsRead* asRead) {
              WriteKeptLine(text, asRead, ++index == count, FileFormat, write);
            });
            return;
          }
          if (Cells.ByteOrderMark()) out.Write(kByteOrderMark);
          std::string line;
          auto append = [&](std::string_view piece) { Cells.AppendUtf8(piece, line); };
          Lines->ForEachLineAsRead([&](std::string_view text, const TLineAsRead* asRead) {
            line.clear();
            WriteKeptLine(text, asRead, ++index == count, FileFormat, append);
            out.Write(line);
          });
        },
        unchanged);
    return;
  }
  if (!Cells.Utf8()) {
    Lines->SaveToFile(fileName, unchanged);
    return;
  }
  WriteFileSafely(
      fileName,
      [this](TFileWriter& out) {
        if (Cells.ByteOrderMark()) out.Write(kByteOrderMark);
        std::string line;
        const int count = Lines->Count();
        for (int i = 0; i < count; ++i) {
          line.clear();
          Cells.AppendUtf8(Lines->LineView(i), line);
          line += "\r\n";
          out.Write(line);
        }
      },
      unchanged);
}

void TAdvancedEditor::TextSaved() {
  if (keepFileFormat_ && FileFormat.Kept) return;
  FileFormat = TFileFormat();
  Lines->DropAsRead();
}
