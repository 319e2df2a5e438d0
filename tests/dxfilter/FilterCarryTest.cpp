// FilterCarryTest.cpp - carrying recorded edits from one version's filter document to
// the next: what lands where, what is dropped, what is new or gone, and that nothing
// else of the generated text moves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FilterCarry.h"
#include "JsonStreams/JIStream.h"

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

struct Node {
  std::string uid;   // "" for an entity without one
  std::string grid;  // members of "grid", as JSON text
  std::string nls;   // members of "NLS_grid"; "" for none
  std::vector<Node> children;
};

std::string NodeText(const Node& n) {
  std::string text =
      "{\"label\":\"" + (n.uid.empty() ? std::string("none") : n.uid) + "\",\"data\":{";
  if (!n.uid.empty()) text += "\"uid\":[\"" + n.uid + "\"]";
  if (!n.nls.empty())
    text += std::string(n.uid.empty() ? "" : ",") + "\"NLS_grid\":{" + n.nls + "}";
  text += "},\"grid\":{" + n.grid + "}";
  if (!n.children.empty()) {
    text += ",\"children\":[";
    for (size_t i = 0; i < n.children.size(); ++i) text += (i ? "," : "") + NodeText(n.children[i]);
    text += "]";
  }
  return text + "}";
}

// A document laid out as the generator writes it; extraData goes at the end of "data".
std::string Document(const std::vector<Node>& roots, const std::string& extraData = "",
                     const std::string& filterId = "IFC4:house.ifc") {
  std::string text = "{\"data\":{\"filterID\":\"" + filterId + "\",\"formatUsage\":\"IFC\"" +
                     extraData + "},\"columns\":" + kColumns + ",\"roots\":[";
  for (size_t i = 0; i < roots.size(); ++i) text += (i ? "," : "") + NodeText(roots[i]);
  return text + "]}";
}

const std::string kDefaults =
    R"("Import":"true","ImportMode":"ForDesign","Type":"IfcWall","Name":"Wall")";

Node Wall(const std::string& uid) {
  return {uid, kDefaults, "", {}};
}

// A small model: a storey holding walls a, b, c.
std::vector<Node> Model(std::vector<Node> walls) {
  return {{"storey", R"("Import":"true","Type":"IfcBuildingStorey")", "", std::move(walls)}};
}

void GiveSecondUid(std::string& text, const std::string& uid, const std::string& second) {
  const std::string one = "\"uid\":[\"" + uid + "\"]";
  text.replace(text.find(one), one.size(), "\"uid\":[\"" + uid + "\",\"" + second + "\"]");
}

JSON::JIStream Parse(const std::string& text) {
  JSON::JIStream doc;
  EXPECT_TRUE(doc.Parse(text)) << doc.LastError() << "\n" << text;
  return doc;
}

JSON::JIStream FindNode(const JSON::JIStream& doc, const std::string& uid) {
  std::vector<JSON::JIStream> pending = doc.ReadObjects("roots");
  while (!pending.empty()) {
    JSON::JIStream node = pending.back();
    pending.pop_back();
    std::vector<QORUnicodeString> uids = node.ReadObject("data").ReadStrings("uid");
    if (!uids.empty() && uids.front().Str() == uid) return node;
    for (const JSON::JIStream& child : node.ReadObjects("children")) pending.push_back(child);
  }
  ADD_FAILURE() << "no entity " << uid;
  return {};
}

// What the reader answers: "NLS_grid" first, then "grid"; "-" when neither has it.
std::string Answer(const JSON::JIStream& doc, const std::string& uid, const char* column) {
  JSON::JIStream node = FindNode(doc, uid);
  JSON::JIStream nls = node.ReadObject("data").ReadObject("NLS_grid");
  if (nls.Exist(column)) return nls.ReadString(column).Str();
  JSON::JIStream grid = node.ReadObject("grid");
  return grid.Exist(column) ? grid.ReadString(column).Str() : "-";
}

