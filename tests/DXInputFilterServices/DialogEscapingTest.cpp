// DialogEscapingTest.cpp - the document inside the init script: read back the way a
// script engine reads a single-quoted string, it must be the document exactly, and
// nothing in it may end the script element the page runs it in.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "DialogFixture.h"
#include "EventToolkit/QORDynamicCast.h"
#include "ObjectModelRuntime/QORFillDictionary.h"

namespace dxtest {
namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<uint32_t> Hex4(std::string_view text, size_t at) {
  if (at + 4 > text.size()) return std::nullopt;
  uint32_t value = 0;
  for (size_t i = at; i < at + 4; ++i) {
    const char c = text[i];
    value <<= 4;
    if (c >= '0' && c <= '9')
      value |= static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      value |= static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      value |= static_cast<uint32_t>(c - 'A' + 10);
    else
      return std::nullopt;
  }
  return value;
}

// The value of the single-quoted string literal that starts at text[at], and in end
// the index just behind its closing quote. Nothing when an engine would not read it
// back as a string: a raw line terminator (U+2028 and U+2029 included, as older
// engines have it), an escape outside \' \" \\ \/ \b \f \n \r \t \uXXXX, a lone
// surrogate, no closing quote.
std::optional<std::string> DecodeSingleQuoted(std::string_view text, size_t at, size_t& end) {
  if (at >= text.size() || text[at] != '\'') return std::nullopt;
  std::string value;
  size_t i = at + 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\'') {
      end = i + 1;
      return value;
    }
    if (c == '\n' || c == '\r') return std::nullopt;
    if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0)
      return std::nullopt;
    if (c != '\\') {
      value += c;
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return std::nullopt;
    const char e = text[i + 1];
    i += 2;
    switch (e) {
      case '\'':
      case '"':
      case '\\':
      case '/':
        value += e;
        continue;
      case 'b':
        value += '\b';
        continue;
      case 'f':
        value += '\f';
        continue;
      case 'n':
        value += '\n';
        continue;
      case 'r':
        value += '\r';
        continue;
      case 't':
        value += '\t';
        continue;
      case 'u':
        break;
      default:
        return std::nullopt;
    }
    std::optional<uint32_t> unit = Hex4(text, i);
    if (!unit) return std::nullopt;
    i += 4;
    uint32_t code = *unit;
    if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (text.compare(i, 2, "\\u") != 0) return std::nullopt;
      std::optional<uint32_t> low = Hex4(text, i + 2);
      if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
      i += 6;
      code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
    }
    AppendUtf8(value, code);
  }
  return std::nullopt;
}

// The document a script hands Filter.init, read back; the text after the literal in rest.
std::optional<std::string> InitArgument(const std::string& script, std::string& rest) {
  const std::string call = "Filter.init(";
  const size_t at = script.find(call);
  if (at == std::string::npos) return std::nullopt;
  size_t end = 0;
  std::optional<std::string> value = DecodeSingleQuoted(script, at + call.size(), end);
  if (value) rest = script.substr(end);
  return value;
}

bool EndsAScriptElement(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("</script") != std::string::npos || text.find("<!--") != std::string::npos;
}

TEST(DialogScriptLiteralDecoder, ReadsWhatAnEngineReadsAndRefusesTheRest) {
  size_t end = 0;
  EXPECT_EQ(DecodeSingleQuoted(R"('a\'b\"c\\d\/e\n\u00e9\ud834\udd1e'!)", 0, end),
            "a'b\"c\\d/e\n\xC3\xA9\xF0\x9D\x84\x9E");
  EXPECT_EQ(end, 35u);
  for (const char* refused : {"'abc", "'\\x41'", "'\\ud834'", "'\\udd1e'", "'a\nb'",
                              "'a\xE2\x80\xA8'", "'\\u12g4'", "'\\"})
    EXPECT_EQ(DecodeSingleQuoted(refused, 0, end), std::nullopt) << refused;
}

// Every character the escaping must get right, as a JSON document: an apostrophe,
// backslashes, quotes, a line feed between members, the line and paragraph
// separators, a \u0000 escape, markup that would end the script element, and
// characters outside the basic plane.
const std::string kHardDocument =
    "{\"apostrophe\":\"it's 'quoted'\",\"backslash\":\"C:\\\\models\\\\part.stp\",\n"
    "\"quotes\":\"say \\\"hi\\\"\",\"separators\":\"a\xE2\x80\xA8"
    "b\xE2\x80\xA9"
    "c\","
    "\"nul\":\"x\\u0000y\",\"markup\":\"</script><!-- --></SCRIPT>\",\r\n"
    "\"astral\":\"\xF0\x9D\x84\x9E \xF0\x9F\x98\x80\",\"tab\":\"\\t\"}";

