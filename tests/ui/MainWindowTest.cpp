// The main window: documents as tabs, captions, action states, the status
// bar, dropped files, hand-overs and the close question.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <map>
#include <set>

#include "app/Kernel.h"
#include "app/ui/FindReplace.h"
#include "app/ui/KernelStartUp.h"
#include "app/ui/Unsaved.h"
#include "app/ui/WorkWnd.h"
#include "qt/Codepage.h"
#include "qt/KeyMap.h"
#include "qt/LocalInstanceChannel.h"
#include "qt/QtEditorPanel.h"
#include "qt/QtEditorWindow.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace {

class MainWindow : public ::testing::Test {
 protected:
  MainWindow() {
    TAppServices services;
    services.ExeName = dir.File("quorvel");
    App = new TApp(std::move(services));
  }
  ~MainWindow() override {
    channel.reset();
    form.reset();
    delete App;
    if (runtimeSet) {
      if (oldRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
      else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
    }
  }

  TMainForm& Open(const std::string& argument = "") {
    form = std::make_unique<TMainForm>(argument);
    form->ReportError = [this](const std::string& m) { errors.push_back(m); };
    form->AskSaveFile = [this] {
      ++saveDialogs;
      return saveAs;
    };
    form->AskSaveChanges = [this](const QString& text) {
      questions.push_back(text.toStdString());
      return answer;
    };
    form->AskUnsaved = [this](const std::vector<std::string>& names) {
      unsaved = names;
      return unsavedAnswer;
    };
    form->AskRecover = form->AskReload = form->AskOverwrite = [this](const QString& text) {
      questions.push_back(text.toStdString());
      return yesNo;
    };
    form->AskReloadRecovered = [this](const QString& text) {
      questions.push_back("(recovered) " + text.toStdString());
      return yesNo;
    };
    return *form;
  }
  std::vector<std::string> Tabs() const {
    std::vector<std::string> out;
    for (int i = 0; i < form->Tabs()->count(); ++i) out.push_back(form->Tabs()->tabText(i).toStdString());
    return out;
  }
  std::string Caption() const { return form->windowTitle().toStdString(); }
  std::string Panel(int i) const { return form->PanelText(i).toStdString(); }

  // Starts the editor a second time with `name`, from the test's folder,
  // while the window waits in a dialog: the event loop run here stands for
  // the dialog's, which receives the hand-over. True when that start ended
  // with status 0.
  bool SecondStart(const std::string& name) {
    if (!channel) {
      runtimeSet = true;
      oldRuntime = qgetenv("XDG_RUNTIME_DIR");
      qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.Path()));
      channel = std::make_unique<platform::LocalInstanceChannel>();
      bool listening = channel->Listen([this](unsigned marker, const std::string& bytes) {
        TCopyDataEvent message(marker, bytes);
        QCoreApplication::sendEvent(form.get(), &message);
      });
      if (!listening) return false;
    }
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(dir.Path()));
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QUORVEL_EXE, {QString::fromStdString(name)});
    QDeadlineTimer deadline(30000);
    while (second.state() != QProcess::NotRunning && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(5);
    }
    if (second.state() != QProcess::NotRunning) {
      second.kill();
      second.waitForFinished(5000);
      return false;
    }
    return second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0;
  }

  TempDir dir;
  std::unique_ptr<TMainForm> form;
  std::vector<std::string> errors, questions, unsaved;
  int saveDialogs = 0;
  std::string saveAs;
  int answer = QMessageBox::Yes;
  int unsavedAnswer = TUnsavedForm::mrCancel;
  int yesNo = QMessageBox::Yes;
  std::unique_ptr<platform::LocalInstanceChannel> channel;
  QByteArray oldRuntime;
  bool runtimeSet = false;
};

TEST_F(MainWindow, StartsWithNotesTxtInTheProgramFolder) {
  Open();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"Notes.txt"}));
  EXPECT_EQ(Caption(), "TAVO - [" + dir.File("Notes.txt") + "]");
  EXPECT_EQ(form->Title().toStdString(), "Notes.txt");
  EXPECT_FALSE(form->Current().FileModified);
  EXPECT_FALSE(form->aSave->isEnabled()) << "F2 does nothing on an unmodified document";
  EXPECT_FALSE(form->aSaveAll->isEnabled());
  EXPECT_FALSE(std::filesystem::exists(dir.File("Notes.txt"))) << "written only when saved";
}

TEST_F(MainWindow, EditsBracketTheTabAndSavingClearsIt) {
  WriteBytes(dir.File("a.php"), "<?php ?>");
  Open(dir.File("a.php"));
  form->Current().KeyPress('x');
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"[a.php]"}));
  EXPECT_TRUE(form->aSave->isEnabled());
  EXPECT_TRUE(form->aSaveAll->isEnabled());
  form->aSave->trigger();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"a.php"}));
  EXPECT_EQ(ReadBytes(dir.File("a.php")), "x<?php ?>\r\n");
  EXPECT_EQ(saveDialogs, 0);
}

