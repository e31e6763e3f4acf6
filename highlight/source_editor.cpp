#include "highlight/source_editor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "editor/CaseMap.h"
#include "editor/UnicodeCase.h"
#include "editor/Utf8.h"
#include "highlight/HiLiC.h"
#include "highlight/HiLiJava.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "highlight/HiLiXML.h"

namespace {

enum class Kind { Php, Css, Js, Java, Pascal, C, Xml };

struct Extension {
  const char* ext;
  Kind kind;
};

// Compared without regard to case, with the dot.
constexpr Extension kExtensions[] = {
    {".PHP", Kind::Php},  {".INC", Kind::Php}, {".HTM", Kind::Php}, {".HTML", Kind::Php},  {".PHP5", Kind::Php},
    {".PHP4", Kind::Php}, {".CSS", Kind::Css}, {".JS", Kind::Js},   {".JAVA", Kind::Java}, {".PAS", Kind::Pascal},
    {".C", Kind::C},      {".H", Kind::C},     {".CPP", Kind::C},   {".XML", Kind::Xml},
};

std::string ExtensionOf(const std::string& fileName) {
  std::size_t slash = fileName.find_last_of('/');
  std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return casemap::ToUpper(fileName.substr(dot));
}

// The code page's characters folded by case: bytes equal without regard to
// case fold to the same byte.
struct TFoldTable {
  unsigned char fold[256];
  TFoldTable() {
    for (int b = 0; b < 256; ++b) fold[b] = static_cast<unsigned char>(casemap::ToUpper(static_cast<char>(b)));
  }
};
const TFoldTable kFold;

// Case-insensitive search of a needle in `hay`. Candidate starts are found
// with memchr for each of the bytes in `firsts` (those a match may start
// with); each next position is searched again only after it has been
// passed. `rest` compares the text from a candidate start with the needle
// and gives the length of the match, 0 when there is none.
template <typename Rest>
std::size_t FindFrom(std::string_view hay, const std::vector<char>& firsts, std::size_t shortest, Rest&& rest,
                     std::size_t& length) {
  if (shortest == 0 || shortest > hay.size()) return std::string_view::npos;
  const std::size_t last = hay.size() - shortest;
  constexpr std::size_t kMost = 8;
  const std::size_t count = std::min(firsts.size(), kMost);
  std::size_t next[kMost];
  bool searched[kMost] = {};
  auto find = [&](std::size_t k, std::size_t from) {
    const void* p = std::memchr(hay.data() + from, firsts[k], last - from + 1);
    next[k] = p ? static_cast<std::size_t>(static_cast<const char*>(p) - hay.data()) : std::string_view::npos;
    searched[k] = true;
  };
  for (std::size_t i = 0; i <= last;) {
    std::size_t start = std::string_view::npos;
    for (std::size_t k = 0; k < count; ++k) {
      if (!searched[k] || (next[k] != std::string_view::npos && next[k] < i)) find(k, i);
      start = std::min(start, next[k]);
    }
    if (start == std::string_view::npos) return start;
    length = rest(start);
    if (length > 0) return start;
    i = start + 1;
  }
  return std::string_view::npos;
}

// The UTF-8 character at `pos` (a byte that is not UTF-8 as the character
// of its number) and its length.
int CharAt(std::string_view text, std::size_t pos, char32_t& ch) {
  const int n = utf8::Decode(text, pos, ch);
  if (n > 0) return n;
  ch = static_cast<unsigned char>(text[pos]);
  return 1;
}

}  // namespace

TFileStamp FileStampOf(const std::string& fileName) {
  TFileStamp stamp;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    stamp.State = errno == ENOENT || errno == ENOTDIR ? TFileStamp::TState::Missing : TFileStamp::TState::Unknown;
    return stamp;
  }
  // What is there now is no document's file: the text is its last copy.
  if (!S_ISREG(st.st_mode)) return stamp;
  stamp.State = TFileStamp::TState::Present;
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  stamp.ModifiedSeconds = st.st_mtim.tv_sec;
  stamp.ModifiedNanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

