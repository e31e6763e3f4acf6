// Painting a full screen of 50 rows x 150 columns whose lines carry
// highlighter-like colours: the painter's own work per screen, on a window
// and canvases that draw nothing.

#include <benchmark/benchmark.h>

#include <cctype>
#include <string>

#include "bench/support/Corpus.h"
#include "bench/support/NullWindow.h"
#include "editor/AdvEdit.h"

namespace {

using benchsupport::NullCanvas;
using benchsupport::NullWindow;

// Colours in token-sized runs, changing at every change of character class,
// the way a source highlighter colours a line.
void Colour(TAdvancedEditor&, std::string_view text, int, const TSelAttrs&, TLineAttrs& attrs) {
  static constexpr TColor kPalette[] = {0x000080, 0x008000, 0x800000, 0x808000, 0x008080, 0x000000};
  int klass = -1, token = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int k = std::isalnum(c) ? 0 : c == ' ' ? 1 : 2;
    if (k != klass) ++token;
    klass = k;
    attrs[i].FgColor = kPalette[token % 6];
    if (token % 7 == 3) attrs[i].Style = platform::fontstyle::Bold;
    attrs[i].Tag = static_cast<std::uint8_t>(token % 5);
  }
}

// A line of UTF-8 made from an ASCII one: its words of three letters or more
// take turns becoming Chinese, Cyrillic with combining accents, and emoji
// sequences (flags, skin tones, joined families), one character a letter.
std::string ClusterLine(const std::string& ascii) {
  static const char* const kEmoji[] = {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",
                                       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", "\xF0\x9F\x98\x80"};
  std::string out;
  int turn = 0;
  for (std::size_t i = 0; i < ascii.size();) {
    std::size_t j = i;
    while (j < ascii.size() && std::isalpha(static_cast<unsigned char>(ascii[j]))) ++j;
    if (j - i < 3) {
      out += ascii[i];
      ++i;
      continue;
    }
    for (std::size_t k = i; k < j; ++k) {
      const int letter = std::tolower(static_cast<unsigned char>(ascii[k])) - 'a';
      if (turn == 0) {
        const char32_t han = 0x4E00 + static_cast<char32_t>(letter * 37 + static_cast<int>(k) % 11);
        out += static_cast<char>(0xE0 | (han >> 12));
        out += static_cast<char>(0x80 | ((han >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (han & 0x3F));
      } else if (turn == 1) {
        out += "\xD0";
        out += static_cast<char>(0xB0 + letter % 16);
        if (letter % 3 == 0) out += "\xCC\x81";
      } else {
        out += kEmoji[letter % 4];
      }
    }
    turn = (turn + 1) % 3;
    i = j;
  }
  return out;
}

struct Screen {
  NullWindow window;
  TAdvancedEditor editor;
  Screen(bool wrap, bool special, bool selection, bool clusters = false) {
    editor.AttachWindow(&window);
    editor.SetWordWrap(wrap);
    editor.SetColor(0xC0C0C0);
    editor.SetShowSpecialChars(special);
    editor.OnHighlight = Colour;
    // Long lines of the corpus, so that every one of the 150 columns holds text.
    std::string corpus = CorpusBytes(1);
    std::string text;
    std::size_t at = 0;
    for (int lines = 0; lines < 200 && at < corpus.size();) {
      std::size_t end = corpus.find('\n', at);
      if (end == std::string::npos) break;
      std::string line = corpus.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      while (line.size() < 170) line += " " + line;
      if (clusters) line = ClusterLine(line);
      text += line + "\r\n";
      ++lines;
    }
    if (clusters) editor.SetEncoding(TTextEncoding::Utf8);
    editor.Lines->SetTextStr(text);
    if (selection) {
      editor.ExtendSelection(20, 10);
      editor.ExtendSelection(40, 30);
    }
    editor.Paint({0, 0, 2 + 150 * 8, 50 * 16});
  }
};

void Run(benchmark::State& state, bool wrap, bool special, bool selection, bool dirty) {
  Screen s(wrap, special, selection);
  NullCanvas::calls = NullCanvas::chars = 0;
  long before = s.window.copies;
  for (auto _ : state) {
    if (dirty) s.editor.Lines->MarkAllDirty();
    s.editor.RepaintAll();
    s.editor.Paint({0, 0, 1, 1});
  }
  const double screens = static_cast<double>(state.iterations());
  state.counters["rows"] = static_cast<double>(s.window.copies - before) / screens - 1;  // less the gutter
  state.counters["canvas_calls"] = static_cast<double>(NullCanvas::calls) / screens;
  state.counters["chars"] = static_cast<double>(NullCanvas::chars) / screens;
}

void BM_PaintScreen(benchmark::State& s) { Run(s, false, false, false, false); }
void BM_PaintScreenSelected(benchmark::State& s) { Run(s, false, false, true, false); }
void BM_PaintScreenSpecialChars(benchmark::State& s) { Run(s, false, true, true, false); }
void BM_PaintScreenWrapped(benchmark::State& s) { Run(s, true, false, true, false); }
void BM_PaintScreenRehighlight(benchmark::State& s) { Run(s, false, false, true, true); }
// UTF-8 rows of wide characters, accented letters and emoji sequences.
void BM_PaintScreenClusters(benchmark::State& state) {
  Screen s(state.range(0) != 0, false, true, true);
  for (auto _ : state) {
    s.editor.RepaintAll();
    s.editor.Paint({0, 0, 1, 1});
  }
}
// A minified file: one line of a megabyte, wrapped, the view in its middle.
void BM_PaintScreenLongLine(benchmark::State& state) {
  NullWindow window;
  TAdvancedEditor editor;
  editor.AttachWindow(&window);
  editor.OnHighlight = Colour;
  std::string line;
  while (line.size() < (1u << 20)) line += "var a=function(b){return b*2+c.d[e]};";
  editor.Lines->SetTextStr(line);
  editor.ScrollTo(0, editor.Lines->GetRowCount() / 2);
  editor.ExtendSelection(0, editor.TopRow + 5);
  editor.ExtendSelection(10, editor.TopRow + 20);
  for (auto _ : state) {
    editor.RepaintAll();
    editor.Paint({0, 0, 1, 1});
  }
}
BENCHMARK(BM_PaintScreenLongLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreenSelected)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreenSpecialChars)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreenWrapped)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreenRehighlight)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintScreenClusters)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
