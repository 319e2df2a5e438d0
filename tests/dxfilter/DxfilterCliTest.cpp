// DxfilterCliTest.cpp - dxfilter end to end: exit codes, outputs and errors, as a
// user or a script sees them.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "DxfilterFixture.h"

namespace dxtest {
namespace {

using Dxfilter = DxfilterTest;

TEST_F(Dxfilter, GenerateThenResolveShowsTheHouse) {
  Result g = Run({"generate", "IFC", kHouse, "--pretty"});
  ASSERT_EQ(g.code, 0) << g.err;
  // Beside the working folder by default, indented when asked.
  EXPECT_NE(g.err.find("wrote SampleHouse.filter.json"), std::string::npos) << g.err;
  EXPECT_NE(Read("SampleHouse.filter.json").find("\n    "), std::string::npos);
  EXPECT_EQ(Generate(kHouse, "house.json").find('\n'), std::string::npos);
  Result r = Run({"resolve", File("house.json"), "--table"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Ground Floor"), std::string::npos);
  EXPECT_NE(r.out.find("IfcWall"), std::string::npos);
  // Column titles come from the catalog, not as raw NLS texts.
  EXPECT_NE(r.out.find("Import mode"), std::string::npos);
  EXPECT_EQ(r.out.find("DXIfcProvider."), std::string::npos);
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
  std::string settings =
      Write("s.json", R"({"format":"IFC","settings":{"defaultProfile":"ForCoordination"}})");
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
  const std::string exchange = Write("x.json", R"({"data":{"results":[{"resourceid":"a"}]}})");
  const struct {
    std::vector<std::string> args;
    int code;
    const char* why;
  } cases[] = {
      {{"generate", "NOPE", kHouse}, 1, "no structure provider for format 'NOPE'"},
      {{"generate", "IFC", Write("bad.ifc", "ISO-10303-21;\nHEADER;\n")},
       1,
       "cannot generate the filter"},
      {{"generate", "IFC", kHouse, "--settings", Write("w.json", R"({"format":"STEP"})")},
       1,
       "cannot generate the filter"},
      {{"resolve", Write("n.json", "{oops")}, 1, "not a valid JSON document"},
      {{"cloud", exchange, "--settings", Write("s1.json", "{\"settings\":")},
       1,
       "not a valid settings file"},
      {{"cloud", exchange, "--settings", Write("s2.json", "[1,2]")},
       1,
       "not a valid settings file"},
      {{"generate"}, 2, ""},
      {{"frobnicate"}, 2, ""},
  };
  // One line, whatever the kit left beside the code.
  Result noFormat = Run(cases[0].args);
  EXPECT_EQ(CountOf(noFormat.err, '\n'), 1) << noFormat.err;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST_F(Dxfilter, HelpAndFormats) {
  Result help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command :
       {"generate", "resolve", "edit", "record", "replay", "cloud", "formats"})
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
  EXPECT_NE(Read("merged.json").find("\"settings\":{\"defaultProfile\":\"ForDesign\"}"),
            std::string::npos);
}

TEST_F(Dxfilter, CloudAnswersWhatResolveAnswers) {
  // The second "a" record and the one with "from" must not answer anything.
  const std::string exchange =
      Write("x.json", R"({"data":{"filterID":"week\u001b2","settings":{"profile":"p1"},"results":[)"
                      R"({"resourceid":"a","name":"Pump\u0007","size":12,"tags":["x","y"]},)"
                      R"({"resourceid":"a","name":"second","extra":1},)"
                      R"({"resourceid":"b","from":"a","name":"skipped"},{"resourceid":"c"}]}})");
  Result get = Run({"cloud", exchange, "--get", "a", "name", "--get", "a", "size"});
  EXPECT_EQ(get.code, 0) << get.err;
  EXPECT_EQ(get.out, "Pump\\x07\n12\n");
  Result missing = Run({"cloud", exchange, "--get", "a", "extra", "--get", "b", "name"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("no attribute extra for a"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("no attribute name for b"), std::string::npos) << missing.err;

  Result setting = Run({"cloud", exchange, "--setting", "profile"});
  EXPECT_EQ(setting.code, 0) << setting.err;
  EXPECT_EQ(setting.out, "p1\n");
  // Settings merged from --settings answer too.
  Result merged = Run({"cloud", exchange, "--setting", "defaultProfile", "--settings",
                       Write("s.json", R"({"settings":{"defaultProfile":"ForDesign"}})")});
  EXPECT_EQ(merged.out, "ForDesign\n") << merged.err;
  EXPECT_EQ(Run({"cloud", exchange, "--setting", "nope"}).code, 1);

  Result id = Run({"cloud", exchange, "--filter-id"});
  EXPECT_EQ(id.code, 0) << id.err;
  EXPECT_EQ(id.out, "week\\x1B2\n");
  Result noId = Run({"cloud", Write("n.json", R"({"data":{"results":[]}})"), "--filter-id"});
  EXPECT_EQ(noId.code, 1);
  EXPECT_NE(noId.err.find("no filter id"), std::string::npos) << noId.err;

  Result json = Run({"cloud", exchange, "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_EQ(json.out,
            "{\"filterID\":\"week\\u001b2\",\"resources\":[\n"
            "{\"resourceid\":\"a\",\"attributes\":{\"name\":\"Pump\\u0007\",\"size\":\"12\","
            "\"tags\":\"[\\\"x\\\",\\\"y\\\"]\"}},\n"
            "{\"resourceid\":\"c\",\"attributes\":{}}\n]}\n");
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
  EXPECT_EQ(CountOf(r.out, '\n'), 8 + 2) << r.out;  // eight walls
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

// --- reading: endless or odd inputs end with a reason, standard input is read once

TEST_F(Dxfilter, EndlessInputsAreRefusedWithAReason) {
  const std::string exchange = Write("x.json", R"({"data":{"results":[{"resourceid":"a"}]}})");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"resolve", "/dev/zero"},
        {"cloud", "/dev/zero"},
        {"cloud", exchange, "--settings", "/dev/zero"},
        {"generate", "IFC", kHouse, "--settings", "/dev/zero"}}) {
    SCOPED_TRACE(args[0] + " " + args[1] + " " + args.back());
    Result r = Run(args);
    EXPECT_EQ(r.code, 1) << r.err;  // not 134: no abort on bad_alloc
    EXPECT_NE(r.err.find("/dev/zero"), std::string::npos) << r.err;
    EXPECT_EQ(CountOf(r.err, '\n'), 1) << r.err;
  }
  // A settings file of a few megabytes of blanks is not a settings file either.
  Result huge = Run({"cloud", exchange, "--settings", "/dev/stdin"},
                    "|head -c 20000000 /dev/zero | tr '\\0' ' '");
  EXPECT_EQ(huge.code, 1);
  EXPECT_NE(huge.err.find("more than 16 MiB"), std::string::npos) << huge.err;
}

TEST_F(Dxfilter, ResolveReadsStandardInputOnce) {
  ASSERT_EQ(Run({"generate", "IFC", kHouse, "-o", "h.json"}).code, 0);
  const std::string file = Run({"resolve", File("h.json"), "--json"}).out;
  ASSERT_NE(file.find("Ground Floor"), std::string::npos);
  for (const char* name : {"-", "/dev/stdin"}) {
    SCOPED_TRACE(name);
    Result piped = Run({"resolve", name, "--json"}, "|cat " + Quote(File("h.json")));
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, file);
  }
  Result bad = Run({"resolve", "-"}, "|echo '{oops'");
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("standard input"), std::string::npos) << bad.err;
  // The cloud command takes standard input the same way.
  Result cloud = Run({"cloud", "-"}, "|echo '{\"data\":{\"results\":[{\"resourceid\":\"a\"}]}}'");
  EXPECT_EQ(cloud.code, 0) << cloud.err;
  EXPECT_EQ(cloud.out, "a\n");
}

// --- output: what a model holds never drives the terminal, and --json stays exact

// The id as the reader gives it: ESC ] 0 ; ... BEL would set the terminal's title.
constexpr const char* kHostileId = "x\"]; [\"injected\x1b]0;owned\x07";
// Names and ids with ESC, BEL, CR, LF, NUL, DEL and CSI, as a crafted model would give them.
constexpr const char* kHostileDocument =
    R"({"data":{"filterID":"f"},"columns":[{"dataIndex":"Name","data":{"NLS_text":"Name"}}],)"
    R"("roots":[{"label":"Wall\u007f\u009b\u001b[31m red\r| fake | row\u0000cut","data":{"uid":["x\"]; [\"injected\u001b]0;owned\u0007"]},)"
    R"("grid":{"Name":"bell\u0007\nsecond line"}}]})";

bool HasControl(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\n') || b == 0x7F;
  });
}

