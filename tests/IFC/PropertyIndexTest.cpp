// The values of chosen columns: each source of a value on the sample house, the schemas'
// differences on small models, and the same answers wherever the index splits.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "IfcModel.h"
#include "IfcPropertyIndex.h"
#include "IfcStepNames.h"
#include "IfcTreeBuilder.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::PropertyIndex;
using Kind = PropertyIndex::Kind;

// From the build, not from __FILE__: a compiler cache may make that path relative.
std::string SamplePath() {
  return std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
}

std::string Ifc(const std::string& schema, const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('x'),'2;1');\n"
         "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

const Node* Find(const Model& model, const std::string& label) {
  std::vector<const Node*> all(model.Roots().begin(), model.Roots().end());
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i]->Label() == label) return all[i];
    for (const Node* c : all[i]->Children()) all.push_back(c);
  }
  return nullptr;
}

// The cell of the entity labelled `label`; "<no entity>" or "<no column>" when missing.
std::string Cell(const Model& model, const std::string& label, const std::string& column) {
  const Node* node = Find(model, label);
  if (node == nullptr) return "<no entity>";
  const PropertyIndex* index = model.Properties();
  const int c = index ? index->ColumnIndex(column) : -1;
  if (c < 0) return "<no column>";
  return std::string(index->Value(static_cast<std::size_t>(c), node->InstanceNumber()));
}

const PropertyIndex::Column* ColumnOf(const Model& model, const std::string& name) {
  const int c = model.Properties()->ColumnIndex(name);
  return c < 0 ? nullptr : &model.Properties()->Columns()[static_cast<std::size_t>(c)];
}

class HouseColumns : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    _model = new Model();
    const std::vector<std::string> columns = {"Pset_WallCommon.IsExternal",
                                              "Qto_WallBaseQuantities.NetVolume",
                                              "Pset_DoorCommon.FireRating",
                                              "Pset_DoorCommon.HandicapAccessible",
                                              "Pset_WallCommon.Status",
                                              "Pset_SpaceThermalRequirements.SpaceTemperature",
                                              "Pset_SpaceCommon.GrossPlannedArea",
                                              "Pset_WallCommon.ThermalTransmittance",
                                              "Material",
                                              "Classification",
                                              "Layer",
                                              "Tag",
                                              "ObjectType",
                                              "PredefinedType",
                                              "Pset_WallCommon.IsExternal",
                                              "NotAColumn"};
    std::string error;
    ASSERT_TRUE(_model->Open(SamplePath(), error, columns)) << error;
  }
  static void TearDownTestSuite() {
    delete _model;
    _model = nullptr;
  }
  static std::string At(const std::string& label, const std::string& column) {
    return Cell(*_model, label, column);
  }
  static Model* _model;
};

Model* HouseColumns::_model = nullptr;

TEST_F(HouseColumns, ColumnsInTheOrderAskedEachOnce) {
  ASSERT_NE(_model->Properties(), nullptr);
  std::vector<std::string> names;
  for (const auto& c : _model->Properties()->Columns()) names.push_back(c.name);
  ASSERT_EQ(names.size(), 14u);
  EXPECT_EQ(names.front(), "Pset_WallCommon.IsExternal");
  EXPECT_EQ(names.back(), "PredefinedType");
  // The columns change nothing of the tree.
  EXPECT_EQ(_model->NodeCount(), 38u);
}

TEST_F(HouseColumns, PropertiesOfTheEntitiesOwnSets) {
  EXPECT_EQ(At("Wall South", "Pset_WallCommon.IsExternal"), "true");
  EXPECT_EQ(At("Upper Wall East", "Pset_WallCommon.IsExternal"), "true");
  EXPECT_EQ(At("Partition", "Pset_WallCommon.IsExternal"), "false");
  EXPECT_EQ(At("Sofa", "Pset_WallCommon.IsExternal"), "");  // no such property: no cell
  // The same property name in another set is another column.
  EXPECT_EQ(At("Kitchen Door", "Pset_WallCommon.IsExternal"), "");
  EXPECT_EQ(At("Wall South", "Pset_WallCommon.ThermalTransmittance"), "0.24");
  EXPECT_EQ(At("Wall South", "Pset_WallCommon.Status"), "NEW, EXISTING");
  EXPECT_EQ(At("Living Room", "Pset_SpaceThermalRequirements.SpaceTemperature"), "20..24");
  EXPECT_EQ(At("Living Room", "Pset_SpaceCommon.GrossPlannedArea"), "18.5");
}

