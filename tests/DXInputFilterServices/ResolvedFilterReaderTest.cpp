// ResolvedFilterReaderTest.cpp - the reader created by late type: reading filter
// files into its uid table, and the look-ups the import makes afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "FilterTestSupport.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

namespace dxtest {
namespace {

class FilterReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    _live = QORLiveAllocations();
    ASSERT_EQ(Instantiate("INPUT_FILTER_READER", reader), S_OK);
  }
  void TearDown() override {
    reader.Reset();
    EXPECT_EQ(QORLiveAllocations(), _live);
  }

  HRESULT Read(std::string_view text) {
    return reader->ReadFilterFile(
        QORUnicodeString(dir.Write("filter-" + std::to_string(++_files) + ".json", text)));
  }
  std::vector<std::string> Ids() {
    std::vector<QORUnicodeString> ids;
    EXPECT_EQ(reader->GetObjectIds(ids), S_OK);
    std::vector<std::string> sorted;
    for (const QORUnicodeString& id : ids) sorted.push_back(id.Str());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  // The attribute's value, or "<E_FAIL>" (value left as it was) when there is none.
  std::string Attribute(const char* uid, const char* name) {
    QORUnicodeString value("untouched");
    HRESULT hr = reader->GetObjectAttribute(uid, name, value);
    if (hr == E_FAIL && value.Str() == "untouched") return "<E_FAIL>";
    return hr == S_OK ? value.Str() : "<hr " + std::to_string(hr) + ">";
  }
  std::string Setting(const char* name) {
    QORUnicodeString value("untouched");
    HRESULT hr = reader->GetSetting(name, value);
    if (hr == E_FAIL && value.Str() == "untouched") return "<E_FAIL>";
    return hr == S_OK ? value.Str() : "<hr " + std::to_string(hr) + ">";
  }
  std::string FilterId() {
    QORUnicodeString id("untouched");
    HRESULT hr = reader->GetFilterID(id);
    if (hr == E_FAIL && id.Str() == "untouched") return "<E_FAIL>";
    return hr == S_OK ? id.Str() : "<hr " + std::to_string(hr) + ">";
  }

  TempDir dir;
  Ref<QORIResolvedInputFilter> reader;

 private:
  long _live = 0;
  int _files = 0;
};

constexpr const char* kFirstDocument =
    R"({"data":{"filterID":"first","settings":{"profile":"A"}},)"
    R"("roots":[{"label":"r","data":{"uid":["u1"]},"grid":{"x":"1"}}]})";

TEST_F(FilterReader, UnreadableFileOrEmptyRootFailsAndForgetsNothing) {
  ASSERT_EQ(Read(kFirstDocument), S_OK);
  const std::pair<const char*, HRESULT> cases[] = {
      {"{\"roots\":[{", E_FAIL}, {"", E_FAIL}, {"{}", E_INVALIDARG}, {" { } ", E_INVALIDARG}};
  for (const auto& [text, code] : cases) EXPECT_EQ(Read(text), code) << text;
  EXPECT_EQ(reader->ReadFilterFile(QORUnicodeString(dir.File("absent.json"))), E_FAIL);
  EXPECT_EQ(Ids(), std::vector<std::string>{"u1"});
  EXPECT_EQ(Attribute("u1", "x"), "1");
  EXPECT_EQ(FilterId(), "first");
  EXPECT_EQ(Setting("profile"), "A");
}

TEST_F(FilterReader, DocumentWithoutUidsFailsYetAnswersItsHeader) {
  ASSERT_EQ(Read(kFirstDocument), S_OK);
  EXPECT_EQ(Read(R"({"data":{"filterID":"second","settings":{"profile":"B"}},)"
                 R"("roots":[{"label":"no uid","data":{},"grid":{"x":"2"}}]})"),
            E_FAIL);
  EXPECT_EQ(Ids(), std::vector<std::string>{});
  EXPECT_EQ(Attribute("u1", "x"), "<E_FAIL>");
  EXPECT_EQ(FilterId(), "second");
  EXPECT_EQ(Setting("profile"), "B");
}

TEST_F(FilterReader, SecondReadForgetsTheFirstDocument) {
  ASSERT_EQ(Read(kFirstDocument), S_OK);
  ASSERT_EQ(Read(R"({"roots":[{"data":{"uid":["u2"]},"grid":{"y":"2"}}]})"), S_OK);
  EXPECT_EQ(Ids(), std::vector<std::string>{"u2"});
  EXPECT_EQ(Attribute("u1", "x"), "<E_FAIL>");
  EXPECT_EQ(FilterId(), "<E_FAIL>");
  EXPECT_EQ(Setting("profile"), "<E_FAIL>");
}

TEST_F(FilterReader, FirstNodeInPreOrderWinsForADuplicateUid) {
  // Pre-order: A, B (child of A), C, then D (child of C).
  ASSERT_EQ(Read(R"({"roots":[)"
                 R"({"label":"A","data":{},"grid":{},"children":[)"
                 R"({"label":"B","data":{"uid":["dup"]},"grid":{"who":"B"}}]},)"
                 R"({"label":"C","data":{"uid":["dup","c"]},"grid":{"who":"C"},"children":[)"
                 R"({"label":"D","data":{"uid":["c","d"]},"grid":{"who":"D"}}]}]})"),
            S_OK);
  EXPECT_EQ(Ids(), (std::vector<std::string>{"c", "d", "dup"}));
  EXPECT_EQ(Attribute("dup", "who"), "B");
  EXPECT_EQ(Attribute("c", "who"), "C");
  EXPECT_EQ(Attribute("d", "who"), "D");
}

TEST_F(FilterReader, NlsGridIsAskedBeforeGridAndAllUidsOfANodeShareThem) {
  ASSERT_EQ(
      Read(R"({"roots":[{"label":"n","data":{"uid":["a","b"],"NLS_grid":{"k":"nls","n":"N"}},)"
           R"("grid":{"k":"literal","g":"G"}}]})"),
      S_OK);
  for (const char* uid : {"a", "b"}) {
    EXPECT_EQ(Attribute(uid, "k"), "nls") << uid;
    EXPECT_EQ(Attribute(uid, "n"), "N") << uid;
    EXPECT_EQ(Attribute(uid, "g"), "G") << uid;
    EXPECT_EQ(Attribute(uid, "missing"), "<E_FAIL>") << uid;
    EXPECT_EQ(Attribute(uid, "label"), "<E_FAIL>") << uid;
  }
  EXPECT_EQ(Attribute("c", "k"), "<E_FAIL>");
}

TEST_F(FilterReader, OnlyNlsGridInDataAndGridOnTheNodeAreRead) {
  ASSERT_EQ(Read(R"({"roots":[{"data":{"uid":["u"],"grid":{"inData":"1"},"kept":"2"},)"
                 R"("NLS_grid":{"onNode":"3"},"grid":{"plain":"4"}}]})"),
            S_OK);
  EXPECT_EQ(Attribute("u", "inData"), "<E_FAIL>");
  EXPECT_EQ(Attribute("u", "onNode"), "<E_FAIL>");
  EXPECT_EQ(Attribute("u", "kept"), "<E_FAIL>");
  EXPECT_EQ(Attribute("u", "plain"), "4");
}

TEST_F(FilterReader, UidMustBeAnArrayOfStrings) {
  EXPECT_EQ(Read(R"({"roots":[{"data":{"uid":"single"},"grid":{"x":"1"}}]})"), E_FAIL);
  EXPECT_EQ(Ids(), std::vector<std::string>{});
  ASSERT_EQ(Read(R"({"roots":[{"data":{"uid":"single"},"grid":{"x":"1"}},)"
                 R"({"data":{"uid":["listed"]},"grid":{"x":"2"}}]})"),
            S_OK);
  EXPECT_EQ(Ids(), std::vector<std::string>{"listed"});
  // A uid at node level is no uid either.
  EXPECT_EQ(Read(R"({"roots":[{"uid":["outside"],"data":{},"grid":{"x":"1"}}]})"), E_FAIL);
}

TEST_F(FilterReader, NodesWithoutDataStillLeadToTheirChildren) {
  ASSERT_EQ(Read(R"({"roots":[{"label":"bare","children":[{"grid":{},"children":[)"
                 R"({"data":{"uid":["deep"]},"grid":{"x":"found"}}]}]},{}]})"),
            S_OK);
  EXPECT_EQ(Ids(), std::vector<std::string>{"deep"});
  EXPECT_EQ(Attribute("deep", "x"), "found");
}

TEST_F(FilterReader, StringValuesComeBackDecoded) {
  ASSERT_EQ(Read(R"({"roots":[{"data":{"uid":["u"],"NLS_grid":{"esc":"say \"hi\"\\now"}},)"
                 R"("grid":{"path":"C:\\dir","line":"a\nb","accent":"caf\u00e9","tab":"\t",)"
                 R"("plain":"C:\\dir\\sub"}}]})"),
            S_OK);
  EXPECT_EQ(Attribute("u", "esc"), "say \"hi\"\\now");
  EXPECT_EQ(Attribute("u", "path"), "C:\\dir");
  EXPECT_EQ(Attribute("u", "line"), "a\nb");
  EXPECT_EQ(Attribute("u", "accent"), "caf\xC3\xA9");
  EXPECT_EQ(Attribute("u", "tab"), "\t");
  EXPECT_EQ(Attribute("u", "plain"), "C:\\dir\\sub");
}

