// The values of chosen columns: each source of a value on the sample house, the schemas'
// differences on small models, and the same answers wherever the index splits.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "IfcModel.h"
#include "IfcPropertyIndex.h"
#include "IfcStepNames.h"
#include "IfcTestSupport.h"
#include "IfcTreeBuilder.h"
#include "StepReexport.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::PropertyIndex;
using Kind = PropertyIndex::Kind;

using ifctest::Find;
using ifctest::SamplePath;

// The cell of the entity labelled `label`; "<no entity>" or "<no column>" when missing.
std::string Cell(const Model& model, const std::string& label, const std::string& column) {
  const Node* node = Find(model, label);
  if (node == nullptr) return "<no entity>";
  const PropertyIndex* index = model.Properties();
  const int c = index ? index->ColumnIndex(column) : -1;
  if (c < 0) return "<no column>";
  const std::string_view value = model.Value(static_cast<std::size_t>(c), *node);
  // The model's table by node and the index's search by instance agree.
  EXPECT_EQ(value, index->Value(static_cast<std::size_t>(c), node->InstanceNumber())) << label;
  return std::string(value);
}

const PropertyIndex::Column* ColumnOf(const Model& model, const std::string& name) {
  const int c = model.Properties()->ColumnIndex(name);
  return c < 0 ? nullptr : &model.Properties()->Columns()[static_cast<std::size_t>(c)];
}

// Each source of a value once, on the sample house: own sets, quantities, the type's sets
// (the occurrence's own value wins), materials, classifications, layers and attributes.
TEST(PropertyIndex, HouseColumns) {
  struct Expect {
    const char* label;
    const char* column;
    const char* value;  // "": no cell
  };
  const Expect cells[] = {
      {"Wall South", "Pset_WallCommon.IsExternal", "true"},
      {"Upper Wall East", "Pset_WallCommon.IsExternal", "true"},
      {"Partition", "Pset_WallCommon.IsExternal", "false"},
      {"Sofa", "Pset_WallCommon.IsExternal", ""},
      {"Kitchen Door", "Pset_WallCommon.IsExternal", ""},  // another set's property
      {"Wall South", "Pset_WallCommon.ThermalTransmittance", "0.24"},
      {"Wall South", "Pset_WallCommon.Status", "NEW, EXISTING"},
      {"Living Room", "Pset_SpaceThermalRequirements.SpaceTemperature", "20..24"},
      {"Living Room", "Pset_SpaceCommon.GrossPlannedArea", "18.5"},
      {"Wall South", "Qto_WallBaseQuantities.NetVolume", "8.1"},
      {"Wall North", "Qto_WallBaseQuantities.NetVolume", "9"},
      {"Wall West", "Qto_WallBaseQuantities.NetVolume", ""},
      {"Kitchen Door", "Pset_DoorCommon.FireRating", "EI30"},
      {"Front Door", "Pset_DoorCommon.FireRating", "EI60"},
      {"Bathroom Door", "Pset_DoorCommon.HandicapAccessible", "true"},
      {"Wall South", "Material", "Brick"},
      {"Upper Wall South", "Material", "Brick, Insulation"},  // layer set usage
      {"Sofa", "Material", ""},
      {"Wall North", "Classification", "Ss_25_10"},
      {"Front Door", "Classification", "Doors"},  // no identification: the name
      {"Partition", "Classification", ""},
      {"Wall South", "Layer", "A-WALL"},      // on the shape representation
      {"Wall West", "Layer", "A-WALL-CORE"},  // on an item of it
      {"Wall East", "Layer", ""},
      {"Front Door", "Tag", "D01"},
      {"Living Room", "Tag", ""},  // a space's 8th attribute is its long name
      {"Partition", "PredefinedType", "PARTITIONING"},
      {"Living Room", "PredefinedType", "INTERNAL"},
      {"Ground Floor", "PredefinedType", ""},
      {"Wall South", "ObjectType", ""},
  };
  // The table's columns in order of first use, then one again and an unknown one: each is
  // kept once, unknown names are left out, and the tree is unchanged.
  std::vector<std::string> columns;
  for (const Expect& e : cells)
    if (std::find(columns.begin(), columns.end(), e.column) == columns.end())
      columns.push_back(e.column);
  const std::size_t distinct = columns.size();
  columns.push_back(cells[0].column);
  columns.push_back("NotAColumn");
  Model model;
  std::string error;
  ASSERT_TRUE(model.Open(SamplePath(), error, columns)) << error;
  ASSERT_NE(model.Properties(), nullptr);
  ASSERT_EQ(model.Properties()->Columns().size(), distinct);
  EXPECT_EQ(model.Properties()->Columns().back().name, columns[distinct - 1]);
  EXPECT_EQ(model.NodeCount(), 38u);
  for (const Expect& e : cells)
    EXPECT_EQ(Cell(model, e.label, e.column), e.value) << e.label << " " << e.column;
  // Typed columns; a measure the project gives no unit for has none.
  const std::tuple<const char*, Kind, const char*> kinds[] = {
      {"Qto_WallBaseQuantities.NetVolume", Kind::Number, "m\xC2\xB3"},
      {"Pset_SpaceCommon.GrossPlannedArea", Kind::Number, "m\xC2\xB2"},
      {"Pset_WallCommon.ThermalTransmittance", Kind::Number, ""},
      {"Pset_WallCommon.IsExternal", Kind::Boolean, ""},
      {"Pset_DoorCommon.FireRating", Kind::Text, ""},
      {"Pset_SpaceThermalRequirements.SpaceTemperature", Kind::Text, ""}};
  for (const auto& [name, kind, unit] : kinds) {
    ASSERT_NE(ColumnOf(model, name), nullptr) << name;
    EXPECT_EQ(ColumnOf(model, name)->kind, kind) << name;
    EXPECT_EQ(ColumnOf(model, name)->unit, unit) << name;
  }
}

