// GeneratorFixture.h - a generator over the shaped synthetic provider, as the host's
// import drives it, with the provider's shape at hand and the document read back from
// a saved file.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "FilterTestSupport.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ShapedProvider.h"

namespace dxtest {

class GeneratorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    synth::RegisterShapedProvider();
    synth::g_shape = &shape;
    shape.children = {{synth::kRoots, {0}}};
    _liveAtStart = QORLiveAllocations();
    ASSERT_EQ(Instantiate("INPUT_FILTER_GENERATOR", generator), S_OK);
  }
  void TearDown() override {
    generator.Reset();
    synth::g_shape = nullptr;
    // Every generation must give back its provider, settings and document objects.
    EXPECT_EQ(QORLiveAllocations(), _liveAtStart);
  }

  HRESULT Generate(const char* settingsText = nullptr, const char* format = synth::kShapedFormat,
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
  // The provider's calls whose text starts with prefix, in order.
  Names Calls(std::string_view prefix) const {
    Names found;
    for (const std::string& call : shape.calls)
      if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    return found;
  }
  // The mode every cell request for entity i carried (none: no mode); fails when they
  // differ or there are none.
  std::optional<std::string> ModeGiven(uint64_t i) const {
    std::vector<std::optional<std::string>> modes;
    for (const std::string& call : Calls("GetEntityValue(" + std::to_string(i) + ",")) {
      const size_t column = call.find(',') + 1, mode = call.find(',', column);
      modes.push_back(mode == std::string::npos
                          ? std::nullopt
                          : std::optional(call.substr(mode + 1, call.size() - mode - 2)));
    }
    EXPECT_FALSE(modes.empty()) << i;
    for (const auto& mode : modes) EXPECT_EQ(mode, modes.front()) << i;
    return modes.empty() ? std::nullopt : modes.front();
  }

  synth::Shape shape;
  TempDir dir;
  Ref<QORIInputFilterGenerator> generator;

 private:
  long _liveAtStart = 0;
};

}  // namespace dxtest
