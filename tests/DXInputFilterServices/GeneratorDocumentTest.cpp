// GeneratorDocumentTest.cpp - the filter document the generator builds from a
// structure provider: the "data" header, the columns, and the entity tree as nodes.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "QORJsonFilterWriter.h"

namespace dxtest {
namespace {

using GeneratorDocument = GeneratorFixture;

// The source path goes to the provider, and is kept even before a provider is found.
TEST_F(GeneratorDocument, SourcePathIsKeptEvenWithoutAProvider) {
  ASSERT_EQ(Generate(nullptr, kTestFormat, "C:\\models\\house.src"), S_OK);
  EXPECT_EQ(model.Trace({"SetInputFile"}), Names{"SetInputFile(C:\\models\\house.src)"});
  EXPECT_EQ(GeneratorSourcePath(generator.Get()), "C:\\models\\house.src");
  EXPECT_LT(Generate(nullptr, "DXTEST_UNKNOWN", "/other/path.src"), 0);
  EXPECT_EQ(GeneratorSourcePath(generator.Get()), "/other/path.src");
}

// The first listed column is the tree column, described under the name "tree"; the
// type code decides editing, representation and type. A runtime column is never a
// cell and never asked for values.
TEST_F(GeneratorDocument, ColumnTypeCodesDecideEditingRepresentationAndType) {
  const std::pair<int32_t, const char*> codes[] = {
      {0, R"("editableFlag":false,"typeRepresentation":"string","data":{)"},
      {1,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"boolean","data":{)"},
      {2,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","data":{"type":"enum","possibleValues":["a","b"],)"},
      {3,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"string","data":{)"},
      {4,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"number","data":{)"},
      {5,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"number","data":{)"},
      {6,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"date","data":{)"},
      {7,
       R"("editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"color","data":{)"},
      {8, R"("editableFlag":false,"data":{"type":"runtime",)"},
      {9, R"("editableFlag":true,"editionPolicy":"EditionInPlace","data":{)"},
      {-1, R"("editableFlag":true,"editionPolicy":"EditionInPlace","data":{)"},
  };
  model.AddColumn("FirstListed", "Wrong text", 3);
  model.columns["tree"] = TestColumn{"Tree text", 0, {}};
  std::string expected =
      R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Tree text"}})";
  TestEntity* a = model.Add("a", "A");
  for (const auto& [code, description] : codes) {
    const std::string name = "c" + std::to_string(code);
    model.AddColumn(name, "t", code, code == 2 ? std::vector<std::string>{"a", "b"} : Names{});
    a->values[name] = {"v", false};
    expected += R"(,{"dataIndex":")" + name + R"(",)" + description + R"("NLS_text":"t"}})";
  }
  model.AddColumn("c2e", "t", 2);
  expected += R"(,{"dataIndex":"c2e","editableFlag":true,"editionPolicy":"EditionInPlace",)"
              R"("data":{"type":"enum","possibleValues":[],"NLS_text":"t"}}])";
  model.roots = {a};

  ASSERT_EQ(Generate(), S_OK);
  const std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns"), Json(expected));
  EXPECT_EQ(model.CountOf("GetColumnDescription", "tree"), 1u);
  EXPECT_EQ(model.CountOf("GetColumnDescription", "FirstListed"), 0u);
  EXPECT_EQ(model.CountOf("GetEntityValue", "c8"), 0u);
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid/c8"), "<missing>");
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid/c9"), R"("v")");
}

// The nodes follow the provider's tree depth first in pre-order: label or NLS label,
// uids only when there are some, the entity data after them, cells split into grid
// and NLS grid with empty ones left out; a null handle is an empty object and never
// handed back; an entity shared by sibling branches is no loop.
TEST_F(GeneratorDocument, NodesFollowTheProviderTree) {
  model.AddColumn("tree", "T", 0);
  model.AddColumn("Literal", "l", 3);
  model.AddColumn("Nls", "n", 3);
  TestEntity* a = model.Add("a", "A");
  a->values["Literal"] = {"12.5", false};
  a->values["Nls"] = {"", true};
  TestEntity* b = model.Add("b", "LABEL_KEY", {"u1"});
  b->labelIsNLS = true;
  b->values["Nls"] = {"V_KEY", true};
  b->values["Literal"] = {"", false};
  b->data = {{"zeta", "1"}, {"alpha", "two"}};
  TestEntity* c = model.Add("c", "", {"u2"});
  TestEntity* shared = model.Add("shared", "S");
  a->children = {b, nullptr, shared};
  b->children = {c};
  c->children = {shared, shared};
  model.roots = {nullptr, a, shared};

  ASSERT_EQ(Generate(), S_OK);
  const std::string s = R"({"label":"S","data":{},"grid":{}})";
  EXPECT_EQ(JsonAt(Document(), "/roots"),
            Json(R"([{},{"label":"A","data":{},"grid":{"Literal":"12.5"},"children":[)"
                 R"({"data":{"NLS_label":"LABEL_KEY","uid":["u1"],"NLS_grid":{"Nls":"V_KEY"},)"
                 R"("zeta":"1","alpha":"two"},"grid":{},"children":[)"
                 R"({"label":"","data":{"uid":["u2"]},"grid":{},"children":[)" +
                 s + "," + s + "]}]},{}," + s + "]}," + s + "]"));
  EXPECT_EQ(model.Trace({"GetEntityLabel"}),
            (Names{"GetEntityLabel(a)", "GetEntityLabel(b)", "GetEntityLabel(c)",
                   "GetEntityLabel(shared)", "GetEntityLabel(shared)", "GetEntityLabel(shared)",
                   "GetEntityLabel(shared)"}));
  for (const char* method : {"GetEntityLabel", "GetEntityData", "GetChildren", "GetEntityValue"})
    for (const ProviderCall& call : model.CallsOf(method)) EXPECT_NE(call.entity, nullptr);
}

// Columns and their types are asked again for every node, never cached: the header
// sees a string column, node a a runtime one, node b a string one again.
TEST_F(GeneratorDocument, ColumnsAndTypesAreAskedAgainForEveryNode) {
  model.AddColumn("tree", "T", 0);
  model.AddColumn("X", "x", 3);
  model.AddColumn("Y", "y", 4);
  model.typeSequence["X"] = {3, 8, 3};
  TestEntity* a = model.Add("a", "A");
  a->values["X"] = {"va", false};
  TestEntity* b = model.Add("b", "B");
  b->values["X"] = {"vb", false};
  model.roots = {a, b};

  ASSERT_EQ(Generate(), S_OK);
  const std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns/1/typeRepresentation"), R"("string")");
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid"), "{}");
  EXPECT_EQ(JsonAt(doc, "/roots/1/grid"), Json(R"({"X":"vb"})"));
  EXPECT_EQ(model.CallsOf("GetColumns").size(), 3u);
  EXPECT_EQ(model.CountOf("GetColumnDescription", "Y"), 3u);
  EXPECT_EQ(model.Trace({"GetEntityValue"}),
            (Names{"GetEntityValue(a,Y)", "GetEntityValue(b,X)", "GetEntityValue(b,Y)"}));
}

TEST_F(GeneratorDocument, GenerationReplacesItsMembersAndKeepsOtherTopLevelMembers) {
  ASSERT_EQ(Load(R"({"extra":{"keep":[1,2]},"data":{"old":true},"columns":[1],"roots":[2]})"),
            S_OK);
  model.roots = {model.Add("a", "A", {"u1"})};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(Json(Document()),
            Json(R"({"extra":{"keep":[1,2]},"data":{"filterID":"F-1","formatUsage":"TestUsage"},)"
                 R"("columns":[],"roots":[{"label":"A","data":{"uid":["u1"]},"grid":{}}]})"));

  // Generating again over the generated document replaces, never appends.
  model.filterId = "F-2";
  model.roots = {model.Add("b", "B")};
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(Json(Document()),
            Json(R"({"extra":{"keep":[1,2]},"data":{"filterID":"F-2","formatUsage":"TestUsage"},)"
                 R"("columns":[],"roots":[{"label":"B","data":{},"grid":{}}]})"));
}

TEST_F(GeneratorDocument, LoopingProviderTreeFailsAndKeepsThePreviousDocument) {
  model.roots = {model.Add("first", "First", {"u1"})};
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();

  TestEntity* a = model.Add("a", "A");
  TestEntity* b = model.Add("b", "B");
  TestEntity* self = model.Add("self", "Self");
  a->children = {b};
  b->children = {a};  // back to an ancestor
  self->children = {self};
  for (TestEntity* root : {a, self}) {
    model.roots = {root};
    model.calls.clear();
    QORTakeErrorText();
    EXPECT_EQ(Generate(), E_FAIL);
    EXPECT_EQ(Document(), before);
    EXPECT_EQ(QORTakeErrorText(), "the structure provider's entity tree loops back on itself");
    // Found where it closes, not by running into the depth limit.
    EXPECT_EQ(model.CallsOf("GetEntityLabel").size(), root == a ? 2u : 1u);
  }
}

// A provider may repeat a key: a column listed twice, or entity data named like the node's
// own keys. The later value takes the first one's place, as the document's objects do,
// while nodes without repeats around it are written as usual.
TEST_F(GeneratorDocument, RepeatedKeysKeepTheFirstPlaceAndTheLastValue) {
  model.AddColumn("tree", "T", 0);
  model.AddColumn("Name", "N", 3);
  model.AddColumn("Kind", "K", 3);
  model.columnNames.push_back("Name");
  TestEntity* plain = model.Add("plain", "Plain", {"p"});
  plain->values["Kind"] = {"KIND_KEY", true};
  plain->data = {{"instance", "#1"}};
  TestEntity* odd = model.Add("odd", "Odd", {"u"});
  odd->values["Name"] = {"n", false};
  odd->values["Kind"] = {"k", false};
  odd->data = {{"extra", "1"}, {"uid", "replaced"}, {"extra", "2"}};
  // The only repeat is of the first key.
  TestEntity* first = model.Add("first", "First", {"f"});
  first->data = {{"uid", "x"}};
  plain->children = {odd, first};
  model.roots = {plain};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(
      JsonAt(Document(), "/roots/0"),
      Json(R"({"label":"Plain","data":{"uid":["p"],"NLS_grid":{"Kind":"KIND_KEY"},)"
           R"("instance":"#1"},"grid":{},"children":[{"label":"Odd","data":{"uid":"replaced",)"
           R"("extra":"2"},"grid":{"Name":"n","Kind":"k"}},)"
           R"({"label":"First","data":{"uid":"x"},"grid":{}}]})"));
}

class GeneratorDepth : public GeneratorFixture {
 protected:
  // A chain of depth entities, the deepest with a uid and a cell.
  void BuildChain(int depth) {
    model.roots = {model.Add("level1", "L")};
    TestEntity* parent = model.roots[0];
    for (int level = 2; level <= depth; ++level) {
      parent->children = {model.Add("level" + std::to_string(level), "L")};
      parent = parent->children[0];
    }
    parent->uids = {"deepest"};
    parent->values["X"] = {"bottom", true};
  }
};

TEST_F(GeneratorDepth, DeepestAllowedTreeIsResolvedAndOneLevelMoreFails) {
  model.AddColumn("tree", "T", 0);
  model.AddColumn("X", "x", 3);
  ASSERT_EQ(QORJsonFilterWriter::kMaxTreeDepth, 510);
  BuildChain(QORJsonFilterWriter::kMaxTreeDepth);
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
  QORUnicodeString value;
  EXPECT_EQ(reader->GetObjectAttribute("deepest", "X", value), S_OK);
  EXPECT_EQ(value.Str(), "bottom");

  BuildChain(QORJsonFilterWriter::kMaxTreeDepth + 1);
  QORTakeErrorText();
  EXPECT_EQ(Generate(), E_FAIL);
  EXPECT_EQ(Document(), before);
  // The user is told why, not only that it failed.
  EXPECT_EQ(QORTakeErrorText(),
            "the entity tree is 511 levels deep or more; a filter document holds at most 510");
  // The generator is still usable afterwards.
  BuildChain(3);
  EXPECT_EQ(Generate(), S_OK);
}

}  // namespace
}  // namespace dxtest
