#pragma once

// A canvas on a QImage, drawing Windows-1252 bytes and UTF-8 text in cells.
// Text is laid out in fixed cells: every character advances by the caller's
// advance (two for a wide character), whatever the font says, and is clipped
// to its cells. A character the font lacks is drawn from the font Qt's font
// matching finds for it, scaled down where it would not fit its cells.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <array>
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

class ImageCanvas : public Canvas {
 public:
  ImageCanvas(int width, int height);

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  void Resize(int width, int height) override;
  void SetFont(const FontSpec& font) override;
  Point MeasureGlyph(char ch, std::uint8_t style) override;
  void FillRect(const Rect& r, Color color) override;
  void DrawText(int x, int y, std::string_view bytes, int advance, Color fg, Color bg, std::uint8_t style) override;
  void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, Color fg, Color bg, std::uint8_t style) override;
  void DrawLine(int x1, int y1, int x2, int y2, Color color) override;

  // The pixels drawn so far (RGB32).
  const QImage& Image() const { return image_; }
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
  void Fill(QRect r, QRgb rgb);
  // Where the tiles of one colour pair and style are, by byte: 1 + their
  // first pixel in tiles_, 0 for none yet.
  using TileTable = std::array<std::uint32_t, 256>;
  TileTable& TilesFor(QRgb fg, QRgb bg, std::uint8_t style);
  // The pixels of one character cell, advance x height, rendered once per
  // character, colours and style and kept for the next time.
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
  // Copies `width` pixels of a tile's rows to the image at (left, y).
  void Blit(const QRgb* tile, int left, int y, int width, int height);

  QImage image_;
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