TEST_F(HouseColumns, QuantitiesAreNumbersWithTheProjectUnit) {
  EXPECT_EQ(At("Wall South", "Qto_WallBaseQuantities.NetVolume"), "8.1");
  EXPECT_EQ(At("Wall North", "Qto_WallBaseQuantities.NetVolume"), "9");
  EXPECT_EQ(At("Wall West", "Qto_WallBaseQuantities.NetVolume"), "");
  const auto* volume = ColumnOf(*_model, "Qto_WallBaseQuantities.NetVolume");
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->kind, Kind::Number);
  EXPECT_EQ(volume->unit, "m\xC2\xB3");
  const auto* area = ColumnOf(*_model, "Pset_SpaceCommon.GrossPlannedArea");
  EXPECT_EQ(area->kind, Kind::Number);
  EXPECT_EQ(area->unit, "m\xC2\xB2");
  // A measure the project gives no unit for has none.
  const auto* transmittance = ColumnOf(*_model, "Pset_WallCommon.ThermalTransmittance");
  EXPECT_EQ(transmittance->kind, Kind::Number);
  EXPECT_EQ(transmittance->unit, "");
  EXPECT_EQ(ColumnOf(*_model, "Pset_WallCommon.IsExternal")->kind, Kind::Boolean);
  EXPECT_EQ(ColumnOf(*_model, "Pset_DoorCommon.FireRating")->kind, Kind::Text);
  EXPECT_EQ(ColumnOf(*_model, "Pset_SpaceThermalRequirements.SpaceTemperature")->kind, Kind::Text);
}

TEST_F(HouseColumns, TypePropertiesGiveWayToTheEntitysOwn) {
  EXPECT_EQ(At("Kitchen Door", "Pset_DoorCommon.FireRating"), "EI30");
  EXPECT_EQ(At("Bathroom Door", "Pset_DoorCommon.FireRating"), "EI30");
  EXPECT_EQ(At("Front Door", "Pset_DoorCommon.FireRating"), "EI60");
  for (const char* door : {"Front Door", "Kitchen Door", "Bathroom Door"})
    EXPECT_EQ(At(door, "Pset_DoorCommon.HandicapAccessible"), "true") << door;
}

TEST_F(HouseColumns, MaterialsClassificationsAndLayers) {
  EXPECT_EQ(At("Wall South", "Material"), "Brick");
  EXPECT_EQ(At("Ground Slab", "Material"), "Concrete");
  EXPECT_EQ(At("Upper Wall South", "Material"), "Brick, Insulation");  // layer set usage
  EXPECT_EQ(At("Sofa", "Material"), "");
  EXPECT_EQ(At("Wall North", "Classification"), "Ss_25_10");
  EXPECT_EQ(At("Front Door", "Classification"), "Doors");  // no identification: the name
  EXPECT_EQ(At("Partition", "Classification"), "");
  EXPECT_EQ(At("Wall South", "Layer"), "A-WALL");      // on the shape representation
  EXPECT_EQ(At("Wall West", "Layer"), "A-WALL-CORE");  // on an item of it
  EXPECT_EQ(At("Wall East", "Layer"), "");
}

TEST_F(HouseColumns, ElementAttributes) {
  EXPECT_EQ(At("Front Door", "Tag"), "D01");
  EXPECT_EQ(At("Wall South", "Tag"), "");
  EXPECT_EQ(At("Living Room", "Tag"), "");  // a space's 8th attribute is its long name
  EXPECT_EQ(At("Wall South", "PredefinedType"), "STANDARD");
  EXPECT_EQ(At("Partition", "PredefinedType"), "PARTITIONING");
  EXPECT_EQ(At("Front Door", "PredefinedType"), "DOOR");
  EXPECT_EQ(At("Living Room", "PredefinedType"), "INTERNAL");
  EXPECT_EQ(At("Ground Floor", "PredefinedType"), "");
  EXPECT_EQ(At("Wall South", "ObjectType"), "");
}

TEST(PropertyIndex, NoColumnsNoIndex) {
  Model model;
  std::string error;
  ASSERT_TRUE(model.Open(SamplePath(), error)) << error;
  EXPECT_EQ(model.Properties(), nullptr);
}

