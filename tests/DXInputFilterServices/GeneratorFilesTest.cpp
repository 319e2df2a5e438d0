// GeneratorFilesTest.cpp - what the generator does with its provider's failures, and
// with document files: saving (compact or indented), loading, and the round trip.
#include <gtest/gtest.h>

#include "GeneratorFixture.h"

namespace dxtest {
namespace {

using GeneratorProvider = GeneratorFixture;

// Each way of not getting a provider gives its own code, and keeps the document.
TEST_F(GeneratorProvider, ProviderFailuresGiveTheirCodeAndKeepThePreviousDocument) {
  model.roots = {model.Add("a", "A", {"u1"})};
  ASSERT_EQ(Generate(nullptr, kMixedCaseFormat), S_OK);  // the format name as it is given
  const std::string before = Document();
  const std::pair<const char*, HRESULT> cases[] = {
      {"DXTEST_NOT_REGISTERED", QOR_E_CLASSNOTREG},
      {"DXTESTMIXED", QOR_E_CLASSNOTREG},
      {"dxtest", QOR_E_CLASSNOTREG},
      {kNoCreationFormat, E_OUTOFMEMORY},
      {kNullObjectFormat, E_FAIL},  // a success without an object
      {kNoInterfaceFormat, E_NOINTERFACE},
  };
  for (const auto& [format, code] : cases) {
    EXPECT_EQ(Generate(nullptr, format), code) << format;
    EXPECT_EQ(Document(), before) << format;
  }
}

TEST_F(GeneratorProvider, InputFileRefusalIsReturnedBeforeAnythingElseIsAsked) {
  model.roots = {model.Add("a", "A", {"u1"})};
  ASSERT_EQ(Generate(), S_OK);
  const std::string before = Document();
  model.calls.clear();

  const HRESULT fileNotFound = static_cast<HRESULT>(0x80070002u);
  model.setInputFileResult = fileNotFound;
  EXPECT_EQ(Generate(R"({"format":"TestUsage","settings":{}})"), fileNotFound);
  ASSERT_EQ(model.calls.size(), 1u);
  EXPECT_EQ(model.calls[0].method, "SetInputFile");
  EXPECT_EQ(Document(), before);
}

class GeneratorFiles : public GeneratorFixture {
 protected:
  void SetUp() override {
    GeneratorFixture::SetUp();
    model.columnNames = {"tree", "Name"};
    model.columns["tree"] = TestColumn{"T", 0, {}};
    model.columns["Name"] = TestColumn{"N", 3, {}};
    TestEntity* a = model.Add("a", "Étage \"1\"", {"u1"});
    a->values["Name"] = {"back\\slash", false};
    a->children = {model.Add("b", "B", {"u2"})};
    model.roots = {a};
  }
  std::string SaveTo(const std::string& name) {
    const std::string path = dir.File(name);
    if (generator->SaveDocumentToFile(QORUnicodeString(path)) != S_OK) return "<not saved>";
    return ReadFile(path).value_or("<not saved>");
  }
};

// Compact unless MDW_KWT_TMP is set at all, looked at on each save; never written to an
// unwritable place.
TEST_F(GeneratorFiles, SavedDocumentIsCompactUnlessKwtTmpIsSet) {
  unsetenv("MDW_KWT_TMP");
  ASSERT_EQ(Generate(), S_OK);
  const std::string compact = SaveTo("compact.json");
  EXPECT_EQ(compact, Json(compact));
  setenv("MDW_KWT_TMP", "", 1);
  const std::string indented = SaveTo("indented.json");
  unsetenv("MDW_KWT_TMP");
  EXPECT_NE(indented.find("\n  "), std::string::npos);
  EXPECT_EQ(Json(indented), compact);
  EXPECT_EQ(SaveTo("compact-again.json"), compact);
  EXPECT_EQ(generator->SaveDocumentToFile(QORUnicodeString(dir.File("missing/folder/f.json"))),
            E_FAIL);
  EXPECT_EQ(generator->SaveDocumentToFile(QORUnicodeString(dir.Path())), E_FAIL);
}

TEST_F(GeneratorFiles, LoadingReplacesTheDocumentAndRefusesWhatIsNotOne) {
  ASSERT_EQ(Generate(), S_OK);
  const std::string generated = Document();

  EXPECT_EQ(generator->LoadDocumentFromFile(QORUnicodeString(dir.File("absent.json")), nullptr),
            E_FAIL);
  EXPECT_EQ(Document(), generated);
  for (const char* bad : {"{\"data\":", "[1]", "\"text\"", "12", ""}) {
    EXPECT_EQ(Load(bad), E_FAIL) << bad;
    EXPECT_EQ(Document(), generated) << bad;
  }

  const std::string other = R"({"roots":[],"data":{"filterID":"loaded"},"misc":[1,{"a":null}]})";
  QORUnicodeString settings(R"({"format":"Whatever","settings":{"x":1}})");
  EXPECT_EQ(
      generator->LoadDocumentFromFile(QORUnicodeString(dir.Write("other.json", other)), &settings),
      S_OK);
  EXPECT_EQ(Document(), Json(other));
}

}  // namespace
}  // namespace dxtest
