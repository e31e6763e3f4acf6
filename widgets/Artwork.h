#pragma once

// The program's pictures, drawn by code when first asked for: the flat
// buttons' four-frame pictures, the icons of the main window's actions and
// the program icon. Nothing is read from files or the desktop's theme.
// A QGuiApplication must exist.

#include <QIcon>
#include <QImage>

namespace artwork {

enum class TButtonPicture { New, Close, Reload, Cut, Copy, Paste, Undo, Find, Preferences, About };

// A button frame is kButtonSize square; a picture stacks four frames
// (normal, hot, pressed, disabled), kButtonSize wide and 4 * kButtonSize high,
// on a transparent background.
constexpr int kButtonSize = 37;
QImage ButtonPicture(TButtonPicture which);

enum class TActionIcon {
  NewFile,
  Open,
  Save,
  SaveAll,
  CloseTab,
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
  FindNext,
  WordWrap,
  ShowSpace,
  Preferences,
  About,
};

// The icon at 16, 24 and 32 pixels.
QIcon ActionIcon(TActionIcon which);
// One size of it, `size` pixels square, on a transparent background.
QImage ActionImage(TActionIcon which, int size);

// The program icon at 16 to 128 pixels, and one size of it.
QIcon ProgramIcon();
QImage ProgramImage(int size);

}  // namespace artwork
