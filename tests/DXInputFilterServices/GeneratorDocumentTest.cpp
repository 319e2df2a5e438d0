// GeneratorDocumentTest.cpp - the filter document the generator builds from a
// structure provider: the "data" header, the columns, and the entity tree as nodes.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "QORJsonFilterWriter.h"

namespace dxtest {
namespace {

class GeneratorDocument : public GeneratorFixture {
 protected:
  void SetTreeColumn(const std::string& listName, const std::string& text) {
    model.columnNames.insert(model.columnNames.begin(), listName);
    model.columns["tree"] = TestColumn{text, 0, {}};
  }
};

TEST_F(GeneratorDocument, SmallTreeGivesExactCompactDocument) {
  SetTreeColumn("TreeCol", "Structure");
  model.AddColumn("Name", "Name text", 3);
  TestEntity* site = model.Add("site", "Site", {"u1"});
  site->values["Name"] = {"A", false};
  TestEntity* building = model.Add("building", "BLDG_KEY", {"u2", "u3"});
  building->labelIsNLS = true;
  building->values["Name"] = {"NAME_KEY", true};
  site->children = {building};
  model.roots = {site};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(
      Document(),
      R"({"data":{"filterID":"F-1","formatUsage":"TestUsage"},)"
      R"("columns":[{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Structure"}},)"
      R"({"dataIndex":"Name","editableFlag":true,"editionPolicy":"EditionInPlace",)"
      R"("typeRepresentation":"string","data":{"NLS_text":"Name text"}}],)"
      R"("roots":[{"label":"Site","data":{"uid":["u1"]},"grid":{"Name":"A"},"children":[)"
      R"({"data":{"NLS_label":"BLDG_KEY","uid":["u2","u3"],"NLS_grid":{"Name":"NAME_KEY"}},)"
      R"("grid":{}}]}]})");
}

TEST_F(GeneratorDocument, GenerationHandsTheSourcePathToTheProviderAndKeepsIt) {
  model.roots = {model.Add("a", "A")};
  ASSERT_EQ(Generate(nullptr, kTestFormat, "C:\\models\\house.src"), S_OK);
  ASSERT_EQ(model.CallsOf("SetInputFile").size(), 1u);
  EXPECT_EQ(model.CallsOf("SetInputFile")[0].argument, "C:\\models\\house.src");
  EXPECT_EQ(GeneratorSourcePath(generator.Get()), "C:\\models\\house.src");

  // Stored before the provider is even looked for.
  EXPECT_LT(Generate(nullptr, "DXTEST_UNKNOWN", "/other/path.src"), 0);
  EXPECT_EQ(GeneratorSourcePath(generator.Get()), "/other/path.src");
}

TEST_F(GeneratorDocument, TreeColumnIsDescribedUnderTheNameTree) {
  SetTreeColumn("FirstListed", "Tree text");
  model.columns["FirstListed"] = TestColumn{"Wrong text", 3, {}};
  model.roots = {model.Add("a", "A")};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns"),
            Json(R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Tree text"}}])"));
  EXPECT_EQ(model.CountOf("GetColumnDescription", "tree"), 1u);
  EXPECT_EQ(model.CountOf("GetColumnDescription", "FirstListed"), 0u);
}