TEST(PropertyIndex, EveryColumnTheFileOffers) {
  Model model;
  std::string error;
  const std::vector<std::string> every = {std::string(PropertyIndex::kEveryColumn)};
  ASSERT_TRUE(model.Open(SamplePath(), error, every)) << error;
  const PropertyIndex* index = model.Properties();
  ASSERT_NE(index, nullptr);
  auto count = [&](const std::string& name) -> std::size_t {
    const int c = index->ColumnIndex(name);
    return c < 0 ? 0 : index->CellCount(static_cast<std::size_t>(c));
  };
  EXPECT_EQ(count("Pset_WallCommon.IsExternal"), 10u);
  EXPECT_EQ(count("Pset_DoorCommon.FireRating"), 3u);  // two own, one through the type
  EXPECT_EQ(count("Qto_WallBaseQuantities.Length"), 2u);
  EXPECT_EQ(count("Material"), 17u);
  EXPECT_EQ(count("Classification"), 5u);
  EXPECT_EQ(count("Layer"), 3u);
  EXPECT_EQ(count("Tag"), 3u);
  EXPECT_EQ(index->ColumnIndex("ObjectType"), -1);  // nothing has one
  EXPECT_EQ(index->ColumnIndex("*"), -1);
  EXPECT_EQ(Cell(model, "Front Door", "Pset_DoorCommon.FireRating"), "EI60");
}

// IFC2X3 spells a few things differently: ItemReference, a type's sets, no predefined type on
// spaces; units may be given on the property itself.
TEST(PropertyIndex, Ifc2x3Model) {
  const std::string text =
      Ifc("IFC2X3", R"(#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,#2);
#2=IFCUNITASSIGNMENT((#3,#4));
#3=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);
#4=IFCCONVERSIONBASEDUNIT(#5,.AREAUNIT.,'SQUARE FOOT',#6);
#5=IFCDIMENSIONALEXPONENTS(2,0,0,0,0,0,0);
#6=IFCMEASUREWITHUNIT(IFCAREAMEASURE(0.09290304),#3);
#10=IFCBUILDINGSTOREY('0aaaaaaaaaaaaaaaaaaaa2',$,'Level 1',$,$,$,$,$,.ELEMENT.,0.);
#11=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#10));
#12=IFCWALLSTANDARDCASE('0aaaaaaaaaaaaaaaaaaaa4',$,'W1',$,'Basic Wall',$,$,'T-1');
#13=IFCSPACE('0aaaaaaaaaaaaaaaaaaaa5',$,'S1',$,$,$,$,$,.ELEMENT.,.INTERNAL.,$);
#14=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa6',$,$,$,(#12),#10);
#15=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa7',$,$,$,#10,(#13));
#20=IFCPROPERTYSINGLEVALUE('Width',$,IFCLENGTHMEASURE(0.3),#21);
#21=IFCSIUNIT(*,.LENGTHUNIT.,$,.METRE.);
#22=IFCPROPERTYSINGLEVALUE('Compliant',$,IFCLOGICAL(.U.),$);
#23=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaaa8',$,'Pset_Type',$,(#20,#22));
#24=IFCWALLTYPE('0aaaaaaaaaaaaaaaaaaaa9',$,'WT',$,$,(#23),$,$,$,.STANDARD.);
#25=IFCRELDEFINESBYTYPE('0aaaaaaaaaaaaaaaaaaab1',$,$,$,(#12),#24);
#26=IFCQUANTITYAREA('GrossSideArea',$,$,12.5);
#27=IFCELEMENTQUANTITY('0aaaaaaaaaaaaaaaaaaab2',$,'Qto.Base',$,$,(#26));
#28=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaab3',$,$,$,(#12),#27);
#30=IFCMATERIAL('Concrete');
#31=IFCMATERIAL('Plaster');
#32=IFCMATERIALLAYER(#31,10.,$);
#33=IFCMATERIALLAYER($,50.,.T.);
#34=IFCMATERIALLAYER(#30,200.,$);
#35=IFCMATERIALLAYERSET((#32,#33,#34),'Wall');
#36=IFCMATERIALLAYERSETUSAGE(#35,.AXIS2.,.POSITIVE.,0.);
#37=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab4',$,$,$,(#24),#36);
#38=IFCCLASSIFICATIONREFERENCE($,'21.22',$,$);
#39=IFCRELASSOCIATESCLASSIFICATION('0aaaaaaaaaaaaaaaaaaab5',$,$,$,(#12),#38);
#40=IFCMATERIALLIST((#31,#30));
#41=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab6',$,$,$,(#13),#40);
)");
  Model model;
  std::string error;
  const std::vector<std::string> columns = {"Pset_Type.Width",
                                            "Pset_Type.Compliant",
                                            "Qto.Base.GrossSideArea",
                                            "Material",
                                            "Classification",
                                            "PredefinedType",
                                            "ObjectType",
                                            "Tag"};
  ASSERT_TRUE(model.OpenBuffer(text, error, columns)) << error;
  EXPECT_EQ(Cell(model, "W1", "Pset_Type.Width"), "0.3");
  EXPECT_EQ(ColumnOf(model, "Pset_Type.Width")->unit, "m");  // its own unit beats the project's
  EXPECT_EQ(Cell(model, "W1", "Pset_Type.Compliant"), "");   // unknown is no answer
  // A set name with a dot of its own.
  EXPECT_EQ(Cell(model, "W1", "Qto.Base.GrossSideArea"), "12.5");
  EXPECT_EQ(ColumnOf(model, "Qto.Base.GrossSideArea")->unit, "square foot");
  // The type's layer set (the air gap has no material), and the space's material list.
  EXPECT_EQ(Cell(model, "W1", "Material"), "Plaster, Concrete");
  EXPECT_EQ(Cell(model, "S1", "Material"), "Plaster, Concrete");
  EXPECT_EQ(Cell(model, "W1", "Classification"), "21.22");
  EXPECT_EQ(Cell(model, "W1", "ObjectType"), "Basic Wall");
  EXPECT_EQ(Cell(model, "W1", "Tag"), "T-1");
  EXPECT_EQ(Cell(model, "W1", "PredefinedType"), "");  // IFC2X3 walls have none
  EXPECT_EQ(Cell(model, "S1", "PredefinedType"), "");  // INTERNAL is not one in IFC2X3
}