TSourceEditor::TSourceEditor() = default;

TSourceEditor::~TSourceEditor() {
  SetHighlighting(false);
  Highlighter.reset();
}

std::unique_ptr<TSyntaxHighLight> TSourceEditor::HighlighterFor(const std::string& fileName, TAdvLines& lines) {
  const std::string ext = ExtensionOf(fileName);
  for (const Extension& e : kExtensions) {
    if (ext != e.ext) continue;
    switch (e.kind) {
      case Kind::Php:
        return std::make_unique<TPHPHighLight>(lines);
      case Kind::Css: {
        auto h = std::make_unique<TPHPHighLight>(lines);
        h->StartInStyleSheet();
        return h;
      }
      case Kind::Js: {
        auto h = std::make_unique<TPHPHighLight>(lines);
        h->StartInScript();
        return h;
      }
      case Kind::Java:
        return std::make_unique<TJavaHighLight>(lines);
      case Kind::Pascal:
        return std::make_unique<TPASHighLight>(lines);
      case Kind::C:
        return std::make_unique<TCHighLight>(lines);
      case Kind::Xml:
        return std::make_unique<TXMLHighLight>(lines);
    }
  }
  return nullptr;
}

void TSourceEditor::LoadFile(const std::string& name) {
  // One transaction: the listeners hear the new text once it has its highlighter.
  TEditScope edit(*this);
  FileName = name;
  // Taken before the read: a change made while it reads shows as a change.
  const TFileStamp stamp = FileStampOf(name);
  LoadText(name);
  ChooseHighlighter();
  // The history of the text replaced would apply to the new one: drop it.
  ClearUndo();
  DiskStamp = stamp;
  FileModified = false;
}

void TSourceEditor::StartEmpty(const std::string& fileName) {
  FileName = fileName;
  Lines->Add("");
  Modified = false;
  FileModified = false;
}

void TSourceEditor::Restore(const std::string& fileName, TTextEncoding encoding, bool byteOrderMark, TFileFormat format,
                            const TFileStamp& stamp, int readTabWidth,
                            const std::function<void(TAdvLines&)>& restoreText) {
  TEditScope edit(*this);
  FileName = fileName;
  SetEncoding(encoding);
  SetByteOrderMark(byteOrderMark);
  {
    // TABs entering the store become blanks of the width the text was read with.
    struct TTabWidthFor {
      int& width;
      int was;
      ~TTabWidthFor() { width = was; }
    } tabWidth{TabWidth, TabWidth};
    TabWidth = readTabWidth;
    restoreText(*Lines);
  }
  FileFormat = format;
  ChooseHighlighter();
  ClearUndo();
  DiskStamp = stamp;
  Modified = true;
  FileModified = true;
}

void TSourceEditor::ChooseHighlighter() {
  SetHighlighting(false);
  Highlighter = HighlighterFor(FileName, *Lines);
  if (Highlighter) {
    SetHighlighting(true);
    Highlighter->ResetStates();
  }
}

void TSourceEditor::Save() {
  SaveText(FileName);
  TextSaved();
  DiskStamp = FileStampOf(FileName);
  FileModified = false;
}

void TSourceEditor::SaveUnlessChanged() {
  SaveText(FileName, [this] {
    const TFileStamp now = FileStampOf(FileName);
    return now.State != TFileStamp::TState::Present || now == DiskStamp;
  });
  TextSaved();
  DiskStamp = FileStampOf(FileName);
  FileModified = false;
}

void TSourceEditor::SaveAs(const std::string& name) {
  // The document takes the new name only once it has been written there.
  SaveText(name);
  TextSaved();
  FileName = name;
  DiskStamp = FileStampOf(name);
  FileModified = false;
}

void TSourceEditor::SetHighlighting(bool on) {
  if (!on) {
    OnHighlight = nullptr;
    return;
  }
  if (!Highlighter) return;
  TSyntaxHighLight* h = Highlighter.get();
  OnHighlight = [h](TAdvancedEditor&, std::string_view text, int line, const TSelAttrs& sel, TLineAttrs& attrs) {
    h->HighlightLine(text, line, sel, attrs);
  };
}

