// The main window's command table beside the editor's key table: no key is
// bound twice, the window takes over exactly the editing keys it names and
// they do what the editor's bindings do; the menus, pop-up menus and
// buttons built from the table.

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <map>

#include "app/Kernel.h"
#include "app/ui/WorkWnd.h"
#include "app/ui/WorkWndCommands.h"
#include "editor/AEKeys.h"
#include "qt/KeyMap.h"
#include "qt/QtEditorWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "widgets/flat_button.h"

namespace {

using Key = std::pair<std::uint16_t, TShiftState>;  // virtual key and modifiers, as the editor's table has them

Key EditorKeyOf(QKeyCombination k) {
  return {platform::VirtualKeyOf(k.key(), k.keyboardModifiers()), platform::ShiftStateOf(k.keyboardModifiers())};
}

// The keys of the editor's table that the window's actions take over, by name.
struct TakeOver {
  const char* action;
  Key key;
  std::uint16_t command;  // what the editor's binding runs
};
const TakeOver kTakeOvers[] = {{"Undo", {'Z', shift::Ctrl}, cmdUndo},
                               {"Cut", {'X', shift::Ctrl}, cmdCut},
                               {"Copy", {'C', shift::Ctrl}, cmdCopy},
                               {"Paste", {'V', shift::Ctrl}, cmdPaste},
                               {"Delete Line", {'Y', shift::Ctrl}, cmdDeleteLine}};

TEST(CommandTable, NoKeyIsBoundTwiceAcrossBothTablesButTheNamedTakeOvers) {
  TKeyboard editorKeys;
  editorKeys.LoadDefaults();
  std::map<Key, std::uint16_t> editor;
  for (const TEditKey& k : editorKeys.Keys())
    EXPECT_TRUE(editor.emplace(Key{k.Key1, k.Shift1}, k.Command).second) << "twice in the editor's table: " << k.Key1;
  EXPECT_EQ(editor.size(), 46u);

  std::map<Key, std::string> window;
  std::map<std::string, Key> takenOver;
  int shortcuts = 0;
  for (const commands::TCommand& c : commands::Table()) {
    std::map<Key, int> own;  // Ctrl+Shift+Tab and Ctrl+Shift+Backtab are one key
    for (QKeyCombination k : c.keys)
      if (k.key() != Qt::Key_unknown) {
        ++shortcuts;
        const Key key = EditorKeyOf(k);
        ASSERT_NE(key.first, 0) << c.caption << ": a key the editor cannot name";
        if (own[key]++) continue;
        EXPECT_TRUE(window.emplace(key, c.caption).second) << c.caption << " and " << window[key];
        if (editor.count(key)) takenOver[c.caption] = key;
      }
  }
  EXPECT_EQ(shortcuts, 30);
  ASSERT_EQ(takenOver.size(), std::size(kTakeOvers));
  for (const TakeOver& t : kTakeOvers) {
    EXPECT_EQ(takenOver[t.action], t.key) << t.action;
    EXPECT_EQ(editor[t.key], t.command) << t.action;
  }
}

class CommandTableWindow : public ::testing::Test {
 protected:
  CommandTableWindow() {
    TAppServices services;
    services.ExeName = dir.File("quorvel");
    App = new TApp(std::move(services));
    form = std::make_unique<TMainForm>(dir.File("a.txt"));
  }
  ~CommandTableWindow() override {
    form.reset();
    delete App;
  }
  std::vector<std::string> Items(QMenu* menu) const {
    std::vector<std::string> texts;
    for (QAction* item : menu->actions()) texts.push_back(item->text().toStdString());
    return texts;
  }
  TempDir dir;
  std::unique_ptr<TMainForm> form;
};

// Each taken-over key reaches the window (the editor does not claim it),
// and its action leaves the text, the caret and the clipboard as the
// editor's own binding of the key does.
TEST_F(CommandTableWindow, TakenOverKeysReachTheWindowAndDoWhatTheEditorsBindingDoes) {
  TSourceEditor& e = form->Current();
  auto* host = dynamic_cast<platform::QtEditorWindow*>(e.Window());
  ASSERT_NE(host, nullptr);
  std::map<std::string, QAction*> actions;
  for (QAction* a : form->actions()) actions[a->text().toStdString()] = a;
  for (const TakeOver& t : kTakeOvers) {
    SCOPED_TRACE(t.action);
    QAction* action = actions[t.action];
    ASSERT_NE(action, nullptr);
    const QKeyCombination k = action->shortcut()[0];
    QKeyEvent probe(QEvent::ShortcutOverride, k.key(), k.keyboardModifiers());
    probe.ignore();
    QCoreApplication::sendEvent(host, &probe);
    EXPECT_FALSE(probe.isAccepted()) << "the editor claims the key";
    std::string results[2];  // the text, the caret and the clipboard after the key's action, after the binding
    for (std::string& result : results) {
      e.Window()->GetClipboard().SetText("pasted");
      e.Lines->SetTextStr("one\r\ntwo\r\nthree");
      e.MoveCaret(1, 1);
      e.ExecuteCommand(cmdSelectRight);
      e.ExecuteCommand(cmdSelectRight);
      e.KeyPress('!');  // something to undo
      e.MoveCaret(0, 1);
      e.ExecuteCommand(cmdSelectLineEnd);
      if (&result == results) {
        action->trigger();
      } else {
        e.ExecuteCommand(e.Keyboard->FindKey(t.key.first, t.key.second));
      }
      for (int i = 0; i < e.Lines->Count(); ++i) result += e.Lines->Get(i) + "|";
      result += std::to_string(e.CaretX) + ":" + std::to_string(e.CaretY) + " " + e.Window()->GetClipboard().GetText();
    }
    EXPECT_EQ(results[0], results[1]);
  }
}

// The described items first, in their order; the program's own after them.
TEST_F(CommandTableWindow, MenusButtonsAndChecksAreTheDescribedOnes) {
  using Texts = std::vector<std::string>;
  struct Menu {
    QString title;
    Texts described, added;
  };
  // clang-format off
  const Menu menus[] = {
      {"File", {"New File", "", "Open file...", "", "Save", "Save As...", "Save All", "", "Exit"},
               {"", "Close tab", "Recent files"}},
      {"Edit", {"Undo", "", "Cut", "Copy", "Paste", "", "Delete Line", "", "Select All", "Select Line", "",
                "UPPERCASE", "lowercase"},
               {"", "Redo", "", "Find...", "Replace...", "Find next", "Find previous", "", "Go to line...",
                "Go to matching bracket", "", "Toggle comment", "Complete word"}},
      {"View", {"Word wrap", "Show invisible characters"}, {"Line numbers", "Highlight matching brackets"}},
      {"Tools", {"Preferences"}, {"Keep line ends and TABs", "Reopen last session's documents", "Word completion"}},
      {"Help", {"About"}, {}}};
  // clang-format on
  ASSERT_EQ(form->menuBar()->actions().size(), std::ssize(menus));
  for (std::size_t i = 0; i < std::size(menus); ++i) {
    QAction* menu = form->menuBar()->actions()[static_cast<int>(i)];
    EXPECT_EQ(menu->text(), menus[i].title);
    Texts items = menus[i].described;
    items.insert(items.end(), menus[i].added.begin(), menus[i].added.end());
    EXPECT_EQ(Items(menu->menu()), items) << menus[i].title.toStdString();
  }
  EXPECT_EQ(Items(form->EditMenu()), (Texts{"Select All", "Select Line", "", "Cut", "Copy", "Paste", "", "Delete Line",
                                            "", "Save", "Undo", "", "UPPERCASE", "lowercase"}));
  EXPECT_EQ(Items(form->TabsMenu()), (Texts{"Save", "Save As...", "", "Close tab", "Reload"}));

  std::vector<std::string> checkable, disabled;
  for (QAction* a : form->actions()) {
    if (a->isCheckable()) checkable.push_back(a->text().toStdString());
    if (!a->isEnabled()) disabled.push_back(a->text().toStdString());
  }
  EXPECT_EQ(checkable, (Texts{"Word wrap", "Show invisible characters", "Keep line ends and TABs", "Line numbers",
                              "Reopen last session's documents", "Highlight matching brackets", "Word completion"}));
  EXPECT_EQ(disabled, (Texts{"Save", "Save All"})) << "nothing modified yet";
  qsizetype keys = 0;
  for (QAction* a : form->actions()) keys += a->shortcuts().size();
  EXPECT_EQ(keys, 30) << "the window binds the table's keys and no other";

  const std::tuple<int, const char*, QAction*> buttons[] = {
      {8, "New document", form->aNew}, {52, "Close document", form->aClose}, {96, "Reload document", form->aReload},
      {140, "Cut", form->aCut},        {180, "Copy", form->aCopy},           {220, "Paste", form->aPaste},
      {260, "Undo", form->aUndo},      {508, "Find", form->aSearch},         {548, "Preferences", form->aPrefs},
      {588, "About", form->aAbout}};
  form->ShowPreferences = form->ShowAbout = [] {};
  form->ReportError = [](const std::string&) {};
  for (int i = 0; i < static_cast<int>(std::size(buttons)); ++i) {
    const auto& [left, hint, runs] = buttons[i];
    TFlatButton* b = form->Button(i);
    EXPECT_EQ(b->x(), left);
    EXPECT_EQ(b->toolTip().toStdString(), hint);
    int ran = 0;
    auto counting = QObject::connect(runs, &QAction::triggered, [&] { ++ran; });
    b->OnClick(b);
    QObject::disconnect(counting);
    EXPECT_EQ(ran, 1) << hint;
  }
}

}  // namespace
