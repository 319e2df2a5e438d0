// The tree builder's own paths: the tree from a two-thread index, the sort keys of names and
// the records its quick reader leaves to the full parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "IfcModel.h"
#include "IfcTestSupport.h"
#include "IfcTreeBuilder.h"
#include "StepFile.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::StepFile;
using ifc::StepIndexOptions;
using ifc::TreeBuilder;

using ifctest::Ifc;

std::string BuildTree(const std::string& text, const StepIndexOptions& base, std::size_t* split) {
  StepFile file;
  TreeBuilder builder(file);
  StepIndexOptions options = base;
  options.sink = &builder;
  std::string error;
  if (!file.OpenBuffer(text, error, options)) return "error: " + error;
  if (split != nullptr) *split = file.SplitOffset();
  ifc::Table<Node> nodes;
  ifc::Table<const Node*> links;
  std::vector<std::string> texts;
  ifc::Table<std::string_view> descriptions;
  const Node* const* roots = nullptr;
  std::size_t rootCount = 0;
  builder.Build({nodes, links, texts, descriptions, roots, rootCount});
  return ifctest::Outline(std::span<const Node* const>(roots, rootCount), true);
}

// A small model where relationships point forwards and backwards across any split.
TEST(TreeBuilder, SameTreeWhereverTheIndexSplits) {
  const std::string text = ifctest::ReadFile(ifctest::Crafted("split"));
  StepIndexOptions single;
  single.splitFrom = 0;
  const std::string expected = BuildTree(text, single, nullptr);
  ASSERT_EQ(expected.find("error"), std::string::npos) << expected;
  int used = 0;
  for (std::size_t near = 1; near < text.size(); ++near) {
    StepIndexOptions options;
    options.splitFrom = 1;
    options.splitNear = near;
    std::size_t split = 0;
    EXPECT_EQ(BuildTree(text, options, &split), expected) << "split near " << near;
    if (split != 0) ++used;
  }
  EXPECT_GT(used, 10);
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

// Sorting compares keys, then the names' bytes; that must be NaturalCompare's order.
int KeyOrder(const std::string& a, const std::string& b) {
  const int c = TreeBuilder::NaturalKey(a).compare(TreeBuilder::NaturalKey(b));
  return c != 0 ? Sign(c) : Sign(a.compare(b));
}

TEST(TreeBuilder, NameKeysSortAsNaturalCompare) {
  std::vector<std::string> names = {
      "",   "a",   "A",   "a0",   "a00",    "a01",     "a1",      "a10",         "a9", "a09",
      "9",  "10",  "0",   "00",   "000a",   "x1y2",    "x1y02",   "x01y2",       "a.", "a/",
      "a:", "a@",  "a[",  "a`",   "a{",     "a\x7f",   "cafe",    "caf\xC3\xA9", "Z",  "z",
      "_",  "a b", "a-1", "a-01", "Wall 9", "Wall 10", "wall 10", "Wall 010"};
  for (const std::string& s :
       {std::string("a\0b", 3), std::string("a\0", 2), std::string(300, '7'),
        std::string(300, '7') + "a", "1" + std::string(299, '0'), std::string(256, '9')})
    names.push_back(s);
  std::mt19937 rng(7);
  const std::string alphabet = "aAbB09 -0\x01\xC3";
  for (int i = 0; i < 300; ++i) {
    std::string s;
    const int length = static_cast<int>(rng() % 8);
    for (int k = 0; k < length; ++k) s.push_back(alphabet[rng() % alphabet.size()]);
    names.push_back(s);
  }
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      ASSERT_EQ(KeyOrder(a, b), Sign(TreeBuilder::NaturalCompare(a, b)))
          << "'" << a << "' vs '" << b << "'";
    }
  }
}

