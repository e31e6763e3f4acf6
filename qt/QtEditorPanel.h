#pragma once

// The panel holding one editor window per open document, each filling the
// panel; only the current one is shown. With none shown the panel paints its
// caption in the middle and shows its footer at the bottom centre.

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
  // A child widget kept at its own size at the bottom centre, under the
  // document windows.
  void SetFooter(QWidget* footer);
  // The window shown now, or none.
  QtEditorWindow* VisibleWindow() const;

  EditorWindow* AddWindow(TAdvancedEditor& editor) override;
  void RemoveWindow(EditorWindow* window) override;
  void ShowWindow(EditorWindow* window, bool visible) override;
  bool MainWindowVisible() const override;
  void PrepareFont(const FontSpec& font) override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<QtEditorWindow*> windows_;  // children of the panel
  QString caption_;
  QFont captionFont_;
  QColor captionColor_;
  QWidget* footer_ = nullptr;
  void PlaceFooter();
};

}  // namespace platform
