#include <QApplication>

#include "app/DocumentWindow.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  DocumentWindow window(argc > 1 ? argv[1] : "");
  window.show();
  return app.exec();
}