TEST_F(FilterReader, OtherValuesComeBackAsCompactJson) {
  ASSERT_EQ(Read(R"({"roots":[{"data":{"uid":["u"]},"grid":{"n":12,"neg":-3,"t":true,"f":false,)"
                 R"("z":null,"o":{ "a" : [ 1, "x" ] },"arr":[ 1 , 2 ],"empty":""}}]})"),
            S_OK);
  EXPECT_EQ(Attribute("u", "n"), "12");
  EXPECT_EQ(Attribute("u", "neg"), "-3");
  EXPECT_EQ(Attribute("u", "t"), "true");
  EXPECT_EQ(Attribute("u", "f"), "false");
  EXPECT_EQ(Attribute("u", "z"), "null");
  EXPECT_EQ(Attribute("u", "o"), R"({"a":[1,"x"]})");
  EXPECT_EQ(Attribute("u", "arr"), "[1,2]");
  EXPECT_EQ(Attribute("u", "empty"), "");
}

TEST_F(FilterReader, FilterIdIsAnsweredOnlyWhenNotEmpty) {
  ASSERT_EQ(Read(R"({"data":{"filterID":""},"roots":[{"data":{"uid":["u"]}}]})"), S_OK);
  EXPECT_EQ(FilterId(), "<E_FAIL>");
  ASSERT_EQ(Read(R"({"data":{},"roots":[{"data":{"uid":["u"]}}]})"), S_OK);
  EXPECT_EQ(FilterId(), "<E_FAIL>");
  ASSERT_EQ(Read(R"({"data":{"filterID":"Caf\u00e9 \"7\""},"roots":[{"data":{"uid":["u"]}}]})"),
            S_OK);
  EXPECT_EQ(FilterId(), "Caf\xC3\xA9 \"7\"");
}

