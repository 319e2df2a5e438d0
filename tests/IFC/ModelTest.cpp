// The entity tree over crafted files: placement rules, ordering, damaged relationships.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "IfcModel.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::SchemaVersion;

std::string Ifc(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [x]'),'2;1');\n"
         "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Project -> site -> building, the frame most cases hang their storeys on.
const std::string kFrame =
    "#1=IFCPROJECT('0001',$,'Project',$,$,$,$,$,$);\n"
    "#2=IFCSITE('0002',$,'Site',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n"
    "#3=IFCBUILDING('0003',$,'Building',$,$,$,$,$,.ELEMENT.,$,$,$);\n"
    "#4=IFCRELAGGREGATES('r4',$,$,$,#1,(#2));\n"
    "#5=IFCRELAGGREGATES('r5',$,$,$,#2,(#3));\n";

std::vector<const Node*> AllNodes(const Model& model) {
  std::vector<const Node*> out(model.Roots().begin(), model.Roots().end());
  for (std::size_t i = 0; i < out.size(); ++i) {
    for (const Node* c : out[i]->Children()) out.push_back(c);
  }
  return out;
}

const Node* Find(const Model& model, const std::string& label) {
  const Node* found = nullptr;
  for (const Node* n : AllNodes(model)) {
    if (n->Label() == label) {
      EXPECT_EQ(found, nullptr) << "label appears twice: " << label;
      found = n;
    }
  }
  return found;
}

std::vector<std::string> ChildLabels(const Node* node) {
  std::vector<std::string> out;
  if (node == nullptr) return out;
  for (const Node* c : node->Children()) out.push_back(c->Label());
  return out;
}

std::vector<std::string> RootLabels(const Model& model) {
  std::vector<std::string> out;
  for (const Node* r : model.Roots()) out.push_back(r->Label());
  return out;
}

class ModelTest : public ::testing::Test {
 protected:
  void Open(const std::string& text) {
    std::string error;
    _text = text;
    ASSERT_TRUE(_model.OpenBuffer(_text, error)) << error;
  }
  std::string _text;
  Model _model;
};

TEST_F(ModelTest, StoreysByElevationThenSpatialThenElementsByTypeAndName) {
  Open(Ifc(
      kFrame +
      "#10=IFCBUILDINGSTOREY('s10',$,'Level 1',$,$,$,$,$,.ELEMENT.,3000.);\n"
      "#11=IFCBUILDINGSTOREY('s11',$,'Basement',$,$,$,$,$,.ELEMENT.,-3000.);\n"
      "#12=IFCBUILDINGSTOREY('s12',$,'Ground',$,$,$,$,$,.ELEMENT.,0.);\n"
      "#13=IFCBUILDINGSTOREY('s13',$,'Mezzanine',$,$,$,$,$,.ELEMENT.,$);\n"
      "#14=IFCBUILDINGSTOREY('s14',$,'Roof',$,$,$,$,$,.ELEMENT.,6000);\n"
      "#15=IFCRELAGGREGATES('r15',$,$,$,#3,(#13,#10,#14,#12,#11));\n"
      "#20=IFCSPACE('x20',$,'Room 10',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#21=IFCSPACE('x21',$,'Room 9',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
      "#22=IFCRELAGGREGATES('r22',$,$,$,#12,(#20,#21));\n"
      "#30=IFCWALL('w30',$,'Wall B',$,$,$,$,$,$);\n"
      "#31=IFCWALL('w31',$,'wall a',$,$,$,$,$,$);\n"
      "#32=IFCWALL('w32',$,$,$,$,$,$,$,$);\n"
      "#33=IFCWALL('w33',$,'Same',$,$,$,$,$,$);\n"
      "#34=IFCWALL('w34',$,'Same',$,$,$,$,$,$);\n"
      "#35=IFCDOOR('d35',$,'Door',$,$,$,$,$,$,$,$,$,$);\n"
      "#36=IFCWALLSTANDARDCASE('w36',$,'Alpha',$,$,$,$,$);\n"
      "#40=IFCRELCONTAINEDINSPATIALSTRUCTURE('r40',$,$,$,(#34,#32,#30,#36,#35,#31,#33),#12);\n"));

  const Node* building = Find(_model, "Building");
  EXPECT_EQ(ChildLabels(building),
            (std::vector<std::string>{"Basement", "Ground", "Level 1", "Roof", "Mezzanine"}));
  const Node* ground = Find(_model, "Ground");
  EXPECT_EQ(ChildLabels(ground),
            (std::vector<std::string>{"Room 9", "Room 10", "Door", "Same", "Same", "wall a",
                                      "Wall B", "IfcWall #32", "Alpha"}));
  // Equal names keep file order.
  EXPECT_EQ(ground->Children()[3]->InstanceNumber(), 33u);
  EXPECT_EQ(ground->Children()[4]->InstanceNumber(), 34u);

  EXPECT_EQ(Find(_model, "Basement")->ElevationText(), "-3000.");
  EXPECT_DOUBLE_EQ(Find(_model, "Basement")->Elevation(), -3000.0);
  EXPECT_EQ(Find(_model, "Roof")->ElevationText(), "6000");
  EXPECT_FALSE(Find(_model, "Mezzanine")->HasElevation());
  EXPECT_FALSE(Find(_model, "Wall B")->HasElevation());
}

TEST_F(ModelTest, NodeFieldsAndSpatialFlags) {
  Open(Ifc(kFrame +
           "#10=IFCBUILDINGSTOREY('3vB2YO$MX4xv5uCqZZG05x',$,'L1',$,$,$,$,$,.ELEMENT.,0.);\n"
           "#11=IFCBUILDINGSTOREY('s11',$,'L2',$,$,$,$,$,.ELEMENT.,3000.);\n"
           "#12=IFCRELAGGREGATES('r12',$,$,$,#3,(#10,#11));\n"
           "#20=IFCSPACE('x20',$,'Room',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
           "#21=IFCRELAGGREGATES('r21',$,$,$,#10,(#20));\n"
           "#30=IFCSLAB('x30',$,'Slab',$,$,$,$,$,$);\n"
           "#31=IFCRELCONTAINEDINSPATIALSTRUCTURE('r31',$,$,$,(#30),#11);\n"));
  ASSERT_EQ(RootLabels(_model), (std::vector<std::string>{"Project"}));
  const Node* project = _model.Roots()[0];
  EXPECT_EQ(project->TypeName(), "IfcProject");
  EXPECT_FALSE(project->IsSpatial());
  EXPECT_EQ(project->Parent(), nullptr);

  const Node* l1 = Find(_model, "L1");
  ASSERT_NE(l1, nullptr);
  EXPECT_EQ(l1->GlobalId(), "3vB2YO$MX4xv5uCqZZG05x");
  EXPECT_EQ(l1->InstanceNumber(), 10u);
  EXPECT_EQ(l1->TypeName(), "IfcBuildingStorey");
  EXPECT_EQ(l1->Parent(), Find(_model, "Building"));

  struct Expect {
    const char* label;
    bool spatial;
    bool latest;
  };
  for (const Expect& e :
       {Expect{"Site", true, false}, Expect{"Building", true, false}, Expect{"L1", true, false},
        Expect{"Room", true, true}, Expect{"L2", true, true}, Expect{"Slab", false, false}}) {
    const Node* n = Find(_model, e.label);
    ASSERT_NE(n, nullptr) << e.label;
    EXPECT_EQ(n->IsSpatial(), e.spatial) << e.label;
    EXPECT_EQ(n->IsLatestSpatial(), e.latest) << e.label;
  }
  EXPECT_EQ(_model.NodeCount(), 7u);
}

TEST_F(ModelTest, AggregationWinsOverContainmentAndFirstContainmentWins) {
  Open(Ifc(kFrame + "#10=IFCBUILDINGSTOREY('s10',$,'A',$,$,$,$,$,.ELEMENT.,0.);\n"
                    "#11=IFCBUILDINGSTOREY('s11',$,'B',$,$,$,$,$,.ELEMENT.,3000.);\n"
                    "#12=IFCRELAGGREGATES('r12',$,$,$,#3,(#10,#11));\n"
                    "#20=IFCELEMENTASSEMBLY('e20',$,'Truss',$,$,$,$,$,$,$);\n"
                    "#21=IFCMEMBER('e21',$,'Chord',$,$,$,$,$,$);\n"
                    "#22=IFCCOLUMN('e22',$,'Column',$,$,$,$,$,$);\n"
                    "#30=IFCRELCONTAINEDINSPATIALSTRUCTURE('r30',$,$,$,(#20,#21,#22),#10);\n"
                    "#31=IFCRELCONTAINEDINSPATIALSTRUCTURE('r31',$,$,$,(#22),#11);\n"
                    "#32=IFCRELAGGREGATES('r32',$,$,$,#20,(#21));\n"));
  EXPECT_EQ(ChildLabels(Find(_model, "A")), (std::vector<std::string>{"Column", "Truss"}));
  EXPECT_EQ(ChildLabels(Find(_model, "Truss")), (std::vector<std::string>{"Chord"}));
  EXPECT_TRUE(Find(_model, "B")->Children().empty());
}

TEST_F(ModelTest, CyclesAreBrokenAndEveryEntityAppearsOnce) {
  Open(Ifc(kFrame + "#10=IFCBUILDINGSTOREY('s10',$,'Storey',$,$,$,$,$,.ELEMENT.,0.);\n"
                    "#11=IFCRELAGGREGATES('r11',$,$,$,#3,(#10));\n"
                    "#20=IFCBUILDINGELEMENTPROXY('p20',$,'A',$,$,$,$,$,$);\n"
                    "#21=IFCBUILDINGELEMENTPROXY('p21',$,'B',$,$,$,$,$,$);\n"
                    "#22=IFCBUILDINGELEMENTPROXY('p22',$,'C',$,$,$,$,$,$);\n"
                    "#23=IFCBUILDINGELEMENTPROXY('p23',$,'Self',$,$,$,$,$,$);\n"
                    "#30=IFCRELCONTAINEDINSPATIALSTRUCTURE('r30',$,$,$,(#20,#23),#10);\n"
                    "#31=IFCRELAGGREGATES('r31',$,$,$,#20,(#21));\n"
                    "#32=IFCRELAGGREGATES('r32',$,$,$,#21,(#22));\n"
                    "#33=IFCRELAGGREGATES('r33',$,$,$,#22,(#20));\n"
                    "#34=IFCRELAGGREGATES('r34',$,$,$,#23,(#23));\n"
                    // A second whole for the site: the first aggregation keeps it.
                    "#35=IFCRELAGGREGATES('r35',$,$,$,#3,(#2));\n"
                    // Two spaces holding each other and nothing else.
                    "#40=IFCSPACE('x40',$,'Loop 1',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
                    "#41=IFCSPACE('x41',$,'Loop 2',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);\n"
                    "#42=IFCRELAGGREGATES('r42',$,$,$,#40,(#41));\n"
                    "#43=IFCRELAGGREGATES('r43',$,$,$,#41,(#40));\n"));
  const auto nodes = AllNodes(_model);
  EXPECT_EQ(nodes.size(), _model.NodeCount());
  std::map<uint32_t, int> seen;
  for (const Node* n : nodes) ++seen[n->InstanceNumber()];
  for (const uint32_t id : {1u, 2u, 3u, 10u, 20u, 21u, 22u, 23u, 40u, 41u}) {
    EXPECT_EQ(seen[id], 1) << "#" << id;
  }
  EXPECT_EQ(Find(_model, "Site")->Parent(), Find(_model, "Project"));
  // The spaces' loop is cut: one of them is a root (spatial) holding the other.
  const auto roots = RootLabels(_model);
  ASSERT_EQ(roots.size(), 3u);
  EXPECT_EQ(roots[0], "Project");
  EXPECT_TRUE(roots[1] == "Loop 1" || roots[1] == "Loop 2") << roots[1];
  EXPECT_EQ(_model.Roots()[1]->Children().size(), 1u);
  EXPECT_FALSE(_model.Roots()[1]->IsLatestSpatial());
  EXPECT_TRUE(_model.Roots()[1]->Children()[0]->IsLatestSpatial());
  EXPECT_EQ(roots[2], "Unplaced elements");
  // The loop A -> B -> C -> A is cut once: one of them hangs the other two below it.
  int loopRoots = 0;
  for (const char* label : {"A", "B", "C"}) {
    const Node* n = Find(_model, label);
    ASSERT_NE(n, nullptr);
    const Node* p = n->Parent();
    if (p == nullptr || p->Label() == "Storey" || p->IsSynthetic()) ++loopRoots;
  }
  EXPECT_EQ(loopRoots, 1);
  EXPECT_EQ(Find(_model, "Self")->Parent(), Find(_model, "Storey"));
}

TEST_F(ModelTest, DeepDecompositionDoesNotRecurse) {
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
    if (i + 1 < kDepth) {
      std::snprintf(line, sizeof line, "#%d=IFCRELAGGREGATES('r',$,$,$,#%d,(#%d));\n", id + 1, id,
                    id + 2);
      data += line;
    }
  }
  Open(Ifc(data));
  int depth = 0;
  const Node* n = Find(_model, "Link 0");
  while (n != nullptr && !n->Children().empty()) {
    n = n->Children()[0];
    ++depth;
  }
  EXPECT_EQ(depth, kDepth - 1);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Label(), "Link " + std::to_string(kDepth - 1));
}

