#pragma once

// A window showing one document in an editing control, with the look of
// the application's documents: the host of the Qt window tests.

#include <QWidget>
#include <memory>
#include <string>

class TAdvancedEditor;

namespace platform {
class QtEditorWindow;
}

class DocumentWindow : public QWidget {
 public:
  // Opens `fileName`; a name of no existing file (or none) gives an empty
  // document, a file that cannot be read an empty document and a message.
  explicit DocumentWindow(const std::string& fileName);
  ~DocumentWindow() override;

  TAdvancedEditor& Editor() const { return *editor_; }
  platform::QtEditorWindow& View() const { return *view_; }

 private:
  std::unique_ptr<TAdvancedEditor> editor_;
  platform::QtEditorWindow* view_ = nullptr;  // a child; freed before the editor
};