TEST(PropertyIndex, Ifc4x3ModelAndOddValues) {
  const std::string text =
      Ifc("IFC4X3_ADD2", R"(#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,$);
#2=IFCSITE('0aaaaaaaaaaaaaaaaaaaa2',$,'Site',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);
#3=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#2));
#4=IFCBEAM('0aaaaaaaaaaaaaaaaaaaa4',$,'B1',$,$,$,$,$,.BEAM.);
#5=IFCBEAM('0aaaaaaaaaaaaaaaaaaaa5',$,'B2',$,$,$,$,$,.USERDEFINED.);
#6=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa6',$,$,$,(#4,#5),#2);
#10=IFCPROPERTYSINGLEVALUE('Span',$,IFCLENGTHMEASURE(6000.),$);
#11=IFCPROPERTYSINGLEVALUE('Span',$,IFCLABEL('long'),$);
#12=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaaa7',$,'Pset_BeamCommon',$,(#10));
#13=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaaa8',$,'Pset_BeamCommon',$,(#11));
#14=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaaa9',$,$,$,(#4),#12);
#15=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaab1',$,$,$,(#5),#13);
#16=IFCPROPERTYSINGLEVALUE('Label',$,IFCTEXT('Gr\X2\00FC\X0\n'),$);
#17=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaab2',$,'Custom',$,(#16,#99));
#18=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaab3',$,$,$,(#4,#98),#17);
#20=IFCMATERIAL('Steel',$,$);
#21=IFCMATERIALPROFILE('IPE200',$,#20,$,$,$);
#22=IFCMATERIALPROFILESET('Beams',$,(#21),$);
#23=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab4',$,$,$,(#4),#22);
#24=IFCMATERIAL('Oak',$,$);
#25=IFCMATERIALCONSTITUENT('Frame',$,#24,$,$);
#26=IFCMATERIALCONSTITUENT('Panel',$,#20,$,$);
#27=IFCMATERIALCONSTITUENTSET('Mixed',$,(#25,#26));
#28=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab5',$,$,$,(#5),#27);
)");
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(text, error,
                               std::vector<std::string>{"Pset_BeamCommon.Span", "Custom.Label",
                                                        "Material", "PredefinedType"}))
      << error;
  // A number here and a label there: a text column holding both as written.
  EXPECT_EQ(Cell(model, "B1", "Pset_BeamCommon.Span"), "6000");
  EXPECT_EQ(Cell(model, "B2", "Pset_BeamCommon.Span"), "long");
  EXPECT_EQ(ColumnOf(model, "Pset_BeamCommon.Span")->kind, Kind::Text);
  EXPECT_EQ(Cell(model, "B1", "Custom.Label"), "Gr\xC3\xBCn");  // decoded; dangling refs skipped
  EXPECT_EQ(Cell(model, "B1", "Material"), "Steel");            // profile set
  EXPECT_EQ(Cell(model, "B2", "Material"), "Oak, Steel");       // constituent set
  EXPECT_EQ(Cell(model, "B1", "PredefinedType"), "BEAM");
  EXPECT_EQ(Cell(model, "B2", "PredefinedType"), "USERDEFINED");
}

