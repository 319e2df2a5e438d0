// DxfilterCliTest.cpp - dxfilter end to end: exit codes, outputs and errors, as a
// user or a script sees them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";

struct Result {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Dxfilter : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dxfilter-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    _dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + Quote(_dir)).c_str()); }

  Result Run(const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(_dir) + " && " + Quote(DX_DXFILTER);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " </dev/null >" + Quote(_dir + "/out") + " 2>" + Quote(_dir + "/err");
    Result r;
    int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(_dir + "/out");
    r.err = Slurp(_dir + "/err");
    return r;
  }
  std::string File(const std::string& name) const { return _dir + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name)) << text;
    return File(name);
  }

  std::string _dir;
};

TEST_F(Dxfilter, GenerateThenResolveShowsTheHouse) {
  Result g = Run({"generate", "IFC", kHouse, "-o", "house.json"});
  ASSERT_EQ(g.code, 0) << g.err;
  EXPECT_NE(g.err.find("wrote house.json"), std::string::npos);
  Result r = Run({"resolve", File("house.json"), "--table"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Ground Floor"), std::string::npos);
  EXPECT_NE(r.out.find("IfcWall"), std::string::npos);
  // Column titles come from the catalog, not as raw NLS texts.
  EXPECT_NE(r.out.find("Import mode"), std::string::npos);
  EXPECT_EQ(r.out.find("DXIfcProvider."), std::string::npos);
}

TEST_F(Dxfilter, GenerateWritesBesideTheWorkingFolderByDefault) {
  Result g = Run({"generate", "IFC", kHouse});
  ASSERT_EQ(g.code, 0) << g.err;
  EXPECT_FALSE(Slurp(File("SampleHouse.filter.json")).empty());
}

TEST_F(Dxfilter, PrettyOutputIsIndented) {
  ASSERT_EQ(Run({"generate", "IFC", kHouse, "-o", "p.json", "--pretty"}).code, 0);
  ASSERT_EQ(Run({"generate", "IFC", kHouse, "-o", "c.json"}).code, 0);
  EXPECT_NE(Slurp(File("p.json")).find("\n    "), std::string::npos);
  EXPECT_EQ(Slurp(File("c.json")).find('\n'), std::string::npos);
}

TEST_F(Dxfilter, RemovedTypesAndFiltersReachTheAnswers) {
  ASSERT_EQ(Run({"generate", "IFC", kHouse, "-o", "h.json", "--remove", "IfcSpace"}).code, 0);
  Result r = Run({"resolve", File("h.json"), "--json", "--where", "Type=IfcSpace"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"Import\":\"false\""), std::string::npos);
  EXPECT_EQ(r.out.find("\"Import\":\"true\""), std::string::npos);
  Result under = Run({"resolve", File("h.json"), "--under", "Roof Level"});
  EXPECT_NE(under.out.find("Roof Slab North"), std::string::npos);
  EXPECT_EQ(under.out.find("Kitchen Door"), std::string::npos);
}

TEST_F(Dxfilter, SingleAnswersAndSettings) {
  std::string settings = Write("s.json", R"({"format":"IFC","settings":{"defaultProfile":"ForCoordination"}})");
  ASSERT_EQ(Run({"generate", "IFC", kHouse, "-o", "h.json", "--settings", settings}).code, 0);
  Result ids = Run({"resolve", File("h.json"), "--ids"});
  ASSERT_EQ(ids.code, 0);
  std::string first = ids.out.substr(0, ids.out.find('\n'));
  ASSERT_EQ(first.size(), 22u);
  Result get = Run({"resolve", File("h.json"), "--get", first, "Type"});
  EXPECT_EQ(get.code, 0) << get.err;
  EXPECT_EQ(get.out.rfind("Ifc", 0), 0u);
  Result setting = Run({"resolve", File("h.json"), "--setting", "defaultProfile"});
  EXPECT_EQ(setting.out, "ForCoordination\n");
  Result missing = Run({"resolve", File("h.json"), "--get", first, "NoSuchColumn"});
  EXPECT_EQ(missing.code, 1);
}

TEST_F(Dxfilter, ErrorsAreOneLineWithNonZeroExit) {
  Result noFormat = Run({"generate", "NOPE", kHouse});
  EXPECT_EQ(noFormat.code, 1);
  EXPECT_NE(noFormat.err.find("no structure provider for format 'NOPE'"), std::string::npos);
  EXPECT_EQ(std::count(noFormat.err.begin(), noFormat.err.end(), '\n'), 1);

  Result badFile = Run({"generate", "IFC", Write("bad.ifc", "ISO-10303-21;\nHEADER;\n")});
  EXPECT_EQ(badFile.code, 1);
  EXPECT_NE(badFile.err.find("cannot generate the filter"), std::string::npos);

  Result wrongSettings = Run({"generate", "IFC", kHouse, "--settings", Write("w.json", R"({"format":"STEP"})")});
  EXPECT_EQ(wrongSettings.code, 1);

  Result notJson = Run({"resolve", Write("x.json", "{oops")});
  EXPECT_EQ(notJson.code, 1);
  EXPECT_NE(notJson.err.find("not a valid JSON document"), std::string::npos);

  Result usage = Run({"generate"});
  EXPECT_EQ(usage.code, 2);
  Result unknown = Run({"frobnicate"});
  EXPECT_EQ(unknown.code, 2);
}

TEST_F(Dxfilter, HelpAndFormats) {
  Result help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"generate", "resolve", "edit", "record", "replay", "cloud", "formats"})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  Result formats = Run({"formats"});
  EXPECT_EQ(formats.code, 0);
  EXPECT_NE(formats.out.find("IFC\n"), std::string::npos);
}

