// Building JSON objects: member order, replacement, nested moves, escaping, raw text,
// indentation and depth.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "JsonStreams/QORJsonString.h"

namespace {

using JSON::JOStream;

std::string Text(const JOStream& stream) {
  return stream.Stringify().Str();
}

// "k<i>" (appended, as GCC 12 misreports "k" + std::to_string(i) as overlapping copies)
QORUnicodeString Key(int i) {
  std::string key = "k";
  key += std::to_string(i);
  return QORUnicodeString(std::move(key));
}

// The compact form of JSON text, by simdjson rather than by the code under test.
std::string Minified(std::string_view json) {
  std::string out(json.size() + simdjson::SIMDJSON_PADDING, '\0');
  size_t length = 0;
  EXPECT_EQ(simdjson::minify(json.data(), json.size(), out.data(), length), simdjson::SUCCESS);
  out.resize(length);
  return out;
}

// {"c":{"c":...{"v":"<leaf>"}...}} with depth objects around the leaf object, built
// bottom-up by moves as a generator would.
JOStream Chain(int depth, const std::string& leaf) {
  JOStream node;
  node.Add("v", QORUnicodeString(leaf));
  for (int i = 0; i < depth; ++i) {
    JOStream parent;
    parent.Add("c", std::move(node));
    node = std::move(parent);
  }
  return node;
}

std::string ChainText(int depth, const std::string& leaf) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "{\"c\":";
  text += "{\"v\":\"" + leaf + "\"}";
  text.append(static_cast<size_t>(depth), '}');
  return text;
}

TEST(JOStream, StringifyOfEmptyStreamIsEmptyObject) {
  JOStream stream;
  EXPECT_EQ(Text(stream), "{}");
  EXPECT_TRUE(stream.IsEmpty());
  EXPECT_EQ(stream.PrettyStringify().Str(), "{}");
  stream.Add("a", true);
  EXPECT_FALSE(stream.IsEmpty());
  stream.Clear();
  EXPECT_EQ(Text(stream), "{}");
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_FALSE(stream.Exist("a"));
}

TEST(JOStream, MembersKeepTheOrderTheyWereAddedIn) {
  JOStream stream;
  stream.Add("zeta", "1");
  stream.Add("alpha", false);
  stream.Add("mid", std::vector<QORUnicodeString>{"x", "y"});
  stream.Add("empty", std::vector<QORUnicodeString>{});
  EXPECT_EQ(Text(stream), R"({"zeta":"1","alpha":false,"mid":["x","y"],"empty":[]})");
  EXPECT_EQ(stream.Size(), 4);
}

TEST(JOStream, AddReplacesExistingKeyInPlace) {
  JOStream stream;
  stream.Add("a", "1");
  stream.Add("b", "2");
  stream.Add("c", "3");
  JOStream object;
  object.Add("x", "y");
  stream.Add("b", std::move(object));
  stream.Add(QORUnicodeString("a"), true);
  EXPECT_EQ(Text(stream), R"({"a":true,"b":{"x":"y"},"c":"3"})");
  EXPECT_EQ(stream.Size(), 3);
  EXPECT_TRUE(stream.Exist("b"));
  EXPECT_FALSE(stream.Exist("d"));
}

TEST(JOStream, ReplacingOftenKeepsOnlyTheLastValues) {
  // Replaced text and replaced children pile up until the object compacts itself, which
  // moves the members that stay; checked after every replacement to see each compaction.
  // A chain of 6 is kept as a separate child, spliced in where its member stands.
  JOStream stream;
  stream.Add("first", "start");
  stream.Add("tree", Chain(6, "kept"));
  stream.Add("last", "kept");
  for (int i = 0; i < 300; ++i) {
    const std::string value(static_cast<size_t>(i % 37), 'x');
    stream.Add("first", QORUnicodeString(value));
    ASSERT_EQ(Text(stream), R"({"first":")" + value + R"(","tree":)" + ChainText(6, "kept") +
                                R"(,"last":"kept"})")
        << i;
  }
  for (int i = 0; i < 300; ++i) {
    stream.Add("tree", Chain(i % 8, std::to_string(i)));
    ASSERT_EQ(Text(stream), R"({"first":")" + std::string(299 % 37, 'x') + R"(","tree":)" +
                                ChainText(i % 8, std::to_string(i)) + R"(,"last":"kept"})")
        << i;
  }
  EXPECT_EQ(stream.Size(), 3);
}