// A hostile file: lists of lists that would multiply into billions of names, and a loop.
TEST(PropertyIndex, NestedMaterialListsStayBounded) {
  std::string data =
      "#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,$);\n"
      "#2=IFCBUILDINGSTOREY('0aaaaaaaaaaaaaaaaaaaa2',$,'L',$,$,$,$,$,.ELEMENT.,0.);\n"
      "#3=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#2));\n"
      "#4=IFCWALL('0aaaaaaaaaaaaaaaaaaaa4',$,'W',$,$,$,$,$,$);\n"
      "#5=IFCWALL('0aaaaaaaaaaaaaaaaaaaa5',$,'Loop',$,$,$,$,$,$);\n"
      "#6=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa6',$,$,$,(#4,#5),#2);\n"
      "#10=IFCMATERIAL('M',$,$);\n";
  for (int level = 11; level < 17; ++level) {
    std::string items;
    for (int k = 0; k < 50; ++k) items += (k ? ",#" : "#") + std::to_string(level - 1);
    data += "#" + std::to_string(level) + "=IFCMATERIALLIST((" + items + "));\n";
  }
  data +=
      "#20=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab1',$,$,$,(#4),#16);\n"
      "#21=IFCMATERIALLAYERSETUSAGE(#22,.AXIS2.,.POSITIVE.,0.,$);\n"
      "#22=IFCMATERIALLAYERSET((#23),'S',$);\n"
      "#23=IFCMATERIALLAYER(#21,1.,$,$,$,$,$);\n"
      "#24=IFCRELASSOCIATESMATERIAL('0aaaaaaaaaaaaaaaaaaab2',$,$,$,(#5),#21);\n";
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(Ifc("IFC4", data), error, std::vector<std::string>{"Material"}))
      << error;
  const std::string nested = Cell(model, "W", "Material");
  EXPECT_FALSE(nested.empty());
  EXPECT_LT(nested.size(), 4096u);
  EXPECT_EQ(Cell(model, "Loop", "Material"), "");
}