TEST_F(ModelTest, DanglingReferencesUnknownTypesAndUnplacedElements) {
  Open(Ifc(kFrame + "#10=IFCBUILDINGSTOREY('s10',$,'Storey',$,$,$,$,$,.ELEMENT.,0.);\n"
                    "#11=IFCRELAGGREGATES('r11',$,$,$,#3,(#10,#999));\n"
                    "#20=IFCWALL('w20',$,'Placed',$,$,$,$,$,$);\n"
                    "#21=IFCFUTURETHING('u21',$,'Gizmo',$,$,$,$,$);\n"
                    "#22=IFCOTHERUNKNOWN('u22',$,'Hidden',$,$,$,$,$);\n"
                    "#23=IFCBEAM('b23',$,'Loose Beam',$,$,$,$,$,$);\n"
                    "#24=IFCOPENINGELEMENT('o24',$,'Loose Opening',$,$,$,$,$,$);\n"
                    "#25=IFCWALL('w25',$,'Orphan Part',$,$,$,$,$,$);\n"
                    "#26=IFCCOLUMN('c26',$,'Lost Column',$,$,$,$,$,$);\n"
                    "#30=IFCRELCONTAINEDINSPATIALSTRUCTURE('r30',$,$,$,(#20,#998,#21),#10);\n"
                    "#31=IFCRELAGGREGATES('r31',$,$,$,#888,(#25));\n"
                    "#32=IFCRELCONTAINEDINSPATIALSTRUCTURE('r32',$,$,$,(#26),#777);\n"
                    "#33=IFCRELCONTAINEDINSPATIALSTRUCTURE('r33',$,$,$,(#20),$);\n"
                    "#34=IFCRELAGGREGATES('r34',$,$,$,#10,'not a list');\n"
                    "#35=IFCRELAGGREGATES('r35',$,$,$,#10,(#20,#21 @ broken;\n"));
  EXPECT_EQ(ChildLabels(Find(_model, "Storey")), (std::vector<std::string>{"Gizmo", "Placed"}));
  EXPECT_EQ(Find(_model, "Gizmo")->TypeName(), "IfcFuturething");
  EXPECT_EQ(Find(_model, "Hidden"), nullptr);
  EXPECT_EQ(Find(_model, "Loose Opening"), nullptr);

  ASSERT_EQ(RootLabels(_model), (std::vector<std::string>{"Project", "Unplaced elements"}));
  const Node* group = _model.Roots()[1];
  EXPECT_TRUE(group->IsSynthetic());
  EXPECT_FALSE(group->IsSpatial());
  EXPECT_EQ(group->InstanceNumber(), 0u);
  EXPECT_TRUE(group->TypeName().empty());
  EXPECT_TRUE(group->GlobalId().empty());
  // File order inside the group.
  EXPECT_EQ(ChildLabels(group),
            (std::vector<std::string>{"Loose Beam", "Orphan Part", "Lost Column"}));
  EXPECT_EQ(Find(_model, "Loose Beam")->Parent(), group);
}

