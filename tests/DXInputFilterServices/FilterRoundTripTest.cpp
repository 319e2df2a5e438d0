// FilterRoundTripTest.cpp - the whole road of an import: generate from the format's
// provider, resolve through the generator, save, and resolve again from the saved file
// with a reader created by late type; both readers must answer alike.
#include <gtest/gtest.h>

#include <algorithm>

#include "GeneratorFixture.h"

namespace dxtest {
namespace {

using FilterRoundTrip = GeneratorFixture;

std::vector<std::string> SortedIds(QORIResolvedInputFilter* reader) {
  std::vector<QORUnicodeString> ids;
  EXPECT_EQ(reader->GetObjectIds(ids), S_OK);
  std::vector<std::string> sorted;
  for (const QORUnicodeString& id : ids) sorted.push_back(id.Str());
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

// Every answer a reader gives for the uids and names asked, in one text per question.
std::vector<std::string> Answers(QORIResolvedInputFilter* reader,
                                 const std::vector<std::string>& uids,
                                 const std::vector<std::string>& names,
                                 const std::vector<std::string>& settings) {
  std::vector<std::string> answers;
  auto answer = [&](const std::string& question, HRESULT hr, const QORUnicodeString& value) {
    answers.push_back(question + " -> " +
                      (hr == S_OK ? value.Str() : "<" + std::to_string(hr) + ">"));
  };
  for (const std::string& uid : uids) {
    for (const std::string& name : names) {
      QORUnicodeString value;
      HRESULT hr = reader->GetObjectAttribute(QORUnicodeString(uid), QORUnicodeString(name), value);
      answer(uid + "/" + name, hr, value);
    }
  }
  for (const std::string& name : settings) {
    QORUnicodeString value;
    HRESULT hr = reader->GetSetting(QORUnicodeString(name), value);
    answer("setting " + name, hr, value);
  }
  QORUnicodeString id;
  HRESULT hr = reader->GetFilterID(id);
  answer("filterID", hr, id);
  return answers;
}

TEST_F(FilterRoundTrip, GeneratedFilterResolvesAlikeFromTheGeneratorAndFromItsFile) {
  model.filterId = "IFC4-Filter";
  model.columnNames = {"tree", "Name", "Type", "Import", "Runtime"};
  model.columns["tree"] = TestColumn{"STRUCTURE_KEY", 0, {}};
  model.columns["Name"] = TestColumn{"NAME_KEY", 3, {}};
  model.columns["Type"] = TestColumn{"TYPE_KEY", 2, {"Wall", "Slab"}};
  model.columns["Import"] = TestColumn{"IMPORT_KEY", 3, {}};
  model.columns["Runtime"] = TestColumn{"RUNTIME_KEY", 8, {}};
  model.modeEchoColumn = "Import";
  TestEntity* site = model.Add("site", "SITE_KEY", {"site-1"});
  site->labelIsNLS = true;
  site->values["Name"] = {"Site \"North\"", false};
  site->attributes = {{"EntityName", "Site"}, {"IsLatestSpatialEntity", "true"}};
  TestEntity* wall = model.Add("wall", "Wall 1", {"wall-1", "wall-1b"});
  wall->values["Name"] = {"C:\\walls\\1", false};
  wall->values["Type"] = {"TYPE_WALL", true};
  wall->attributes = {{"EntityName", "Wall"}};
  TestEntity* slab = model.Add("slab", "Slab", {"slab-1"});
  slab->values["Type"] = {"Slab", false};
  slab->values["Runtime"] = {"never", false};
  slab->attributes = {{"EntityName", "Slab"}, {"IsLatestSpatialEntity", "true"}};
  site->children = {wall, slab};
  model.roots = {site};
  RemoveEntities({"Wall"});

  ASSERT_EQ(Generate(R"({"format":"TestUsage","settings":{"defaultProfile":"ForCoordination",)"
                     R"("units":"mm","scale":2}})"),
            S_OK);

  const std::vector<std::string> uids = {"site-1", "wall-1", "wall-1b", "slab-1", "absent"};
  const std::vector<std::string> names = {"Name", "Type", "Import", "Runtime", "label"};
  const std::vector<std::string> settings = {"defaultProfile", "units", "scale", "absent"};

  Ref<QORIResolvedInputFilter> handedOut;
  ASSERT_EQ(generator->GetResolvedFilter(handedOut.Out()), S_OK);
  EXPECT_EQ(SortedIds(handedOut.Get()),
            (std::vector<std::string>{"site-1", "slab-1", "wall-1", "wall-1b"}));
  const std::string fail = "<" + std::to_string(E_FAIL) + ">";
  const std::vector<std::string> expected = {"site-1/Name -> Site \"North\"",
                                             "site-1/Type -> " + fail,
                                             "site-1/Import -> ForCoordination",
                                             "site-1/Runtime -> " + fail,
                                             "site-1/label -> " + fail,
                                             "wall-1/Name -> C:\\walls\\1",
                                             "wall-1/Type -> TYPE_WALL",
                                             "wall-1/Import -> NoImport",
                                             "wall-1/Runtime -> " + fail,
                                             "wall-1/label -> " + fail,
                                             "wall-1b/Name -> C:\\walls\\1",
                                             "wall-1b/Type -> TYPE_WALL",
                                             "wall-1b/Import -> NoImport",
                                             "wall-1b/Runtime -> " + fail,
                                             "wall-1b/label -> " + fail,
                                             "slab-1/Name -> " + fail,
                                             "slab-1/Type -> Slab",
                                             "slab-1/Import -> ForCoordination",
                                             "slab-1/Runtime -> " + fail,
                                             "slab-1/label -> " + fail,
                                             "absent/Name -> " + fail,
                                             "absent/Type -> " + fail,
                                             "absent/Import -> " + fail,
                                             "absent/Runtime -> " + fail,
                                             "absent/label -> " + fail,
                                             "setting defaultProfile -> ForCoordination",
                                             "setting units -> mm",
                                             "setting scale -> 2",
                                             "setting absent -> " + fail,
                                             "filterID -> IFC4-Filter"};
  EXPECT_EQ(Answers(handedOut.Get(), uids, names, settings), expected);

  const std::string path = dir.File("filter.json");
  ASSERT_EQ(generator->SaveDocumentToFile(QORUnicodeString(path)), S_OK);
  Ref<QORIResolvedInputFilter> fromFile;
  ASSERT_EQ(Instantiate("INPUT_FILTER_READER", fromFile), S_OK);
  ASSERT_EQ(fromFile->ReadFilterFile(QORUnicodeString(path)), S_OK);
  EXPECT_EQ(SortedIds(fromFile.Get()), SortedIds(handedOut.Get()));
  EXPECT_EQ(Answers(fromFile.Get(), uids, names, settings), expected);
}

}  // namespace
}  // namespace dxtest