TEST(JOStream, ObjectsWithManyMembersFindEveryKey) {
  JOStream stream;
  std::string expected = "{";
  for (int i = 0; i < 200; ++i) {
    stream.Add(Key(i), QORUnicodeString(std::to_string(i)));
    expected += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":\"" +
                (i == 100 ? "replaced" : std::to_string(i)) + "\"";
  }
  expected += "}";
  stream.Add("k100", "replaced");
  EXPECT_EQ(Text(stream), expected);
  EXPECT_EQ(stream.Size(), 200);
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(stream.Exist(Key(i))) << i;
  EXPECT_FALSE(stream.Exist("k200"));
  EXPECT_FALSE(stream.Exist("k"));
}

TEST(JOStream, StringsSurviveARoundTripThroughAParser) {
  std::string controls;
  for (char c = 1; c < 0x20; ++c) controls += c;
  controls += '\x7f';
  const std::vector<std::string> values = {
      "",
      "plain",
      "quote\"inside",
      "back\\slash",
      "trailing backslash\\",
      "\\\"",
      controls,
      std::string("nul\0byte", 8),
      "line\xE2\x80\xA8separator\xE2\x80\xA9",
      "non-BMP \xF0\x9F\x98\x80",
      "\xC3\xA9 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC",
      "</script>/",
      "{\"not\":\"an object\"}",
  };
  for (const std::string& value : values) {
    JOStream stream;
    stream.Add("value", QORUnicodeString(value));
    stream.Add(QORUnicodeString(value), "as key");
    const std::string text = Text(stream);
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    ASSERT_EQ(parser.parse(text).get(object), simdjson::SUCCESS) << text;
    std::string_view read;
    ASSERT_EQ(object["value"].get(read), simdjson::SUCCESS) << text;
    EXPECT_EQ(read, value);
    std::vector<std::string_view> keys;
    for (auto member : object) keys.push_back(member.key);
    ASSERT_EQ(keys.size(), 2u) << text;
    EXPECT_EQ(keys[1], std::string(value.c_str()));  // keys are C strings
  }
}

TEST(JOStream, ControlCharactersAreWrittenAsEscapes) {
  JOStream stream;
  stream.Add("k", "\b\f\n\r\t\x01\x1f\"\\\x7f");
  EXPECT_EQ(Text(stream), "{\"k\":\"\\b\\f\\n\\r\\t\\u0001\\u001f\\\"\\\\\x7f\"}");
}

// Text written as JSON by hand (web answers, recorded lines) goes through the same
// escaper: nothing is dropped, everything reads back.
TEST(JsonString, ControlCharactersAreEscapedAndReadBackExactly) {
  using namespace std::string_literals;
  const std::string text = "tab\t nul\0 esc\x1b[31m bell\x07 \"q\" \\ </p>"s;
  for (QORJsonQuoting quoting : {QORJsonQuoting::kJson, QORJsonQuoting::kScript}) {
    const std::string quoted = QORJsonString(text, quoting);
    for (char c : quoted) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << quoted;
    simdjson::dom::parser parser;
    std::string_view read;
    ASSERT_EQ(parser.parse(quoted).get(read), simdjson::SUCCESS) << quoted;
    EXPECT_EQ(read, text);
    EXPECT_EQ(quoted.find("</") == std::string::npos, quoting == QORJsonQuoting::kScript);
  }
}