TEST_F(ModelTest, ComplexInstancesAndBrokenRecordsInTheTree) {
  Open(Ifc(kFrame + "#10=(IFCBUILDINGELEMENTPROXY()IFCSOMEMIXIN('x'));\n"
                    "#11=IFCWALL('w11' 'missing comma',$,'Broken');\n"
                    "#12=IFCWALL('w12',$,'Fine',$,$,$,$,$,$);\n"
                    "#20=IFCRELCONTAINEDINSPATIALSTRUCTURE('r20',$,$,$,(#10,#11,#12),#3);\n"));
  const Node* building = Find(_model, "Building");
  ASSERT_EQ(building->Children().size(), 3u);
  // A record too damaged to read still shows, by type and number.
  EXPECT_EQ(ChildLabels(building),
            (std::vector<std::string>{"IfcBuildingElementProxy #10", "Fine", "IfcWall #11"}));
  EXPECT_EQ(Find(_model, "IfcWall #11")->GlobalId(), "w11");
}

TEST_F(ModelTest, HugeNames) {
  const std::string name(4u << 20, 'w');
  Open(Ifc(kFrame + "#10=IFCWALL('w10',$,'" + name + "\\X2\\00E9\\X0\\',$,$,$,$,$,$);\n" +
           "#11=IFCRELCONTAINEDINSPATIALSTRUCTURE('r11',$,$,$,(#10),#3);\n"));
  const Node* building = Find(_model, "Building");
  ASSERT_EQ(building->Children().size(), 1u);
  const std::string_view got = building->Children()[0]->Name();
  EXPECT_EQ(got.size(), name.size() + 2);
  EXPECT_EQ(got.substr(got.size() - 3), "w\xC3\xA9");
}

