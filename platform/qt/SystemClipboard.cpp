#include "platform/qt/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/qt/Codepage.h"

namespace platform {

SystemClipboard::SystemClipboard() {
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
  return codepage::FromQString(QGuiApplication::clipboard()->text());
}

void SystemClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(codepage::ToQString(text));
}

}  // namespace platform
