// A script's long literal taken out as text: what the page runs must be the same.
#include <gtest/gtest.h>

#include <string>

#include "DialogToolkit/src/QORWebScriptText.h"

namespace {

TEST(WebScriptText, TheLongestSingleQuotedLiteralComesOutDecoded) {
  const std::string script =
      "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { "
      "Filter.init('{\\\"a\\\":\\\"it\\'s \\\\ "
      "\\u00e9 \\ud83c\\udfe0 \\u003c/script>\\n\\t\\/\\x41\"'); });";
  QORWebScriptText parts;
  ASSERT_TRUE(QORSplitScriptText(script, 10, parts));
  EXPECT_EQ(parts.before,
            "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { Filter.init(");
  EXPECT_EQ(parts.after, "); });");
  EXPECT_EQ(parts.text, "{\"a\":\"it's \\ \xC3\xA9 \xF0\x9F\x8F\xA0 </script>\n\t/A\"");
}

// The end of a literal is found by jumping from quote to quote: a quote after an even
// run of backslashes ends it, after an odd run it does not.
TEST(WebScriptText, BackslashRunsBeforeAQuoteDecideWhereTheLiteralEnds) {
  QORWebScriptText parts;
  ASSERT_TRUE(QORSplitScriptText("f('a\\\\\\'b\\\\', 'x');", 4, parts));
  EXPECT_EQ(parts.text, "a\\'b\\");
  EXPECT_EQ(parts.after, ", 'x');");
  const std::string big(1 << 20, 'x');
  ASSERT_TRUE(QORSplitScriptText("f('" + big + "\\'" + big + "\\\\');", 10, parts));
  EXPECT_EQ(parts.text, big + "'" + big + "\\");
  EXPECT_EQ(parts.after, ");");
  // A line break inside is no literal, however far in; an escaped one is a continuation.
  EXPECT_FALSE(QORSplitScriptText("f('" + big + "\n" + big + "');", 10, parts));
  EXPECT_FALSE(QORSplitScriptText("f('" + big + "\\\\\n');", 10, parts));
}

TEST(WebScriptText, ShortLiteralsAndDoubleQuotedOnesStay) {
  QORWebScriptText parts;
  EXPECT_FALSE(QORSplitScriptText("f('short');", 10, parts));
  EXPECT_FALSE(QORSplitScriptText("f(\"a double-quoted literal that is long\");", 10, parts));
  // A quote inside a double-quoted literal or a comment does not open a literal.
  ASSERT_TRUE(
      QORSplitScriptText("g(\"it's\"); /* don't */ f('0123456789abc'); // it's\n", 10, parts));
  EXPECT_EQ(parts.text, "0123456789abc");
  EXPECT_EQ(parts.before, "g(\"it's\"); /* don't */ f(");
}

TEST(WebScriptText, WhatCannotBeReadSafelyIsLeftAsItIs) {
  QORWebScriptText parts;
  EXPECT_FALSE(QORSplitScriptText("f(`${x}`, '0123456789abc');", 10, parts)) << "template literal";
  EXPECT_FALSE(QORSplitScriptText("f(/'/, '0123456789abc');", 10, parts)) << "regular expression";
  EXPECT_FALSE(QORSplitScriptText("f('0123456789abc", 10, parts)) << "unterminated";
  EXPECT_FALSE(QORSplitScriptText("f('0123456789\\\nabc');", 10, parts)) << "line continuation";
  EXPECT_FALSE(QORSplitScriptText("f('0123456789\\101bc');", 10, parts)) << "octal escape";
  EXPECT_FALSE(QORSplitScriptText("f('0123456789\\ud83cabc');", 10, parts)) << "lone surrogate";
  EXPECT_FALSE(QORSplitScriptText("f('0123456789\\u12');", 10, parts)) << "short unicode escape";
}

}  // namespace
