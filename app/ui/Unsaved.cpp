#include "app/ui/Unsaved.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

TUnsavedForm::TUnsavedForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Unsaved changes");
  QFont dialogFont("MS Sans Serif");
  dialogFont.setPixelSize(11);
  setFont(dialogFont);
  setFixedSize(485, 330);

  FLabel = new QLabel("You have changed files and did not save them:", this);
  QFont labelFont("Arial");
  labelFont.setPixelSize(15);
  labelFont.setBold(true);
  FLabel->setFont(labelFont);
  FLabel->setGeometry(16, 10, 453, 20);

  FFiles = new QListWidget(this);
  FFiles->setGeometry(16, 36, 453, 241);

  FSaveAll = new QPushButton("Save All and Exit", this);
  FSaveAll->setGeometry(16, 290, 140, 27);
  FDiscard = new QPushButton("Discard changes and Exit", this);
  FDiscard->setGeometry(164, 290, 165, 27);
  FReturn = new QPushButton("Return to editor", this);
  FReturn->setGeometry(337, 290, 132, 27);

  connect(FSaveAll, &QPushButton::clicked, this, [this] { done(mrYes); });
  connect(FDiscard, &QPushButton::clicked, this, [this] { done(mrNo); });
  connect(FReturn, &QPushButton::clicked, this, [this] { reject(); });
}

void TUnsavedForm::SetFiles(const std::vector<std::string>& fileNames) {
  FFiles->clear();
  // File names are the file system's bytes, shown as the tabs and the caption show them.
  for (const std::string& name : fileNames)
    FFiles->addItem(QFile::decodeName(QByteArray::fromStdString(name)));
}

void TUnsavedForm::showEvent(QShowEvent* event) {
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}
