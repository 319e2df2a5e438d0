// GeneratorSettingsTest.cpp - the import settings of a generation: the format check,
// the settings copied into the document, the entity lists, and the import mode decided
// per entity and handed to the provider with each cell request.
#include <gtest/gtest.h>

#include <optional>

#include "GeneratorFixture.h"

namespace dxtest {
namespace {

std::string Settings(const std::string& profile, const std::string& format = "SynthImport") {
  return R"({"format":")" + format + R"(","settings":{"defaultProfile":")" + profile + R"("}})";
}

class GeneratorSettings : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    shape.columns = {0, 10, 1};  // the tree, the mode's echo, a name
  }
  // Entity i, named and flagged as given, among the roots.
  void AddEntity(uint64_t i, const std::string& entityName, std::optional<std::string> latest) {
    shape.attributes[i][QORDXEntityAttribute::kEntityName] = entityName;
    if (latest) shape.attributes[i][QORDXEntityAttribute::kIsLatestSpatialEntity] = *latest;
    shape.children[synth::kRoots].push_back(static_cast<int64_t>(i));
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
  shape.children.clear();
  AddEntity(1, c.entityName, c.latest);

  ASSERT_EQ(Generate(c.settings ? c.settings->c_str() : nullptr), S_OK);
  EXPECT_EQ(ModeGiven(1), c.mode);
  EXPECT_EQ(JsonAt(Document(), "/roots/0/grid/ImportMode"),
            c.mode ? R"(")" + *c.mode + R"(")" : std::string("<missing>"));
  Names asked;
  for (const std::string& call : Calls("GetEntityAttribute(1,"))
    asked.push_back(call.substr(21, call.size() - 22));
  EXPECT_EQ(asked, c.attributesAsked);
}

const Names kNameOnly = {"EntityName"};
const Names kLatestOnly = {"IsLatestSpatialEntity"};
const Names kNameThenLatest = {"EntityName", "IsLatestSpatialEntity"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportModeDecision,
    ::testing::Values(ModeCase{"RemovedEntityIsNotImported", Names{"Wall", "Door"},
                               Settings("ForCoordination"), "Door", "true", "NoImport", kNameOnly},
                      ModeCase{"KeptEntityFollowsCoordinationProfile", Names{"Wall"},
                               Settings("ForCoordination"), "Slab", "true", "ForCoordination",
                               kNameThenLatest},
                      ModeCase{"DesignProfile", std::nullopt, Settings("ForDesign"), "Slab", "true",
                               "ForDesign", kLatestOnly},
                      ModeCase{"AnyOtherProfileIsLifecycle", std::nullopt, Settings("ForReview"),
                               "Slab", "true", "ForLifecycle", kLatestOnly},
                      ModeCase{"LatestFlagMustBeExactlyTrue", std::nullopt, Settings("ForDesign"),
                               "Slab", "TRUE", std::nullopt, kLatestOnly},
                      ModeCase{"LatestFlagWithBlankIsNotTrue", std::nullopt, Settings("ForDesign"),
                               "Slab", "true ", std::nullopt, kLatestOnly},
                      ModeCase{"MissingLatestFlagDecidesNothing", std::nullopt,
                               Settings("ForDesign"), "Slab", std::nullopt, std::nullopt,
                               kLatestOnly},
                      ModeCase{"EmptyRemovalListStillReadsTheName", Names{}, Settings("ForDesign"),
                               "Slab", "true", "ForDesign", kNameThenLatest},
                      ModeCase{"RemovalListAloneRemoves", Names{"Wall"}, std::nullopt, "Wall",
                               "true", "NoImport", kNameOnly},
                      ModeCase{"RemovalListAloneDecidesNothingForOthers", Names{"Wall"},
                               std::nullopt, "Slab", "true", std::nullopt, kNameOnly},
                      ModeCase{"RemovalNamesCompareExactly", Names{"wall"}, Settings("ForDesign"),
                               "Wall", "true", "ForDesign", kNameThenLatest},
                      ModeCase{"FormatOnlySettingsHaveNothingToDecide", std::nullopt,
                               std::string(R"({"format":"SynthImport"})"), "Slab", "true",
                               std::nullopt, Names{}}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.title); });

