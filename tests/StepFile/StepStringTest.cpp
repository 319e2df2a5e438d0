// Decoding of STEP string escapes into UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "StepCodePage.h"
#include "StepString.h"

namespace {

using step::StepString;

TEST(StepString, DecodesEveryEscapeAndKeepsWhatIsNotOne) {
  const std::string fffd = "\xEF\xBF\xBD";
  const std::string smile = "\xF0\x9F\x98\x80";
  const std::pair<std::string, std::string> cases[] = {
      {"Wall North", "Wall North"},
      {"Owner''s choice", "Owner's choice"},
      {"C:\\\\models\\\\a.ifc", "C:\\models\\a.ifc"},
      // 8-bit: \X\ is one Latin-1 byte, \S\ shifts the next character up,
      // \P?\ is skipped.
      {"caf\\X\\E9", "caf\xC3\xA9"},
      {"caf\\S\\i", "caf\xC3\xA9"},
      {"\\PA\\K\\S\\|che", "K\u00FCche"},
      {"a\\PB\\b", "ab"},
      // Wide: UTF-16 units up to \X0\, surrogate pairs joined, \X4\ code
      // points, any case.
      {"K\\X2\\00FC\\X0\\che", "K\u00FCche"},
      {"\\X2\\004100420043\\X0\\", "ABC"},
      {"\\X2\\D83DDE00\\X0\\", smile},
      {"\\X4\\0001F600\\X0\\", smile},
      {"\\X4\\000000410001F600\\X0\\!", "A" + smile + "!"},
      {"\\X2\\00fc\\X0\\", "\xC3\xBC"},
      // Lone surrogates and code points past U+10FFFF.
      {"\\X2\\D83D\\X0\\", fffd},
      {"\\X2\\DE00\\X0\\", fffd},
      {"\\X2\\D83D0041\\X0\\", fffd + "A"},
      {"\\X4\\00110000\\X0\\", fffd},
      // Raw bytes: UTF-8 passes, anything else is Latin-1.
      {"K\u00FCche", "K\u00FCche"},
      {"K\xFC\x63he", "K\u00FCche"},
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},
      // Malformed escapes stay readable; an unterminated wide run keeps its decoded units
      // and the rest of the text.
      {"a\\Qb", "a\\Qb"},
      {"\\X\\G1", "\\X\\G1"},
      {"end\\", "end\\"},
      {"\\X0\\x", "x"},
      {"\\S\\", "\\S\\"},
      {"\\X2\\00FC00E", "\u00FC00E"},
      {"\\X4\\0001", "0001"},
      {"\\X2\\D83D", fffd},
      {"\\S\\\xFF", "\xC3\xBF"},
  };
  for (const auto& [raw, decoded] : cases) EXPECT_EQ(StepString::Decode(raw), decoded) << raw;
  std::string out = "Name: ";
  StepString::DecodeAppend("\\X2\\00C4\\X0\\rea", out);
  EXPECT_EQ(out, "Name: \xC3\x84rea");
}

}  // namespace

TEST(StepStringCodePage, BytesThatAreNotUtf8AreReadInThePage) {
  step::StepCodePage gbk;
  std::string error;
  ASSERT_TRUE(gbk.Open("GBK", error)) << error;
  // "中文" in GBK between ASCII, a UTF-8 "é" and an escape, which keep their
  // meaning.
  EXPECT_EQ(step::StepString::Decode("a\xD6\xD0\xCE\xC4-\xC3\xA9-\\X2\\00E9\\X0\\", &gbk),
            "a\xE4\xB8\xAD\xE6\x96\x87-\xC3\xA9-\xC3\xA9");
  // A lead byte without its trail byte becomes U+FFFD, and decoding goes on.
  EXPECT_EQ(step::StepString::Decode("\xD6'' x", &gbk), "\xEF\xBF\xBD' x");
  // An unopened page is the same as none: Latin-1.
  step::StepCodePage none;
  EXPECT_EQ(step::StepString::Decode("\xE9", &none), "\xC3\xA9");
  EXPECT_FALSE(none.Open("not-a-code-page", error));
  EXPECT_NE(error.find("not-a-code-page"), std::string::npos);
}
