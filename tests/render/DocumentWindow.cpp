#include "tests/render/DocumentWindow.h"

#include <QMessageBox>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "app/EditMgr.h"
#include "editor/AdvEdit.h"
#include "qt/QtEditorWindow.h"

DocumentWindow::DocumentWindow(const std::string& fileName) : editor_(std::make_unique<TAdvancedEditor>()) {
  TEditManager::ApplyDocumentLook(*editor_);
  std::error_code ignored;
  if (!fileName.empty() && std::filesystem::exists(fileName, ignored)) {
    try {
      editor_->Lines->LoadFromFile(fileName);
    } catch (const std::exception& e) {
      QMessageBox::critical(nullptr, "Quorvel", QString::fromLocal8Bit(e.what()));
    }
  }
  if (editor_->Lines->Count() == 0) editor_->Lines->Add("");
  editor_->Modified = false;

  view_ = new platform::QtEditorWindow(*editor_, this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  setFocusProxy(view_);
  setWindowTitle(QString::fromLocal8Bit(fileName.empty() ? "Quorvel" : fileName.c_str()));
  resize(800, 600);
  view_->setFocus();
}

DocumentWindow::~DocumentWindow() {
  // The window detaches from the editor, so it goes first.
  delete view_;
}
