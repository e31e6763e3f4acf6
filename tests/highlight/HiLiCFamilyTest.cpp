// The C, Java, Pascal and XML highlighters, by the colour of every character.

#include <gtest/gtest.h>

#include "tests/highlight/HighlightTestUtil.h"

namespace {

using hltest::Case;
using hltest::ExpectColours;
using hltest::Kind;

TEST(CHighlighter, Comments) {
  ExpectColours(Kind::C,
                {
                    {{"/* a */ b"}, {"cccccccs."}},
                    // "/*/" opens a comment that the same slash does not close.
                    {{"/*/ x", "*/ y"}, {"ccccc", "ccs."}},
                    {{"x = 1; // y */"}, {".sssnssccccccc"}},
                    // An unterminated comment greys the following lines until "*/".
                    {{"int a; /*", "int b;", "", "c */ int d;"}, {"kkks.sscc", "cccccc", "", "ccccskkks.s"}},
                    // "*/" outside a comment is two symbols; "/" alone is a symbol.
                    {{"a */ b / c"}, {".ssss.sss."}},
                });
}

TEST(CHighlighter, StringsAndCharacters) {
  ExpectColours(Kind::C, {
                             {{"s = \"a\\\"b\";"}, {".sssqqqqqqs"}},
                             {{"c = '\\'';"}, {".sssqqqqs"}},
                             {{"\"/* not a comment\" x"}, {"qqqqqqqqqqqqqqqqqqs."}},
                             // A string never continues on the next line.
                             {{"s = \"abc", "d\" e"}, {".sssqqqq", ".qqq"}},
                             // A word next to a string ends there.
                             {{"case'a': return\"x\";"}, {"kkkkqqqsskkkkkkqqqs"}},
                         });
}

TEST(CHighlighter, PrefixRunsNumbersAndWords) {
  ExpectColours(Kind::C, {
                             {{"#include <stdio.h>"}, {"vvvvvvvvss.....s.s"}},
                             // "#define" is in the word list but never found: "#" is no word character.
                             {{"#define X 1"}, {"vvvvvvvs.sn"}},
                             {{"x = 0x1F;"}, {".sssnnnns"}},
                             {{"a1 (1 ;1 [2.5e3] -7"}, {"..ssnss.ssnnnnnsssn"}},
                             // Keywords in any case; a keyword at the very end of the line is found.
                             {{"WHILE (x) Return"}, {"kkkkkss.sskkkkkk"}},
                             {{"x; return"}, {".sskkkkkk"}},
                             {{"sizeof(int)*NULL"}, {"kkkkkkskkksskkkk"}},
                         });
  hltest::Doc doc;
  doc.hl = hltest::Make(Kind::C, doc.lines);
  // A digit after a tab is not a number: a tab is not in the set of number starters.
  EXPECT_EQ(hltest::Colours(*doc.hl, "\t1 1", 0), "s.sn");
}

TEST(JavaHighlighter, Differences) {
  ExpectColours(Kind::Java, {
                                {{"# text", "int x;"}, {"cccccc", "kkks.s"}},
                                {{"a = $value + b; // c"}, {".sssvvvvvvsss.sscccc"}},
                                {{"String STRING string"}, {"kkkkkkskkkkkkskkkkkk"}},
                                {{"while WHILE While"}, {"kkkkkskkkkkskkkkk"}},
                                {{"/* a", "# b */ c"}, {"cccc", "ccccccs."}},
                                // "#" is a comment, so there is no "#" run.
                                {{"x#include"}, {".cccccccc"}},
                            });
}

TEST(PascalHighlighter, CommentsStringsAndConstants) {
  ExpectColours(Kind::Pascal, {
                                  {{"{ a } x"}, {"cccccs."}},
                                  {{"(* b *) x"}, {"cccccccs."}},
                                  // "{" inside "(* *)" starts no brace comment, nor "(*" inside "{ }".
                                  {{"(* { *) x", "{ (* } y"}, {"cccccccs.", "ccccccs."}},
                                  {{"{ open", "still } begin"}, {"cccccc", "cccccccskkkkk"}},
                                  {{"(* open", "*) end"}, {"ccccccc", "ccskkk"}},
                                  // "(*)" opens a comment that its ")" does not close.
                                  {{"(*) x *) y"}, {"ccccccccs."}},
                                  {{"s := 'it''s';"}, {".ssssqqqqqqqs"}},
                                  // A quote inside a comment starts no string.
                                  {{"{ it's } 'a'"}, {"ccccccccsqqq"}},
                                  {{"s := #13#10 + #$0D;"}, {".ssssqqqqqqsssqqqqs"}},
                                  // "$FF" is a symbol and a word, not a number.
                                  {{"x := $FF + 12"}, {".sssss..sssnn"}},
                                  {{"BEGIN Begin begin end."}, {"kkkkkskkkkkskkkkkskkks"}},
                                  {{"begin{c}end"}, {"kkkkkccckkk"}},
                                  {{"x // c"}, {".scccc"}},
                              });
}

TEST(XMLHighlighter, CScannerOnMarkup) {
  ExpectColours(Kind::XML, {
                               {{"<item class=\"a\">"}, {"s....skkkkksqqqs"}},
                               {{"<?xml version=\"1.0\"?>"}, {"ss...s.......sqqqqqss"}},
                               // Two slashes in text start a comment; "<!--" is no comment.
                               {{"<a>see http://x.org now</a>"}, {"s.s...s....sccccccccccccccc"}},
                               {{"<!-- new -->"}, {"ssssskkkssss"}},
                               // "<![CDATA[ /* ]]>" opens a block comment that lasts until "*/".
                               {{"<![CDATA[ /* ]]>", "<b>text</b>", "*/ <b/>"},
                                {"sss.....sscccccc", "ccccccccccc", "ccss.ss"}},
                               {{"&#x41; 10"}, {"svvvvssnn"}},
                           });
}

}  // namespace