TEST_F(MainWindow, SavingADocumentWithoutAFileAsksForAName) {
  Open();
  form->Current().KeyPress('n');
  saveAs = dir.File("chosen.txt");
  form->aSave->trigger();
  EXPECT_EQ(saveDialogs, 1);
  EXPECT_EQ(ReadBytes(dir.File("chosen.txt")), "n\r\n");
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"chosen.txt"}));
}

TEST_F(MainWindow, ClosingTheLastTabShowsTheNoDocumentState) {
  Open();
  form->aClose->trigger();
  form->UpdateStatusBar();
  EXPECT_EQ(Caption(), "TAVO");
  EXPECT_EQ(form->Title().toStdString(), "Korrin");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Panel(i), " - ") << i;
  EXPECT_TRUE(form->Tabs()->count() == 0);
  form->aUndo->trigger();  // goes to the spare editor
  EXPECT_TRUE(errors.empty());
}

TEST_F(MainWindow, StatusPanels) {
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += "line\r\n";
  WriteBytes(dir.File("ten.pas"), ten);
  Open(dir.File("ten.pas"));
  form->Current().MoveCaret(2, 4);
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(0), "X:Y=3:5");
  EXPECT_EQ(Panel(1), "Insert");
  EXPECT_EQ(Panel(2), "Selected: 0");
  EXPECT_EQ(Panel(3), "Size: 10 lines");
  EXPECT_EQ(Panel(4), "WIN-0");
  EXPECT_EQ(Panel(5), "50%");
  EXPECT_EQ(Panel(6), ".pas");
  EXPECT_EQ(Panel(7), "OK");
  WriteBytes(dir.File("three"), "a\r\nb\r\nc\r\n");
  form->Manager().Open(dir.File("three"));
  form->Current().ExecuteCommand(cmdToggleOverwrite);
  form->Current().ExecuteCommand(cmdSelectAll);
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(5), "100%");
  form->Current().MoveCaret(0, 0);
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(5), "33%");
  EXPECT_EQ(Panel(1), "Overwrite");
  EXPECT_EQ(Panel(6), "") << "no extension";
  // With word wrap on the percentage still counts lines: row 4 is the third
  // of four lines when the first line takes three rows.
  WriteBytes(dir.File("wrapped"), std::string(200, 'x') + "\r\na\r\nb\r\nc\r\n");
  form->Manager().Open(dir.File("wrapped"));
  form->Current().SetWordWrap(true);
  form->Current().MoveCaret(0, 4);
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(5), "75%");
}

TEST_F(MainWindow, DroppedFilesAndHandOversOpenInOrder) {
  Open();
  std::vector<std::string> names;
  for (const char* n : {"one.txt", "two.c", "three.xml"}) {
    WriteBytes(dir.File(n), n);
    names.push_back(dir.File(n));
  }
  form->WMDropFiles(names);
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"Notes.txt", "one.txt", "two.c", "three.xml"}));
  EXPECT_EQ(form->Manager().CurrentIndex(), 3);
  std::string longName = dir.File(std::string(300, 'n').substr(0, 250) + ".txt");
  form->WMDropFiles({longName});
  EXPECT_EQ(form->Manager().Current().FileName, longName) << "names are taken whole";
  form->WMCopyData(13107, dir.File("one.txt"));
  EXPECT_EQ(form->Manager().Count(), 6);
  form->WMCopyData(42, dir.File("one.txt"));
  EXPECT_EQ(form->Manager().Count(), 6) << "other markers are ignored";
}

TEST_F(MainWindow, ReturnToEditorKeepsTheWindowAndItsTimer) {
  Open();
  form->Current().KeyPress('q');
  unsavedAnswer = TUnsavedForm::mrCancel;
  EXPECT_FALSE(form->FormCloseQuery());
  EXPECT_EQ(unsaved, (std::vector<std::string>{dir.File("Notes.txt")}));
  EXPECT_TRUE(form->StatusTimer().isActive());
  unsavedAnswer = TUnsavedForm::mrYes;
  EXPECT_TRUE(form->FormCloseQuery());
  EXPECT_EQ(ReadBytes(dir.File("Notes.txt")), "q\r\n");
  EXPECT_FALSE(form->StatusTimer().isActive());
}

TEST_F(MainWindow, ErrorsLeavingAnActionAreReportedAndTheWindowGoesOn) {
  WriteBytes(dir.File("gone.txt"), "x");
  Open(dir.File("gone.txt"));
  std::filesystem::remove(dir.File("gone.txt"));
  form->aReload->trigger();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("gone.txt"), std::string::npos);
  EXPECT_EQ(form->Manager().Count(), 1);
}

TEST_F(MainWindow, ViewSwitchesApplyToEveryDocumentAndAreRemembered) {
  Open();
  form->aNew->trigger();
  bool wrap = !form->aWordWrap->isChecked();
  form->aWordWrap->trigger();
  form->aShowSpace->trigger();
  for (int i = 0; i < form->Manager().Count(); ++i) {
    EXPECT_EQ(form->Manager().Editor(i).WordWrap(), wrap);
    EXPECT_TRUE(form->Manager().Editor(i).ShowSpecialChars());
  }
  form->SearchBox()->setText("needle");
  form.reset();
  EXPECT_EQ(Settings->ReadBool("Editor.WordWrap"), wrap);
  EXPECT_TRUE(Settings->ReadBool("Editor.ShowSpace"));
  EXPECT_EQ(Settings->ReadString("Editor.SearchText"), "needle");
}