std::string UserEdit(const JSON::JIStream& doc, const std::string& uid, const char* column) {
  JSON::JIStream edits = doc.ReadObject("data").ReadObject("userEdits");
  if (!edits.Exist(uid.c_str())) return "-";
  JSON::JIStream cells = edits.ReadObject(uid.c_str());
  return cells.Exist(column) ? cells.ReadString(column).Str() : "-";
}

std::vector<std::string> Strings(const JSON::JIStream& object, const char* key) {
  std::vector<std::string> out;
  for (const QORUnicodeString& s : object.ReadStrings(key)) out.push_back(s.Str());
  return out;
}

struct Carried {
  bool ok = false;
  std::string text, error;
  FilterCarry::Outcome outcome;
  std::string summary;
};

Carried Carry(const std::string& oldText, const std::string& newText) {
  Carried c;
  FilterCarry carry;
  c.ok = carry.ReadOld(oldText, c.error) && carry.Apply(newText, c.text, c.error);
  c.outcome = carry.Result();
  c.summary = carry.Summary();
  return c;
}

TEST(FilterCarry, EditsLandInTheGridOfTheSameUidAndAreRecordedAgain) {
  const std::string old = Document(
      Model({Wall("a"), Wall("b"), Wall("c")}),
      R"(,"userEdits":{"a":{"Import":"false"},"b":{"ImportMode":"ForCoordination","Name":"Kept"}})");
  // In the new version b's name became an NLS text, and c moved out of the storey.
  Node b{"b",
         R"("Import":"true","ImportMode":"ForDesign","Type":"IfcWall")",
         R"("Name":"Cat.Wall")",
         {}};
  const std::string next =
      Document({{"storey", R"("Import":"true")", "", {Wall("a"), b}}, Wall("c")});
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  JSON::JIStream doc = Parse(c.text);
  EXPECT_EQ(Answer(doc, "a", "Import"), "false");
  EXPECT_EQ(Answer(doc, "a", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer(doc, "b", "ImportMode"), "ForCoordination");
  EXPECT_EQ(Answer(doc, "b", "Name"), "Kept");
  // The NLS entry would hide the edit from the reader; b had nothing else there.
  EXPECT_FALSE(FindNode(doc, "b").ReadObject("data").Exist("NLS_grid"));
  EXPECT_EQ(Answer(doc, "c", "Import"), "true");

  EXPECT_EQ(UserEdit(doc, "a", "Import"), "false");
  EXPECT_EQ(UserEdit(doc, "b", "Name"), "Kept");
  EXPECT_EQ(UserEdit(doc, "c", "Import"), "-");
  JSON::JIStream carry = doc.ReadObject("data").ReadObject("carry");
  EXPECT_EQ(carry.ReadString("from").Str(), "IFC4:house.ifc");
  EXPECT_EQ(carry.ReadRawString("carried").Str(), "3");
  EXPECT_EQ(carry.ReadRawString("dropped").Str(), "0");
  EXPECT_TRUE(Strings(carry, "new").empty());
  EXPECT_TRUE(Strings(carry, "gone").empty());
  EXPECT_EQ(c.summary, "3 edits carried, 0 new, 0 gone, 0 dropped");
}

TEST(FilterCarry, UntouchedTextStaysByteForByte) {
  const std::string next = Document(Model({Wall("a"), Wall("b")}), R"(,"settings":{"n":1.50})");
  // No edit applies: only the data object grows.
  Carried none = Carry(Document(Model({Wall("a")}), R"(,"userEdits":{})", "old-id"), next);
  ASSERT_TRUE(none.ok) << none.error;
  std::string expected = next;
  expected.insert(
      expected.find(R"(},"columns")"),
      R"(,"userEdits":{},"carry":{"from":"old-id","carried":0,"new":["b"],"gone":[],"dropped":0})");
  EXPECT_EQ(none.text, expected);
}

TEST(FilterCarry, OnlyTheEditedCellChangesInTheText) {
  const std::string old =
      Document(Model({Wall("a"), Wall("b")}), R"(,"userEdits":{"b":{"Name":"New \"name\""}})");
  const std::string next = Document(Model({Wall("a"), Wall("b")}));
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  std::string expected = next;
  const size_t at = expected.find(R"("Name":"Wall")", expected.find(R"("uid":["b"])"));
  expected.replace(at, std::string(R"("Name":"Wall")").size(), R"("Name":"New \"name\"")");
  expected.insert(
      expected.find(R"(},"columns")"),
      R"(,"userEdits":{"b":{"Name":"New \"name\""}},"carry":{"from":"IFC4:house.ifc","carried":1,"new":[],"gone":[],"dropped":0})");
  EXPECT_EQ(c.text, expected);
}

