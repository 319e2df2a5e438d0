// A filter document built node by node as the generator builds it, read back through
// views, and the conversions between output streams and views.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"

namespace {

using JSON::JIStream;
using JSON::JOStream;

constexpr int kFanOut = 3;
constexpr int kLevels = 5;  // 121 nodes under each root

// What a node holds, shared by the stream builder and the hand-written expected text.
struct NodeContent {
  explicit NodeContent(int id)
      : nlsLabel(id % 5 == 0),
        label("Node \"" + std::to_string(id) + "\" \xC3\xA9tage"),
        labelJson("Node \\\"" + std::to_string(id) + "\\\" \xC3\xA9tage"),
        uid("uid" + std::to_string(1000000000000000000LL + id)) {
    for (int c = 1; c <= 4; ++c) {
      // Some cells are empty and left out, as the generator does.
      grid.push_back((id + c) % 7 == 0 ? "" : "v" + std::to_string(id) + "-" + std::to_string(c));
    }
    if (id % 2) nlsGrid = "Col\\Name " + std::to_string(id);
  }
  bool nlsLabel;
  std::string label, labelJson, uid;
  std::vector<std::string> grid;
  std::string nlsGrid;  // empty: no NLS_grid
};

std::string NlsGridJson(const NodeContent& node) {
  std::string escaped;
  for (char c : node.nlsGrid) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return escaped;
}

JOStream BuildNode(int id) {
  const NodeContent content(id);
  JOStream node, nodeData, grid, nlsGrid;
  if (content.nlsLabel) {
    nodeData.Add("NLS_label", QORUnicodeString(content.label));
  } else {
    node.Add("label", QORUnicodeString(content.label));
  }
  nodeData.Add("uid", std::vector<QORUnicodeString>{QORUnicodeString(content.uid)});
  for (size_t c = 0; c < content.grid.size(); ++c) {
    if (content.grid[c].empty()) continue;
    grid.Add(QORUnicodeString("col" + std::to_string(c + 1)), QORUnicodeString(content.grid[c]));
  }
  if (!content.nlsGrid.empty()) nlsGrid.Add("col1", QORUnicodeString(content.nlsGrid));
  if (!nlsGrid.IsEmpty()) nodeData.Add("NLS_grid", std::move(nlsGrid));
  node.Add("data", std::move(nodeData));
  node.Add("grid", std::move(grid));
  return node;
}

// Children first, then the node takes them over: the order a generator works in.
void BuildSubtree(int& nextId, int level, JOStream& node) {
  node = BuildNode(nextId++);
  if (level + 1 >= kLevels) return;
  std::vector<JOStream> children(kFanOut);
  for (JOStream& child : children) BuildSubtree(nextId, level + 1, child);
  node.Add("children", std::move(children));
}

JOStream BuildDocument(int rootCount) {
  JOStream document, data;
  data.Add("filterID", "F-1");
  data.Add("formatUsage", "Import");
  std::vector<JOStream> columns(3);
  for (int i = 0; i < 3; ++i) {
    JOStream columnData;
    columns[i].Add("dataIndex",
                   i == 0 ? QORUnicodeString("tree") : QORUnicodeString("col" + std::to_string(i)));
    if (i == 0) columns[i].Add("editableFlag", false);
    columnData.Add("NLS_text", QORUnicodeString("Column " + std::to_string(i)));
    columns[i].Add("data", std::move(columnData));
  }
  std::vector<JOStream> roots(static_cast<size_t>(rootCount));
  int nextId = 0;
  for (JOStream& root : roots) BuildSubtree(nextId, 0, root);
  document.Add("data", std::move(data));
  document.Add("columns", std::move(columns));
  document.Add("roots", std::move(roots));
  return document;
}

// The same document written by hand, top-down.
void WriteSubtree(int& nextId, int level, std::string& out) {
  const NodeContent node(nextId++);
  out += "{";
  if (!node.nlsLabel) out += "\"label\":\"" + node.labelJson + "\",";
  out += "\"data\":{";
  if (node.nlsLabel) out += "\"NLS_label\":\"" + node.labelJson + "\",";
  out += "\"uid\":[\"" + node.uid + "\"]";
  if (!node.nlsGrid.empty()) out += ",\"NLS_grid\":{\"col1\":\"" + NlsGridJson(node) + "\"}";
  out += "},\"grid\":{";
  bool first = true;
  for (size_t c = 0; c < node.grid.size(); ++c) {
    if (node.grid[c].empty()) continue;
    out += (first ? "\"col" : ",\"col") + std::to_string(c + 1) + "\":\"" + node.grid[c] + "\"";
    first = false;
  }
  out += "}";
  if (level + 1 < kLevels) {
    out += ",\"children\":[";
    for (int i = 0; i < kFanOut; ++i) {
      if (i) out += ",";
      WriteSubtree(nextId, level + 1, out);
    }
    out += "]";
  }
  out += "}";
}

std::string ExpectedDocument(int rootCount) {
  std::string out = R"({"data":{"filterID":"F-1","formatUsage":"Import"},"columns":[)"
                    R"({"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"Column 0"}},)"
                    R"({"dataIndex":"col1","data":{"NLS_text":"Column 1"}},)"
                    R"({"dataIndex":"col2","data":{"NLS_text":"Column 2"}}],"roots":[)";
  int nextId = 0;
  for (int i = 0; i < rootCount; ++i) {
    if (i) out += ",";
    WriteSubtree(nextId, 0, out);
  }
  return out + "]}";
}

