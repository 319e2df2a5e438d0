// Building JSON objects: member order, replacement, nested moves and copies, escaping,
// raw text, indentation and depth.
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
  return text.append(static_cast<size_t>(depth), '}');
}

TEST(JOStream, MembersKeepTheirOrderAndAreReplacedInPlace) {
  JOStream stream;
  EXPECT_EQ(Text(stream), "{}");
  EXPECT_EQ(stream.PrettyStringify().Str(), "{}");
  stream.Add("zeta", "1");
  stream.Add("alpha", false);
  stream.Add("mid", std::vector<QORUnicodeString>{"x", "y"});
  stream.Add("empty", std::vector<QORUnicodeString>{});
  stream.Add("alpha", Chain(1, "o"));
  stream.Add(QORUnicodeString("zeta"), true);
  EXPECT_EQ(Text(stream), R"({"zeta":true,"alpha":{"c":{"v":"o"}},"mid":["x","y"],"empty":[]})");
  EXPECT_EQ(stream.Size(), 4);
  stream.Clear();
  EXPECT_TRUE(stream.IsEmpty());
  EXPECT_FALSE(stream.Exist("zeta"));

  // Many members: every key is found, and a replacement lands in its place.
  std::string expected = "{";
  for (int i = 0; i < 200; ++i) {
    const std::string key = "k" + std::to_string(i);
    stream.Add(QORUnicodeString(key), QORUnicodeString(std::to_string(i)));
    expected += (i ? ",\"" : "\"") + key + "\":\"" + (i == 100 ? "new" : std::to_string(i)) + "\"";
  }
  stream.Add("k100", "new");
  EXPECT_EQ(Text(stream), expected + "}");
  for (int i = 0; i < 200; ++i)
    EXPECT_TRUE(stream.Exist(QORUnicodeString("k" + std::to_string(i))));
  EXPECT_FALSE(stream.Exist("k"));
}

TEST(JOStream, ReplacingOftenKeepsOnlyTheLastValues) {
  // Replaced text and replaced children pile up until the object compacts itself, which
  // moves the members that stay; checked after every replacement to see each compaction.
  // A chain of 6 is kept as a separate child, spliced in where its member stands.
  JOStream stream;
  stream.Add("first", "start");
  stream.Add("tree", Chain(6, "kept"));
  stream.Add("last", "kept");
  for (int i = 0; i < 600; ++i) {
    const std::string value(static_cast<size_t>(std::min(i, 299) % 37), 'x');
    const int depth = i < 300 ? 6 : i % 8;
    const std::string leaf = i < 300 ? "kept" : std::to_string(i);
    if (i < 300)
      stream.Add("first", QORUnicodeString(value));
    else
      stream.Add("tree", Chain(depth, leaf));
    ASSERT_EQ(Text(stream), R"({"first":")" + value + R"(","tree":)" + ChainText(depth, leaf) +
                                R"(,"last":"kept"})")
        << i;
  }
}

TEST(JOStream, TextReadsBackExactlyAndInvalidUtf8BecomesReplacementCharacters) {
  const std::string R = "\xEF\xBF\xBD";  // U+FFFD, one per bad sequence
  std::string controls;
  for (char c = 1; c < 0x20; ++c) controls += c;
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"quote\" back\\slash trailing\\", "quote\" back\\slash trailing\\"},
      {controls + "\x7f", controls + "\x7f"},
      {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
      {"sep\xE2\x80\xA8 \xF0\x9F\x98\x80 </script>", "sep\xE2\x80\xA8 \xF0\x9F\x98\x80 </script>"},
      {"a\xFF"
       "b",
       "a" + R + "b"},
      {"\xC3", R},                          // cut at the end
      {"\xE2\x82(", R + "("},               // a cut prefix is one replacement
      {"\xED\xA0\x80", R + R + R},          // a surrogate
      {"\xE0\x80\xAF", R + R + R},          // overlong
      {"\xF4\x90\x80\x80", R + R + R + R},  // beyond U+10FFFF
      {"\x80\x80", R + R},                  // stray continuation bytes
  };
  for (const auto& c : cases) {
    JOStream stream;
    stream.Add("v", QORUnicodeString(c.in));
    stream.Add(QORUnicodeString("key" + c.in), "x");
    const std::string text = Text(stream);
    for (char ch : text) ASSERT_GE(static_cast<unsigned char>(ch), 0x20) << text;
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    ASSERT_EQ(parser.parse(text).get(object), simdjson::SUCCESS) << text;
    std::string_view read;
    ASSERT_EQ(object["v"].get(read), simdjson::SUCCESS);
    EXPECT_EQ(read, c.out);
    // Keys are C strings; the same bad key names the same member.
    EXPECT_EQ(object.at_key("key" + std::string(c.out.c_str())).error(), simdjson::SUCCESS) << text;
    EXPECT_TRUE(stream.Exist(QORUnicodeString("key" + c.in)));
  }
  JOStream stream;
  stream.Add("k", "\b\f\n\r\t\x01\"\\");
  EXPECT_EQ(Text(stream), R"({"k":"\b\f\n\r\t\u0001\"\\"})");
  // Quoted by hand: only script quoting hides what could end a script.
  EXPECT_EQ(QORJsonString("</p><!--"), R"("</p><!--")");
  const std::string script = QORJsonString("</p><!--", QORJsonQuoting::kScript);
  EXPECT_EQ(script.find("</"), std::string::npos) << script;
  EXPECT_EQ(script.find("<!"), std::string::npos) << script;
}