// Tools > "Keep line ends and TABs", after Preferences: stored only once
// switched. Off, the first save that rewrites a file's format says so once;
// switched on, a document read without it and unchanged is read again with it.
TEST_F(MainWindow, KeepLineEndsAndTabsIsAToolsItemStoredOnlyOnceSwitched) {
  const std::string a = dir.File("a.php"), b = dir.File("b.php");
  WriteBytes(a, "\tif (1) {\n\t\tx();\n\t}\n");
  WriteBytes(b, "\tb();\n\tc();\n");
  Open(a);
  QMenu* tools = nullptr;
  for (QAction* menu : form->menuBar()->actions())
    if (menu->text() == "Tools") tools = menu->menu();
  ASSERT_NE(tools, nullptr);
  ASSERT_EQ(tools->actions().size(), 4);
  EXPECT_EQ(tools->actions()[0], form->aPrefs);
  EXPECT_EQ(tools->actions()[1], form->aKeepFormat);
  EXPECT_EQ(tools->actions()[2], form->aReopenSession);
  EXPECT_EQ(tools->actions()[3], form->aCompletion);
  EXPECT_EQ(form->aKeepFormat->text().toStdString(), "Keep line ends and TABs");
  EXPECT_TRUE(form->aKeepFormat->isCheckable());
  EXPECT_FALSE(form->aKeepFormat->isChecked());

  form->Current().KeyPress('a');
  form->aSave->trigger();
  EXPECT_EQ(ReadBytes(a), "a    if (1) {\r\n        x();\r\n    }\r\n");
  EXPECT_TRUE(form->statusBar()->currentMessage().contains("\"Keep line ends and TABs\""))
      << form->statusBar()->currentMessage().toStdString();
  form->statusBar()->clearMessage();
  form->Current().KeyPress('a');
  form->aSave->trigger();
  EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "") << "said once";

  form->Manager().Open(b);
  form->aKeepFormat->trigger();
  form->Current().MoveCaret(4, 0);
  form->Current().KeyPress('X');
  form->aSave->trigger();
  EXPECT_EQ(ReadBytes(b), "\tXb();\n\tc();\n");
  EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "");
  form.reset();
  EXPECT_TRUE(Settings->PeekBool("Editor.KeepFormat"));

  // A start and an end without switching it enter nothing.
  Settings->Clear();
  Open();
  form.reset();
  Settings->SaveToFile(dir.File("settings.ini"));
  EXPECT_EQ(ReadBytes(dir.File("settings.ini")).find("KeepFormat"), std::string::npos);
}

TEST_F(MainWindow, FindNextAndCaseActionsWorkOnTheCurrentDocument) {
  WriteBytes(dir.File("f.txt"), "top\r\nfind ME here\r\n");
  Open(dir.File("f.txt"));
  form->SearchBox()->setText("me");
  form->aSearch->trigger();
  EXPECT_EQ(form->Current().GetSelText(), "ME");
  form->aLower->trigger();
  EXPECT_EQ(form->Current().Lines->Get(1), "find me here");
  form->aSelLine->trigger();
  form->aUpper->trigger();
  EXPECT_EQ(form->Current().Lines->Get(1), "FIND ME HERE");
}

TEST_F(MainWindow, AUtf8DocumentIsNamedFoundAndConvertedByItsCharacters) {
  WriteBytes(dir.File("u.php"),
             "<?php\r\n// \xC5\x81\xC3\xB3\x64\xC5\xBA i \xC5\xBC\xC3\xB3\xC5\x82w\r\n");  // Łódź i żółw
  Open(dir.File("u.php"));
  TSourceEditor& e = form->Current();
  auto line = [&](int i) { return codepage::ToQString(e.Lines->Get(i), e.Encoding()); };
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(4), "UTF-8");
  form->SearchBox()->setText(QString::fromUtf8("ŻÓŁW"));
  form->aSearch->trigger();
  EXPECT_EQ(codepage::ToQString(e.GetSelText(), e.Encoding()), QString::fromUtf8("żółw"));
  form->aUpper->trigger();
  EXPECT_EQ(line(1), QString::fromUtf8("// Łódź i ŻÓŁW"));
  form->SearchBox()->setText(QString::fromUtf8("ŁÓDŹ I Ж"));
  form->aSearch->trigger();
  EXPECT_EQ(e.SelLength(), 0) << "a character the document lacks is found nowhere";

  // 300 ideographs, "ł", "¬" and "·": no limit on a document's characters.
  std::u32string full;
  for (char32_t ch = 0x4E00; ch < 0x4E00 + 300; ++ch) full += ch;
  full += U" ł ¬·";
  WriteBytes(dir.File("full.txt"), QString::fromStdU32String(full).toUtf8().toStdString());
  form->Manager().Open(dir.File("full.txt"));
  form->Current().ExecuteCommand(cmdSelectAll);
  form->aUpper->trigger();
  EXPECT_EQ(codepage::ToQString(form->Current().Lines->Get(0), form->Current().Encoding()),
            QString::fromStdU32String(full).toUpper());
  EXPECT_TRUE(form->Current().FileModified);
  EXPECT_TRUE(errors.empty()) << errors[0];
  WriteBytes(dir.File("latin.txt"), "caf\xE9\r\n");
  form->Manager().Open(dir.File("latin.txt"));
  form->UpdateStatusBar();
  EXPECT_EQ(Panel(4), "WIN-0");
}

