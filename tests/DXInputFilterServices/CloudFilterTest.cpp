// CloudFilterTest.cpp - the cloud variants: a reader of exchange documents whose
// entities are the result records of "data"/"results", and a generator that only loads
// such a document, merges the import settings into it and hands out a cloud reader.
#include <gtest/gtest.h>

#include <algorithm>

#include "FilterTestSupport.h"
#include "GeneratorFixture.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

namespace dxtest {
namespace {

std::vector<std::string> SortedIds(QORIResolvedInputFilter* reader) {
  std::vector<QORUnicodeString> ids;
  EXPECT_EQ(reader->GetObjectIds(ids), S_OK);
  std::vector<std::string> sorted;
  for (const QORUnicodeString& id : ids) sorted.push_back(id.Str());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

std::string Answer(HRESULT hr, const QORUnicodeString& value) {
  if (hr == E_FAIL && value.Str() == "untouched") return "<E_FAIL>";
  return hr == S_OK ? value.Str() : "<hr " + std::to_string(hr) + ">";
}
std::string Attribute(QORIResolvedInputFilter* reader, const char* uid, const char* name) {
  QORUnicodeString value("untouched");
  HRESULT hr = reader->GetObjectAttribute(uid, name, value);
  return Answer(hr, value);
}
std::string Setting(QORIResolvedInputFilter* reader, const char* name) {
  QORUnicodeString value("untouched");
  HRESULT hr = reader->GetSetting(name, value);
  return Answer(hr, value);
}
std::string FilterId(QORIResolvedInputFilter* reader) {
  QORUnicodeString value("untouched");
  HRESULT hr = reader->GetFilterID(value);
  return Answer(hr, value);
}

class CloudReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    _live = QORLiveAllocations();
    ASSERT_EQ(Instantiate("INPUT_CLOUDFILTER_READER", reader), S_OK);
  }
  void TearDown() override {
    reader.Reset();
    EXPECT_EQ(QORLiveAllocations(), _live);
  }
  HRESULT Read(std::string_view text) {
    return reader->ReadFilterFile(QORUnicodeString(dir.Write("cloud.json", text)));
  }

  TempDir dir;
  Ref<QORIResolvedInputFilter> reader;

 private:
  long _live = 0;
};

constexpr const char* kExchange =
    R"({"data":{"filterID":"cloud-1","settings":{"mode":"sync","n":4},"results":[)"
    R"({"resourceid":"r1","name":"abc","size":5,"tags":["t"]},)"
    R"({"name":"no id"},)"
    R"({"resourceid":"p1","previewObject":{"x":1}},)"
    R"({"resourceid":"f1","from":"r1"},)"
    R"({"resourceid":"t1","to":"r1"},)"
    R"({"resourceid":"r1","name":"second"},)"
    R"({"resourceid":"r2","name":"C:\\dir \"q\""}]},)"
    R"("results":[{"resourceid":"outside"}]})";

