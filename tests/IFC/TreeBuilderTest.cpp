// The tree builder's own paths: the tree from a two-thread index, the sort keys of names and
// the records its quick reader leaves to the full parser.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "IfcModel.h"
#include "IfcTreeBuilder.h"
#include "StepFile.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::StepFile;
using ifc::StepIndexOptions;
using ifc::TreeBuilder;

std::string Ifc(const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('x'),'2;1');\n"
         "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n" +
         data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Every node with its fields, depth first in child order.
std::string Describe(const std::vector<const Node*>& roots) {
  std::string out;
  std::vector<std::pair<const Node*, int>> pending;
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) pending.emplace_back(*it, 0);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    out += std::string(static_cast<std::size_t>(depth), ' ') + node->Label() + "|" +
           std::string(node->GlobalId()) + "|" + std::string(node->TypeName()) + "|" +
           std::string(node->ElevationText()) + "|" + (node->IsSpatial() ? "s" : "") +
           (node->IsLatestSpatial() ? "l" : "") + (node->IsSynthetic() ? "g" : "") + "\n";
    const auto kids = node->Children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return out;
}

std::string BuildTree(const std::string& text, const StepIndexOptions& base, std::size_t* split) {
  StepFile file;
  TreeBuilder builder(file);
  StepIndexOptions options = base;
  options.sink = &builder;
  std::string error;
  if (!file.OpenBuffer(text, error, options)) return "error: " + error;
  if (split != nullptr) *split = file.SplitOffset();
  std::vector<Node> nodes;
  std::vector<const Node*> links;
  std::vector<std::string> texts;
  std::vector<std::string_view> descriptions;
  const Node* const* roots = nullptr;
  std::size_t rootCount = 0;
  builder.Build({nodes, links, texts, descriptions, roots, rootCount});
  return Describe(std::vector<const Node*>(roots, roots + rootCount));
}

// A small model where relationships point forwards and backwards across any split.
std::string Crafted() {
  return Ifc(
      "#1=IFCPROJECT('p1',$,'Project',$,$,$,$,$,$);\n"
      "#40=IFCRELCONTAINEDINSPATIALSTRUCTURE('r40',$,$,$,(#30,#31,#32,#999),#10);\n"
      "#2=IFCSITE('s2',$,'Site;#3=IFCFAKE(',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n"
      "#3=IFCBUILDING('b3',$,'Building',$,$,$,$,$,.ELEMENT.,$,$,$);\n"
      "#4=IFCRELAGGREGATES('r4',$,$,$,#1,(#2));\n"
      "#5=IFCRELAGGREGATES('r5',$,$,$,#2,(#3));\n"
      "#10=IFCBUILDINGSTOREY('s10',$,'Level 10',$,$,$,$,$,.ELEMENT.,3000.);\n"
      "#11=IFCBUILDINGSTOREY('s11',$,'Level 9',$,$,$,$,$,.ELEMENT.,-0.);\n"
      "#12=IFCRELAGGREGATES('r12',$,$,$,#3,(#10,#11));\n"
      "#30=IFCWALL('w30',$,'Wall 10',$,$,$,$,$,$);\n"
      "#31=IFCWALL('w31',$,'wall 9',$,$,$,$,$,$);\n"
      "#32=IFCFUTURETHING('u32',$,'Gizmo',$,$,$,$,$);\n"
      "#33=IFCBEAM('b33',$,IFCLABEL('Loose'),$,$,$,$,$,$);\n"
      "#34=(IFCBUILDINGELEMENTPROXY()IFCMIXIN('x'));\n"
      "#41=IFCRELAGGREGATES('r41',$,$,$,#30,(#34,#35));\n"
      "#35=IFCMEMBER('m35' /* c */ ,$,'Part;',$,$,$,$,$,$);\n"
      "#36=IFCSPACE('x36',$,'Room 2',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#37=IFCSPACE('x37',$,'Room 10',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#38=IFCRELAGGREGATES('r38',$,$,$,#11,(#37,#36));\n"
      "#50=IFCRELAGGREGATES('r50',$,$,$,#51,(#52));\n"
      "#51=IFCSPACE('x51',$,'Loop A',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#52=IFCSPACE('x52',$,'Loop B',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#53=IFCRELAGGREGATES('r53',$,$,$,#52,(#51));\n");
}

