// FilterCarryTest.cpp - carrying recorded edits from one version's filter document to
// the next: what lands where, what is dropped, what is new or gone, that nothing else of
// the generated text moves, and `generate --carry` as a user runs it.
#include "DxfilterFixture.h"
#include "FilterCarry.h"
#include "JsonStreams/JIStream.h"

namespace dxtest {
namespace {

// The columns of an import filter as the generator writes them: the tree, a boolean,
// an enumeration, a read-only text, an editable text, a number, a runtime column.
const std::string kColumns =
    R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"T.Entity"}},)"
    R"({"dataIndex":"Import","editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"boolean","data":{"NLS_text":"T.Import"}},)"
    R"({"dataIndex":"ImportMode","editableFlag":true,"editionPolicy":"EditionInPlace","data":{"type":"enum","possibleValues":["NoImport","ForLifecycle","ForCoordination","ForDesign"],"NLS_text":"T.Mode"}},)"
    R"({"dataIndex":"Type","editableFlag":false,"typeRepresentation":"string","data":{"NLS_text":"T.Type"}},)"
    R"({"dataIndex":"Name","editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"string","data":{"NLS_text":"T.Name"}},)"
    R"({"dataIndex":"Elevation","editableFlag":true,"editionPolicy":"EditionInPlace","typeRepresentation":"number","data":{"NLS_text":"T.Elevation"}},)"
    R"({"dataIndex":"Imported","editableFlag":false,"data":{"type":"runtime","NLS_text":"T.Imported"}}])";
const std::string kDefaults =
    R"("Import":"true","ImportMode":"ForDesign","Type":"IfcWall","Name":"Wall")";

struct Node {
  std::string uid;               // "" for an entity without one; "b2,b" for two
  std::string grid = kDefaults;  // members of "grid", as JSON text
  std::string nls{};             // members of "NLS_grid"; "" for none
  std::vector<Node> children{};
};

std::string NodeText(const Node& n) {
  const std::string uids = std::regex_replace(n.uid, std::regex(","), "\",\"");
  std::string text = "{\"label\":\"" + (n.uid.empty() ? "none" : n.uid) + "\",\"data\":{";
  if (!n.uid.empty()) text += "\"uid\":[\"" + uids + "\"]";
  if (!n.nls.empty()) text += (n.uid.empty() ? "" : ",") + ("\"NLS_grid\":{" + n.nls + "}");
  text += "},\"grid\":{" + n.grid + "}";
  for (size_t i = 0; i < n.children.size(); ++i)
    text += (i ? "," : ",\"children\":[") + NodeText(n.children[i]);
  return text + (n.children.empty() ? "}" : "]}");
}

// A storey holding the walls, as the generator lays a document out; extraData goes at the
// end of "data".
std::string Document(std::vector<Node> walls, const std::string& extraData = "",
                     const std::string& filterId = "IFC4:house.ifc") {
  return "{\"data\":{\"filterID\":\"" + filterId + "\",\"formatUsage\":\"IFC\"" + extraData +
         "},\"columns\":" + kColumns + ",\"roots\":[" +
         NodeText({"storey", R"("Import":"true","Type":"IfcBuildingStorey")", "", walls}) + "]}";
}

JSON::JIStream Parse(const std::string& text) {
  JSON::JIStream doc;
  EXPECT_TRUE(doc.Parse(text)) << doc.LastError() << "\n" << text;
  return doc;
}

JSON::JIStream FindNode(const JSON::JIStream& parent, const std::string& uid, bool top = true) {
  for (const JSON::JIStream& node : parent.ReadObjects(top ? "roots" : "children")) {
    const std::vector<QORUnicodeString> uids = node.ReadObject("data").ReadStrings("uid");
    if (!uids.empty() && uids.front().Str() == uid) return node;
    if (JSON::JIStream found = FindNode(node, uid, false); !found.Empty()) return found;
  }
  if (top) ADD_FAILURE() << "no entity " << uid;
  return {};
}

