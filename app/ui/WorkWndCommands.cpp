#include "app/ui/WorkWndCommands.h"

#include "app/ui/WorkWnd.h"

namespace commands {
namespace {

using artwork::TActionIcon;
using artwork::TButtonPicture;
using enum TMenu;
using M = TMainForm;
constexpr Qt::Key kNoKey = Qt::Key_unknown;

// One row per action, its fields in the order of TCommand's. Keys: the
// window's own first, then the ones other editors use. Places: File, Edit,
// View, Tools and Help are the menu bar's menus; EditorPopup and TabsPopup
// the pop-up menus.
// clang-format off
constexpr TCommand kTable[] = {
    {&M::aNew, "New File", {Qt::Key_F4}, TActionIcon::NewFile, &M::aNewExecute, {{File, 10}},
     {8, TButtonPicture::New, "New document"}},
    {&M::aLoad, "Open file...", {Qt::Key_F3, Qt::CTRL | Qt::Key_O}, TActionIcon::Open, &M::aLoadExecute,
     {{File, 20}}},
    {&M::aSave, "Save", {Qt::Key_F2, Qt::CTRL | Qt::Key_S}, TActionIcon::Save, &M::aSaveExecute,
     {{File, 30}, {EditorPopup, 40}, {TabsPopup, 10}}, {}, kStartsDisabled},
    {&M::aSaveAs, "Save As...", {Qt::SHIFT | Qt::Key_F2, Qt::CTRL | Qt::SHIFT | Qt::Key_S}, std::nullopt,
     &M::aSaveAsExecute, {{File, 31}, {TabsPopup, 11}}},
    {&M::aSaveAll, "Save All", {kNoKey}, TActionIcon::SaveAll, &M::aSaveAllExecute, {{File, 32}}, {},
     kStartsDisabled},
    {&M::aClose, "Close tab", {Qt::CTRL | Qt::Key_W}, TActionIcon::CloseTab, &M::aCloseExecute,
     {{File, 50}, {TabsPopup, 20}}, {52, TButtonPicture::Close, "Close document"}},
    {&M::aReload, "Reload", {kNoKey}, TActionIcon::Reload, &M::aReloadExecute, {{TabsPopup, 21}},
     {96, TButtonPicture::Reload, "Reload document"}},
    {&M::aExit, "Exit", {Qt::ALT | Qt::Key_X}, TActionIcon::Exit, &M::aExitExecute, {{File, 40}}},
    {&M::aUndo, "Undo", {Qt::CTRL | Qt::Key_Z}, TActionIcon::Undo, &M::aUndoExecute,
     {{Edit, 10}, {EditorPopup, 41}}, {260, TButtonPicture::Undo, "Undo"}},
    {&M::aCut, "Cut", {Qt::CTRL | Qt::Key_X}, TActionIcon::Cut, &M::aCutExecute, {{Edit, 20}, {EditorPopup, 20}},
     {140, TButtonPicture::Cut, "Cut"}},
    {&M::aCopy, "Copy", {Qt::CTRL | Qt::Key_C}, TActionIcon::Copy, &M::aCopyExecute,
     {{Edit, 21}, {EditorPopup, 21}}, {180, TButtonPicture::Copy, "Copy"}},
    {&M::aPaste, "Paste", {Qt::CTRL | Qt::Key_V}, TActionIcon::Paste, &M::aPasteExecute,
     {{Edit, 22}, {EditorPopup, 22}}, {220, TButtonPicture::Paste, "Paste"}},
    {&M::aDelLine, "Delete Line", {Qt::CTRL | Qt::Key_Y}, TActionIcon::DeleteLine, &M::aDelLineExecute,
     {{Edit, 30}, {EditorPopup, 30}}},
    {&M::aSelectAll, "Select All", {Qt::CTRL | Qt::Key_A}, TActionIcon::SelectAll, &M::aSelectAllExecute,
     {{Edit, 40}, {EditorPopup, 10}}},
    {&M::aSelLine, "Select Line", {kNoKey}, TActionIcon::SelectLine, &M::aSelLineExecute,
     {{Edit, 41}, {EditorPopup, 11}}},
    {&M::aUpper, "UPPERCASE", {kNoKey}, TActionIcon::Uppercase, &M::aUpperExecute, {{Edit, 50}, {EditorPopup, 50}},
     {}, kNoHint},
    {&M::aLower, "lowercase", {kNoKey}, TActionIcon::Lowercase, &M::aLowerExecute, {{Edit, 51}, {EditorPopup, 51}},
     {}, kNoHint},
    // Also the Find button's, beside the search box.
    {&M::aSearch, "Find Next", {Qt::CTRL | Qt::Key_L}, TActionIcon::FindNext, &M::aSearchExecute, {},
     {508, TButtonPicture::Find, "Find"}},
    {&M::aWordWrap, "Word wrap", {kNoKey}, TActionIcon::WordWrap, &M::aWordWrapExecute, {{View, 10}}, {},
     kCheckable},
    {&M::aShowSpace, "Show invisible characters", {kNoKey}, TActionIcon::ShowSpace, &M::aShowSpaceExecute,
     {{View, 11}}, {}, kCheckable},
    {&M::aPrefs, "Preferences", {Qt::Key_F10}, TActionIcon::Preferences, &M::aPrefsExecute, {{Tools, 10}},
     {548, TButtonPicture::Preferences, "Preferences"}},
    {&M::aAbout, "About", {Qt::Key_F1}, TActionIcon::About, &M::aAboutExecute, {{Help, 10}},
     {588, TButtonPicture::About, "About"}},
    // The program's own additions, after the items above in every menu.
    {&M::aKeepFormat, "Keep line ends and TABs", {kNoKey}, std::nullopt, &M::aKeepFormatExecute, {{Tools, 11}}, {},
     kCheckable},
    {&M::aLineNumbers, "Line numbers", {kNoKey}, std::nullopt, &M::aLineNumbersExecute, {{View, 12}}, {},
     kCheckable},
    {&M::aReopenSession, "Reopen last session's documents", {kNoKey}, std::nullopt, &M::aReopenSessionExecute,
     {{Tools, 12}}, {}, kCheckable},
    {&M::aNextTab, "Next tab", {Qt::CTRL | Qt::Key_Tab}, std::nullopt, &M::aNextTabExecute},
    // X reports Shift+Tab as Backtab.
    {&M::aPrevTab, "Previous tab", {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab},
     std::nullopt, &M::aPrevTabExecute},
    {&M::aRedo, "Redo", {Qt::CTRL | Qt::SHIFT | Qt::Key_Z}, std::nullopt, &M::aRedoExecute, {{Edit, 60}}},
    {&M::aFind, "Find...", {Qt::CTRL | Qt::Key_F}, std::nullopt, &M::aFindExecute, {{Edit, 70}}},
    {&M::aReplace, "Replace...", {Qt::CTRL | Qt::Key_H}, std::nullopt, &M::aReplaceExecute, {{Edit, 71}}},
    {&M::aFindNextMatch, "Find next", {Qt::Key_F5}, std::nullopt, &M::aFindNextMatchExecute, {{Edit, 72}}},
    {&M::aFindPreviousMatch, "Find previous", {Qt::SHIFT | Qt::Key_F5}, std::nullopt,
     &M::aFindPreviousMatchExecute, {{Edit, 73}}},
    {&M::aGotoLine, "Go to line...", {Qt::CTRL | Qt::Key_G}, std::nullopt, &M::aGotoLineExecute, {{Edit, 80}}},
    {&M::aGotoBracket, "Go to matching bracket", {Qt::CTRL | Qt::Key_B}, std::nullopt, &M::aGotoBracketExecute,
     {{Edit, 81}}},
    {&M::aToggleComment, "Toggle comment", {Qt::CTRL | Qt::Key_Slash}, std::nullopt, &M::aToggleCommentExecute,
     {{Edit, 90}}},
    {&M::aCompleteWord, "Complete word", {Qt::CTRL | Qt::Key_Space}, std::nullopt, &M::aCompleteWordExecute,
     {{Edit, 91}}},
    {&M::aBrackets, "Highlight matching brackets", {kNoKey}, std::nullopt, &M::aBracketsExecute, {{View, 13}}, {},
     kCheckable},
    {&M::aCompletion, "Word completion", {kNoKey}, std::nullopt, &M::aCompletionExecute, {{Tools, 13}}, {},
     kCheckable},
};
// clang-format on

constexpr TMenuTitle kMenuBar[] = {{File, "File"}, {Edit, "Edit"}, {View, "View"}, {Tools, "Tools"}, {Help, "Help"}};

}  // namespace

std::span<const TCommand> Table() { return kTable; }
std::span<const TMenuTitle> MenuBar() { return kMenuBar; }

}  // namespace commands
