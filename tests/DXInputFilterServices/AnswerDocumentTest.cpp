// AnswerDocumentTest.cpp - the page's answer taken as the document. Text in the
// document's own form is kept as it came and any other is written anew; either way the
// document must be, byte for byte, what a rewrite of the parsed answer gives.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "QORJsonFilterWriter.h"

namespace dxtest {
namespace {

class AnswerDocument : public GeneratorFixture {
 protected:
  // The class's type information stays inside the module, so the undefined-behaviour
  // checker must not look for it here.
  __attribute__((no_sanitize("vptr"))) HRESULT Take(const std::string& text) {
    return static_cast<QORJsonFilterWriter*>(generator->GetImpl())
        ->SetDocumentFromText(QORUnicodeString(text));
  }
};

std::string Rewritten(const std::string& text) {
  JSON::JIStream root;
  EXPECT_TRUE(root.Parse(QORUnicodeString(text)));
  return JSON::JOStream(root).Stringify().Str();
}

TEST_F(AnswerDocument, IsWhatARewriteOfTheAnswerGivesWhateverItsForm) {
  const std::string texts[] = {
      // The document's own form: escapes where a value ends or seems to.
      R"({"data":{"filterID":"F-1"},"columns":[{"dataIndex":"a","n":[1.50,-0,1E5,true,null]}],)"
      R"("roots":[{"label":"x\"}y\\z\n\t\u0001\u001f","grid":{"]":"{[","b":"x\\"}}]})",
      "{\"label\":\"caf\xC3\xA9 \xE2\x80\xA8\x7F\",\"n\":-12.5e-3,\"s\":\"\\\\\"}",
      // A key given twice keeps its first place and its last value.
      R"({"a":1,"b":[2],"a":{"c":3}})",
      // Other forms: spaces, escapes the writer spells otherwise, escaped keys.
      R"({ "a": [1, 2] })",
      R"({"a":"caf\u00e9","b":"\/"})",
      R"({"a":"\u000a"})",
      R"({"a":"\u001F"})",
      R"({"k\u0041":1})",
      "{\"a\":1}\n",
      "{}",
  };
  // Far more members than a document has.
  std::string many = "{";
  for (int i = 0; i < 200; ++i)
    many += "\"k" + std::to_string(i) + "\":[" + std::to_string(i) + "],";
  many.back() = '}';
  std::vector<std::string> all(std::begin(texts), std::end(texts));
  all.push_back(many);
  for (const std::string& text : all) {
    SCOPED_TRACE(text);
    ASSERT_EQ(Take(text), S_OK);
    EXPECT_EQ(Document(), Rewritten(text));
  }
}

TEST_F(AnswerDocument, WhatIsNoObjectIsRefusedAndTheDocumentKept) {
  ASSERT_EQ(Take(R"({"roots":[]})"), S_OK);
  // Texts in the document's own form that are no JSON: checked without a parse.
  const std::string deep =
      "{\"a\":" + std::string(JSON::kMaxDepth, '[') + std::string(JSON::kMaxDepth, ']') + "}";
  for (const std::string text : {"[1]", "\"x\"", "{\"a\":", "{\"a\":\"\xC3\"}", "{\"a\":1}}",
                                 "{\"a\":01}", "{\"a\":[1,]}", "{\"a\":tru}", deep.c_str()})
    EXPECT_EQ(Take(text), E_FAIL) << text.substr(0, 20);
  EXPECT_EQ(Document(), R"({"roots":[]})");
}

}  // namespace
}  // namespace dxtest
