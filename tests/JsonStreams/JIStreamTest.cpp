// Reading JSON: what parsing accepts and refuses, how views share their document, and
// what reads of missing or mistyped members give.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"

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

TEST(JIStream, ParseAcceptsAnyTopLevelValue) {
  const struct {
    const char* text;
    Type type;
    bool isObject, empty;
  } cases[] = {
      {"{}", Type::Object, true, true},       {" {\"a\":1} ", Type::Object, true, false},
      {"[]", Type::Array, false, false},      {"\"s\"", Type::String, false, false},
      {"-1.5e3", Type::Number, false, false}, {"true", Type::Boolean, false, false},
      {"null", Type::Null, false, false},
  };
  for (const auto& c : cases) {
    JIStream view;
    ASSERT_TRUE(view.Parse(std::string_view(c.text))) << c.text << ": " << view.LastError();
    EXPECT_TRUE(view.LastError().empty());
    EXPECT_EQ(view.GetType(), c.type) << c.text;
    EXPECT_EQ(view.IsObject(), c.isObject) << c.text;
    EXPECT_EQ(view.Empty(), c.empty) << c.text;
  }
  JIStream none;
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.GetType(), Type::Missing);
  EXPECT_EQ(none.Stringify().Str(), "");
}

TEST(JIStream, ParseRefusesWhatIsNotOneValidJsonValue) {
  const struct {
    std::string text;
    const char* why;  // expected in the error
  } cases[] = {
      {R"({"a":1,})", "byte offset 7"},
      {R"({"a" 1})", "line 1"},
      {"{\n\"a\":\n[1,,2]}", "line 3"},
      {"{\"a\":\"\xFF\"}", "UTF-8"},
      {"{\"a\":\"\xED\xA0\x80\"}", "UTF-8"},
      {"{} x", "byte offset 3"},
      {"{}{}", "byte offset 2"},
      {"[1] [2]", ""},
      {"", "no JSON value"},
      {" \n\t", "no JSON value"},
      {"\"unterminated", ""},
      {"[1e400]", ""},
      // The error points at the bracket or brace one level too deep.
      {Nested(JSON::kMaxDepth + 1, "[", "]"), "deeper than 1024 levels (line 1, byte offset 1024)"},
      {Nested(JSON::kMaxDepth + 1, "{\"a\":", "}"),
       "deeper than 1024 levels (line 1, byte offset 5120)"},
      {Nested(100000, "[", "]"), "deeper than 1024"},
      {Nested(100000, "{\"a\":", "}"), "deeper than 1024"},
      {Nested(100000, "[", ""), ""},  // deep and never closed
  };
  for (const auto& c : cases) {
    JIStream view;
    ASSERT_TRUE(view.Parse(std::string_view(R"({"before":"kept"})")));
    EXPECT_FALSE(view.Parse(c.text)) << c.text.substr(0, 40);
    EXPECT_FALSE(view.LastError().empty());
    EXPECT_EQ(view.LastError().find('\n'), std::string::npos) << view.LastError();
    EXPECT_NE(view.LastError().find(c.why), std::string::npos) << view.LastError();
    // A refused parse leaves the view as it was.
    EXPECT_EQ(view.ReadString("before").Str(), "kept");
  }
}

TEST(JIStream, NestingUpToTheLimitIsAccepted) {
  JIStream view;
  EXPECT_TRUE(view.Parse(Nested(JSON::kMaxDepth, "[", "]"))) << view.LastError();
  std::string objects = Nested(JSON::kMaxDepth - 1, "{\"a\":", "}");
  objects.insert(objects.size() - (JSON::kMaxDepth - 1), "{}");  // before the first "}"
  EXPECT_TRUE(view.Parse(objects)) << view.LastError();
}

