#include "qt/ImageCanvas.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>

namespace platform {

namespace {

struct SystemRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};

// The desktop's colour indices 0..30 and the palette entries standing in for them.
constexpr SystemRole kSystemRoles[] = {
    {QPalette::Active, QPalette::Button},           // 0 scroll bar
    {QPalette::Active, QPalette::Dark},             // 1 desktop
    {QPalette::Active, QPalette::Highlight},        // 2 active caption
    {QPalette::Inactive, QPalette::Mid},            // 3 inactive caption
    {QPalette::Active, QPalette::Window},           // 4 menu
    {QPalette::Active, QPalette::Base},             // 5 window
    {QPalette::Active, QPalette::Shadow},           // 6 window frame
    {QPalette::Active, QPalette::WindowText},       // 7 menu text
    {QPalette::Active, QPalette::Text},             // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 caption text
    {QPalette::Active, QPalette::Window},           // 10 active border
    {QPalette::Active, QPalette::Window},           // 11 inactive border
    {QPalette::Active, QPalette::Dark},             // 12 application workspace
    {QPalette::Active, QPalette::Highlight},        // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlight text
    {QPalette::Active, QPalette::Button},           // 15 button face
    {QPalette::Active, QPalette::Dark},             // 16 button shadow
    {QPalette::Disabled, QPalette::Text},           // 17 grey text
    {QPalette::Active, QPalette::ButtonText},       // 18 button text
    {QPalette::Disabled, QPalette::WindowText},     // 19 inactive caption text
    {QPalette::Active, QPalette::Light},            // 20 button highlight
    {QPalette::Active, QPalette::Shadow},           // 21 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},         // 22 3-D light
    {QPalette::Active, QPalette::ToolTipText},      // 23 info text
    {QPalette::Active, QPalette::ToolTipBase},      // 24 info background
    {QPalette::Active, QPalette::Window},           // 25 (unused)
    {QPalette::Active, QPalette::Link},             // 26 hot light
    {QPalette::Active, QPalette::Highlight},        // 27 active caption gradient
    {QPalette::Inactive, QPalette::Mid},            // 28 inactive caption gradient
    {QPalette::Active, QPalette::Highlight},        // 29 menu highlight
    {QPalette::Active, QPalette::Window},           // 30 menu bar
};

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// A face as every canvas uses it: loading one costs far more than drawing.
struct LoadedFace {
  QFont font;
  QRawFont raw;
  int ascent = 0;
  int height = 0;
};
using FaceKey = std::tuple<std::string, int, std::uint8_t>;  // name, points, style bits

std::map<FaceKey, LoadedFace>& LoadedFaces() {
  static auto* faces = new std::map<FaceKey, LoadedFace>;
  return *faces;
}

void ForgetLoadedFaces() { LoadedFaces().clear(); }

const LoadedFace& LoadFace(const std::string& name, int points, std::uint8_t style) {
  std::map<FaceKey, LoadedFace>& faces = LoadedFaces();
  const FaceKey key{name, points, static_cast<std::uint8_t>(style & 0x0F)};
  if (auto it = faces.find(key); it != faces.end()) return it->second;
  // Qt's font engines go with the application object; so do these.
  if (faces.empty()) qAddPostRoutine(ForgetLoadedFaces);
  LoadedFace f;
  f.font = QFont(QString::fromStdString(name));
  f.font.setPixelSize(std::max(1, PointsToPixels(points)));
  f.font.setBold(style & fontstyle::Bold);
  f.font.setItalic(style & fontstyle::Italic);
  f.font.setUnderline(style & fontstyle::Underline);
  f.font.setStrikeOut(style & fontstyle::StrikeOut);
  f.raw = QRawFont::fromFont(f.font);
  QFontMetrics metrics(f.font);
  f.ascent = metrics.ascent();
  f.height = metrics.height();
  return faces.emplace(key, std::move(f)).first->second;
}

}  // namespace

QColor ToQColor(Color color, const QPalette* palette) {
  if (!IsSystemColor(color)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  const QPalette pal = palette ? *palette : QGuiApplication::palette();
  const std::size_t index = color & 0xFF;
  const SystemRole entry =
      index < std::size(kSystemRoles) ? kSystemRoles[index] : SystemRole{QPalette::Active, QPalette::Window};
  return pal.color(entry.group, entry.role);
}

int PointsToPixels(int points) { return static_cast<int>(std::lround(points * 96.0 / 72.0)); }

void PrepareFace(const FontSpec& font) { LoadFace(font.name, font.size, font.style); }

ImageCanvas::ImageCanvas(int width, int height)
    : image_(std::max(1, width), std::max(1, height), QImage::Format_RGB32) {
  image_.fill(Qt::white);
}

void ImageCanvas::Resize(int width, int height) {
  width = std::max(1, width);
  height = std::max(1, height);
  if (width == image_.width() && height == image_.height()) return;
  image_ = QImage(width, height, QImage::Format_RGB32);
  image_.fill(Qt::white);
}

void ImageCanvas::SetFont(const FontSpec& font) {
  if (font.name == spec_.name && font.size == spec_.size && font.style == spec_.style) {
    spec_.color = font.color;
    return;
  }
  spec_ = font;
  for (auto& f : faces_) f.reset();
  tileIndex_.clear();
  tiles_.clear();
}

QFont ImageCanvas::FontFor(std::uint8_t style) { return FaceFor(style).font; }

ImageCanvas::Face& ImageCanvas::FaceFor(std::uint8_t style) {
  std::optional<Face>& slot = faces_[style & 0x0F];
  if (!slot) {
    const LoadedFace& loaded = LoadFace(spec_.name, spec_.size, style);
    Face f;
    f.font = loaded.font;
    f.raw = loaded.raw;
    f.ascent = loaded.ascent;
    f.height = loaded.height;
    if (f.raw.isValid()) {
      // Characters beyond the 16-bit range are drawn through the fallback.
      QString all(256, QChar(' '));
      for (int b = 0; b < 256; ++b)
        if (char32_t ch = CellChar(static_cast<unsigned char>(b)); ch <= 0xFFFF)
          all[b] = QChar(static_cast<char16_t>(ch));
      const QList<quint32> indexes = f.raw.glyphIndexesForString(all);
      if (indexes.size() == 256) std::copy(indexes.begin(), indexes.end(), f.glyphs.begin());
      for (int b = 0; b < 256; ++b)
        if (CellChar(static_cast<unsigned char>(b)) > 0xFFFF) f.glyphs[static_cast<std::size_t>(b)] = 0;
    }
    slot = std::move(f);
  }
  return *slot;
}

Point ImageCanvas::MeasureGlyph(char ch, std::uint8_t style) {
  Face& f = FaceFor(style);
  QFontMetrics metrics(f.font);
  const char32_t c = CellChar(static_cast<unsigned char>(ch));
  const int width = c <= 0xFFFF ? metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)))
                                : metrics.horizontalAdvance(QString::fromUcs4(&c, 1));
  return {width, f.height};
}

