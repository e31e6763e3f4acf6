#pragma once

// The main window's command table: every action of TMainForm, with its
// caption, its keys, its icon, its handler, its places in the menus and its
// button, as one array of plain records. The window makes its actions, its
// menus, its pop-up menus and its button bar from this table; only the File
// menu's list of recent files and the search box are made apart.
//
// The window's keys work wherever the window has the focus, the editing
// control included, and come before the editor's own key table (AEKeys):
// where both bind a key, the window's action runs. The table takes over only
// editor keys whose action does what the editor's binding does (Ctrl+C,
// Ctrl+X, Ctrl+V, Ctrl+Z, Ctrl+Y); every other key of the table is one the
// editor leaves unbound.

#include <QKeyCombination>
#include <cstdint>
#include <optional>
#include <span>

#include "widgets/Artwork.h"

class QAction;
class TMainForm;

namespace commands {

// The menus an action stands in: the menu bar's, then the pop-up menus of
// the documents (`pmEdit`) and of the tab row (`pmTabs`).
enum class TMenu : std::uint8_t { None, File, Edit, View, Tools, Help, EditorPopup, TabsPopup };

// A place in a menu. Items stand in the order of `place`; its tens are the
// item's group, and a separator stands between two groups: 30, 31 and 40
// give two items, a separator and one item.
struct TMenuPlace {
  TMenu menu = TMenu::None;
  std::uint8_t place = 0;
};

// A flat button of the button bar, which runs the action.
struct TButton {
  int left = 0;  // pixels from the bar's left edge; 0 = the action has no button
  artwork::TButtonPicture picture = artwork::TButtonPicture::New;
  const char* hint = nullptr;
};

enum TCommandFlags : std::uint8_t {
  kCheckable = 1,       // a check item
  kNoHint = 2,          // no tool tip
  kStartsDisabled = 4,  // disabled until the documents say otherwise
};

constexpr int kMaxKeys = 3;
constexpr int kMaxPlaces = 3;

struct TCommand {
  QAction* TMainForm::*action;
  const char* caption;
  // The first key is the one the menus show; Qt::Key_unknown ends the list.
  QKeyCombination keys[kMaxKeys];
  std::optional<artwork::TActionIcon> icon;
  void (TMainForm::*execute)();
  TMenuPlace places[kMaxPlaces] = {};
  TButton button = {};
  std::uint8_t flags = 0;
};

// Every action, in the order the window makes them.
std::span<const TCommand> Table();

// The titles of the menu bar's menus, in their order.
struct TMenuTitle {
  TMenu menu;
  const char* title;
};
std::span<const TMenuTitle> MenuBar();

}  // namespace commands
