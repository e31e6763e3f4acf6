#include "qt/ImageCanvas.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

#include "editor/TextColumns.h"
#include "editor/Utf8.h"

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
  mutable bool warm = false;  // its printable ASCII glyphs were drawn once
};

constexpr char kPrintableAscii[] =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
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

// The characters of a cluster of UTF-8 text; a byte that is not UTF-8 is U+FFFD.
std::u32string ClusterChars(std::string_view cluster) {
  std::u32string chars;
  for (std::size_t pos = 0; pos < cluster.size();) {
    char32_t ch = 0;
    const int n = utf8::Decode(cluster, pos, ch);
    chars.push_back(n > 0 ? ch : U'\uFFFD');
    pos += static_cast<std::size_t>(std::max(n, 1));
  }
  return chars;
}

// The ink of a run's glyphs where the run puts them.
QRectF InkOf(const QGlyphRun& run) {
  QRectF ink;
  const QList<quint32> glyphs = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
    ink |= run.rawFont().boundingRect(glyphs[i]).translated(positions[i]);
  return ink;
}

// Draws `text` laid out by Qt (which takes every character the face lacks
// from a font that has it) on `cell`, with its baseline at `ascent`: not
// wider than the cell, centred in it when `centre`; a character from another
// font also no taller than the cell, scaled down about its baseline. Marks
// that another font than their base's gives are laid beside the base by Qt;
// they are moved over its middle.
void DrawLaidOut(QPainter& p, const QString& text, const QFont& font, int ascent, QSize cell, bool centre,
                 bool fromFallback) {
  QFont plain = font;
  plain.setUnderline(false);
  plain.setStrikeOut(false);
  QTextLayout layout(text, plain);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  if (!line.isValid()) return;
  const QList<QGlyphRun> runs = layout.glyphRuns();
  if (runs.isEmpty()) return;
  // The base character's run is the one that starts the line.
  qsizetype base = 0;
  for (qsizetype i = 1; i < runs.size(); ++i)
    if (runs[i].positions().front().x() < runs[base].positions().front().x()) base = i;
  qreal width = line.naturalTextWidth();
  if (runs.size() > 1) {
    const QList<QPointF> advances = runs[base].rawFont().advancesForGlyphIndexes(runs[base].glyphIndexes());
    width = runs[base].positions().back().x() + advances.back().x();
  }
  const qreal baseline = line.ascent();
  qreal scale = width > cell.width() ? cell.width() / width : 1.0;
  if (fromFallback) {
    QRectF ink;
    for (const QGlyphRun& run : runs) ink |= InkOf(run);
    const qreal above = baseline - ink.top(), below = ink.bottom() - baseline;
    if (above * scale > ascent) scale = ascent / above;
    if (below * scale > cell.height() - ascent) scale = std::min(scale, (cell.height() - ascent) / below);
  }
  const qreal dx = centre ? std::round((cell.width() - width * scale) / 2) : 0.0;
  p.translate(dx, ascent);
  p.scale(scale, scale);
  p.translate(0, -baseline);
  for (qsizetype i = 0; i < runs.size(); ++i)
    p.drawGlyphRun(QPointF(i == base ? 0.0 : width / 2 - InkOf(runs[i]).center().x(), 0), runs[i]);
  p.resetTransform();
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

void PrepareFace(const FontSpec& font) {
  const LoadedFace& face = LoadFace(font.name, font.size, font.style);
  if (!face.raw.isValid() || face.warm) return;
  // Qt renders a glyph the first time it is drawn, for every painter after.
  // Drawing the printable ASCII ones here, before any document, takes that
  // off the first screen's way.
  QList<quint32> glyphs = face.raw.glyphIndexesForString(QString::fromLatin1(kPrintableAscii));
  QList<QPointF> positions;
  const int advance = std::max(1, face.height);
  for (qsizetype i = 0; i < glyphs.size(); ++i) positions.append(QPointF(static_cast<qreal>(i * advance), 0));
  QImage scratch(static_cast<int>(glyphs.size()) * advance, face.height, QImage::Format_RGB32);
  scratch.fill(Qt::white);
  QPainter p(&scratch);
  p.setPen(Qt::black);
  QGlyphRun run;
  run.setRawFont(face.raw);
  run.setGlyphIndexes(glyphs);
  run.setPositions(positions);
  p.drawGlyphRun(QPointF(0, face.ascent), run);
  face.warm = true;
}

ImageCanvas::ImageCanvas(int width, int height, std::shared_ptr<const double> ratio)
    : width_(std::max(1, width)), height_(std::max(1, height)), ratioSource_(std::move(ratio)) {
  if (ratioSource_) ratio_ = *ratioSource_;
  Allocate();
}

void ImageCanvas::Allocate() {
  image_ = QImage(std::max(1, DevicePixel(width_, ratio_)), std::max(1, DevicePixel(height_, ratio_)),
                  QImage::Format_RGB32);
  image_.fill(Qt::white);
}

bool ImageCanvas::FollowRatio() {
  if (!ratioSource_ || *ratioSource_ == ratio_) return false;
  ratio_ = *ratioSource_;
  Allocate();
  // Tiles are device pixels: those of the old ratio are of no use.
  DropTiles();
  tilePainter_.reset();
  tileCell_ = QImage();
  return true;
}

void ImageCanvas::Resize(int width, int height) {
  width = std::max(1, width);
  height = std::max(1, height);
  FollowRatio();
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Allocate();
}

void ImageCanvas::SetFont(const FontSpec& font) {
  if (font.name == spec_.name && font.size == spec_.size && font.style == spec_.style) {
    spec_.color = font.color;
    return;
  }
  spec_ = font;
  for (auto& f : faces_) f.reset();
  DropTiles();
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
  // One look at whether the pixels are shared, not one per row; the first
  // row filled, the others copied from it.
  uchar* bits = image_.bits();
  const qsizetype perLine = image_.bytesPerLine();
  auto* first = reinterpret_cast<QRgb*>(bits + r.top() * perLine) + r.left();
  std::fill(first, first + r.width(), rgb);
  const std::size_t bytes = static_cast<std::size_t>(r.width()) * sizeof(QRgb);
  for (int y = r.top() + 1; y <= r.bottom(); ++y)
    std::memcpy(reinterpret_cast<QRgb*>(bits + y * perLine) + r.left(), first, bytes);
}

void ImageCanvas::FillRect(const Rect& r, Color color) {
  if (r.Empty()) return;
  FollowRatio();
  Fill(DeviceRect(ToQRect(r), ratio_), ToQColor(color).rgb());
}

void ImageCanvas::MakeRoomForTiles(int advance) {
  if (advance == tileAdvance_ && tiles_.size() <= kMostTilePixels) return;
  DropTiles();
  tileAdvance_ = advance;
}

void ImageCanvas::DropTiles() {
  tileTables_.clear();
  clusterIndex_.clear();
  tiles_.clear();
}

ImageCanvas::TileTable& ImageCanvas::TilesFor(QRgb fg, QRgb bg, std::uint8_t style) {
  const std::uint64_t key =
      (std::uint64_t{fg & 0xFFFFFF} << 28) | (std::uint64_t{bg & 0xFFFFFF} << 4) | (style & 0x0Fu);
  return tileTables_[key];
}

QRgb* ImageCanvas::NewTile(std::size_t pixels) {
  // Room for the tiles of a first screen at once: growing by doubling would
  // copy them and touch fresh memory at every step.
  if (tiles_.capacity() == 0) tiles_.reserve(kFirstTiles);
  const std::size_t at = tiles_.size();
  tiles_.resize(at + pixels);
  return tiles_.data() + at;
}

const QRgb* ImageCanvas::Tile(TileTable& table, unsigned char byte, QRgb fg, QRgb bg, std::uint8_t style, int advance,
                              const Face& face) {
  if (const std::uint32_t at = table[byte]) return tiles_.data() + (at - 1);
  const int width = DeviceSpan(advance, ratio_), height = DeviceSpan(face.height, ratio_);
  const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  table[byte] = static_cast<std::uint32_t>(tiles_.size() + 1);

  // One cell drawn on again for every tile of this size, by one painter,
  // in logical pixels scaled to the device's.
  if (tileCell_.width() != width || tileCell_.height() != height) {
    tilePainter_.reset();
    tileCell_ = QImage(width, height, QImage::Format_RGB32);
    tileCell_.setDevicePixelRatio(ratio_);
  }
  QImage& cell = tileCell_;
  cell.fill(bg);
  if (byte != ' ' || (style & (fontstyle::Underline | fontstyle::StrikeOut))) {
    if (!tilePainter_) tilePainter_.emplace(&cell);
    QPainter& p = *tilePainter_;
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
      p.save();
      p.setFont(face.font);
      const char32_t ch = CellChar(byte);
      p.drawText(QPointF(0, face.ascent), QString::fromUcs4(&ch, 1));
      p.restore();
    }
  }
  QRgb* out = NewTile(size);
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
    std::copy(line, line + width, out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width));
  }
  return out;
}

