#pragma once

// The panel holding one editor window per open document, each filling the
// panel; only the current one is shown. With none shown the panel paints its
// caption in the middle.

#include <QFont>
#include <QFrame>
#include <QString>
#include <vector>

#include "platform/EditorPanel.h"

namespace platform {

class QtEditorWindow;

class QtEditorPanel : public QFrame, public EditorPanel {
 public:
  explicit QtEditorPanel(QWidget* parent = nullptr);
  ~QtEditorPanel() override;

  void SetCaption(const QString& caption, const QFont& font, const QColor& color);
  // The window shown now, or none.
  QtEditorWindow* VisibleWindow() const;

  EditorWindow* AddWindow(TAdvancedEditor& editor) override;
  void RemoveWindow(EditorWindow* window) override;
  void ShowWindow(EditorWindow* window, bool visible) override;
  bool MainWindowVisible() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<QtEditorWindow*> windows_;  // children of the panel
  QString caption_;
  QFont captionFont_;
  QColor captionColor_;
};

}  // namespace platform