TEST(FilterCarry, EditsThatCannotApplyAreDroppedAndCounted) {
  const std::string old =
      Document(Model({Wall("a"), Wall("gone")}),
               R"(,"userEdits":{)"
               R"("gone":{"Import":"false","Name":"x"},)"  // entity removed: 2
               R"("a":{"Type":"IfcSlab","Imported":"1 / 1","tree":"x","NoSuchColumn":"x",)"  // 4
               R"("Elevation":"3,5"},)"  // carried as 3.5
               R"("storey":{"Import":"maybe","ImportMode":"Sideways","Elevation":"ten"},)"  // 3
               R"("nobody":"false"})");  // not an object: 1
  const std::string next = Document(Model({Wall("a")}));
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  JSON::JIStream doc = Parse(c.text);
  EXPECT_EQ(c.outcome.carried, 1u);
  EXPECT_EQ(c.outcome.dropped, 10u);
  EXPECT_EQ(Answer(doc, "a", "Elevation"), "3.5");
  EXPECT_EQ(Answer(doc, "a", "Type"), "IfcWall");
  EXPECT_EQ(Answer(doc, "storey", "Import"), "true");
  EXPECT_EQ(UserEdit(doc, "a", "Elevation"), "3.5");
  EXPECT_EQ(UserEdit(doc, "a", "Type"), "-");
  EXPECT_EQ(UserEdit(doc, "storey", "Import"), "-");
  // A dropped value is written nowhere, not even beside the grid.
  EXPECT_EQ(c.text.find("IfcSlab"), std::string::npos);
  EXPECT_EQ(c.text.find("Sideways"), std::string::npos);
  EXPECT_EQ(c.outcome.gone, std::vector<std::string>{"gone"});
  EXPECT_EQ(c.summary, "1 edit carried, 0 new, 1 gone, 10 dropped");
}

