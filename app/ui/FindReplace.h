#pragma once

// TFindForm: the non-modal Find and Replace dialog. Find and replace fields
// with the texts used before (most recent first), the search options, and
// the buttons Find next, Find previous, Replace, Replace All. Return in a
// field finds the next match; Escape closes the dialog and leaves the match
// selected. The search itself is TTextSearch's, on the window's current
// document; what happened is told in the window's status bar.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TAdvancedEditor;
class TTextSearch;
struct TFindOutcome;

class TFindForm : public QDialog {
 public:
  explicit TFindForm(QWidget* parent);
  ~TFindForm() override;

  // Set by the window: the document searched (nullptr: none), how a message
  // reaches the status bar (empty: clears it), how an action runs (its
  // errors reported), and what follows closing (the editor takes the focus).
  std::function<TAdvancedEditor*()> Target;
  std::function<void(const QString& message)> Tell;
  std::function<void(const std::function<void()>& action)> Guard;
  std::function<void()> Closed;

  // Shows the dialog with the find field (or the replace field) focused; a
  // selection within one line is the text to find.
  void ShowFind();
  void ShowReplace();
  // With the dialog's text and options, also while it is hidden. False when
  // there is no text to find yet.
  bool FindNext();
  bool FindPrevious();
  void Replace();
  void ReplaceAll();

  QComboBox* FindField() const { return find_; }
  QComboBox* ReplaceField() const { return replace_; }
  QCheckBox *MatchCase = nullptr, *WholeWords = nullptr, *RegularExpression = nullptr, *Backwards = nullptr,
            *WrapAround = nullptr, *InSelection = nullptr;

 protected:
  void reject() override;

 private:
  void Open(QComboBox* field);
  bool Find(bool backwards);
  // The pattern of the find field, compiled; none (and told) when it is
  // empty or PCRE2 refuses it.
  std::unique_ptr<TTextSearch> Compile();
  static void Remember(QComboBox* field);
  void Say(const QString& message);
  void TellOutcome(const TFindOutcome& out, bool backwards);
  void Run(const std::function<void()>& action);

  QComboBox* find_ = nullptr;
  QComboBox* replace_ = nullptr;
  QLabel* note_ = nullptr;  // why the last search did not run
};