void TSourceEditor::ChangeNotification() {
  FileModified = true;
  TAdvancedEditor::ChangeNotification();
}

void TSourceEditor::HighlighterHears(const TLinesChange& change) {
  if (Highlighter) Highlighter->LinesChanged(change.FirstLine, change.LinesRemoved, change.LinesInserted);
}

void TSourceEditor::JournalHears(const TLinesChange& change) {
  if (OnTextChanged) OnTextChanged(*this, change);
}

TColourKey TSourceEditor::LineColourKey(int line) {
  return Highlighter && OnHighlight ? Highlighter->StartKey(line) : TColourKey{};
}

void TSourceEditor::FindNext(const std::string& text) {
  // A Windows-1252 needle compared byte by byte through the code page's
  // fold; a UTF-8 one character by character through the Unicode case table.
  std::vector<char> firsts;
  std::string folded;        // Windows-1252: the needle folded
  std::u32string upper;      // UTF-8: the needle's characters in upper case
  std::size_t shortest = 0;  // the fewest bytes a match can have
  if (!Utf8()) {
    for (char c : text) folded.push_back(static_cast<char>(kFold.fold[static_cast<unsigned char>(c)]));
    for (int c = 0; c < 256 && !folded.empty(); ++c)
      if (kFold.fold[c] == static_cast<unsigned char>(folded[0])) firsts.push_back(static_cast<char>(c));
    shortest = folded.size();
  } else {
    for (std::size_t i = 0; i < text.size();) {
      char32_t ch = 0;
      i += static_cast<std::size_t>(CharAt(text, i, ch));
      upper.push_back(unicase::ToUpper(ch));
    }
    // A match starts with the first byte of one of the first character's case forms.
    if (!upper.empty()) {
      const char32_t first = upper[0], lower = unicase::ToLower(first);
      for (char32_t form : {first, lower, unicase::ToUpper(lower), unicase::ToLower(lower)}) {
        char bytes[4];
        if (!utf8::Encodable(form)) continue;
        utf8::Encode(form, bytes);
        if (std::find(firsts.begin(), firsts.end(), bytes[0]) == firsts.end()) firsts.push_back(bytes[0]);
      }
    }
    shortest = upper.size();
  }
  const int count = Lines->Count();
  for (int i = std::max(0, CaretY + 1); i < count && shortest > 0; ++i) {
    const std::string_view hay = Lines->LineView(i);
    std::size_t length = 0;
    std::size_t p = std::string_view::npos;
    if (!Utf8()) {
      p = FindFrom(
          hay, firsts, shortest,
          [&](std::size_t start) -> std::size_t {
            std::size_t k = 1;
            while (k < folded.size() &&
                   kFold.fold[static_cast<unsigned char>(hay[start + k])] == static_cast<unsigned char>(folded[k]))
              ++k;
            return k == folded.size() ? k : 0;
          },
          length);
    } else {
      p = FindFrom(
          hay, firsts, shortest,
          [&](std::size_t start) -> std::size_t {
            // A match starts at a character's start.
            if (start > 0 && (static_cast<unsigned char>(hay[start]) & 0xC0) == 0x80) return 0;
            std::size_t at = start;
            for (char32_t want : upper) {
              if (at >= hay.size()) return 0;
              char32_t ch = 0;
              at += static_cast<std::size_t>(CharAt(hay, at, ch));
              if (unicase::ToUpper(ch) != want) return 0;
            }
            return at - start;
          },
          length);
    }
    if (p == std::string_view::npos) continue;
    std::int64_t offset = Lines->LineStartOffset(i) + static_cast<std::int64_t>(p);
    SetSelLength(0);
    SetSelStart(static_cast<int>(offset + 1));
    SetSelLength(static_cast<int>(length));
    return;
  }
  SetSelLength(0);
  ScrollTo(0, 0);
  MoveCaretUndoable(0, 0);
}
