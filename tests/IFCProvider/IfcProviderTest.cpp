// IfcProviderTest.cpp - the IFC provider as the host uses it: loaded from disk, driven
// by the generator, its document read back by the reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"

namespace {

const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";

typedef QORInterface_var<QORIInputFilterGenerator> Generator_var;
typedef QORInterface_var<QORIResolvedInputFilter> Reader_var;

class IfcProvider : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_EQ(QORLoadModule("libDXInputFilterServices.so", &error) >= 0, true) << error;
    ASSERT_EQ(QORLoadModule("libInputIfcFilter.so", &error) >= 0, true) << error;
  }

  Generator_var NewGenerator() {
    void* p = nullptr;
    EXPECT_EQ(QORInstantiateComponent("INPUT_FILTER_GENERATOR", IID_QORIInputFilterGenerator, &p),
              S_OK);
    Generator_var g(static_cast<QORIInputFilterGenerator*>(p));
    static_cast<QORBaseUnknown*>(p)->Release();
    return g;
  }

  // Generates the house and reads the document back into a view and a reader.
  void Generate(const QORUnicodeString* settings, std::vector<std::string> removes = {}) {
    Generator_var generator = NewGenerator();
    if (!removes.empty()) {
      QORListValQORUnicodeString names;
      for (const std::string& r : removes) names.Append(QORUnicodeString(r));
      generator->AddEntityList(0, names);
    }
    ASSERT_EQ(generator->GenerateDocument("IFC", QORUnicodeString(kHouse), settings), S_OK);
    const std::string path = ::testing::TempDir() + "/house.filter.json";
    ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
    ASSERT_TRUE(_document.ParseFile(QORUnicodeString(path)));
    QORIResolvedInputFilter* raw = nullptr;
    ASSERT_EQ(generator->GetResolvedFilter(&raw), S_OK);
    _reader = Reader_var(raw);
    raw->Release();
    Index(_document.ReadObjects("roots"), 0);
  }

  void Index(const std::vector<JSON::JIStream>& nodes, int depth) {
    for (const JSON::JIStream& node : nodes) {
      JSON::JIStream data = node.ReadObject("data");
      std::vector<QORUnicodeString> uids = data.ReadStrings("uid");
      const std::string label =
          node.Exist("label") ? node.ReadString("label").Str() : data.ReadString("NLS_label").Str();
      _order.push_back(label);
      if (!uids.empty()) _uidByLabel[label] = uids.front().Str();
      _depth[label] = depth;
      Index(node.ReadObjects("children"), depth + 1);
    }
  }

  std::string Answer(const std::string& label, const char* column) {
    auto it = _uidByLabel.find(label);
    if (it == _uidByLabel.end()) return "<no entity " + label + ">";
    QORUnicodeString value;
    if (_reader->GetObjectAttribute(QORUnicodeString(it->second), QORUnicodeString(column), value) <
        0)
      return "<none>";
    return value.Str();
  }

  size_t Position(const std::string& label) {
    for (size_t i = 0; i < _order.size(); ++i)
      if (_order[i] == label) return i;
    return SIZE_MAX;
  }

  JSON::JIStream _document;
  Reader_var _reader;
  std::map<std::string, std::string> _uidByLabel;
  std::map<std::string, int> _depth;
  std::vector<std::string> _order;
};

TEST_F(IfcProvider, HouseTreeFollowsTheSpatialStructure) {
  Generate(nullptr);
  EXPECT_EQ(_depth["Ground Floor"], 3);  // project, site, building, storey
  EXPECT_EQ(_depth["Kitchen Door"], 4);
  EXPECT_EQ(_depth["Sofa"], 5);             // placed in a room
  EXPECT_EQ(_depth["Roof Slab North"], 5);  // a part of the roof
  // Storeys by elevation.
  EXPECT_LT(Position("Ground Floor"), Position("First Floor"));
  EXPECT_LT(Position("First Floor"), Position("Roof Level"));
  // The encoded name is decoded.
  EXPECT_EQ(_uidByLabel.count("K\xC3\xBC"
                              "che"),
            1u);
  // Unnamed elements are labelled by type and instance.
  EXPECT_EQ(_uidByLabel.count("IfcWindow #220"), 1u);
}

