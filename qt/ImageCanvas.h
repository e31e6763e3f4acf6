#pragma once

// A canvas on a QImage, drawing Windows-1252 bytes and UTF-8 text in cells.
// Text is laid out in fixed cells: every character advances by the caller's
// advance (two for a wide character), whatever the font says, and is clipped
// to its cells. A character the font lacks is drawn from the font Qt's font
// matching finds for it, scaled down where it would not fit its cells.
//
// Coordinates are logical pixels; the pixels are device pixels, `ratio` of
// them to a logical one (the screen's device pixel ratio, which may be
// fractional). Glyphs are rasterised at device pixels. A logical coordinate
// v stands at device pixel DevicePixel(v, ratio): adjoining cells and rows
// meet without a gap or an overlap at every ratio.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "editor/TextEncoding.h"
#include "platform/Canvas.h"

class QPalette;

namespace platform {

// A colour of the 0x00BBGGRR encoding, or a system colour index (high byte
// 0xFF) looked up in `palette` (the application's palette when none).
QColor ToQColor(Color color, const QPalette* palette = nullptr);

// Font sizes are points at 96 dots per inch, as on the desktop the sizes
// were chosen for: 12 points are 16 pixels.
int PointsToPixels(int points);

// Loads the face of `font` (its name, size and style) for every canvas that
// draws with it later; the first face loaded brings in the system's fonts.
// Faces are kept until the application object goes. GUI thread only.
void PrepareFace(const FontSpec& font);

// The device pixel where logical coordinate `v` starts.
inline int DevicePixel(int v, double ratio) {
  return ratio == 1.0 ? v : static_cast<int>(std::floor(v * ratio + 1e-6));
}
// A logical rectangle's device pixels.
inline QRect DeviceRect(const QRect& r, double ratio) {
  if (ratio == 1.0) return r;
  const int left = DevicePixel(r.left(), ratio), top = DevicePixel(r.top(), ratio);
  return QRect(left, top, DevicePixel(r.left() + r.width(), ratio) - left,
               DevicePixel(r.top() + r.height(), ratio) - top);
}
// The most device pixels `logical` pixels can span, wherever they start.
inline int DeviceSpan(int logical, double ratio) {
  return ratio == 1.0 ? logical : static_cast<int>(std::ceil(logical * ratio - 1e-6));
}

class ImageCanvas : public Canvas {
 public:
  // `ratio`, when given, is the window's device pixel ratio, read before
  // every drawing: when it changed, the canvas is made again at the new one
  // (its pixels are then to be drawn again).
  ImageCanvas(int width, int height, std::shared_ptr<const double> ratio = nullptr);

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Resize(int width, int height) override;
  void SetFont(const FontSpec& font) override;
  Point MeasureGlyph(char ch, std::uint8_t style) override;
  void FillRect(const Rect& r, Color color) override;
  void DrawText(int x, int y, std::string_view bytes, int advance, Color fg, Color bg, std::uint8_t style) override;
  void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, Color fg, Color bg, std::uint8_t style) override;
  void DrawLine(int x1, int y1, int x2, int y2, Color color) override;

  // The pixels drawn so far (RGB32), in device pixels.
  const QImage& Image() const { return image_; }
  double Ratio() const { return ratio_; }
  // The Qt font used for `style` in the current font.
  QFont FontFor(std::uint8_t style);

 private:
  struct Face {
    QFont font;
    QRawFont raw;
    int ascent = 0;
    int height = 0;
    std::array<quint32, 256> glyphs{};  // per byte; 0 = the font has none
  };
  Face& FaceFor(std::uint8_t style);
  char32_t CellChar(unsigned char cell) const { return Windows1252Char(cell); }
  // Follows the window's ratio; true when it changed.
  bool FollowRatio();
  void Allocate();
  // Fills device pixels.
  void Fill(QRect r, QRgb rgb);
  // Where the tiles of one colour pair and style are, by byte: 1 + their
  // first pixel in tiles_, 0 for none yet.
  using TileTable = std::array<std::uint32_t, 256>;
  TileTable& TilesFor(QRgb fg, QRgb bg, std::uint8_t style);
  // The pixels of one character cell, DeviceSpan(advance) x
  // DeviceSpan(height) device pixels, rendered once per character, colours
  // and style and kept for the next time.
  const QRgb* Tile(TileTable& table, unsigned char byte, QRgb fg, QRgb bg, std::uint8_t style, int advance,
                   const Face& face);
  // The same for a character of UTF-8 text with the combining marks after
  // it, `columns` cells wide.
  const QRgb* ClusterTile(std::string_view cluster, int columns, QRgb fg, QRgb bg, std::uint8_t style, int advance,
                          const Face& face);
  // Drops the tiles when they were made for another advance or grew too
  // many; called before a run of text is drawn, never within it.
  void MakeRoomForTiles(int advance);
  void DropTiles();
  // Room for a new tile of `pixels` at the end of those kept.
  QRgb* NewTile(std::size_t pixels);
  // Copies the tile of logical size `width` x `height` (rows of `stride`
  // pixels) to the image at logical (left, y).
  void Blit(const QRgb* tile, int stride, int left, int y, int width, int height);

  QImage image_;
  int width_ = 1, height_ = 1;
  std::shared_ptr<const double> ratioSource_;
  double ratio_ = 1.0;
  FontSpec spec_;
  std::array<std::optional<Face>, 16> faces_;
  std::unordered_map<std::uint64_t, TileTable> tileTables_;  // by colours and style
  // Tiles of UTF-8 characters, by colours, style and bytes (clusterKey_ is
  // the scratch key of a look-up).
  std::unordered_map<std::string, std::size_t> clusterIndex_;
  std::string clusterKey_;
  static constexpr std::size_t kFirstTiles = std::size_t{64} << 10;     // pixels reserved for tiles at first
  static constexpr std::size_t kMostTilePixels = std::size_t{2} << 20;  // tiles this large are dropped
  std::vector<QRgb> tiles_;
  QImage tileCell_;                      // where a Windows-1252 tile is drawn before it is kept
  std::optional<QPainter> tilePainter_;  // open on tileCell_
  int tileAdvance_ = 0;
};

}  // namespace platform
