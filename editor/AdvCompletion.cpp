#include "editor/AdvCompletion.h"

#include <algorithm>

#include "editor/AEAtoms.h"
#include "editor/AEKeys.h"
#include "editor/AdvEditErrors.h"
#include "editor/TextScan.h"

// ---------------------------------------------------------------- life

TCompletion::TCompletion(TCompletionHost& editor) : Editor(editor) {}

TCompletion::~TCompletion() {
  if (listBox_) {
    listBox_->OnClose = nullptr;
    listBox_->Hide();
  }
}

platform::CompletionList* TCompletion::EnsureListBox() {
  if (!listBox_ && ListFactory) {
    listBox_ = ListFactory();
    if (listBox_) {
      listBox_->SetItemHeight(ItemHeight);
      listBox_->OnClose = [this](bool accept) { CloseList(accept); };
    }
  }
  return listBox_.get();
}

// ---------------------------------------------------------------- words and entries

bool TCompletion::IsWordChar(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c == 8 || c == '_') return true;
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  // Windows-1251: А..я are 0xC0..0xFF, Ё is 0xA8 and ё is 0xB8.
  return c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

std::string TCompletion::Field(std::string_view entry, int n) const {
  if (n < 0) return {};
  if (Separator.empty()) return n == 0 ? std::string(entry) : std::string();
  std::size_t from = 0;
  for (int i = 0; i < n; ++i) {
    std::size_t sep = entry.find(Separator, from);
    if (sep == std::string_view::npos) return {};
    from = sep + Separator.size();
  }
  std::size_t next = entry.find(Separator, from);
  return std::string(entry.substr(from, next == std::string_view::npos ? std::string_view::npos : next - from));
}

