#include "qt/AECmplList.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "editor/AdvCompletion.h"
#include "editor/TextColumns.h"
#include "qt/Codepage.h"

namespace {

QColor ToQColor(platform::Color c, const QPalette& palette) {
  if (platform::IsSystemColor(c)) {
    switch (c) {
      case platform::syscolor::Window:
        return palette.color(QPalette::Base);
      case platform::syscolor::WindowText:
        return palette.color(QPalette::Text);
      case platform::syscolor::Highlight:
        return palette.color(QPalette::Highlight);
      case platform::syscolor::HighlightText:
        return palette.color(QPalette::HighlightedText);
      case platform::syscolor::ButtonFace:
        return palette.color(QPalette::Button);
      case platform::syscolor::ButtonText:
        return palette.color(QPalette::ButtonText);
      case platform::syscolor::ButtonShadow:
        return palette.color(QPalette::Dark);
      case platform::syscolor::ButtonHighlight:
        return palette.color(QPalette::Light);
      case platform::syscolor::GrayText:
        return palette.color(QPalette::Disabled, QPalette::Text);
      default:
        return palette.color(QPalette::Text);
    }
  }
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont ToQFont(const platform::FontSpec& want) {
  QFont f(QString::fromStdString(want.name), want.size);
  f.setBold(want.style & platform::fontstyle::Bold);
  f.setItalic(want.style & platform::fontstyle::Italic);
  f.setUnderline(want.style & platform::fontstyle::Underline);
  f.setStrikeOut(want.style & platform::fontstyle::StrikeOut);
  return f;
}

// The draw event's canvas: the list's painter, clipped to the list.
class PainterCanvas : public platform::Canvas {
 public:
  PainterCanvas(QPainter& painter, QSize size, const QPalette& palette)
      : painter_(painter), size_(size), palette_(palette) {}
  int Width() const override { return size_.width(); }
  int Height() const override { return size_.height(); }
  void Resize(int, int) override {}
  void SetFont(const platform::FontSpec& font) override { font_ = font; }
  platform::Point MeasureGlyph(char ch, std::uint8_t style) override {
    platform::FontSpec want = font_;
    want.style = style;
    QFontMetrics m(ToQFont(want));
    return {m.horizontalAdvance(QChar(codepage::ToUnicode(static_cast<unsigned char>(ch)))), m.height()};
  }
  void FillRect(const platform::Rect& r, platform::Color color) override {
    painter_.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(color, palette_));
  }
  void DrawText(int x, int y, std::string_view bytes, int advance, platform::Color fg, platform::Color bg,
                std::uint8_t style) override {
    platform::FontSpec want = font_;
    want.style = style;
    const QFont font = ToQFont(want);
    const QFontMetrics m(font);
    painter_.fillRect(QRect(x, y, advance * static_cast<int>(bytes.size()), m.height()),
                      ToQColor(bg, palette_));
    painter_.setFont(font);
    painter_.setPen(ToQColor(fg, palette_));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const QChar ch(codepage::ToUnicode(static_cast<unsigned char>(bytes[i])));
      painter_.drawText(x + static_cast<int>(i) * advance, y + m.ascent(), QString(ch));
    }
  }
  void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, platform::Color fg, platform::Color bg,
                    std::uint8_t style) override {
    platform::FontSpec want = font_;
    want.style = style;
    const QFont font = ToQFont(want);
    const QFontMetrics m(font);
    constexpr TTextEncoding kUtf8 = TTextEncoding::Utf8;
    painter_.fillRect(QRect(x, y, advance * textcol::Columns(kUtf8, utf8), m.height()), ToQColor(bg, palette_));
    painter_.setFont(font);
    painter_.setPen(ToQColor(fg, palette_));
    int column = 0;
    for (int pos = 0; pos < static_cast<int>(utf8.size());) {
      const int next = textcol::NextChar(kUtf8, utf8, pos);
      const std::string_view cluster = utf8.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(next - pos));
      painter_.drawText(x + column * advance, y + m.ascent(),
                        QString::fromUtf8(cluster.data(), static_cast<qsizetype>(cluster.size())));
      column += textcol::Columns(kUtf8, cluster);
      pos = next;
    }
  }
  void DrawLine(int x1, int y1, int x2, int y2, platform::Color color) override {
    painter_.setPen(ToQColor(color, palette_));
    painter_.drawLine(x1, y1, x2, y2);
  }

 private:
  QPainter& painter_;
  QSize size_;
  const QPalette& palette_;
  platform::FontSpec font_{"MS Sans Serif", 8, 0, platform::syscolor::WindowText};
};

class ItemDelegate : public QStyledItemDelegate {
 public:
  explicit ItemDelegate(TAdvEditCompletionList& list) : QStyledItemDelegate(&list), list_(list) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    list_.PaintItem(*painter, option.rect, index.row());
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    return {0, list_.HeightOf(index.row())};
  }

 private:
  TAdvEditCompletionList& list_;
};

}  // namespace

TAdvEditCompletionList::TAdvEditCompletionList() : QListWidget(nullptr) {
  // A top-level pop-up that the window manager leaves alone and that never
  // becomes the active window.
  setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  viewport()->setFocusPolicy(Qt::NoFocus);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setFont(QFont("MS Sans Serif", 8));
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setAutoScroll(false);
  setUniformItemSizes(true);
  setItemDelegate(new ItemDelegate(*this));
  setMouseTracking(false);
  setGeometry(-1000, 0, 100, 30);

  scrollTimer_.setInterval(200);
  QObject::connect(&scrollTimer_, &QTimer::timeout, this, [this] { ScrollTick(); });
  // The system's cancel: the application stops being the active one.
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive) Cancel();
  });
}

