#include "app/ui/FindReplace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editor/AdvEdit.h"
#include "editor/EditSearch.h"
#include "qt/Codepage.h"

namespace {

constexpr int kHistoryLength = 20;

QString PatternText(const QComboBox* field) { return field->currentText(); }

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

TFindForm::TFindForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Find and Replace");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* fields = new QGridLayout;
  auto field = [this](QComboBox*& box) {
    box = new QComboBox(this);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxCount(kHistoryLength);
    box->setMinimumContentsLength(32);
    box->setDuplicatesEnabled(false);
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this] { Run([this] { FindNext(); }); });
  };
  field(find_);
  field(replace_);
  auto* findLabel = new QLabel("&Find:", this);
  auto* replaceLabel = new QLabel("Replace &with:", this);
  findLabel->setBuddy(find_);
  replaceLabel->setBuddy(replace_);
  // Screen readers name the fields by their labels, not by what they hold.
  for (auto [label, box] : {std::pair{findLabel, find_}, std::pair{replaceLabel, replace_}}) {
    const QString name = label->text().remove(QLatin1Char('&')).remove(QLatin1Char(':'));
    box->setAccessibleName(name);
    box->lineEdit()->setAccessibleName(name);
  }
  fields->addWidget(findLabel, 0, 0);
  fields->addWidget(find_, 0, 1);
  fields->addWidget(replaceLabel, 1, 0);
  fields->addWidget(replace_, 1, 1);
  layout->addLayout(fields);

  auto* options = new QGridLayout;
  auto option = [&](QCheckBox*& box, const char* caption, int row, int column) {
    box = new QCheckBox(caption, this);
    options->addWidget(box, row, column);
  };
  option(MatchCase, "Match &case", 0, 0);
  option(WholeWords, "W&hole words", 1, 0);
  option(RegularExpression, "Re&gular expression", 2, 0);
  option(Backwards, "Search &backwards", 0, 1);
  option(WrapAround, "Wrap &around", 1, 1);
  option(InSelection, "In &selection (Replace All)", 2, 1);
  WrapAround->setChecked(true);
  layout->addLayout(options);

  note_ = new QLabel(this);
  note_->setWordWrap(true);
  note_->hide();
  layout->addWidget(note_);

  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* caption, std::function<void()> action) {
    auto* b = new QPushButton(caption, this);
    // Return belongs to the fields (find next), not to a default button.
    b->setAutoDefault(false);
    b->setDefault(false);
    connect(b, &QPushButton::clicked, this, [this, action = std::move(action)] { Run(action); });
    buttons->addWidget(b);
    return b;
  };
  button("Find &next", [this] { Find(false); });
  button("Find &previous", [this] { Find(true); });
  button("&Replace", [this] { Replace(); });
  button("Replace A&ll", [this] { ReplaceAll(); });
  button("Close", [this] { reject(); });
  layout->addLayout(buttons);
}

TFindForm::~TFindForm() = default;

void TFindForm::ShowFind() { Open(find_); }

void TFindForm::ShowReplace() { Open(replace_); }

void TFindForm::Open(QComboBox* field) {
  if (TAdvancedEditor* e = Target ? Target() : nullptr) {
    const std::string selected = e->GetSelText();
    if (!selected.empty() && selected.size() <= 200 && selected.find('\r') == std::string::npos)
      find_->setCurrentText(codepage::ToQString(selected, e->Encoding()));
  }
  note_->hide();
  show();
  raise();
  activateWindow();
  field->setFocus();
  field->lineEdit()->selectAll();
}

void TFindForm::reject() {
  hide();
  if (Closed) Closed();
}

void TFindForm::Run(const std::function<void()>& action) {
  if (Guard) {
    Guard(action);
  } else {
    action();
  }
}

void TFindForm::Say(const QString& message) {
  if (Tell) Tell(message);
}

void TFindForm::Remember(QComboBox* field) {
  const QString text = field->currentText();
  if (text.isEmpty()) return;
  const int at = field->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (at == 0) return;
  if (at > 0) field->removeItem(at);
  field->insertItem(0, text);
  field->setCurrentIndex(0);
}

std::unique_ptr<TTextSearch> TFindForm::Compile() {
  note_->hide();
  if (PatternText(find_).isEmpty()) {
    Say("Nothing to find: type the text to find in the Find field");
    return nullptr;
  }
  Remember(find_);
  try {
    return std::make_unique<TTextSearch>(
        Utf8(PatternText(find_)),
        TSearchOptions{MatchCase->isChecked(), WholeWords->isChecked(), RegularExpression->isChecked()});
  } catch (const ESearchError& e) {
    note_->setText(QString::fromUtf8(e.what()));
    note_->show();
    Say(QString::fromUtf8(e.what()));
    return nullptr;
  }
}

void TFindForm::TellOutcome(const TFindOutcome& out, bool backwards) {
  if (!out.Found) {
    Say(QString("Not found: %1").arg(PatternText(find_)));
  } else if (out.Wrapped) {
    Say(backwards ? "Passed the start of the text: found from the end"
                  : "Passed the end of the text: found from the start");
  } else {
    Say({});
  }
}

bool TFindForm::FindNext() { return Find(Backwards->isChecked()); }

bool TFindForm::FindPrevious() { return Find(!Backwards->isChecked()); }

bool TFindForm::Find(bool backwards) {
  TAdvancedEditor* e = Target ? Target() : nullptr;
  if (!e) return false;
  const std::unique_ptr<TTextSearch> search = Compile();
  if (!search) return false;
  TellOutcome(FindAgain(*e, *search, backwards, WrapAround->isChecked()), backwards);
  return true;
}

void TFindForm::Replace() {
  TAdvancedEditor* e = Target ? Target() : nullptr;
  if (!e) return;
  const std::unique_ptr<TTextSearch> search = Compile();
  if (!search) return;
  Remember(replace_);
  TFindOutcome next;
  const bool backwards = Backwards->isChecked();
  ReplaceSelectedMatch(*e, *search, Utf8(replace_->currentText()), backwards, WrapAround->isChecked(), next);
  if (next.Refused) return;  // the editor told why
  TellOutcome(next, backwards);
}

void TFindForm::ReplaceAll() {
  TAdvancedEditor* e = Target ? Target() : nullptr;
  if (!e) return;
  if (InSelection->isChecked() && (!e->SelAvail || e->GetSelText().empty())) {
    Say("Nothing is selected to replace in");
    return;
  }
  const std::unique_ptr<TTextSearch> search = Compile();
  if (!search) return;
  Remember(replace_);
  const std::int64_t n = ReplaceAllMatches(*e, *search, Utf8(replace_->currentText()), InSelection->isChecked());
  if (n == kReplaceRefused) return;  // the editor told why
  if (n == 0) {
    Say(QString("Not found: %1").arg(PatternText(find_)));
  } else {
    Say(n == 1 ? QString("Replaced 1 match") : QString("Replaced %1 matches").arg(n));
  }
}