std::string TCompletion::Trimmed(std::string_view text) {
  // Blanks and control characters, as the line break a word rule may hand back.
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

namespace {

// The word at 1-based position p of `text`: the run the word rule finds, or
// the single character at p when it finds none.
std::string WordText(std::string_view text, int p, int& start, int& end) {
  ::WordAt(text, p, start, end);
  if (start < end) return std::string(text.substr(static_cast<std::size_t>(start - 1), end - start));
  if (p >= 1 && p <= static_cast<int>(text.size())) return std::string(1, text[static_cast<std::size_t>(p - 1)]);
  return {};
}

}  // namespace

std::string TCompletion::WordBeforeCaret() const {
  const std::string_view row = Editor.CaretRowText();
  int start = 0, end = 0;
  return WordText(row, Editor.CaretColumn(), start, end);
}

bool TCompletion::StartsWith(const std::string& candidate, const std::string& word) const {
  std::string c = Editor.LowerCase(candidate), w = Editor.LowerCase(word);
  return c.starts_with(w);
}

bool TCompletion::SameWord(const std::string& a, const std::string& b) const {
  return Editor.LowerCase(a) == Editor.LowerCase(b);
}

// ---------------------------------------------------------------- candidates

void TCompletion::BuildCandidates() {
  Candidates.clear();
  if (Mode == 0) {
    Candidates = Identifiers;
    return;
  }
  const std::string word = WordBeforeCaret();
  for (const std::string& t : Templates)
    if (StartsWith(t, word)) Candidates.push_back(t);
  if (Candidates.empty()) Candidates = Templates;
}

int TCompletion::SelectedIndex() const {
  if (Active && listBox_) return listBox_->ItemIndex();
  return SavedIndex;
}

void TCompletion::SetSelectedIndex(int index) {
  if (Active && listBox_) {
    listBox_->SetItemIndex(index);
  } else {
    SavedIndex = index;
  }
}

bool TCompletion::SelectBestMatch() {
  const std::string word = Editor.TextEmpty() ? std::string() : WordBeforeCaret();
  int found = -1;
  if (!Trimmed(word).empty()) {
    for (std::size_t i = 0; i < Candidates.size(); ++i) {
      if (StartsWith(Candidates[i], word)) {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  SetSelectedIndex(found);
  return found >= 0 && SameWord(Trimmed(Field(Candidates[static_cast<std::size_t>(found)], 0)), word);
}

bool TCompletion::CallModeHook(std::uint8_t mode, bool handled) {
  if (mode == 0) {
    Editor.CompletionOffered(0, handled);
  } else {
    Editor.CompletionOffered(1, handled);
  }
  return handled;
}

// ---------------------------------------------------------------- the pop-up

void TCompletion::ShowList(std::uint8_t mode, bool forced) {
  CloseList(false);
  Mode = mode;
  const bool handled = CallModeHook(mode, false);
  BuildCandidates();
  const bool exact = SelectBestMatch();
  if (handled || Candidates.empty()) return;
  if (!forced && (SavedIndex < 0 || exact)) return;
  platform::CompletionList* list = EnsureListBox();
  if (!list) return;

  std::vector<platform::CompletionItem> items;
  items.reserve(Candidates.size());
  for (const std::string& c : Candidates) items.push_back({c, Field(c, 1), Mode == 1 ? Field(c, 0) : std::string()});
  list->SetItems(Mode, std::move(items));
  list->SetItemHeight(ItemHeight);
  Active = true;
  list->SetItemIndex(SavedIndex);
  list->SetStyle(ListBoxStyle == platform::ListBoxStyle::Standard ? platform::ListBoxStyle::OwnerDrawFixed
                                                                  : ListBoxStyle);
  list->SetDrawItem(Editor.DrawItemHook());
  list->SetMeasureItem(Editor.MeasureItemHook());

  // Under the caret: the cell of the caret column on the next row.
  const platform::Rect cell = Editor.CellBelowCaret();
  platform::EditorWindow* window = Editor.Window();
  const platform::Point at =
      window ? window->ClientToScreen({cell.left, cell.top}) : platform::Point{cell.left, cell.top};
  const int left = at.x - 2 * kBorderWidth;
  int top = at.y - kBorderHeight;
  const int shown = std::min<int>(DropDownCount, static_cast<int>(Candidates.size()));
  const int height = std::max(0, shown) * ItemHeight + 2;
  if (window && top + height > window->ScreenRect().bottom) {
    // Above the caret row instead, when that stays on the screen.
    const int above = top - height - Editor.RowHeight() + 1;
    if (above >= window->ScreenRect().top) top = above;
  }
  const int width = DropDownWidth != 0 ? DropDownWidth : 2 * kBorderWidth + Editor.Width();
  list->ShowAt({left, top, left + width, top + height});
}

void TCompletion::Complete(int mode) {
  if (Editor.ReadOnly()) return;
  if (Active) CloseList(false);
  Mode = static_cast<std::uint8_t>(mode);
  if (mode == 0) {
    ShowList(0, true);
  } else if (mode == 1) {
    if (CallModeHook(1, false) || Templates.empty()) return;
    BuildCandidates();
    if (SelectBestMatch()) {
      InsertCompletion(Field(Candidates[static_cast<std::size_t>(SavedIndex)], 2));
    } else {
      ShowList(1, true);
    }
  }
}

void TCompletion::KeyTyped(char c) {
  if (Active) {
    if (IsWordChar(c, Editor.Encoding())) {
      SelectBestMatch();
      const bool handled = CallModeHook(Mode, !Active && SelectedIndex() < 0);
      if (handled || SourceList().empty()) CloseList(false);
    } else {
      // Passed before the character is inserted: the entry goes in first.
      CloseList(true);
    }
    return;
  }
  if (Enabled) StartTimer();
}

bool TCompletion::HandleKeyDown(std::uint16_t key) {
  switch (key) {
    case vk::Return:
      CloseList(true);
      return true;
    case vk::Escape:
      CloseList(false);
      return true;
    case vk::Prior:
    case vk::Next:
    case vk::Up:
    case vk::Down:
      if (listBox_) {
        listBox_->KeyPress(key == vk::Prior  ? platform::ListKey::PageUp
                           : key == vk::Next ? platform::ListKey::PageDown
                           : key == vk::Up   ? platform::ListKey::Up
                                             : platform::ListKey::Down);
      }
      return true;
    default:
      return false;
  }
}

void TCompletion::CloseList(bool accept) {
  if (Active && listBox_) SavedIndex = listBox_->ItemIndex();
  if (listBox_) listBox_->Hide();
  Active = false;
  StopTimer();
  if (!accept || SavedIndex < 0 || SavedIndex >= static_cast<int>(Candidates.size())) return;
  InsertCompletion(Field(Candidates[static_cast<std::size_t>(SavedIndex)], Mode == 0 ? 0 : 2));
}

// ---------------------------------------------------------------- inserting

void TCompletion::InsertCompletion(const std::string& text) {
  if (Mode > 1) throw EAdvEditError("Invalid Completion Mode");
  TCompletionHost& e = Editor;
  struct Insert {
    TCompletionHost& e;
    explicit Insert(TCompletionHost& host) : e(host) { e.BeginInsert(); }
    ~Insert() noexcept(false) { e.EndInsert(); }
  } insert(e);

  // The word at the caret, found in the caret's line: line breaks are word
  // delimiters, so the run never leaves the line.
  const std::int64_t offset = e.CaretOffset();
  const std::int64_t lineStart = e.CaretLineStart();
  const std::string_view line = e.CaretLineText();
  int start = 0, end = 0;
  const std::string word = Trimmed(WordText(line, static_cast<int>(offset - lineStart), start, end));
  // Without a word, or when the rule finds no run (a lone delimiter), the
  // text goes in at the caret and nothing is replaced.
  std::int64_t from = offset + 1, to = offset;  // 1-based, `to` exclusive
  if (!word.empty() && start < end) {
    from = lineStart + start;
    to = lineStart + end;
  }
  std::string replaced;
  if (to > from)
    replaced = line.substr(static_cast<std::size_t>(from - 1 - lineStart), static_cast<std::size_t>(to - from));
  int column = e.OffsetToPos(from - 1).x + 1;
  if (column <= 0) column = e.CaretColumn() + 1;

  std::string inserted = e.ExpandTabs(e.AdjustCompletion(word, text));
  std::size_t caretPos = inserted.size();
  if (Mode == 1) {
    if (!CRLF.empty()) {
      const std::string lineBreak = "\r\n" + std::string(static_cast<std::size_t>(column - 1), ' ');
      std::string out;
      for (std::size_t i = 0;;) {
        std::size_t hit = inserted.find(CRLF, i);
        out.append(inserted, i, hit == std::string::npos ? std::string::npos : hit - i);
        if (hit == std::string::npos) break;
        out += lineBreak;
        i = hit + CRLF.size();
      }
      inserted = std::move(out);
    }
    const std::size_t mark = inserted.find(CaretChar);
    inserted.erase(std::remove(inserted.begin(), inserted.end(), CaretChar), inserted.end());
    caretPos = mark == std::string::npos ? inserted.size() : mark;
  }
  e.Replace(from - 1, static_cast<std::int64_t>(replaced.size()), inserted,
            from - 1 + static_cast<std::int64_t>(caretPos));
}

// ---------------------------------------------------------------- auto-change words

void TCompletion::SetAutoChange(const std::vector<std::string>& entries) {
  autoChange_ = entries;
  RebuildAutoChange();
}

void TCompletion::RebuildAutoChange() {
  AutoChangePairs.clear();
  for (const std::string& entry : autoChange_) {
    std::string word = Field(entry, 0);
    if (word.empty()) continue;
    AutoChangePairs.push_back({Editor.LowerCase(word), Field(entry, 1)});
  }
  std::stable_sort(AutoChangePairs.begin(), AutoChangePairs.end(),
                   [](const TAutoChangeWord& a, const TAutoChangeWord& b) { return a.Word.size() < b.Word.size(); });
}

// ---------------------------------------------------------------- the auto-popup timer

void TCompletion::StartTimer() { Editor.StartCompletionTimer(static_cast<int>(Interval)); }

void TCompletion::StopTimer() { Editor.StopCompletionTimer(); }

void TCompletion::TimerTick() { ShowList(TimerMode, false); }
