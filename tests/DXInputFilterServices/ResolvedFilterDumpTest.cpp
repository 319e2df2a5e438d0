// ResolvedFilterDumpTest.cpp - the readers' diagnostic dump. The switch is fixed when
// the module loads, so every case runs in a fresh child process whose environment is
// chosen before the load; its standard output is compared byte for byte.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"

namespace dxtest {
namespace {

const std::string kDocument =
    R"({"data":{"filterID":"F","settings":{"profile":"ForDesign","n":2}},"roots":[)"
    R"({"label":"a","data":{"uid":["u2"],"NLS_grid":{"b":"20"}},"grid":{"c":"3"}},)"
    R"({"label":"b","data":{"uid":["u10","u1"]},"grid":{"b":"2","x":"y"}}]})";

const std::string kHeader = "INPUT_FILTER_READER: MAPPING TABLE :\n";
const std::string kSettings = "SETTINGS :\n{\n    \"profile\": \"ForDesign\",\n    \"n\": 2\n}\n";
const std::string kBare = "OBJECTS :\n   u1: {} \n   u10: {} \n   u2: {} \n";
// Sorted by uid as bytes: u1, u10, u2.
const std::string kFull = kHeader + kSettings + "OBJECTS :\n" +
                          "   u1:    NLS: {\"b\":\"2\",\"x\":\"y\"} \n"
                          "   u10:    NLS: {\"b\":\"2\",\"x\":\"y\"} \n"
                          "   u2:  {\"b\":\"20\"}  NLS: {\"c\":\"3\"} \n";

struct DumpCase {
  const char* title;
  std::optional<std::string> dumpSwitch;
  std::optional<std::string> tmpFolder;  // "<dir>" stands for the test's folder
  std::string out;                       // "<dir>" as well
  std::string file = "";                 // the listing in <dir>/file.txt, if any
};

const DumpCase kCases[] = {
    {"SwitchWithoutTokensListsEverything", "", std::nullopt, kFull},
    // A folder alone changes nothing: only a file token sends the listing there.
    {"FolderWithoutFileToken", "", "<dir>", kFull},
    {"NoSwitchNoDump", std::nullopt, "<dir>", ""},
    {"FileTokenWithFolder", "file.txt", "<dir>",
     "INPUT_FILTER_READER: MAPPING TABLE INTO : <dir>/file.txt\n", kFull},
    {"FileTokenWithoutFolderIsAnAttributeName", "file.txt", std::nullopt, kHeader + kBare},
    {"FileTokenWithEmptyFolder", "file.txt", "", kHeader + kBare},
    {"FileTokenWithMissingFolder", "file.txt", "<dir>/missing", kHeader + kBare},
    {"AttributeTokens", "a;b", std::nullopt,
     kHeader + "OBJECTS :\n   u1: {, \"b\":\"2\"} \n   u10: {, \"b\":\"2\"} \n"
               "   u2: {, \"b\":\"20\"} \n"},
    {"EmptyTokens", "x;;c", std::nullopt,
     kHeader + "OBJECTS :\n   u1: {\"x\":\"y\", } \n   u10: {\"x\":\"y\", } \n"
               "   u2: {, \"c\":\"3\"} \n"},
    {"SettingsToken", "settings;b", std::nullopt,
     kHeader + kSettings +
         "OBJECTS :\n   u1: {\"b\":\"2\"} \n   u10: {\"b\":\"2\"} \n   u2: {\"b\":\"20\"} \n"},
    {"FileAndSettingsTokens", "file.txt;settings", "<dir>/",
     "INPUT_FILTER_READER: MAPPING TABLE INTO : <dir>/file.txt\n", kHeader + kSettings + kBare},
};

class ReaderDump : public ::testing::TestWithParam<DumpCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadFilterModule()); }
  std::string Resolve(std::string text) const {
    for (size_t at; (at = text.find("<dir>")) != std::string::npos;)
      text.replace(at, 5, dir.Path());
    return text;
  }
  TempDir dir;
};

TEST_P(ReaderDump, Lists) {
  const DumpCase& c = GetParam();
  ChildRequest request;
  request.documentPath = dir.Write("filter.json", kDocument);
  if (c.dumpSwitch) request.env["KWT_DUMP_QORResolvedFilter"] = *c.dumpSwitch;
  if (c.tmpFolder) request.env["MDW_KWT_TMP"] = Resolve(*c.tmpFolder);
  ChildRun run = RunReaderInChild(request);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(run.out, Resolve(c.out));
  if (!c.file.empty()) {
    EXPECT_EQ(ReadFile(dir.File("file.txt")).value_or("<no file>"), c.file);
  }
}

INSTANTIATE_TEST_SUITE_P(Switches, ReaderDump, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DumpCase>& info) {
                           return std::string(info.param.title);
                         });

TEST_F(ReaderDump, SwitchIsTakenWhenTheModuleLoadsOnly) {
  ChildRequest request;
  request.documentPath = dir.Write("filter.json", kDocument);
  request.env["KWT_DUMP_QORResolvedFilter"] = "";
  request.afterLoad = "KWT_DUMP_QORResolvedFilter";
  EXPECT_EQ(RunReaderInChild(request).out, kFull);
  request.env.clear();
  request.afterLoad = "KWT_DUMP_QORResolvedFilter=a;b";
  EXPECT_EQ(RunReaderInChild(request).out, "");
}

// An empty table still prints its headers (the read fails after the dump), and the
// cloud reader lists whole records.
TEST_F(ReaderDump, EmptyTableAndCloudRecords) {
  ChildRequest request;
  request.env["KWT_DUMP_QORResolvedFilter"] = "";
  request.documentPath =
      dir.Write("empty.json", R"({"data":{"filterID":"F"},"roots":[{"label":"no uid"}]})");
  ChildRun run = RunReaderInChild(request);
  EXPECT_EQ(run.exitCode, 10);
  EXPECT_EQ(run.out, kHeader + "SETTINGS :\n{}\nOBJECTS :\n");

  request.readerLateType = "INPUT_CLOUDFILTER_READER";
  request.documentPath = dir.Write(
      "cloud.json", R"({"data":{"results":[{"resourceid":"r2","k":1},{"resourceid":"r1"}]}})");
  EXPECT_EQ(RunReaderInChild(request).out, kHeader + "SETTINGS :\n{}\nOBJECTS :\n" +
                                               "   r1:  {\"resourceid\":\"r1\"}  NLS:  \n" +
                                               "   r2:  {\"resourceid\":\"r2\",\"k\":1}  NLS:  \n");
}

}  // namespace
}  // namespace dxtest
