// TAdvancedEditor: reading and writing the document file.

#include "editor/AdvEdit.h"

void TAdvancedEditor::LoadText(const std::string& fileName) {
  TTextBuffer bytes = ReadFileBuffer(fileName);
  std::optional<TCellTable> utf8 = TCellTable::ForUtf8Text(bytes.View());
  if (utf8) bytes.Shrink(utf8->ToCells(bytes.Data(), bytes.Size()));
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

void TAdvancedEditor::SaveText(const std::string& fileName) const {
  if (!Cells.Utf8()) {
    Lines->SaveToFile(fileName);
    return;
  }
  WriteFileSafely(fileName, [this](TFileWriter& out) {
    std::string line;
    const int count = Lines->Count();
    for (int i = 0; i < count; ++i) {
      line.clear();
      Cells.AppendUtf8(Lines->LineView(i), line);
      line += "\r\n";
      out.Write(line);
    }
  });
}
