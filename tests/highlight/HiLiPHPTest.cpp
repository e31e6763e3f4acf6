// The PHP highlighter: HTML text and tags, PHP blocks, JavaScript in script
// elements and CSS in style sheets, by the colour of every character.

#include <gtest/gtest.h>

#include "highlight/HiLiPHP.h"
#include "tests/highlight/HighlightTestUtil.h"

namespace {

using hltest::Case;
using hltest::ExpectColours;
using hltest::Kind;

TEST(PHPHighlighter, OpensAndClosesPHPBlocks) {
  ExpectColours(Kind::PHP,
                {
                    {{"<?php echo $a; ?>"}, {"kkkkkskkkksvvsskk"}},
                    {{"<?PHP echo $a; ?>"}, {"kkkkkskkkksvvsskk"}},
                    {{"<?pHp ECHO 1; ?>"}, {"kkkkkskkkksnsskk"}},
                    // "<?" with a space or "=" opens PHP at the "?".
                    {{"<? echo 1; ?>"}, {"kkskkkksnsskk"}},
                    {{"<?= $x ?>"}, {"kkssvvskk"}},
                    // "<?ph" at the end of a line is not "<?php": PHP opens at the "?".
                    {{"<?ph"}, {"kk.."}},
                    {{"a <?ph"}, {".skk.."}},
                    // Text after a PHP block is text again, not the inside of a tag.
                    {{"<?php echo 1; ?> text"}, {"kkkkkskkkksnsskks...."}},
                    {{"<?php", "$x = 1;", "?>", "plain <b>"}, {"kkkkk", "vvsssns", "kk", ".....skkk"}},
                    // "?>" closes the block even inside a tag's text; a lone "?" does not.
                    {{"<?php $a ? 1 : 2 ?>x"}, {"kkkkksvvsssnsssnskk."}},
                });
}

TEST(PHPHighlighter, StringsAndEscapes) {
  ExpectColours(Kind::PHP, {
                               {{"<?php $s = \"a\\\"b\"; ?>"}, {"kkkkksvvsssqqqqqqsskk"}},
                               {{"<?php $s = 'it\\'s'; ?>"}, {"kkkkksvvsssqqqqqqqsskk"}},
                               {{"<?php \"a\\\\\" . 'b' ?>"}, {"kkkkksqqqqqsssqqqskk"}},
                               // "?>", "//" and "#" inside a string are string text.
                               {{"<?php \"?> // #\" ?>"}, {"kkkkksqqqqqqqqqskk"}},
                               // A string does not continue on the next line.
                               {{"<?php $s = \"abc", "def\";"}, {"kkkkksvvsssqqqq", "...qq"}},
                           });
}

TEST(PHPHighlighter, Comments) {
  ExpectColours(Kind::PHP,
                {
                    // "#" and "//" comment to the end of the line; "?>" there does not close PHP.
                    {{"<?php # note ?> x", "echo 1;"}, {"kkkkksccccccccccc", "kkkksns"}},
                    {{"<?php // ?>", "?>"}, {"kkkkksccccc", "kk"}},
                    // A block comment runs over line breaks until "*/".
                    {{"<?php /* a", "b", "c */ echo 1; ?>"}, {"kkkkkscccc", "c", "ccccskkkksnsskk"}},
                    // "/*/" opens a comment that the same slash does not close.
                    {{"<?php /*/ x */ 1"}, {"kkkkksccccccccsn"}},
                    // "*/" outside a comment is two symbols.
                    {{"<?php */"}, {"kkkkksss"}},
                });
}

TEST(PHPHighlighter, VariablesNumbersAndWords) {
  ExpectColours(Kind::PHP,
                {
                    {{"<?php $a1_b = 0x1F + 1.5;"}, {"kkkkksvvvvvsssnnnnsssnnns"}},
                    // A digit after a letter belongs to the word; after ";" or ")" it is no number.
                    {{"<?php f(1);2 x1"}, {"kkkkks.snss.s.."}},
                    // Keywords in any case; a word at the line end is looked up with its last letter.
                    {{"<?php IF ($a) Echo strlen"}, {"kkkkkskkssvvsskkkkskkkkkk"}},
                    // The everyday library functions are in the list; an unknown name is not.
                    {{"<?php sprintf str_replace is_null no_such_fn"},
                     {"kkkkkskkkkkkkskkkkkkkkkkkskkkkkkks.........."}},
                    // A word next to a string, variable or comment ends there.
                    {{"<?php echo\"x\";echo$a;echo#c"}, {"kkkkkskkkkqqqskkkkvvskkkkcc"}},
                    // A heredoc opener has no meaning.
                    {{"<?php <<<EOT"}, {"kkkkkssss..."}},
                });
}

TEST(PHPHighlighter, HtmlCommentsAndTags) {
  ExpectColours(Kind::PHP, {
                               {{"<b>bold</b>"}, {"kkk....kkkk"}},
                               {{"<B>x</B>"}, {"kkk.kkkk"}},
                               // An unknown tag keeps its plain colours.
                               {{"<foo>x</foo>"}, {"s...s.ss...s"}},
                               // "<!-->" does not close the comment it opens.
                               {{"<!--> x", "-->b"}, {"ccccccc", "ccc."}},
                               {{"a <!-- b --> c"}, {".sccccccccccs."}},
                               // A known tag name ending the line is coloured with its last letter.
                               {{"x <br"}, {".skkk"}},
                           });
}

TEST(PHPHighlighter, Attributes) {
  ExpectColours(Kind::PHP, {
                               {{"<a href=\"x.php\">"}, {"kksvvvvsqqqqqqqk"}},
                               // An unquoted value is navy too.
                               {{"<a href=x.php>"}, {"kksvvvvsqqqqqk"}},
                               {{"<a href='x' title=\"y\">z"}, {"kksvvvvsqqqqvvvvvsqqqk."}},
                               // A quoted value left open at the line end is closed by the same quote later.
                               {{"<a title=\"one", "two\" href=\"x\">"}, {"kksvvvvvsqqqq", "qqqqqvvvvsqqqk"}},
                               {{"<img alt='it\"s", "x' src=y>"}, {"kkkksvvvsqqqqq", "qqqvvvsqk"}},
                               // PHP inside an attribute value.
                               {{"<a href=\"<?php echo $u; ?>\">x"}, {"kksvvvvsqkkkkkskkkksvvsskkqk."}},
                           });
}

TEST(PHPHighlighter, ScriptElements) {
  ExpectColours(Kind::PHP,
                {
                    {{"<script>var x = \"s\"; // c", "</script>", "<b>x</b>"},
                     {"kkkkkkkkkkksksssqqqsscccc", "kkkkkkkkk", "kkk.kkkk"}},
                    // Attributes of the opening tag; the body starts after its ">".
                    {{"<script type=\"text/javascript\">", "if (a) alert('</script>');", "</SCRIPT>x"},
                     {"kkkkkkksvvvvsqqqqqqqqqqqqqqqqqk", "kkss.sskkkkksqqqqqqqqqqqss", "kkkkkkkkk."}},
                    // An HTML comment around a script body; "</script>" closes it inside a line comment.
                    {{"<script><!--", "document.write(1);", "//--></script>"},
                     {"kkkkkkkkcccc", "kkkkkkkkskkkkksnss", "ccccckkkkkkkkk"}},
                });
}

TEST(PHPHighlighter, StyleElements) {
  ExpectColours(Kind::PHP, {
                               // Without an HTML comment a style element's body is HTML text.
                               {{"<style>", "p { color: red }", "</style>"},
                                {"kkkkkkk", ".sss.....ss...ss", "kkkkkkkk"}},
                               // Inside "<!--" ... "-->" it is CSS.
                               {{"<style><!--", "p { color: #f00; margin-left: 12px; }", "--></style>"},
                                {"kkkkkkkcccc", "kssskkkkkssnnnnsskkkkkkkkkkkssnnnnsss", "ssskkkkkkkk"}},
                           });
}

TEST(PHPHighlighter, StyleSheetAndScriptFiles) {
  ExpectColours(Kind::PHPStyleSheet, {
                                         {{"body { color: #ff0000; width: 50%; padding: 12px }"},
                                          {"kkkkssskkkkkssnnnnnnnsskkkkkssnnnsskkkkkkkssnnnnss"}},
                                         {{"a:hover, x-foo { }"}, {"kskkkkkss.s...ssss"}},
                                     });
  ExpectColours(Kind::PHPScript,
                {
                    {{"var s = \"a\"; // c", "return 1;"}, {"kkks.sssqqqsscccc", "kkkkkksns"}},
                    // A word next to a string ends there.
                    {{"return\"x\";"}, {"kkkkkkqqqs"}},
                    // "</script>" inside a string does not end the script.
                    {{"document.write('</script>');", "<b>"}, {"kkkkkkkkskkkkksqqqqqqqqqqqss", "s.s"}},
                });
}

}  // namespace