TEST(PropertyIndex, EveryColumnTheFileOffersAndNoneWithoutColumns) {
  Model model;
  std::string error;
  ASSERT_TRUE(model.Open(SamplePath(), error)) << error;
  EXPECT_EQ(model.Properties(), nullptr);
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

// The schemas' differences and odd values, on crafted files (each says what it holds): every
// column the file offers is asked for.
TEST(PropertyIndex, CraftedModels) {
  struct Expect {
    const char* file;
    const char* label;
    const char* column;
    const char* value;  // "": no cell; "<no column>": no entity has one
  };
  const Expect cells[] = {
      {"ifc2x3-properties", "W1", "Pset_Type.Width", "0.3"},
      {"ifc2x3-properties", "W1", "Pset_Type.Compliant", "<no column>"},  // unknown is no answer
      {"ifc2x3-properties", "W1", "Qto.Base.GrossSideArea", "12.5"},      // a set name with a dot
      // The type's layer set (the air gap has no material), and the space's material list.
      {"ifc2x3-properties", "W1", "Material", "Plaster, Concrete"},
      {"ifc2x3-properties", "S1", "Material", "Plaster, Concrete"},
      {"ifc2x3-properties", "W1", "Classification", "21.22"},
      {"ifc2x3-properties", "W1", "ObjectType", "Basic Wall"},
      {"ifc2x3-properties", "W1", "Tag", "T-1"},
      {"ifc2x3-properties", "W1", "PredefinedType", "<no column>"},  // IFC2X3 walls have none
      {"ifc2x3-properties", "S1", "PredefinedType",
       "<no column>"},  // INTERNAL is not one in IFC2X3
      // A number here and a label there: a text column holding both as written.
      {"ifc4x3-properties", "B1", "Pset_BeamCommon.Span", "6000"},
      {"ifc4x3-properties", "B2", "Pset_BeamCommon.Span", "long"},
      {"ifc4x3-properties", "B1", "Custom.Label", "Gr\xC3\xBCn"},
      {"ifc4x3-properties", "B1", "Custom.L\xC3\xA4nge", "kurz"},
      {"ifc4x3-properties", "B1", "Material", "Steel"},       // profile set
      {"ifc4x3-properties", "B2", "Material", "Oak, Steel"},  // constituent set
      {"ifc4x3-properties", "B1", "PredefinedType", "BEAM"},
      {"ifc4x3-properties", "B2", "PredefinedType", "USERDEFINED"},
      // The mapped item leads to the mapped representation's layer; the type's map loses to it.
      {"layer-maps", "Mapped", "Layer", "A-DOOR-LEAF"},
      {"layer-maps", "Bare", "Layer", "A-DOOR-TYPE"},
      {"layer-maps", "Own", "Layer", "A-DOOR-OWN"},
      {"layer-maps", "Loop", "Layer", "A-LOOP"},
  };
  const std::vector<std::string> every = {std::string(PropertyIndex::kEveryColumn)};
  std::string opened;
  Model model;
  for (const Expect& e : cells) {
    std::string error;
    if (opened != e.file) {
      ASSERT_TRUE(model.Open(ifctest::Crafted(e.file), error, every)) << error;
    }
    opened = e.file;
    EXPECT_EQ(Cell(model, e.label, e.column), e.value)
        << e.file << " " << e.label << " " << e.column;
  }
  EXPECT_EQ(model.Properties()->CellCount(
                static_cast<std::size_t>(model.Properties()->ColumnIndex("Layer"))),
            4u);
  // The same cells when only some columns are asked for; units and kinds.
  std::string error;
  ASSERT_TRUE(model.Open(
      ifctest::Crafted("ifc4x3-properties"), error,
      std::vector<std::string>{"Pset_BeamCommon.Span", "Material", "Custom.L\xC3\xA4nge"}))
      << error;
  EXPECT_EQ(Cell(model, "B2", "Material"), "Oak, Steel");
  EXPECT_EQ(Cell(model, "B1", "Custom.L\xC3\xA4nge"), "kurz");  // an encoded name, asked by name
  EXPECT_EQ(ColumnOf(model, "Pset_BeamCommon.Span")->kind, Kind::Text);
  ASSERT_TRUE(model.Open(ifctest::Crafted("ifc2x3-properties"), error,
                         std::vector<std::string>{"Pset_Type.Width", "Qto.Base.GrossSideArea"}))
      << error;
  EXPECT_EQ(ColumnOf(model, "Pset_Type.Width")->unit, "m");  // its own unit beats the project's
  EXPECT_EQ(ColumnOf(model, "Qto.Base.GrossSideArea")->unit, "square foot");
  EXPECT_EQ(Cell(model, "W1", "Pset_Type.Width"), "0.3");
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
  ASSERT_TRUE(model.OpenBuffer(ifctest::Ifc(data), error, std::vector<std::string>{"Material"}))
      << error;
  const std::string nested = Cell(model, "W", "Material");
  EXPECT_FALSE(nested.empty());
  EXPECT_LT(nested.size(), 4096u);
  EXPECT_EQ(Cell(model, "Loop", "Material"), "");
}

// Value spellings: those the quick reader takes and those it leaves to the full parser give
// the cells the full parser always gave.
TEST(PropertyIndex, ValueSpellings) {
  const std::pair<const char*, const char*> values[] = {
      {"IFCLENGTHMEASURE(3000.)", "3000"},
      {"IFCBOOLEAN( .T. )", "true"},
      {"IFCLABEL('it''s')", "it's"},
      {"IFCTEXT('Gr\\X2\\00FC\\X0\\n')", "Gr\xC3\xBCn"},
      {"IFCREAL(-1.E-05)", "-1E-05"},
      {"IFCINTEGER(+12)", "12"},
      {".ELEMENT.", "ELEMENT"},
      {"IFCLABEL(/* c */ 'x')", "x"},
      {"IFCX(IFCY(7.))", "7"},
      {"IFCLABEL($)", ""},
      {"IFCLOGICAL(.U.)", ""},
      {"IFCLABEL('a','b')", ""},
      {"IFCREAL(1E)", ""},
      {"#4", ""},
  };
  std::string data =
      "#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,$);\n"
      "#2=IFCBUILDINGSTOREY('0aaaaaaaaaaaaaaaaaaaa2',$,'L',$,$,$,$,$,.ELEMENT.,0.);\n"
      "#3=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#2));\n"
      "#4=IFCWALL('0aaaaaaaaaaaaaaaaaaaa4',$,'W',$,$,$,$,$,$);\n"
      "#5=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa5',$,$,$,(#4),#2);\n"
      "#6=IFCQUANTITYLENGTH('Q0',$,$,2.50);\n"
      "#7=IFCQUANTITYAREA('Q1',$,$,IFCAREAMEASURE(4.));\n"
      "#8=IFCELEMENTQUANTITY('0aaaaaaaaaaaaaaaaaaaa8',$,'Q',$,$,(#6,#7));\n"
      "#9=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaaa9',$,$,$,(#4),#8);\n";
  std::string refs;
  std::vector<std::string> columns = {"Q.Q0", "Q.Q1"};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    const std::string id = std::to_string(100 + i);
    data += "#" + id + "=IFCPROPERTYSINGLEVALUE('V" + std::to_string(i) + "',$," + values[i].first +
            ",$);\n";
    refs += (i ? ",#" : "#") + id;
    columns.push_back("S.V" + std::to_string(i));
  }
  data += "#10=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaab0',$,'S',$,(" + refs + "));\n" +
          "#11=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaab1',$,$,$,(#4),#10);\n";
  Model model;
  std::string error;
  ASSERT_TRUE(model.OpenBuffer(ifctest::Ifc(data), error, columns)) << error;
  EXPECT_EQ(Cell(model, "W", "Q.Q0"), "2.50");
  EXPECT_EQ(Cell(model, "W", "Q.Q1"), "4");
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(Cell(model, "W", "S.V" + std::to_string(i)), values[i].second) << values[i].first;
}

