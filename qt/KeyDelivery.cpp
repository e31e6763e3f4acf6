#include "qt/KeyDelivery.h"

#include <qpa/qwindowsysteminterface.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>

#include "qt/QtEditorWindow.h"

namespace platform {

namespace {

bool atOnce = false;

void SetAtOnce(bool on) {
  if (atOnce == on) return;
  atOnce = on;
  QWindowSystemInterface::setSynchronousWindowSystemEvents(on);
}

class EditorKeyFilter : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto kind = static_cast<const xcb_generic_event_t*>(message)->response_type & 0x7F;
    // An open menu takes the keys, though the view keeps the focus.
    const bool editorKey = kind == XCB_KEY_PRESS && QWindowSystemInterface::windowSystemEventsQueued() == 0 &&
                           !QApplication::activePopupWidget() &&
                           dynamic_cast<QtEditorWindow*>(QApplication::focusWidget()) != nullptr;
    SetAtOnce(editorKey);
    // Should the key reach no widget (an input method keeps it), the next
    // turn of the event loop ends it all the same.
    if (editorKey)
      QMetaObject::invokeMethod(
          qApp, [] { SetAtOnce(false); }, Qt::QueuedConnection);
    return false;
  }
};

}  // namespace

void HandleEditorKeysAtOnce() {
  static bool installed = false;
  if (installed || QGuiApplication::platformName() != QLatin1String("xcb")) return;
  installed = true;
  // Lives as long as the application; Qt keeps only a pointer.
  static EditorKeyFilter filter;
  qApp->installNativeEventFilter(&filter);
}

void QueueWindowSystemEvents() { SetAtOnce(false); }

}  // namespace platform
