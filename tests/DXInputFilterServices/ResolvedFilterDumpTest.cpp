// ResolvedFilterDumpTest.cpp - the readers' diagnostic dump. The switch is fixed when
// the module loads, so every case runs in a fresh child process whose environment is
// chosen before the load; its standard output is compared byte for byte.
#include <gtest/gtest.h>

#include "FilterTestSupport.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"

namespace dxtest {
namespace {

constexpr const char* kDumpSwitch = "KWT_DUMP_QORResolvedFilter";
constexpr const char* kTmpFolder = "MDW_KWT_TMP";

constexpr const char* kSettings = R"({"profile":"ForDesign","n":2})";
const std::string kDocument =
    std::string(R"({"data":{"filterID":"F","settings":)") + kSettings +
    R"(},"roots":[)"
    R"({"label":"a","data":{"uid":["u2"],"NLS_grid":{"b":"20"}},"grid":{"c":"3"}},)"
    R"({"label":"b","data":{"uid":["u10","u1"]},"grid":{"b":"2","x":"y"}}]})";

const std::string kHeader = "INPUT_FILTER_READER: MAPPING TABLE :\n";

std::string Pretty(const char* json) {
  JSON::JIStream view;
  if (!view.Parse(std::string_view(json))) return "<invalid settings>";
  return JSON::JOStream(view).PrettyStringify(false).Str();
}

std::string SettingsSection(const char* json) {
  return "SETTINGS :\n" + Pretty(json) + "\n";
}

std::string Record(const std::string& uid, const std::string& primary,
                   const std::string& fallback) {
  return "   " + uid + ":  " + primary + "  NLS: " + fallback + " \n";
}

// Sorted by uid as bytes: u1, u10, u2.
std::string FullListing() {
  return kHeader + SettingsSection(kSettings) + "OBJECTS :\n" +
         Record("u1", "", R"({"b":"2","x":"y"})") + Record("u10", "", R"({"b":"2","x":"y"})") +
         Record("u2", R"({"b":"20"})", R"({"c":"3"})");
}

class ReaderDump : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadFilterModule());
    request.documentPath = dir.Write("filter.json", kDocument);
  }
  ChildRun Run() {
    ChildRun run = RunReaderInChild(request);
    EXPECT_EQ(run.exitCode, expectedExit) << run.out;
    return run;
  }

  TempDir dir;
  ChildRequest request;
  int expectedExit = 0;
};

TEST_F(ReaderDump, SwitchWithoutTokensListsEverythingOnStandardOutput) {
  request.env[kDumpSwitch] = "";
  EXPECT_EQ(Run().out, FullListing());
  // A folder alone changes nothing: only a file token sends the listing there.
  request.env[kTmpFolder] = dir.Path();
  EXPECT_EQ(Run().out, FullListing());
}

TEST_F(ReaderDump, SwitchIsTakenWhenTheModuleLoads) {
  request.env[kDumpSwitch] = "";
  request.unsetAfterLoad = kDumpSwitch;
  EXPECT_EQ(Run().out, FullListing());
}

TEST_F(ReaderDump, SwitchSetAfterTheModuleLoadedDumpsNothing) {
  EXPECT_EQ(Run().out, "");
  request.setAfterLoad = std::make_pair(std::string(kDumpSwitch), std::string("a;b"));
  EXPECT_EQ(Run().out, "");
}

TEST_F(ReaderDump, FileTokenWithTmpFolderSendsTheListingIntoThatFile) {
  request.env[kDumpSwitch] = "file.txt";
  request.env[kTmpFolder] = dir.Path();
  EXPECT_EQ(Run().out, "INPUT_FILTER_READER: MAPPING TABLE INTO : " + dir.Path() + "/file.txt\n");
  EXPECT_EQ(ReadFile(dir.File("file.txt")).value_or("<no file>"), FullListing());
}

TEST_F(ReaderDump, FileTokenWithoutUsableFolderIsAnAttributeName) {
  const std::string selective = kHeader + "OBJECTS :\n   u1: {} \n   u10: {} \n   u2: {} \n";
  request.env[kDumpSwitch] = "file.txt";
  EXPECT_EQ(Run().out, selective);
  request.env[kTmpFolder] = "";
  EXPECT_EQ(Run().out, selective);
  request.env[kTmpFolder] = dir.File("missing/folder");
  EXPECT_EQ(Run().out, selective);
}

TEST_F(ReaderDump, AttributeTokensListTheValuesFound) {
  request.env[kDumpSwitch] = "a;b";
  EXPECT_EQ(Run().out, kHeader + "OBJECTS :\n" +
                           "   u1: {, \"b\":\"2\"} \n"
                           "   u10: {, \"b\":\"2\"} \n"
                           "   u2: {, \"b\":\"20\"} \n");
  request.env[kDumpSwitch] = "x;;c";
  EXPECT_EQ(Run().out, kHeader + "OBJECTS :\n" +
                           "   u1: {\"x\":\"y\", } \n"
                           "   u10: {\"x\":\"y\", } \n"
                           "   u2: {, \"c\":\"3\"} \n");
}

TEST_F(ReaderDump, SettingsTokenAddsTheSettingsSection) {
  request.env[kDumpSwitch] = "settings;b";
  EXPECT_EQ(Run().out, kHeader + SettingsSection(kSettings) + "OBJECTS :\n" +
                           "   u1: {\"b\":\"2\"} \n"
                           "   u10: {\"b\":\"2\"} \n"
                           "   u2: {\"b\":\"20\"} \n");
}

TEST_F(ReaderDump, FileAndSettingsTokensWriteSettingsAndBareRecordsIntoTheFile) {
  request.env[kDumpSwitch] = "file.txt;settings";
  request.env[kTmpFolder] = dir.Path() + "/";
  EXPECT_EQ(Run().out, "INPUT_FILTER_READER: MAPPING TABLE INTO : " + dir.Path() + "/file.txt\n");
  EXPECT_EQ(
      ReadFile(dir.File("file.txt")).value_or("<no file>"),
      kHeader + SettingsSection(kSettings) + "OBJECTS :\n   u1: {} \n   u10: {} \n   u2: {} \n");
}

TEST_F(ReaderDump, EmptyTableStillPrintsTheHeaders) {
  request.documentPath =
      dir.Write("empty.json", R"({"data":{"filterID":"F"},"roots":[{"label":"no uid"}]})");
  request.env[kDumpSwitch] = "";
  expectedExit = 10;  // nothing to resolve: the read fails, after the dump
  EXPECT_EQ(Run().out, kHeader + SettingsSection("{}") + "OBJECTS :\n");
}

TEST_F(ReaderDump, CloudReaderListsWholeRecords) {
  request.readerLateType = "INPUT_CLOUDFILTER_READER";
  request.documentPath = dir.Write(
      "cloud.json", R"({"data":{"results":[{"resourceid":"r2","k":1},{"resourceid":"r1"}]}})");
  request.env[kDumpSwitch] = "";
  EXPECT_EQ(Run().out, kHeader + SettingsSection("{}") + "OBJECTS :\n" +
                           Record("r1", R"({"resourceid":"r1"})", "") +
                           Record("r2", R"({"resourceid":"r2","k":1})", ""));
}

}  // namespace
}  // namespace dxtest