TEST_F(FilterReader, SettingsAnswerTextForStringsAndJsonForTheRest) {
  ASSERT_EQ(Read(R"({"data":{"settings":{"s":"a \"b\" C:\\d","n":3,"b":false,)"
                 R"("o":{"k":["v",1]},"nul":null}},"roots":[{"data":{"uid":["u"]}}]})"),
            S_OK);
  EXPECT_EQ(Setting("s"), "a \"b\" C:\\d");
  EXPECT_EQ(Setting("n"), "3");
  EXPECT_EQ(Setting("b"), "false");
  EXPECT_EQ(Setting("o"), R"({"k":["v",1]})");
  EXPECT_EQ(Setting("nul"), "null");
  EXPECT_EQ(Setting("missing"), "<E_FAIL>");
  // Settings are read from "data" only.
  ASSERT_EQ(Read(R"({"settings":{"s":"x"},"roots":[{"data":{"uid":["u"]}}]})"), S_OK);
  EXPECT_EQ(Setting("s"), "<E_FAIL>");
}

TEST_F(FilterReader, ObjectIdsAreAppendedAfterWhatTheListHeld) {
  ASSERT_EQ(
      Read(R"({"roots":[{"data":{"uid":["b","a"]},"children":[{"data":{"uid":["c","a"]}}]}]})"),
      S_OK);
  std::vector<QORUnicodeString> ids{QORUnicodeString("kept-1"), QORUnicodeString("kept-2")};
  ASSERT_EQ(reader->GetObjectIds(ids), S_OK);
  ASSERT_EQ(ids.size(), 5u);
  EXPECT_EQ(ids[0].Str(), "kept-1");
  EXPECT_EQ(ids[1].Str(), "kept-2");
  std::vector<std::string> added;
  for (size_t i = 2; i < ids.size(); ++i) added.push_back(ids[i].Str());
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace dxtest
