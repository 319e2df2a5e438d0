// GeneratorDocumentTest.cpp - the filter document the generator builds from a
// structure provider (the "data" header, the columns, the entity tree as nodes), what
// it does with a provider's failures, and the document files it saves and loads.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"
#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "QORJsonFilterWriter.h"

namespace dxtest {
namespace {

using GeneratorDocument = GeneratorFixture;

// Components that serve no structure: one answers every query with success and no
// object, the other has no structure interface.
template <bool kAnswersNull>
class Faceless : public QORBaseUnknown {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> slot{nullptr};
    return synth::ComponentMeta(slot, kAnswersNull ? "NullObjectProvider" : "NoInterfaceProvider",
                                sizeof(Faceless));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  using QORBaseUnknown::QueryInterface;
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (!kAnswersNull) return QORBaseUnknown::QueryInterface(iid, out);
    if (out) *out = nullptr;
    return S_OK;
  }
};

// Each way of not getting a provider gives its own code and keeps the document, and the
// source path of the last request is kept even when no provider was found.
TEST_F(GeneratorDocument, ProviderFailuresGiveTheirCodeAndKeepThePreviousDocument) {
  static std::once_flag once;
  std::call_once(once, [] {
    QORFillDictionary::RegisterFunctionCreation(
        "INPUT_NOCREATION_FILTER", [] { return static_cast<QORBaseUnknown*>(nullptr); });
    QORFillDictionary::RegisterFunctionCreation(
        "INPUT_NULLOBJECT_FILTER", [] { return static_cast<QORBaseUnknown*>(new Faceless<true>); });
    QORFillDictionary::RegisterFunctionCreation("INPUT_NOINTERFACE_FILTER", [] {
      return static_cast<QORBaseUnknown*>(new Faceless<false>);
    });
  });
  ASSERT_EQ(Generate(nullptr, "SHAPED", "C:\\models\\house.src"), S_OK);
  EXPECT_EQ(Calls("SetInputFile"), Names{"SetInputFile(C:\\models\\house.src)"});
  EXPECT_EQ(GeneratorSourcePath(generator.Get()), "C:\\models\\house.src");
  const std::string before = Document();
  const std::pair<const char*, HRESULT> cases[] = {
      {"NOT_REGISTERED", QOR_E_CLASSNOTREG},
      {"shaped", QOR_E_CLASSNOTREG},  // the format name as it is given
      {"NOCREATION", E_OUTOFMEMORY},
      {"NULLOBJECT", E_FAIL},  // a success without an object
      {"NOINTERFACE", E_NOINTERFACE},
  };
  for (const auto& [format, code] : cases) {
    EXPECT_EQ(Generate(nullptr, format, format), code) << format;
    EXPECT_EQ(GeneratorSourcePath(generator.Get()), format);
    EXPECT_EQ(Document(), before) << format;
  }

  // The input file's refusal comes back before anything else is asked.
  shape.calls.clear();
  shape.inputFile = static_cast<HRESULT>(0x80070002u);
  EXPECT_EQ(Generate(R"({"format":"SynthImport","settings":{}})"), shape.inputFile);
  EXPECT_EQ(shape.calls, Names{"SetInputFile(/data/model.src)"});
  EXPECT_EQ(Document(), before);
}

// The first listed column is the tree column, described under the name "tree"; the
// type code decides editing, representation and type. A runtime column is never a
// cell and never asked for values.
TEST_F(GeneratorDocument, ColumnTypeCodesDecideEditingRepresentationAndType) {
  shape.columns = {4, 1, 2, 3, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(Generate(), S_OK);
  const std::string doc = Document();
  const std::string editable = R"("editableFlag":true,"editionPolicy":"EditionInPlace",)";
  EXPECT_EQ(
      JsonAt(doc, "/columns"),
      Json(R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Model structure"}},)"
           R"({"dataIndex":"Name","editableFlag":false,"typeRepresentation":"string",)"
           R"("data":{"NLS_text":"Name"}},{"dataIndex":"Visible",)" +
           editable + R"("typeRepresentation":"boolean","data":{"NLS_text":"Visible"}},)" +
           R"({"dataIndex":"Discipline",)" + editable +
           R"("data":{"type":"enum","possibleValues":["Architecture","Structure",)"
           R"("Building services"],"NLS_text":"Discipline"}},{"dataIndex":"Count",)" +
           editable + R"("typeRepresentation":"number","data":{"NLS_text":"Count"}},)" +
           R"({"dataIndex":"Length",)" + editable +
           R"("typeRepresentation":"number","data":{"NLS_text":"Length"}},)" +
           R"({"dataIndex":"Modified",)" + editable +
           R"("typeRepresentation":"date","data":{"NLS_text":"Last modified"}},)" +
           R"({"dataIndex":"Color",)" + editable +
           R"("typeRepresentation":"color","data":{"NLS_text":"Colour"}},)" +
           R"({"dataIndex":"Status","editableFlag":false,"data":{"type":"runtime",)"
           R"("NLS_text":"Status"}},{"dataIndex":"ImportMode",)" +
           editable + R"("data":{"NLS_text":"Import mode"}}])"));
  EXPECT_EQ(Calls("GetColumnDescription(Description)"), Names{});
  EXPECT_EQ(Calls("GetEntityValue(0,Status"), Names{});
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid"),
            Json(R"({"Name":"Element 0","Discipline":"Architecture","Count":"0",)"
                 R"("Modified":"2024-01-01"})"));
}

// The nodes follow the provider's tree depth first in pre-order: label or NLS label,
// uids only when there are some, the entity data after them, cells split into grid
// and NLS grid with empty ones left out; a null handle is an empty object and never
// handed back; an entity shared by sibling branches is no loop. A repeated key (a
// column listed twice, entity data named like the node's own keys) keeps its first
// place and takes the last value.
TEST_F(GeneratorDocument, NodesFollowTheProviderTree) {
  shape.columns = {0, 4, 3, 1, 3};
  shape.children = {{synth::kRoots, {synth::kNullHandle, 1, 16}},
                    {1, {2, synth::kNullHandle, 16}},
                    {2, {7}},
                    {7, {14, 16}},
                    {14, {16}}};
  shape.withoutUid = {1, 16};
  shape.data[2] = {{"extra", "1"}, {"uid", "replaced"}, {"extra", "2"}};
  shape.data[14] = {{"uid", "x"}};  // the only repeat is of the first key
  shape.data[16] = {};

  ASSERT_EQ(Generate(), S_OK);
  const std::string s =
      R"({"data":{"NLS_label":"LBL_IfcOpeningElement_16","NLS_grid":{"Description":)"
      R"("Generated element of the synthetic model"}},)"
      R"("grid":{"Discipline":"Structure","Name":"Element 16"}})";
  EXPECT_EQ(JsonAt(Document(), "/roots"),
            Json(R"([{},{"label":"IfcSlab 1","data":{"NLS_grid":{"Discipline":"Structure",)"
                 R"("Name":"Element 1"},"entityType":"IfcSlab","sourceLine":"107"},)"
                 R"("grid":{"Description":"Sleeve 2\" at C:\\Pipes\\Main"},"children":[)"
                 R"({"label":"IfcMember 2","data":{"uid":"replaced","NLS_grid":{"Description":)"
                 R"("Generated element of the synthetic model"},"extra":"2"},)"
                 R"("grid":{"Discipline":"Building services","Name":"Element 2"},"children":[)"
                 R"({"label":"IfcOpeningElement 7","data":{"uid":[")" +
                 synth::UidString(7) +
                 R"("],"NLS_grid":{"Discipline":"Structure","Name":"Element 7"},)"
                 R"("entityType":"IfcOpeningElement","sourceLine":"149"},"grid":{},"children":[)"
                 R"({"label":"IfcMember 14","data":{"uid":"x"},)"
                 R"("grid":{"Discipline":"Building services","Name":"Element 14"},"children":[)" +
                 s + "]}," + s + "]}]},{}," + s + "]}," + s + "]"));
  EXPECT_EQ(Calls("GetEntityLabel"),
            (Names{"GetEntityLabel(1)", "GetEntityLabel(2)", "GetEntityLabel(7)",
                   "GetEntityLabel(14)", "GetEntityLabel(16)", "GetEntityLabel(16)",
                   "GetEntityLabel(16)", "GetEntityLabel(16)"}));
  for (const std::string& call : shape.calls) EXPECT_EQ(call.find("(null"), std::string::npos);
}