TEST_F(GeneratorDocument, ColumnTypeCodesDecideEditingRepresentationAndType) {
  SetTreeColumn("tree", "T");
  model.AddColumn("c0", "t0", 0);
  model.AddColumn("c1", "t1", 1);
  model.AddColumn("c2", "t2", 2, {"a", "b"});
  model.AddColumn("c2e", "t2e", 2);
  model.AddColumn("c3", "t3", 3);
  model.AddColumn("c4", "t4", 4);
  model.AddColumn("c5", "t5", 5);
  model.AddColumn("c6", "t6", 6);
  model.AddColumn("c7", "t7", 7);
  model.AddColumn("c8", "t8", 8);
  model.AddColumn("c9", "t9", 9);
  model.AddColumn("cm", "tm", -1);

  ASSERT_EQ(Generate(), S_OK);
  const std::string editable = R"("editableFlag":true,"editionPolicy":"EditionInPlace")";
  auto typed = [&](const std::string& n, const std::string& representation) {
    return R"({"dataIndex":"c)" + n + R"(",)" + editable + R"(,"typeRepresentation":")" +
           representation + R"(","data":{"NLS_text":"t)" + n + R"("}})";
  };
  std::string expected =
      R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"T"}},)"
      R"({"dataIndex":"c0","editableFlag":false,"typeRepresentation":"string","data":{"NLS_text":"t0"}},)" +
      typed("1", "boolean") + R"(,{"dataIndex":"c2",)" + editable +
      R"(,"data":{"type":"enum","possibleValues":["a","b"],"NLS_text":"t2"}},)"
      R"({"dataIndex":"c2e",)" +
      editable + R"(,"data":{"type":"enum","possibleValues":[],"NLS_text":"t2e"}},)" +
      typed("3", "string") + "," + typed("4", "number") + "," + typed("5", "number") + "," +
      typed("6", "date") + "," + typed("7", "color") +
      R"(,{"dataIndex":"c8","editableFlag":false,"data":{"type":"runtime","NLS_text":"t8"}},)"
      R"({"dataIndex":"c9",)" +
      editable +
      R"(,"data":{"NLS_text":"t9"}},)"
      R"({"dataIndex":"cm",)" +
      editable + R"(,"data":{"NLS_text":"tm"}}])";
  EXPECT_EQ(JsonAt(Document(), "/columns"), Json(expected));
}

TEST_F(GeneratorDocument, EmptyColumnListGivesEmptyColumnsAndEmptyGrids) {
  TestEntity* a = model.Add("a", "A", {"u1"});
  a->values["X"] = {"never asked", false};
  model.roots = {a};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns"), "[]");
  EXPECT_EQ(JsonAt(doc, "/roots"), Json(R"([{"label":"A","data":{"uid":["u1"]},"grid":{}}])"));
  EXPECT_TRUE(model.CallsOf("GetEntityValue").empty());
}

TEST_F(GeneratorDocument, RuntimeColumnIsNeverACellAndNeverAskedForValues) {
  SetTreeColumn("tree", "T");
  model.AddColumn("Computed", "c", 8);
  model.AddColumn("Plain", "p", 3);
  TestEntity* a = model.Add("a", "A");
  a->values["Computed"] = {"should not appear", false};
  a->values["Plain"] = {"shown", false};
  model.roots = {a};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/roots/0/grid"), Json(R"({"Plain":"shown"})"));
  EXPECT_EQ(model.CountOf("GetEntityValue", "Computed"), 0u);
  EXPECT_EQ(model.CountOf("GetEntityValue", "Plain"), 1u);
}

TEST_F(GeneratorDocument, NodesFollowTheProviderTreeDepthFirstInPreOrder) {
  TestEntity* a = model.Add("a", "A");
  TestEntity* b = model.Add("b", "B");
  TestEntity* c = model.Add("c", "C");
  TestEntity* d = model.Add("d", "D");
  TestEntity* e = model.Add("e", "E");
  a->children = {b, c};
  b->children = {d};
  model.roots = {a, e};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(
      JsonAt(Document(), "/roots"),
      Json(R"([{"label":"A","data":{},"grid":{},"children":[)"
           R"({"label":"B","data":{},"grid":{},"children":[{"label":"D","data":{},"grid":{}}]},)"
           R"({"label":"C","data":{},"grid":{}}]},{"label":"E","data":{},"grid":{}}])"));
  EXPECT_EQ(model.Trace({"GetEntityLabel"}),
            (std::vector<std::string>{"GetEntityLabel(a)", "GetEntityLabel(b)", "GetEntityLabel(d)",
                                      "GetEntityLabel(c)", "GetEntityLabel(e)"}));
}

