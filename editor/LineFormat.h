#pragma once

// What a document's file looks like beyond its text, so that the lines that
// were not edited can be written back exactly as they were read.
//
// TFileFormat is the file's rule: the line end most of its lines had,
// whether it indents with TABs (and the tab width its TABs were expanded
// with), whether its last line ended. A line the rule gives back from its
// text needs nothing more; every other line keeps its bytes as read
// (TLineAsRead) for as long as its text is the one it was read with.
//
// Texts here are the document's bytes, in its encoding (the UTF-8 of a
// UTF-8 document, without its byte-order mark).

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TLineEnd : std::uint8_t {
  None,  // of a line as read: the file's line end
  CrLf,
  Lf,
  Cr,
};

std::string_view LineEndBytes(TLineEnd end);

struct TFileFormat {
  // The lines are written by this format (the file was read keeping it);
  // otherwise every line is followed by CR LF.
  bool Kept = false;
  // The bytes as read differ from the text with CR LF after every line:
  // they had TABs, other line ends or no break after the last line.
  bool Foreign = false;
  TLineEnd LineEnd = TLineEnd::CrLf;  // the line end of edited and new lines
  bool TabIndent = false;             // leading blanks of edited lines are written as TABs
  int TabWidth = 0;                   // the blanks one TAB became when the file was read
  bool FinalBreak = true;             // the last line ends with a line end
};

// One line's bytes as read, where the file's rule does not give them back.
struct TLineAsRead {
  bool HasText = false;           // Text holds the line; else the rule gives it from the line's text
  std::string Text;               // the line as read, TABs included, without its line end
  TLineEnd End = TLineEnd::None;  // its own line end; None: the file's
  bool operator==(const TLineAsRead&) const = default;
};

// Bytes as read of some lines, each with the index of its line.
using TLinesAsRead = std::vector<std::pair<int, TLineAsRead>>;

// The format of `bytes` (a whole file) read with `tabWidth`, and the bytes
// as read of every line the format does not give back, by line index. The
// lines are those the line store splits the text into.
TFileFormat ReadFileFormat(std::string_view bytes, int tabWidth, TLinesAsRead& asRead);

// Calls sink(piece) with the pieces of one line's bytes as the format
// writes it: the bytes as read where the line has them, else its text with
// its leading blanks as TABs when the file indents with them; then its line
// end, none after the last line of a file that had none.
template <typename Sink>
void WriteKeptLine(std::string_view text, const TLineAsRead* asRead, bool last, const TFileFormat& format,
                   Sink&& sink) {
  constexpr std::string_view kTabs = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
  if (asRead && asRead->HasText) {
    sink(std::string_view(asRead->Text));
  } else if (format.TabIndent && format.TabWidth > 0 && !text.empty() && text.front() == ' ') {
    const std::size_t blanks = text.find_first_not_of(' ');
    std::size_t tabs =
        (blanks == std::string_view::npos ? text.size() : blanks) / static_cast<std::size_t>(format.TabWidth);
    text.remove_prefix(tabs * static_cast<std::size_t>(format.TabWidth));
    for (; tabs > 0; tabs -= std::min(tabs, kTabs.size())) sink(kTabs.substr(0, std::min(tabs, kTabs.size())));
    sink(text);
  } else {
    sink(text);
  }
  if (last && !format.FinalBreak) return;
  sink(LineEndBytes(asRead && asRead->End != TLineEnd::None ? asRead->End : format.LineEnd));
}
