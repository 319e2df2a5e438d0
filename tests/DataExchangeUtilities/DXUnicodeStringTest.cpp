// QORDXUnicodeString: hashing, comparison, joining, splitting and escaping.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DataExchangeUtilities/QORDXUnicodeString.h"

namespace {

std::vector<std::string> Items(const QORListValQORUnicodeString& list) {
  std::vector<std::string> items;
  for (int i = 1; i <= list.Size(); ++i) items.push_back(list[i].Str());
  return items;
}

// ---- hashing -------------------------------------------------------------------------

TEST(DXUnicodeStringHash, IsXXH64WithSeedZeroOnPublishedVectors) {
  EXPECT_EQ(QORDXUnicodeString("").GetHash(), 0xEF46DB3751D8E999ull);
  EXPECT_EQ(QORDXUnicodeString("a").GetHash(), 0xD24EC4F1A98C6E5Bull);
  EXPECT_EQ(QORDXUnicodeString("abc").GetHash(), 0x44BC2CF5AD770999ull);
}

TEST(DXUnicodeStringHash, KeysStandardUnorderedContainers) {
  std::unordered_map<QORDXUnicodeString, int, QORDXUnicodeStringHash> ids;
  ids[QORDXUnicodeString("IfcWall")] = 1;
  ids[QORDXUnicodeString("IfcSlab")] = 2;
  ids[QORDXUnicodeString("\xC3\x89tage")] = 3;
  EXPECT_EQ(ids.size(), 3u);
  // Looked up through a key built another way: from a QORUnicodeString.
  auto it = ids.find(QORDXUnicodeString(QORUnicodeString("IfcSlab")));
  ASSERT_NE(it, ids.end());
  EXPECT_EQ(it->second, 2);
  EXPECT_EQ(ids.count(QORDXUnicodeString("IfcBeam")), 0u);
  ids[QORDXUnicodeString("IfcWall")] = 10;
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[QORDXUnicodeString("IfcWall")], 10);

  std::unordered_set<QORDXUnicodeString> names;  // through std::hash
  EXPECT_TRUE(names.insert(QORDXUnicodeString("a")).second);
  EXPECT_FALSE(names.insert(QORDXUnicodeString("a")).second);
  EXPECT_TRUE(names.insert(QORDXUnicodeString("A")).second);
  EXPECT_EQ(names.size(), 2u);
}

// ---- comparison and concatenation ---------------------------------------------------

TEST(DXUnicodeStringCompare, EqualsItsOwnKindPlainStringsAndCharText) {
  const QORDXUnicodeString s("IfcWall");
  EXPECT_TRUE(s == QORDXUnicodeString("IfcWall"));
  EXPECT_FALSE(s == QORDXUnicodeString("IfcWal"));
  EXPECT_TRUE(s == QORUnicodeString("IfcWall"));
  EXPECT_FALSE(s == QORUnicodeString("ifcwall"));
  EXPECT_TRUE(s == "IfcWall");
  EXPECT_FALSE(s == "IfcWall ");
  // Null char text counts as empty.
  EXPECT_TRUE(QORDXUnicodeString() == static_cast<const char*>(nullptr));
  EXPECT_FALSE(s == static_cast<const char*>(nullptr));
}

TEST(DXUnicodeStringCompare, LessThanOrdersByteWise) {
  EXPECT_TRUE(QORDXUnicodeString("a") < QORDXUnicodeString("b"));
  EXPECT_TRUE(QORDXUnicodeString("a") < QORDXUnicodeString("ab"));
  EXPECT_TRUE(QORDXUnicodeString("") < QORDXUnicodeString("a"));
  EXPECT_TRUE(QORDXUnicodeString("Z") < QORDXUnicodeString("a"));
  EXPECT_FALSE(QORDXUnicodeString("b") < QORDXUnicodeString("a"));
  EXPECT_FALSE(QORDXUnicodeString("a") < QORDXUnicodeString("a"));
}

// ---- joining paths -------------------------------------------------------------------

TEST(DXUnicodeStringJoin, PutsOneSlashBetweenFolderAndName) {
  QORDXUnicodeString path("/data/models");
  path /= QORUnicodeString("site.ifc");
  EXPECT_TRUE(path == "/data/models/site.ifc") << path.Str();

  QORDXUnicodeString chained("root");
  (chained /= QORUnicodeString("a")) /= QORUnicodeString("b");
  EXPECT_TRUE(chained == "root/a/b") << chained.Str();
}

TEST(DXUnicodeStringJoin, RespectsAnExistingSeparatorOfEitherKind) {
  QORDXUnicodeString slash("/data/");
  slash /= QORUnicodeString("site.ifc");
  EXPECT_TRUE(slash == "/data/site.ifc") << slash.Str();

  QORDXUnicodeString backslash("C:\\data\\");
  backslash /= QORUnicodeString("site.ifc");
  EXPECT_TRUE(backslash == "C:\\data\\site.ifc") << backslash.Str();
}

