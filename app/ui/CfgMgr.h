#pragma once

// Ties dialog controls to settings names, so that a dialog fills all its
// controls from the settings in one call and writes them back in another.
//
// How a control's value moves depends on its kind, tested in this order,
// every matching kind applied:
//   QCheckBox, QRadioButton   checked        ReadBool / WriteBool
//   TColorBox                 colour         ReadInteger / WriteInteger
//   QGroupBox                 index of the checked radio button among its
//                             direct children (-1: none)  ReadInteger / WriteInteger
//   QPlainTextEdit, QTextEdit text, escaped with its line breaks as CR LF
//                             ReadText / WriteText
//   QLineEdit                 text           ReadString / WriteString
// Any other control is left alone. Text is converted through the code page.

#include <QComboBox>
#include <QPointer>
#include <string>
#include <vector>

class TIniStore;

// A drop-down of colours; a colour is 0x00BBGGRR.
class TColorBox : public QComboBox {
 public:
  explicit TColorBox(QWidget* parent = nullptr);
  // The colour of the chosen item; black when none is chosen.
  int Selected() const;
  // Chooses the item of `color`, adding one when the list has none.
  void SetSelected(int color);
};

class TConfigManager {
 public:
  // Works on the global Settings, or on `store` when given.
  explicit TConfigManager(TIniStore* store = nullptr) : FStore(store) {}

  // Appends a binding; the control is not owned, and one that is gone by
  // the time of a load or save is skipped.
  void Bind(QWidget* control, const std::string& name);
  void LoadControls();
  void SaveControls();

 private:
  struct TBinding {
    std::string Name;
    QPointer<QWidget> Control;
  };
  TIniStore& Store() const;

  std::vector<TBinding> FBindings;
  TIniStore* FStore;
};