// The writer's word-at-a-time copy, checked and through a cursor: a byte to escape at any
// place in any length, and writes larger than the room taken up front.
TEST(JOStream, WrittenValuesEscapeAtEveryPlaceAndGrowPastTheirRoom) {
  std::vector<std::string> texts, expected;
  for (size_t length = 1; length <= 24; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (const char special : {'"', '\\', '\n', '\x80'}) {
        std::string in(length, 'a');
        in[at] = special;
        texts.push_back(in);
        texts.push_back(in.substr(0, at));  // the plain head alone
        if (special == '\x80') in.replace(at, 1, "\xEF\xBF\xBD");
        expected.push_back(in);
        expected.push_back(texts.back());
      }
    }
  }
  {
    JOStream stream;
    stream.AddWritten("w", [&](JOStream::ValueWriter& out) {
      out.Put('[');
      for (size_t i = 0; i < texts.size(); ++i) {
        out.Quoted(texts[i]);
        out.Put(',');
      }
      // Each at its worst, as controls only, so that the room is exactly enough.
      for (const std::string& text : texts) {
        const std::string controls(text.size(), '\x01');
        out.WriteWithin(JOStream::ValueWriter::QuotedRoom(text.size()) * 2 + 1,
                        [&](JOStream::ValueWriter::Cursor cursor) {
                          cursor.Quoted(text);
                          cursor.Put(',');
                          cursor.Quoted(controls);
                          return cursor;
                        });
        out.Put(',');
      }
      out.Write("\"end\"]");
      return true;
    });
    JSON::JIStream read;
    ASSERT_TRUE(read.Parse(stream.Stringify()));
    const std::vector<QORUnicodeString> strings = read.ReadStrings("w");
    ASSERT_EQ(strings.size(), 3 * expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(strings[i].Str(), expected[i]) << i;
      EXPECT_EQ(strings[expected.size() + 2 * i].Str(), expected[i]) << i;
      EXPECT_EQ(strings[expected.size() + 2 * i + 1].Str(), std::string(texts[i].size(), '\x01'));
    }
  }
  JOStream stream;
  stream.Add("k", true);
  EXPECT_FALSE(stream.AddWritten("w", [](JOStream::ValueWriter& out) {
    out.Write("[1,2");
    return false;  // dropped: the object stays as it was
  }));
  // Past the room taken up front, a chunk at a time.
  const std::string chunk(size_t{1} << 20, 'b');
  EXPECT_TRUE(stream.AddWritten("big", [&](JOStream::ValueWriter& out) {
    out.Put('"');
    for (int i = 0; i < 65; ++i) out.Write(chunk);
    out.Put('"');
    return true;
  }));
  const QORUnicodeString text = stream.Stringify();
  EXPECT_EQ(text.View().size(), 65 * chunk.size() + 19);
  EXPECT_EQ(text.View().substr(0, 18), R"({"k":true,"big":"b)");
  EXPECT_EQ(text.View().substr(text.View().size() - 3), "b\"}");
  // A cursor's room past what was taken up front, escapes and all.
  const std::string quotes(size_t{11} << 20, '"');
  JOStream quoted;
  EXPECT_TRUE(quoted.AddWritten("quotes", [&](JOStream::ValueWriter& out) {
    for (int i = 0; i < 2; ++i) {
      out.WriteWithin(JOStream::ValueWriter::QuotedRoom(quotes.size()) + 1,
                      [&](JOStream::ValueWriter::Cursor cursor) {
                        cursor.Put(i == 0 ? '[' : ',');
                        cursor.Quoted(quotes);
                        return cursor;
                      });
    }
    out.Put(']');
    return true;
  }));
  JSON::JIStream read;
  ASSERT_TRUE(read.Parse(quoted.Stringify()));
  const std::vector<QORUnicodeString> strings = read.ReadStrings("quotes");
  ASSERT_EQ(strings.size(), 2u);
  for (const QORUnicodeString& string : strings) EXPECT_EQ(string.Str(), quotes);
}

