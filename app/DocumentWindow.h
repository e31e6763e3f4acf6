#pragma once

// A plain window showing one document, read-only.

#include <QAbstractScrollArea>
#include <memory>
#include <string>

class TAdvLines;
class DocumentOwner;

class DocumentWindow : public QAbstractScrollArea {
 public:
  explicit DocumentWindow(const std::string& fileName);
  ~DocumentWindow() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateBars();
  std::unique_ptr<DocumentOwner> owner_;
  std::unique_ptr<TAdvLines> lines_;
};
