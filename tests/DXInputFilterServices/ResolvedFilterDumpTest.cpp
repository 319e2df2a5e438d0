// ResolvedFilterDumpTest.cpp - the readers' diagnostic dump. The switch is fixed when
// the module loads, so every case runs in a process started with the environment it
// needs; the dump on standard output is compared byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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
  // Runs the test in a process started with the dump switch and folder given; false
  // when that was a child and the test is done here.
  bool Switched(std::optional<std::string> dumpSwitch, std::optional<std::string> tmpFolder) {
    // A child finds the parent's folder in DXT_FOLDER.
    const char* parents = std::getenv("DXT_FOLDER");
    folder = parents ? parents : dir.Path();
    if (tmpFolder) tmpFolder = Resolve(*tmpFolder);
    return RunsHere({{"DXT_FOLDER", folder},
                     {"KWT_DUMP_QORResolvedFilter", dumpSwitch},
                     {"MDW_KWT_TMP", tmpFolder}});
  }
  std::string Resolve(std::string text) const {
    for (size_t at; (at = text.find("<dir>")) != std::string::npos;) text.replace(at, 5, folder);
    return text;
  }
  // What reading the document prints, and the read's result in read.
  std::string Dump(const std::string& document, HRESULT& read,
                   const char* lateType = "INPUT_FILTER_READER") {
    Ref<QORIResolvedInputFilter> reader;
    EXPECT_EQ(Instantiate(lateType, reader), S_OK);
    const std::string path = folder + "/filter.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << document;
    ::testing::internal::CaptureStdout();
    read = reader->ReadFilterFile(QORUnicodeString(path));
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
  TempDir dir;
  std::string folder;
  HRESULT read = E_FAIL;
};

TEST_P(ReaderDump, Lists) {
  const DumpCase& c = GetParam();
  if (!Switched(c.dumpSwitch, c.tmpFolder)) return;
  EXPECT_EQ(Dump(kDocument, read), Resolve(c.out));
  EXPECT_EQ(read, S_OK);
  if (!c.file.empty()) {
    EXPECT_EQ(ReadFile(folder + "/file.txt").value_or("<no file>"), c.file);
  }
}

INSTANTIATE_TEST_SUITE_P(Switches, ReaderDump, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DumpCase>& info) {
                           return std::string(info.param.title);
                         });

// An empty table still prints its headers (the read fails after the dump), and the
// cloud reader lists whole records. The switch is the one the module loaded with.
TEST_F(ReaderDump, EmptyTableAndCloudRecords) {
  if (!Switched("", std::nullopt)) return;
  unsetenv("KWT_DUMP_QORResolvedFilter");
  EXPECT_EQ(Dump(R"({"data":{"filterID":"F"},"roots":[{"label":"no uid"}]})", read),
            kHeader + "SETTINGS :\n{}\nOBJECTS :\n");
  EXPECT_EQ(read, E_FAIL);
  EXPECT_EQ(Dump(R"({"data":{"results":[{"resourceid":"r2","k":1},{"resourceid":"r1"}]}})", read,
                 "INPUT_CLOUDFILTER_READER"),
            kHeader + "SETTINGS :\n{}\nOBJECTS :\n" + "   r1:  {\"resourceid\":\"r1\"}  NLS:  \n" +
                "   r2:  {\"resourceid\":\"r2\",\"k\":1}  NLS:  \n");
  setenv("KWT_DUMP_QORResolvedFilter", "", 1);
}

}  // namespace
}  // namespace dxtest