TEST_F(ModelTest, Ifc2x3File) {
  Open(
      Ifc("#1=IFCPROJECT('0001',$,'Old Project',$,$,$,$,$,$);\n"
          "#2=IFCBUILDING('0002',$,'Old Building',$,$,$,$,$,.ELEMENT.,$,$,$);\n"
          "#3=IFCBUILDINGSTOREY('0003',$,'Level 0',$,$,$,$,$,.ELEMENT.,1500.);\n"
          "#4=IFCWALLSTANDARDCASE('0004',$,'Old Wall',$,$,$,$,'T-4');\n"
          "#5=IFCRELAGGREGATES('r5',$,$,$,#1,(#2));\n"
          "#6=IFCRELAGGREGATES('r6',$,$,$,#2,(#3));\n"
          "#7=IFCRELCONTAINEDINSPATIALSTRUCTURE('r7',$,$,$,(#4),#3);\n",
          "IFC2X3"));
  EXPECT_EQ(_model.Schema(), SchemaVersion::Ifc2x3);
  EXPECT_EQ(_model.SchemaName(), "IFC2X3");
  const Node* wall = Find(_model, "Old Wall");
  ASSERT_NE(wall, nullptr);
  EXPECT_EQ(wall->TypeName(), "IfcWallStandardCase");
  EXPECT_EQ(wall->Parent()->ElevationText(), "1500.");
  EXPECT_EQ(_model.Attribute(*wall, ifc::NodeAttribute::Tag), "T-4");
}

