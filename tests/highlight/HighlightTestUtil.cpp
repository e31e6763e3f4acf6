#include "tests/highlight/HighlightTestUtil.h"

#include <gtest/gtest.h>

#include "highlight/HiLiC.h"
#include "highlight/HiLiJava.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "highlight/HiLiXML.h"

namespace hltest {

char Letter(TColor c) {
  switch (c) {
    case 0x000000:
      return '.';
    case 0x008000:
      return 's';
    case 0x800080:
      return 'v';
    case 0x808080:
      return 'c';
    case 0x000080:
      return 'n';
    case 0x800000:
      return 'q';
    case 0x808000:
      return 'k';
    default:
      return '?';
  }
}

std::string Colours(TSyntaxHighLight& h, std::string_view text, int index) {
  TLineAttrs attrs(text.size() + 1, TCharAttr{kDefaultFg, 0xFFFFFF, 0, 0});
  TSelAttrs sel(text.size() + 1, 0);
  h.HighlightLine(text, index, sel, attrs);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) out += Letter(attrs[i].FgColor);
  EXPECT_EQ(attrs.back().FgColor, kDefaultFg) << "the element after the text keeps its default";
  return out;
}

std::vector<std::string> Doc::PaintAll() {
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(Paint(i));
  return out;
}

std::unique_ptr<TSyntaxHighLight> Make(Kind kind, TAdvLines& lines) {
  switch (kind) {
    case Kind::PHP:
      return std::make_unique<TPHPHighLight>(lines);
    case Kind::PHPStyleSheet: {
      auto h = std::make_unique<TPHPHighLight>(lines);
      h->StartInStyleSheet();
      return h;
    }
    case Kind::PHPScript: {
      auto h = std::make_unique<TPHPHighLight>(lines);
      h->StartInScript();
      return h;
    }
    case Kind::C:
      return std::make_unique<TCHighLight>(lines);
    case Kind::Java:
      return std::make_unique<TJavaHighLight>(lines);
    case Kind::Pascal:
      return std::make_unique<TPASHighLight>(lines);
    case Kind::XML:
      return std::make_unique<TXMLHighLight>(lines);
  }
  return nullptr;
}

std::unique_ptr<Doc> MakeDoc(Kind kind, const std::vector<std::string>& text) {
  auto doc = std::make_unique<Doc>();
  std::string joined;
  for (const auto& line : text) joined += line + "\n";
  doc->lines.SetTextStr(joined);
  doc->hl = Make(kind, doc->lines);
  return doc;
}

void ExpectColours(Kind kind, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    auto doc = MakeDoc(kind, c.lines);
    ASSERT_EQ(doc->lines.Count(), static_cast<int>(c.lines.size()));
    std::vector<std::string> got = doc->PaintAll();
    ASSERT_EQ(c.colours.size(), c.lines.size()) << "bad table row: " << c.lines[0];
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      EXPECT_EQ(c.colours[i].size(), c.lines[i].size()) << "bad table row: " << c.lines[i];
      EXPECT_EQ(got[i], c.colours[i]) << "line " << i << ": " << c.lines[i];
    }
  }
}

}  // namespace hltest