void ImageCanvas::DrawText(int x, int y, std::string_view bytes, int advance, Color fg, Color bg, std::uint8_t style) {
  if (bytes.empty() || advance <= 0) return;
  FollowRatio();
  const Face& f = FaceFor(style);
  const QRgb fgRgb = ToQColor(fg).rgb(), bgRgb = ToQColor(bg).rgb();
  if (std::max(y, 0) >= std::min(y + f.height, height_)) return;
  MakeRoomForTiles(advance);
  TileTable& table = TilesFor(fgRgb, bgRgb, style);
  const int stride = DeviceSpan(advance, ratio_);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int left = x + static_cast<int>(i) * advance;
    if (left >= width_) break;
    if (left + advance <= 0) continue;
    Blit(Tile(table, static_cast<unsigned char>(bytes[i]), fgRgb, bgRgb, style, advance, f), stride, left, y,
         advance, f.height);
  }
}

const QRgb* ImageCanvas::ClusterTile(std::string_view cluster, int columns, QRgb fg, QRgb bg, std::uint8_t style,
                                     int advance, const Face& face) {
  const char colours[] = {static_cast<char>(fg),          static_cast<char>(fg >> 8), static_cast<char>(fg >> 16),
                          static_cast<char>(bg),          static_cast<char>(bg >> 8), static_cast<char>(bg >> 16),
                          static_cast<char>(style & 0x0F)};
  clusterKey_.assign(colours, sizeof colours);
  clusterKey_.append(cluster);
  if (auto it = clusterIndex_.find(clusterKey_); it != clusterIndex_.end()) return tiles_.data() + it->second;

  const int width = columns * advance;
  const int deviceWidth = DeviceSpan(width, ratio_), deviceHeight = DeviceSpan(face.height, ratio_);
  QImage cell(deviceWidth, deviceHeight, QImage::Format_RGB32);
  cell.setDevicePixelRatio(ratio_);
  cell.fill(bg);
  {
    QPainter p(&cell);
    p.setPen(QColor::fromRgb(fg));
    // A letter with marks that has a composed form is drawn as that character.
    const std::u32string chars = ClusterChars(cluster);
    const QString text =
        QString::fromUcs4(chars.data(), static_cast<qsizetype>(chars.size())).normalized(QString::NormalizationForm_C);
    const QList<uint> shown = text.toUcs4();
    bool inFace = face.raw.isValid();
    for (uint ch : shown) inFace = inFace && face.raw.supportsCharacter(ch);
    const QList<quint32> glyphs = inFace && shown.size() == 1 ? face.raw.glyphIndexesForString(text) : QList<quint32>{};
    if (columns == 1 && glyphs.size() == 1 && glyphs[0] != 0) {
      // A character of the face in one cell: as the characters of a byte cell.
      QGlyphRun run;
      run.setRawFont(face.raw);
      run.setGlyphIndexes(glyphs);
      run.setPositions({QPointF(0, 0)});
      p.drawGlyphRun(QPointF(0, face.ascent), run);
    } else {
      DrawLaidOut(p, text, face.font, face.ascent, QSize(width, face.height), columns > 1 || !inFace, !inFace);
    }
    // Lines under or through the character span its cells.
    const QFontMetrics metrics(face.font);
    const int thickness = std::max(1, metrics.lineWidth());
    if (style & fontstyle::Underline)
      p.fillRect(0, face.ascent + metrics.underlinePos(), width, thickness, p.pen().color());
    if (style & fontstyle::StrikeOut)
      p.fillRect(0, face.ascent - metrics.strikeOutPos(), width, thickness, p.pen().color());
  }
  const std::size_t at = tiles_.size();
  QRgb* out = NewTile(static_cast<std::size_t>(deviceWidth) * static_cast<std::size_t>(deviceHeight));
  for (int y = 0; y < deviceHeight; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
    std::copy(line, line + deviceWidth, out + static_cast<std::size_t>(y) * static_cast<std::size_t>(deviceWidth));
  }
  clusterIndex_.emplace(clusterKey_, at);
  return out;
}

