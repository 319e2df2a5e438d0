// StepProviderTest.cpp - the STEP provider as the host uses it: loaded from disk, driven by
// the generator, its document read back by the reader.
#include <gtest/gtest.h>

#include <cstdio>
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

const std::string kGearbox = std::string(DX_SAMPLES_DIR) + "/Gearbox.stp";

typedef QORInterface_var<QORIInputFilterGenerator> Generator_var;
typedef QORInterface_var<QORIResolvedInputFilter> Reader_var;

class StepProvider : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_GE(QORLoadModule("libDXInputFilterServices.so", &error), 0) << error;
    ASSERT_GE(QORLoadModule("libInputStepFilter.so", &error), 0) << error;
  }
  void TearDown() override {
    unsetenv("QOR_STEP_CODE_PAGE");
    unsetenv("QOR_STEP_MAX_OCCURRENCES");
  }

  Generator_var NewGenerator() {
    void* p = nullptr;
    EXPECT_EQ(QORInstantiateComponent("INPUT_FILTER_GENERATOR", IID_QORIInputFilterGenerator, &p),
              S_OK);
    Generator_var g(static_cast<QORIInputFilterGenerator*>(p));
    static_cast<QORBaseUnknown*>(p)->Release();
    return g;
  }

  void Generate(const QORUnicodeString* settings, std::vector<std::string> removes = {}) {
    Generator_var generator = NewGenerator();
    if (!removes.empty()) {
      QORListValQORUnicodeString names;
      for (const std::string& r : removes) names.Append(QORUnicodeString(r));
      generator->AddEntityList(0, names);
    }
    ASSERT_EQ(generator->GenerateDocument("STEP", QORUnicodeString(kGearbox), settings), S_OK)
        << QORTakeErrorText();
    const std::string path = ::testing::TempDir() + "/gearbox.filter.json";
    ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
    ASSERT_TRUE(_document.ParseFile(QORUnicodeString(path)));
    QORIResolvedInputFilter* raw = nullptr;
    ASSERT_EQ(generator->GetResolvedFilter(&raw), S_OK);
    _reader = Reader_var(raw);
    raw->Release();
    Index(_document.ReadObjects("roots"), "");
  }

  // Rows by path of labels ("Gearbox/Input shaft/Bearing, drive side").
  void Index(const std::vector<JSON::JIStream>& nodes, const std::string& above) {
    for (const JSON::JIStream& node : nodes) {
      const std::string path = above + node.ReadString("label").Str();
      const std::vector<QORUnicodeString> uids = node.ReadObject("data").ReadStrings("uid");
      if (uids.size() == 1) _uid[path] = uids.front().Str();
      Index(node.ReadObjects("children"), path + "/");
    }
  }

  std::string Answer(const std::string& path, const char* column) {
    const auto it = _uid.find(path);
    if (it == _uid.end()) return "<no entity " + path + ">";
    QORUnicodeString value;
    if (_reader->GetObjectAttribute(QORUnicodeString(it->second), QORUnicodeString(column), value) <
        0)
      return "<none>";
    return value.Str();
  }

  JSON::JIStream _document;
  Reader_var _reader;
  std::map<std::string, std::string> _uid;
};

TEST_F(StepProvider, GearboxRowsCarryTheProductColumns) {
  Generate(nullptr);
  EXPECT_EQ(_uid.size(), 16u);
  EXPECT_EQ(_uid["Gearbox/Input shaft/Bearing, free side"], "GBX-100/ISA-200:1/BRG-6204:2");
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
  EXPECT_EQ(Answer(bolt, "Import"), "true");
  EXPECT_EQ(Answer("Gearbox/Output shaft/Wheel", "Quantity"), "1");

  const std::vector<JSON::JIStream> columns = _document.ReadObjects("columns");
  ASSERT_EQ(columns.size(), 10u);
  EXPECT_EQ(columns[0].ReadString("dataIndex").Str(), "tree");
  EXPECT_EQ(columns[4].ReadObject("data").ReadString("NLS_text").Str(),
            "DXStepProvider.Column_PartNumber");
  EXPECT_EQ(_document.ReadObject("data").ReadString("filterID").Str(), "AP214:Gearbox.stp");
  EXPECT_EQ(_document.ReadObject("data").ReadString("formatUsage").Str(), "STEP");
}

TEST_F(StepProvider, RemovingAPartNumberLeavesOutEveryOccurrence) {
  QORUnicodeString settings(R"({"format":"STEP","settings":{"defaultProfile":"ForDesign"}})");
  Generate(&settings, {"BRG-6204"});
  for (const char* shaft : {"Input shaft", "Output shaft"}) {
    for (const char* side : {"drive", "free"}) {
      const std::string path = std::string("Gearbox/") + shaft + "/Bearing, " + side + " side";
      EXPECT_EQ(Answer(path, "ImportMode"), "NoImport") << path;
      EXPECT_EQ(Answer(path, "Import"), "false") << path;
    }
  }
  // The profile reaches the other parts, the leaves, and not the assemblies.
  EXPECT_EQ(Answer("Gearbox/Input shaft/Input shaft", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Gearbox/Cover bolt 1", "ImportMode"), "ForDesign");
  EXPECT_EQ(Answer("Gearbox/Input shaft", "ImportMode"), "<none>");
  EXPECT_EQ(Answer("Gearbox", "ImportMode"), "<none>");
}

TEST_F(StepProvider, EnvironmentSettingsReachTheProvider) {
  Generator_var generator = NewGenerator();
  setenv("QOR_STEP_MAX_OCCURRENCES", "15", 1);
  QORTakeErrorText();
  EXPECT_EQ(generator->GenerateDocument("STEP", QORUnicodeString(kGearbox), nullptr), E_FAIL);
  EXPECT_NE(QORTakeErrorText().find("more than 15 occurrences"), std::string::npos);
  setenv("QOR_STEP_MAX_OCCURRENCES", "16", 1);
  EXPECT_EQ(generator->GenerateDocument("STEP", QORUnicodeString(kGearbox), nullptr), S_OK);
  setenv("QOR_STEP_MAX_OCCURRENCES", "many", 1);
  EXPECT_LT(generator->GenerateDocument("STEP", QORUnicodeString(kGearbox), nullptr), 0);
  EXPECT_NE(QORTakeErrorText().find("QOR_STEP_MAX_OCCURRENCES"), std::string::npos);
  unsetenv("QOR_STEP_MAX_OCCURRENCES");
  setenv("QOR_STEP_CODE_PAGE", "no-such-page", 1);
  EXPECT_LT(generator->GenerateDocument("STEP", QORUnicodeString(kGearbox), nullptr), 0);
  EXPECT_NE(QORTakeErrorText().find("no-such-page"), std::string::npos);
}

TEST_F(StepProvider, FileWithoutProductsFailsWithAReason) {
  Generator_var generator = NewGenerator();
  const std::string path = ::testing::TempDir() + "/no-products.stp";
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs(
      "ISO-10303-21;HEADER;FILE_SCHEMA(('CONFIG_CONTROL_DESIGN'));ENDSEC;DATA;"
      "#1=CARTESIAN_POINT('',(0.,0.,0.));ENDSEC;END-ISO-10303-21;",
      f);
  fclose(f);
  QORTakeErrorText();
  EXPECT_LT(generator->GenerateDocument("STEP", QORUnicodeString(path), nullptr), 0);
  EXPECT_EQ(QORTakeErrorText(),
            "no product structure in no-products.stp: it has no PRODUCT_DEFINITION (schema AP203)");
}

}  // namespace