void ImageCanvas::Fill(QRect r, QRgb rgb) {
  r &= image_.rect();
  if (r.isEmpty()) return;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y)) + r.left();
    std::fill(line, line + r.width(), rgb);
  }
}

void ImageCanvas::FillRect(const Rect& r, Color color) {
  if (r.Empty()) return;
  Fill(ToQRect(r), ToQColor(color).rgb());
}

const QRgb* ImageCanvas::Tile(unsigned char byte, QRgb fg, QRgb bg, std::uint8_t style, int advance, const Face& face) {
  if (advance != tileAdvance_ || tiles_.size() > (std::size_t{2} << 20)) {
    tileIndex_.clear();
    tiles_.clear();
    tileAdvance_ = advance;
  }
  const std::uint64_t key = (std::uint64_t{fg & 0xFFFFFF} << 36) | (std::uint64_t{bg & 0xFFFFFF} << 12) |
                            (std::uint64_t{style & 0x0Fu} << 8) | byte;
  const std::size_t size = static_cast<std::size_t>(advance) * static_cast<std::size_t>(face.height);
  auto [it, fresh] = tileIndex_.try_emplace(key, tiles_.size());
  if (!fresh) return tiles_.data() + it->second;

  QImage cell(advance, face.height, QImage::Format_RGB32);
  cell.fill(bg);
  if (byte != ' ' || (style & (fontstyle::Underline | fontstyle::StrikeOut))) {
    QPainter p(&cell);
    p.setPen(QColor::fromRgb(fg));
    if (face.glyphs[byte] != 0) {
      QGlyphRun run;
      run.setRawFont(face.raw);
      run.setGlyphIndexes({face.glyphs[byte]});
      run.setPositions({QPointF(0, 0)});
      run.setUnderline(style & fontstyle::Underline);
      run.setStrikeOut(style & fontstyle::StrikeOut);
      p.drawGlyphRun(QPointF(0, face.ascent), run);
    } else {
      // A character the font lacks: through the font's fallback.
      p.setFont(face.font);
      const char32_t ch = CellChar(byte);
      p.drawText(QPointF(0, face.ascent), QString::fromUcs4(&ch, 1));
    }
  }
  tiles_.resize(tiles_.size() + size);
  QRgb* out = tiles_.data() + it->second;
  for (int y = 0; y < face.height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
    std::copy(line, line + advance, out + static_cast<std::size_t>(y) * static_cast<std::size_t>(advance));
  }
  return out;
}

void ImageCanvas::DrawText(int x, int y, std::string_view bytes, int advance, Color fg, Color bg, std::uint8_t style) {
  if (bytes.empty() || advance <= 0) return;
  const Face& f = FaceFor(style);
  const QRgb fgRgb = ToQColor(fg).rgb(), bgRgb = ToQColor(bg).rgb();
  // The rows of the cells that lie inside the image.
  const int top = std::max(y, 0), bottom = std::min(y + f.height, image_.height());
  if (top >= bottom) return;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int left = x + static_cast<int>(i) * advance;
    const int from = std::max(left, 0), to = std::min(left + advance, image_.width());
    if (from >= to) continue;
    const QRgb* tile = Tile(static_cast<unsigned char>(bytes[i]), fgRgb, bgRgb, style, advance, f);
    for (int row = top; row < bottom; ++row) {
      const QRgb* src = tile + static_cast<std::size_t>(row - y) * static_cast<std::size_t>(advance) + (from - left);
      std::copy(src, src + (to - from), reinterpret_cast<QRgb*>(image_.scanLine(row)) + from);
    }
  }
}

void ImageCanvas::DrawLine(int x1, int y1, int x2, int y2, Color color) {
  if (x1 == x2 || y1 == y2) {
    // Axis-parallel lines as exact pixel rectangles, both ends included.
    Fill(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2))),
         ToQColor(color).rgb());
    return;
  }
  QPainter p(&image_);
  p.setPen(QPen(ToQColor(color), 0));
  p.drawLine(x1, y1, x2, y2);
}

}  // namespace platform