TEST_F(MainWindow, ActionsHaveTheirShortcuts) {
  Open();
  struct {
    QAction* action;
    QKeySequence keys;
  } table[] = {{form->aNew, Qt::Key_F4},
               {form->aLoad, Qt::Key_F3},
               {form->aSave, Qt::Key_F2},
               {form->aSaveAs, QKeySequence(Qt::SHIFT | Qt::Key_F2)},
               {form->aExit, QKeySequence(Qt::ALT | Qt::Key_X)},
               {form->aUndo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
               {form->aDelLine, QKeySequence(Qt::CTRL | Qt::Key_Y)},
               {form->aSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A)},
               {form->aSearch, QKeySequence(Qt::CTRL | Qt::Key_L)},
               {form->aPrefs, Qt::Key_F10},
               {form->aAbout, Qt::Key_F1}};
  for (const auto& row : table) EXPECT_EQ(row.action->shortcut(), row.keys) << row.action->text().toStdString();
}

TEST_F(MainWindow, AFileHandedOverDuringADialogChangesNothingForTheRunningAction) {
  WriteBytes(dir.File("mine.txt"), "mine\r\n");
  WriteBytes(dir.File("second.txt"), "second\r\n");
  WriteBytes(dir.File("third.txt"), "third\r\n");
  WriteBytes(dir.File("fourth.txt"), "fourth\n");  // any save would change its line end
  Open(dir.File("mine.txt"));
  form->Current().KeyPress('+');

  // Save As: the chosen file receives the text of the document the action began with.
  bool handedOver = false;
  form->AskSaveFile = [&] {
    handedOver = SecondStart("second.txt");
    return dir.File("chosen.txt");
  };
  form->aSaveAs->trigger();
  EXPECT_TRUE(handedOver);
  EXPECT_EQ(ReadBytes(dir.File("chosen.txt")), "+mine\r\n");
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"chosen.txt", "second.txt"}));

  // The close question: the document asked about is saved and closed.
  form->Manager().Select(0);
  form->Current().KeyPress('!');
  form->AskSaveChanges = [&](const QString& text) {
    questions.push_back(text.toStdString());
    handedOver = SecondStart("third.txt");
    return int(QMessageBox::Yes);
  };
  handedOver = false;
  form->aClose->trigger();
  EXPECT_TRUE(handedOver);
  EXPECT_EQ(questions, std::vector<std::string>{"Save changes to \"chosen.txt\"?"});
  EXPECT_EQ(ReadBytes(dir.File("chosen.txt")), "+!mine\r\n");
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"second.txt", "third.txt"}));

  // The unsaved-changes dialog: what it asked about is saved, nothing else.
  form->Manager().Select(0);
  form->Current().KeyPress('?');
  form->AskUnsaved = [&](const std::vector<std::string>& names) {
    unsaved = names;
    handedOver = SecondStart("fourth.txt");
    return int(TUnsavedForm::mrYes);
  };
  handedOver = false;
  EXPECT_TRUE(form->FormCloseQuery());
  EXPECT_TRUE(handedOver);
  EXPECT_EQ(unsaved, std::vector<std::string>{dir.File("second.txt")});
  EXPECT_EQ(ReadBytes(dir.File("second.txt")), "?second\r\n");
  EXPECT_EQ(ReadBytes(dir.File("third.txt")), "third\r\n");
  EXPECT_EQ(ReadBytes(dir.File("fourth.txt")), "fourth\n");
  EXPECT_TRUE(errors.empty()) << errors[0];
}

TEST_F(MainWindow, APipeIsRefusedFromTheCommandLineAHandOverAndTheOpenDialog) {
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string reason = "\"" + pipe + "\". Not a regular file (a named pipe)";
  std::string shown;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text().toStdString();
      box->reject();
    }
  });
  Open(pipe);
  EXPECT_NE(shown.find(reason), std::string::npos) << shown;
  EXPECT_EQ(form->Manager().Count(), 0);

  form->aNew->trigger();
  EXPECT_TRUE(SecondStart(pipe)) << "the second start waits for no message box";
  form->AskOpenFile = [&](const std::string&) { return pipe; };
  form->aLoad->trigger();
  ASSERT_EQ(errors.size(), 2u);
  for (const std::string& error : errors) EXPECT_NE(error.find(reason), std::string::npos) << error;
  EXPECT_EQ(Tabs(), std::vector<std::string>{"Notes.txt"});
}

