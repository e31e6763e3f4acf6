// TMainForm: the language aids of the documents: matching brackets, line
// comments and word completion.

#include "app/Kernel.h"
#include "app/ui/WorkWnd.h"
#include "highlight/SourceAids.h"

namespace {

constexpr const char* kBracketsSetting = "Editor.HighlightBrackets";
constexpr const char* kCompletionSetting = "Editor.WordCompletion";

}  // namespace

void TMainForm::ReadAidOptions() {
  aBrackets->setChecked(Settings && Settings->PeekBool(kBracketsSetting));
  aCompletion->setChecked(Settings && Settings->PeekBool(kCompletionSetting));
}

void TMainForm::WriteAidOptions() {
  if (!Settings) return;
  if (bracketsChanged_) Settings->WriteBool(kBracketsSetting, aBrackets->isChecked());
  if (completionChanged_) Settings->WriteBool(kCompletionSetting, aCompletion->isChecked());
}

void TMainForm::ConfigureAids(TSourceEditor& editor) {
  aids::AttachCodeMask(editor);
  editor.SetBracketHighlight(aBrackets->isChecked());
  aids::SetCompletion(editor, aCompletion->isChecked());
}

void TMainForm::aBracketsExecute() {
  bracketsChanged_ = true;
  for (int i = 0; i < Manager().Count(); ++i) Manager().Editor(i).SetBracketHighlight(aBrackets->isChecked());
}

void TMainForm::aCompletionExecute() {
  completionChanged_ = true;
  for (int i = 0; i < Manager().Count(); ++i) aids::SetCompletion(Manager().Editor(i), aCompletion->isChecked());
}

void TMainForm::aGotoBracketExecute() {
  if (Manager().Count() > 0) Current().GotoMatchingBracket();
}

void TMainForm::aToggleCommentExecute() {
  if (Manager().Count() > 0) aids::ToggleComment(Current());
}

void TMainForm::aCompleteWordExecute() {
  if (Manager().Count() > 0) Current().ExecuteCommand(cmdCompleteWord);
}
