// Reading JSON: what parsing accepts and refuses, how views share their document, what
// reads of missing or mistyped members give, and conversions to and from output streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "JsonStreams/QORJsonCheck.h"

namespace {

using JSON::JIStream;
using JSON::JOStream;
using JSON::Type;

std::string Nested(int depth, const std::string& open, const std::string& close) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JIStream, ParseAcceptsOneValueOfAnyTypeNestedUpToTheLimit) {
  std::string objects = Nested(JSON::kMaxDepth - 1, "{\"a\":", "}");
  objects.insert(objects.size() - (JSON::kMaxDepth - 1), "{}");  // before the first "}"
  const struct {
    std::string text;
    Type type;
    bool empty;
  } cases[] = {
      {"{}", Type::Object, true},      {" {\"a\":1} ", Type::Object, false},
      {"[]", Type::Array, false},      {"\"s\"", Type::String, false},
      {"-1.5e3", Type::Number, false}, {"true", Type::Boolean, false},
      {"null", Type::Null, false},     {Nested(JSON::kMaxDepth, "[", "]"), Type::Array, false},
      {objects, Type::Object, false},
  };
  for (const auto& c : cases) {
    JIStream view;
    ASSERT_TRUE(view.Parse(c.text)) << c.text.substr(0, 40) << ": " << view.LastError();
    EXPECT_TRUE(QORIsValidJson(c.text)) << c.text.substr(0, 40);
    EXPECT_TRUE(view.LastError().empty());
    EXPECT_EQ(view.GetType(), c.type) << c.text;
    EXPECT_EQ(view.IsObject(), c.type == Type::Object) << c.text;
    EXPECT_EQ(view.Empty(), c.empty) << c.text;
  }
  QORUnicodeString padded(R"({"a":"x","b":[1.50,2]})");
  padded.Str().reserve(padded.Str().size() + 256);  // room for the padding: parsed in place
  JIStream view;
  ASSERT_TRUE(view.Parse(padded));
  EXPECT_EQ(view.Stringify().Str(), padded.Str());
  EXPECT_EQ(JIStream().GetType(), Type::Missing);
  EXPECT_EQ(JIStream().Stringify().Str(), "");
}

TEST(JIStream, ParseRefusesWhatIsNotOneValidJsonValueAndKeepsTheOldDocument) {
  const struct {
    std::string text;
    const char* why;  // expected in the error
  } cases[] = {
      {R"({"a":1,})", "byte offset 7"},
      {"{\n\"a\":\n[1,,2]}", "line 3"},
      {"{\"a\":\"\xFF\"}", "UTF-8"},
      {"{\"a\":\"\xED\xA0\x80\"}", "UTF-8"},
      {"{} x", "byte offset 3"},
      {"[1] [2]", ""},  // an error after a closed array
      {" \n\t", "no JSON value"},
      {"\"unterminated", ""},
      {"[1e400]", ""},
      // The error points at the bracket or brace one level too deep.
      {Nested(JSON::kMaxDepth + 1, "[", "]"), "deeper than 1024 levels (line 1, byte offset 1024)"},
      {Nested(JSON::kMaxDepth + 1, "{\"a\":", "}"),
       "deeper than 1024 levels (line 1, byte offset 5120)"},
      {Nested(100000, "[", ""), ""},  // deep and never closed
  };
  for (const auto& c : cases) {
    JIStream view;
    ASSERT_TRUE(view.Parse(std::string_view(R"({"before":"kept"})")));
    EXPECT_FALSE(view.Parse(c.text)) << c.text.substr(0, 40);
    EXPECT_FALSE(QORIsValidJson(c.text)) << c.text.substr(0, 40);
    EXPECT_FALSE(view.LastError().empty());
    EXPECT_EQ(view.LastError().find('\n'), std::string::npos) << view.LastError();
    EXPECT_NE(view.LastError().find(c.why), std::string::npos) << view.LastError();
    EXPECT_EQ(view.ReadString("before").Str(), "kept");
  }
}

