#include "app/ui/About.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include "app/Kernel.h"
#include "widgets/Artwork.h"
#include "widgets/gradient_panel.h"

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QPalette blue = palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(blue);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FPressed = true;
  QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mouseReleaseEvent(event);
  bool click = FPressed && rect().contains(event->position().toPoint());
  FPressed = false;
  QLabel::mouseReleaseEvent(event);
  if (click && OnClick) OnClick();
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Quorvel Editor for PHP");
  QFont dialogFont("MS Sans Serif");
  dialogFont.setPixelSize(11);
  setFont(dialogFont);
  setFixedSize(309, 116);

  FBackground = new TGradientPanel(this);
  FBackground->setGeometry(rect());
  FBackground->SetHiColor(0xFFFFFF);
  FBackground->SetLoColor(0xC0C0C0);

  auto* icon = new QLabel(FBackground);
  icon->setPixmap(QPixmap::fromImage(artwork::ProgramImage(32)));
  icon->setGeometry(12, 14, 32, 32);

  auto* title = new QLabel("Quorvel Editor for PHP", FBackground);
  QFont titleFont("Tahoma");
  titleFont.setPixelSize(19);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->setGeometry(52, 10, 254, 24);

  auto* version = new QLabel("Version 1.1", FBackground);
  version->setGeometry(54, 36, 200, 16);

  FLink = new TLinkLabel(kMakerURL, FBackground);
  QFont linkFont("Tahoma");
  linkFont.setPixelSize(11);
  linkFont.setBold(true);
  linkFont.setUnderline(true);
  FLink->setFont(linkFont);
  FLink->adjustSize();
  FLink->move(54, 60);
  FLink->OnClick = [this] { Label3Click(); };

  FOK = new QPushButton("OK", FBackground);
  FOK->setGeometry(222, 82, 75, 25);
  FOK->setDefault(true);
  connect(FOK, &QPushButton::clicked, this, [this] { accept(); });
}

void TAboutForm::Label3Click() {
  if (App) App->OpenURL(kMakerURL);
}

void TAboutForm::showEvent(QShowEvent* event) {
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}
