#include "widgets/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <cmath>
#include <functional>
#include <numbers>

namespace artwork {
namespace {

// Every glyph is drawn on a 24 by 24 grid and scaled to the size asked for.
constexpr double kGrid = 24.0;

enum class TGlyph {
  NewFile,
  Open,
  Save,
  SaveAll,
  CloseFile,
  Reload,
  Exit,
  Undo,
  Cut,
  Copy,
  Paste,
  DeleteLine,
  SelectAll,
  SelectLine,
  Uppercase,
  Lowercase,
  Find,
  FindNext,
  WordWrap,
  ShowSpace,
  Preferences,
  About,
};

// The colours of the whole set.
const QColor kInk(0x3E, 0x4A, 0x57);
const QColor kOutline(0x5A, 0x6B, 0x7D);
const QColor kTextLine(0x9A, 0xA7, 0xB5);
const QColor kBlue(0x2F, 0x6F, 0xB5);
const QColor kDarkBlue(0x1F, 0x42, 0x77);
const QColor kGreen(0x2E, 0x9A, 0x47);
const QColor kRed(0xD2, 0x3A, 0x3A);
const QColor kBrown(0xB7, 0x80, 0x3D);
const QColor kDarkBrown(0x7A, 0x52, 0x20);
const QColor kFolder(0xE0, 0xA8, 0x2E);
const QColor kFolderLight(0xFF, 0xD3, 0x6A);
const QColor kFolderEdge(0x9A, 0x6B, 0x12);

QPen Stroke(const QColor& color, double width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Line(QPainter& p, const QColor& color, double width, QPointF from, QPointF to) {
  p.setPen(Stroke(color, width));
  p.drawLine(from, to);
}

void Fill(QPainter& p, const QPainterPath& path, const QBrush& brush, const QColor& edge,
          double width = 1.2) {
  p.setPen(edge.isValid() ? Stroke(edge, width) : QPen(Qt::NoPen));
  p.setBrush(brush);
  p.drawPath(path);
}

QLinearGradient Vertical(double top, double bottom, const QColor& from, const QColor& to) {
  QLinearGradient gradient(0, top, 0, bottom);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  return gradient;
}

// A sheet of paper with its top right corner folded, and lines of text.
void Page(QPainter& p, QRectF r, double fold, bool lines = true) {
  QPainterPath sheet;
  sheet.moveTo(r.left(), r.top());
  sheet.lineTo(r.right() - fold, r.top());
  sheet.lineTo(r.right(), r.top() + fold);
  sheet.lineTo(r.right(), r.bottom());
  sheet.lineTo(r.left(), r.bottom());
  sheet.closeSubpath();
  Fill(p, sheet, Vertical(r.top(), r.bottom(), Qt::white, QColor(0xE9, 0xEE, 0xF3)), kOutline);
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  corner.closeSubpath();
  Fill(p, corner, QColor(0xD2, 0xDB, 0xE5), kOutline);
  if (!lines) return;
  for (double y = r.top() + fold + 2.5; y < r.bottom() - 2; y += 3)
    Line(p, kTextLine, 1.0, {r.left() + 2.5, y}, {r.right() - 2.5, y});
}

// A round badge in the lower right corner, with a white border.
void Badge(QPainter& p, QPointF centre, double radius, const QColor& color) {
  p.setPen(Stroke(Qt::white, 1.2));
  p.setBrush(Vertical(centre.y() - radius, centre.y() + radius, color.lighter(125), color));
  p.drawEllipse(centre, radius, radius);
}

// A floppy disk in the square `r`.
void Floppy(QPainter& p, QRectF r) {
  p.save();
  p.translate(r.topLeft());
  p.scale(r.width() / 18.0, r.height() / 18.0);
  QPainterPath body;
  body.moveTo(1, 0.5);
  body.lineTo(14.5, 0.5);
  body.lineTo(17.5, 3.5);
  body.lineTo(17.5, 16.5);
  body.quadTo(17.5, 17.5, 16.5, 17.5);
  body.lineTo(1.5, 17.5);
  body.quadTo(0.5, 17.5, 0.5, 16.5);
  body.lineTo(0.5, 1.5);
  body.quadTo(0.5, 0.5, 1.5, 0.5);
  body.closeSubpath();
  Fill(p, body, Vertical(0, 18, kBlue.lighter(120), kBlue), kDarkBlue);
  QPainterPath shutter;
  shutter.addRect(4, 0.5, 9, 5.5);
  Fill(p, shutter, QColor(0xDD, 0xE4, 0xEC), kDarkBlue, 0.8);
  p.fillRect(QRectF(9.5, 1.5, 2, 3.5), kDarkBlue);
  QPainterPath label;
  label.addRoundedRect(3, 9.5, 12, 8, 1, 1);
  Fill(p, label, Qt::white, kDarkBlue, 0.8);
  Line(p, kTextLine, 1.0, {5, 12.5}, {13, 12.5});
  Line(p, kTextLine, 1.0, {5, 15}, {13, 15});
  p.restore();
}

void Magnifier(QPainter& p) {
  Line(p, kDarkBrown, 3.6, {15, 15}, {20.5, 20.5});
  QRadialGradient lens(QPointF(8.5, 8.5), 7);
  lens.setColorAt(0, QColor(0xF4, 0xF9, 0xFF));
  lens.setColorAt(1, QColor(0xBF, 0xD8, 0xF2));
  p.setPen(Stroke(kInk, 2.2));
  p.setBrush(lens);
  p.drawEllipse(QPointF(10, 10), 6.2, 6.2);
  p.setPen(Stroke(Qt::white, 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(6.2, 6.2, 7.6, 7.6), 100 * 16, 70 * 16);
}

// A filled arrow head with its tip at `tip`, pointing along `direction`.
void ArrowHead(QPainter& p, QPointF tip, QPointF direction, double length, double halfWidth,
               const QColor& color) {
  double norm = std::hypot(direction.x(), direction.y());
  QPointF d = direction / norm;
  QPointF n(-d.y(), d.x());
  QPointF base = tip - d * length;
  QPainterPath head;
  head.moveTo(tip);
  head.lineTo(base + n * halfWidth);
  head.lineTo(base - n * halfWidth);
  head.closeSubpath();
  Fill(p, head, color, color, 0.8);
}

void Letters(QPainter& p, const QString& text) {
  QFont font("DejaVu Sans");
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  font.setPixelSize(13);
  QPainterPath path;
  path.addText(0, 0, font, text);
  QRectF box = path.boundingRect();
  path.translate(12 - box.center().x(), 12 - box.center().y());
  Fill(p, path, kInk, QColor());
}

void Gear(QPainter& p) {
  QPainterPath wheel;
  wheel.addEllipse(QPointF(12, 12), 7, 7);
  for (int i = 0; i < 8; ++i) {
    QPainterPath tooth;
    tooth.addRoundedRect(QRectF(10, 1.5, 4, 5), 0.8, 0.8);
    QTransform turn;
    turn.translate(12, 12);
    turn.rotate(45.0 * i);
    turn.translate(-12, -12);
    wheel = wheel.united(turn.map(tooth));
  }
  QPainterPath hole;
  hole.addEllipse(QPointF(12, 12), 3, 3);
  Fill(p, wheel.subtracted(hole), Vertical(2, 22, QColor(0x9C, 0xA8, 0xB6), kOutline), kInk, 1.0);
}

void DrawGlyph(QPainter& p, TGlyph glyph) {
  switch (glyph) {
    case TGlyph::NewFile:
      Page(p, {4.5, 1.5, 14, 20}, 5);
      Badge(p, {17.5, 17.5}, 5.2, kGreen);
      Line(p, Qt::white, 1.8, {17.5, 14.8}, {17.5, 20.2});
      Line(p, Qt::white, 1.8, {14.8, 17.5}, {20.2, 17.5});
      break;
    case TGlyph::CloseFile:
      Page(p, {4.5, 1.5, 14, 20}, 5);
      Badge(p, {17.5, 17.5}, 5.2, kRed);
      Line(p, Qt::white, 1.8, {15.5, 15.5}, {19.5, 19.5});
      Line(p, Qt::white, 1.8, {19.5, 15.5}, {15.5, 19.5});
      break;
    case TGlyph::Open: {
      QPainterPath back;
      back.moveTo(1.5, 5);
      back.lineTo(8.5, 5);
      back.lineTo(10.5, 7.5);
      back.lineTo(20.5, 7.5);
      back.lineTo(20.5, 20);
      back.lineTo(1.5, 20);
      back.closeSubpath();
      Fill(p, back, kFolder, kFolderEdge);
      Page(p, {5, 3.5, 12, 12}, 3, false);
      QPainterPath front;
      front.moveTo(1.5, 20);
      front.lineTo(5, 11);
      front.lineTo(23, 11);
      front.lineTo(19.5, 20);
      front.closeSubpath();
      Fill(p, front, Vertical(11, 20, kFolderLight, kFolder), kFolderEdge);
      break;
    }
    case TGlyph::Save:
      Floppy(p, {3, 3, 18, 18});
      break;
    case TGlyph::SaveAll:
      Floppy(p, {1.5, 1.5, 14, 14});
      Floppy(p, {8.5, 8.5, 14, 14});
      break;
    case TGlyph::Reload: {
      const QPointF centre(12, 12);
      const double radius = 7.5;
      p.setPen(Stroke(kGreen, 2.6));
      p.setBrush(Qt::NoBrush);
      QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
      p.drawArc(circle, 40 * 16, 290 * 16);
      // The head sits where the arc starts and points clockwise.
      double a = 40 * std::numbers::pi / 180;
      QPointF at = centre + QPointF(std::cos(a), -std::sin(a)) * radius;
      ArrowHead(p, at + QPointF(std::sin(a), std::cos(a)) * 3.2, {std::sin(a), std::cos(a)}, 6, 4, kGreen);
      break;
    }
    case TGlyph::Exit: {
      QPainterPath frame;
      frame.addRect(3.5, 2.5, 11, 19);
      Fill(p, frame, QColor(0xE9, 0xEE, 0xF3), kOutline);
      QPainterPath door;
      door.moveTo(3.5, 2.5);
      door.lineTo(10.5, 5);
      door.lineTo(10.5, 23);
      door.lineTo(3.5, 21.5);
      door.closeSubpath();
      Fill(p, door, Vertical(2, 22, kBrown.lighter(115), kBrown), kDarkBrown);
      Line(p, kGreen, 2.6, {12, 12}, {18, 12});
      ArrowHead(p, {22.5, 12}, {1, 0}, 6, 4.2, kGreen);
      break;
    }
    case TGlyph::Undo: {
      QPainterPath arc;
      arc.moveTo(8, 9);
      arc.lineTo(13.5, 9);
      arc.cubicTo(18.5, 9, 20.5, 12, 20.5, 14.5);
      arc.cubicTo(20.5, 17.5, 18, 20.5, 13.5, 20.5);
      arc.lineTo(10, 20.5);
      p.setPen(Stroke(kBlue, 2.8));
      p.setBrush(Qt::NoBrush);
      p.drawPath(arc);
      ArrowHead(p, {2.5, 9}, {-1, 0}, 7, 5, kBlue);
      break;
    }
    case TGlyph::Cut:
      Line(p, kInk, 2.0, {9.5, 15}, {16.5, 2.5});
      Line(p, kInk, 2.0, {14.5, 15}, {7.5, 2.5});
      p.setPen(Stroke(kRed, 2.2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(7, 18), 3.2, 3.2);
      p.drawEllipse(QPointF(17, 18), 3.2, 3.2);
      p.setPen(Qt::NoPen);
      p.setBrush(kInk);
      p.drawEllipse(QPointF(12, 10.5), 1.1, 1.1);
      break;
    case TGlyph::Copy:
      Page(p, {2.5, 1.5, 12, 15}, 4);
      Page(p, {9.5, 7.5, 12, 15}, 4);
      break;
    case TGlyph::Paste: {
      QPainterPath board;
      board.addRoundedRect(3, 3.5, 15, 18.5, 2, 2);
      Fill(p, board, Vertical(3, 22, kBrown.lighter(115), kBrown), kDarkBrown);
      QPainterPath clip;
      clip.addRoundedRect(7, 1.5, 7, 4.5, 1.2, 1.2);
      Fill(p, clip, QColor(0xC9, 0xD2, 0xDC), kOutline, 1.0);
      Page(p, {10, 8.5, 11.5, 14}, 3.5);
      break;
    }
    case TGlyph::DeleteLine:
      Line(p, kOutline, 2.0, {3, 5}, {21, 5});
      Line(p, kRed, 2.6, {3, 12}, {14, 12});
      Line(p, kOutline, 2.0, {3, 19}, {21, 19});
      Line(p, kRed, 2.0, {16.5, 9.5}, {21.5, 14.5});
      Line(p, kRed, 2.0, {21.5, 9.5}, {16.5, 14.5});
      break;
    case TGlyph::SelectAll: {
      QPainterPath area;
      area.addRect(2.5, 3.5, 19, 17);
      p.setPen(QPen(kBlue, 1.2, Qt::DashLine, Qt::FlatCap));
      p.setBrush(QColor(0xCF, 0xE0, 0xF7));
      p.drawPath(area);
      Line(p, kBlue, 1.6, {6, 8}, {18, 8});
      Line(p, kBlue, 1.6, {6, 12}, {18, 12});
      Line(p, kBlue, 1.6, {6, 16}, {14, 16});
      break;
    }
    case TGlyph::SelectLine:
      Line(p, kOutline, 2.0, {3, 5}, {21, 5});
      p.fillRect(QRectF(1.5, 9, 21, 6), kBlue);
      Line(p, Qt::white, 2.0, {4, 12}, {18, 12});
      Line(p, kOutline, 2.0, {3, 19}, {21, 19});
      break;
    case TGlyph::Uppercase:
      Letters(p, "AB");
      break;
    case TGlyph::Lowercase:
      Letters(p, "ab");
      break;
    case TGlyph::Find:
      Magnifier(p);
      break;
    case TGlyph::FindNext:
      Magnifier(p);
      Line(p, kGreen, 2.2, {1.5, 20.5}, {7, 20.5});
      ArrowHead(p, {11, 20.5}, {1, 0}, 4.5, 3.2, kGreen);
      break;
    case TGlyph::WordWrap: {
      Line(p, kOutline, 2.0, {3, 5}, {21, 5});
      QPainterPath wrap;
      wrap.moveTo(3, 12);
      wrap.lineTo(16.5, 12);
      wrap.cubicTo(21, 12, 21, 19, 16.5, 19);
      wrap.lineTo(13, 19);
      p.setPen(Stroke(kBlue, 2.2));
      p.setBrush(Qt::NoBrush);
      p.drawPath(wrap);
      ArrowHead(p, {8.5, 19}, {-1, 0}, 5, 3.6, kBlue);
      Line(p, kOutline, 2.0, {3, 19}, {5, 19});
      break;
    }
    case TGlyph::ShowSpace: {
      QPainterPath mark;
      mark.moveTo(18.5, 3);
      mark.lineTo(10, 3);
      mark.arcTo(QRectF(5, 3, 10, 10), 90, 180);
      mark.lineTo(12, 13);
      mark.lineTo(12, 21.5);
      mark.lineTo(14, 21.5);
      mark.lineTo(14, 5);
      mark.lineTo(16, 5);
      mark.lineTo(16, 21.5);
      mark.lineTo(18, 21.5);
      mark.lineTo(18, 5);
      mark.lineTo(18.5, 5);
      mark.closeSubpath();
      Fill(p, mark, kBlue, QColor());
      p.setPen(Qt::NoPen);
      p.setBrush(kOutline);
      p.drawEllipse(QPointF(4, 19.5), 1.3, 1.3);
      p.drawEllipse(QPointF(8, 19.5), 1.3, 1.3);
      break;
    }
    case TGlyph::Preferences:
      Gear(p);
      break;
    case TGlyph::About: {
      p.setPen(Stroke(QColor(0x1A, 0x4E, 0x8E), 1.2));
      p.setBrush(Vertical(2, 22, QColor(0x5E, 0x9C, 0xE0), QColor(0x1F, 0x5F, 0xAE)));
      p.drawEllipse(QPointF(12, 12), 9.8, 9.8);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(12, 7), 1.7, 1.7);
      p.drawRoundedRect(QRectF(10.5, 10, 3, 8.5), 0.8, 0.8);
      break;
    }
  }
}

QImage Render(int size, const std::function<void(QPainter&)>& draw) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / kGrid, size / kGrid);
  draw(p);
  return image;
}

QImage GlyphImage(TGlyph glyph, int size) {
  return Render(size, [glyph](QPainter& p) { DrawGlyph(p, glyph); });
}

// The disabled look: grey, light and half transparent.
QImage Greyed(const QImage& image) {
  QImage grey = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      int level = 110 + qGray(line[x]) * 145 / 255;
      line[x] = qRgba(level, level, level, qAlpha(line[x]) * 7 / 10);
    }
  }
  return grey.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The box behind a hot or pressed glyph.
void ButtonBox(QPainter& p, int top, bool pressed) {
  QRectF box(1.5, top + 1.5, kButtonSize - 3, kButtonSize - 3);
  QLinearGradient fill(0, box.top(), 0, box.bottom());
  fill.setColorAt(0, pressed ? QColor(0xBC, 0xD5, 0xF2) : Qt::white);
  fill.setColorAt(1, pressed ? QColor(0xE2, 0xED, 0xFA) : QColor(0xD6, 0xE7, 0xFB));
  p.setPen(QPen(pressed ? QColor(0x4F, 0x7C, 0xB3) : QColor(0x7D, 0xA2, 0xCE), 1.0));
  p.setBrush(fill);
  p.drawRoundedRect(box, 3.5, 3.5);
}

TGlyph ButtonGlyph(TButtonPicture which) {
  switch (which) {
    case TButtonPicture::New:
      return TGlyph::NewFile;
    case TButtonPicture::Close:
      return TGlyph::CloseFile;
    case TButtonPicture::Reload:
      return TGlyph::Reload;
    case TButtonPicture::Cut:
      return TGlyph::Cut;
    case TButtonPicture::Copy:
      return TGlyph::Copy;
    case TButtonPicture::Paste:
      return TGlyph::Paste;
    case TButtonPicture::Undo:
      return TGlyph::Undo;
    case TButtonPicture::Find:
      return TGlyph::Find;
    case TButtonPicture::Preferences:
      return TGlyph::Preferences;
    case TButtonPicture::About:
      return TGlyph::About;
  }
  return TGlyph::About;
}

TGlyph ActionGlyph(TActionIcon which) {
  switch (which) {
    case TActionIcon::NewFile:
      return TGlyph::NewFile;
    case TActionIcon::Open:
      return TGlyph::Open;
    case TActionIcon::Save:
      return TGlyph::Save;
    case TActionIcon::SaveAll:
      return TGlyph::SaveAll;
    case TActionIcon::CloseTab:
      return TGlyph::CloseFile;
    case TActionIcon::Reload:
      return TGlyph::Reload;
    case TActionIcon::Exit:
      return TGlyph::Exit;
    case TActionIcon::Undo:
      return TGlyph::Undo;
    case TActionIcon::Cut:
      return TGlyph::Cut;
    case TActionIcon::Copy:
      return TGlyph::Copy;
    case TActionIcon::Paste:
      return TGlyph::Paste;
    case TActionIcon::DeleteLine:
      return TGlyph::DeleteLine;
    case TActionIcon::SelectAll:
      return TGlyph::SelectAll;
    case TActionIcon::SelectLine:
      return TGlyph::SelectLine;
    case TActionIcon::Uppercase:
      return TGlyph::Uppercase;
    case TActionIcon::Lowercase:
      return TGlyph::Lowercase;
    case TActionIcon::FindNext:
      return TGlyph::FindNext;
    case TActionIcon::WordWrap:
      return TGlyph::WordWrap;
    case TActionIcon::ShowSpace:
      return TGlyph::ShowSpace;
    case TActionIcon::Preferences:
      return TGlyph::Preferences;
    case TActionIcon::About:
      return TGlyph::About;
  }
  return TGlyph::About;
}

}  // namespace

