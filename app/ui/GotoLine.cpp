#include "app/ui/GotoLine.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/EditSearch.h"

TGotoLineForm::TGotoLineForm(QWidget* parent, int lineCount) : QDialog(parent) {
  setWindowTitle("Go to line");
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QString("&Line (1 to %1), optionally followed by \":column\":").arg(lineCount), this);
  field_ = new QLineEdit(this);
  label->setBuddy(field_);
  layout->addWidget(label);
  layout->addWidget(field_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("&Go");
  connect(buttons, &QDialogButtonBox::accepted, this, &TGotoLineForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TGotoLineForm::reject);
  layout->addWidget(buttons);
}

void TGotoLineForm::accept() {
  if (!ParseLineColumn(field_->text().toStdString(), line_, column_)) {
    QApplication::beep();
    field_->selectAll();
    return;
  }
  QDialog::accept();
}