// Hundreds of children of mixed kinds: the head order is counted, not compared; it must give
// what a plain stable sort by the same rules gives.
TEST(TreeBuilder, ManySiblingsSortByKindTypeAndName) {
  std::mt19937 rng(11);
  const char* const types[] = {"IFCWALL", "IFCDOOR", "IFCSLAB", "IFCBEAM", "IFCWINDOW", "IFCSPACE"};
  std::string data =
      "#1=IFCPROJECT('p',$,'Project',$,$,$,$,$,$);\n"
      "#2=IFCBUILDINGSTOREY('s',$,'Storey',$,$,$,$,$,.ELEMENT.,0.);\n"
      "#3=IFCRELAGGREGATES('r3',$,$,$,#1,(#2));\n";
  std::string contained;
  std::string aggregated;
  for (int id = 100; id < 700; ++id) {
    const std::string type = types[rng() % 6];
    std::string name;
    switch (rng() % 4) {
      case 0:
        name = "$";
        break;
      case 1:
        name = "'W-" + std::to_string(rng() % 40) + "'";
        break;
      case 2:
        name = "'w-0" + std::to_string(rng() % 40) + "'";
        break;
      default:
        name = "'B" + std::to_string(rng() % 3) + "x" + std::to_string(rng() % 12) + "'";
    }
    data += "#" + std::to_string(id) + "=" + type + "('g" + std::to_string(id) + "',$," + name +
            ",$,$,$,$,$,$);\n";
    std::string& list = type == "IFCSPACE" ? aggregated : contained;
    list += (list.empty() ? "#" : ",#") + std::to_string(id);
  }
  data += "#800=IFCRELCONTAINEDINSPATIALSTRUCTURE('r',$,$,$,(" + contained + "),#2);\n";
  data += "#801=IFCRELAGGREGATES('a',$,$,$,#2,(" + aggregated + "));\n";

  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(Ifc(data), error)) << error;
  ASSERT_EQ(model.Roots().size(), 1u);
  ASSERT_EQ(model.Roots()[0]->Children().size(), 1u);
  const auto children = model.Roots()[0]->Children()[0]->Children();
  ASSERT_EQ(children.size(), 600u);

  std::vector<const Node*> expected(children.begin(), children.end());
  std::sort(expected.begin(), expected.end(),
            [](const Node* a, const Node* b) { return a->InstanceNumber() < b->InstanceNumber(); });
  std::stable_sort(expected.begin(), expected.end(), [](const Node* a, const Node* b) {
    if (a->IsSpatial() != b->IsSpatial()) return a->IsSpatial();
    if (a->TypeName() != b->TypeName()) return a->TypeName() < b->TypeName();
    if (a->Name().empty() != b->Name().empty()) return b->Name().empty();
    return TreeBuilder::NaturalCompare(a->Name(), b->Name()) < 0;
  });
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(children[i]->InstanceNumber(), expected[i]->InstanceNumber()) << "child " << i;
  }
}

TEST(TreeBuilder, RecordsTheQuickReaderLeavesToTheFullParser) {
  Model model;
  std::string error;
  ASSERT_TRUE(model.Open(ifctest::Crafted("quick-reader"), error)) << error;
  auto labels = [](const Node* parent) {
    std::vector<std::string> out;
    for (const Node* n : parent->Children())
      out.push_back(n->Label() + "|" + std::string(n->GlobalId()));
    return out;
  };
  ASSERT_EQ(model.Roots().size(), 2u);
  // A list inside the list and a typed item leave those items out; a number past 64 bits
  // breaks the list it is in, and the name after it.
  EXPECT_EQ(
      labels(model.Roots()[0]),
      (std::vector<std::string>{"Commented|w2", "List first|w7", "Nineteen digits|w5", "Spaced|w9",
                                "Twenty digits|w4", "Typed|w3", "IfcWall #13|w13"}));
  EXPECT_EQ(labels(model.Roots()[1]),
            (std::vector<std::string>{"IfcWall #6|w6", "Eight|w8", "IfcWall #10|w10", "Number|w11",
                                      "It's|w\xC3\xA9"}));
}

TEST(TreeBuilder, HugeNames) {
  const std::string name(4u << 20, 'w');
  const std::string text =
      Ifc("#1=IFCPROJECT('0001',$,'Project',$,$,$,$,$,$);\n#10=IFCWALL('w10',$,'" + name +
          "\\X2\\00E9\\X0\\',$,$,$,$,$,$);\n#11=IFCRELAGGREGATES('r',$,$,$,#1,(#10));\n");
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(text, error)) << error;
  ASSERT_EQ(model.Roots()[0]->Children().size(), 1u);
  const std::string_view got = model.Roots()[0]->Children()[0]->Name();
  EXPECT_EQ(got.size(), name.size() + 2);
  EXPECT_EQ(got.substr(got.size() - 3), "w\xC3\xA9");
}

}  // namespace
