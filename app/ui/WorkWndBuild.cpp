// The main window's widgets, top to bottom: the button bar with the search
// box, the tab row, the editing panel and the status bar; and its actions,
// menus and buttons, made from the command table (WorkWndCommands.h).

#include <QAction>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/Journal.h"
#include "app/Kernel.h"
#include "app/ui/About.h"
#include "app/ui/WorkWnd.h"
#include "app/ui/WindowQuestions.h"
#include "app/ui/WorkWndCommands.h"
#include "qt/QtEditorPanel.h"
#include "widgets/flat_button.h"
#include "widgets/gradient_panel.h"

namespace {

// What the editing panel shows while no document's editor is visible.
// What every status panel shows while no document is open.
constexpr const char* kNoDocumentPanel = " - ";
constexpr int kPanelWidths[8] = {85, 65, 100, 200, 70, 50, 70, 50};

// The table's actions of `menu`, in their order, with separators between groups.
void AddItems(QMenu* target, commands::TMenu menu, const TMainForm& form) {
  std::vector<std::pair<int, QAction*>> items;
  for (const commands::TCommand& c : commands::Table())
    for (const commands::TMenuPlace& p : c.places)
      if (p.menu == menu) items.emplace_back(p.place, form.*c.action);
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && items[i].first / 10 != items[i - 1].first / 10) target->addSeparator();
    target->addAction(items[i].second);
  }
}

}  // namespace

void TMainForm::BuildActions() {
  for (const commands::TCommand& c : commands::Table()) {
    auto* action = new QAction(c.caption, this);
    QList<QKeySequence> keys;
    for (QKeyCombination key : c.keys)
      if (key.key() != Qt::Key_unknown) keys.append(QKeySequence(key));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    if (!(c.flags & commands::kNoHint)) action->setToolTip(c.caption);
    action->setStatusTip(c.caption);
    if (c.icon) action->setIcon(artwork::ActionIcon(*c.icon));
    action->setCheckable(c.flags & commands::kCheckable);
    action->setEnabled(!(c.flags & commands::kStartsDisabled));
    connect(action, &QAction::triggered, this, [this, execute = c.execute] { Guarded([&] { (this->*execute)(); }); });
    addAction(action);
    this->*c.action = action;
  }
}

void TMainForm::BuildLayout() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildButtonBar();
  layout->addWidget(gpButtons);
  tcFiles = new QTabBar(central);
  tcFiles->setExpanding(false);
  tcFiles->setDocumentMode(true);
  tcFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(tcFiles);
  pnEdit = new platform::QtEditorPanel(central);
  QFont captionFont("Bookman Old Style");
  captionFont.setPixelSize(64);
  captionFont.setBold(true);
  captionFont.setItalic(true);
  pnEdit->SetCaption(kProgramCaption, captionFont, QColor(0x80, 0x80, 0x80));
  Label1 = new TLinkLabel(kMakerURL, pnEdit);
  Label1->OnClick = [] {
    if (App) App->OpenURL(kMakerURL);
  };
  pnEdit->SetFooter(Label1);
  layout->addWidget(pnEdit, 1);
  setCentralWidget(central);
  // The workspace comes before the menus: the File menu lists its recent files.
  questions_ = std::make_unique<TWindowQuestions>(*this);
  FWorkspace = std::make_unique<TWorkspace>(pnEdit, JournalFolder(), TRecentFiles::DefaultPath(), *questions_);
  BuildMenus();
  BuildStatusBar();
  connect(tcFiles, &QTabBar::currentChanged, this, [this](int index) {
    if (!refreshingTabs_ && index >= 0) Guarded([&] { tcFilesChange(index); });
  });
  connect(tcFiles, &QTabBar::customContextMenuRequested, this,
          [this](const QPoint& p) { pmTabs->popup(tcFiles->mapToGlobal(p)); });
}

void TMainForm::BuildButtonBar() {
  gpButtons = new TGradientPanel(this);
  gpButtons->setFixedHeight(40);
  gpButtons->SetHiColor(0xFFFFFF);
  gpButtons->SetLoColor(14215660);
  std::vector<const commands::TCommand*> withButtons;
  for (const commands::TCommand& c : commands::Table())
    if (c.button.left > 0) withButtons.push_back(&c);
  std::sort(withButtons.begin(), withButtons.end(),
            [](const auto* a, const auto* b) { return a->button.left < b->button.left; });
  for (std::size_t i = 0; i < withButtons.size() && i < buttons_.size(); ++i) {
    const commands::TButton& button = withButtons[i]->button;
    auto* b = new TFlatButton(gpButtons);
    b->setGeometry(button.left, 0, artwork::kButtonSize, artwork::kButtonSize);
    b->SetBG(artwork::ButtonPicture(button.picture));
    b->SetBGTrans(true);
    b->SetHint(button.hint);
    b->setAccessibleName(QString::fromUtf8(button.hint));
    QAction* action = this->*withButtons[i]->action;
    b->OnClick = [action](TFlatButton*) { action->trigger(); };
    buttons_[i] = b;
  }
  // The search box, between the Undo and the Find buttons.
  edSearch = new QLineEdit(gpButtons);
  edSearch->setGeometry(304, 8, 197, 25);
  QFont tahoma("Tahoma");
  tahoma.setPixelSize(15);
  edSearch->setFont(tahoma);
  // Named for screen readers after what Enter in it does.
  edSearch->setAccessibleName(aSearch->text().remove(QLatin1Char('&')));
  connect(edSearch, &QLineEdit::returnPressed, this, [this] { aSearch->trigger(); });
}

void TMainForm::BuildMenus() {
  for (const commands::TMenuTitle& m : commands::MenuBar()) {
    QMenu* menu = menuBar()->addMenu(m.title);
    AddItems(menu, m.menu, *this);
    if (m.menu != commands::TMenu::File) continue;
    miRecent = menu->addMenu("Recent files");
    connect(miRecent, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
    FillRecentMenu();
  }
  pmEdit = new QMenu(this);
  AddItems(pmEdit, commands::TMenu::EditorPopup, *this);
  pmTabs = new QMenu(this);
  AddItems(pmTabs, commands::TMenu::TabsPopup, *this);
}

void TMainForm::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(true);
  for (std::size_t i = 0; i < panels_.size(); ++i) {
    panels_[i] = new QLabel(kNoDocumentPanel, bar);
    // At least the panel's width, wider when its text needs it (a line
    // number of six digits and more).
    panels_[i]->setMinimumWidth(kPanelWidths[i]);
    panels_[i]->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(panels_[i]);
  }
}