TEST(DXUnicodeStringJoin, EmptyFolderLeavesTheNameAlone) {
  QORDXUnicodeString empty;
  empty /= QORUnicodeString("site.ifc");
  EXPECT_TRUE(empty == "site.ifc") << empty.Str();
}

// ---- splitting -----------------------------------------------------------------------

TEST(DXUnicodeStringTokenize, SplitsAtAnySeparatorAndDropsEmptyPieces) {
  QORListValQORUnicodeString tokens;
  QORDXUnicodeString(",,IfcWall;IfcSlab,,;IfcBeam,").Tokenize(",;", tokens);
  EXPECT_EQ(Items(tokens), (std::vector<std::string>{"IfcWall", "IfcSlab", "IfcBeam"}));
}

TEST(DXUnicodeStringTokenize, KeepsMultiByteTextIntact) {
  QORListValQORUnicodeString tokens;
  QORDXUnicodeString("\xC3\x89tage|\xE2\x82\xAC|\xF0\x9F\x98\x80").Tokenize("|", tokens);
  EXPECT_EQ(Items(tokens),
            (std::vector<std::string>{"\xC3\x89tage", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}));
}

TEST(DXUnicodeStringTokenize, GivesNothingForSeparatorsOnlyAndTheWholeTextWithoutThem) {
  QORListValQORUnicodeString none;
  QORDXUnicodeString(";;;").Tokenize(";", none);
  QORDXUnicodeString().Tokenize(";", none);
  EXPECT_EQ(none.Size(), 0);

  QORListValQORUnicodeString whole;
  QORDXUnicodeString("a b").Tokenize(";", whole);
  EXPECT_EQ(Items(whole), (std::vector<std::string>{"a b"}));

  QORListValQORUnicodeString noSeparators;
  QORDXUnicodeString("a;b").Tokenize(nullptr, noSeparators);
  EXPECT_EQ(Items(noSeparators), (std::vector<std::string>{"a;b"}));
}

// ---- escaping ------------------------------------------------------------------------

// The escaped text read back as the body of a JSON string.
std::string ReadBackAsJsonString(const std::string& escaped, std::string* error) {
  simdjson::dom::parser parser;
  simdjson::padded_string json("\"" + escaped + "\"");
  std::string_view value;
  auto err = parser.parse(json).get_string().get(value);
  if (err) {
    *error = simdjson::error_message(err);
    return {};
  }
  return std::string(value);
}

class EscapeJSON : public ::testing::TestWithParam<std::string> {};

TEST_P(EscapeJSON, ReadsBackAsTheExactTextInsideAJsonString) {
  const std::string& text = GetParam();
  const std::string escaped = QORDXUnicodeString(text).EscapeJSON().Str();
  std::string error;
  const std::string back = ReadBackAsJsonString(escaped, &error);
  ASSERT_TRUE(error.empty()) << error << " for escaped text: " << escaped;
  EXPECT_EQ(back, text) << "escaped text: " << escaped;
}

TEST_P(EscapeJSON, LeavesNothingThatEndsAStringLineOrScript) {
  const std::string escaped = QORDXUnicodeString(GetParam()).EscapeJSON().Str();
  for (size_t i = 0; i < escaped.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(escaped[i]);
    EXPECT_GE(c, 0x20) << "raw control byte at " << i;
    if (c == '"') {
      EXPECT_TRUE(i > 0 && escaped[i - 1] == '\\') << "bare quote at " << i;
    }
  }
  EXPECT_EQ(escaped.find("\xE2\x80\xA8"), std::string::npos);
  EXPECT_EQ(escaped.find("\xE2\x80\xA9"), std::string::npos);
  EXPECT_EQ(escaped.find("</"), std::string::npos);
  EXPECT_EQ(escaped.find("<!--"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeJSON,
    ::testing::Values(std::string(""), std::string("plain text"), std::string("say \"hi\""),
                      std::string("C:\\data\\site.ifc"), std::string("\\\""),
                      std::string("line\nbreak\r\ttab\b\f"), std::string("\x01\x02\x1f\x7f"),
                      std::string("nul\0inside", 10),
                      std::string("sep\xE2\x80\xA8line\xE2\x80\xA9para"),
                      std::string("</script><script>alert(1)</script>"),
                      std::string("<!-- comment -->"), std::string("a < b > c"),
                      std::string("\xF0\x9F\x98\x80 and \xF0\x90\x8D\x88"),  // non-BMP
                      std::string("\xC3\x89tage \xE2\x82\xAC 1"), std::string("it's 'quoted'"),
                      std::string("\xE2\x80\xA7\xE2\x80\xAA")));

TEST(EscapeJSONQuotes, LeavesSingleQuotesUntouched) {
  const std::string escaped = QORDXUnicodeString("it's").EscapeJSON().Str();
  EXPECT_EQ(escaped, "it's");
}

}  // namespace
