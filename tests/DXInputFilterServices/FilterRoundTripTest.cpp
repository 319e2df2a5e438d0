// FilterRoundTripTest.cpp - the whole road of an import: generate from the format's
// provider, resolve through the generator, save, and resolve again from the saved file
// with a reader created by late type; both readers must answer what the model holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "GeneratorFixture.h"
#include "SyntheticProvider.h"

namespace dxtest {
namespace {

using FilterRoundTrip = GeneratorFixture;

std::string Answer(HRESULT hr, const QORUnicodeString& value) {
  return hr == S_OK ? value.Str() : "<" + std::to_string(hr) + ">";
}

// Every answer of a reader for the model's entities, columns and settings, one text a
// question; and the same built from the model itself.
Names Answers(QORIResolvedInputFilter* reader, uint64_t count) {
  Names answers;
  std::vector<QORUnicodeString> ids;
  EXPECT_EQ(reader->GetObjectIds(ids), S_OK);
  for (const QORUnicodeString& id : ids) answers.push_back("id " + id.Str());
  std::sort(answers.begin(), answers.end());
  for (uint64_t i = 0; i <= count; ++i) {
    for (const synth::Column& column : synth::kColumns) {
      QORUnicodeString value;
      const std::string uid = i < count ? synth::UidString(i) : "absent";
      HRESULT hr =
          reader->GetObjectAttribute(QORUnicodeString(uid), QORUnicodeString(column.name), value);
      answers.push_back(uid + "/" + std::string(column.name) + " " + Answer(hr, value));
    }
  }
  for (const char* name : {"defaultProfile", "units", "levels", "mergeStoreys", "absent"}) {
    QORUnicodeString value;
    answers.push_back(std::string(name) + " " + Answer(reader->GetSetting(name, value), value));
  }
  QORUnicodeString id;
  answers.push_back("filterID " + Answer(reader->GetFilterID(id), id));
  return answers;
}

Names Expected(uint64_t count) {
  const std::string fail = "<" + std::to_string(E_FAIL) + ">";
  Names answers;
  for (uint64_t i = 0; i < count; ++i) answers.push_back("id " + synth::UidString(i));
  std::sort(answers.begin(), answers.end());
  for (uint64_t i = 0; i <= count; ++i) {
    for (int c = 0; c < synth::kColumnCount; ++c) {
      synth::Text cell;
      // The tree column is no cell, a runtime one is never asked, an empty one left out.
      if (i < count && c > 0 && synth::kColumns[c].type != QORDXColumnType::kRuntime)
        synth::Cell(i, c, QORDXImportMode::kNoImport, cell);
      const std::string uid = i < count ? synth::UidString(i) : "absent";
      answers.push_back(uid + "/" + std::string(synth::kColumns[c].name) + " " +
                        (cell.size ? std::string(cell.View()) : fail));
    }
  }
  for (const char* answer :
       {"defaultProfile ForDesign", "units mm", "levels [1,2,3]", "mergeStoreys false"})
    answers.push_back(answer);
  answers.push_back("absent " + fail);
  answers.push_back(std::string("filterID ") + synth::kFilterId);
  return answers;
}

TEST_F(FilterRoundTrip, GeneratedFilterResolvesAlikeFromTheGeneratorAndFromItsFile) {
  synth::RegisterProvider();
  constexpr uint64_t kCount = 300;
  synth::g_entityCount = kCount;
  // Every entity left out, so that each is given a mode: the provider's text of a
  // missing one is a null view.
  RemoveEntities(
      std::vector<std::string>(std::begin(synth::kEntityNames), std::end(synth::kEntityNames)));
  ASSERT_EQ(Generate(synth::kSettingsText, synth::kFormat), S_OK);

  Ref<QORIResolvedInputFilter> handedOut;
  ASSERT_EQ(generator->GetResolvedFilter(handedOut.Out()), S_OK);
  const Names expected = Expected(kCount);
  EXPECT_EQ(Answers(handedOut.Get(), kCount), expected);

  const std::string path = dir.File("filter.json");
  ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
  Ref<QORIResolvedInputFilter> fromFile;
  ASSERT_EQ(Instantiate("INPUT_FILTER_READER", fromFile), S_OK);
  ASSERT_EQ(fromFile->ReadFilterFile(QORUnicodeString(path)), S_OK);
  EXPECT_EQ(Answers(fromFile.Get(), kCount), expected);
}

}  // namespace
}  // namespace dxtest