// Layers reached through representation maps: an occurrence's mapped item, its type's maps
// when it has none of its own, and maps that map themselves.
TEST(PropertyIndex, LayersThroughRepresentationMaps) {
  const std::string text = Ifc("IFC4", R"(#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,$);
#2=IFCBUILDINGSTOREY('0aaaaaaaaaaaaaaaaaaaa2',$,'L',$,$,$,$,$,.ELEMENT.,0.);
#3=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#2));
#4=IFCDOOR('0aaaaaaaaaaaaaaaaaaaa4',$,'Mapped',$,$,$,#40,$,$,$,$,$,$);
#5=IFCDOOR('0aaaaaaaaaaaaaaaaaaaa5',$,'Bare',$,$,$,$,$,$,$,$,$,$);
#6=IFCDOOR('0aaaaaaaaaaaaaaaaaaaa6',$,'Own',$,$,$,#50,$,$,$,$,$,$);
#7=IFCDOOR('0aaaaaaaaaaaaaaaaaaaa7',$,'Loop',$,$,$,#60,$,$,$,$,$,$);
#8=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa8',$,$,$,(#4,#5,#6,#7),#2);
#10=IFCEXTRUDEDAREASOLID($,$,$,1.);
#11=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#10));
#12=IFCREPRESENTATIONMAP($,#11);
#13=IFCDOORTYPE('0aaaaaaaaaaaaaaaaaaab1',$,'DT',$,$,$,(#12),$,$,.DOOR.,.SINGLE_SWING_LEFT.,$,$);
#14=IFCRELDEFINESBYTYPE('0aaaaaaaaaaaaaaaaaaab2',$,$,$,(#4,#5,#6),#13);
#15=IFCPRESENTATIONLAYERASSIGNMENT('A-DOOR-TYPE',$,(#10),$);
#20=IFCEXTRUDEDAREASOLID($,$,$,1.);
#21=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#20));
#22=IFCREPRESENTATIONMAP($,#21);
#23=IFCPRESENTATIONLAYERASSIGNMENT('A-DOOR-LEAF',$,(#21),$);
#30=IFCMAPPEDITEM(#22,$);
#31=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',(#30));
#40=IFCPRODUCTDEFINITIONSHAPE($,$,(#31));
#41=IFCEXTRUDEDAREASOLID($,$,$,1.);
#42=IFCSHAPEREPRESENTATION($,'Body','SweptSolid',(#41));
#50=IFCPRODUCTDEFINITIONSHAPE($,$,(#42));
#51=IFCPRESENTATIONLAYERASSIGNMENT('A-DOOR-OWN',$,(#41),$);
#61=IFCMAPPEDITEM(#62,$);
#62=IFCREPRESENTATIONMAP($,#63);
#63=IFCSHAPEREPRESENTATION($,'Body','MappedRepresentation',(#61,#64));
#64=IFCEXTRUDEDAREASOLID($,$,$,1.);
#60=IFCPRODUCTDEFINITIONSHAPE($,$,(#63));
#65=IFCPRESENTATIONLAYERASSIGNMENT('A-LOOP',$,(#64),$);
)");
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(text, error, std::vector<std::string>{"Layer"})) << error;
  // The mapped item leads to the mapped representation's layer; the type's map loses to it.
  EXPECT_EQ(Cell(model, "Mapped", "Layer"), "A-DOOR-LEAF");
  EXPECT_EQ(Cell(model, "Bare", "Layer"), "A-DOOR-TYPE");
  EXPECT_EQ(Cell(model, "Own", "Layer"), "A-DOOR-OWN");
  EXPECT_EQ(Cell(model, "Loop", "Layer"), "A-LOOP");
  // The same when every column the file offers is asked for.
  Model every;
  ASSERT_TRUE(every.OpenBuffer(text, error, std::vector<std::string>{"*"})) << error;
  EXPECT_EQ(Cell(every, "Bare", "Layer"), "A-DOOR-TYPE");
  EXPECT_EQ(every.Properties()->CellCount(
                static_cast<std::size_t>(every.Properties()->ColumnIndex("Layer"))),
            4u);
}

std::string ReadSample() {
  std::ifstream in(SamplePath(), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every cell of every column, for instances 1..n.
std::string AllCells(const std::string& text, const ifc::StepIndexOptions& base,
                     std::size_t* split) {
  ifc::StepFile file;
  ifc::TreeBuilder tree(file);
  const std::vector<std::string> every = {std::string(PropertyIndex::kEveryColumn)};
  PropertyIndex index(file, tree, every);
  ifc::StepIndexOptions options = base;
  options.sink = &index;
  std::string error;
  if (!file.OpenBuffer(text, error, options)) return "error: " + error;
  if (split != nullptr) *split = file.SplitOffset();
  index.Resolve();
  index.Build();
  std::string out;
  for (std::size_t c = 0; c < index.Columns().size(); ++c) {
    out += index.Columns()[c].name + " [" + index.Columns()[c].unit + "]\n";
    for (uint32_t id = 1; id < 500; ++id) {
      const std::string_view v = index.Value(c, id);
      if (!v.empty()) out += " #" + std::to_string(id) + "=" + std::string(v) + "\n";
    }
  }
  return out;
}

TEST(PropertyIndex, SameCellsWhereverTheConcurrentIndexSplits) {
  const std::string text = ReadSample();
  ifc::StepIndexOptions single;
  single.splitFrom = 0;
  const std::string expected = AllCells(text, single, nullptr);
  ASSERT_NE(expected.find("Pset_DoorCommon.FireRating"), std::string::npos) << expected;
  int used = 0;
  for (std::size_t near = 200; near < text.size(); near += 997) {
    ifc::StepIndexOptions options;
    options.splitFrom = 1;
    options.splitNear = near;
    std::size_t split = 0;
    EXPECT_EQ(AllCells(text, options, &split), expected) << "split near " << near;
    if (split != 0) ++used;
  }
  EXPECT_GT(used, 10);  // the second thread's work was really used
}

}  // namespace
