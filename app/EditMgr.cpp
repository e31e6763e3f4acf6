#include "app/EditMgr.h"

#include <sys/stat.h>

#include "platform/EditorWindow.h"

TEditManager::TEditManager(platform::EditorPanel* panel)
    : FPanel(panel), FSpareEditor(std::make_unique<TSourceEditor>()), FCurrent(FSpareEditor.get()) {
  if (FPanel) FPanel->PrepareFont(DocumentFont());
}

platform::FontSpec TEditManager::DocumentFont() { return {"Courier New", 12, platform::fontstyle::Bold, 0x000000}; }

TEditManager::~TEditManager() {
  while (Count() > 0) Close(0);
}

void TEditManager::ApplyDocumentLook(TAdvancedEditor& editor) {
  editor.SetColor(0xC0C0C0);
  editor.SetEditorFont(DocumentFont());
  editor.SetSelColors(0x999999, 0x000000);
  editor.SetMarginColor(0x808080);
  editor.SetBorderStyle(0);
  editor.SetGutterWidth(kGutterWidth);
  editor.SetGutterColor(0xC0C0C0);
}

TSourceEditor& TEditManager::CreateEditor() {
  auto editor = std::make_unique<TSourceEditor>();
  platform::EditorWindow* window = FPanel ? FPanel->AddWindow(*editor) : nullptr;
  if (window) editor->AttachWindow(window);
  ApplyDocumentLook(*editor);
  if (OnEditorCreated) OnEditorCreated(*editor);
  FEditors.push_back(std::move(editor));
  windows_.push_back(window);
  FCurrent = FEditors.back().get();
  if (FPanel && window) FPanel->ShowWindow(window, true);
  Changed();
  return *FCurrent;
}

void TEditManager::Open(const std::string& fileName) {
  TSourceEditor& editor = CreateEditor();
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) {
    try {
      editor.LoadFile(fileName);
    } catch (...) {
      // Nothing of the failed document stays open.
      Close(Count() - 1);
      throw;
    }
    if (OnFileRead) OnFileRead(editor);
  } else {
    editor.StartEmpty(fileName);
  }
  Select(Count() - 1);
  Changed();
}

int TEditManager::IndexOf(const TSourceEditor& editor) const {
  for (int i = 0; i < Count(); ++i)
    if (FEditors[static_cast<std::size_t>(i)].get() == &editor) return i;
  return -1;
}

void TEditManager::Select(int index) {
  FCurrentIndex = index >= 0 && index < Count() ? index : -1;
  if (FCurrentIndex < 0) {
    FCurrent = FSpareEditor.get();
  } else {
    FCurrent = FEditors[static_cast<std::size_t>(index)].get();
    if (FPanel && WindowOf(index)) {
      FPanel->ShowWindow(WindowOf(index), true);
      if (FPanel->MainWindowVisible()) WindowOf(index)->TakeFocus();
    }
  }
  for (int i = 0; i < Count(); ++i)
    if (FPanel && WindowOf(i)) FPanel->ShowWindow(WindowOf(i), i == FCurrentIndex);
}

void TEditManager::Close(int index) {
  if (index < 0 || index >= Count()) return;
  if (FPanel && FCurrentIndex >= 0 && WindowOf(FCurrentIndex)) FPanel->ShowWindow(WindowOf(FCurrentIndex), false);
  platform::EditorWindow* window = WindowOf(index);
  FCurrent = FSpareEditor.get();
  if (OnEditorClosing) OnEditorClosing(*FEditors[static_cast<std::size_t>(index)]);
  // The window goes first: it refers to its editor until it is destroyed.
  FEditors[static_cast<std::size_t>(index)]->AttachWindow(nullptr);
  if (FPanel && window) FPanel->RemoveWindow(window);
  FEditors.erase(FEditors.begin() + index);
  windows_.erase(windows_.begin() + index);
  if (Count() > 0) {
    Select(std::min(index, Count() - 1));
  } else {
    Select(-1);
  }
  Changed();
}

void TEditManager::Reload() {
  FCurrent->Reload();
  Changed();
}

void TEditManager::SaveAll() {
  for (auto& editor : FEditors) editor->Save();
}

void TEditManager::FocusCurrent() {
  if (FCurrentIndex < 0 || !WindowOf(FCurrentIndex)) return;
  WindowOf(FCurrentIndex)->TakeFocus();
}