TEST_F(IfcProvider, CellsCarryTypeNameAndElevation) {
  Generate(nullptr);
  EXPECT_EQ(Answer("Wall North", "Type"), "IfcWall");
  EXPECT_EQ(Answer("Wall North", "Name"), "Wall North");
  EXPECT_EQ(Answer("First Floor", "Elevation"), "3000");
  EXPECT_EQ(Answer("Wall North", "Elevation"), "<none>");
  EXPECT_EQ(Answer("Wall North", "Import"), "true");
  // Without a decision there is no mode, and the runtime column never has a cell.
  EXPECT_EQ(Answer("Wall North", "ImportMode"), "<none>");
  EXPECT_EQ(Answer("Wall North", "Imported"), "<none>");
  // Every column is described; the enumeration lists the four modes.
  std::vector<JSON::JIStream> columns = _document.ReadObjects("columns");
  ASSERT_EQ(columns.size(), 8u);
  EXPECT_EQ(columns[0].ReadString("dataIndex").Str(), "tree");
  EXPECT_EQ(columns[2].ReadObject("data").ReadStrings("possibleValues").size(), 4u);
  EXPECT_EQ(columns[7].ReadObject("data").ReadString("type").Str(), "runtime");
}

TEST_F(IfcProvider, RemovedTypeIsNotImportedWhateverTheProfile) {
  QORUnicodeString settings(R"({"format":"IFC","settings":{"defaultProfile":"ForDesign"}})");
  Generate(&settings, {"IfcSpace"});
  for (const char* space : {"Hall", "Living Room", "Bathroom", "Bedroom 2"}) {
    EXPECT_EQ(Answer(space, "Import"), "false") << space;
    EXPECT_EQ(Answer(space, "ImportMode"), "NoImport") << space;
  }
  EXPECT_EQ(Answer("Wall North", "Import"), "true");
}