TEST(JIStream, ParseOfHostStringsAndStringViewsAgree) {
  const std::string text = R"({"a":"x","b":[1.50,2]})";
  JIStream fromView, fromString;
  ASSERT_TRUE(fromView.Parse(std::string_view(text)));
  QORUnicodeString padded(text);
  padded.Str().reserve(text.size() + 256);  // room for the padding: parsed in place
  ASSERT_TRUE(fromString.Parse(padded));
  EXPECT_EQ(fromView.Stringify().Str(), text);
  EXPECT_EQ(fromString.Stringify().Str(), text);
}

class JIStreamFile : public ::testing::Test {
 protected:
  void SetUp() override {
    _folder = std::filesystem::path(::testing::TempDir()) /
              ("jistream_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(_folder);
  }
  void TearDown() override { std::filesystem::remove_all(_folder); }
  std::filesystem::path _folder;
};

TEST_F(JIStreamFile, ParseFileReadsTheFile) {
  const auto path = _folder / "doc.json";
  std::ofstream(path) << "{\"data\": {\"filterID\": \"F1\"}}\n";
  JIStream view;
  ASSERT_TRUE(view.ParseFile(QORUnicodeString(path.string()))) << view.LastError();
  EXPECT_EQ(view.ReadObject("data").ReadString("filterID").Str(), "F1");
}

TEST_F(JIStreamFile, ParseFileSkipsAByteOrderMark) {
  const auto path = _folder / "bom.json";
  std::ofstream(path) << "\xEF\xBB\xBF{\"a\":\"b\"}";
  JIStream view;
  ASSERT_TRUE(view.ParseFile(QORUnicodeString(path.string()))) << view.LastError();
  EXPECT_EQ(view.ReadString("a").Str(), "b");
  std::ofstream(path) << "\xEF\xBB\xBF{\"a\" \"b\"}";
  EXPECT_FALSE(view.ParseFile(QORUnicodeString(path.string())));
  EXPECT_NE(view.LastError().find("byte offset 8"), std::string::npos)
      << view.LastError();  // counted in the file
}

TEST_F(JIStreamFile, ParseFileSaysWhyItCannotRead) {
  JIStream view;
  ASSERT_TRUE(view.Parse(std::string_view("{\"before\":\"kept\"}")));
  const auto missing = (_folder / "missing.json").string();
  EXPECT_FALSE(view.ParseFile(QORUnicodeString(missing)));
  EXPECT_NE(view.LastError().find(missing), std::string::npos) << view.LastError();
  EXPECT_NE(view.LastError().find("No such file"), std::string::npos) << view.LastError();

  EXPECT_FALSE(view.ParseFile(QORUnicodeString(_folder.string())));
  EXPECT_NE(view.LastError().find("directory"), std::string::npos) << view.LastError();

  const auto broken = _folder / "broken.json";
  std::ofstream(broken) << "{\"a\":\n\"b\",}";
  EXPECT_FALSE(view.ParseFile(QORUnicodeString(broken.string())));
  EXPECT_NE(view.LastError().find("line 2"), std::string::npos) << view.LastError();
  EXPECT_EQ(view.ReadString("before").Str(), "kept");
}

TEST(JIStream, ViewsOutliveTheStreamTheyCameFrom) {
  std::vector<JIStream> children;
  JIStream data;
  std::vector<std::string_view> keys;
  {
    JIStream root;
    ASSERT_TRUE(root.Parse(std::string_view(
        R"({"data":{"id":"F1","n":2},"roots":[{"label":"a"},"skip",{"label":"b"}]})")));
    data = root.ReadObject("data");
    children = root.ReadObjects("roots");
    keys = data.Keys();
    // Parsing again into the same view starts a new document; the old one lives on.
    ASSERT_TRUE(root.Parse(std::string_view(R"({"data":{"id":"F2"}})")));
    EXPECT_EQ(root.ReadObject("data").ReadString("id").Str(), "F2");
  }
  EXPECT_EQ(data.ReadString("id").Str(), "F1");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], "id");
  EXPECT_EQ(keys[1], "n");
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0].ReadString("label").Str(), "a");
  EXPECT_EQ(children[1].ReadString("label").Str(), "b");
  EXPECT_EQ(children[1].Stringify().Str(), R"({"label":"b"})");
}