TEST_F(MainWindow, TheOpenDialogStartsInTheRememberedFolderOrElseAtHomeWithAnEmptyName) {
  Open();
  const std::pair<std::string, QString> cases[] = {
      {"C:\\", QDir::homePath()},  // the default setting names no folder here
      {dir.File("gone/"), QDir::homePath()},
      {"", QDir::homePath()},
      {dir.Path() + "/", QString::fromStdString(dir.Path())},
  };
  for (const auto& [remembered, start] : cases) {
    SCOPED_TRACE(remembered);
    std::unique_ptr<QFileDialog> dialog = form->MakeOpenDialog(remembered);
    EXPECT_EQ(dialog->directory().absolutePath(), start);
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "");
  }
  EXPECT_EQ(Settings->ReadString("Files.OpenFolder"), "C:\\") << "the setting itself stays";
}

TEST_F(MainWindow, StatusPanelsStayWhileAMenuShowsStatusTipsAndHoldLongLineNumbers) {
  std::string lines;
  for (int i = 0; i < 123456; ++i) lines += "x\r\n";
  WriteBytes(dir.File("long.txt"), lines);
  Open(dir.File("long.txt"));
  form->show();
  form->Current().MoveCaret(0, 123455);
  form->UpdateStatusBar();
  Settle();
  ASSERT_EQ(Panel(0), "X:Y=1:123456");
  auto panelsShowWhole = [this] {
    for (int i = 0; i < 8; ++i) {
      QLabel* panel = form->Panel(i);
      EXPECT_TRUE(panel->isVisible()) << i;
      EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text())) << i;
    }
  };
  panelsShowWhole();
  for (QMenu* menu : form->menuBar()->findChildren<QMenu*>()) {
    SCOPED_TRACE(menu->title().toStdString());
    menu->popup(form->mapToGlobal(QPoint(10, 10)));
    menu->setActiveAction(menu->actions().first());  // the mouse on the menu's first item
    Settle();
    EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "");
    panelsShowWhole();
    menu->hide();
  }
  EXPECT_GE(form->Panel(3)->width(), 200) << "a panel keeps at least its own width";
}

TEST_F(MainWindow, TheLinkLabelSitsAtTheBottomCentreOfTheEmptyEditingPanel) {
  Open();
  form->show();
  form->aClose->trigger();
  Settle();
  QWidget* label = form->LinkLabel();
  const QRect panel = form->EditPanel()->contentsRect();
  const QRect at = label->geometry();
  EXPECT_TRUE(label->isVisible());
  EXPECT_GT(at.width(), 0);
  EXPECT_NEAR(at.center().x(), panel.center().x(), 1);
  EXPECT_GT(at.top(), panel.center().y()) << "in the lower half";
  EXPECT_LE(panel.bottom() - at.bottom(), 12) << "close to the bottom";
  EXPECT_GE(panel.bottom() - at.bottom(), 4);
}

// What the workspace does with a change on disk is tested with the
// workspace; the window hears of it from the watch.
TEST_F(MainWindow, AChangeByAnotherProgramIsNoticedByTheWatch) {
  const std::string file = dir.File("a.txt");
  WriteBytes(file, "one\r\ntwo\r\nthree\r\n");
  Open(file);
  TSourceEditor& doc = form->Current();
  doc.MoveCaret(1, 2);

  // Unmodified: the window reloads it by itself, caret on its line; the
  // watch tells the window without being asked.
  WriteBytes(file, "ONE\nTWO\nTHREE\nFOUR\n");
  QDeadlineTimer deadline(10000);
  while (doc.Lines->Get(0) != "ONE" && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  EXPECT_EQ(doc.Lines->Get(3), "FOUR");
  EXPECT_EQ(doc.CaretY, 2);
  EXPECT_FALSE(doc.FileModified);
  EXPECT_TRUE(questions.empty());
}

// A file another program writes every 20 ms without a pause is reloaded
// while it is still being written.
TEST_F(MainWindow, AFileThatNeverStopsChangingIsNoticedAllTheSame) {
  const std::string file = dir.File("log.txt");
  WriteBytes(file, "start\r\n");
  Open(file);
  TSourceEditor& doc = form->Current();
  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // A line every 20 ms until told to stop, for a minute at most.
    pollfd told{stop[0], POLLIN, 0};
    for (int n = 0; n < 3000 && ::poll(&told, 1, 20) == 0; ++n) {
      const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
      (void)!::write(fd, "more\n", 5);
      ::close(fd);
    }
    ::_exit(0);
  }
  QDeadlineTimer deadline(30000);
  while (doc.Lines->Count() < 2 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  const bool writing = ::waitpid(writer, nullptr, WNOHANG) == 0;
  (void)!::write(stop[1], "s", 1);
  ::waitpid(writer, nullptr, 0);
  ::close(stop[0]);
  ::close(stop[1]);
  EXPECT_GE(doc.Lines->Count(), 2) << "not reloaded";
  EXPECT_TRUE(writing) << "reloaded only once the other program stopped";
  EXPECT_FALSE(doc.FileModified);
  EXPECT_TRUE(questions.empty());
}

// The window's own questions: Enter keeps the unsaved text at the reload
// question (also for recovered text), and answers Yes to the others.
TEST_F(MainWindow, NoQuestionThatDropsUnsavedTextDefaultsToDroppingIt) {
  form = std::make_unique<TMainForm>("");
  struct Case {
    std::function<int(const QString&)> ask;
    int expected;
  } cases[] = {{form->AskReload, QMessageBox::No},
               {form->AskReloadRecovered, QMessageBox::No},
               {form->AskOverwrite, QMessageBox::Yes},
               {form->AskRecover, QMessageBox::Yes}};
  for (const Case& c : cases) {
    QTimer::singleShot(0, [] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        if (box->isVisible()) box->done(-1);  // Return answered nothing
      }
    });
    EXPECT_EQ(c.ask("question"), c.expected);
  }
}