// The check takes a large text in pieces: a fault anywhere, at the edge of a piece or
// inside a value too large for one, is refused exactly when a parse refuses it.
TEST(JIStream, TheCheckOfALargeTextAgreesWithAParseWhereverTheFaultLies) {
  std::string leaves;
  for (int i = 0; i < 6000; ++i) {
    if (i > 0) leaves += ',';
    leaves += R"({"label":"n)" + std::to_string(i) + R"(\n","grid":{"Import":true,"H":-1.5e3}})";
  }
  // The leaves twice as large children of one node, behind a small member.
  const std::string text = R"( {"data":{"a":[]},"roots":[{"children":[)" + leaves +
                           R"(]},{"children": [ )" + leaves + "]}]} ";
  ASSERT_GT(text.size(), 4 * 64 * 1024u);
  EXPECT_TRUE(QORIsValidJson(text));
  const int deep = JSON::kMaxDepth - 6;  // a value in a leaf's "grid" lies six deep
  std::string deepest = text;
  deepest.replace(deepest.rfind("-1.5e3"), 6, Nested(deep, "[", "]"));
  EXPECT_TRUE(QORIsValidJson(deepest));
  deepest.replace(deepest.rfind("[]"), 2, "[[]]");
  EXPECT_FALSE(QORIsValidJson(deepest));
  const std::vector<std::pair<std::string, std::string>> faults = {
      {"\\n\"", "\x01\""},
      {"\\n\"", "\xff\""},
      {"true", "tru"},
      {"\\n", "\\x"},
      {"\\n", "\\ud800"},
      {",", ""},
      {",", ",,"},
      {"}", "]"},
      {"-1.5e3", "01"},
      {":", " "},
      {"-1.5e3", Nested(deep, "[", "]")},
      {"-1.5e3", Nested(deep + 1, "[", "]")},
      {"\"n", "n"},
      {"]},{", "]}:{"},
      {"]},{", "]} {"},
  };
  for (const auto& [what, by] : faults) {
    // At twenty places spread over the text, each found from there on.
    for (size_t k = 0; k < 20; ++k) {
      const size_t at = text.find(what, text.size() * k / 20);
      if (at == std::string::npos) continue;
      std::string faulty = text;
      faulty.replace(at, what.size(), by);
      EXPECT_EQ(QORIsValidJson(faulty), JIStream().Parse(faulty))
          << "'" << what << "' as '" << by.substr(0, 8) << "' at " << at;
    }
  }
  EXPECT_FALSE(QORIsValidJson(text + "x"));
  EXPECT_FALSE(QORIsValidJson(text.substr(0, text.size() - 3)));
}

TEST(JIStreamFile, ParseFileReadsTheFileOrSaysWhyNot) {
  const auto folder =
      std::filesystem::path(::testing::TempDir()) / ("jistream_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto Write = [&](const char* name, const char* text) {
    std::ofstream(folder / name) << text;
    return QORUnicodeString((folder / name).string());
  };
  JIStream view;
  ASSERT_TRUE(view.ParseFile(Write("bom.json", "\xEF\xBB\xBF{\"a\":\"b\"}"))) << view.LastError();
  EXPECT_EQ(view.ReadString("a").Str(), "b");
  const struct {
    QORUnicodeString path;
    const char* why;
  } failures[] = {
      {Write("bom-broken.json", "\xEF\xBB\xBF{\"a\" \"b\"}"), "byte offset 8"},  // in the file
      {Write("broken.json", "{\"a\":\n\"b\",}"), "line 2"},
      {QORUnicodeString((folder / "missing.json").string()), "No such file"},
      {QORUnicodeString(folder.string()), "directory"},
  };
  for (const auto& f : failures) {
    EXPECT_FALSE(view.ParseFile(f.path));
    EXPECT_NE(view.LastError().find(f.why), std::string::npos) << view.LastError();
    EXPECT_EQ(view.ReadString("a").Str(), "b");
  }
  EXPECT_NE(view.LastError().find(folder.string()), std::string::npos) << view.LastError();
  std::filesystem::remove_all(folder);
}

TEST(JIStream, ViewsShareTheirDocumentAndOutliveTheStreamTheyCameFrom) {
  std::vector<JIStream> children;
  JIStream data, copy;
  std::vector<std::string_view> keys;
  {
    JIStream root;
    ASSERT_TRUE(root.Parse(std::string_view(
        R"({"data":{"id":"F1","n":2},"roots":[{"label":"a"},"skip",{"label":"b"}]})")));
    data = root.ReadObject("data");
    children = root.ReadObjects("roots");
    keys = data.Keys();
    copy = root;
    // Parsing again into the same view starts a new document; the old one lives on.
    ASSERT_TRUE(root.Parse(std::string_view(R"({"data":{"id":"F2"}})")));
    EXPECT_EQ(root.ReadObject("data").ReadString("id").Str(), "F2");
  }
  EXPECT_EQ(data.ReadString("id").Str(), "F1");
  EXPECT_EQ(keys, (std::vector<std::string_view>{"id", "n"}));
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[1].Stringify().Str(), R"({"label":"b"})");
  JIStream moved(std::move(copy));
  EXPECT_TRUE(copy.Empty());
  EXPECT_EQ(moved.ReadObject("data").ReadString("id").Str(), "F1");
}

