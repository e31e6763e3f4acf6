#include "highlight/source_editor.h"

#include "editor/CaseMap.h"
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

}  // namespace

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
  Document->Load(name);
  ChooseHighlighter();
  // The history of the text replaced would apply to the new one: drop it.
  ClearUndo();
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
  std::size_t length = 0;
  const std::int64_t offset = Document->FindText(text, CaretY + 1, length);
  SetSelLength(0);
  if (offset >= 0) {
    SetSelStart(static_cast<int>(offset + 1));
    SetSelLength(static_cast<int>(length));
    return;
  }
  ScrollTo(0, 0);
  MoveCaretUndoable(0, 0);
}
