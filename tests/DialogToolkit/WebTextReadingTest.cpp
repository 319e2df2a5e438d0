// The web backend's two readers of text it did not write: a script's long literal,
// and a message body that arrives in pieces.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "DialogToolkit/src/QORWebMessage.h"
#include "DialogToolkit/src/QORWebScriptText.h"

namespace {

// A script's long literal taken out as text: what the page runs must be the same.
struct Split {
  std::string script, before, text, after;
};

TEST(WebScriptText, TheLongestSingleQuotedLiteralIsTakenOutDecodedOrTheScriptLeftAlone) {
  const std::string big(1 << 20, 'x');
  const std::vector<Split> splits = {
      {"require(['ZQ/P/Filter'], function(Filter) { Filter.init('{\\\"a\\\":\\\"it\\'s \\\\ "
       "\\u00e9 \\ud83c\\udfe0 \\u003c/script>\\n\\t\\/\\x41\"'); });",
       "require(['ZQ/P/Filter'], function(Filter) { Filter.init(",
       "{\"a\":\"it's \\ \xC3\xA9 \xF0\x9F\x8F\xA0 </script>\n\t/A\"", "); });"},
      // The end is found by jumping from quote to quote: a quote after an even run of
      // backslashes ends the literal, after an odd run it does not.
      {"f('aaaaaa\\\\\\'b\\\\', 'x');", "f(", "aaaaaa\\'b\\", ", 'x');"},
      {"f('" + big + "\\'" + big + "\\\\');", "f(", big + "'" + big + "\\", ");"},
      // A quote inside a double-quoted literal or a comment opens no literal.
      {"g(\"it's\"); /* don't */ f('0123456789abc'); // it's\n", "g(\"it's\"); /* don't */ f(",
       "0123456789abc", "); // it's\n"},
  };
  QORWebScriptText parts;
  for (const Split& c : splits) {
    SCOPED_TRACE(c.script.substr(0, 60));
    ASSERT_TRUE(QORSplitScriptText(c.script, 10, parts));
    EXPECT_EQ(parts.before, c.before);
    EXPECT_TRUE(parts.text == c.text);
    EXPECT_EQ(parts.after, c.after);
  }
  const std::string unsplit[] = {
      "f('" + big + "\n" + big + "');",  // a line break inside is no literal, however far in
      "f('" + big + "\\\\\n');", "f('short');", "f(\"a double-quoted literal that is long\");",
      // What cannot be read safely is left as it is.
      "f(`${x}`, '0123456789abc');", "f(/'/, '0123456789abc');", "f('0123456789abc",
      "f('0123456789\\\nabc');",     // line continuation
      "f('0123456789\\101bc');",     // octal escape
      "f('0123456789\\ud83cabc');",  // lone surrogate
      "f('0123456789\\u12');"};
  for (const std::string& script : unsplit)
    EXPECT_FALSE(QORSplitScriptText(script, 10, parts)) << script.substr(0, 60);
}

// The dialog's message reader takes a body in pieces as the network gives them: cut
// anywhere, a body must be judged as it is whole, with the same strings.
// The strings of a body fed in pieces cut at the given offsets; none when refused.
using Verdict = std::optional<std::vector<std::string>>;
Verdict Read(const std::string& body, std::vector<size_t> cuts) {
  QORWebMessageReader reader;
  reader.Expect(body.size());
  cuts.push_back(body.size());
  bool ok = true;
  for (size_t from = 0, i = 0; i < cuts.size(); from = cuts[i++])
    ok = ok && reader.Feed(body.data() + from, cuts[i] - from);
  return ok && reader.Finish() ? Verdict(reader.Strings()) : std::nullopt;
}

TEST(WebMessageReader, EverySplitOffsetGivesTheWholeBodysVerdict) {
  std::string escapes = "[\"", decoded;
  for (int i = 0; i < 12; ++i) {  // densely, so that blocks of escapes are taken too
    escapes += R"(\b\f\n\r\t\/\"\\x)";
    decoded += "\b\f\n\r\t/\"\\x";
  }
  const std::vector<std::pair<std::string, Verdict>> bodies = {
      {R"(["onOkClick","{\"a\":1}"])", Verdict({"onOkClick", R"({"a":1})"})},
      {R"( [ "a" , "b\n\t\\\/" ] )", Verdict({"a", "b\n\t\\/"})},
      {"[\"\\u00e9\\ud83d\\ude00 \xc3\xa9\xf0\x9f\x98\x80\"]",
       Verdict({"\xc3\xa9\xf0\x9f\x98\x80 \xc3\xa9\xf0\x9f\x98\x80"})},
      {"[]", Verdict(std::vector<std::string>{})},
      {escapes + "\"]", Verdict({decoded})},
      {R"(["a",])", std::nullopt},
      {R"(["\ud800"])", std::nullopt},
      {"[\"\xc3\"]", std::nullopt},
      {R"(["a"] x)", std::nullopt},
      {R"(["a")", std::nullopt},
      {R"(["\u00zz"])", std::nullopt},
  };
  for (const auto& [body, expected] : bodies) {
    SCOPED_TRACE(body);
    EXPECT_EQ(Read(body, {}), expected);
    for (size_t cut = 0; cut <= body.size(); ++cut)
      EXPECT_EQ(Read(body, {cut}), expected) << "cut at " << cut;
    std::vector<size_t> everyByte(body.size() > 1 ? body.size() - 1 : 0);
    std::iota(everyByte.begin(), everyByte.end(), 1);
    EXPECT_EQ(Read(body, everyByte), expected) << "byte by byte";
  }
}

}  // namespace