void ImageCanvas::Blit(const QRgb* tile, int stride, int left, int y, int width, int height) {
  if (ratio_ != 1.0) {
    // The tile's first pixels fill the cell's device pixels.
    const int deviceLeft = DevicePixel(left, ratio_), deviceTop = DevicePixel(y, ratio_);
    width = DevicePixel(left + width, ratio_) - deviceLeft;
    height = DevicePixel(y + height, ratio_) - deviceTop;
    left = deviceLeft;
    y = deviceTop;
  }
  const int from = std::max(left, 0), to = std::min(left + width, image_.width());
  const int top = std::max(y, 0), bottom = std::min(y + height, image_.height());
  if (from >= to) return;
  uchar* bits = image_.bits();
  const qsizetype perLine = image_.bytesPerLine();
  for (int row = top; row < bottom; ++row) {
    const QRgb* src = tile + static_cast<std::size_t>(row - y) * static_cast<std::size_t>(stride) + (from - left);
    std::copy(src, src + (to - from), reinterpret_cast<QRgb*>(bits + row * perLine) + from);
  }
}

void ImageCanvas::DrawUtf8Text(int x, int y, std::string_view text, int advance, Color fg, Color bg,
                               std::uint8_t style) {
  if (text.empty() || advance <= 0) return;
  FollowRatio();
  const Face& f = FaceFor(style);
  const QRgb fgRgb = ToQColor(fg).rgb(), bgRgb = ToQColor(bg).rgb();
  if (std::max(y, 0) >= std::min(y + f.height, height_)) return;
  MakeRoomForTiles(advance);
  TileTable& table = TilesFor(fgRgb, bgRgb, style);
  const int stride = DeviceSpan(advance, ratio_);
  int left = x;
  for (std::size_t pos = 0; pos < text.size() && left < width_;) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80 && (pos + 1 == text.size() || static_cast<unsigned char>(text[pos + 1]) < 0x80)) {
      // ASCII with no mark after it: the tile of its byte.
      if (left + advance > 0)
        Blit(Tile(table, b, fgRgb, bgRgb, style, advance, f), stride, left, y, advance, f.height);
      left += advance;
      ++pos;
      continue;
    }
    const auto next = static_cast<std::size_t>(textcol::NextChar(TTextEncoding::Utf8, text, static_cast<int>(pos)));
    const std::string_view cluster = text.substr(pos, next - pos);
    const int width = textcol::Columns(TTextEncoding::Utf8, cluster) * advance;
    // A mark with no character before it has no cell.
    if (width > 0 && left + width > 0)
      Blit(ClusterTile(cluster, width / advance, fgRgb, bgRgb, style, advance, f), DeviceSpan(width, ratio_), left,
           y, width, f.height);
    left += width;
    pos = next;
  }
}

void ImageCanvas::DrawLine(int x1, int y1, int x2, int y2, Color color) {
  FollowRatio();
  if (x1 == x2 || y1 == y2) {
    // Axis-parallel lines as exact pixel rectangles, both ends included.
    const QRect line(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
    Fill(DeviceRect(line, ratio_), ToQColor(color).rgb());
    return;
  }
  QPainter p(&image_);
  p.scale(ratio_, ratio_);
  p.setPen(QPen(ToQColor(color), ratio_ == 1.0 ? 0 : 1));
  p.drawLine(x1, y1, x2, y2);
}

}  // namespace platform
