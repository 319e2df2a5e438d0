// QORUnicodeString: UTF-8 inside, characters (code points) outside.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "SystemStrings/QORUnicodeString.h"

namespace {

// One character of each UTF-8 length: 1, 2, 3 and 4 bytes.
constexpr const char* kA = "a";
constexpr const char* kEAcute = "\xC3\xA9";        // U+00E9
constexpr const char* kEuro = "\xE2\x82\xAC";      // U+20AC
constexpr const char* kGrin = "\xF0\x9F\x98\x80";  // U+1F600

QORUnicodeString Mixed() {
  return QORUnicodeString(std::string(kA) + kEAcute + kEuro + kGrin);
}

TEST(UnicodeStringCompare, IsNonZeroExactlyWhenTheTextsAreEqual) {
  QORUnicodeString s("Level 1");
  EXPECT_NE(s.Compare("Level 1"), 0);
  EXPECT_NE(s.Compare(QORUnicodeString(std::string("Level 1"))), 0);
  EXPECT_EQ(s.Compare("Level 2"), 0);
  EXPECT_EQ(s.Compare("Level"), 0);
  EXPECT_EQ(s.Compare("Level 1 "), 0);
  EXPECT_EQ(s.Compare("level 1"), 0);
  EXPECT_EQ(QORUnicodeString(kEAcute).Compare("e"), 0);
  EXPECT_NE(QORUnicodeString().Compare(""), 0);
  EXPECT_EQ(QORUnicodeString().Compare("x"), 0);
}

TEST(UnicodeStringConstruction, NullCharPointerGivesTheEmptyString) {
  QORUnicodeString fromNull(static_cast<const char*>(nullptr));
  EXPECT_NE(fromNull.IsEmpty(), 0);
  EXPECT_EQ(fromNull.GetLengthInChar(), 0);
  EXPECT_STREQ(fromNull, "");

  QORUnicodeString assigned("text");
  assigned = static_cast<const char*>(nullptr);
  EXPECT_NE(assigned.IsEmpty(), 0);

  QORUnicodeString appended("text");
  appended += static_cast<const char*>(nullptr);
  EXPECT_STREQ(appended, "text");
  EXPECT_STREQ(appended + static_cast<const char*>(nullptr), "text");
}

TEST(UnicodeStringConstruction, ByteLengthConstructorKeepsEmbeddedBytes) {
  QORUnicodeString s("ab\0cd", 5);
  EXPECT_EQ(s.GetLengthInByte(), 5);
  EXPECT_EQ(s.GetLengthInChar(), 5);
}

TEST(UnicodeStringLength, CountsCodePointsNotBytes) {
  EXPECT_EQ(QORUnicodeString(kA).GetLengthInChar(), 1);
  EXPECT_EQ(QORUnicodeString(kEAcute).GetLengthInChar(), 1);
  EXPECT_EQ(QORUnicodeString(kEuro).GetLengthInChar(), 1);
  EXPECT_EQ(QORUnicodeString(kGrin).GetLengthInChar(), 1);
  EXPECT_EQ(QORUnicodeString(kGrin).GetLengthInByte(), 4);
  EXPECT_EQ(Mixed().GetLengthInChar(), 4);
  EXPECT_EQ(Mixed().GetLengthInByte(), 10);
  EXPECT_EQ(QORUnicodeString("\xC3\x89tage 1").GetLengthInChar(), 7);
}

TEST(UnicodeStringIndex, GivesTheCharacterAtACharacterIndex) {
  const QORUnicodeString s = Mixed();
  EXPECT_EQ(s[0], QORUnicodeChar(U'a'));
  EXPECT_EQ(s[1], QORUnicodeChar(U'\u00E9'));
  EXPECT_EQ(s[2], QORUnicodeChar(U'\u20AC'));
  EXPECT_EQ(s[3], QORUnicodeChar(U'\U0001F600'));
  EXPECT_FALSE(s[3].IsASCII());
  EXPECT_TRUE(s[0].IsASCII());
  // Outside the text: U+0000.
  EXPECT_EQ(s[4].GetCodePoint(), 0u);
  EXPECT_EQ(s[-1].GetCodePoint(), 0u);
  EXPECT_EQ(QORUnicodeString()[0].GetCodePoint(), 0u);
}

TEST(UnicodeStringRemove, RemovesCharactersNotBytes) {
  QORUnicodeString s = Mixed() + "b";
  s.Remove(1, 2);  // the 2- and 3-byte characters
  EXPECT_STREQ(s, (std::string(kA) + kGrin + "b").c_str());

  QORUnicodeString one = Mixed();
  one.Remove(3);  // count defaults to one character
  EXPECT_STREQ(one, (std::string(kA) + kEAcute + kEuro).c_str());

  QORUnicodeString first = Mixed();
  first.Remove(0, 1);
  EXPECT_EQ(first[0], QORUnicodeChar(U'\u00E9'));
}

TEST(UnicodeStringRemove, ClampsToTheTextAndIgnoresMeaninglessRanges) {
  QORUnicodeString s = Mixed();
  s.Remove(2, 100);
  EXPECT_STREQ(s, (std::string(kA) + kEAcute).c_str());

  QORUnicodeString all = Mixed();
  all.Remove(1, INT_MAX);
  EXPECT_STREQ(all, kA);

  QORUnicodeString untouched = Mixed();
  untouched.Remove(4, 1);   // start at the end
  untouched.Remove(9, 3);   // start beyond the end
  untouched.Remove(-1, 2);  // negative start
  untouched.Remove(1, 0);
  untouched.Remove(1, -2);
  EXPECT_STREQ(untouched, Mixed());
}

TEST(UnicodeStringReplaceAll, ReplacesEveryNonOverlappingOccurrenceLeftToRight) {
  QORUnicodeString s("aaaaa");
  EXPECT_EQ(s.ReplaceAll("aa", "b"), 2);
  EXPECT_STREQ(s, "bba");

  // A replacement containing what it replaces is not scanned again.
  QORUnicodeString grow("xax");
  EXPECT_EQ(grow.ReplaceAll("x", "xx"), 2);
  EXPECT_STREQ(grow, "xxaxx");

  QORUnicodeString utf8(std::string(kEuro) + "5 " + kEuro + "7");
  EXPECT_EQ(utf8.ReplaceAll(kEuro, "EUR"), 2);
  EXPECT_STREQ(utf8, "EUR5 EUR7");

  QORUnicodeString remove("a-b-c");
  EXPECT_EQ(remove.ReplaceAll("-", ""), 2);
  EXPECT_STREQ(remove, "abc");

  QORUnicodeString none("abc");
  EXPECT_EQ(none.ReplaceAll("z", "y"), 0);
  EXPECT_EQ(none.ReplaceAll("", "y"), 0);
  EXPECT_STREQ(none, "abc");
}

TEST(UnicodeStringResize, CutsAtCharacterBoundariesAndPadsWithBlanks) {
  QORUnicodeString cut = Mixed();
  cut.Resize(3);
  EXPECT_STREQ(cut, (std::string(kA) + kEAcute + kEuro).c_str());
  EXPECT_EQ(cut.GetLengthInByte(), 6);

  QORUnicodeString pad(kGrin);
  pad.Resize(4);
  EXPECT_STREQ(pad, (std::string(kGrin) + "   ").c_str());
  EXPECT_EQ(pad.GetLengthInChar(), 4);

  QORUnicodeString same = Mixed();
  same.Resize(4);
  EXPECT_STREQ(same, Mixed());

  QORUnicodeString empty = Mixed();
  empty.Resize(-2);
  EXPECT_NE(empty.IsEmpty(), 0);
}

TEST(UnicodeStringConcatenation, JoinsWithoutChangingTheOperands) {
  const QORUnicodeString a("left"), b(kEuro);
  QORUnicodeString joined = a + b;
  EXPECT_STREQ(joined, (std::string("left") + kEuro).c_str());
  EXPECT_STREQ(a, "left");
  EXPECT_STREQ(b, kEuro);
  EXPECT_STREQ(a + "-tail", "left-tail");
  EXPECT_STREQ("head-" + a, "head-left");
  EXPECT_EQ(joined.GetLengthInChar(), 5);

  QORUnicodeString grown("x");
  grown += a;
  grown += "!";
  grown += grown;  // appending itself doubles it
  EXPECT_STREQ(grown, "xleft!xleft!");
}

TEST(UnicodeStringConversion, CharViewsShowTheUtf8Bytes) {
  const QORUnicodeString s(std::string(kEAcute) + "t\xC3\xA9");
  QORString narrow = s.ConvertToChar();
  EXPECT_EQ(narrow.GetLengthInByte(), 5);
  EXPECT_STREQ(narrow.CastToCharPtr(), s.CastToCharPtr());
  EXPECT_EQ(s.View(), std::string_view(s.CastToCharPtr()));
}

}  // namespace
