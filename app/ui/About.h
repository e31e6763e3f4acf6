#pragma once

// The about box, and the link label it shares with the main window.

#include <QDialog>
#include <QLabel>
#include <functional>

class QPushButton;
class TGradientPanel;

// The maker's web page, shown by the about box and the main window.
inline constexpr char kMakerURL[] = "https://quorvel.example/";

// A label that acts as a link: blue, underlined, a hand cursor, and a click
// (pressed and released over it with the left button) fires OnClick.
class TLinkLabel : public QLabel {
 public:
  explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);

  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool FPressed = false;
};

class TAboutForm : public QDialog {
 public:
  explicit TAboutForm(QWidget* parent = nullptr);

  // Opens the maker's web page.
  void Label3Click();

  TGradientPanel* Background() const { return FBackground; }
  TLinkLabel* Label3() const { return FLink; }
  QPushButton* OKButton() const { return FOK; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TGradientPanel* FBackground;
  TLinkLabel* FLink;
  QPushButton* FOK;
};
