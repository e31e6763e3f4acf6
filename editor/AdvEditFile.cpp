// TAdvancedEditor: reading and writing the document file.

#include "editor/AdvEdit.h"

void TAdvancedEditor::LoadText(const std::string& fileName) {
  bool ascii = false;
  TTextBuffer bytes = ReadFileBuffer(fileName, &ascii);
  std::size_t cells = bytes.Size();
  std::optional<TCellTable> utf8;
  if (!ascii) utf8 = TCellTable::FromUtf8(bytes.Data(), cells);
  if (utf8) bytes.Shrink(cells);
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
  Lines->Changed();
}

void TAdvancedEditor::SaveText(const std::string& fileName, const std::function<bool()>& unchanged) const {
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
