// GeneratorSettingsTest.cpp - the import settings of a generation: the format check,
// the settings copied into the document, the entity lists, and the import mode decided
// per entity and handed to the provider with each cell request.
#include <gtest/gtest.h>

#include <optional>

#include "GeneratorFixture.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"

namespace dxtest {
namespace {

std::string Settings(const std::string& profile, const std::string& format = "TestUsage") {
  return R"({"format":")" + format + R"(","settings":{"defaultProfile":")" + profile + R"("}})";
}

class GeneratorSettings : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    model.columnNames = {"tree"};
    model.columns["tree"] = TestColumn{"T", 0, {}};
    model.AddColumn("Mode", "m", 3);
    model.AddColumn("Other", "o", 3);
    model.modeEchoColumn = "Mode";
  }
  TestEntity* AddEntity(const std::string& name, const std::string& entityName,
                        std::optional<std::string> latest) {
    TestEntity* e = model.Add(name, name, {name + "-uid"});
    e->values["Other"] = {"o", false};
    e->attributes[QORDXEntityAttribute::kEntityName] = entityName;
    if (latest) e->attributes[QORDXEntityAttribute::kIsLatestSpatialEntity] = *latest;
    return e;
  }
  // The mode every cell request for the entity carried; fails when they differ.
  std::optional<std::string> ModeGiven(const TestEntity* e) {
    std::vector<std::optional<std::string>> modes;
    for (const ProviderCall& call : model.CallsOf("GetEntityValue"))
      if (call.entity == e) modes.push_back(call.mode);
    EXPECT_EQ(modes.size(), 2u);
    for (const auto& mode : modes) EXPECT_EQ(mode, modes.front());
    return modes.empty() ? std::nullopt : modes.front();
  }
};

// One entity, one situation: which attributes were asked and which mode came out.
struct ModeCase {
  const char* title;
  std::optional<std::vector<std::string>> removed;
  std::optional<std::string> settings;
  std::string entityName;
  std::optional<std::string> latest;
  std::optional<std::string> mode;
  std::vector<std::string> attributesAsked;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << c.title;
}

class ImportModeDecision : public GeneratorSettings,
                           public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ImportModeDecision, ModeReachesEveryCellRequestOfTheEntity) {
  const ModeCase& c = GetParam();
  if (c.removed) RemoveEntities(*c.removed);
  TestEntity* e = AddEntity("e", c.entityName, c.latest);
  model.roots = {e};

  ASSERT_EQ(Generate(c.settings ? c.settings->c_str() : nullptr), S_OK);
  EXPECT_EQ(ModeGiven(e), c.mode);
  EXPECT_EQ(JsonAt(Document(), "/roots/0/grid/Mode"),
            c.mode ? R"(")" + *c.mode + R"(")" : std::string("<missing>"));
  std::vector<std::string> asked;
  for (const ProviderCall& call : model.CallsOf("GetEntityAttribute"))
    asked.push_back(call.argument);
  EXPECT_EQ(asked, c.attributesAsked);
}

const std::vector<std::string> kNameOnly = {"EntityName"};
const std::vector<std::string> kLatestOnly = {"IsLatestSpatialEntity"};
const std::vector<std::string> kNameThenLatest = {"EntityName", "IsLatestSpatialEntity"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportModeDecision,
    ::testing::Values(
        ModeCase{"RemovedEntityIsNotImported", std::vector<std::string>{"Wall", "Door"},
                 Settings("ForCoordination"), "Door", "true", "NoImport", kNameOnly},
        ModeCase{"KeptEntityFollowsCoordinationProfile", std::vector<std::string>{"Wall"},
                 Settings("ForCoordination"), "Slab", "true", "ForCoordination", kNameThenLatest},
        ModeCase{"DesignProfile", std::nullopt, Settings("ForDesign"), "Slab", "true", "ForDesign",
                 kLatestOnly},
        ModeCase{"AnyOtherProfileIsLifecycle", std::nullopt, Settings("ForReview"), "Slab", "true",
                 "ForLifecycle", kLatestOnly},
        ModeCase{"LatestFlagMustBeExactlyTrue", std::nullopt, Settings("ForDesign"), "Slab", "TRUE",
                 std::nullopt, kLatestOnly},
        ModeCase{"LatestFlagWithBlankIsNotTrue", std::nullopt, Settings("ForDesign"), "Slab",
                 "true ", std::nullopt, kLatestOnly},
        ModeCase{"MissingLatestFlagDecidesNothing", std::nullopt, Settings("ForDesign"), "Slab",
                 std::nullopt, std::nullopt, kLatestOnly},
        ModeCase{"EmptyRemovalListStillReadsTheName", std::vector<std::string>{},
                 Settings("ForDesign"), "Slab", "true", "ForDesign", kNameThenLatest},
        ModeCase{"RemovalListAloneRemoves", std::vector<std::string>{"Wall"}, std::nullopt, "Wall",
                 "true", "NoImport", kNameOnly},
        ModeCase{"RemovalListAloneDecidesNothingForOthers", std::vector<std::string>{"Wall"},
                 std::nullopt, "Slab", "true", std::nullopt, kNameOnly},
        ModeCase{"RemovalNamesCompareExactly", std::vector<std::string>{"wall"},
                 Settings("ForDesign"), "Wall", "true", "ForDesign", kNameThenLatest},
        ModeCase{"FormatOnlySettingsHaveNothingToDecide", std::nullopt,
                 std::string(R"({"format":"TestUsage"})"), "Slab", "true", std::nullopt,
                 std::vector<std::string>{}}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.title); });