class DialogEscaping : public DialogFixture, public ::testing::WithParamInterface<bool> {
 protected:
  DialogProcess Mode() const { return GetParam() ? TestMode() : NormalMode(); }
  std::string Closing() const { return GetParam() ? "); });});" : "); });"; }
};

TEST_P(DialogEscaping, ScriptStandsForAnyDocumentTextExactly) {
  DX_DIALOG_PROCESS(Mode());
  ASSERT_EQ(dialog_internals::Missing(), "");
  // Not only JSON: raw control characters, a trailing backslash, a lone apostrophe.
  const std::string texts[] = {kHardDocument, std::string("\x01\x1F\x7F '\\", 6) + "\\", "''''",
                               "\\'\\'", std::string("ab\0cd", 5)};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    auto* dialog =
        static_cast<QORVidFraDialog*>(QORFillDictionary::FindFactory("DXWebViewer")(nullptr));
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog_internals::InitAndShowWithoutOwner(dialog,
                                                        QORUnicodeString(text.data(), text.size())),
              S_OK);
    auto* viewer = QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget());
    if (viewer) RaiseLoadStart(viewer);
    const std::vector<std::string> scripts = ScriptsOf(viewer);
    dialog->RequestDelayedDestruction();
    ASSERT_NE(viewer, nullptr);
    ASSERT_EQ(scripts.size(), 1u);
    std::string rest;
    EXPECT_EQ(InitArgument(scripts[0], rest), text) << scripts[0];
    EXPECT_EQ(rest, Closing());
    EXPECT_FALSE(EndsAScriptElement(scripts[0])) << scripts[0];
  }
}

TEST_P(DialogEscaping, ScriptStandsForTheGeneratorsDocumentExactly) {
  DX_DIALOG_PROCESS(Mode());
  ASSERT_EQ(Load(kHardDocument), S_OK);
  const std::string document = Document();
  // The generator keeps the hard parts (it may spell them its own way).
  ASSERT_EQ(Json(document), Json(kHardDocument));
  ASSERT_NE(Show(), nullptr);
  LoadStart();
  ASSERT_EQ(Scripts().size(), 1u);
  std::string rest;
  EXPECT_EQ(InitArgument(Scripts()[0], rest), document) << Scripts()[0];
  EXPECT_EQ(rest, Closing());
  EXPECT_FALSE(EndsAScriptElement(Scripts()[0])) << Scripts()[0];
}

// The dialog escapes in one pass of its own: byte for byte what the data-exchange
// library's EscapeJSON gives, with each "'" then written "\'".
TEST_P(DialogEscaping, DocumentIsEscapedAsEscapeJsonThenApostrophesWouldEscapeIt) {
  DX_DIALOG_PROCESS(Mode());
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  // Sequences cut at the end where an escape looks ahead (a text is sent from 4 bytes).
  const std::string texts[] = {everyByte,
                               kHardDocument,
                               "abc<",
                               "<</<!<a",
                               "abc\xE2",
                               "abc\xE2\x80",
                               "\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAA\xE2\xE2\x80\xA8",
                               std::string(300000, '\'') + everyByte + std::string(300000, '"')};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    auto* dialog =
        static_cast<QORVidFraDialog*>(QORFillDictionary::FindFactory("DXWebViewer")(nullptr));
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog_internals::InitAndShowWithoutOwner(dialog,
                                                        QORUnicodeString(text.data(), text.size())),
              S_OK);
    auto* viewer = QORDynamicCast<QORVidCtlWebViewer>(dialog->GetApplicativeWidget());
    if (viewer) RaiseLoadStart(viewer);
    const std::vector<std::string> scripts = ScriptsOf(viewer);
    dialog->RequestDelayedDestruction();
    ASSERT_EQ(scripts.size(), 1u);
    QORDXUnicodeString escaped =
        QORDXUnicodeString(QORUnicodeString(text.data(), text.size())).EscapeJSON();
    escaped.ReplaceAll("'", "\\'");
    const std::string call = "Filter.init('" + escaped.Str() + "'); ";
    const std::string expected =
        "require(['ZQ/DXInputFilterDisplay/Filter'], function(Filter) { " +
        (GetParam()
             ? "            require(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario'], "
               "function(simulationServices) {                 "
               "Filter.registerInteractions(simulationServices);" +
                   call + "});"
             : call) +
        "});";
    ASSERT_EQ(scripts[0].size(), expected.size());
    EXPECT_TRUE(scripts[0] == expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, DialogEscaping, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "TestMode" : "NormalMode";
                         });

}  // namespace
}  // namespace dxtest
