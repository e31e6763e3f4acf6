// TAdvancedEditor: what its document (AdvDocument.h) reaches of it while it
// reads a file into the text.

#include "editor/AdvEdit.h"

void TAdvancedEditor::HoldViewWhile(const std::function<void()>& assign) {
  // As the store's own load: the text is replaced while the counter is held
  // (no caret reset, no repaint); the document's notification follows.
  ++UpdateCount;
  try {
    assign();
  } catch (...) {
    --UpdateCount;
    throw;
  }
  --UpdateCount;
}