TEST(JIStream, ReadsOfMissingKeysOrOtherTypesAreEmptyAndRawTextIsAsWritten) {
  JIStream view;
  ASSERT_TRUE(view.Parse(std::string_view(
      R"({"s":"text","n":1,"b":true,"z":null,"o":{"k":"v"},"e":{},)"
      R"("mixed":["a",1,{"x":"1"},null,"b",{"x":"2"},["c"]],"one":"alone","single":{"x":"3"},)"
      R"( "price": 1.50, "big": 12345678901234567890, "negZeroD": -0.0, "exp": 1E2,)"
      R"("min": -9223372036854775808, "list": [0.10, {"f": 2.50e3}, "x", [2.0, "y"], -0],)"
      R"("obj" : { "k" : [ 1 , 2 ] , "s" : "a\"b\u00e9" }})")));
  const std::pair<const char*, Type> types[] = {
      {"s", Type::String},       {"n", Type::Number},     {"b", Type::Boolean},
      {"z", Type::Null},         {"o", Type::Object},     {"mixed", Type::Array},
      {"absent", Type::Missing}, {nullptr, Type::Missing}};
  for (const auto& [key, type] : types) {
    EXPECT_EQ(view.GetType(key), type) << (key ? key : "null");
    if (key) {
      EXPECT_EQ(view.Exist(key), type != Type::Missing) << key;
    }
  }
  for (const char* key : {"n", "o", "absent"}) EXPECT_EQ(view.ReadString(key).Str(), "") << key;
  EXPECT_TRUE(view.ReadObject("s").Empty());
  EXPECT_EQ(view.ReadObject("mixed").GetType(), Type::Missing);
  EXPECT_TRUE(view.ReadObject("e").IsObject());
  EXPECT_EQ(view.ReadObject("o").ReadString("k").Str(), "v");

  const auto strings = view.ReadStrings("mixed");
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[1].Str(), "b");
  const auto objects = view.ReadObjects("mixed");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[1].ReadString("x").Str(), "2");
  EXPECT_TRUE(view.ReadStrings("one").empty());     // one string is not a list
  EXPECT_TRUE(view.ReadObjects("single").empty());  // one object is not a list
  EXPECT_EQ(view.ReadRawString("absent").Str(), "");
  // Raw text is compact and keeps numbers as written.
  const std::pair<const char*, const char*> raw[] = {
      {"price", "1.50"},
      {"big", "12345678901234567890"},
      {"negZeroD", "-0.0"},
      {"exp", "1E2"},
      {"min", "-9223372036854775808"},
      {"list", R"([0.10,{"f":2.50e3},"x",[2.0,"y"],-0])"},
      {"obj", "{\"k\":[1,2],\"s\":\"a\\\"b\xC3\xA9\"}"},
      {"b", "true"},
      {"z", "null"},
  };
  for (const auto& [key, text] : raw) EXPECT_EQ(view.ReadRawString(key).Str(), text) << key;
  EXPECT_EQ(view.ReadObject("obj").Stringify().Str(), "{\"k\":[1,2],\"s\":\"a\\\"b\xC3\xA9\"}");
  EXPECT_EQ(view.Keys().size(), 16u);

  // A view of something that is not an object has no members.
  JIStream array;
  ASSERT_TRUE(array.Parse(std::string_view(R"(["s"])")));
  EXPECT_EQ(array.GetType("0"), Type::Missing);
  EXPECT_TRUE(array.Keys().empty());
  EXPECT_TRUE(JIStream().ReadObject("o").Empty());
}

TEST(StreamConversion, ViewsOfOutputStreamsAndOutputStreamsOfViewsCopyTheMembers) {
  JOStream stream;
  stream.Add("a", "1");
  stream.Add("child", std::vector<QORUnicodeString>{"x", "y"});
  const JIStream view(stream);
  stream.Add("later", "not seen");
  EXPECT_EQ(view.ReadStrings("child").size(), 2u);
  EXPECT_FALSE(view.Exist("later"));
  EXPECT_TRUE(JIStream(JOStream()).IsObject());

  const std::string text =
      R"({"n":1.50,"big":12345678901234567890,"s":"a\"\\b","o":{"k":[1,{"d":-0.0}]},"z":null})";
  JIStream parsed;
  ASSERT_TRUE(parsed.Parse(std::string_view(text)));
  JOStream copy(parsed);
  EXPECT_EQ(copy.Stringify().Str(), text);
  copy.Add("s", "replaced");
  EXPECT_EQ(parsed.ReadString("s").Str(), "a\"\\b");
  // Only an object has members to copy.
  ASSERT_TRUE(parsed.Parse(std::string_view("[1,2]")));
  EXPECT_TRUE(JOStream(parsed).IsEmpty());
  // A repeated key keeps its first place and its last value, as Add does.
  ASSERT_TRUE(parsed.Parse(std::string_view(R"({"a":"1","b":"2","a":"3"})")));
  EXPECT_EQ(JOStream(parsed).Stringify().Str(), R"({"a":"3","b":"2"})");
}

}  // namespace