std::string Member(const JSON::JIStream& object, const char* key) {
  return object.Exist(key) ? object.ReadString(key).Str() : "-";
}

// Each cell as uid, column, the reader's answer ("NLS_grid" first, then "grid") and the
// edit recorded in "userEdits" ("-" for none).
void ExpectCells(const std::string& text, const std::vector<std::array<std::string, 4>>& cells) {
  const JSON::JIStream doc = Parse(text);
  const JSON::JIStream edits = doc.ReadObject("data").ReadObject("userEdits");
  for (const auto& [uid, column, answer, edit] : cells) {
    const JSON::JIStream node = FindNode(doc, uid);
    const std::string nls = Member(node.ReadObject("data").ReadObject("NLS_grid"), column.c_str());
    EXPECT_EQ(nls != "-" ? nls : Member(node.ReadObject("grid"), column.c_str()), answer)
        << uid << " " << column;
    EXPECT_EQ(Member(edits.ReadObject(uid.c_str()), column.c_str()), edit) << uid << " " << column;
  }
}

struct Carried {
  std::string text, summary;
  FilterCarry::Outcome outcome;
};

Carried Carry(const std::string& oldText, const std::string& newText) {
  FilterCarry carry;
  std::string text, error;
  EXPECT_TRUE(carry.ReadOld(oldText, error) && carry.Apply(newText, text, error)) << error;
  return {text, carry.Summary(), carry.Result()};
}

TEST(FilterCarry, EditsLandWhereTheirUidIsOrAreDroppedAndCounted) {
  const std::string old = Document(
      {{"a"}, {"b"}, {"c"}, {"e"}, {"gone"}, {"", kDefaults, "", {{"d"}}}},
      R"(,"userEdits":{"a":{"Import":"false","Name":"Mine","Elevation":"3,5",)"
      R"("Type":"IfcSlab","Imported":"1 / 1","tree":"x","NoSuchColumn":"x"},)"  // 4 dropped
      R"("b":{"ImportMode":"ForCoordination","Name":"Kept"},"e":{"Import":"false"},)"
      R"("c":{"Import":"maybe"},"gone":{"Import":"false","Name":"x"},"nobody":"false",)"  // 4
      R"("storey":{"Import":"false","ImportMode":"Sideways","Elevation":"ten"}})");       // 2
  // In the new version b's name became an NLS text, a's type one too; c moved; e keeps its
  // entity under a second uid, recorded under the first; x and y are new; the storey lost
  // its grid; an entity without uid is neither new nor gone.
  std::string next =
      Document({{"x"},
                {"a", kDefaults, R"("Type":"Cat.IfcWall")"},
                {"b", R"("Import":"true","ImportMode":"ForDesign")", R"("Name":"Cat.Wall")"},
                {"e2,e"},
                {"", kDefaults, "", {{"c"}, {"y"}}}});
  next.replace(next.find(R"(,"grid":{"Import":"true","Type":"IfcBuildingStorey"})"), 52, "");
  const Carried c = Carry(old, next);
  ExpectCells(c.text, {{"a", "Import", "false", "false"},
                       {"a", "ImportMode", "ForDesign", "-"},
                       {"a", "Elevation", "3.5", "3.5"},
                       {"a", "Type", "Cat.IfcWall", "-"},
                       {"a", "Name", "Mine", "Mine"},
                       {"b", "ImportMode", "ForCoordination", "ForCoordination"},
                       {"b", "Name", "Kept", "Kept"},
                       {"c", "Import", "true", "-"},
                       {"e2", "Import", "false", "false"},
                       {"storey", "Import", "false", "false"},
                       {"storey", "ImportMode", "-", "-"}});
  // The NLS entry would hide the edit from the reader; b had nothing else there.
  EXPECT_FALSE(FindNode(Parse(c.text), "b").ReadObject("data").Exist("NLS_grid"));
  // A dropped value is written nowhere, not even beside the grid.
  EXPECT_FALSE(Has(c.text, "IfcSlab") || Has(c.text, "Sideways") || Has(c.text, R"("e":{)"));
  EXPECT_LT(c.text.find(R"("grid":{"Import":"false"},"children")"), c.text.find(R"(["x"])"));
  EXPECT_TRUE(Has(c.text, R"("carry":{"from":"IFC4:house.ifc","carried":7,"new":["x","y"],)"
                          R"("gone":["gone","d"],"dropped":10})"))
      << c.text;
  EXPECT_EQ(c.summary, "7 edits carried, 2 new, 2 gone, 10 dropped");
}