TEST_F(ModelTest, Ifc4x3Facilities) {
  Open(
      Ifc("#1=IFCPROJECT('0001',$,'Road Project',$,$,$,$,$,$);\n"
          "#2=IFCSITE('0002',$,'Corridor',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n"
          "#3=IFCROAD('0003',$,'Main Road',$,$,$,$,$,.ELEMENT.,$);\n"
          "#4=IFCROADPART('0004',$,'Segment 2',$,$,$,$,$,.ELEMENT.,$,$);\n"
          "#5=IFCROADPART('0005',$,'Segment 1',$,$,$,$,$,.ELEMENT.,$,$);\n"
          "#6=IFCCOURSE('0006',$,'Base Course',$,$,$,$,$,$);\n"
          "#7=IFCRELAGGREGATES('r7',$,$,$,#1,(#2));\n"
          "#8=IFCRELAGGREGATES('r8',$,$,$,#2,(#3));\n"
          "#9=IFCRELAGGREGATES('r9',$,$,$,#3,(#4,#5));\n"
          "#10=IFCRELCONTAINEDINSPATIALSTRUCTURE('r10',$,$,$,(#6),#5);\n",
          "IFC4X3_ADD2"));
  EXPECT_EQ(_model.Schema(), SchemaVersion::Ifc4x3);
  EXPECT_EQ(ChildLabels(Find(_model, "Main Road")),
            (std::vector<std::string>{"Segment 1", "Segment 2"}));
  EXPECT_TRUE(Find(_model, "Main Road")->IsSpatial());
  EXPECT_FALSE(Find(_model, "Main Road")->IsLatestSpatial());
  EXPECT_TRUE(Find(_model, "Segment 1")->IsLatestSpatial());
  EXPECT_EQ(Find(_model, "Segment 1")->TypeName(), "IfcRoadPart");
  EXPECT_EQ(Find(_model, "Base Course")->Parent(), Find(_model, "Segment 1"));
}

