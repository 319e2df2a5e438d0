// QORUnicodeString: UTF-8 inside, characters (code points) outside.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "SystemStrings/QORUnicodeString.h"

namespace {

// One character of each UTF-8 length: 1, 2, 3 and 4 bytes.
const std::string kMixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
const std::string kGrin = "\xF0\x9F\x98\x80";

TEST(UnicodeStringCompare, IsNonZeroExactlyWhenEqualAndNullIsEmpty) {
  const QORUnicodeString s("Level 1");
  EXPECT_NE(s.Compare("Level 1"), 0);
  for (const char* other : {"Level 2", "Level", "Level 1 ", "level 1"})
    EXPECT_EQ(s.Compare(other), 0) << other;
  EXPECT_EQ(QORUnicodeString("\xC3\xA9").Compare("e"), 0);
  EXPECT_NE(QORUnicodeString().Compare(""), 0);
  // Null is empty; byte lengths keep embedded bytes.
  QORUnicodeString t(static_cast<const char*>(nullptr));
  EXPECT_NE(t.IsEmpty(), 0);
  t = "text";
  t += static_cast<const char*>(nullptr);
  EXPECT_STREQ(t + static_cast<const char*>(nullptr), "text");
  t = static_cast<const char*>(nullptr);
  EXPECT_NE(t.IsEmpty(), 0);
  EXPECT_EQ(QORUnicodeString("ab\0cd", 5).GetLengthInChar(), 5);
}

TEST(UnicodeStringIndex, LengthsAndIndicesCountCharactersNotBytes) {
  const QORUnicodeString s(kMixed);
  EXPECT_EQ(s.GetLengthInChar(), 4);
  EXPECT_EQ(s.GetLengthInByte(), 10);
  const char32_t expected[] = {U'a', U'\u00E9', U'\u20AC', U'\U0001F600', 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s[i].GetCodePoint(), expected[i]) << i;
  EXPECT_FALSE(s[3].IsASCII());
  EXPECT_EQ(s[-1].GetCodePoint(), 0u);  // outside the text: U+0000
}

TEST(UnicodeStringRemove, RemovesCharactersClampedToTheText) {
  const struct {
    int start, count;
    std::string left;
  } cases[] = {
      {1, 2, "a" + kGrin},
      {3, 1, kMixed.substr(0, 6)},
      {0, 1, kMixed.substr(1)},
      {2, 100, kMixed.substr(0, 3)},
      {1, INT_MAX, "a"},
      {4, 1, kMixed},  // start at or beyond the end, negative start or count: untouched
      {9, 3, kMixed},
      {-1, 2, kMixed},
      {1, 0, kMixed},
      {1, -2, kMixed},
  };
  for (const auto& c : cases) {
    QORUnicodeString s(kMixed);
    s.Remove(c.start, c.count);
    EXPECT_EQ(s.Str(), c.left) << c.start << "," << c.count;
  }
}

TEST(UnicodeStringReplaceAll, ReplacesEveryNonOverlappingOccurrenceLeftToRight) {
  const struct {
    const char *text, *from, *to, *result;
    int count;
  } cases[] = {
      {"aaaaa", "aa", "b", "bba", 2},
      {"xax", "x", "xx", "xxaxx", 2},  // the replacement is not scanned again
      {"\xE2\x82\xAC"
       "5 \xE2\x82\xAC"
       "7",
       "\xE2\x82\xAC", "EUR", "EUR5 EUR7", 2},
      {"a-b-c", "-", "", "abc", 2},
      {"abc", "z", "y", "abc", 0},
      {"abc", "", "y", "abc", 0},
  };
  for (const auto& c : cases) {
    QORUnicodeString s(c.text);
    EXPECT_EQ(s.ReplaceAll(c.from, c.to), c.count) << c.text;
    EXPECT_STREQ(s, c.result);
  }
}

TEST(UnicodeStringResize, CutsAtCharacterBoundariesAndPadsWithBlanks) {
  const std::pair<int, std::string> cases[] = {
      {3, kMixed.substr(0, 6)}, {4, kMixed}, {6, kMixed + "  "}, {-2, ""}};
  for (const auto& [size, result] : cases) {
    QORUnicodeString s(kMixed);
    s.Resize(size);
    EXPECT_EQ(s.Str(), result) << size;
  }
}

TEST(UnicodeStringConcatenation, JoinsWithoutChangingTheOperands) {
  const QORUnicodeString a("left"), b(kGrin);
  EXPECT_EQ((a + b).GetLengthInChar(), 5);
  EXPECT_STREQ(a, "left");
  EXPECT_STREQ("head-" + a + "-tail", "head-left-tail");
  QORUnicodeString grown("x");
  grown += a;
  grown += grown;  // appending itself doubles it
  EXPECT_STREQ(grown, "xleftxleft");
  EXPECT_STREQ(b.ConvertToChar().CastToCharPtr(), kGrin.c_str());
}

}  // namespace
