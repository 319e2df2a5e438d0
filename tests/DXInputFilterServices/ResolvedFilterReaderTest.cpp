// ResolvedFilterReaderTest.cpp - the readers created by late type, the filter reader
// and the cloud reader: reading documents into their uid tables, and the look-ups the
// import makes afterwards, one document a row.
#include <gtest/gtest.h>

#include <algorithm>

#include "FilterTestSupport.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

namespace dxtest {
namespace {

constexpr const char* kFilter = "INPUT_FILTER_READER";
constexpr const char* kCloud = "INPUT_CLOUDFILTER_READER";

// A question to a reader: "uid/name", "setting:name" or "filterID"; the answer, or
// "<E_FAIL>" when the reader failed and left the value alone.
std::string Ask(QORIResolvedInputFilter* reader, const std::string& question) {
  QORUnicodeString value("untouched");
  HRESULT hr;
  if (question == "filterID")
    hr = reader->GetFilterID(value);
  else if (question.rfind("setting:", 0) == 0)
    hr = reader->GetSetting(QORUnicodeString(question.substr(8)), value);
  else
    hr = reader->GetObjectAttribute(QORUnicodeString(question.substr(0, question.find('/'))),
                                    QORUnicodeString(question.substr(question.find('/') + 1)),
                                    value);
  if (hr == E_FAIL && value.Str() == "untouched") return "<E_FAIL>";
  return hr == S_OK ? value.Str() : "<hr " + std::to_string(hr) + ">";
}

// The ids, sorted; they come after what the list held.
Names Ids(QORIResolvedInputFilter* reader) {
  std::vector<QORUnicodeString> ids{QORUnicodeString("kept")};
  EXPECT_EQ(reader->GetObjectIds(ids), S_OK);
  EXPECT_EQ(ids[0].Str(), "kept");
  Names sorted;
  for (size_t i = 1; i < ids.size(); ++i) sorted.push_back(ids[i].Str());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

constexpr const char* kFirstDocument =
    R"({"data":{"filterID":"first","settings":{"profile":"A"}},)"
    R"("roots":[{"label":"r","data":{"uid":["u1"]},"grid":{"x":"1"}}]})";

constexpr const char* kExchange =
    R"({"data":{"filterID":"cloud-1","settings":{"mode":"sync","n":4},"results":[)"
    R"({"resourceid":"r1","name":"abc","size":5,"tags":["t"]},)"
    R"({"name":"no id"},)"
    R"({"resourceid":"p1","previewObject":{"x":1}},)"
    R"({"resourceid":"f1","from":"r1"},)"
    R"({"resourceid":"t1","to":"r1"},)"
    R"({"resourceid":"r1","name":"second"},)"
    R"({"resourceid":"r2","name":"C:\\dir \"q\""}]},)"
    R"("results":[{"resourceid":"outside"}]})";

struct ReaderCase {
  const char* title;
  const char* lateType;
  std::string document;
  HRESULT read;
  Names ids;
  Names answers;  // "question=answer"
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.title;
}

