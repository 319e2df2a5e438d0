// CloudFilterTest.cpp - the cloud generator: it only loads an exchange document,
// merges the import settings into it and hands out a cloud reader.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"

namespace dxtest {
namespace {

class CloudGenerator : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    ASSERT_EQ(Instantiate("INPUT_CLOUDFILTER_GENERATOR", cloud), S_OK);
  }
  void TearDown() override {
    cloud.Reset();
    GeneratorFixture::TearDown();
  }
  HRESULT LoadCloud(std::string_view text, const char* settingsText) {
    QORUnicodeString settings(settingsText);
    return cloud->LoadDocumentFromFile(QORUnicodeString(dir.Write("exchange.json", text)),
                                       settingsText ? &settings : nullptr);
  }
  std::string CloudDocument() { return Json(SavedDocument(cloud.Get(), dir)); }

  Ref<QORIInputFilterGenerator> cloud;
};

TEST_F(CloudGenerator, NeitherGeneratesNorShowsAndRefusesWhatIsNoObject) {
  EXPECT_EQ(cloud->GenerateDocument(QORUnicodeString(synth::kShapedFormat),
                                    QORUnicodeString("/x.src"), nullptr),
            E_NOTIMPL);
  EXPECT_EQ(cloud->ShowFilterDialog(nullptr), E_NOTIMPL);
  EXPECT_EQ(shape.calls, Names{});
  EXPECT_EQ(GeneratorSourcePath(cloud.Get()), "");
  EXPECT_EQ(CloudDocument(), "{}");

  EXPECT_EQ(cloud->LoadDocumentFromFile(QORUnicodeString(dir.File("absent.json")), nullptr),
            E_FAIL);
  const std::string exchange = R"({"data":{"filterID":"kept"}})";
  ASSERT_EQ(LoadCloud(exchange, nullptr), S_OK);
  for (const char* text : {"{\"data\":", "[1,2]", "\"text\"", "12", "null"}) {
    EXPECT_EQ(LoadCloud(text, nullptr), E_FAIL) << text;
    EXPECT_EQ(CloudDocument(), Json(exchange)) << text;
  }
}

// The settings member of the settings text replaces data's, or is added to it; settings
// without one, or entity lists alone, leave the document as it came.
TEST_F(CloudGenerator, SettingsReplaceDataSettingsAndKeepTheRest) {
  const char* const cases[][3] = {
      {R"({"head":1,"data":{"filterID":"c","settings":{"old":true},"results":[{"resourceid":"r1"}]},)"
       R"("tail":[2]})",
       R"({"settings":{"profile":"ForDesign","n":[1,2]}})",
       R"({"head":1,"data":{"filterID":"c","settings":{"profile":"ForDesign","n":[1,2]},)"
       R"("results":[{"resourceid":"r1"}]},"tail":[2]})"},
      {R"({"data":{"filterID":"c"}})", R"({"format":"any","settings":{"p":1}})",
       R"({"data":{"filterID":"c","settings":{"p":1}}})"},
      {R"({"data":{"settings":{"old":true}}})", "not json",
       R"({"data":{"settings":{"old":true}}})"},
      {R"({"data":{"settings":{"old":true}}})", R"({"format":"only"})",
       R"({"data":{"settings":{"old":true}}})"},
  };
  for (const auto& [exchange, settings, merged] : cases) {
    ASSERT_EQ(LoadCloud(exchange, settings), S_OK) << settings;
    EXPECT_EQ(CloudDocument(), Json(merged)) << settings;
  }
  QORListValQORUnicodeString names;
  names.Append(QORUnicodeString("Wall"));
  cloud->AddEntityList(0, names);
  EXPECT_EQ(LoadCloud(R"({"data":{"settings":{"old":true}}})", nullptr), S_OK);
  EXPECT_EQ(CloudDocument(), Json(R"({"data":{"settings":{"old":true}}})"));
}

TEST_F(CloudGenerator, ResolvedFilterIsACloudReaderOverTheMergedDocument) {
  ASSERT_EQ(LoadCloud(R"({"data":{"filterID":"c","settings":{"n":4},"results":[)"
                      R"({"resourceid":"r1","name":"abc"},{"resourceid":"p1","to":"r1"}]}})",
                      R"({"settings":{"mode":"merged"}})"),
            S_OK);
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(cloud->GetResolvedFilter(reader.Out()), S_OK);
  EXPECT_STREQ(reader->GetImpl()->IsA(), "QORCloudResolvedFilter");
  // The reader lives on without its generator.
  cloud.Reset();
  std::vector<QORUnicodeString> ids;
  ASSERT_EQ(reader->GetObjectIds(ids), S_OK);
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_EQ(ids[0].Str(), "r1");
  QORUnicodeString value;
  EXPECT_EQ(reader->GetSetting("mode", value), S_OK);
  EXPECT_EQ(value.Str(), "merged");
  EXPECT_EQ(reader->GetSetting("n", value), E_FAIL);
  EXPECT_EQ(reader->GetObjectAttribute("r1", "name", value), S_OK);
  EXPECT_EQ(value.Str(), "abc");
}

}  // namespace
}  // namespace dxtest