TEST(FilterCarry, OnlyTheEditedCellsAndTheDataObjectChangeInTheText) {
  const std::string next = Document({{"a"}, {"b"}}, R"(,"settings":{"n":1.50})");
  std::string expected = next;
  expected.insert(expected.find(R"(},"columns")"),
                  R"(,"userEdits":{},"carry":{"from":"old","carried":0,"new":["b"],"gone":[],)"
                  R"("dropped":0})");
  EXPECT_EQ(Carry(Document({{"a"}}, R"(,"userEdits":{})", "old"), next).text, expected);

  const std::string edited = Document({{"a"}, {"b"}}, R"(,"userEdits":{"b":{"Name":"N \"q\""}})");
  expected = Document({{"a"},
                       {"b", R"("Import":"true","ImportMode":"ForDesign","Type":"IfcWall",)"
                             R"("Name":"N \"q\"")"}},
                      R"(,"userEdits":{"b":{"Name":"N \"q\""}},"carry":{"from":"IFC4:house.ifc",)"
                      R"("carried":1,"new":[],"gone":[],"dropped":0})");
  EXPECT_EQ(Carry(edited, Document({{"a"}, {"b"}})).text, expected);
}

TEST(FilterCarry, WithoutRecordedEditsDifferingImportValuesAreCarriedThenChained) {
  // Made by another tool: no "userEdits", the user's choices only in the values.
  const Carried c =
      Carry(Document({{"a", R"("Import":"false","ImportMode":"ForDesign","Name":"Other")"},
                      {"b", R"("Import":"true","Name":"Wall")", R"("ImportMode":"ForLifecycle")"},
                      {"c"}}),
            Document({{"a"}, {"b"}, {"c"}}));
  EXPECT_TRUE(c.outcome.inferred);
  // Only the import columns stand for choices; equal values are no edits.
  ExpectCells(c.text, {{"a", "Import", "false", "false"},
                       {"a", "ImportMode", "ForDesign", "-"},
                       {"a", "Name", "Wall", "-"},
                       {"b", "ImportMode", "ForLifecycle", "ForLifecycle"},
                       {"c", "Import", "true", "-"}});
  EXPECT_EQ(c.summary, "2 edits carried, 0 new, 0 gone, 0 dropped");
  // The user edits the carried version (the page records the new edit with the old),
  // and the next carry goes by the recorded edits, replacing the previous report.
  std::string edited = c.text;
  edited.replace(edited.find(R"("userEdits":{)"), 13, R"("userEdits":{"c":{"Import":"false"},)");
  const Carried again = Carry(edited, Document({{"c"}, {"b"}, {"a"}, {"d"}}));
  EXPECT_FALSE(again.outcome.inferred);
  ExpectCells(again.text, {{"a", "Import", "false", "false"}, {"c", "Import", "false", "false"}});
  EXPECT_EQ(again.text.find("\"carry\""), again.text.rfind("\"carry\""));
  EXPECT_EQ(again.summary, "3 edits carried, 1 new, 0 gone, 0 dropped");
}

