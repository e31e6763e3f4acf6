#include "qt/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "editor/AdvEdit.h"
#include "qt/Codepage.h"

namespace platform {

SystemClipboard::SystemClipboard(const TAdvancedEditor* document) : document_(document) {
  connection_ = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
    if (OnChanged) OnChanged();
  });
}

SystemClipboard::~SystemClipboard() { QObject::disconnect(connection_); }

TTextEncoding SystemClipboard::Encoding() const {
  return document_ ? document_->Encoding() : TTextEncoding::Windows1252;
}

bool SystemClipboard::HasText() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

std::string SystemClipboard::GetText() const {
  const QString text = QGuiApplication::clipboard()->text();
  char32_t unmappable = 0;
  std::string bytes = codepage::FromQString(text, Encoding(), &unmappable);
  if (unmappable != 0 && OnUnmappable) return OnUnmappable(text.toUtf8().toStdString(), unmappable);
  return bytes;
}

void SystemClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(codepage::ToQString(text, Encoding()));
}

}  // namespace platform