TAdvEditCompletionList::~TAdvEditCompletionList() { scrollTimer_.stop(); }

void TAdvEditCompletionList::SetItems(int mode, std::vector<platform::CompletionItem> items) {
  mode_ = mode;
  items_ = std::move(items);
  clear();
  for (const platform::CompletionItem& item : items_) addItem(codepage::ToQString(item.Entry));
  index_ = -1;
}

void TAdvEditCompletionList::SetItemIndex(int index) {
  index_ = index >= 0 && index < Count() ? index : -1;
  if (index_ >= 0) scrollToItem(item(index_));
  viewport()->update();
}

void TAdvEditCompletionList::SetItemHeight(int height) {
  itemHeight_ = std::max(1, height);
  doItemsLayout();
}

void TAdvEditCompletionList::SetStyle(platform::ListBoxStyle style) {
  style_ = style;
  setUniformItemSizes(style != platform::ListBoxStyle::OwnerDrawVariable);
  doItemsLayout();
}

int TAdvEditCompletionList::HeightOf(int index) const {
  int height = itemHeight_;
  if (style_ == platform::ListBoxStyle::OwnerDrawVariable && measureItem_) measureItem_(index, height);
  return std::max(1, height);
}

void TAdvEditCompletionList::PaintItem(QPainter& painter, const QRect& rect, int index) {
  if (index < 0 || index >= Count()) return;
  const bool selected = index == index_;
  painter.save();
  if (drawItem_) {
    PainterCanvas canvas(painter, viewport()->size(), palette());
    drawItem_(canvas, index, {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1}, selected);
    painter.restore();
    return;
  }
  const QPalette& pal = palette();
  painter.fillRect(rect, pal.color(selected ? QPalette::Highlight : QPalette::Base));
  painter.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
  const platform::CompletionItem& it = items_[static_cast<std::size_t>(index)];
  const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
  QFont font = this->font();
  painter.setFont(font);
  if (style_ == platform::ListBoxStyle::Standard) {
    painter.drawText(rect.adjusted(kTextMargin, 0, 0, 0), flags | Qt::AlignLeft,
                     codepage::ToQString(it.Entry));
  } else {
    painter.drawText(rect.adjusted(kTextMargin, 0, 0, 0), flags | Qt::AlignLeft,
                     codepage::ToQString(it.Text));
    if (mode_ == 1) {
      font.setBold(true);
      painter.setFont(font);
      painter.drawText(rect.adjusted(0, 0, -kNameMargin, 0), flags | Qt::AlignRight,
                       codepage::ToQString(it.Name));
    }
  }
  painter.restore();
}

void TAdvEditCompletionList::ShowAt(const platform::Rect& bounds) {
  setGeometry(bounds.left, bounds.top, bounds.Width(), bounds.Height());
  // Always shown from hidden: a new top-level window maps above the others.
  show();
  if (index_ >= 0) scrollToItem(item(index_));
}

void TAdvEditCompletionList::Hide() {
  scrollTimer_.stop();
  hide();
}

void TAdvEditCompletionList::KeyPress(platform::ListKey key) {
  const int page = std::max(1, viewport()->height() / itemHeight_);
  SetItemIndex(platform::MovedSelection(index_, Count(), page, key));
}

// ---------------------------------------------------------------- mouse

void TAdvEditCompletionList::SelectAt(const QPoint& pos) {
  QListWidgetItem* under = itemAt(pos);
  if (under) SetItemIndex(row(under));
}

void TAdvEditCompletionList::mousePressEvent(QMouseEvent* event) {
  // While a button is held every move comes here (the implicit grab).
  SelectAt(event->position().toPoint());
}

void TAdvEditCompletionList::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const QPoint pos = event->position().toPoint();
  const int h = viewport()->height();
  SelectAt(pos);
  int outside = 0;
  if (pos.y() < 0) {
    scrollDirection_ = -1;
    outside = -pos.y();
  } else if (pos.y() >= h) {
    scrollDirection_ = 1;
    outside = pos.y() - h + 1;
  } else {
    scrollDirection_ = 0;
  }
  if (scrollDirection_ == 0) {
    scrollTimer_.stop();
    return;
  }
  const int interval = outside > itemHeight_ ? 50 : 200;
  if (!scrollTimer_.isActive() || scrollTimer_.interval() != interval) scrollTimer_.start(interval);
}

void TAdvEditCompletionList::ScrollTick() {
  if (scrollDirection_ == 0 || Count() == 0) return;
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + scrollDirection_);
  // The selection follows to the edge the pointer is beyond.
  const QPoint edge(1, scrollDirection_ < 0 ? 0 : viewport()->height() - 1);
  QListWidgetItem* at = itemAt(edge);
  SetItemIndex(at ? row(at) : (scrollDirection_ < 0 ? 0 : Count() - 1));
}

void TAdvEditCompletionList::mouseReleaseEvent(QMouseEvent* event) {
  scrollTimer_.stop();
  const bool accept =
      event->button() == Qt::LeftButton && viewport()->rect().contains(event->position().toPoint());
  if (OnClose) OnClose(accept);
}

void TAdvEditCompletionList::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void TAdvEditCompletionList::Cancel() {
  if (!isVisible()) return;
  scrollTimer_.stop();
  if (OnClose) {
    OnClose(false);
  } else {
    hide();
  }
}

void InstallQtCompletionList() {
  TCompletion::ListFactory = [] { return std::make_unique<TAdvEditCompletionList>(); };
}