// Columns and their types are asked again for every node, never cached: the header
// sees a string column, node 1 a runtime one, node 3 a string one again.
TEST_F(GeneratorDocument, ColumnsAndTypesAreAskedAgainForEveryNode) {
  shape.columns = {0, 4, 1};
  shape.types["Description"] = {3, 8, 3};
  shape.children = {{synth::kRoots, {1, 3}}};
  ASSERT_EQ(Generate(), S_OK);
  const std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns/1/typeRepresentation"), R"("string")");
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid"), "{}");
  EXPECT_EQ(JsonAt(doc, "/roots/1/grid"),
            Json("{\"Description\":\"Mur ext\xC3\xA9rieur porteur\"}"));
  EXPECT_EQ(Calls("GetColumns").size(), 3u);
  EXPECT_EQ(Calls("GetColumnDescription(Name)").size(), 3u);
  EXPECT_EQ(
      Calls("GetEntityValue"),
      (Names{"GetEntityValue(1,Name)", "GetEntityValue(3,Description)", "GetEntityValue(3,Name)"}));
}

// Column names too long to copy cheaply reach both calls whole and name their cells, in
// a node written at once and in one whose repeated key takes the slower way; an answer
// far larger than a node's usual room, escapes included, is written whole.
TEST_F(GeneratorDocument, LongColumnNamesAndLargeAnswersAreWrittenWhole) {
  const std::string suffix = " as measured on site";
  std::string notes;
  for (int i = 0; i < 40000; ++i) notes += "line \"" + std::to_string(i) + "\"\n";
  shape.columnSuffix = suffix;
  shape.children = {{synth::kRoots, {1, 2}}};
  shape.data[2] = {{"notes", notes}};
  for (const bool repeated : {false, true}) {
    shape.calls.clear();
    shape.columns = repeated ? std::vector<int>{0, 1, 4, 1} : std::vector<int>{0, 1, 4};
    ASSERT_EQ(Generate(), S_OK);
    const std::string doc = Document();
    EXPECT_EQ(JsonAt(doc, "/roots/0/data/NLS_grid/Name" + suffix), R"("Element 1")") << repeated;
    EXPECT_EQ(JsonAt(doc, "/roots/1/grid/Name" + suffix), R"("Element 2")") << repeated;
    EXPECT_EQ(JsonAt(doc, "/roots/1/data/notes"), QORJsonString(notes));
    EXPECT_EQ(Calls("GetEntityValue(1,"),
              repeated ? (Names{"GetEntityValue(1,Name" + suffix + ")",
                                "GetEntityValue(1,Description" + suffix + ")",
                                "GetEntityValue(1,Name" + suffix + ")"})
                       : (Names{"GetEntityValue(1,Name" + suffix + ")",
                                "GetEntityValue(1,Description" + suffix + ")"}));
  }
}