TEST(JIStream, CopiedViewsShareAndMovedViewsEmpty) {
  JIStream root;
  ASSERT_TRUE(root.Parse(std::string_view(R"({"a":"1"})")));
  JIStream copy(root);
  JIStream assigned;
  assigned = copy;
  EXPECT_EQ(assigned.ReadString("a").Str(), "1");
  JIStream moved(std::move(copy));
  EXPECT_EQ(moved.ReadString("a").Str(), "1");
  EXPECT_TRUE(copy.Empty());
  assigned = std::move(moved);
  EXPECT_EQ(assigned.ReadString("a").Str(), "1");
  EXPECT_EQ(moved.GetType(), Type::Missing);
}

TEST(JIStream, ReadsOfMissingKeysOrOtherTypesAreEmpty) {
  JIStream view;
  ASSERT_TRUE(view.Parse(std::string_view(
      R"({"s":"text","n":1,"b":true,"z":null,"o":{"k":"v"},"e":{},)"
      R"("mixed":["a",1,{"x":"1"},null,"b",{"x":"2"},["c"]],"one":"alone","single":{"x":"3"}})")));
  EXPECT_EQ(view.GetType("s"), Type::String);
  EXPECT_EQ(view.GetType("n"), Type::Number);
  EXPECT_EQ(view.GetType("b"), Type::Boolean);
  EXPECT_EQ(view.GetType("z"), Type::Null);
  EXPECT_EQ(view.GetType("o"), Type::Object);
  EXPECT_EQ(view.GetType("mixed"), Type::Array);
  EXPECT_EQ(view.GetType("absent"), Type::Missing);
  EXPECT_EQ(view.GetType(nullptr), Type::Missing);
  EXPECT_TRUE(view.Exist("z"));
  EXPECT_FALSE(view.Exist("absent"));
  EXPECT_TRUE(view.Exist(QORUnicodeString("o")));

  EXPECT_EQ(view.ReadString("n").Str(), "");
  EXPECT_EQ(view.ReadString("o").Str(), "");
  EXPECT_EQ(view.ReadString("absent").Str(), "");
  EXPECT_TRUE(view.ReadObject("s").Empty());
  EXPECT_EQ(view.ReadObject("mixed").GetType(), Type::Missing);
  EXPECT_TRUE(view.ReadObject("e").Empty());
  EXPECT_TRUE(view.ReadObject("e").IsObject());
  EXPECT_EQ(view.ReadObject("o").ReadString("k").Str(), "v");

  const auto strings = view.ReadStrings("mixed");
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[0].Str(), "a");
  EXPECT_EQ(strings[1].Str(), "b");
  const auto objects = view.ReadObjects("mixed");
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].ReadString("x").Str(), "1");
  EXPECT_EQ(objects[1].ReadString("x").Str(), "2");
  EXPECT_TRUE(view.ReadStrings("one").empty());     // one string is not a list
  EXPECT_TRUE(view.ReadObjects("single").empty());  // one object is not a list
  EXPECT_TRUE(view.ReadStrings("absent").empty());
  EXPECT_EQ(view.ReadRawString("absent").Str(), "");

  // A view of something that is not an object has no members.
  JIStream array;
  ASSERT_TRUE(array.Parse(std::string_view(R"(["s"])")));
  EXPECT_EQ(array.GetType("0"), Type::Missing);
  EXPECT_TRUE(array.Keys().empty());
  EXPECT_TRUE(array.ReadStrings("s").empty());
  JIStream none;
  EXPECT_EQ(none.ReadString("s").Str(), "");
  EXPECT_TRUE(none.ReadObject("o").Empty());
  EXPECT_TRUE(none.Keys().empty());
}