// Names are matched decoded, however the file spells them, and a spelling met again (the
// names repeat on every element) still finds its column; a value without a name has none.
TEST(PropertyIndex, SpellingsOfANameMeetInOneColumn) {
  std::string data =
      "#1=IFCPROJECT('0aaaaaaaaaaaaaaaaaaaa1',$,'P',$,$,$,$,$,$);\n"
      "#2=IFCBUILDINGSTOREY('0aaaaaaaaaaaaaaaaaaaa2',$,'L',$,$,$,$,$,.ELEMENT.,0.);\n"
      "#3=IFCRELAGGREGATES('0aaaaaaaaaaaaaaaaaaaa3',$,$,$,#1,(#2));\n";
  // Element i: the set's and the property's name spelled with an escape or in UTF-8.
  const char* spellings[][2] = {{"M\\X2\\00E4\\X0\\r", "Gr\\X2\\00FC\\X0\\n"},
                                {"M\xC3\xA4r", "Gr\xC3\xBCn"},
                                {"M\\X2\\00E4\\X0\\r", "Gr\\X2\\00FC\\X0\\n"},
                                {"M\\X2\\00E4\\X0\\r", "Gr\\X\\FCn"}};
  std::string contained;
  for (int i = 0; i < 4; ++i) {
    const int id = 10 + 10 * i;
    const auto n = [id](int k) { return "#" + std::to_string(id + k); };
    data += n(0) + "=IFCWALL('0aaaaaaaaaaaaaaaaaaa" + std::to_string(id) + "',$,'W" +
            std::to_string(i) + "',$,$,$,$,$,$);\n";
    data += n(1) + "=IFCPROPERTYSINGLEVALUE('" + spellings[i][1] + "',$,IFCLABEL('v" +
            std::to_string(i) + "'),$);\n";
    data += n(2) + "=IFCPROPERTYSINGLEVALUE($,$,IFCLABEL('none'),$);\n";
    data += n(3) + "=IFCPROPERTYSINGLEVALUE('',$,IFCLABEL('none'),$);\n";
    data += n(4) + "=IFCPROPERTYSET('0aaaaaaaaaaaaaaaaaaa" + std::to_string(id + 4) + "',$,'" +
            spellings[i][0] + "',$,(" + n(2) + "," + n(1) + "," + n(3) + "));\n";
    data += n(5) + "=IFCRELDEFINESBYPROPERTIES('0aaaaaaaaaaaaaaaaaaa" + std::to_string(id + 5) +
            "',$,$,$,(" + n(0) + ")," + n(4) + ");\n";
    contained += (i ? "," : "") + n(0);
  }
  data += "#5=IFCRELCONTAINEDINSPATIALSTRUCTURE('0aaaaaaaaaaaaaaaaaaaa5',$,$,$,(" + contained +
          "),#2);\n";
  for (const bool every : {false, true}) {
    SCOPED_TRACE(every ? "every column" : "one column");
    Model model;
    std::string error;
    const std::vector<std::string> columns = {every ? std::string(PropertyIndex::kEveryColumn)
                                                    : "M\xC3\xA4r.Gr\xC3\xBCn"};
    ASSERT_TRUE(model.OpenBuffer(ifctest::Ifc(data), error, columns)) << error;
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Cell(model, "W" + std::to_string(i), "M\xC3\xA4r.Gr\xC3\xBCn"),
                "v" + std::to_string(i));
    ASSERT_EQ(model.Properties()->Columns().size(), 1u);
  }
}