TEST_F(Dxfilter, CloudExchangeMergesSettingsAndListsResources) {
  std::string exchange = Write("x.json", R"({"data":{"filterID":"f","results":[)"
                                         R"({"resourceid":"b"},{"resourceid":"a"},)"
                                         R"({"resourceid":"c","from":"a"}]}})");
  std::string settings = Write("s.json", R"({"settings":{"defaultProfile":"ForDesign"}})");
  Result r = Run({"cloud", exchange, "--settings", settings, "-o", "merged.json"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "a\nb\n");
  EXPECT_NE(Slurp(File("merged.json")).find("\"settings\":{\"defaultProfile\":\"ForDesign\"}"),
            std::string::npos);
}

TEST_F(Dxfilter, ExternalWallsOnlyThroughChosenColumns) {
  // One column on the command line, two in the settings file.
  std::string settings =
      Write("s.json", R"({"format":"IFC","settings":{"columns":["Material","Classification"]}})");
  Result g = Run({"generate", "IFC", kHouse, "-o", "h.json", "--settings", settings, "--column",
                  "Pset_WallCommon.IsExternal"});
  ASSERT_EQ(g.code, 0) << g.err;
  Result r =
      Run({"resolve", File("h.json"), "--json", "--where", "Pset_WallCommon.IsExternal=true"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 8 + 2) << r.out;  // eight walls
  EXPECT_NE(r.out.find("\"Material\":\"Brick, Insulation\""), std::string::npos);
  EXPECT_NE(r.out.find("\"Classification\":\"Ss_25_10\""), std::string::npos);
  EXPECT_EQ(r.out.find("Partition"), std::string::npos);

  Result typo = Run({"generate", "IFC", kHouse, "--column", "Materail"});
  EXPECT_EQ(typo.code, 2);
  EXPECT_NE(typo.err.find("'Materail'"), std::string::npos);
}

TEST_F(Dxfilter, ListPropertiesCountsEntitiesMostCommonFirst) {
  Result text = Run({"generate", "IFC", kHouse, "--list-properties"});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("      10  boolean       Pset_WallCommon.IsExternal\n"),
            std::string::npos)
      << text.out;
  EXPECT_LT(text.out.find("Material"), text.out.find("Pset_DoorCommon.FireRating"));
  EXPECT_EQ(text.out.find("Description"), std::string::npos);  // fixed columns are not listed
  Result json = Run({"generate", "IFC", kHouse, "--list-properties", "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_NE(json.out.find(R"({"column":"Qto_WallBaseQuantities.NetVolume","count":2,)"
                          R"("type":"number","unit":"m)"
                          "\xC2\xB3"
                          R"("})"),
            std::string::npos)
      << json.out;
  EXPECT_FALSE(std::ifstream(File("SampleHouse.filter.json")).good());  // nothing written
}

}  // namespace