TEST(JOStream, InvalidUtf8BecomesOneReplacementCharacterPerBadSequence) {
  const std::string R = "\xEF\xBF\xBD";  // U+FFFD
  const struct {
    std::string in, out;
  } cases[] = {
      {"a\xFF"
       "b",
       "a" + R + "b"},
      {"\xC3", R},         // cut at the end
      {"\xC3(", R + "("},  // cut by an ASCII byte
      {"\xE2\x82", R},     // one replacement for the whole prefix
      {"\xE2\x82(", R + "("},
      {"\xED\xA0\x80", R + R + R},          // a surrogate
      {"\xC0\xAF", R + R},                  // an overlong form
      {"\xE0\x80\xAF", R + R + R},          // overlong in three bytes
      {"\xF0\x8F\xBF\xBF", R + R + R + R},  // overlong in four bytes
      {"\xF4\x90\x80\x80", R + R + R + R},  // beyond U+10FFFF
      {"\xF0\x9F\x98", R},
      {"\x80\x80", R + R},  // stray continuation bytes
      {"\xC3\xA9\xFF\xE6\x97\xA5", "\xC3\xA9" + R + "\xE6\x97\xA5"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // valid, kept
  };
  for (const auto& c : cases) {
    JOStream stream;
    stream.Add("v", QORUnicodeString(c.in));
    stream.Add(QORUnicodeString("key" + c.in), "x");
    const std::string text = Text(stream);
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    ASSERT_EQ(parser.parse(text).get(object), simdjson::SUCCESS) << text;
    std::string_view read;
    ASSERT_EQ(object["v"].get(read), simdjson::SUCCESS);
    EXPECT_EQ(read, c.out);
    EXPECT_EQ(object.at_key("key" + c.out).error(), simdjson::SUCCESS) << text;
    // The same bad key names the same member.
    EXPECT_TRUE(stream.Exist(QORUnicodeString("key" + c.in)));
  }
}

TEST(JOStream, MovedStreamBecomesEmptyAndStaysUsable) {
  JOStream parent, child;
  child.Add("a", "1");
  parent.Add("child", std::move(child));
  EXPECT_TRUE(child.IsEmpty());
  EXPECT_EQ(Text(child), "{}");
  child.Add("b", "2");
  EXPECT_EQ(Text(child), R"({"b":"2"})");

  JOStream deep = Chain(6, "x");  // kept as a child rather than copied
  parent.Add("deep", std::move(deep));
  EXPECT_TRUE(deep.IsEmpty());
  deep.Add("c", "3");
  EXPECT_EQ(Text(parent), R"({"child":{"a":"1"},"deep":)" + ChainText(6, "x") + "}");

  JOStream moved(std::move(parent));
  EXPECT_EQ(Text(parent), "{}");
  EXPECT_EQ(moved.Size(), 2);
  parent = std::move(moved);
  EXPECT_EQ(parent.Size(), 2);
  EXPECT_TRUE(moved.IsEmpty());
}

TEST(JOStream, VectorOfStreamsIsTakenOverWhenMoved) {
  std::vector<JOStream> items(4);
  items[0].Add("a", "1");
  // items[1] stays empty
  items[2] = Chain(7, "deep");
  items[3].Add("d", std::vector<QORUnicodeString>{"x"});
  JOStream stream;
  stream.Add("items", std::move(items));
  EXPECT_TRUE(items.empty());
  EXPECT_EQ(Text(stream),
            R"({"items":[{"a":"1"},{},)" + ChainText(7, "deep") + R"(,{"d":["x"]}]})");
  stream.Add("none", std::vector<JOStream>{});
  EXPECT_EQ(Text(stream),
            R"({"items":[{"a":"1"},{},)" + ChainText(7, "deep") + R"(,{"d":["x"]}],"none":[]})");
}

// Large children stay separate objects while small ones are copied in: the text must read
// the same either way, through replacement, copying and a further level of nesting.
TEST(JOStream, LargeAndSmallChildrenWriteTheSameText) {
  const std::string big(100 * 1024, 'b');
  std::vector<JOStream> items(3);
  items[0].Add("s", "small");
  items[1].Add("big", QORUnicodeString(big));
  items[2] = Chain(2, "c");
  JOStream level;
  level.Add("items", std::move(items));
  const std::string itemsText =
      R"({"items":[{"s":"small"},{"big":")" + big + R"("},)" + ChainText(2, "c") + "]}";
  EXPECT_EQ(Text(level), itemsText);
  std::vector<JOStream> levels(2);
  levels[0] = JOStream(level);
  levels[1] = std::move(level);
  JOStream root;
  root.Add("levels", std::move(levels));
  root.Add("after", "x");
  const std::string rootText = R"({"levels":[)" + itemsText + "," + itemsText + R"(],"after":"x"})";
  EXPECT_EQ(Text(root), rootText);
  EXPECT_EQ(Text(JOStream(root)), rootText);
  EXPECT_EQ(Minified(root.PrettyStringify().Str()), rootText);
  root.Add("levels", "gone");
  EXPECT_EQ(Text(root), R"({"levels":"gone","after":"x"})");
}

TEST(JOStream, ConstAddsCopyAndLeaveTheSourceAlone) {
  JOStream deep = Chain(6, "x");
  std::vector<JOStream> items(2);
  items[0].Add("a", "1");
  items[1] = Chain(5, "y");
  JOStream stream;
  stream.Add("deep", deep);
  stream.Add("items", items);
  const std::string expected =
      R"({"deep":)" + ChainText(6, "x") + R"(,"items":[{"a":"1"},)" + ChainText(5, "y") + "]}";
  EXPECT_EQ(Text(stream), expected);
  EXPECT_EQ(Text(deep), ChainText(6, "x"));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(Text(items[1]), ChainText(5, "y"));
  deep.Add("later", "z");
  items[0].Add("a", "changed");
  EXPECT_EQ(Text(stream), expected);
}

TEST(JOStream, CopiesAreIndependent) {
  JOStream original;
  for (int i = 0; i < 20; ++i) original.Add(Key(i), Chain(i % 7, "v"));
  const std::string before = Text(original);
  JOStream copy(original);
  JOStream assigned;
  assigned.Add("old", "member");
  assigned = original;
  EXPECT_EQ(Text(copy), before);
  EXPECT_EQ(Text(assigned), before);

  original.Add("k3", "changed");
  EXPECT_EQ(Text(copy), before);
  copy.Add("k19", "replaced in the copy");  // the copy finds its keys too
  EXPECT_EQ(copy.Size(), 20);
  EXPECT_NE(Text(copy).find(R"("k19":"replaced in the copy"})"), std::string::npos);
  EXPECT_EQ(Text(assigned), before);
}

TEST(JOStream, AddingAStreamToItselfNestsACopy) {
  JOStream stream;
  stream.Add("a", "1");
  stream.Add("self", stream);
  EXPECT_EQ(Text(stream), R"({"a":"1","self":{"a":"1"}})");
  stream.Add("again", std::move(stream));
  EXPECT_EQ(Text(stream), R"({"a":"1","self":{"a":"1"},"again":{"a":"1","self":{"a":"1"}}})");
}

TEST(JOStream, AddRawStringInsertsValidJsonCompacted) {
  std::string deep(JSON::kMaxDepth + 1, '[');
  deep.append(JSON::kMaxDepth + 1, ']');
  const struct {
    std::string raw;
    std::string written;
    bool accepted;
  } cases[] = {
      {R"( { "a" : [ 1 , 2.50 ] ,
            "b" : "x  y" } )",
       R"({"a":[1,2.50],"b":"x  y"})", true},
      {"12345678901234567890", "12345678901234567890", true},
      {"-0.0e+00", "-0.0e+00", true},
      {R"("text")", R"("text")", true},
      {"null", "null", true},
      {"[]", "[]", true},
      {"{", R"("{")", false},
      {"", R"("")", false},
      {"   ", R"("   ")", false},
      {"1 2", R"("1 2")", false},
      {R"({"a":1}})", R"("{\"a\":1}}")", false},
      {"tru", R"("tru")", false},
      {"\"\xFF\"", "\"\\\"\xEF\xBF\xBD\\\"\"", false},
      {deep, "\"" + deep + "\"", false},
  };
  for (const auto& c : cases) {
    JOStream stream;
    EXPECT_EQ(stream.AddRawString("k", QORUnicodeString(c.raw)), c.accepted) << c.raw;
    EXPECT_EQ(Text(stream), "{\"k\":" + c.written + "}") << c.raw;
  }
}

TEST(JOStream, AddRawStringChecksLargeTextsToo) {
  std::string large = "[";
  for (int i = 0; i < 20000; ++i) large += (i ? ", " : "") + std::to_string(i) + ".50";
  large += "]";
  JOStream stream;
  EXPECT_TRUE(stream.AddRawString("numbers", QORUnicodeString(large)));
  EXPECT_EQ(Text(stream), "{\"numbers\":" + Minified(large) + "}");
  EXPECT_FALSE(stream.AddRawString("numbers", QORUnicodeString(large + ",")));
  EXPECT_EQ(Text(stream).substr(0, 14), R"({"numbers":"[0)");
  EXPECT_EQ(stream.Size(), 1);
}

TEST(JOStream, AddRawStringReplacesInPlace) {
  JOStream stream;
  stream.Add("a", "1");
  stream.Add("b", "2");
  EXPECT_TRUE(stream.AddRawString("a", "[true]"));
  EXPECT_EQ(Text(stream), R"({"a":[true],"b":"2"})");
}

TEST(JOStream, PrettyOutputHoldsTheSameValue) {
  JOStream stream;
  stream.Add("a", "x");
  stream.Add("b", JOStream());
  stream.Add("c", std::vector<QORUnicodeString>{});
  JOStream d;
  d.Add("e", std::vector<QORUnicodeString>{"1", "2"});
  stream.Add("d", std::move(d));
  EXPECT_EQ(stream.PrettyStringify().Str(),
            "{\n"
            "    \"a\": \"x\",\n"
            "    \"b\": {},\n"
            "    \"c\": [],\n"
            "    \"d\": {\n"
            "        \"e\": [\n"
            "            \"1\",\n"
            "            \"2\"\n"
            "        ]\n"
            "    }\n"
            "}");

  // Text that looks like structure must pass through untouched.
  stream.Add("tricky", "{[,:]} \"quoted, with: {braces}\" back\\slash\\");
  stream.Add("{,}", "\\");
  stream.Add("deep", Chain(9, "in \"chain\""));
  std::vector<JOStream> list(3);
  list[1] = Chain(4, ",");
  stream.Add("list", std::move(list));
  EXPECT_TRUE(stream.AddRawString("raw", R"({"n":[1.50,{"m":[]}],"s":"\"\\"})"));
  const std::string pretty = stream.PrettyStringify().Str();
  EXPECT_EQ(Minified(pretty), Text(stream));
  EXPECT_NE(pretty.find("\n            \"c\": {"), std::string::npos);  // the chain is indented
}

TEST(JOStream, StreamsMadeOnOtherThreadsOutliveThem) {
  // Each worker builds its part and ends; the parts are then joined and dropped here.
  std::vector<JOStream> parts(4);
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&parts, t] {
      std::vector<JOStream> items(50);
      for (int i = 0; i < 50; ++i)
        items[static_cast<size_t>(i)] = Chain(i % 6, std::to_string(t * 100 + i));
      parts[static_cast<size_t>(t)].Add("items", std::move(items));
    });
  }
  for (std::thread& worker : workers) worker.join();
  JOStream whole;
  whole.Add("parts", std::move(parts));
  std::string expected = R"({"parts":[)";
  for (int t = 0; t < 4; ++t) {
    expected += t ? R"(,{"items":[)" : R"({"items":[)";
    for (int i = 0; i < 50; ++i) {
      if (i) expected += ',';
      expected += ChainText(i % 6, std::to_string(t * 100 + i));
    }
    expected += "]}";
  }
  EXPECT_EQ(Text(whole), expected + "]}");
}

TEST(JOStream, TreesDeeperThanTheParseLimitAreStillWritten) {
  // Writing, copying and freeing do not recurse, so depth is not bounded by the stack;
  // parsers refuse the text, so the generator keeps its trees far shallower.
  const int depth = 100000;
  JOStream deep = Chain(depth, "leaf");
  const std::string text = Text(deep);
  EXPECT_EQ(text, ChainText(depth, "leaf"));
  JOStream copy(deep);
  EXPECT_EQ(Text(copy).size(), text.size());
  JSON::JIStream view;
  EXPECT_FALSE(view.Parse(text));
  EXPECT_NE(view.LastError().find("deeper"), std::string::npos) << view.LastError();
}

}  // namespace
