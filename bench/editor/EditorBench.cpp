// Editing work on generated documents, without painting: caret movement,
// typing, line breaks, large inserts and deletes, block indent and undo.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "bench/support/Corpus.h"
#include "editor/AdvEdit.h"
#include "platform/Clipboard.h"

namespace {

// One loaded editor per (size, word wrap), kept across benchmarks.
TAdvancedEditor& Editor(int mb, bool wrap) {
  static std::map<std::pair<int, bool>, std::unique_ptr<TAdvancedEditor>> editors;
  auto& e = editors[{mb, wrap}];
  if (!e) {
    e = std::make_unique<TAdvancedEditor>();
    e->SetWordWrap(wrap);
    e->Lines->LoadFromFile(CorpusFile(mb));
  }
  return *e;
}

// The caret on a non-empty line in the middle of the document.
void ToMiddle(TAdvancedEditor& e, int column = 4) {
  int row = e.Lines->GetRowCount() / 2;
  while (e.RowLength(row) < 20) ++row;
  e.Unselect();
  e.MoveCaret(column, row);
}

void Movement(benchmark::State& state, std::uint16_t command, std::uint16_t back) {
  TAdvancedEditor& e = Editor(static_cast<int>(state.range(0)), state.range(1) != 0);
  ToMiddle(e);
  bool forward = true;
  for (auto _ : state) {
    e.ExecuteCommand(forward ? command : back);
    forward = !forward;
  }
  e.UndoBuffer->Clear();
}
void BM_CaretDown(benchmark::State& s) { Movement(s, cmdCaretDown, cmdCaretUp); }
void BM_SelectDown(benchmark::State& s) { Movement(s, cmdSelectDown, cmdSelectUp); }
void BM_WordRight(benchmark::State& s) { Movement(s, cmdWordRight, cmdWordLeft); }
BENCHMARK(BM_CaretDown)->ArgsProduct({{1, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SelectDown)->ArgsProduct({{1, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WordRight)->ArgsProduct({{1, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);

// A typed character followed by Backspace, or Delete followed by the character again.
void BM_TypeAndBackspace(benchmark::State& state) {
  TAdvancedEditor& e = Editor(static_cast<int>(state.range(0)), false);
  ToMiddle(e);
  bool type = true;
  for (auto _ : state) {
    e.ExecuteCommand(type ? std::uint16_t{'x'} : std::uint16_t{cmdDeleteLeft});
    type = !type;
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeAndBackspace)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

// The same on the UTF-8 document of mixed scripts, in the middle of a line
// of wide characters: a wide character typed, then Backspace.
void BM_TypeAndBackspaceUtf8(benchmark::State& state) {
  static std::map<int, std::unique_ptr<TAdvancedEditor>> editors;
  auto& e = editors[static_cast<int>(state.range(0))];
  if (!e) {
    e = std::make_unique<TAdvancedEditor>();
    e->SetEncoding(TTextEncoding::Utf8);
    e->Lines->LoadFromFile(MixedScriptCorpusFile(static_cast<double>(state.range(0))));
  }
  if (!e->Utf8()) return state.SkipWithError("the document did not load as UTF-8");
  // After the first wide character of a line from the middle on.
  constexpr std::string_view kWideLeads = "\xE4\xE5";
  int row = e->Lines->GetRowCount() / 2;
  while (row + 1 < e->Lines->GetRowCount() && e->Lines->RowView(row).find_first_of(kWideLeads) == std::string_view::npos)
    ++row;
  const std::size_t wide = e->Lines->RowView(row).find_first_of(kWideLeads);
  if (wide == std::string_view::npos) return state.SkipWithError("no wide character in the document");
  e->Unselect();
  e->MoveCaret(static_cast<int>(wide) + 3, row);
  bool type = true;
  for (auto _ : state) {
    if (type)
      e->TypeCharacter(U'\u4E2D');
    else
      e->ExecuteCommand(cmdDeleteLeft);
    type = !type;
  }
  e->UndoBuffer->Clear();
}
BENCHMARK(BM_TypeAndBackspaceUtf8)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_DeleteAndType(benchmark::State& state) {
  TAdvancedEditor& e = Editor(static_cast<int>(state.range(0)), false);
  ToMiddle(e);
  bool del = true;
  for (auto _ : state) {
    if (del) {
      e.ExecuteCommand(cmdDeleteRight);
    } else {
      e.ExecuteCommand('x');
      e.ExecuteCommand(cmdCaretLeft);
    }
    del = !del;
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_DeleteAndType)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

// Enter with auto-indent, then Backspace at the new line start (a join).
void BM_EnterAndJoin(benchmark::State& state) {
  TAdvancedEditor& e = Editor(static_cast<int>(state.range(0)), false);
  e.AutoIndent = true;
  ToMiddle(e, 10);
  bool enter = true;
  for (auto _ : state) {
    if (enter) {
      e.ExecuteCommand(cmdLineBreak);
      e.ExecuteCommand(cmdLineStart);
    } else {
      e.ExecuteCommand(cmdDeleteLeft);
    }
    enter = !enter;
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_EnterAndJoin)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

std::string MegabyteOfLines() {
  std::string text;
  while (text.size() < (1 << 20)) text += "    $value = compute($input, 42); // a line of fifty chars\r\n";
  return text;
}

void BM_InsertTextMegabyte(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, state.range(0) != 0);
  const std::string text = MegabyteOfLines();
  for (auto _ : state) {
    ToMiddle(e);
    e.InsertText(text);
    state.PauseTiming();
    e.ExecuteCommand(cmdUndo);
    state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_InsertTextMegabyte)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UndoInsertMegabyte(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, false);
  const std::string text = MegabyteOfLines();
  for (auto _ : state) {
    state.PauseTiming();
    ToMiddle(e);
    e.InsertText(text);
    state.ResumeTiming();
    e.ExecuteCommand(cmdUndo);
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_UndoInsertMegabyte)->Unit(benchmark::kMillisecond)->Iterations(5);

// Select 20,000 lines in the middle and delete them; the undo puts them back.
void SelectTwentyThousandLines(TAdvancedEditor& e) {
  ToMiddle(e, 0);
  e.ExtendSelection(0, e.CaretY);
  e.ExtendSelection(0, e.CaretY + 20000);
}
void BM_DeleteSelectionMegabyte(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, false);
  for (auto _ : state) {
    state.PauseTiming();
    SelectTwentyThousandLines(e);
    state.ResumeTiming();
    e.DeleteSelection();
    state.PauseTiming();
    e.ExecuteCommand(cmdUndo);
    state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_DeleteSelectionMegabyte)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UndoDeleteSelection(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, false);
  for (auto _ : state) {
    state.PauseTiming();
    SelectTwentyThousandLines(e);
    e.DeleteSelection();
    state.ResumeTiming();
    e.ExecuteCommand(cmdUndo);
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_UndoDeleteSelection)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_IndentTenThousandLines(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, false);
  for (auto _ : state) {
    state.PauseTiming();
    ToMiddle(e, 0);
    e.ExtendSelection(0, e.CaretY);
    e.ExtendSelection(3, e.CaretY + 10000);
    state.ResumeTiming();
    e.ExecuteCommand(state.range(0) ? cmdIndentSelection : cmdUnindentSelection);
    state.PauseTiming();
    e.ExecuteCommand(cmdUndo);
    state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_IndentTenThousandLines)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_UndoIndent(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, false);
  for (auto _ : state) {
    state.PauseTiming();
    ToMiddle(e, 0);
    e.ExtendSelection(0, e.CaretY);
    e.ExtendSelection(3, e.CaretY + 10000);
    e.ExecuteCommand(cmdIndentSelection);
    state.ResumeTiming();
    e.ExecuteCommand(cmdUndo);
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_UndoIndent)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SelectAllAndGetSelText(benchmark::State& state) {
  TAdvancedEditor& e = Editor(100, state.range(0) != 0);
  for (auto _ : state) {
    e.ExecuteCommand(cmdSelectAll);
    benchmark::DoNotOptimize(e.GetSelText().size());
  }
  e.Unselect();
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_SelectAllAndGetSelText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