TEST(TreeBuilder, SameTreeWhereverTheIndexSplits) {
  const std::string text = Crafted();
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

TEST(TreeBuilder, SameTreeAsTheModelGives) {
  const std::string text = Crafted();
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(text, error)) << error;
  const auto roots = model.Roots();
  StepIndexOptions options;
  options.splitFrom = 1;
  EXPECT_EQ(BuildTree(text, options, nullptr),
            Describe(std::vector<const Node*>(roots.begin(), roots.end())));
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
  std::vector<std::string> names = {"",
                                    "a",
                                    "A",
                                    "a0",
                                    "a00",
                                    "a01",
                                    "a1",
                                    "a10",
                                    "a9",
                                    "a09",
                                    "Wall 9",
                                    "Wall 10",
                                    "wall 10",
                                    "Wall 010",
                                    "9",
                                    "10",
                                    "0",
                                    "00",
                                    "000a",
                                    "x1y2",
                                    "x1y02",
                                    "x01y2",
                                    "a.",
                                    "a/",
                                    "a:",
                                    "a@",
                                    "a[",
                                    "a`",
                                    "a{",
                                    "a\x7f",
                                    "caf\xC3\xA9",
                                    "cafe",
                                    "Z",
                                    "z",
                                    "_",
                                    "a b",
                                    "a-1",
                                    "a-01",
                                    std::string("a\0b", 3),
                                    std::string("a\0", 2),
                                    std::string(300, '7'),
                                    std::string(300, '7') + "a",
                                    "1" + std::string(299, '0'),
                                    std::string(256, '9')};
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

TEST(TreeBuilder, RecordsTheQuickReaderLeavesToTheFullParser) {
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(
      Ifc("#1=IFCPROJECT('p1',$,'Project',$,$,$,$,$,$);\n"
          "#2=IFCWALL('w2' , /* c */ #5 , 'Commented');\n"
          "#3=IFCWALL('w3',$,IFCLABEL('Typed'));\n"
          "#4=IFCWALL('w4',#12345678901234567890,'Twenty digits');\n"
          "#5=IFCWALL('w5',#1234567890123456789,'Nineteen digits');\n"
          "#6=IFCWALL('w6',$);\n"
          "#7=IFCWALL('w7',(#1,#2),'List first');\n"
          "#8=IFCWALL('w8',$,'Eight');\n"
          "#9=IFCWALL(\t'w9'\r\n,\n*,\t'Spaced');\n"
          "#10=IFCWALL('w10',#,'No digits');\n"
          "#11=IFCWALL('w11',1.5,'Number');\n"
          "#12=IFCWALL('w\\X2\\00E9\\X0\\',$,'It''s');\n"
          "#13=IFCWALL('w13',#99999999999999999999,'Past 64 bits');\n"
          "#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('r',$,$,$,( #2 , /* x */ #3,#4),#1);\n"
          "#21=IFCRELCONTAINEDINSPATIALSTRUCTURE('r',$,$,$,(#5,(#6)),#1);\n"
          "#22=IFCRELCONTAINEDINSPATIALSTRUCTURE('r',$,$,$,(#7,IFCX(#8)),#1);\n"
          "#23=IFCRELCONTAINEDINSPATIALSTRUCTURE('r',$,$,$,(#9,'#10',$,*),#1);\n"
          "#24=IFCRELAGGREGATES('r',$,$,$,#12345678901234567890,(#11));\n"
          "#25=IFCRELAGGREGATES('r',$,$,$,#1,(#12,#99999999999999999999));\n"
          "#26=IFCRELAGGREGATES('r',$,$,$,#1,(#13));\n"),
      error))
      << error;
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

}  // namespace