int CountNodes(const JIStream& node) {
  int count = 1;
  for (const JIStream& child : node.ReadObjects("children")) count += CountNodes(child);
  return count;
}

TEST(FilterDocument, BuiltBottomUpMatchesTheTextWrittenByHand) {
  EXPECT_EQ(BuildDocument(2).Stringify().Str(), ExpectedDocument(2));
}

TEST(FilterDocument, ReadsBackThroughViews) {
  std::vector<JIStream> roots;
  {
    JIStream document(BuildDocument(2));
    ASSERT_TRUE(document.IsObject()) << document.LastError();
    EXPECT_EQ(document.ReadObject("data").ReadString("filterID").Str(), "F-1");
    const auto columns = document.ReadObjects("columns");
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0].GetType("editableFlag"), JSON::Type::Boolean);
    EXPECT_EQ(columns[2].ReadObject("data").ReadString("NLS_text").Str(), "Column 2");
    roots = document.ReadObjects("roots");
  }
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(CountNodes(roots[0]), 121);
  EXPECT_EQ(CountNodes(roots[1]), 121);

  // Node 1 is the first root's first child, node 122 the second root's.
  const JIStream first = roots[0].ReadObjects("children")[0];
  EXPECT_EQ(first.ReadString("label").Str(), NodeContent(1).label);
  EXPECT_EQ(first.ReadObject("data").ReadObject("NLS_grid").ReadString("col1").Str(),
            "Col\\Name 1");
  EXPECT_EQ(first.ReadObject("grid").Keys().size(), 4u);
  const auto uids = roots[1].ReadObjects("children")[0].ReadObject("data").ReadStrings("uid");
  ASSERT_EQ(uids.size(), 1u);
  EXPECT_EQ(uids[0].Str(), NodeContent(122).uid);
  EXPECT_EQ(roots[0].ReadObject("data").ReadString("NLS_label").Str(), NodeContent(0).label);
  EXPECT_FALSE(roots[0].Exist("label"));
}

TEST(FilterDocument, SurvivesAFileRoundTrip) {
  const auto folder =
      std::filesystem::path(::testing::TempDir()) / ("filterdoc_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const JOStream document = BuildDocument(1);
  const QORUnicodeString compact((folder / "compact.json").string()),
      pretty((folder / "pretty.json").string());
  ASSERT_TRUE(document.WriteFile(compact));
  ASSERT_TRUE(document.WritePrettyFile(pretty));
  for (const QORUnicodeString& path : {compact, pretty}) {
    JIStream view;
    ASSERT_TRUE(view.ParseFile(path)) << view.LastError();
    EXPECT_EQ(JOStream(view).Stringify().Str(), ExpectedDocument(1)) << path.Str();
  }
  std::filesystem::remove_all(folder);
}

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