// A journal that cannot be written is told once in the window.
TEST_F(MainWindow, JournalTroubleIsToldOnce) {
  const QByteArray oldState = qgetenv("XDG_STATE_HOME");
  WriteBytes(dir.File("not-a-folder"), "");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(dir.File("not-a-folder")));
  Open(dir.File("a.txt"));
  for (int round = 0; round < 4; ++round) {  // past the journal's retry
    form->Current().KeyPress('x');
    QDeadlineTimer deadline(1500);
    while (!deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(10);
    }
  }
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Unsaved changes cannot be kept for recovery after a crash: Cannot make the folder \"" +
                           dir.File("not-a-folder/quorvel") + "\". Not a directory");
  form.reset();
  qputenv("XDG_STATE_HOME", oldState);
}

// ---------------------------------------------------------------- additions to the window

QMenu* MenuNamed(QMainWindow& window, const QString& title) {
  for (QAction* menu : window.menuBar()->actions())
    if (menu->text() == title) return menu->menu();
  return nullptr;
}

std::vector<std::string> ItemTexts(QMenu* menu) {
  std::vector<std::string> texts;
  for (QAction* item : menu->actions()) texts.push_back(item->text().toStdString());
  return texts;
}

// The keys other editors use, on keys nothing else binds; the menus keep
// their own items first; the new options are off and stored only
// once switched.
TEST_F(MainWindow, TheUsualKeysMenusAndOptionsComeAfterTheWindowsOwn) {
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "x\r\n";
  WriteBytes(dir.File("long.txt"), lines);
  Open(dir.File("long.txt"));
  using K = QKeySequence;
  struct {
    QAction* action;
    QList<QKeySequence> keys;
  } table[] = {
      {form->aLoad, {K(Qt::Key_F3), K(Qt::CTRL | Qt::Key_O)}},
      {form->aSave, {K(Qt::Key_F2), K(Qt::CTRL | Qt::Key_S)}},
      {form->aSaveAs, {K(Qt::SHIFT | Qt::Key_F2), K(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
      {form->aClose, {K(Qt::CTRL | Qt::Key_W)}},
      {form->aNextTab, {K(Qt::CTRL | Qt::Key_Tab)}},
      {form->aPrevTab, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), K(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)}},
  };
  for (const auto& row : table) EXPECT_EQ(row.action->shortcuts(), row.keys) << row.action->text().toStdString();
  // No key is bound twice, and the editor's key table binds none of the new ones.
  std::map<QKeySequence, std::string> bound;
  for (QAction* action : form->actions())
    for (const QKeySequence& key : action->shortcuts())
      EXPECT_TRUE(bound.emplace(key, action->text().toStdString()).second)
          << key.toString().toStdString() << " also on " << bound[key];
  const TKeyboard& keys = *form->Current().Keyboard;
  for (auto [key, shift] : {std::pair<std::uint16_t, TShiftState>{'S', shift::Ctrl},
                            {'S', shift::Ctrl | shift::Shift},
                            {'O', shift::Ctrl},
                            {'W', shift::Ctrl},
                            {vk::Tab, shift::Ctrl},
                            {vk::Tab, shift::Ctrl | shift::Shift}})
    EXPECT_EQ(keys.FindKey(key, shift), 0) << key;

  EXPECT_EQ(ItemTexts(MenuNamed(*form, "File")),
            (std::vector<std::string>{"New File", "", "Open file...", "", "Save", "Save As...", "Save All", "", "Exit",
                                      "", "Close tab", "Recent files"}));
  EXPECT_EQ(ItemTexts(MenuNamed(*form, "View")),
            (std::vector<std::string>{"Word wrap", "Show invisible characters", "Line numbers",
                                      "Highlight matching brackets"}));
  EXPECT_FALSE(form->aLineNumbers->isChecked());
  EXPECT_FALSE(form->aReopenSession->isChecked());

  // Ctrl+Tab and Ctrl+Shift+Tab go round the tabs.
  form->aNew->trigger();
  form->aNew->trigger();
  std::vector<int> visited;
  for (QAction* step : {form->aNextTab, form->aNextTab, form->aPrevTab, form->aPrevTab, form->aPrevTab}) {
    step->trigger();
    visited.push_back(form->Manager().CurrentIndex());
    EXPECT_EQ(form->Tabs()->currentIndex(), visited.back());
  }
  EXPECT_EQ(visited, (std::vector<int>{0, 1, 0, 2, 1}));

  // Line numbers widen the gutter of the 1000-line document to four digits.
  form->Manager().Select(0);
  TSourceEditor& doc = form->Current();
  EXPECT_EQ(doc.GutterWidth(), TEditManager::kGutterWidth);
  form->aLineNumbers->trigger();
  const int wide = doc.GutterWidth();
  EXPECT_GT(wide, TEditManager::kGutterWidth);
  EXPECT_TRUE(doc.OnGutterPaint != nullptr);
  ASSERT_EQ(doc.Lines->Count(), 1000);
  doc.ExecuteCommand(cmdDeleteLine);  // 999 lines: three digits
  EXPECT_LT(doc.GutterWidth(), wide);
  form->aNew->trigger();
  EXPECT_TRUE(form->Current().OnGutterPaint != nullptr) << "a new document has them too";
  form->aLineNumbers->trigger();
  EXPECT_EQ(doc.GutterWidth(), TEditManager::kGutterWidth);
  EXPECT_TRUE(doc.OnGutterPaint == nullptr);
  form->aLineNumbers->trigger();
  form.reset();
  EXPECT_TRUE(Settings->PeekBool("Editor.LineNumbers"));

  // A start and an end that switch nothing enter neither option.
  Settings->Clear();
  Open();
  form.reset();
  Settings->SaveToFile(dir.File("settings.ini"));
  const std::string written = ReadBytes(dir.File("settings.ini"));
  EXPECT_EQ(written.find("LineNumbers"), std::string::npos);
  EXPECT_EQ(written.find("ReopenSession"), std::string::npos);
}

// Files opened or saved are offered by File > "Recent files", most recent
// first; one that is gone is taken off when chosen, with a message.
TEST_F(MainWindow, RecentFilesOfferWhatWasOpenedOrSavedAndDropWhatIsGone) {
  const std::string state = TRecentFiles::DefaultPath();
  ::unlink(state.c_str());
  const std::string a = dir.File("a.txt"), b = dir.File("b.txt"), c = dir.File("c&d.txt");
  WriteBytes(a, "a");
  WriteBytes(b, "b");
  Open(a);
  form->WMDropFiles({b});
  saveAs = c;
  form->aSaveAs->trigger();
  auto items = [&] {
    emit form->RecentMenu()->aboutToShow();
    return ItemTexts(form->RecentMenu());
  };
  EXPECT_EQ(items(), (std::vector<std::string>{"&1 " + dir.File("c&&d.txt"), "&2 " + b, "&3 " + a}));

  // Another start sees the same list; a file deleted meanwhile is dropped when chosen.
  form.reset();
  ::unlink(a.c_str());
  Open();
  ASSERT_EQ(items().size(), 3u);
  form->RecentMenu()->actions()[2]->trigger();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("\"" + a + "\" no longer exists"), std::string::npos) << errors[0];
  EXPECT_EQ(Tabs(), std::vector<std::string>{"Notes.txt"});
  EXPECT_EQ(items(), (std::vector<std::string>{"&1 " + dir.File("c&&d.txt"), "&2 " + b}));
  form->RecentMenu()->actions()[1]->trigger();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"Notes.txt", "b.txt"}));
  EXPECT_EQ(form->RecentFiles().Files(), (std::vector<std::string>{b, c}));
  ::unlink(state.c_str());
  EXPECT_EQ(items(), std::vector<std::string>{"No recent files"});
  EXPECT_FALSE(form->RecentMenu()->actions()[0]->isEnabled());
}