TEST(FilterCarry, NewAndGoneFollowTheUidsInTreeOrder) {
  const std::string old =
      Document(Model({Wall("a"), Wall("b"), Wall("c"), {"", kDefaults, "", {Wall("d")}}}),
               R"(,"userEdits":{})");
  // b keeps its entity under a second uid; c and d are gone; x and y are new; an entity
  // without uid is neither.
  std::string next =
      Document(Model({Wall("x"), Wall("a"), Wall("b2"), {"", kDefaults, "", {Wall("y")}}}));
  GiveSecondUid(next, "b2", "b");
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.outcome.fresh, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(c.outcome.gone, (std::vector<std::string>{"c", "d"}));
  JSON::JIStream carry = Parse(c.text).ReadObject("data").ReadObject("carry");
  EXPECT_EQ(Strings(carry, "new"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Strings(carry, "gone"), (std::vector<std::string>{"c", "d"}));
}

TEST(FilterCarry, AnEditFollowsAnyUidOfTheEntityAndIsRecordedUnderItsFirst) {
  const std::string old = Document(Model({Wall("b")}), R"(,"userEdits":{"b":{"Import":"false"}})");
  std::string next = Document(Model({Wall("b2")}));
  GiveSecondUid(next, "b2", "b");
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  JSON::JIStream doc = Parse(c.text);
  EXPECT_EQ(Answer(doc, "b2", "Import"), "false");
  EXPECT_EQ(UserEdit(doc, "b2", "Import"), "false");
  EXPECT_EQ(UserEdit(doc, "b", "Import"), "-");
}

TEST(FilterCarry, NlsEntriesOfOtherColumnsStayAndGridIsAddedWhereMissing) {
  const std::string old =
      Document(Model({Wall("a"), Wall("b")}),
               R"(,"userEdits":{"a":{"Name":"Mine"},"storey":{"Import":"false"}})");
  Node a{"a", R"("Import":"true")", R"("Type":"Cat.IfcWall","Name":"Cat.Wall")", {}};
  std::string next = Document({{"storey", "", "", {a}}});
  // A node that has children but no grid gets one before its children.
  next.replace(next.find(R"(,"grid":{},"children")"), 21, R"(,"children")");
  Carried c = Carry(old, next);
  ASSERT_TRUE(c.ok) << c.error;
  JSON::JIStream doc = Parse(c.text);
  EXPECT_EQ(Answer(doc, "a", "Name"), "Mine");
  EXPECT_EQ(Answer(doc, "a", "Type"), "Cat.IfcWall");
  EXPECT_EQ(Answer(doc, "storey", "Import"), "false");
  EXPECT_LT(c.text.find(R"("grid":{"Import":"false"},"children")"), c.text.find(R"("uid":["a"])"));
}

TEST(FilterCarry, WithoutRecordedEditsDifferingImportValuesAreCarried) {
  // Made by another tool: no "userEdits", the user's choices only in the values.
  Node a{"a", R"("Import":"false","ImportMode":"ForDesign","Name":"Other")", "", {}};
  Node b{"b", R"("Import":"true","Name":"Wall")", R"("ImportMode":"ForLifecycle")", {}};
  const std::string old = Document(Model({a, b, Wall("c")}));
  Carried c = Carry(old, Document(Model({Wall("a"), Wall("b"), Wall("c")})));
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_TRUE(c.outcome.inferred);
  JSON::JIStream doc = Parse(c.text);
  EXPECT_EQ(Answer(doc, "a", "Import"), "false");
  EXPECT_EQ(Answer(doc, "b", "ImportMode"), "ForLifecycle");
  // Only the import columns stand for choices; equal values are no edits.
  EXPECT_EQ(Answer(doc, "a", "Name"), "Wall");
  EXPECT_EQ(UserEdit(doc, "a", "ImportMode"), "-");
  EXPECT_EQ(UserEdit(doc, "c", "Import"), "-");
  EXPECT_EQ(c.outcome.carried, 2u);
  EXPECT_EQ(c.outcome.dropped, 0u);
  // The next carry from this document goes by its recorded edits.
  Carried again = Carry(c.text, Document(Model({Wall("a"), Wall("b")})));
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_FALSE(again.outcome.inferred);
  EXPECT_EQ(again.outcome.carried, 2u);
}

TEST(FilterCarry, CarryingChainsAcrossVersions) {
  const std::string v1 = Document(Model({Wall("a"), Wall("b"), Wall("c")}),
                                  R"(,"userEdits":{"a":{"Import":"false"}})");
  Carried v2 = Carry(v1, Document(Model({Wall("a"), Wall("b"), Wall("c")})));
  ASSERT_TRUE(v2.ok) << v2.error;
  // The user edits the carried version: the page records the old edit with the new.
  std::string edited = v2.text;
  edited.replace(edited.find(R"("userEdits":{)"), 13,
                 R"("userEdits":{"b":{"ImportMode":"NoImport"},)");
  Carried v3 = Carry(edited, Document(Model({Wall("c"), Wall("b"), Wall("a"), Wall("d")})));
  ASSERT_TRUE(v3.ok) << v3.error;
  JSON::JIStream doc = Parse(v3.text);
  EXPECT_EQ(Answer(doc, "a", "Import"), "false");
  EXPECT_EQ(Answer(doc, "b", "ImportMode"), "NoImport");
  EXPECT_EQ(UserEdit(doc, "a", "Import"), "false");
  EXPECT_EQ(UserEdit(doc, "b", "ImportMode"), "NoImport");
  EXPECT_EQ(v3.outcome.fresh, std::vector<std::string>{"d"});
  // The previous carry's report is replaced, not kept beside the new one.
  EXPECT_EQ(v3.text.find("\"carry\""), v3.text.rfind("\"carry\""));
  EXPECT_EQ(v3.summary, "2 edits carried, 1 new, 0 gone, 0 dropped");
}

TEST(FilterCarry, InvalidUtf8InTheOldDocumentNeverMakesTheNewOneInvalid) {
  const std::string old = Document(Model({Wall("a")}),
                                   ",\"userEdits\":{\"a\":{\"Name\":\"bad \xC3\x28\"},"
                                   "\"\xFF\":{\"Name\":\"x\"}}",
                                   "id \xE2\x82");
  Carried c = Carry(old, Document(Model({Wall("a")})));
  ASSERT_TRUE(c.ok) << c.error;
  JSON::JIStream doc = Parse(c.text);  // refuses invalid UTF-8
  EXPECT_EQ(Answer(doc, "a", "Name"), "bad \xEF\xBF\xBD(");
  EXPECT_EQ(c.outcome.dropped, 1u);
}

TEST(FilterCarry, IndentedDocumentsCarryToo) {
  const std::string old = Document(Model({Wall("a")}), R"(,"userEdits":{"a":{"Import":"false"}})");
  std::string pretty;
  for (char ch : Document(Model({Wall("a")}))) {
    pretty += ch;
    if (ch == ',' || ch == '{' || ch == '[') pretty += "\n    ";
  }
  Carried c = Carry(old, pretty);
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(Answer(Parse(c.text), "a", "Import"), "false");
}

TEST(FilterCarry, BadDocumentsAreRefusedWithAReason) {
  FilterCarry carry;
  std::string error, out;
  EXPECT_FALSE(carry.Apply(Document({}), out, error));  // nothing read yet
  EXPECT_FALSE(carry.ReadOld("[1,2]", error));
  EXPECT_NE(error.find("not a filter document"), std::string::npos);
  for (const char* wrong : {R"({"data":{"userEdits":["a"]}})", R"({"data":{"userEdits":"a"}})"}) {
    error.clear();
    EXPECT_FALSE(carry.ReadOld(wrong, error)) << wrong;
    EXPECT_NE(error.find("userEdits"), std::string::npos) << wrong;
  }
  EXPECT_FALSE(carry.ReadOld(R"({"data":{"filterID":"x"},"roots":[{)", error));
  EXPECT_NE(error.find("not valid JSON"), std::string::npos);
  EXPECT_FALSE(carry.ReadOld(std::string(3000, '[') + std::string(3000, ']'), error));
  EXPECT_NE(error.find("too deeply"), std::string::npos);

  ASSERT_TRUE(carry.ReadOld(Document({}, R"(,"userEdits":{})"), error));
  error.clear();
  EXPECT_FALSE(carry.Apply(R"({"data":{"filterID":"x"},"roots":[)", out, error));
  EXPECT_NE(error.find("not valid JSON"), std::string::npos);
  EXPECT_FALSE(carry.Apply(R"({"roots":[]})", out, error));
  EXPECT_NE(error.find("no data object"), std::string::npos);
  EXPECT_FALSE(carry.Apply(
      R"({"data":{},"roots":[)" + std::string(5000, '[') + std::string(5000, ']') + "]}", out,
      error));
  EXPECT_NE(error.find("too deeply"), std::string::npos);
  // A refused text leaves the next one to carry as usual.
  EXPECT_TRUE(carry.Apply(Document(Model({Wall("a")})), out, error)) << error;
  EXPECT_EQ(carry.Result().fresh, (std::vector<std::string>{"storey", "a"}));
}

}  // namespace

