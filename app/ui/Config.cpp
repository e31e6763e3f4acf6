#include "app/ui/Config.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/ui/CfgMgr.h"
#include "app/FTA.h"
#include "app/Kernel.h"
#include "qt/Codepage.h"

namespace {

constexpr char kPrefix[] = "Mosk";
constexpr char kTypeList[] = "Files.TypeList";

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// Associations work on the program's registry and tell its shell.
TFileTypeAssociator Associator() {
  return TFileTypeAssociator(
      kPrefix, [] { return App ? App->OpenRegistry() : nullptr; }, App ? App->Shell() : nullptr);
}

// Rows of the check list are 15 pixels high.
class TFixedRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), 15};
  }
};

struct TIconIndex {
  const char* Extension;
  int Index;
};

constexpr TIconIndex kIconIndices[] = {
    {"PHP", 4}, {"HTM", 6}, {"HTML", 6}, {"H", 6}, {"INI", 6}, {"JAVA", 2},
    {"CSS", 2}, {"JS", 3},  {"PAS", 3},  {"C", 7}, {"CPP", 5},
};

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

TConfigForm::TConfigForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Configuration");
  QFont dialogFont("MS Sans Serif");
  dialogFont.setPixelSize(11);
  setFont(dialogFont);
  setFixedSize(489, 373);

  FMain = new QTabWidget(this);
  FMain->setGeometry(8, 8, 473, 321);
  auto* page = new QWidget;
  FMain->addTab(page, "File Types");

  FAssociate = new QGroupBox(" Associate with: ", page);
  FExtsPanel = new QWidget(FAssociate);
  FExts = new QListWidget(FExtsPanel);
  QFont listFont("Arial");
  listFont.setPixelSize(12);
  listFont.setBold(true);
  FExts->setFont(listFont);
  FExts->setItemDelegate(new TFixedRowDelegate(FExts));
  FExts->setUniformItemSizes(true);
  auto* panelLayout = new QVBoxLayout(FExtsPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(FExts);

  FAllExts = new QPushButton("All", FAssociate);
  FEditList = new QPushButton("Edit List", FAssociate);
  FEditList->setCheckable(true);
  for (QPushButton* button : {FAllExts, FEditList}) {
    button->setFixedSize(81, 25);
    button->setAutoDefault(false);
  }
  auto* side = new QVBoxLayout;
  side->addWidget(FAllExts);
  side->addWidget(FEditList);
  side->addStretch();
  auto* groupLayout = new QHBoxLayout(FAssociate);
  groupLayout->addWidget(FExtsPanel, 1);
  groupLayout->addLayout(side);

  FDefEditor = new QCheckBox("Set as default editor for files without default action", page);
  FDefEditor->hide();  // kept for its setting; not offered
  auto* pageLayout = new QVBoxLayout(page);
  pageLayout->setContentsMargins(8, 8, 8, 8);
  pageLayout->addWidget(FAssociate);

  FSave = new QPushButton("OK", this);
  FSave->setGeometry(318, 338, 75, 25);
  FSave->setDefault(true);
  FCancel = new QPushButton("Cancel", this);
  FCancel->setGeometry(406, 338, 75, 25);
  FCancel->setAutoDefault(false);

  connect(FSave, &QPushButton::clicked, this, [this] { bbSaveClick(); });
  connect(FCancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(FAllExts, &QPushButton::clicked, this, [this] { bbAllExtsClick(); });
  connect(FEditList, &QPushButton::clicked, this, [this] { sbEditListClick(); });

  // The creation handler.
  FMain->setCurrentIndex(0);
  FManager = std::make_unique<TConfigManager>();
  FManager->Bind(FDefEditor, "FileTypes.DefaultEditor");
  LoadPage();
}

TConfigForm::~TConfigForm() = default;

void TConfigForm::showEvent(QShowEvent* event) {
  if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

std::string TConfigForm::QuotedExeName() {
  std::string name = SystemFunctions ? SystemFunctions->GetExeName() : std::string();
  if (!name.empty()) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(name, error);
    if (!error) name = full.lexically_normal().string();
  }
  return "\"" + name + "\"";
}

std::string TConfigForm::CommandLine() { return QuotedExeName() + " \"%1\""; }

int TConfigForm::IconIndex(const std::string& extension) {
  std::string key = Upper(extension);
  for (const TIconIndex& entry : kIconIndices)
    if (key == entry.Extension) return entry.Index;
  return 1;
}

void TConfigForm::SetItems(const std::vector<std::string>& extensions) {
  FExts->clear();
  for (const std::string& extension : extensions) {
    auto* item = new QListWidgetItem(codepage::ToQString(extension), FExts);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

std::vector<std::string> TConfigForm::Extensions() const {
  std::vector<std::string> extensions;
  for (int i = 0; i < FExts->count(); ++i)
    extensions.push_back(codepage::FromQString(FExts->item(i)->text()));
  return extensions;
}

std::vector<bool> TConfigForm::Checks() const {
  std::vector<bool> checks;
  for (int i = 0; i < FExts->count(); ++i) checks.push_back(FExts->item(i)->checkState() == Qt::Checked);
  return checks;
}

void TConfigForm::LoadPage() {
  FManager->LoadControls();
  SetItems(SplitLines(Settings->ReadText(kTypeList)));
  RefreshChecks();
}

void TConfigForm::RefreshChecks() {
  const std::string command = CommandLine();
  for (int i = 0; i < FExts->count(); ++i) {
    TFileTypeAssociator associator = Associator();
    associator.SetExtension(codepage::FromQString(FExts->item(i)->text()));
    bool ours = SameText(associator.GetCommand(), command);
    FExts->item(i)->setCheckState(ours ? Qt::Checked : Qt::Unchecked);
  }
}

void TConfigForm::bbAllExtsClick() {
  std::vector<bool> checks = Checks();
  bool all = std::all_of(checks.begin(), checks.end(), [](bool checked) { return checked; });
  for (int i = 0; i < FExts->count(); ++i) FExts->item(i)->setCheckState(all ? Qt::Unchecked : Qt::Checked);
}

void TConfigForm::sbEditListClick() {
  if (FEditList->isChecked()) {
    if (FListEditor) return;
    FExts->hide();
    FListEditor = new QPlainTextEdit(FExtsPanel);
    FListEditor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FListEditor->setLineWrapMode(QPlainTextEdit::NoWrap);
    FListEditor->setFont(FExts->font());
    QStringList lines;
    for (int i = 0; i < FExts->count(); ++i) lines << FExts->item(i)->text();
    FListEditor->setPlainText(lines.join('\n'));
    FExtsPanel->layout()->addWidget(FListEditor);
    FListEditor->show();
    FListEditor->setFocus();
    return;
  }
  if (!FListEditor) return;
  SetItems(SplitLines(codepage::FromQString(FListEditor->toPlainText())));
  delete FListEditor;
  FListEditor = nullptr;
  FExts->show();
  RefreshChecks();
}

void TConfigForm::ApplyAssociation(const std::string& extension, bool checked) {
  TFileTypeAssociator associator = Associator();
  associator.SetExtension(extension);
  if (!checked) {
    associator.Unassociate();
    return;
  }
  associator.SetMenu({"Edit", {{"Edit", "", CommandLine()}}});
  associator.SetIcon(QuotedExeName() + "," + std::to_string(IconIndex(extension)));
}

void TConfigForm::ApplyAssociations() {
  std::vector<std::string> extensions = Extensions();
  std::vector<bool> checks = Checks();
  for (std::size_t i = 0; i < extensions.size(); ++i) ApplyAssociation(extensions[i], checks[i]);
  Associator().NotifyShell();
}

void TConfigForm::SavePage() {
  ApplyAssociations();
  FManager->SaveControls();
  std::string list;
  for (const std::string& extension : Extensions()) list += extension + "\r\n";
  Settings->WriteText(kTypeList, list);
}

void TConfigForm::bbSaveClick() {
  SavePage();
  accept();
}