TEST_F(GeneratorDocument, GenerationReplacesItsMembersAndKeepsOtherTopLevelMembers) {
  ASSERT_EQ(Load(R"({"extra":{"keep":[1,2]},"data":{"old":true},"columns":[1],"roots":[2]})"),
            S_OK);
  shape.columns = {0};
  shape.data = {{0, {}}, {1, {}}};
  ASSERT_EQ(Generate(), S_OK);
  const std::string columns =
      R"("columns":[{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Model structure"}}],)";
  EXPECT_EQ(Json(Document()),
            Json(R"({"extra":{"keep":[1,2]},"data":{"filterID":"SYNTH-FILTER-0001",)"
                 R"("formatUsage":"SynthImport"},)" +
                 columns + R"("roots":[{"data":{"NLS_label":"LBL_IfcPlate_0","uid":[")" +
                 synth::UidString(0) + R"("]},"grid":{}}]})"));

  // Generating again over the generated document replaces, never appends.
  shape.filterId = "F-2";
  shape.children = {{synth::kRoots, {1}}};
  shape.withoutUid = {1};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(
      Json(Document()),
      Json(R"({"extra":{"keep":[1,2]},"data":{"filterID":"F-2","formatUsage":"SynthImport"},)" +
           columns + R"("roots":[{"label":"IfcSlab 1","data":{},"grid":{}}]})"));
}

