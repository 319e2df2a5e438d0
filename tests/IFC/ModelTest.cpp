// The entity tree over crafted files: placement rules, ordering, damaged relationships, and
// files the model refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "IfcModel.h"
#include "IfcTestSupport.h"

namespace {

using ifc::Model;
using ifc::SchemaVersion;
using ifctest::Find;
using ifctest::Ifc;
using ifctest::kFrame;
using ifctest::Outline;

// Each crafted file of tests/IFC/files (it says what it holds) gives the tree written in its
// .tree file: parents, order, labels, ids, types, elevations and spatial flags.
TEST(Model, TreesOfCraftedFiles) {
  for (const char* name :
       {"order", "aggregation", "cycles", "dangling", "complex", "ifc2x3", "ifc4x3", "orphans"}) {
    Model model;
    std::string error;
    ASSERT_TRUE(model.Open(ifctest::Crafted(name), error)) << name << ": " << error;
    EXPECT_EQ(Outline(model.Roots(), true), ifctest::ReadFile(ifctest::Tree(name))) << name;
    EXPECT_EQ(ifctest::AllNodes(model.Roots()).size(), model.NodeCount()) << name;
  }
}

TEST(Model, NodeFieldsAndAttributesOnRequest) {
  // The model reads attributes from the buffer on request: it must outlive the model.
  const std::string text =
      Ifc("#1=IFCPROJECT('0001',$,'Old Project',$,$,$,$,$,$);\n"
          "#3=IFCBUILDINGSTOREY('3vB2YO$MX4xv5uCqZZG05x',$,'Level 0',$,$,$,$,$,.ELEMENT.,-15.E2);\n"
          "#4=IFCWALLSTANDARDCASE('0004',$,'Old Wall','Outer','Basic',$,$,'T-4');\n"
          "#5=IFCRELAGGREGATES('r5',$,$,$,#1,(#3));\n"
          "#7=IFCRELCONTAINEDINSPATIALSTRUCTURE('r7',$,$,$,(#4),#3);\n",
          "IFC2X3_TC1");
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(text, error)) << error;
  EXPECT_EQ(model.Schema(), SchemaVersion::Ifc2x3);
  EXPECT_EQ(model.SchemaName(), "IFC2X3_TC1");
  const ifc::Node* storey = Find(model, "Level 0");
  const ifc::Node* wall = Find(model, "Old Wall");
  ASSERT_TRUE(storey && wall);
  EXPECT_EQ(storey->GlobalId(), "3vB2YO$MX4xv5uCqZZG05x");
  EXPECT_DOUBLE_EQ(storey->Elevation(), -1500.0);
  EXPECT_EQ(wall->Parent(), storey);
  EXPECT_EQ(storey->Parent(), model.Roots()[0]);
  EXPECT_EQ(model.Attribute(*wall, ifc::NodeAttribute::Tag), "T-4");
  EXPECT_EQ(model.Attribute(*wall, ifc::NodeAttribute::Description), "Outer");
  EXPECT_EQ(model.Attribute(*wall, ifc::NodeAttribute::ObjectType), "Basic");
  EXPECT_EQ(model.Attribute(*storey, ifc::NodeAttribute::Tag), "");
}

TEST(Model, DeepDecompositionDoesNotRecurse) {
  constexpr int kDepth = 100000;
  std::string data = kFrame +
                     "#10=IFCBUILDINGSTOREY('s10',$,'Storey',$,$,$,$,$,.ELEMENT.,0.);\n"
                     "#11=IFCRELAGGREGATES('r11',$,$,$,#3,(#10));\n"
                     "#12=IFCRELCONTAINEDINSPATIALSTRUCTURE('r12',$,$,$,(#100),#10);\n";
  char line[160];
  for (int i = 0; i < kDepth; ++i) {
    const int id = 100 + 2 * i;
    std::snprintf(line, sizeof line, "#%d=IFCELEMENTASSEMBLY('a',$,'Link %d',$,$,$,$,$,$,$);\n", id,
                  i);
    data += line;
    std::snprintf(line, sizeof line, "#%d=IFCRELAGGREGATES('r',$,$,$,#%d,(#%d));\n", id + 1, id,
                  id + 2);
    if (i + 1 < kDepth) data += line;
  }
  data = Ifc(data);
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(data, error)) << error;
  int depth = 0;
  const ifc::Node* n = Find(model, "Link 0");
  for (; n != nullptr && !n->Children().empty(); ++depth) n = n->Children()[0];
  EXPECT_EQ(depth, kDepth - 1);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Label(), "Link " + std::to_string(kDepth - 1));
}

