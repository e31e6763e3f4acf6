#pragma once

// TAdvEditCompletionList: the completion pop-up as a Qt list. A frameless
// top-level window with a thin border that floats above everything and never
// takes the keyboard focus from the editor. Items are owner-drawn; the mouse
// selects (dragging past an edge scrolls), releasing the button inside the
// list accepts the selection, and the application losing activation closes
// the list without accepting.

#include <QListWidget>
#include <QTimer>

#include "platform/CompletionList.h"

class QPainter;

class TAdvEditCompletionList : public QListWidget, public platform::CompletionList {
 public:
  TAdvEditCompletionList();
  ~TAdvEditCompletionList() override;

  // ---- platform::CompletionList ----
  void SetItems(int mode, std::vector<platform::CompletionItem> items) override;
  int Count() const override { return static_cast<int>(items_.size()); }
  int ItemIndex() const override { return index_; }
  void SetItemIndex(int index) override;
  int ItemHeight() const override { return itemHeight_; }
  void SetItemHeight(int height) override;
  void SetStyle(platform::ListBoxStyle style) override;
  void SetDrawItem(DrawItemEvent event) override { drawItem_ = std::move(event); }
  void SetMeasureItem(MeasureItemEvent event) override { measureItem_ = std::move(event); }
  void ShowAt(const platform::Rect& bounds) override;
  void Hide() override;
  bool Visible() const override { return isVisible(); }
  void KeyPress(platform::ListKey key) override;

  // Left margin of an item's text, and the gap right of a template's name.
  static constexpr int kTextMargin = 3, kNameMargin = 6;

  // Drawing of one item (the draw event's, or the list's own) and its height.
  void PaintItem(QPainter& painter, const QRect& rect, int index);
  int HeightOf(int index) const;
  // The scroll timer's interval while it runs, else 0.
  int ScrollInterval() const { return scrollTimer_.isActive() ? scrollTimer_.interval() : 0; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void SelectAt(const QPoint& viewportPos);
  void ScrollTick();
  void Cancel();

  std::vector<platform::CompletionItem> items_;
  int mode_ = 0;
  int index_ = -1;
  int itemHeight_ = 13;
  platform::ListBoxStyle style_ = platform::ListBoxStyle::OwnerDrawFixed;
  DrawItemEvent drawItem_;
  MeasureItemEvent measureItem_;
  QTimer scrollTimer_;
  int scrollDirection_ = 0;  // -1 up, +1 down
};

// Makes TCompletion's pop-up lists Qt lists. Call once at start-up, after the
// QApplication exists.
void InstallQtCompletionList();