TEST_F(GeneratorDocument, UidsAreWrittenOnlyWhenTheEntityHasSome) {
  TestEntity* unnamed = model.Add("unnamed", "", {"u1"});
  TestEntity* anonymous = model.Add("anonymous", "Anonymous");
  TestEntity* nlsUnnamed = model.Add("nls", "", {"u2"});
  nlsUnnamed->labelIsNLS = true;
  model.roots = {unnamed, anonymous, nlsUnnamed};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/roots"),
            Json(R"([{"label":"","data":{"uid":["u1"]},"grid":{}},)"
                 R"({"label":"Anonymous","data":{},"grid":{}},)"
                 R"({"data":{"NLS_label":"","uid":["u2"]},"grid":{}}])"));
}

TEST_F(GeneratorDocument, CellValuesSplitIntoGridAndNlsGridAndEmptyOnesAreLeftOut) {
  SetTreeColumn("tree", "T");
  model.AddColumn("Literal", "l", 3);
  model.AddColumn("Nls", "n", 3);
  model.AddColumn("Empty", "e", 3);
  model.AddColumn("EmptyNls", "en", 3);
  TestEntity* a = model.Add("a", "A");
  a->values["Literal"] = {"12.5", false};
  a->values["Nls"] = {"KEY_N", true};
  a->values["Empty"] = {"", false};
  a->values["EmptyNls"] = {"", true};
  TestEntity* b = model.Add("b", "B");
  b->values["Literal"] = {"x", false};
  model.roots = {a, b};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/roots/0"),
            Json(R"({"label":"A","data":{"NLS_grid":{"Nls":"KEY_N"}},"grid":{"Literal":"12.5"}})"));
  // No NLS value at all: no NLS_grid key.
  EXPECT_EQ(JsonAt(doc, "/roots/1"), Json(R"({"label":"B","data":{},"grid":{"Literal":"x"}})"));
}

TEST_F(GeneratorDocument, EntityDataFollowsLabelUidAndNlsGrid) {
  SetTreeColumn("tree", "T");
  model.AddColumn("Nls", "n", 3);
  TestEntity* a = model.Add("a", "LABEL_KEY", {"u1"});
  a->labelIsNLS = true;
  a->values["Nls"] = {"V_KEY", true};
  a->data = {{"zeta", "1"}, {"alpha", "two"}};
  model.roots = {a};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/roots/0/data"),
            Json(R"({"NLS_label":"LABEL_KEY","uid":["u1"],"NLS_grid":{"Nls":"V_KEY"},)"
                 R"("zeta":"1","alpha":"two"})"));
  EXPECT_EQ(JsonKeys(doc, "/roots/0"), (std::vector<std::string>{"data", "grid"}));
}

TEST_F(GeneratorDocument, ColumnsAreAskedAgainForEveryNode) {
  SetTreeColumn("tree", "T");
  model.AddColumn("X", "x", 3);
  model.AddColumn("Y", "y", 4);
  TestEntity* a = model.Add("a", "A");
  TestEntity* b = model.Add("b", "B");
  TestEntity* c = model.Add("c", "C");
  a->children = {b};
  model.roots = {a, c};

  ASSERT_EQ(Generate(), S_OK);
  // Once for the column list, then once per node.
  EXPECT_EQ(model.CallsOf("GetColumns").size(), 4u);
  EXPECT_EQ(model.CountOf("GetColumnDescription", "X"), 4u);
  EXPECT_EQ(model.CountOf("GetColumnDescription", "Y"), 4u);
  EXPECT_EQ(model.Trace({"GetEntityValue"}),
            (std::vector<std::string>{"GetEntityValue(a,X)", "GetEntityValue(a,Y)",
                                      "GetEntityValue(b,X)", "GetEntityValue(b,Y)",
                                      "GetEntityValue(c,X)", "GetEntityValue(c,Y)"}));
}