// Tools > "Reopen last session's documents": a start opens the documents
// open at the last exit, after the file the command line names.
TEST_F(MainWindow, TheLastSessionsDocumentsComeBackAfterTheNamedFileWhenAsked) {
  const QByteArray oldState = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(dir.File("state")));
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) WriteBytes(dir.File(name), name);
  Open(dir.File("a.txt"));
  form->Manager().Open(dir.File("b.txt"));
  form.reset();
  Open();
  EXPECT_EQ(Tabs(), std::vector<std::string>{"Notes.txt"}) << "off: a plain start";

  form->aReopenSession->trigger();
  form->aClose->trigger();  // the new document has no file: it does not come back
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) form->Manager().Open(dir.File(name));
  form->Manager().Select(1);
  form.reset();
  EXPECT_TRUE(Settings->PeekBool("Files.ReopenSession"));
  ::unlink(dir.File("c.txt").c_str());
  Open();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"a.txt", "b.txt"})) << "a file gone stays away";
  EXPECT_EQ(form->Manager().CurrentIndex(), 1);
  form.reset();
  Open(dir.File("d.txt"));
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"d.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(form->Manager().CurrentIndex(), 0) << "the named file stays current";
  form.reset();
  Open(dir.File("a.txt"));
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"a.txt", "d.txt", "b.txt"})) << "opened once";

  // At a session's end a modified document stays in its journal: the recovery brings it back, not the session.
  form->Manager().Select(2);
  form->Current().KeyPress('X');
  form->EndSession();
  form.reset();
  Open();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"a.txt", "d.txt"}));
  form->OfferRecovery();
  EXPECT_EQ(Tabs(), (std::vector<std::string>{"a.txt", "d.txt", "[b.txt]"}));
  form.reset();
  qputenv("XDG_STATE_HOME", oldState);
}