// Every cell of every column, for instances 1..n; in a file renumbered to scale * n + shift,
// asked by the new number and listed by the old.
std::string AllCells(const std::string& text, const ifc::StepIndexOptions& base, std::size_t* split,
                     uint32_t scale = 1, uint32_t shift = 0) {
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
      const std::string_view v = index.Value(c, scale * id + shift);
      if (!v.empty()) out += " #" + std::to_string(id) + "=" + std::string(v) + "\n";
    }
  }
  return out;
}

TEST(PropertyIndex, SameCellsWhereverTheConcurrentIndexSplits) {
  const std::string text = ifctest::ReadFile(SamplePath());
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

// Values are found by id whether the ids rise through the file (searched where they were
// taken, across the stretches of both threads) or fall (a table sorted by id).
TEST(PropertyIndex, SameCellsWhenIdsFallThroughTheFile) {
  // Columns are listed as the file offers them, which the reverse order changes: compared
  // column by column.
  const auto byColumn = [](const std::string& cells) {
    std::vector<std::string> columns;
    for (std::size_t at = 0; at < cells.size();) {
      std::size_t end = cells.find("\n", at);
      while (end != std::string::npos && end + 1 < cells.size() && cells[end + 1] == ' ')
        end = cells.find("\n", end + 1);
      end = end == std::string::npos ? cells.size() : end + 1;
      columns.push_back(cells.substr(at, end - at));
      at = end;
    }
    std::sort(columns.begin(), columns.end());
    return columns;
  };
  const std::string text = ifctest::ReadFile(SamplePath());
  ifc::StepIndexOptions single;
  single.splitFrom = 0;
  const std::vector<std::string> expected = byColumn(AllCells(text, single, nullptr));
  ASSERT_GT(expected.size(), 10u);
  const std::string reexported = steptest::Reexport(text);
  ASSERT_NE(reexported, text);
  for (const std::size_t near : {std::size_t{0}, text.size() / 3, text.size() / 2}) {
    ifc::StepIndexOptions options;
    options.splitFrom = near == 0 ? 0 : 1;
    options.splitNear = near;
    EXPECT_EQ(byColumn(AllCells(reexported, options, nullptr, 7919, 13)), expected)
        << "split near " << near;
  }
}

}  // namespace