TEST_F(Dxfilter, HumanOutputShowsControlCharactersEscaped) {
  const std::string doc = Write("hostile.json", kHostileDocument);
  Result table = Run({"resolve", doc, "--table"});
  ASSERT_EQ(table.code, 0) << table.err;
  EXPECT_FALSE(HasControl(table.out)) << table.out;
  EXPECT_NE(table.out.find("Wall\\x7F\\x9B\\x1B[31m red\\x0D| fake |"), std::string::npos)
      << table.out;
  EXPECT_EQ(CountOf(table.out, '\n'), 3) << "a header, a rule and one row";

  Result ids = Run({"resolve", doc, "--ids"});
  EXPECT_EQ(ids.out, "x\"]; [\"injected\\x1B]0;owned\\x07\n");
  Result get = Run({"resolve", doc, "--get", kHostileId, "Name"});
  EXPECT_EQ(get.code, 0) << get.err;
  EXPECT_EQ(get.out, "bell\\x07\\x0Asecond line\n");
}

TEST_F(Dxfilter, JsonOutputIsExactAndCannotBeBrokenOutOf) {
  const std::string doc = Write("hostile.json", kHostileDocument);
  Result resolved = Run({"resolve", doc, "--json"});
  ASSERT_EQ(resolved.code, 0) << resolved.err;
  EXPECT_NE(resolved.out.find(R"("uid":"x\"]; [\"injected\u001b]0;owned\u0007")"),
            std::string::npos)
      << resolved.out;
  EXPECT_NE(resolved.out.find(R"(row\u0000cut)"), std::string::npos) << resolved.out;

  const std::string exchange = Write(
      "x.json",
      R"({"data":{"results":[{"resourceid":"x\"]; [\"injected"},{"resourceid":"nul\u0000cut"}]}})");
  Result cloud = Run({"cloud", exchange, "--json"});
  ASSERT_EQ(cloud.code, 0) << cloud.err;
  EXPECT_EQ(cloud.out,
            "{\"filterID\":\"\",\"resources\":[\n"
            "{\"resourceid\":\"nul\\u0000cut\",\"attributes\":{}},\n"
            "{\"resourceid\":\"x\\\"]; [\\\"injected\",\"attributes\":{}}\n]}\n");
  Result plain = Run({"cloud", exchange});
  EXPECT_EQ(plain.out, "nul\\x00cut\nx\"]; [\"injected\n");
}