// Redo, Find and Replace and Go to line come after the Edit menu's own
// items, on keys nothing else binds, and work on the current document.
TEST_F(MainWindow, RedoFindReplaceAndGoToLineFollowTheEditMenusItems) {
  std::string text;
  for (int i = 1; i <= 800; ++i) text += "$v" + std::to_string(i) + " = f($v" + std::to_string(i) + ");\r\n";
  WriteBytes(dir.File("r.php"), text);
  Open(dir.File("r.php"));
  QMenu* edit = nullptr;
  for (QAction* menu : form->menuBar()->actions())
    if (menu->text() == "Edit") edit = menu->menu();
  ASSERT_NE(edit, nullptr);
  std::vector<QAction*> items;
  for (QAction* a : edit->actions())
    if (!a->isSeparator()) items.push_back(a);
  const std::vector<QAction*> want{form->aUndo,          form->aCut,
                                   form->aCopy,          form->aPaste,
                                   form->aDelLine,       form->aSelectAll,
                                   form->aSelLine,       form->aUpper,
                                   form->aLower,         form->aRedo,
                                   form->aFind,          form->aReplace,
                                   form->aFindNextMatch, form->aFindPreviousMatch,
                                   form->aGotoLine,      form->aGotoBracket,
                                   form->aToggleComment, form->aCompleteWord};
  EXPECT_EQ(items, want);
  std::set<QKeySequence> keys;
  for (QAction* a : form->actions())
    if (!a->shortcut().isEmpty()) {
      EXPECT_TRUE(keys.insert(a->shortcut()).second) << a->text().toStdString();
    }
  EXPECT_EQ(form->aRedo->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EXPECT_EQ(form->aFind->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
  EXPECT_EQ(form->aReplace->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  EXPECT_EQ(form->aGotoLine->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
  for (QAction* a :
       {form->aRedo, form->aFind, form->aReplace, form->aFindNextMatch, form->aFindPreviousMatch, form->aGotoLine}) {
    const QKeyCombination k = a->shortcut()[0];
    const std::uint16_t key = platform::VirtualKeyOf(k.key(), k.keyboardModifiers());
    const TShiftState shift = platform::ShiftStateOf(k.keyboardModifiers());
    EXPECT_EQ(form->Current().Keyboard->FindKey(key, shift), 0) << a->text().toStdString() << " is in the key table";
  }

  TSourceEditor& e = form->Current();
  TFindForm& find = form->FindForm();
  find.FindField()->setCurrentText("\\$v(\\d+)\\b");
  find.ReplaceField()->setCurrentText("$$n$1");
  find.RegularExpression->setChecked(true);
  find.ReplaceAll();
  EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "Replaced 1600 matches");
  EXPECT_EQ(e.Lines->Get(499), "$n500 = f($n500);");
  form->aUndo->trigger();
  EXPECT_EQ(e.Lines->Get(499), "$v500 = f($v500);") << "one undo takes back the whole Replace All";
  form->aRedo->trigger();
  EXPECT_EQ(e.Lines->Get(0), "$n1 = f($n1);");

  find.FindField()->setCurrentText("f($n7)");
  find.RegularExpression->setChecked(false);
  e.MoveCaret(0, 6);
  EXPECT_TRUE(find.FindNext());
  EXPECT_EQ(e.GetSelText(), "f($n7)") << "a match on the caret's line";
  EXPECT_TRUE(find.FindNext());
  EXPECT_EQ(e.GetSelText(), "f($n7)");
  EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "Passed the end of the text: found from the start");
  find.FindField()->setCurrentText("nowhere");
  find.FindNext();
  EXPECT_EQ(form->statusBar()->currentMessage().toStdString(), "Not found: nowhere");
  EXPECT_EQ(find.FindField()->count(), 3) << "the texts looked for, most recent first";
  EXPECT_EQ(find.FindField()->itemText(1).toStdString(), "f($n7)");

  form->AskGotoLine = [](int lines, int& line, int& column) {
    EXPECT_EQ(lines, 800);
    line = 500;
    column = 0;
    return true;
  };
  form->aGotoLine->trigger();
  EXPECT_EQ(e.CaretY, 499);
  e.KeyPress('#');
  EXPECT_EQ(e.Lines->Get(499), "#$n500 = f($n500);");
  EXPECT_TRUE(errors.empty()) << errors[0];
}

}  // namespace
