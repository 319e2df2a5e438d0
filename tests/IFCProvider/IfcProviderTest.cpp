// IfcProviderTest.cpp - the IFC provider as the host uses it: loaded from disk, driven
// by the generator, its document read back by the reader.
#include <cstdlib>
#include <string>
#include <vector>

#include "ProviderFixture.h"

namespace {

const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";

class IfcProvider : public ProviderFixture {
 protected:
  static void SetUpTestSuite() { LoadModules("libInputIfcFilter.so"); }
  void Generate(const QORUnicodeString* settings, const std::vector<std::string>& removes = {}) {
    ProviderFixture::Generate("IFC", kHouse, settings, removes);
  }
};

// A removed type is not imported whatever the profile; the profile reaches the last spatial
// level (a storey without spaces is one too), not a storey with spaces below.
TEST_F(IfcProvider, RemovedTypesAndTheDefaultProfile) {
  QORUnicodeString settings(R"({"format":"IFC","settings":{"defaultProfile":"ForDesign"}})");
  Generate(&settings, {"IfcSpace"});
  for (const char* space : {"Hall", "Living Room", "Bathroom"}) {
    EXPECT_EQ(Answer(space, "Import"), "false") << space;
    EXPECT_EQ(Answer(space, "ImportMode"), "NoImport") << space;
  }
  EXPECT_EQ(Answer("Wall North", "Import"), "true");
  EXPECT_EQ(Answer("Roof Level", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Ground Floor", "ImportMode"), "<none>");
  QORUnicodeString profile;
  ASSERT_EQ(_reader->GetSetting("defaultProfile", profile), S_OK);
  EXPECT_EQ(profile.Str(), "ForDesign");
}

TEST_F(IfcProvider, WhatTheHostHandsOverIsCheckedWithAReason) {
  QORUnicodeString otherFormat(R"({"format":"STEP","settings":{}})");
  ExpectRefused("IFC", kHouse, "", &otherFormat);
  // A host path with backslashes is read as the same file.
  std::string path = kHouse;
  for (char& ch : path)
    if (ch == '/') ch = '\\';
  EXPECT_EQ(NewGenerator()->GenerateDocument("IFC", QORUnicodeString(path), nullptr), S_OK);
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
  EXPECT_EQ(Answer("Partition", "Pset_WallCommon.IsExternal"), "false");
  EXPECT_EQ(Answer("Sofa", "Pset_WallCommon.IsExternal"), "<none>");
  EXPECT_EQ(Answer("Wall North", "Qto_WallBaseQuantities.NetVolume"), "9");
  EXPECT_EQ(Answer("Front Door", "Pset_DoorCommon.FireRating"), "EI60");
  EXPECT_EQ(Answer("Front Door", "Classification"), "Doors");
  EXPECT_EQ(Answer("Wall West", "Layer"), "A-WALL-CORE");
  // Typed: a boolean and a number with its unit in the title, text read-only.
  EXPECT_EQ(Column("Pset_WallCommon.IsExternal").ReadString("typeRepresentation").Str(), "boolean");
  JSON::JIStream volume = Column("Qto_WallBaseQuantities.NetVolume");
  EXPECT_EQ(volume.ReadString("typeRepresentation").Str(), "number");
  EXPECT_EQ(volume.ReadObject("data").ReadString("NLS_text").Str(),
            "Qto_WallBaseQuantities.NetVolume (m\xC2\xB3)");
  EXPECT_EQ(Column("Material").ReadRawString("editableFlag").Str(), "false");
}

// Without chosen columns, or with an empty list, the house has its fixed columns; a list that
// is no JSON array fails the generation.
TEST_F(ChosenColumns, HouseRowsAndCellsWithoutChosenColumns) {
  Generate(nullptr);
  EXPECT_LT(Position("First Floor"), Position("Roof Level"));  // storeys by elevation
  EXPECT_NE(Position("K\u00FCche"), SIZE_MAX);                 // decoded
  EXPECT_EQ(Answer("Wall North", "Type"), "IfcWall");
  EXPECT_EQ(Answer("Wall North", "Name"), "Wall North");
  EXPECT_EQ(Answer("First Floor", "Elevation"), "3000");
  EXPECT_EQ(Answer("Wall North", "Elevation"), "<none>");
  // Without a decision there is no mode, and the runtime column never has a cell.
  EXPECT_EQ(Answer("Wall North", "ImportMode"), "<none>");
  EXPECT_EQ(Answer("Wall North", "Imported"), "<none>");
  // Every column is described; the enumeration lists the four modes.
  ASSERT_EQ(_document.ReadObjects("columns").size(), 8u);
  EXPECT_EQ(Column("ImportMode").ReadObject("data").ReadStrings("possibleValues").size(), 4u);
  EXPECT_EQ(Column("Imported").ReadObject("data").ReadString("type").Str(), "runtime");
  const std::string plain = _document.Stringify().Str();
  // Each row its own type's supertypes, where the type changes from row to row too.
  auto supertypes = [&](const std::string& label) {
    const std::size_t at = plain.find(R"("supertypes":")", plain.find(R"("label":")" + label));
    return at == std::string::npos ? "<none>"
                                   : plain.substr(at + 14, plain.find('"', at + 14) - at - 14);
  };
  EXPECT_EQ(supertypes("Sofa"), "IfcFurnishingElement IfcElement IfcProduct");
  EXPECT_EQ(supertypes("Front Door"), "IfcBuildingElement IfcElement IfcProduct");
  EXPECT_EQ(supertypes("Hall"), "IfcSpatialStructureElement IfcSpatialElement IfcProduct");
  setenv("QORDX_FILTER_COLUMNS", "[]", 1);
  Generate(nullptr);
  EXPECT_EQ(_document.Stringify().Str(), plain);
  setenv("QORDX_FILTER_COLUMNS", "Material", 1);
  ExpectRefused("IFC", kHouse, "QORDX_FILTER_COLUMNS");
}

}  // namespace
