#pragma once

// A flat picture button with normal, hot (mouse over it), pressed and
// disabled looks. The picture holds the four looks as frames of equal height
// stacked vertically, in that order.

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

class TFlatButton : public QWidget {
 public:
  explicit TFlatButton(QWidget* parent = nullptr);

  // Fired by a completed left click: pressed and released over the button
  // while it is enabled.
  std::function<void(TFlatButton* sender)> OnClick;

  const QImage& BG() const { return FBG; }
  // Copies the picture and repaints; an empty image gives the plain look.
  void SetBG(const QImage& picture);
  bool BGTrans() const { return FBGTrans; }
  // Draws the picture over the parent's background, leaving out the
  // picture's transparent colour (that of its bottom-left pixel).
  void SetBGTrans(bool value);
  const QString& Text() const { return FText; }
  void SetText(const QString& text);
  // The tool tip.
  void SetHint(const QString& hint) { setToolTip(hint); }

  bool Hot() const { return FHot; }
  bool Down() const { return FDown; }

  // Height of one frame of a picture `pictureHeight` rows high.
  static int FrameHeight(int pictureHeight) { return (pictureHeight - 3) / 4 + 1; }
  // The frame shown now: 3 disabled, 2 pressed, 1 hot, 0 normal.
  int FrameIndex() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetHot(bool hot);
  void SetDown(bool down);
  void MouseLeft();
  void RebuildTransparent();

  QString FText;
  bool FHot = false;
  bool FDown = false;
  QImage FBG;
  QImage FTransparentBG;  // FBG with its transparent colour cleared, kept while BGTrans is set
  bool FBGTrans = false;
};