TEST_F(GeneratorDocument, ColumnTypeIsAskedPerNodeNotCached) {
  SetTreeColumn("tree", "T");
  model.AddColumn("X", "x", 3);
  // The header sees a string column, node a a runtime one, node b a string one again.
  model.typeSequence["X"] = {3, 8, 3};
  TestEntity* a = model.Add("a", "A");
  a->values["X"] = {"va", false};
  TestEntity* b = model.Add("b", "B");
  b->values["X"] = {"vb", false};
  model.roots = {a, b};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/columns/1/typeRepresentation"), R"("string")");
  EXPECT_EQ(JsonAt(doc, "/roots/0/grid"), "{}");
  EXPECT_EQ(JsonAt(doc, "/roots/1/grid"), Json(R"({"X":"vb"})"));
  EXPECT_EQ(model.Trace({"GetEntityValue"}), (std::vector<std::string>{"GetEntityValue(b,X)"}));
}

TEST_F(GeneratorDocument, NullRootAndChildHandlesBecomeEmptyObjects) {
  TestEntity* a = model.Add("a", "A");
  a->children = {nullptr};
  model.roots = {nullptr, a};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/roots"),
            Json(R"([{},{"label":"A","data":{},"grid":{},"children":[{}]}])"));
  // A null handle is never handed back to the provider.
  for (const char* method : {"GetEntityLabel", "GetEntityData", "GetChildren", "GetEntityValue"})
    for (const ProviderCall& call : model.CallsOf(method))
      EXPECT_NE(call.entity, nullptr) << method;
}

TEST_F(GeneratorDocument, SecondGenerationReplacesItsMembersAndKeepsOtherTopLevelMembers) {
  ASSERT_EQ(Load(R"({"extra":{"keep":[1,2]},"data":{"old":true},"columns":[1],"roots":[2]})"),
            S_OK);
  model.roots = {model.Add("a", "A", {"u1"})};

  ASSERT_EQ(Generate(), S_OK);
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/extra"), Json(R"({"keep":[1,2]})"));
  EXPECT_EQ(JsonAt(doc, "/data"), Json(R"({"filterID":"F-1","formatUsage":"TestUsage"})"));
  EXPECT_EQ(JsonAt(doc, "/columns"), "[]");
  EXPECT_EQ(JsonAt(doc, "/roots"), Json(R"([{"label":"A","data":{"uid":["u1"]},"grid":{}}])"));
  EXPECT_EQ(JsonKeys(doc, "").size(), 4u);

  // Generating again over the generated document replaces, never appends.
  model.filterId = "F-2";
  model.roots = {model.Add("b", "B")};
  ASSERT_EQ(Generate(), S_OK);
  std::string again = Document();
  EXPECT_EQ(JsonAt(again, "/data/filterID"), R"("F-2")");
  EXPECT_EQ(JsonAt(again, "/roots"), Json(R"([{"label":"B","data":{},"grid":{}}])"));
  EXPECT_EQ(JsonAt(again, "/extra"), Json(R"({"keep":[1,2]})"));
}

TEST_F(GeneratorDocument, LoopingProviderTreeFailsAndKeepsThePreviousDocument) {
  model.roots = {model.Add("first", "First", {"u1"})};
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();

  TestEntity* a = model.Add("a", "A");
  TestEntity* b = model.Add("b", "B");
  TestEntity* c = model.Add("c", "C");
  a->children = {b};
  b->children = {c};
  c->children = {a};  // back to an ancestor
  model.roots = {a};
  model.calls.clear();
  QORTakeErrorText();
  EXPECT_EQ(Generate(), E_FAIL);
  EXPECT_EQ(Document(), before);
  EXPECT_EQ(QORTakeErrorText(), "the structure provider's entity tree loops back on itself");
  // Found where it closes, not by running into the depth limit.
  EXPECT_EQ(
      model.Trace({"GetEntityLabel"}),
      (std::vector<std::string>{"GetEntityLabel(a)", "GetEntityLabel(b)", "GetEntityLabel(c)"}));

  TestEntity* self = model.Add("self", "Self");
  self->children = {self};
  model.roots = {self};
  model.calls.clear();
  EXPECT_EQ(Generate(), E_FAIL);
  EXPECT_EQ(Document(), before);
  EXPECT_EQ(model.CallsOf("GetEntityLabel").size(), 1u);
}