// Each entity gets its own mode: a removed parent passes nothing on to its child.
TEST_F(GeneratorSettings, ModeIsDecidedForEachEntityOnItsOwn) {
  RemoveEntities({"Wall"});
  TestEntity* wall = AddEntity("wall", "Wall", "true");
  TestEntity* slab = AddEntity("slab", "Slab", "true");
  TestEntity* old = AddEntity("old", "Slab", "false");
  wall->children = {slab};
  model.roots = {wall, old};

  ASSERT_EQ(Generate(Settings("ForDesign").c_str()), S_OK);
  EXPECT_EQ(ModeGiven(wall), "NoImport");
  EXPECT_EQ(ModeGiven(slab), "ForDesign");
  EXPECT_EQ(ModeGiven(old), std::nullopt);
}

TEST_F(GeneratorSettings, SettingsMemberIsCopiedIntoTheDocumentData) {
  model.roots = {AddEntity("e", "Slab", "true")};
  const char* settings =
      R"({ "format" : "TestUsage", "settings" : { "defaultProfile" : "ForDesign",)"
      R"( "limit" : 12, "flags" : [ true, null ], "nested" : { "path" : "C:\\dir\\f \"q\"" } } })";
  ASSERT_EQ(Generate(settings), S_OK);
  EXPECT_EQ(
      JsonAt(Document(), "/data"),
      Json(R"({"filterID":"F-1","formatUsage":"TestUsage","settings":{"defaultProfile":)"
           R"("ForDesign","limit":12,"flags":[true,null],"nested":{"path":"C:\\dir\\f \"q\""}}})"));
  // The format check asks the provider once, the document header once more.
  EXPECT_EQ(model.CallsOf("GetFormatUsage").size(), 2u);
}

// Unreadable settings, or settings of another format, fail after asking the format and
// keep the document; settings without a format stand for the empty format.
TEST_F(GeneratorSettings, RefusedSettingsFailAfterAskingTheFormatAndKeepTheDocument) {
  model.roots = {AddEntity("e", "Slab", "true")};
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  for (const std::string& settings :
       {std::string("not json"), std::string("{\"x\":1}"), std::string("[1]"), std::string(""),
        Settings("ForDesign", "OtherUsage"), Settings("ForDesign", "testusage"),
        std::string(R"({"settings":{"defaultProfile":"ForDesign"}})")}) {
    model.calls.clear();
    EXPECT_EQ(Generate(settings.c_str()), E_FAIL) << settings;
    EXPECT_EQ(
        model.Trace({"SetInputFile", "GetFormatUsage", "GetColumns", "GetRoots", "GetFilterID"}),
        (std::vector<std::string>{"SetInputFile(/data/model.src)", "GetFormatUsage()"}))
        << settings;
    EXPECT_EQ(Document(), before) << settings;
  }
  model.formatUsage = "";
  EXPECT_EQ(Generate(R"({"settings":{"defaultProfile":"ForDesign"}})"), S_OK);
}

// Whether the last generation's settings were taken or rejected, the next one reads its
// own afresh: without settings it decides nothing and copies nothing.
TEST_F(GeneratorSettings, EachGenerationReadsItsSettingsAfresh) {
  model.roots = {AddEntity("e", "Slab", "true")};
  ASSERT_EQ(Generate(Settings("ForCoordination").c_str()), S_OK);
  EXPECT_EQ(ModeGiven(model.roots[0]), "ForCoordination");
  model.calls.clear();
  // A profile left from the first generation would still win over ForDesign.
  ASSERT_EQ(Generate(Settings("ForDesign").c_str()), S_OK);
  EXPECT_EQ(ModeGiven(model.roots[0]), "ForDesign");
  EXPECT_EQ(Generate(Settings("ForDesign", "OtherUsage").c_str()), E_FAIL);
  model.calls.clear();
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/data/settings"), "<missing>");
  EXPECT_EQ(ModeGiven(model.roots[0]), std::nullopt);
  EXPECT_TRUE(model.CallsOf("GetEntityAttribute").empty());
}

TEST_F(GeneratorSettings, LaterEntityListReplacesTheEarlierOne) {
  RemoveEntities({"Wall", "Wall", "Door"});
  RemoveEntities({"Slab", "Door", "Slab"});
  RemoveEntities({"Roof"}, 2);  // another kind changes nothing
  TestEntity* wall = AddEntity("wall", "Wall", "false");
  TestEntity* door = AddEntity("door", "Door", "false");
  TestEntity* slab = AddEntity("slab", "Slab", "false");
  TestEntity* roof = AddEntity("roof", "Roof", "false");
  model.roots = {wall, door, slab, roof};

  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(ModeGiven(wall), std::nullopt);
  EXPECT_EQ(ModeGiven(door), "NoImport");
  EXPECT_EQ(ModeGiven(slab), "NoImport");
  EXPECT_EQ(ModeGiven(roof), std::nullopt);
}

}  // namespace
}  // namespace dxtest
