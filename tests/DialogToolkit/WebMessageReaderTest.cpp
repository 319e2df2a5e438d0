// The dialog's message reader takes a body in pieces as the network gives them: cut
// anywhere, a body must be judged as it is whole, with the same strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogToolkit/src/QORWebMessage.h"

namespace {

struct Verdict {
  bool ok = false;
  std::vector<std::string> strings;
};

std::string Repeat(const std::string& text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

// Feeds the body in pieces cut at the given offsets.
Verdict Read(const std::string& body, std::vector<size_t> cuts) {
  QORWebMessageReader reader;
  reader.Expect(body.size());
  cuts.push_back(body.size());
  size_t from = 0;
  bool ok = true;
  for (size_t cut : cuts) {
    ok = ok && reader.Feed(body.data() + from, cut - from);
    from = cut;
  }
  Verdict verdict;
  verdict.ok = ok && reader.Finish();
  if (verdict.ok) verdict.strings = reader.Strings();
  return verdict;
}

TEST(WebMessageReader, EverySplitOffsetGivesTheWholeBodysVerdict) {
  const std::vector<std::pair<std::string, Verdict>> bodies = {
      {R"(["onOkClick","{\"a\":1}"])", {true, {"onOkClick", R"({"a":1})"}}},
      {R"( [ "a" , "b\n\t\\\/" ] )", {true, {"a", "b\n\t\\/"}}},
      {"[\"\\u00e9\\ud83d\\ude00 \xc3\xa9\xf0\x9f\x98\x80\"]",
       {true, {"\xc3\xa9\xf0\x9f\x98\x80 \xc3\xa9\xf0\x9f\x98\x80"}}},
      {"[]", {true, {}}},
      {R"(["a",])", {false, {}}},
      {R"(["\ud800"])", {false, {}}},
      {"[\"\xc3\"]", {false, {}}},
      {R"(["a"] x)", {false, {}}},
      {R"(["a")", {false, {}}},
      {R"(["\u00zz"])", {false, {}}},
      // Every escape, densely, so that blocks of escapes are taken as well as single ones.
      {"[\"" + Repeat(R"(\b\f\n\r\t\/\"\\x)", 12) + "\"]",
       {true, {Repeat("\b\f\n\r\t/\"\\x", 12)}}},
  };
  for (const auto& [body, expected] : bodies) {
    SCOPED_TRACE(body);
    const Verdict whole = Read(body, {});
    EXPECT_EQ(whole.ok, expected.ok);
    EXPECT_EQ(whole.strings, expected.strings);
    for (size_t cut = 0; cut <= body.size(); ++cut) {
      const Verdict split = Read(body, {cut});
      EXPECT_EQ(split.ok, whole.ok) << "cut at " << cut;
      EXPECT_EQ(split.strings, whole.strings) << "cut at " << cut;
    }
    // And byte by byte.
    std::vector<size_t> everyByte;
    for (size_t cut = 1; cut < body.size(); ++cut) everyByte.push_back(cut);
    const Verdict bytes = Read(body, everyByte);
    EXPECT_EQ(bytes.ok, whole.ok);
    EXPECT_EQ(bytes.strings, whole.strings);
  }
}

}  // namespace