namespace {

// A generator holding a document's text, as far as the carry uses one: saved and loaded.
class TextGenerator : public QORIInputFilterGenerator {
 public:
  explicit TextGenerator(std::string text) : text(std::move(text)) {}
  void AddEntityList(const int&, const QORListValQORUnicodeString&) override {}
  HRESULT GenerateDocument(QORUnicodeString, QORUnicodeString, const QORUnicodeString*) override {
    return E_NOTIMPL;
  }
  HRESULT LoadDocumentFromFile(QORUnicodeString path, const QORUnicodeString*) override {
    loadedFrom = path.Str();
    struct stat folder {};
    const std::string parent = loadedFrom.substr(0, loadedFrom.rfind('/'));
    folderPrivate = ::stat(parent.c_str(), &folder) == 0 && (folder.st_mode & 077) == 0;
    std::ifstream in(loadedFrom, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    text = all.str();
    return in ? S_OK : E_FAIL;
  }
  HRESULT ShowFilterDialog(QORCommand*) override { return E_NOTIMPL; }
  HRESULT GetResolvedFilter(QORIResolvedInputFilter**) override { return E_NOTIMPL; }
  HRESULT SaveDocumentToFile(QORUnicodeString path) override {
    if (failSave) return E_FAIL;
    std::ofstream(path.Str(), std::ios::binary) << text;
    return S_OK;
  }

  std::string text, loadedFrom;
  bool folderPrivate = false, failSave = false;
};

const std::string kOld =
    Document(Model({Wall("a"), Wall("b")}), R"(,"userEdits":{"b":{"Import":"false"}})");
const std::string kNew = Document(Model({Wall("a"), Wall("b"), Wall("c")}));

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(FilterCarryGenerator, TheGeneratorTakesTheCarriedDocumentBackThroughAPrivateFolder) {
  FilterCarry carry;
  std::string error, expected;
  ASSERT_TRUE(carry.ReadOld(kOld, error)) << error;
  ASSERT_TRUE(carry.Apply(kNew, expected, error)) << error;
  TextGenerator generator(kNew);
  ASSERT_TRUE(carry.ApplyTo(generator, error)) << error;
  EXPECT_EQ(generator.text, expected);
  EXPECT_TRUE(generator.folderPrivate);
  EXPECT_FALSE(generator.loadedFrom.empty());
  EXPECT_NE(::access(generator.loadedFrom.c_str(), F_OK), 0)
      << "the temporary copy outlives the carry";
  EXPECT_EQ(carry.Summary(), "1 edit carried, 1 new, 0 gone, 0 dropped");

  generator.failSave = true;
  EXPECT_FALSE(carry.ApplyTo(generator, error));
  EXPECT_NE(error.find("cannot write the generated document"), std::string::npos);
}

TEST(FilterCarryGenerator, WrittenFilesAreTheCarriedTextCompactOrIndented) {
  char folder[] = "/tmp/dxfilter-carry-write-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/out.json";
  FilterCarry carry;
  std::string error, expected;
  ASSERT_TRUE(carry.ReadOld(kOld, error)) << error;
  ASSERT_TRUE(carry.Apply(kNew, expected, error)) << error;
  TextGenerator generator(kNew);
  std::ofstream(path) << "an earlier file";
  ASSERT_TRUE(carry.WriteTo(generator, path, error)) << error;
  EXPECT_EQ(Slurp(path), expected);
  EXPECT_TRUE(generator.loadedFrom.empty()) << "writing a file leaves the generator's document";
  EXPECT_EQ(generator.text, kNew);

  setenv("MDW_KWT_TMP", "", 1);
  const bool written = carry.WriteTo(generator, path, error);
  unsetenv("MDW_KWT_TMP");
  ASSERT_TRUE(written) << error;
  const std::string pretty = Slurp(path);
  EXPECT_NE(pretty.find("\n    "), std::string::npos);
  EXPECT_EQ(Parse(pretty).Stringify().Str(), expected);

  // A folder that does not exist: nothing is written, the reason says where.
  EXPECT_FALSE(carry.WriteTo(generator, std::string(folder) + "/no/such/out.json", error));
  EXPECT_NE(error.find("no/such/out.json"), std::string::npos);
  EXPECT_EQ(Slurp(path), pretty);
  std::filesystem::remove_all(folder);
}

}  // namespace