TEST_F(GeneratorDocument, LoopingProviderTreeFailsAndKeepsThePreviousDocument) {
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  // 1 and 2 lead back to each other, 3 to itself.
  for (const auto& [root, labelsAsked] : {std::pair<int64_t, size_t>{1, 2}, {3, 1}}) {
    shape.children = {{synth::kRoots, {root}}, {1, {2}}, {2, {1}}, {3, {3}}};
    shape.calls.clear();
    QORTakeErrorText();
    EXPECT_EQ(Generate(), E_FAIL);
    EXPECT_EQ(Document(), before);
    EXPECT_EQ(QORTakeErrorText(), "the structure provider's entity tree loops back on itself");
    // Found where it closes, not by running into the depth limit.
    EXPECT_EQ(Calls("GetEntityLabel").size(), labelsAsked);
  }
}

TEST_F(GeneratorDocument, DeepestAllowedTreeIsResolvedAndOneLevelMoreFails) {
  ASSERT_EQ(QORJsonFilterWriter::kMaxTreeDepth, 510);
  shape.columns = {0, 1};
  // A chain of depth entities, 1 at the top.
  const auto chain = [this](int64_t depth) {
    shape.children = {{synth::kRoots, {1}}};
    for (int64_t level = 1; level < depth; ++level) shape.children[level] = {level + 1};
  };
  chain(QORJsonFilterWriter::kMaxTreeDepth);
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
  QORUnicodeString value;
  EXPECT_EQ(reader->GetObjectAttribute(QORUnicodeString(synth::UidString(510)), "Name", value),
            S_OK);
  EXPECT_EQ(value.Str(), "Element 510");

  chain(QORJsonFilterWriter::kMaxTreeDepth + 1);
  QORTakeErrorText();
  EXPECT_EQ(Generate(), E_FAIL);
  EXPECT_EQ(Document(), before);
  // The user is told why, not only that it failed.
  EXPECT_EQ(QORTakeErrorText(),
            "the entity tree is 511 levels deep or more; a filter document holds at most 510");
  // The generator is still usable afterwards.
  chain(3);
  EXPECT_EQ(Generate(), S_OK);
}

// Compact unless MDW_KWT_TMP is set at all, looked at on each save; never written to an
// unwritable place. Loading replaces the document, and refuses what is not one.
TEST_F(GeneratorDocument, SavedCompactUnlessKwtTmpIsSetAndLoadedWhenAnObject) {
  shape.columns = {0, 4};
  shape.children = {{synth::kRoots, {1, 3}}};
  ASSERT_EQ(Generate(), S_OK);
  const auto saveTo = [this](const std::string& name) {
    const std::string path = dir.File(name);
    if (generator->SaveDocumentToFile(QORUnicodeString(path)) != S_OK) return std::string();
    return ReadFile(path).value_or("");
  };
  unsetenv("MDW_KWT_TMP");
  const std::string compact = saveTo("compact.json");
  EXPECT_EQ(compact, Json(compact));
  setenv("MDW_KWT_TMP", "", 1);
  const std::string indented = saveTo("indented.json");
  unsetenv("MDW_KWT_TMP");
  EXPECT_NE(indented.find("\n  "), std::string::npos);
  EXPECT_EQ(Json(indented), compact);
  EXPECT_EQ(saveTo("compact-again.json"), compact);
  EXPECT_EQ(saveTo("missing/folder/f.json"), "");
  EXPECT_EQ(generator->SaveDocumentToFile(QORUnicodeString(dir.Path())), E_FAIL);

  EXPECT_EQ(generator->LoadDocumentFromFile(QORUnicodeString(dir.File("absent.json")), nullptr),
            E_FAIL);
  for (const char* bad : {"{\"data\":", "[1]", "\"text\"", "12", ""}) {
    EXPECT_EQ(Load(bad), E_FAIL) << bad;
    EXPECT_EQ(Document(), compact) << bad;
  }
  const std::string other = R"({"roots":[],"data":{"filterID":"loaded"},"misc":[1,{"a":null}]})";
  QORUnicodeString settings(R"({"format":"Whatever","settings":{"x":1}})");
  EXPECT_EQ(
      generator->LoadDocumentFromFile(QORUnicodeString(dir.Write("other.json", other)), &settings),
      S_OK);
  EXPECT_EQ(Document(), Json(other));
}

}  // namespace
}  // namespace dxtest