// Refusals are one line; a failed open leaves nothing of the file before behind.
TEST(Model, RefusedFilesAndReopening) {
  const std::pair<std::string, std::string> refused[] = {
      {Ifc("#1=IFCA();\n", "CONFIG_CONTROL_DESIGN"), "unsupported schema 'CONFIG_CONTROL_DESIGN'"},
      {"ISO-10303-21;HEADER;FILE_NAME('','',(''),(''),'','','');ENDSEC;DATA;ENDSEC;"
       "END-ISO-10303-21;",
       "no FILE_SCHEMA"},
      {"just some text\n", "not a STEP file"},
  };
  const std::string frame = Ifc(kFrame);
  Model model;
  std::string error;
  for (const auto& [text, message] : refused) {
    ASSERT_TRUE(model.OpenBuffer(frame, error)) << error;
    EXPECT_FALSE(model.OpenBuffer(text, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(model.Roots().empty());
    EXPECT_EQ(model.NodeCount(), 0u);
    EXPECT_EQ(model.Schema(), SchemaVersion::Unknown);
    EXPECT_TRUE(model.SchemaName().empty());
  }
  const std::string missing = ::testing::TempDir() + "/missing.ifc";
  EXPECT_FALSE(model.Open(missing, error));
  EXPECT_NE(error.find("cannot open '" + missing + "'"), std::string::npos) << error;
  ASSERT_TRUE(model.OpenBuffer(frame, error)) << error;
  model.Close();
  EXPECT_TRUE(model.Roots().empty());
  EXPECT_EQ(model.NodeCount(), 0u);
}

TEST(Model, ClassifiesSchemaNames) {
  const std::pair<const char*, SchemaVersion> cases[] = {
      {"IFC2X3", SchemaVersion::Ifc2x3},      {"IFC2X3_TC1", SchemaVersion::Ifc2x3},
      {"IFC4", SchemaVersion::Ifc4},          {"IFC4_ADD2_TC1", SchemaVersion::Ifc4},
      {"IFC4X1", SchemaVersion::Ifc4},        {"IFC4X3", SchemaVersion::Ifc4x3},
      {"IFC4X3_ADD2", SchemaVersion::Ifc4x3}, {"IFC2X2_FINAL", SchemaVersion::Unknown},
      {"IFC44", SchemaVersion::Unknown},      {"AP214", SchemaVersion::Unknown}};
  for (const auto& [name, version] : cases) EXPECT_EQ(Model::ClassifySchema(name), version) << name;
}

}  // namespace

// Once a stretch of the file is read, the room its tables did not use goes back to the
// kernel by whole pages: on a file whose tables span many, every entity keeps its text and
// its cells.
TEST(Model, ManyEntitiesKeepTheirTextOnceTheTablesRoomIsReleased) {
  constexpr int kWalls = 12000;
  std::string data = kFrame +
                     "#6=IFCBUILDINGSTOREY('0006',$,'Level 0',$,$,$,$,$,.ELEMENT.,0.);\n"
                     "#7=IFCRELAGGREGATES('r7',$,$,$,#3,(#6));\n";
  std::string contained = "#8=IFCRELCONTAINEDINSPATIALSTRUCTURE('r8',$,$,$,(";
  for (int i = 0; i < kWalls; ++i) {
    const std::string n = std::to_string(i);
    const std::string id = std::to_string(100 + 4 * i);
    auto ref = [&](int k) { return "#" + std::to_string(100 + 4 * i + k); };
    data += "#" + id + "=IFCWALL('w" + n + "',$,'Wall " + n + "',$,$,$,$,'T" + n + "',$);\n" +
            ref(1) + "=IFCPROPERTYSINGLEVALUE('Width',$,IFCLENGTHMEASURE(" + n + ".5),$);\n" +
            ref(2) + "=IFCPROPERTYSET('s" + n + "',$,'Pset_Common',$,(" + ref(1) + "));\n" +
            ref(3) + "=IFCRELDEFINESBYPROPERTIES('d" + n + "',$,$,$,(#" + id + ")," + ref(2) +
            ");\n";
    contained += (i == 0 ? "#" : ",#") + id;
  }
  data += contained + "),#6);\n";
  const std::vector<std::string> columns = {"Pset_Common.Width", "Tag"};
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(Ifc(data), error, columns)) << error;
  ASSERT_EQ(model.NodeCount(), std::size_t{kWalls} + 4);
  const ifc::Node* storey = Find(model, "Level 0");
  ASSERT_NE(storey, nullptr);
  ASSERT_EQ(storey->Children().size(), std::size_t{kWalls});
  int wrong = 0;
  for (const ifc::Node* wall : storey->Children()) {
    const std::string n = std::to_string((wall->InstanceNumber() - 100) / 4);
    wrong += wall->Name() != "Wall " + n || wall->GlobalId() != "w" + n ||
             model.Value(0, *wall) != n + ".5" || model.Value(1, *wall) != "T" + n;
  }
  EXPECT_EQ(wrong, 0);
}
