#include "app/ui/CfgMgr.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <algorithm>

#include "app/Kernel.h"
#include "qt/Codepage.h"

namespace {

struct TNamedColor {
  const char* Name;
  int Color;
};

constexpr TNamedColor kStandardColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

QIcon Swatch(int color) {
  QPixmap pixmap(16, 12);
  pixmap.fill(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
  return QIcon(pixmap);
}

std::vector<QRadioButton*> RadioItems(QGroupBox& group) {
  auto list = group.findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
  return {list.begin(), list.end()};
}

int CheckedIndex(QGroupBox& group) {
  auto items = RadioItems(group);
  auto it = std::find_if(items.begin(), items.end(), [](QRadioButton* b) { return b->isChecked(); });
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void CheckIndex(QGroupBox& group, int index) {
  auto items = RadioItems(group);
  index = std::clamp(index, -1, static_cast<int>(items.size()) - 1);
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    // Exclusive buttons cannot be unchecked one by one.
    bool exclusive = items[i]->autoExclusive();
    items[i]->setAutoExclusive(false);
    items[i]->setChecked(i == index);
    items[i]->setAutoExclusive(exclusive);
  }
}

// Multi-line boxes keep their text with CR LF line breaks in the settings.
std::string ToSettingsText(const QString& text) {
  std::string bytes = codepage::FromQString(text);
  std::string out;
  for (char c : bytes) {
    if (c == '\n')
      out += "\r\n";
    else
      out.push_back(c);
  }
  return out;
}

QString FromSettingsText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return codepage::ToQString(out);
}

}  // namespace

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
  for (const TNamedColor& c : kStandardColors) addItem(Swatch(c.Color), c.Name, c.Color);
}

int TColorBox::Selected() const { return currentIndex() < 0 ? 0 : currentData().toInt(); }

void TColorBox::SetSelected(int color) {
  int index = findData(color);
  if (index < 0) {
    addItem(Swatch(color), "Custom", color);
    index = count() - 1;
  }
  setCurrentIndex(index);
}

void TConfigManager::Bind(QWidget* control, const std::string& name) { FBindings.push_back({name, control}); }

TIniStore& TConfigManager::Store() const { return FStore ? *FStore : *Settings; }

void TConfigManager::LoadControls() {
  TIniStore& store = Store();
  for (const TBinding& binding : FBindings) {
    QWidget* control = binding.Control;
    if (!control) continue;
    const std::string& name = binding.Name;
    if (auto* box = qobject_cast<QCheckBox*>(control)) box->setChecked(store.ReadBool(name));
    if (auto* radio = qobject_cast<QRadioButton*>(control)) radio->setChecked(store.ReadBool(name));
    if (auto* colors = dynamic_cast<TColorBox*>(control)) colors->SetSelected(store.ReadInteger(name));
    if (auto* group = qobject_cast<QGroupBox*>(control)) CheckIndex(*group, store.ReadInteger(name));
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
      memo->setPlainText(FromSettingsText(store.ReadText(name)));
    if (auto* memo = qobject_cast<QTextEdit*>(control))
      memo->setPlainText(FromSettingsText(store.ReadText(name)));
    if (auto* edit = qobject_cast<QLineEdit*>(control))
      edit->setText(codepage::ToQString(store.ReadString(name)));
  }
}

void TConfigManager::SaveControls() {
  TIniStore& store = Store();
  for (const TBinding& binding : FBindings) {
    QWidget* control = binding.Control;
    if (!control) continue;
    const std::string& name = binding.Name;
    if (auto* box = qobject_cast<QCheckBox*>(control)) store.WriteBool(name, box->isChecked());
    if (auto* radio = qobject_cast<QRadioButton*>(control)) store.WriteBool(name, radio->isChecked());
    if (auto* colors = dynamic_cast<TColorBox*>(control)) store.WriteInteger(name, colors->Selected());
    if (auto* group = qobject_cast<QGroupBox*>(control)) store.WriteInteger(name, CheckedIndex(*group));
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
      store.WriteText(name, ToSettingsText(memo->toPlainText()));
    if (auto* memo = qobject_cast<QTextEdit*>(control))
      store.WriteText(name, ToSettingsText(memo->toPlainText()));
    if (auto* edit = qobject_cast<QLineEdit*>(control))
      store.WriteString(name, codepage::FromQString(edit->text()));
  }
}
