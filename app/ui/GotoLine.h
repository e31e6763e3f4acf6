#pragma once

// TGotoLineForm: the small Go to line dialog. It takes a line number and an
// optional ":column"; Return accepts it when it reads as one.

#include <QDialog>

class QLineEdit;

class TGotoLineForm : public QDialog {
 public:
  // `lineCount`: the lines of the document, told in the label.
  TGotoLineForm(QWidget* parent, int lineCount);
  QLineEdit* Field() const { return field_; }
  // What was accepted: the line (from 1) and the column (from 1, 0 = none).
  int Line() const { return line_; }
  int Column() const { return column_; }

  void accept() override;

 private:
  QLineEdit* field_ = nullptr;
  int line_ = 0, column_ = 0;
};