TEST_F(CloudReader, ResultRecordsAreKeyedByResourceId) {
  ASSERT_EQ(Read(kExchange), S_OK);
  EXPECT_EQ(SortedIds(reader.Get()), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_EQ(Attribute(reader.Get(), "r1", "name"), "abc");
  EXPECT_EQ(Attribute(reader.Get(), "r1", "resourceid"), "r1");
  EXPECT_EQ(Attribute(reader.Get(), "r1", "size"), "5");
  EXPECT_EQ(Attribute(reader.Get(), "r1", "tags"), R"(["t"])");
  EXPECT_EQ(Attribute(reader.Get(), "r1", "missing"), "<E_FAIL>");
  EXPECT_EQ(Attribute(reader.Get(), "r2", "name"), "C:\\dir \"q\"");
  for (const char* skipped : {"p1", "f1", "t1", "outside"})
    EXPECT_EQ(Attribute(reader.Get(), skipped, "resourceid"), "<E_FAIL>") << skipped;
  EXPECT_EQ(FilterId(reader.Get()), "cloud-1");
  EXPECT_EQ(Setting(reader.Get(), "mode"), "sync");
  EXPECT_EQ(Setting(reader.Get(), "n"), "4");
}

TEST_F(CloudReader, EmptyRootIsInvalidAndAnythingElseReads) {
  ASSERT_EQ(Read(kExchange), S_OK);
  EXPECT_EQ(Read("{}"), E_INVALIDARG);
  EXPECT_EQ(SortedIds(reader.Get()), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_EQ(Read("{\"results\":"), E_FAIL);
  EXPECT_EQ(FilterId(reader.Get()), "cloud-1");

  // No "data": read, and nothing to answer.
  EXPECT_EQ(Read(R"({"results":[{"resourceid":"r9"}]})"), S_OK);
  EXPECT_EQ(SortedIds(reader.Get()), std::vector<std::string>{});
  EXPECT_EQ(FilterId(reader.Get()), "<E_FAIL>");
  EXPECT_EQ(Setting(reader.Get(), "mode"), "<E_FAIL>");

  // "data" without results is no failure either.
  EXPECT_EQ(Read(R"({"data":{"filterID":"bare"}})"), S_OK);
  EXPECT_EQ(SortedIds(reader.Get()), std::vector<std::string>{});
  EXPECT_EQ(FilterId(reader.Get()), "bare");
}

TEST_F(CloudReader, FilterNodesAreNoResultRecords) {
  EXPECT_EQ(Read(R"({"roots":[{"data":{"uid":["u1"]},"grid":{"x":"1"}}]})"), S_OK);
  EXPECT_EQ(SortedIds(reader.Get()), std::vector<std::string>{});
}

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

  Ref<QORIInputFilterGenerator> cloud;
};

TEST_F(CloudGenerator, NeitherGeneratesNorShowsADialog) {
  model.roots = {model.Add("a", "A", {"u1"})};
  EXPECT_EQ(
      cloud->GenerateDocument(QORUnicodeString(kTestFormat), QORUnicodeString("/x.src"), nullptr),
      E_NOTIMPL);
  EXPECT_EQ(cloud->ShowFilterDialog(nullptr), E_NOTIMPL);
  EXPECT_TRUE(model.calls.empty());
  EXPECT_EQ(GeneratorSourcePath(cloud.Get()), "");
  EXPECT_EQ(SavedDocument(cloud.Get(), dir), "{}");
}

TEST_F(CloudGenerator, WhatIsNoObjectIsRefusedAndTheDocumentKept) {
  EXPECT_EQ(cloud->LoadDocumentFromFile(QORUnicodeString(dir.File("absent.json")), nullptr),
            E_FAIL);
  EXPECT_EQ(SavedDocument(cloud.Get(), dir), "{}");
  const std::string exchange = R"({"data":{"filterID":"kept"}})";
  ASSERT_EQ(LoadCloud(exchange, nullptr), S_OK);
  for (const char* text : {"{\"data\":", "[1,2]", "\"text\"", "12", "null"}) {
    EXPECT_EQ(LoadCloud(text, nullptr), E_FAIL) << text;
    EXPECT_EQ(Json(SavedDocument(cloud.Get(), dir)), Json(exchange)) << text;
  }
}

// The settings member of the settings text replaces data's, or is added to it.
TEST_F(CloudGenerator, SettingsReplaceDataSettingsAndKeepTheRest) {
  const struct {
    const char* exchange;
    const char* settings;
    const char* merged;
  } cases[] = {
      {R"({"head":1,"data":{"filterID":"c","settings":{"old":true},"results":[{"resourceid":"r1"}]},)"
       R"("tail":[2]})",
       R"({"settings":{"profile":"ForDesign","n":[1,2]}})",
       R"({"head":1,"data":{"filterID":"c","settings":{"profile":"ForDesign","n":[1,2]},)"
       R"("results":[{"resourceid":"r1"}]},"tail":[2]})"},
      {R"({"data":{"filterID":"c"}})", R"({"format":"any","settings":{"p":1}})",
       R"({"data":{"filterID":"c","settings":{"p":1}}})"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(LoadCloud(c.exchange, c.settings), S_OK) << c.settings;
    EXPECT_EQ(Json(SavedDocument(cloud.Get(), dir)), Json(c.merged));
  }
}

TEST_F(CloudGenerator, UnusableSettingsStillLoadTheDocumentUnchanged) {
  const std::string exchange = R"({"data":{"filterID":"c","settings":{"old":true}}})";
  for (const char* settings : {"not json", R"({"other":1})", R"({"format":"only"})"}) {
    EXPECT_EQ(LoadCloud(exchange, settings), S_OK) << settings;
    EXPECT_EQ(Json(SavedDocument(cloud.Get(), dir)), Json(exchange)) << settings;
  }
  // Entity lists alone give nothing to merge either.
  QORListValQORUnicodeString names;
  names.Append(QORUnicodeString("Wall"));
  cloud->AddEntityList(0, names);
  EXPECT_EQ(LoadCloud(exchange, nullptr), S_OK);
  EXPECT_EQ(Json(SavedDocument(cloud.Get(), dir)), Json(exchange));
}

TEST_F(CloudGenerator, ResolvedFilterIsACloudReaderOverTheMergedDocument) {
  ASSERT_EQ(LoadCloud(kExchange, R"({"settings":{"mode":"merged"}})"), S_OK);
  Ref<QORIResolvedInputFilter> reader;
  ASSERT_EQ(cloud->GetResolvedFilter(reader.Out()), S_OK);
  EXPECT_STREQ(reader->GetImpl()->IsA(), "QORCloudResolvedFilter");
  EXPECT_EQ(SortedIds(reader.Get()), (std::vector<std::string>{"r1", "r2"}));
  EXPECT_EQ(Setting(reader.Get(), "mode"), "merged");
  EXPECT_EQ(Setting(reader.Get(), "n"), "<E_FAIL>");
  EXPECT_EQ(Attribute(reader.Get(), "r1", "name"), "abc");
}

TEST_F(CloudGenerator, ResolvedFilterNeedsNoResults) {
  ASSERT_EQ(LoadCloud(R"({"data":{"filterID":"empty"}})", nullptr), S_OK);
  Ref<QORIResolvedInputFilter> first, second;
  ASSERT_EQ(cloud->GetResolvedFilter(first.Out()), S_OK);
  ASSERT_EQ(cloud->GetResolvedFilter(second.Out()), S_OK);
  EXPECT_NE(first->GetImpl(), second->GetImpl());
  EXPECT_EQ(SortedIds(first.Get()), std::vector<std::string>{});
  EXPECT_EQ(FilterId(first.Get()), "empty");
  // The reader lives on without its generator.
  cloud.Reset();
  EXPECT_EQ(FilterId(second.Get()), "empty");
}

}  // namespace
}  // namespace dxtest