// The model makes the cells on a second thread while it lays out the tree: they are the ones
// the index gives when built alone, on every reopening, and a refused file leaves none.
TEST(PropertyIndex, ConcurrentCellsOfTheModelAreThoseOfTheIndexAlone) {
  const std::string text = ifctest::ReadFile(SamplePath());
  const std::vector<std::string> every = {std::string(PropertyIndex::kEveryColumn)};
  ifc::StepFile file;
  ifc::TreeBuilder tree(file);
  PropertyIndex alone(file, tree, every);
  ifc::StepIndexOptions options;
  options.sink = &alone;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error, options)) << error;
  alone.Resolve();
  alone.Build();

  Model model;
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(model.OpenBuffer(ifctest::Ifc(ifctest::kFrame, "IFC5"), error, every));
    EXPECT_EQ(model.Properties(), nullptr);
    ASSERT_TRUE(model.OpenBuffer(text, error, every)) << error;
    const PropertyIndex& index = *model.Properties();
    ASSERT_EQ(index.Columns().size(), alone.Columns().size());
    std::size_t cells = 0;
    for (std::size_t c = 0; c < index.Columns().size(); ++c) {
      EXPECT_EQ(index.Columns()[c].name, alone.Columns()[c].name);
      EXPECT_EQ(index.Columns()[c].unit, alone.Columns()[c].unit) << index.Columns()[c].name;
      for (const Node* node : ifctest::AllNodes(model.Roots())) {
        const std::string_view value = model.Value(c, *node);
        const std::string_view expected =
            node->IsSynthetic() ? std::string_view() : alone.Value(c, node->InstanceNumber());
        EXPECT_EQ(value, expected) << index.Columns()[c].name << " of " << node->Label();
        cells += value.empty() ? 0 : 1;
      }
    }
    EXPECT_GT(cells, 100u);
  }
}