// Each entity gets its own mode: a removed parent passes nothing on to its child. The
// later entity list replaces the earlier one; a list of another kind changes nothing.
TEST_F(GeneratorSettings, ModeIsDecidedForEachEntityFromTheLastList) {
  RemoveEntities({"Wall", "Wall", "Door"});
  RemoveEntities({"Slab", "Wall", "Slab"});
  RemoveEntities({"Roof"}, 2);
  shape.children.clear();
  AddEntity(1, "Wall", "true");
  AddEntity(3, "Slab", "false");
  AddEntity(4, "Roof", "true");
  AddEntity(5, "Door", "true");
  shape.children[1] = {2};
  shape.attributes[2] = {{"EntityName", "Beam"}, {"IsLatestSpatialEntity", "true"}};

  ASSERT_EQ(Generate(Settings("ForDesign").c_str()), S_OK);
  EXPECT_EQ(ModeGiven(1), "NoImport");
  EXPECT_EQ(ModeGiven(2), "ForDesign");
  EXPECT_EQ(ModeGiven(3), "NoImport");
  EXPECT_EQ(ModeGiven(4), "ForDesign");
  EXPECT_EQ(ModeGiven(5), "ForDesign");
}

// The settings member is copied into the document's data; the format check asks the
// provider once, the document header once more. The next generation reads its own
// settings afresh: without any it decides nothing and copies nothing.
TEST_F(GeneratorSettings, SettingsAreCopiedIntoTheDataAndReadAfreshEachTime) {
  const char* settings =
      R"({ "format" : "SynthImport", "settings" : { "defaultProfile" : "ForCoordination",)"
      R"( "limit" : 12, "flags" : [ true, null ], "nested" : { "path" : "C:\\dir\\f \"q\"" } } })";
  shape.attributes[0][QORDXEntityAttribute::kIsLatestSpatialEntity] = "true";
  ASSERT_EQ(Generate(settings), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/data"),
            Json(R"({"filterID":"SYNTH-FILTER-0001","formatUsage":"SynthImport","settings":)"
                 R"({"defaultProfile":"ForCoordination","limit":12,"flags":[true,null],)"
                 R"("nested":{"path":"C:\\dir\\f \"q\""}}})"));
  EXPECT_EQ(Calls("GetFormatUsage").size(), 2u);
  EXPECT_EQ(ModeGiven(0), "ForCoordination");

  shape.calls.clear();
  // A profile left from the first generation would still win over ForDesign.
  ASSERT_EQ(Generate(Settings("ForDesign").c_str()), S_OK);
  EXPECT_EQ(ModeGiven(0), "ForDesign");
  EXPECT_EQ(Generate(Settings("ForDesign", "OtherUsage").c_str()), E_FAIL);
  shape.calls.clear();
  ASSERT_EQ(Generate(), S_OK);
  EXPECT_EQ(JsonAt(Document(), "/data/settings"), "<missing>");
  EXPECT_EQ(ModeGiven(0), std::nullopt);
  EXPECT_TRUE(Calls("GetEntityAttribute").empty());
}

// Unreadable settings, or settings of another format, fail after asking the format and
// keep the document; settings without a format stand for the empty format.
TEST_F(GeneratorSettings, RefusedSettingsFailAfterAskingTheFormatAndKeepTheDocument) {
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  for (const std::string& settings :
       {std::string("not json"), std::string("{\"x\":1}"), std::string("[1]"), std::string(""),
        Settings("ForDesign", "OtherUsage"), Settings("ForDesign", "synthimport"),
        std::string(R"({"settings":{"defaultProfile":"ForDesign"}})")}) {
    shape.calls.clear();
    EXPECT_EQ(Generate(settings.c_str()), E_FAIL) << settings;
    EXPECT_EQ(shape.calls, (Names{"SetInputFile(/data/model.src)", "GetFormatUsage()"}))
        << settings;
    EXPECT_EQ(Document(), before) << settings;
  }
  shape.formatUsage = "";
  EXPECT_EQ(Generate(R"({"settings":{"defaultProfile":"ForDesign"}})"), S_OK);
}

}  // namespace
}  // namespace dxtest