// A provider may repeat a key: a column listed twice, or entity data named like the node's
// own keys. The later value takes the first one's place, as the document's objects do,
// while nodes without repeats around it are written as usual.
TEST_F(GeneratorDocument, RepeatedKeysKeepTheFirstPlaceAndTheLastValue) {
  SetTreeColumn("tree", "T");
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
  const std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/roots/0/data"),
            Json(R"({"uid":["p"],"NLS_grid":{"Kind":"KIND_KEY"},"instance":"#1"})"));
  EXPECT_EQ(JsonAt(doc, "/roots/0/children/0"),
            Json(R"({"label":"Odd","data":{"uid":"replaced","extra":"2"},)"
                 R"("grid":{"Name":"n","Kind":"k"}})"));
  EXPECT_EQ(JsonAt(doc, "/roots/0/children/1"),
            Json(R"({"label":"First","data":{"uid":"x"},"grid":{}})"));
}

TEST_F(GeneratorDocument, EntitySharedBySiblingBranchesIsNotALoop) {
  TestEntity* shared = model.Add("shared", "Shared", {"s"});
  TestEntity* a = model.Add("a", "A");
  TestEntity* b = model.Add("b", "B");
  a->children = {shared};
  b->children = {shared, shared};
  model.roots = {a, b, shared};

  ASSERT_EQ(Generate(), S_OK);
  const std::string leaf = Json(R"({"label":"Shared","data":{"uid":["s"]},"grid":{}})");
  std::string doc = Document();
  EXPECT_EQ(JsonAt(doc, "/roots/0/children/0"), leaf);
  EXPECT_EQ(JsonAt(doc, "/roots/1/children/1"), leaf);
  EXPECT_EQ(JsonAt(doc, "/roots/2"), leaf);
}

class GeneratorDepth : public GeneratorDocument {
 protected:
  // A chain of depth entities, the deepest with a uid and a cell.
  void BuildChain(int depth) {
    model.roots.clear();
    TestEntity* parent = nullptr;
    for (int level = 1; level <= depth; ++level) {
      TestEntity* e = model.Add("level" + std::to_string(level), "L");
      if (parent)
        parent->children = {e};
      else
        model.roots = {e};
      parent = e;
    }
    parent->uids = {"deepest"};
    parent->values["X"] = {"bottom", true};
  }
};

TEST_F(GeneratorDepth, TreeOfTheDeepestAllowedDepthIsWrittenAndResolved) {
  SetTreeColumn("tree", "T");
  model.AddColumn("X", "x", 3);
  ASSERT_EQ(QORJsonFilterWriter::kMaxTreeDepth, 510);
  BuildChain(QORJsonFilterWriter::kMaxTreeDepth);
  ASSERT_EQ(Generate(), S_OK);

  std::string pointer = "/roots/0";
  for (int level = 2; level <= QORJsonFilterWriter::kMaxTreeDepth; ++level)
    pointer += "/children/0";
  EXPECT_EQ(JsonAt(Document(), pointer + "/data"),
            Json(R"({"uid":["deepest"],"NLS_grid":{"X":"bottom"}})"));

  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(generator->GetResolvedFilter(reader.Out()), S_OK);
  QORUnicodeString value;
  EXPECT_EQ(reader->GetObjectAttribute("deepest", "X", value), S_OK);
  EXPECT_EQ(value.Str(), "bottom");
}

TEST_F(GeneratorDepth, TreeOneLevelTooDeepFailsAndKeepsThePreviousDocument) {
  SetTreeColumn("tree", "T");
  model.AddColumn("X", "x", 3);
  model.roots = {model.Add("first", "First")};
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();

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