// An adopted text is written back as it came and then behaves as any stream: members
// found, added, replaced, copied. Texts it cannot take as they lie are left untouched.
TEST(JOStream, AdoptedTextIsKeptAsItCameAndRefusedWhenNotSideBySide) {
  using Views = std::vector<std::pair<std::string_view, std::string_view>>;
  const auto split = [](const std::string& text, std::vector<std::string> keys) {
    Views views;
    for (const std::string& key : keys) {
      const size_t at = text.find('"' + key + "\":");
      const size_t value = at + key.size() + 3;
      size_t end = value, depth = 0;
      for (; end < text.size(); ++end) {
        if (text[end] == '{' || text[end] == '[') ++depth;
        if (text[end] == '}' || text[end] == ']') {
          if (depth == 0) break;
          --depth;
        }
        if (text[end] == ',' && depth == 0) break;
      }
      views.emplace_back(std::string_view(text).substr(at + 1, key.size()),
                         std::string_view(text).substr(value, end - value));
    }
    return views;
  };
  const std::string original = R"({"data":{"a":1},"columns":[1,"x,y"],"roots":[{"k":[true]}]})";
  std::string text = original;
  JOStream stream;
  stream.Add("old", true);  // replaced by the adopted members
  ASSERT_TRUE(stream.AdoptCompact(std::move(text), split(text, {"data", "columns", "roots"})));
  EXPECT_EQ(stream.Stringify().Str(), original);
  EXPECT_TRUE(stream.Exist("roots"));
  EXPECT_FALSE(stream.Exist("old"));
  const JOStream copy(stream);
  stream.Add("columns", false);
  stream.Add("more", "m");
  EXPECT_EQ(stream.Stringify().Str(),
            R"({"data":{"a":1},"columns":false,"roots":[{"k":[true]}],"more":"m"})");
  EXPECT_EQ(copy.Stringify().Str(), original);

  const std::vector<std::pair<std::string, std::vector<std::string>>> refused = {
      {R"({"a":1,"a":2})", {"a", "a"}},      // a repeated key
      {R"({"a":1, "b":2})", {"a", "b"}},     // not side by side
      {R"({"a":1,"b":2})", {"a"}},           // a member left out
      {R"({"a\u0062":1})", {R"(a\u0062)"}},  // a key with an escape
      {R"({"a":1})", {}},                    // no members for a text that has one
  };
  for (const auto& [given, keys] : refused) {
    std::string taken = given;
    JOStream other;
    other.Add("k", true);
    EXPECT_FALSE(other.AdoptCompact(std::move(taken), split(taken, keys))) << given;
    EXPECT_EQ(taken, given);
    EXPECT_EQ(other.Stringify().Str(), R"({"k":true})") << given;
  }
  std::string elsewhere = R"({"a":1})";
  const std::string same = elsewhere;  // equal bytes in another block do not count
  EXPECT_FALSE(stream.AdoptCompact(std::move(elsewhere), split(same, {"a"})));
}

// Large children stay separate objects while small ones are copied in: the text must read
// the same either way, through moves, const adds, copies and a further level of nesting.
TEST(JOStream, ChildrenReadTheSameWhetherMovedCopiedLargeOrSmall) {
  const std::string big(100 * 1024, 'b');
  std::vector<JOStream> items(4);
  items[0].Add("s", "small");
  // items[1] stays empty
  items[2].Add("big", QORUnicodeString(big));
  items[3] = Chain(7, "deep");
  JOStream level;
  level.Add("items", items);  // a copy: the source stays as it was
  items[0].Add("s", "changed");
  const std::string itemsText =
      R"({"items":[{"s":"small"},{},{"big":")" + big + R"("},)" + ChainText(7, "deep") + "]}";
  EXPECT_EQ(Text(level), itemsText);
  EXPECT_EQ(Text(items[3]), ChainText(7, "deep"));

  std::vector<JOStream> levels(2);
  levels[0] = JOStream(level);
  levels[1] = std::move(level);
  EXPECT_TRUE(level.IsEmpty());
  level.Add("b", "2");  // a moved stream stays usable
  EXPECT_EQ(Text(level), R"({"b":"2"})");
  JOStream root;
  root.Add("levels", std::move(levels));
  EXPECT_TRUE(levels.empty());
  root.Add("none", std::vector<JOStream>{});
  const std::string rootText = R"({"levels":[)" + itemsText + "," + itemsText + R"(],"none":[]})";
  EXPECT_EQ(Text(root), rootText);
  EXPECT_EQ(Minified(root.PrettyStringify().Str()), rootText);

  JOStream copy(root), assigned;
  assigned.Add("old", "member");
  assigned = root;
  root.Add("levels", "gone");
  EXPECT_EQ(Text(root), R"({"levels":"gone","none":[]})");
  EXPECT_EQ(Text(copy), rootText);
  EXPECT_EQ(Text(assigned), rootText);
  copy.Add("none", "replaced in the copy");  // the copy finds its keys too
  EXPECT_EQ(copy.Size(), 2);

  JOStream self;
  self.Add("a", "1");
  self.Add("self", self);
  self.Add("again", std::move(self));
  EXPECT_EQ(Text(self), R"({"a":"1","self":{"a":"1"},"again":{"a":"1","self":{"a":"1"}}})");
}