TEST_F(IfcProvider, DefaultProfileReachesTheLatestSpatialEntities) {
  QORUnicodeString settings(R"({"format":"IFC","settings":{"defaultProfile":"ForDesign"}})");
  Generate(&settings);
  // Spaces are the last spatial level; a storey without spaces is one too.
  EXPECT_EQ(Answer("Hall", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Roof Level", "ImportMode"), "ForDesign");
  // A storey with spaces below is not.
  EXPECT_EQ(Answer("Ground Floor", "ImportMode"), "<none>");
  QORUnicodeString profile;
  ASSERT_EQ(_reader->GetSetting("defaultProfile", profile), S_OK);
  EXPECT_EQ(profile.Str(), "ForDesign");
}

TEST_F(IfcProvider, SettingsForAnotherFormatAreRefused) {
  Generator_var generator = NewGenerator();
  QORUnicodeString settings(R"({"format":"STEP","settings":{}})");
  EXPECT_EQ(generator->GenerateDocument("IFC", QORUnicodeString(kHouse), &settings), E_FAIL);
}

TEST_F(IfcProvider, UnreadableFileFailsWithAReason) {
  Generator_var generator = NewGenerator();
  const std::string path = ::testing::TempDir() + "/not-a-model.ifc";
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("hello", f);
  fclose(f);
  QORTakeErrorText();
  EXPECT_LT(generator->GenerateDocument("IFC", QORUnicodeString(path), nullptr), 0);
  EXPECT_NE(QORTakeErrorText().find("STEP"), std::string::npos);
  EXPECT_LT(generator->GenerateDocument("IFC", QORUnicodeString(path + ".missing"), nullptr), 0);
  EXPECT_FALSE(QORTakeErrorText().empty());
}

// The host names the columns in the environment before generating; each test leaves it clean.
class ChosenColumns : public IfcProvider {
 protected:
  void TearDown() override { unsetenv("QORDX_FILTER_COLUMNS"); }
  JSON::JIStream Column(const std::string& name) {
    for (const JSON::JIStream& c : _document.ReadObjects("columns"))
      if (c.ReadString("dataIndex").Str() == name) return c;
    ADD_FAILURE() << "no column " << name;
    return {};
  }
};

TEST_F(ChosenColumns, ExternalWallsOnlyIsAnsweredByTheReader) {
  setenv("QORDX_FILTER_COLUMNS",
         R"(["Pset_WallCommon.IsExternal","Qto_WallBaseQuantities.NetVolume","Material",)"
         R"("Pset_DoorCommon.FireRating","Classification","Layer"])",
         1);
  Generate(nullptr);
  EXPECT_EQ(_document.ReadObjects("columns").size(), 14u);  // after the fixed ones
  EXPECT_EQ(Answer("Wall South", "Pset_WallCommon.IsExternal"), "true");
  EXPECT_EQ(Answer("Partition", "Pset_WallCommon.IsExternal"), "false");
  EXPECT_EQ(Answer("Sofa", "Pset_WallCommon.IsExternal"), "<none>");
  EXPECT_EQ(Answer("Wall North", "Qto_WallBaseQuantities.NetVolume"), "9");
  EXPECT_EQ(Answer("Upper Wall West", "Material"), "Brick, Insulation");
  EXPECT_EQ(Answer("Front Door", "Pset_DoorCommon.FireRating"), "EI60");
  EXPECT_EQ(Answer("Front Door", "Classification"), "Doors");
  EXPECT_EQ(Answer("Wall West", "Layer"), "A-WALL-CORE");
  // Typed: a boolean and a number with its unit in the title, text read-only.
  JSON::JIStream external = Column("Pset_WallCommon.IsExternal");
  EXPECT_EQ(external.ReadString("typeRepresentation").Str(), "boolean");
  JSON::JIStream volume = Column("Qto_WallBaseQuantities.NetVolume");
  EXPECT_EQ(volume.ReadString("typeRepresentation").Str(), "number");
  EXPECT_EQ(volume.ReadObject("data").ReadString("NLS_text").Str(),
            "Qto_WallBaseQuantities.NetVolume (m\xC2\xB3)");
  JSON::JIStream material = Column("Material");
  EXPECT_EQ(material.ReadRawString("editableFlag").Str(), "false");
  EXPECT_EQ(material.ReadObject("data").ReadString("NLS_text").Str(),
            "DXIfcProvider.Column_Material");
}

TEST_F(ChosenColumns, WithoutColumnsTheDocumentIsAsBefore) {
  Generate(nullptr);
  const std::string plain = _document.Stringify().Str();
  setenv("QORDX_FILTER_COLUMNS", "[]", 1);
  _uidByLabel.clear();
  Generate(nullptr);
  EXPECT_EQ(_document.Stringify().Str(), plain);
  EXPECT_EQ(_document.ReadObjects("columns").size(), 8u);
}

TEST_F(ChosenColumns, ABadListFailsTheGeneration) {
  setenv("QORDX_FILTER_COLUMNS", "Material", 1);
  Generator_var generator = NewGenerator();
  QORTakeErrorText();
  EXPECT_LT(generator->GenerateDocument("IFC", QORUnicodeString(kHouse), nullptr), 0);
  EXPECT_NE(QORTakeErrorText().find("QORDX_FILTER_COLUMNS"), std::string::npos);
}

TEST_F(IfcProvider, HostPathsWithBackslashesAreAccepted) {
  Generator_var generator = NewGenerator();
  std::string path = kHouse;
  for (char& c : path)
    if (c == '/') c = '\\';
  EXPECT_EQ(generator->GenerateDocument("IFC", QORUnicodeString(path), nullptr), S_OK);
}

}  // namespace
