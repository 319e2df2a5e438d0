// StepProviderTest.cpp - the STEP provider as the host uses it: loaded from disk, driven by
// the generator, its document read back by the reader.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ProviderFixture.h"

namespace {

const std::string kGearbox = std::string(DX_SAMPLES_DIR) + "/Gearbox.stp";

class StepProvider : public ProviderFixture {
 protected:
  static void SetUpTestSuite() { LoadModules("libInputStepFilter.so"); }
  void TearDown() override {
    unsetenv("QOR_STEP_CODE_PAGE");
    unsetenv("QOR_STEP_MAX_OCCURRENCES");
  }
  void Generate(const QORUnicodeString* settings, const std::vector<std::string>& removes = {}) {
    ProviderFixture::Generate("STEP", kGearbox, settings, removes);
  }
};

TEST_F(StepProvider, GearboxRowsCarryTheProductColumns) {
  Generate(nullptr);
  ASSERT_EQ(_rows.size(), 16u);
  EXPECT_EQ(_rows[Position("Gearbox/Input shaft/Bearing, free side")].second,
            "GBX-100/ISA-200:1/BRG-6204:2");
  EXPECT_EQ(Answer("Gearbox", "Kind"), "assembly");
  EXPECT_EQ(Answer("Gearbox", "Instance"), "<none>");  // a root is no usage
  EXPECT_EQ(Answer("Gearbox/Housing", "Kind"), "part");
  EXPECT_EQ(Answer("Gearbox/Housing", "Description"), "Cast housing, machined");
  const std::string bolt = "Gearbox/Cover bolt 3";
  EXPECT_EQ(Answer(bolt, "PartNumber"), "BLT-M8");
  EXPECT_EQ(Answer(bolt, "Name"), "Bolt M8x30");
  EXPECT_EQ(Answer(bolt, "Instance"), "BLT-M8:3");
  EXPECT_EQ(Answer(bolt, "Quantity"), "4");
  EXPECT_EQ(Answer(bolt, "SchemaApplication"), "AP214");

  const std::vector<JSON::JIStream> columns = _document.ReadObjects("columns");
  ASSERT_EQ(columns.size(), 10u);
  EXPECT_EQ(columns[4].ReadObject("data").ReadString("NLS_text").Str(),
            "DXStepProvider.Column_PartNumber");
  EXPECT_EQ(_document.ReadObject("data").ReadString("filterID").Str(), "AP214:Gearbox.stp");
  EXPECT_EQ(_document.ReadObject("data").ReadString("formatUsage").Str(), "STEP");
}

TEST_F(StepProvider, RemovingAPartNumberLeavesOutEveryOccurrence) {
  QORUnicodeString settings(R"({"format":"STEP","settings":{"defaultProfile":"ForDesign"}})");
  Generate(&settings, {"BRG-6204"});
  for (const char* side :
       {"Gearbox/Input shaft/Bearing, drive side", "Gearbox/Output shaft/Bearing, free side"}) {
    EXPECT_EQ(Answer(side, "ImportMode"), "NoImport") << side;
    EXPECT_EQ(Answer(side, "Import"), "false") << side;
  }
  // The profile reaches the other parts, the leaves, and not the assemblies.
  EXPECT_EQ(Answer("Gearbox/Input shaft/Input shaft", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Gearbox/Cover bolt 1", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Gearbox/Input shaft", "ImportMode"), "<none>");
  EXPECT_EQ(Answer("Gearbox", "ImportMode"), "<none>");
}

// The host's settings reach the provider through the environment; bad ones, and a file
// without products, fail with a reason.
TEST_F(StepProvider, EnvironmentSettingsAndRefusals) {
  setenv("QOR_STEP_MAX_OCCURRENCES", "15", 1);
  ExpectRefused("STEP", kGearbox, "more than 15 occurrences");
  setenv("QOR_STEP_MAX_OCCURRENCES", "many", 1);
  ExpectRefused("STEP", kGearbox, "QOR_STEP_MAX_OCCURRENCES");
  unsetenv("QOR_STEP_MAX_OCCURRENCES");
  setenv("QOR_STEP_CODE_PAGE", "no-such-page", 1);
  ExpectRefused("STEP", kGearbox, "no-such-page");
  unsetenv("QOR_STEP_CODE_PAGE");
  const std::string noProducts = ::testing::TempDir() + "/no-products.stp";
  std::ofstream(noProducts) << "ISO-10303-21;HEADER;FILE_SCHEMA(('CONFIG_CONTROL_DESIGN'));ENDSEC;"
                               "DATA;#1=CARTESIAN_POINT('',(0.,0.,0.));ENDSEC;END-ISO-10303-21;";
  ExpectRefused("STEP", noProducts,
                "no product structure in no-products.stp: it has no PRODUCT_DEFINITION (schema "
                "AP203)");
}

}  // namespace
