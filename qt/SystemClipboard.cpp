#include "qt/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "editor/AdvEdit.h"
#include "qt/Codepage.h"

namespace platform {

SystemClipboard::SystemClipboard(TCellTable* cells) : cells_(cells) {
  connection_ = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
    if (OnChanged) OnChanged();
  });
}

SystemClipboard::~SystemClipboard() { QObject::disconnect(connection_); }

bool SystemClipboard::HasText() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

std::string SystemClipboard::GetText() const {
  const QString text = QGuiApplication::clipboard()->text();
  if (!cells_) return codepage::FromQString(text);
  std::string cells;
  char32_t refused = 0;
  if (codepage::ToCells(text, *cells_, cells, refused)) return cells;
  if (OnRefused) OnRefused(refused);
  throw EComplete();
}

void SystemClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(cells_ ? codepage::ToQString(text, *cells_) : codepage::ToQString(text));
}

}  // namespace platform