TEST_F(ModelTest, OrphanSpatialEntitiesBecomeRoots) {
  Open(
      Ifc("#1=IFCBUILDINGSTOREY('s1',$,'Upper',$,$,$,$,$,.ELEMENT.,3000.);\n"
          "#2=IFCBUILDINGSTOREY('s2',$,'Lower',$,$,$,$,$,.ELEMENT.,0.);\n"
          "#3=IFCPROJECT('p3',$,'Project',$,$,$,$,$,$);\n"));
  EXPECT_EQ(RootLabels(_model), (std::vector<std::string>{"Project", "Lower", "Upper"}));
  EXPECT_TRUE(_model.Roots()[1]->IsLatestSpatial());
}

TEST(ModelSchema, ClassifiesSchemaNames) {
  EXPECT_EQ(Model::ClassifySchema("IFC2X3"), SchemaVersion::Ifc2x3);
  EXPECT_EQ(Model::ClassifySchema("IFC2X3_TC1"), SchemaVersion::Ifc2x3);
  EXPECT_EQ(Model::ClassifySchema("IFC4"), SchemaVersion::Ifc4);
  EXPECT_EQ(Model::ClassifySchema("IFC4_ADD2_TC1"), SchemaVersion::Ifc4);
  EXPECT_EQ(Model::ClassifySchema("IFC4X1"), SchemaVersion::Ifc4);
  EXPECT_EQ(Model::ClassifySchema("IFC4X3"), SchemaVersion::Ifc4x3);
  EXPECT_EQ(Model::ClassifySchema("IFC4X3_ADD2"), SchemaVersion::Ifc4x3);
  EXPECT_EQ(Model::ClassifySchema("IFC2X2_FINAL"), SchemaVersion::Unknown);
  EXPECT_EQ(Model::ClassifySchema("IFC44"), SchemaVersion::Unknown);
  EXPECT_EQ(Model::ClassifySchema("AP214"), SchemaVersion::Unknown);
}

TEST(ModelErrors, UnreadableFilesGiveOneLineMessages) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("ifc_model_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string kProject = Ifc("#1=IFCPROJECT('0001',$,'P',$,$,$,$,$,$);\n");
  struct Case {
    std::string name;
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"wrong_schema.stp", Ifc("#1=IFCA();\n", "CONFIG_CONTROL_DESIGN"),
       "unsupported schema 'CONFIG_CONTROL_DESIGN'"},
      {"no_schema.ifc",
       "ISO-10303-21;HEADER;FILE_NAME('','',(''),(''),'','','');ENDSEC;DATA;ENDSEC;"
       "END-ISO-10303-21;",
       "no FILE_SCHEMA"},
      {"text.ifc", "just some text\n", "not a STEP file"},
      {"cut.ifc", kProject.substr(0, kProject.find("#1=") + 10), "truncated file"},
      {"no_end.ifc", kProject.substr(0, kProject.find("END-ISO") + 3), "truncated file"},
  };
  for (const Case& c : cases) {
    const auto path = (dir / c.name).string();
    {
      std::ofstream out(path, std::ios::binary);
      out << c.text;
    }
    Model model;
    std::string error;
    EXPECT_FALSE(model.Open(path, error)) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(model.Roots().empty());
    EXPECT_EQ(model.NodeCount(), 0u);
  }
  Model model;
  std::string error;
  const auto missing = (dir / "missing.ifc").string();
  EXPECT_FALSE(model.Open(missing, error));
  EXPECT_NE(error.find("cannot open '" + missing + "'"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

TEST(ModelLifetime, ReopenAndClose) {
  Model model;
  std::string error;
  const std::string first = Ifc(kFrame);
  const std::string second = Ifc("#1=IFCPROJECT('0001',$,'Other',$,$,$,$,$,$);\n", "IFC2X3");
  ASSERT_TRUE(model.OpenBuffer(first, error)) << error;
  EXPECT_EQ(model.NodeCount(), 3u);
  ASSERT_TRUE(model.OpenBuffer(second, error)) << error;
  EXPECT_EQ(RootLabels(model), (std::vector<std::string>{"Other"}));
  EXPECT_EQ(model.Schema(), SchemaVersion::Ifc2x3);
  // A failed open leaves nothing of the previous file behind.
  EXPECT_FALSE(model.OpenBuffer("nonsense", error));
  EXPECT_TRUE(model.Roots().empty());
  EXPECT_EQ(model.Schema(), SchemaVersion::Unknown);
  EXPECT_TRUE(model.SchemaName().empty());
  ASSERT_TRUE(model.OpenBuffer(first, error)) << error;
  model.Close();
  EXPECT_TRUE(model.Roots().empty());
  EXPECT_EQ(model.NodeCount(), 0u);
}

}  // namespace
