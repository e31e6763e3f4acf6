#pragma once

// TEditManager: the open documents. Every document is its own TSourceEditor
// in a window of the main window's editing panel; only the current one is
// visible. A spare editor without a window is current while no document is
// open, so that commands always have a target.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "highlight/source_editor.h"
#include "platform/EditorPanel.h"

class TEditManager {
 public:
  explicit TEditManager(platform::EditorPanel* panel);
  ~TEditManager();
  TEditManager(const TEditManager&) = delete;
  TEditManager& operator=(const TEditManager&) = delete;

  int Count() const { return static_cast<int>(FEditors.size()); }
  TSourceEditor& Current() const { return *FCurrent; }
  int CurrentIndex() const { return FCurrentIndex; }
  TSourceEditor& Editor(int index) const { return *FEditors[static_cast<std::size_t>(index)]; }
  bool IsSpare(const TSourceEditor& editor) const { return &editor == FSpareEditor.get(); }
  // The index of an open document; -1 for any other editor.
  int IndexOf(const TSourceEditor& editor) const;

  // A new, empty document, made current.
  TSourceEditor& CreateEditor();
  // A document for the name: the file's text when it exists, else one empty
  // line. A file that exists but cannot be read leaves no document behind.
  void Open(const std::string& fileName);
  void Close(int index);
  void Select(int index);
  void Reload();
  void SaveAll();
  // Gives the current document the keyboard focus (never the spare editor).
  void FocusCurrent();

  std::function<void(TEditManager&)> OnChange;
  std::function<void(TSourceEditor&)> OnEditorCreated;
  // Fired for every document editor just before it is freed.
  std::function<void(TSourceEditor&)> OnEditorClosing;
  // Fired when Open has read a document's file.
  std::function<void(TSourceEditor&)> OnFileRead;

  // The gutter width of the document look.
  static constexpr int kGutterWidth = 20;
  // The fixed look of document editors.
  static void ApplyDocumentLook(TAdvancedEditor& editor);
  // The font every document is shown in.
  static platform::FontSpec DocumentFont();

 private:
  void Changed() {
    if (OnChange) OnChange(*this);
  }
  platform::EditorWindow* WindowOf(int index) const { return windows_[static_cast<std::size_t>(index)]; }

  platform::EditorPanel* FPanel;
  std::unique_ptr<TSourceEditor> FSpareEditor;
  TSourceEditor* FCurrent;
  std::vector<std::unique_ptr<TSourceEditor>> FEditors;
  std::vector<platform::EditorWindow*> windows_;  // the panel's window of every document
  int FCurrentIndex = -1;
};
