// QORDXUnicodeString: hashing, comparison, joining, splitting and escaping.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "DataExchangeUtilities/QORDXUnicodeString.h"

namespace {

using DX = QORDXUnicodeString;

// XXH64 with seed zero keys the unordered containers; order is byte-wise.
TEST(DXUnicodeStringKeys, HashEqualityAndOrder) {
  EXPECT_EQ(DX("").GetHash(), 0xEF46DB3751D8E999ull);  // published test vectors
  EXPECT_EQ(DX("abc").GetHash(), 0x44BC2CF5AD770999ull);
  std::unordered_map<DX, int, QORDXUnicodeStringHash> ids;
  ids[DX("IfcWall")] = 1;
  ids[DX("\xC3\x89tage")] = 2;
  ids[DX("IfcWall")] = 10;
  EXPECT_EQ(ids.size(), 2u);
  // Looked up through a key built from a QORUnicodeString.
  EXPECT_EQ(ids.at(DX(QORUnicodeString("IfcWall"))), 10);
  std::unordered_set<DX> names{DX("a"), DX("a"), DX("A")};  // through std::hash
  EXPECT_EQ(names.size(), 2u);
  const DX s("IfcWall");
  EXPECT_FALSE(s == DX("IfcWal"));
  EXPECT_FALSE(s == "IfcWall ");
  EXPECT_TRUE(DX() == static_cast<const char*>(nullptr));  // null char text counts as empty
  EXPECT_FALSE(s == static_cast<const char*>(nullptr));
  EXPECT_TRUE(DX("Z") < DX("a"));
  EXPECT_FALSE(DX("a") < DX("a"));
}

TEST(DXUnicodeStringJoin, PutsOneSeparatorBetweenFolderAndName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/data/models", "/data/models/site.ifc"},
      {"/data/", "/data/site.ifc"},
      {"C:\\data\\", "C:\\data\\site.ifc"},
      {"", "site.ifc"},
  };
  for (const auto& [folder, joined] : cases) {
    DX path(folder);
    path /= QORUnicodeString("site.ifc");
    EXPECT_EQ(path.Str(), joined);
  }
}

TEST(DXUnicodeStringTokenize, SplitsAtAnySeparatorAndDropsEmptyPieces) {
  const struct {
    const char *text, *separators;
    std::vector<std::string> tokens;
  } cases[] = {
      {",,IfcWall;IfcSlab,,;IfcBeam,", ",;", {"IfcWall", "IfcSlab", "IfcBeam"}},
      {"\xC3\x89tage|\xF0\x9F\x98\x80", "|", {"\xC3\x89tage", "\xF0\x9F\x98\x80"}},
      {";;;", ";", {}},
      {"", ";", {}},
      {"a;b", nullptr, {"a;b"}},
  };
  for (const auto& c : cases) {
    QORListValQORUnicodeString tokens;
    DX(c.text).Tokenize(c.separators, tokens);
    std::vector<std::string> items;
    for (const QORUnicodeString& t : tokens) items.push_back(t.Str());
    EXPECT_EQ(items, c.tokens) << c.text;
  }
}

// Escaped text reads back exactly as the body of a JSON string, and leaves nothing that
// ends a string, a line or a script.
TEST(EscapeJSON, ReadsBackExactlyAndCannotEndAStringLineOrScript) {
  const std::string texts[] = {"",
                               "say \"hi\" C:\\data\\site.ifc \\\"",
                               "line\nbreak\r\ttab\b\f\x01\x1f\x7f",
                               std::string("nul\0inside", 10),
                               "sep\xE2\x80\xA8line\xE2\x80\xA9para \xE2\x80\xA7",
                               "</script><script>alert(1)</script>",
                               "<!-- comment --> a < b > c",
                               "\xF0\x9F\x98\x80 \xC3\x89tage it's 'quoted'"};
  for (const std::string& text : texts) {
    const std::string escaped = DX(text).EscapeJSON().Str();
    simdjson::dom::parser parser;
    std::string_view back;
    ASSERT_EQ(parser.parse(simdjson::padded_string("\"" + escaped + "\"")).get(back),
              simdjson::SUCCESS)
        << escaped;
    EXPECT_EQ(back, text) << escaped;
    for (const char c : escaped) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << escaped;
    for (const char* ends : {"\xE2\x80\xA8", "\xE2\x80\xA9", "</", "<!--"})
      EXPECT_EQ(escaped.find(ends), std::string::npos) << escaped;
  }
  EXPECT_EQ(DX("it's").EscapeJSON().Str(), "it's");  // single quotes stay
}

}  // namespace
