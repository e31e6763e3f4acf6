// The Qt floor under key-to-pixels: a plain QWidget that answers each key press
// by repainting one 8x16 cell, through Qt's own event thread, backing store
// and flush. key-to-pixels.sh measures it beside the editor as "qtfloor".
//
// With --settle it paints at once and then takes the X server's wait for the
// shared pixels (a round trip Qt's next paint over them would otherwise make
// first) right after the hand-over, as the editor does: "qtfloor-settled",
// the least a Qt window can take for a key on the machine.
//
//   floor-qt [--settle]    (window title "Qt floor window")

#include <QApplication>
#include <QBackingStore>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <cstring>

namespace {

class Floor : public QWidget {
 public:
  explicit Floor(bool settle) : settle_(settle) {}

 protected:
  void keyPressEvent(QKeyEvent*) override {
    dark_ = !dark_;
    if (!settle_) {
      update(kCell);
      return;
    }
    repaint(kCell);
    if (QBackingStore* store = backingStore()) {
      store->beginPaint(QRegion(kCell));
      store->endPaint();
    }
  }
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    p.fillRect(e->rect(), Qt::white);
    if (e->rect().intersects(kCell)) p.fillRect(kCell, dark_ ? Qt::black : Qt::white);
  }

 private:
  static constexpr QRect kCell{8, 8, 8, 16};
  const bool settle_;
  bool dark_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Floor floor(argc > 1 && std::strcmp(argv[1], "--settle") == 0);
  floor.setWindowTitle("Qt floor window");
  floor.resize(1200, 800);
  floor.show();
  return app.exec();
}
