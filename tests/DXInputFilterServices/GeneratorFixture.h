// GeneratorFixture.h - a generator over the test provider, as the host's import drives
// it, with the provider's model at hand and the document read back from a saved file.
#pragma once

#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "TestStructureProvider.h"

namespace dxtest {

class GeneratorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    RegisterTestProviders();
    SetProviderModel(&model);
    _liveAtStart = QORLiveAllocations();
    ASSERT_EQ(Instantiate("INPUT_FILTER_GENERATOR", generator), S_OK);
    ASSERT_TRUE(generator);
  }
  void TearDown() override {
    generator.Reset();
    SetProviderModel(nullptr);
    // Every generation must give back its provider, settings and document objects.
    EXPECT_EQ(LiveProviders(), 0);
    EXPECT_EQ(QORLiveAllocations(), _liveAtStart);
  }

  HRESULT Generate(const char* settingsText = nullptr, const char* format = kTestFormat,
                   const char* sourcePath = "/data/model.src") {
    QORUnicodeString settings(settingsText);
    return generator->GenerateDocument(QORUnicodeString(format), QORUnicodeString(sourcePath),
                                       settingsText ? &settings : nullptr);
  }
  std::string Document() { return SavedDocument(generator.Get(), dir); }
  void RemoveEntities(std::vector<std::string> names, int kind = 0) {
    QORListValQORUnicodeString list;
    for (const std::string& name : names) list.Append(QORUnicodeString(name));
    generator->AddEntityList(kind, list);
  }
  HRESULT Load(std::string_view text) {
    return generator->LoadDocumentFromFile(QORUnicodeString(dir.Write("loaded.json", text)),
                                           nullptr);
  }

  TestProviderModel model;
  TempDir dir;
  Ref<QORIInputFilterGenerator> generator;

 private:
  long _liveAtStart = 0;
};

}  // namespace dxtest