QImage ButtonPicture(TButtonPicture which) {
  constexpr int kGlyph = 24;
  constexpr int kInset = (kButtonSize - kGlyph) / 2;
  const QImage glyph = GlyphImage(ButtonGlyph(which), kGlyph);
  QImage picture(kButtonSize, 4 * kButtonSize, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing, true);
  // Normal, hot, pressed (the glyph one pixel down and right), disabled.
  p.drawImage(kInset, kInset, glyph);
  ButtonBox(p, kButtonSize, false);
  p.drawImage(kInset, kButtonSize + kInset, glyph);
  ButtonBox(p, 2 * kButtonSize, true);
  p.drawImage(kInset + 1, 2 * kButtonSize + kInset + 1, glyph);
  p.drawImage(kInset, 3 * kButtonSize + kInset, Greyed(glyph));
  return picture;
}

QImage ActionImage(TActionIcon which, int size) { return GlyphImage(ActionGlyph(which), size); }

QIcon ActionIcon(TActionIcon which) {
  QIcon icon;
  for (int size : {16, 24, 32}) icon.addPixmap(QPixmap::fromImage(ActionImage(which, size)));
  return icon;
}

QImage ProgramImage(int size) {
  return Render(size, [](QPainter& p) {
    QPainterPath tile;
    tile.addRoundedRect(QRectF(1, 1, 22, 22), 4.5, 4.5);
    Fill(p, tile, Vertical(1, 23, QColor(0x74, 0x66, 0xD6), QColor(0x38, 0x2C, 0x8A)),
         QColor(0x2A, 0x20, 0x6E), 0.8);
    // A bold Q: a ring and its tail.
    QPainterPath ring;
    ring.addEllipse(QPointF(11.5, 11), 7, 7);
    ring.addEllipse(QPointF(11.5, 11), 4.2, 4.2);
    ring.setFillRule(Qt::OddEvenFill);
    Fill(p, ring, Qt::white, QColor());
    Line(p, Qt::white, 3.0, {12.5, 12.5}, {18.5, 19});
    // A caret beside it, as in a text field.
    p.fillRect(QRectF(19.5, 4, 1.6, 7), QColor(0xFF, 0xB3, 0x3B));
  });
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(ProgramImage(size)));
  return icon;
}

}  // namespace artwork
