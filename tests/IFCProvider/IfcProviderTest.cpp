// IfcProviderTest.cpp - the IFC provider as the host uses it: loaded from disk, driven
// by the generator, its document read back by the reader.
#include <cstdlib>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
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

// A host may ask in any order: each cell is found by its whole name, not by where the last
// one was, nor by a prefix that two names share ("Import", "ImportMode", "Imported").
TEST_F(ChosenColumns, CellsAnswerTheirOwnNameInAnyOrder) {
  setenv("QORDX_FILTER_COLUMNS",
         R"(["Pset_WallCommon.IsExternal","Pset_WallCommon.Status","Material","Tag"])", 1);
  void* p = nullptr;
  ASSERT_EQ(QORInstantiateComponent("INPUT_IFC_FILTER", IID_QORIInputFilterStructure, &p), S_OK);
  QORInterface_var<QORIInputFilterStructure> provider(static_cast<QORIInputFilterStructure*>(p));
  static_cast<QORBaseUnknown*>(p)->Release();
  ASSERT_EQ(provider->SetInputFile(QORUnicodeString(kHouse)), S_OK);
  // Wall South, found by a walk of the tree.
  std::vector<void*> pending;
  QORRawCollPV list;
  provider->GetRoots(list);
  for (int i = 1; i <= list.Size(); ++i) pending.push_back(list[i]);
  void* wall = nullptr;
  while (!pending.empty() && wall == nullptr) {
    void* entity = pending.back();
    pending.pop_back();
    QORUnicodeString label;
    QORListValQORUnicodeString uids;
    bool nls = false;
    provider->GetEntityLabel(entity, label, uids, nls);
    if (label.Str() == "Wall South") wall = entity;
    list.RemoveAll();
    provider->GetChildren(entity, list);
    for (int i = 1; i <= list.Size(); ++i) pending.push_back(list[i]);
  }
  ASSERT_NE(wall, nullptr);
  QORListValQORUnicodeString names;
  provider->GetColumns(names);
  ASSERT_EQ(names.Size(), 12);
  const QORUnicodeString mode("ForDesign");
  auto value = [&](const QORUnicodeString& column) {
    QORUnicodeString v;
    bool nls = false;
    if (provider->GetEntityValue(wall, column, v, nls, &mode) != S_OK) return std::string("<E>");
    return v.Str();
  };
  auto describe = [&](const QORUnicodeString& column) {
    QORUnicodeString text;
    int32_t type = -1;
    QORListValQORUnicodeString values;
    if (provider->GetColumnDescription(column, text, type, values) != S_OK) return std::string();
    return text.Str() + "/" + std::to_string(type) + "/" + std::to_string(values.Size());
  };
  // As the generator asks: each column described, then its value.
  std::vector<std::string> described, values;
  for (int i = 1; i <= names.Size(); ++i) {
    described.push_back(describe(names[i]));
    values.push_back(value(names[i]));
  }
  EXPECT_EQ(values[1], "true");       // Import
  EXPECT_EQ(values[2], "ForDesign");  // ImportMode
  EXPECT_EQ(values[8], "true");       // Pset_WallCommon.IsExternal
  EXPECT_EQ(values[9], "NEW, EXISTING");
  EXPECT_EQ(values[10], "Brick");
  // Backwards, each value asked after another column's description, and every description
  // after another's value.
  for (int i = names.Size(); i >= 1; --i) {
    const int other = i % names.Size() + 1;
    describe(names[other]);
    EXPECT_EQ(value(names[i]), values[static_cast<std::size_t>(i - 1)]) << names[i].Str();
    EXPECT_EQ(describe(names[i]), described[static_cast<std::size_t>(i - 1)]) << names[i].Str();
  }
  // Entity after entity, the list emptied and filled again and each name handed over as
  // the generator does: the names stay the same, whatever room the provider keeps.
  std::vector<std::string> first;
  for (const QORUnicodeString& name : names) first.push_back(name.Str());
  for (int round = 0; round < 3; ++round) {
    names.RemoveAll();
    provider->GetColumns(names);
    ASSERT_EQ(names.Size(), static_cast<int>(first.size()));
    for (int i = 1; i <= names.Size(); ++i) {
      const auto at = static_cast<std::size_t>(i - 1);
      EXPECT_EQ(names[i].Str(), first[at]) << round;
      EXPECT_EQ(describe(names[i]), described[at]) << first[at];
      QORUnicodeString v;
      bool nls = false;
      const HRESULT hr = provider->GetEntityValue(wall, std::move(names[i]), v, nls, &mode);
      EXPECT_EQ(hr == S_OK ? v.Str() : "<E>", values[at]) << first[at];
    }
  }
  EXPECT_EQ(describe(QORUnicodeString("tree")), described[0]);
  EXPECT_EQ(value(QORUnicodeString("Impo")), "<E>");
  EXPECT_EQ(value(QORUnicodeString("Pset_WallCommon.IsExternaL")), "<E>");
  EXPECT_EQ(describe(QORUnicodeString("Materia")), "");
}

}  // namespace
