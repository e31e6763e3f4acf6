#include "app/DocumentWindow.h"

#include <QFontDatabase>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>

#include "editor/AdvLines.h"
#include "editor/FileIO.h"
#include "platform/qt/Codepage.h"

class DocumentOwner : public TAdvLinesOwner {
 public:
  bool GetWordWrap() const override { return false; }
  int GetWrapColumn() const override { return 80; }
  int& UpdateCounter() override { return updates_; }
  int GetColumnCapacity() const override { return capacity_; }
  void GrowColumnCapacity(int length) override { capacity_ = length + 1; }
  std::string ExpandTabs(std::string_view text) const override {
    std::string out;
    for (char c : text) {
      if (c == '\t') out.append(4, ' ');
      else out.push_back(c);
    }
    return out;
  }
  void LinesChanged() override {}
  void ClearUndo() override {}
  void ResetCaret() override {}
  platform::Point GetCaret() const override { return {}; }
  void RecordReLine(int, int, const std::string&) override {}
  int capacity_ = 512;

 private:
  int updates_ = 0;
};

DocumentWindow::DocumentWindow(const std::string& fileName)
    : owner_(std::make_unique<DocumentOwner>()), lines_(std::make_unique<TAdvLines>(owner_.get())) {
  QFont font("Courier New", 12);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
  if (!fileName.empty()) {
    try {
      lines_->LoadFromFile(fileName);
    } catch (const EFileError& e) {
      QMessageBox::critical(this, "Quorvel", QString::fromLocal8Bit(e.what()));
    }
  }
  if (lines_->Count() == 0) lines_->Add("");
  setWindowTitle(QString::fromLocal8Bit(fileName.empty() ? "Quorvel" : fileName.c_str()));
  resize(800, 600);
  UpdateBars();
}

DocumentWindow::~DocumentWindow() = default;

void DocumentWindow::UpdateBars() {
  int rows = viewport()->height() / std::max(1, fontMetrics().height());
  verticalScrollBar()->setRange(0, std::max(0, lines_->Count() - rows));
  verticalScrollBar()->setPageStep(rows);
  horizontalScrollBar()->setRange(0, owner_->capacity_);
}

void DocumentWindow::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateBars();
}

void DocumentWindow::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), Qt::white);
  int h = fontMetrics().height();
  int w = fontMetrics().horizontalAdvance('W');
  int top = verticalScrollBar()->value();
  int left = horizontalScrollBar()->value();
  for (int y = 0, line = top; y < viewport()->height() && line < lines_->Count(); y += h, ++line) {
    std::string_view text = lines_->LineView(line);
    if (static_cast<int>(text.size()) <= left) continue;
    p.drawText(2, y + fontMetrics().ascent(), codepage::ToQString(text.substr(left, 400)));
  }
  (void)w;
}