TEST(JIStream, RawStringsAreCompactAndKeepNumbersAsWritten) {
  JIStream view;
  ASSERT_TRUE(view.Parse(std::string_view(R"({
      "price": 1.50, "big": 12345678901234567890, "negZero": -0, "negZeroD": -0.0,
      "exp": 1E2, "tiny": 0.1, "min": -9223372036854775808, "zero": 0,
      "list": [0.10, {"f": 2.50e3}, "x", 1.0, [2.0, "y", 3.00], -0],
      "obj" : { "k" : [ 1 , 2 ] , "s" : "a\"b\u00e9" },
      "t": true, "n": null })")));
  const struct {
    const char* key;
    const char* raw;
  } cases[] = {
      {"price", "1.50"},
      {"big", "12345678901234567890"},
      {"negZero", "-0"},
      {"negZeroD", "-0.0"},
      {"exp", "1E2"},
      {"tiny", "0.1"},
      {"min", "-9223372036854775808"},
      {"zero", "0"},
      {"list", R"([0.10,{"f":2.50e3},"x",1.0,[2.0,"y",3.00],-0])"},
      {"obj", "{\"k\":[1,2],\"s\":\"a\\\"b\xC3\xA9\"}"},
      {"t", "true"},
      {"n", "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(view.ReadRawString(c.key).Str(), c.raw) << c.key;

  EXPECT_EQ(view.ReadObject("obj").Stringify().Str(), "{\"k\":[1,2],\"s\":\"a\\\"b\xC3\xA9\"}");
  const auto keys = view.Keys();
  ASSERT_EQ(keys.size(), 12u);
  EXPECT_EQ(keys.front(), "price");
  EXPECT_EQ(keys[8], "list");
  EXPECT_EQ(keys.back(), "n");

  JIStream scalar;
  ASSERT_TRUE(scalar.Parse(std::string_view(" [1.50, -0, 7] ")));
  EXPECT_EQ(scalar.Stringify().Str(), "[1.50,-0,7]");
}

// ---- conversions between output streams and views -----------------------------------

TEST(StreamConversion, ViewOfAnOutputStreamSeesWhatWasAdded) {
  JOStream stream;
  stream.Add("a", "1");
  JOStream child;
  child.Add("b", std::vector<QORUnicodeString>{"x", "y"});
  stream.Add("child", std::move(child));
  const JIStream view(stream);
  stream.Add("later", "not seen");
  EXPECT_EQ(view.ReadString("a").Str(), "1");
  EXPECT_EQ(view.ReadObject("child").ReadStrings("b").size(), 2u);
  EXPECT_FALSE(view.Exist("later"));
  EXPECT_TRUE(JIStream(JOStream()).Empty());
  EXPECT_TRUE(JIStream(JOStream()).IsObject());
}

TEST(StreamConversion, OutputStreamOfAViewCopiesItsMembers) {
  const std::string text =
      R"({"n":1.50,"big":12345678901234567890,"s":"a\"\\b","o":{"k":[1,{"d":-0.0}]},"b":false,"z":null})";
  JIStream view;
  ASSERT_TRUE(view.Parse(std::string_view(text)));
  JOStream copy(view);
  EXPECT_EQ(copy.Size(), 6);
  EXPECT_EQ(copy.Stringify().Str(), text);
  copy.Add("s", "replaced");
  copy.Add("new", true);
  EXPECT_EQ(
      copy.Stringify().Str(),
      R"({"n":1.50,"big":12345678901234567890,"s":"replaced","o":{"k":[1,{"d":-0.0}]},"b":false,"z":null,"new":true})");
  EXPECT_EQ(view.ReadString("s").Str(), "a\"\\b");

  // Only an object has members to copy.
  JIStream array;
  ASSERT_TRUE(array.Parse(std::string_view("[1,2]")));
  EXPECT_TRUE(JOStream(array).IsEmpty());
  EXPECT_TRUE(JOStream(JIStream()).IsEmpty());
  // A repeated key keeps its first place and its last value, as Add does.
  JIStream repeated;
  ASSERT_TRUE(repeated.Parse(std::string_view(R"({"a":"1","b":"2","a":"3"})")));
  EXPECT_EQ(JOStream(repeated).Stringify().Str(), R"({"a":"3","b":"2"})");
}

}  // namespace