const ReaderCase kCases[] = {
    // Pre-order: A, B (child of A), C, then D (child of C); the first node wins a uid.
    {"FirstNodeInPreOrderWins",
     kFilter,
     R"({"roots":[{"label":"A","data":{},"grid":{},"children":[)"
     R"({"label":"B","data":{"uid":["dup"]},"grid":{"who":"B"}}]},)"
     R"({"label":"C","data":{"uid":["dup","c"]},"grid":{"who":"C"},"children":[)"
     R"({"label":"D","data":{"uid":["c","d"]},"grid":{"who":"D"}}]}]})",
     S_OK,
     {"c", "d", "dup"},
     {"dup/who=B", "c/who=C", "d/who=D", "u1/x=<E_FAIL>"}},
    // NLS_grid first, then grid; every uid of a node shares them; nothing else is read.
    {"NlsGridThenGrid",
     kFilter,
     R"({"roots":[{"label":"n","data":{"uid":["a","b"],"NLS_grid":{"k":"nls","n":"N"},)"
     R"("grid":{"inData":"1"},"kept":"2"},"NLS_grid":{"onNode":"3"},"grid":{"k":"literal","g":"G"}}]})",
     S_OK,
     {"a", "b"},
     {"a/k=nls", "b/k=nls", "b/n=N", "b/g=G", "a/label=<E_FAIL>", "a/inData=<E_FAIL>",
      "a/onNode=<E_FAIL>", "a/kept=<E_FAIL>", "c/k=<E_FAIL>"}},
    {"UidMustBeAnArrayOfStrings",
     kFilter,
     R"({"roots":[{"data":{"uid":"single"},"grid":{"x":"1"}},{"data":{"uid":["listed"]},"grid":{"x":"2"}},)"
     R"({"uid":["outside"],"data":{},"grid":{"x":"3"}}]})",
     S_OK,
     {"listed"},
     {"listed/x=2"}},
    // No uid at all: the read fails, yet the header is answered.
    {"NoUidAnywhere",
     kFilter,
     R"({"data":{"filterID":"second","settings":{"profile":"B"}},)"
     R"("roots":[{"label":"no uid","data":{"uid":"single"},"grid":{"x":"2"}}]})",
     E_FAIL,
     {},
     {"u1/x=<E_FAIL>", "filterID=second", "setting:profile=B"}},
    {"NodesWithoutDataLeadToTheirChildren",
     kFilter,
     R"({"roots":[{"label":"bare","children":[{"grid":{},"children":[)"
     R"({"data":{"uid":["deep"]},"grid":{"x":"found"}}]}]},{}]})",
     S_OK,
     {"deep"},
     {"deep/x=found", "filterID=<E_FAIL>", "setting:profile=<E_FAIL>"}},
    {"ValuesComeBackDecodedOrAsCompactJson",
     kFilter,
     R"({"data":{"filterID":"Caf\u00e9 \"7\""},"roots":[{"data":{"uid":["u"],)"
     R"("NLS_grid":{"esc":"say \"hi\"\\now"}},"grid":{"path":"C:\\dir","line":"a\nb",)"
     R"("accent":"caf\u00e9","n":12,"neg":-3,"t":true,"z":null,"o":{ "a" : [ 1, "x" ] },"empty":""}}]})",
     S_OK,
     {"u"},
     {"u/esc=say \"hi\"\\now", "u/path=C:\\dir", "u/line=a\nb", "u/accent=caf\xC3\xA9", "u/n=12",
      "u/neg=-3", "u/t=true", "u/z=null", R"(u/o={"a":[1,"x"]})",
      "u/empty=", "filterID=Caf\xC3\xA9 \"7\""}},
    {"SettingsFromDataOnly",
     kFilter,
     R"({"data":{"filterID":"","settings":{"s":"a \"b\" C:\\d","n":3,"b":false,)"
     R"("o":{"k":["v",1]}}},"settings":{"t":"x"},"roots":[{"data":{"uid":["u"]}}]})",
     S_OK,
     {"u"},
     {"setting:s=a \"b\" C:\\d", "setting:n=3", "setting:b=false", R"(setting:o={"k":["v",1]})",
      "setting:t=<E_FAIL>", "filterID=<E_FAIL>"}},
    {"EmptyRootIsInvalid", kFilter, " { } ", E_INVALIDARG, {"u1"}, {"u1/x=1"}},
    {"UnreadableFileForgetsNothing",
     kFilter,
     R"({"roots":[{)",
     E_FAIL,
     {"u1"},
     {"u1/x=1", "filterID=first", "setting:profile=A"}},
    // Cloud: the result records of "data"/"results" with a resource id, but no previews
    // nor relations; the first record of an id wins.
    {"CloudResultRecords",
     kCloud,
     kExchange,
     S_OK,
     {"r1", "r2"},
     {"r1/name=abc", "r1/resourceid=r1", "r1/size=5", R"(r1/tags=["t"])", "r1/missing=<E_FAIL>",
      "r2/name=C:\\dir \"q\"", "p1/resourceid=<E_FAIL>", "f1/resourceid=<E_FAIL>",
      "t1/resourceid=<E_FAIL>", "outside/resourceid=<E_FAIL>", "filterID=cloud-1",
      "setting:mode=sync", "setting:n=4"}},
    {"CloudWithoutData",
     kCloud,
     R"({"results":[{"resourceid":"r9"}]})",
     S_OK,
     {},
     {"filterID=<E_FAIL>", "setting:mode=<E_FAIL>"}},
    {"CloudFilterNodesAreNoRecords",
     kCloud,
     R"({"data":{"filterID":"bare"},"roots":[{"data":{"uid":["u1"]},"grid":{"x":"1"}}]})",
     S_OK,
     {},
     {"filterID=bare", "u1/x=<E_FAIL>"}},
};

class FilterReader : public ::testing::TestWithParam<ReaderCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    _live = QORLiveAllocations();
  }
  void TearDown() override { EXPECT_EQ(QORLiveAllocations(), _live); }
  TempDir dir;

 private:
  long _live = 0;
};

// Each document is read after another one: what a read failure leaves, and what a
// success forgets, shows in the answers.
TEST_P(FilterReader, AnswersTheDocument) {
  const ReaderCase& c = GetParam();
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(Instantiate(c.lateType, reader), S_OK);
  const bool cloud = c.lateType == std::string(kCloud);
  ASSERT_EQ(reader->ReadFilterFile(
                QORUnicodeString(dir.Write("before.json", cloud ? kExchange : kFirstDocument))),
            S_OK);
  EXPECT_EQ(reader->ReadFilterFile(QORUnicodeString(dir.Write("filter.json", c.document))), c.read);
  EXPECT_EQ(Ids(reader.Get()), c.ids);
  for (const std::string& qa : c.answers)
    EXPECT_EQ(Ask(reader.Get(), qa.substr(0, qa.find('='))), qa.substr(qa.find('=') + 1)) << qa;
  // A missing file changes nothing either.
  EXPECT_EQ(reader->ReadFilterFile(QORUnicodeString(dir.File("absent.json"))), E_FAIL);
  EXPECT_EQ(Ids(reader.Get()), c.ids);
}

INSTANTIATE_TEST_SUITE_P(Documents, FilterReader, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) {
                           return std::string(info.param.title);
                         });

}  // namespace
}  // namespace dxtest