// --- writing: only regular files are replaced, and a failure says why

TEST_F(Dxfilter, OutputOntoALinkOrAFifoKeepsTheNodeAndSaysWhy) {
  std::filesystem::create_directory(File("real"));
  std::filesystem::create_symlink("real/house.json", File("link.json"));
  Result linked = Run({"generate", "IFC", kHouse, "-o", "link.json"});
  ASSERT_EQ(linked.code, 0) << linked.err;
  EXPECT_TRUE(std::filesystem::is_symlink(File("link.json")));
  EXPECT_NE(Read("real/house.json").find("\"roots\""), std::string::npos);

  ASSERT_EQ(mkfifo(File("pipe").c_str(), 0600), 0);
  Result fifo = Run({"generate", "IFC", kHouse, "-o", "pipe"});
  EXPECT_EQ(fifo.code, 1);
  EXPECT_NE(fifo.err.find("cannot write pipe: a FIFO without a reader"), std::string::npos)
      << fifo.err;
  EXPECT_TRUE(std::filesystem::is_fifo(File("pipe")));

  Result missing = Run({"generate", "IFC", kHouse, "-o", "no/such/folder.json"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("cannot write no/such/folder.json: No such file or directory"),
            std::string::npos)
      << missing.err;
}

// --- a model whose tree a filter document cannot hold

// A project, a site and a chain of elements, each aggregating the next.
std::string DeepIfc(int elements) {
  std::string data =
      "#1=IFCPROJECT('p',$,'Project',$,$,$,$,$,$);\n"
      "#2=IFCSITE('s',$,'Site',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n"
      "#3=IFCRELAGGREGATES('r',$,$,$,#1,(#2));\n";
  int parent = 2;
  for (int i = 0; i < elements; ++i) {
    const int element = 10 + 2 * i, rel = element + 1;
    data += "#" + std::to_string(element) + "=IFCBUILDINGELEMENTPROXY('e" + std::to_string(i) +
            "',$,'E" + std::to_string(i) + "',$,$,$,$,$,$);\n#" + std::to_string(rel) +
            "=IFCRELAGGREGATES('a" + std::to_string(i) + "',$,$,$,#" + std::to_string(parent) +
            ",(#" + std::to_string(element) + "));\n";
    parent = element;
  }
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [x]'),'2;1');\n"
         "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n" +
         data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

TEST_F(Dxfilter, ATreeTooDeepForADocumentIsRefusedWithTheReason) {
  // Project and site take two levels: 508 elements fill the 510 a document holds.
  Result fits = Run({"generate", "IFC", Write("fits.ifc", DeepIfc(508)), "-o", "fits.json"});
  EXPECT_EQ(fits.code, 0) << fits.err;
  Result deep = Run({"generate", "IFC", Write("deep.ifc", DeepIfc(509)), "-o", "deep.json"});
  EXPECT_EQ(deep.code, 1);
  EXPECT_EQ(
      deep.err.substr(deep.err.rfind("dxfilter: ")),
      "dxfilter: cannot generate the filter of " + File("deep.ifc") +
          ": the entity tree is 511 levels deep or more; a filter document holds at most 510\n");
  EXPECT_FALSE(std::filesystem::exists(File("deep.json")));
}

// --- documents with nothing, or twice the same thing, to answer for

TEST_F(Dxfilter, EmptyDocumentsAndSharedIdsAreSaidSo) {
  for (const char* text : {"{}", "[]", R"({"roots":[{"label":"no id","data":{}}]})"}) {
    SCOPED_TRACE(text);
    Result r = Run({"resolve", Write("empty.json", text)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("holds no entity with an id"), std::string::npos) << r.err;
  }
  const std::string twice =
      Write("twice.json", R"({"columns":[{"dataIndex":"x","data":{}}],"roots":[)"
                          R"({"label":"A","data":{"uid":["dup"]},"grid":{"x":"a"},"children":[)"
                          R"({"label":"B","data":{"uid":["dup"]},"grid":{"x":"b"}},)"
                          R"({"label":"C","data":{"uid":["dup"]},"grid":{"x":"c"}}]}]})");
  Result r = Run({"resolve", twice});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("2 entities share a GlobalId with an earlier one"), std::string::npos)
      << r.err;
  EXPECT_EQ(CountOf(r.err, '\n'), 1) << "warned once";
}

}  // namespace
}  // namespace dxtest