TEST(FilterCarry, InvalidUtf8OrIndentationInEitherDocumentIsNoObstacle) {
  const std::string old = Document(
      {{"a"}}, ",\"userEdits\":{\"a\":{\"Name\":\"bad \xC3\x28\"},\"\xFF\":{\"Name\":\"x\"}}",
      "id \xE2\x82");
  std::string pretty;
  for (char ch : Document({{"a"}}))
    pretty += ch + std::string(ch == ',' || ch == '{' ? "\n  " : "");
  const Carried c = Carry(old, pretty);
  // The parse refuses invalid UTF-8: the carried text has none.
  ExpectCells(c.text, {{"a", "Name", "bad \xEF\xBF\xBD(", "bad \xEF\xBF\xBD("}});
  EXPECT_EQ(c.outcome.dropped, 1u);
}

TEST(FilterCarry, BadDocumentsAreRefusedWithAReason) {
  FilterCarry carry;
  std::string error, out;
  EXPECT_FALSE(carry.Apply(Document({}), out, error));  // nothing read yet
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  const struct {
    bool old;
    std::string text;
    const char* why;
  } cases[] = {{true, "[1,2]", "not a filter document"},
               {true, R"({"data":{"userEdits":["a"]}})", "userEdits"},
               {true, R"({"data":{"userEdits":"a"}})", "userEdits"},
               {true, R"({"data":{"filterID":"x"},"roots":[{)", "not valid JSON"},
               {true, deep, "too deeply"},
               {false, R"({"data":{"filterID":"x"},"roots":[)", "not valid JSON"},
               {false, R"({"roots":[]})", "no data object"},
               {false, R"({"data":{},"roots":[)" + deep + "]}", "too deeply"}};
  for (const auto& c : cases) {
    error.clear();
    ASSERT_TRUE(c.old || carry.ReadOld(Document({}, R"(,"userEdits":{})"), error)) << error;
    EXPECT_FALSE(c.old ? carry.ReadOld(c.text, error) : carry.Apply(c.text, out, error)) << c.text;
    EXPECT_TRUE(Has(error, c.why)) << error;
  }
  // A refused text leaves the next one to carry as usual.
  EXPECT_TRUE(carry.Apply(Document({{"a"}}), out, error)) << error;
  EXPECT_EQ(carry.Result().fresh, std::vector<std::string>{"a"});
}

using CarryReading = DxfilterTest;

// n walls e0, e1...; with edits, every third switched off.
std::string Walls(int n, bool edits) {
  std::vector<Node> walls;
  std::string off;
  for (int i = 0; i < n; ++i) {
    walls.push_back({"e" + std::to_string(i)});
    if (edits && i % 3 == 0)
      off += (i ? ",\"e" : "\"e") + std::to_string(i) + R"(":{"Import":"false"})";
  }
  return Document(walls, edits ? ",\"userEdits\":{" + off + "}" : "");
}

// The old document read on a thread of its own while the caller works on (run by the
// ThreadSanitizer build too): what it read arrives whole, a bad file says why, and an
// object dropped mid-read waits for it.
TEST_F(CarryReading, OnItsOwnThread) {
  FilterCarry carry, other, dropped, bad;
  carry.StartReadingOld(Write("old.json", Walls(3000, true)));
  dropped.StartReadingOld(File("old.json"));
  bad.StartReadingOld(Write("bad.json", R"({"data":{"userEdits":7}})"));
  bad.StartReadingOld(File("bad.json"));  // a second start waits for the first
  std::string error, out;
  ASSERT_TRUE(other.ReadOld(Walls(10, true), error) && other.Apply(Walls(10, false), out, error));
  EXPECT_EQ(other.Result().carried, 4u);
  ASSERT_TRUE(carry.FinishReadingOld(error) && carry.Apply(Walls(3001, false), out, error))
      << error;
  EXPECT_EQ(carry.Summary(), "1000 edits carried, 1 new, 0 gone, 0 dropped");
  EXPECT_FALSE(bad.FinishReadingOld(error));
  EXPECT_TRUE(Has(error, "userEdits")) << error;
  EXPECT_FALSE(bad.Apply(Walls(1, false), out, error));
}

}  // namespace
}  // namespace dxtest