TEST(JOStream, AddRawStringInsertsValidJsonCompactedAndQuotesTheRest) {
  std::string deep(JSON::kMaxDepth + 1, '[');
  deep.append(JSON::kMaxDepth + 1, ']');
  std::string large = "[";
  for (int i = 0; i < 20000; ++i) large += (i ? ", " : "") + std::to_string(i) + ".50";
  large += "]";
  const struct {
    std::string raw, written;
    bool accepted;
  } cases[] = {
      {" { \"a\" : [ 1 , 2.50 ] ,\n \"b\" : \"x  y\" } ", R"({"a":[1,2.50],"b":"x  y"})", true},
      {"12345678901234567890", "12345678901234567890", true},
      {"-0.0e+00", "-0.0e+00", true},
      {"null", "null", true},
      {large, Minified(large), true},
      {"{", R"("{")", false},
      {"   ", R"("   ")", false},
      {"1 2", R"("1 2")", false},
      {R"({"a":1}})", R"("{\"a\":1}}")", false},
      {"\"\xFF\"", "\"\\\"\xEF\xBF\xBD\\\"\"", false},
      {deep, "\"" + deep + "\"", false},
      {large + ",", "\"" + large + ",\"", false},
  };
  for (const auto& c : cases) {
    JOStream stream;
    stream.Add("k", "1");
    stream.Add("after", "2");
    EXPECT_EQ(stream.AddRawString("k", QORUnicodeString(c.raw)), c.accepted) << c.raw;
    EXPECT_EQ(Text(stream), "{\"k\":" + c.written + ",\"after\":\"2\"}") << c.raw.substr(0, 40);
  }
}

TEST(JOStream, PrettyOutputIndentsAndHoldsTheSameValue) {
  JOStream stream;
  stream.Add("a", "x");
  stream.Add("b", JOStream());
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
  EXPECT_TRUE(pretty.starts_with("{\n    \"a\": \"x\",\n    \"b\": {},\n    \"tricky\": "))
      << pretty;
  EXPECT_NE(pretty.find("\n            \"c\": {"), std::string::npos);  // the chain is indented
}

TEST(JOStream, StreamsMadeOnOtherThreadsOutliveThem) {
  // Each worker builds its part and ends; the parts are then joined and dropped here.
  std::vector<JOStream> parts(4);
  std::vector<std::thread> workers;
  std::string expected = R"({"parts":[)";
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&parts, t] {
      std::vector<JOStream> items(50);
      for (int i = 0; i < 50; ++i) items[static_cast<size_t>(i)] = Chain(i % 6, std::to_string(i));
      parts[static_cast<size_t>(t)].Add("items", std::move(items));
    });
    expected += t ? R"(,{"items":[)" : R"({"items":[)";
    for (int i = 0; i < 50; ++i) expected += (i ? "," : "") + ChainText(i % 6, std::to_string(i));
    expected += "]}";
  }
  for (std::thread& worker : workers) worker.join();
  JOStream whole;
  whole.Add("parts", std::move(parts));
  EXPECT_EQ(Text(whole), expected + "]}");
}

TEST(JOStream, TreesDeeperThanTheParseLimitAreStillWritten) {
  // Writing, copying and freeing do not recurse, so depth is not bounded by the stack;
  // parsers refuse the text, so the generator keeps its trees far shallower.
  JOStream deep = Chain(100000, "leaf");
  const std::string text = Text(deep);
  EXPECT_EQ(text, ChainText(100000, "leaf"));
  EXPECT_EQ(Text(JOStream(deep)).size(), text.size());
  JSON::JIStream view;
  EXPECT_FALSE(view.Parse(text));
  EXPECT_NE(view.LastError().find("deeper"), std::string::npos) << view.LastError();
}

}  // namespace
