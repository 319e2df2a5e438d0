// DxfilterCliTest.cpp - dxfilter end to end: exit codes, outputs and errors, as a
// user or a script sees them.
#include <sys/stat.h>

#include <map>

#include "DxfilterFixture.h"

namespace dxtest {
namespace {

using Dxfilter = DxfilterTest;

// Names and ids with ESC, BEL, CR, LF, NUL, DEL and C1 CSI, as a crafted model would give
// them; the id's ESC ] 0 ; ... BEL would set the terminal's title.
constexpr const char* kHostileId = "x\"]; [\"injected\x1b]0;owned\x07";
constexpr const char* kHostileDocument =
    R"({"data":{"filterID":"f"},"columns":[{"dataIndex":"Name","data":{"NLS_text":"Name"}}],)"
    R"("roots":[{"label":"Wall\u007f\u009b\u001b[31m red\r| fake | row\u0000cut","data":{"uid":["x\"]; [\"injected\u001b]0;owned\u0007"]},)"
    R"("grid":{"Name":"bell\u0007\nsecond line"}}]})";
constexpr const char* kExchange =
    R"({"data":{"filterID":"week\u001b2","settings":{"profile":"p1"},"results":[)"
    R"({"resourceid":"b"},{"resourceid":"a","name":"Pump\u0007","size":12,"tags":["x","y"]},)"
    R"({"resourceid":"a","name":"second","extra":1},)"
    R"({"resourceid":"d","from":"a","name":"skipped"},{"resourceid":"nul\u0000cut"}]}})";

// A project, a site and a chain of elements, each aggregating the next.
std::string DeepIfc(int elements) {
  std::string text =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [x]'),'2;1');\n"
      "FILE_NAME('t.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n"
      "#1=IFCPROJECT('p',$,'Project',$,$,$,$,$,$);\n"
      "#2=IFCSITE('s',$,'Site',$,$,$,$,$,.ELEMENT.,$,$,$,$,$);\n#3=IFCRELAGGREGATES('r',$,$,$,#1,(#"
      "2));\n";
  for (int i = 10; i < 10 + 2 * elements; i += 2)
    text += "#" + std::to_string(i) + "=IFCBUILDINGELEMENTPROXY('e" + std::to_string(i) +
            "',$,'E',$,$,$,$,$,$);\n#" + std::to_string(i + 1) + "=IFCRELAGGREGATES('a" +
            std::to_string(i) + "',$,$,$,#" + std::to_string(i == 10 ? 2 : i - 2) + ",(#" +
            std::to_string(i) + "));\n";
  return text + "ENDSEC;\nEND-ISO-10303-21;\n";
}

const std::string kAny = "<any>";

// Every command line's exit code, a part of what it says, and all of its standard output
// when out is given. Errors are one line with a non-zero code.
TEST_F(Dxfilter, CommandsAnswerWithTheirCodeAndOneLineOfReason) {
  Write("x.json", kExchange);
  Write("hostile.json", kHostileDocument);
  Write("s.json", R"({"format":"IFC","settings":{"defaultProfile":"ForDesign"}})");
  Write("n.json", "{oops");
  Write("empty.json", R"({"roots":[{"label":"no id","data":{}}]})");
  Write("twice.json", R"({"columns":[{"dataIndex":"x","data":{}}],"roots":[)"
                      R"({"label":"A","data":{"uid":["dup"]},"grid":{"x":"a"},"children":[)"
                      R"({"label":"B","data":{"uid":["dup"]}},{"data":{"uid":["dup"]}}]},)"
                      R"({"data":{"uid":["p","q"]},"grid":{"x":"b"}}]})");
  Write("cut.jsonl", "{\"interaction\":\"select\"}\n");
  Write("deep.ifc", DeepIfc(509));
  // Project and site take two levels: 508 elements fill the 510 a document holds.
  Write("fits.ifc", DeepIfc(508));
  std::filesystem::create_directory(File("real"));
  std::filesystem::create_symlink("real/house.json", File("link.json"));
  ASSERT_EQ(mkfifo(File("pipe").c_str(), 0600), 0);
  std::string house = Generate(kHouse, "h.json");
  ASSERT_EQ(house.find('\n'), std::string::npos);
  // An older version, where the first entity's uid was another's (gone), both edited.
  const std::string first = Run({"resolve", "h.json", "--ids"}).out.substr(0, 22),
                    gone = "1gone0000000000000000x";
  house.replace(house.find("\"uid\":[\"" + first) + 8, 22, gone);
  Write("old.json", house.insert(9, "\"userEdits\":{\"" + gone + R"(":{"Import":"false"},")" +
                                        first + R"(":{"Import":"false","Type":"IfcSlab"}},)"));
  Write("bad.ifc", "ISO-10303-21;\nHEADER;\n");
  Write("w.json", R"({"format":"STEP"})");
  Write("array.json", "[]");
  Write("a.json", "[1,2]");
  Write("r.json", R"({"data":{"results":[]}})");
  // Arguments split at spaces; @names stand for the words that hold spaces or vary.
  const std::map<std::string, std::string> words = {
      {"@house", kHouse}, {"@gearbox", kGearbox}, {"@first", first}, {"@hostile", kHostileId}};
  const struct {
    std::string command;
    int code;
    std::string said;  // a part of standard error, or of standard output
    std::string out = kAny;
    std::string input = "/dev/null";
  } cases[] = {
      {"generate NOPE @house", 1, "no structure provider for format 'NOPE'"},
      {"generate IFC bad.ifc", 1, "cannot generate the filter"},
      {"generate IFC @house --settings w.json", 1, "cannot generate the filter"},
      {"generate IFC @house --settings /dev/zero", 1, "/dev/zero"},
      {"generate IFC @house --column Materail", 2, "'Materail'"},
      {"generate IFC deep.ifc -o deep.json", 1,
       "dxfilter: cannot generate the filter of deep.ifc: the entity tree is 511 levels deep or "
       "more; a filter document holds at most 510\n"},
      {"generate IFC fits.ifc -o fits.json", 0, "wrote fits.json"},
      {"generate IFC @house -o link.json", 0, "wrote link.json"},
      {"generate IFC @house -o pipe", 1, "cannot write pipe: a FIFO without a reader"},
      {"generate IFC @house -o no/f.json", 1, "cannot write no/f.json: No such file or directory"},
      {"generate IFC @house --carry n.json -o c.json", 1, "cannot carry from"},
      {"generate IFC @house --carry missing.json", 2, ""},
      {"generate IFC @house --carry old.json -o no/c.json", 1, "no/c.json"},
      {"generate IFC @house --carry old.json -o v2.json", 0, "",
       "1 edit carried, 1 new, 1 gone, 2 dropped\n"},
      {"resolve v2.json --get @first Import", 0, "", "false\n"},
      {"resolve v2.json --json --where new", 0, first},
      {"generate IFC @house --carry h.json --pretty -o p.json", 0, "records no edits",
       "0 edits carried, 0 new, 0 gone, 0 dropped\n"},
      {"generate STEP @gearbox --max-occurrences 15 -o g.json", 1, "more than 15 occurrences"},
      {"generate STEP @gearbox --max-occurrences 0", 2, ""},
      {"generate STEP @gearbox --code-page klingon", 1, "unknown code page 'klingon'"},
      {"generate", 2, ""},
      {"generate IFC @house --list-properties", 0,
       "     10  boolean       Pset_WallCommon.IsExternal\n"},
      {"generate IFC @house --list-properties --json", 0,
       R"({"column":"Qto_WallBaseQuantities.NetVolume","count":2,"type":"number","unit":"m)"
       "\xC2\xB3\"}"},
      {"--help", 0, "replay"},
      {"formats", 0, "IFC\n"},
      {"frobnicate", 2, ""},
      {"resolve h.json --table", 0, "Import mode"},  // a title from the catalog
      {"resolve n.json", 1, "not a valid JSON document"},
      {"resolve /dev/zero", 1, "/dev/zero"},
      {"resolve -", 1, "standard input", kAny, "|echo '{oops'"},
      {"resolve h.json --get nobody Type", 1, ""},
      {"resolve h.json --where new", 1, "--carry"},
      {"resolve empty.json", 0, "holds no entity with an id"},
      {"resolve array.json", 0, "holds no entity with an id"},
      {"resolve twice.json", 0, "2 entities share a GlobalId with an earlier one"},
      {"resolve twice.json --get p x", 0, "", "b\n"},  // any uid of an entity answers
      {"resolve hostile.json --ids", 0, "", "x\"]; [\"injected\\x1B]0;owned\\x07\n"},
      {"resolve hostile.json --json", 0, "",
       "{\"filterID\":\"f\",\"entities\":[\n{\"uid\":\"x\\\"]; "
       "[\\\"injected\\u001b]0;owned\\u0007\","
       "\"label\":\"Wall\x7f\xc2\x9b\\u001b[31m red\\r| fake | row\\u0000cut\",\"depth\":0,"
       "\"values\":{\"Name\":\"bell\\u0007\\nsecond line\"}}\n]}\n"},
      {"resolve hostile.json --get @hostile Name", 0, "", "bell\\x07\\x0Asecond line\n"},
      {"cloud x.json", 0, "", "a\nb\nnul\\x00cut\n"},
      {"cloud x.json --json --settings s.json -o merged.json", 0, "",
       "{\"filterID\":\"week\\u001b2\",\"resources\":[\n"
       "{\"resourceid\":\"a\",\"attributes\":{\"name\":\"Pump\\u0007\",\"size\":\"12\","
       "\"tags\":\"[\\\"x\\\",\\\"y\\\"]\"}},\n{\"resourceid\":\"b\",\"attributes\":{}},\n"
       "{\"resourceid\":\"nul\\u0000cut\",\"attributes\":{}}\n]}\n"},
      {"cloud -", 0, "", "a\n", "|echo '{\"data\":{\"results\":[{\"resourceid\":\"a\"}]}}'"},
      {"cloud /dev/zero", 1, "/dev/zero"},
      {"cloud x.json --settings /dev/zero", 1, "/dev/zero"},
      {"cloud x.json --settings /dev/stdin", 1, "more than 16 MiB", kAny,
       "|head -c 20000000 /dev/zero | tr '\\0' ' '"},
      {"cloud x.json --settings n.json", 1, "not a valid settings file"},
      {"cloud x.json --settings a.json", 1, "not a valid settings file"},
      {"cloud x.json --get a name --get a size", 0, "", "Pump\\x07\n12\n"},
      {"cloud x.json --get a extra --get d name", 1,
       "no attribute extra for a\ndxfilter: no attribute name for d\n", ""},
      {"cloud x.json --setting profile", 0, "", "p1\n"},
      {"cloud x.json --setting defaultProfile --settings s.json", 0, "", "ForDesign\n"},
      {"cloud x.json --setting nope", 1, ""},
      {"cloud x.json --filter-id", 0, "", "week\\x1B2\n"},
      {"cloud r.json --filter-id", 1, "no filter id"},
      {"replay cut.jsonl IFC @house -o rep.json --browser true", 1, "cut.jsonl: no button line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<std::string> args;
    std::istringstream split(c.command);
    for (std::string word; split >> word;)
      args.push_back(words.count(word) ? words.at(word) : word);
    const Result r = Run(args, c.input);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_TRUE(Has(r.err + r.out, c.said)) << r.err;
    EXPECT_TRUE(c.out == kAny || r.out == c.out) << r.out;
    if (c.code == 0) continue;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(c.code != 1 || CountOf(r.err, '\n') == std::max(1, CountOf(c.said, '\n'))) << r.err;
  }
  for (const char* name : {"deep.json", "g.json", "c.json", "rep.json"}) EXPECT_FALSE(Exists(name));
  // Only regular files are replaced: a link's target is written, a FIFO stays.
  EXPECT_TRUE(std::filesystem::is_fifo(File("pipe")));
  EXPECT_TRUE(std::filesystem::is_symlink(File("link.json")));
  EXPECT_TRUE(Has(Read("real/house.json"), "\"roots\""));
  EXPECT_TRUE(Has(Read("merged.json"), "\"settings\":{\"defaultProfile\":\"ForDesign\"}"));
  // What a model holds never drives the terminal.
  const std::string table = Run({"resolve", "hostile.json", "--table"}).out;
  EXPECT_FALSE(std::any_of(table.begin(), table.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F;
  })) << table;
  EXPECT_TRUE(Has(table, "Wall\\x7F\\x9B\\x1B[31m red\\x0D| fake |")) << table;
  EXPECT_EQ(CountOf(table, '\n'), 3) << "a header, a rule and one row";
}

TEST_F(Dxfilter, TheHouseThroughItsColumnsAndAnswers) {
  // One column on the command line, two in the settings file; indented when asked.
  Write("s.json", R"({"format":"IFC","settings":{"columns":["Material","Classification"],)"
                  R"("defaultProfile":"ForCoordination"}})");
  Result g = Run({"generate", "IFC", kHouse, "--settings", "s.json", "--column",
                  "Pset_WallCommon.IsExternal", "--remove", "IfcSpace", "--pretty"});
  ASSERT_TRUE(g.code == 0 && Has(g.err, "wrote SampleHouse.filter.json")) << g.err;
  const std::string h = "SampleHouse.filter.json";
  EXPECT_TRUE(Has(Read(h), "\n    "));
  Result walls = Run({"resolve", h, "--json", "--where", "Pset_WallCommon.IsExternal=true"});
  EXPECT_EQ(CountOf(walls.out, '\n'), 8 + 2) << walls.out;  // eight walls
  EXPECT_TRUE(Has(walls.out, "\"Material\":\"Brick, Insulation\"")) << walls.out;
  EXPECT_TRUE(Has(walls.out, "\"Classification\":\"Ss_25_10\"")) << walls.out;
  EXPECT_FALSE(Has(walls.out, "Partition"));
  Result spaces = Run({"resolve", h, "--json", "--where", "Type=IfcSpace"});
  EXPECT_TRUE(Has(spaces.out, "\"Import\":\"false\"")) << spaces.out;
  EXPECT_FALSE(Has(spaces.out, "\"Import\":\"true\""));
  Result under = Run({"resolve", h, "--under", "Roof Level"});
  EXPECT_TRUE(Has(under.out, "Roof Slab North")) << under.out;
  EXPECT_FALSE(Has(under.out, "Kitchen Door"));
  EXPECT_EQ(Run({"resolve", h, "--setting", "defaultProfile"}).out, "ForCoordination\n");
  // Standard input is read once, as the file is.
  for (const char* name : {"-", "/dev/stdin"})
    EXPECT_EQ(Run({"resolve", name, "--json"}, "|cat " + h).out, Run({"resolve", h, "--json"}).out);
}

TEST_F(Dxfilter, RemovedPartsAndNotesOfWhatWasLeftOut) {
  ASSERT_EQ(Run({"generate", "STEP", kGearbox, "--remove", "BRG-6204", "-o", "g.json"}).code, 0);
  const Result rows = Run({"resolve", "g.json", "--where", "ImportMode=NoImport"});
  int bearings = 0;
  for (size_t at = 0; (at = rows.out.find("BRG-6204:", at)) != std::string::npos; ++at) ++bearings;
  EXPECT_EQ(bearings, 4) << rows.out;  // two bearings in each shaft assembly
  // A record that takes an instance number again is noted; a clean file gets no note.
  std::string twice = Slurp(kHouse);
  twice.insert(twice.rfind("ENDSEC;"), "#1=IFCPERSON($,'Again',$,$,$,$,$,$);\n");
  const Result bad = Run({"generate", "IFC", Write("twice.ifc", twice), "-o", "twice.json"});
  EXPECT_TRUE(Has(bad.err, "note: 1 record reuses an instance number (the first is used)\n"))
      << bad.err;
  EXPECT_FALSE(Has(Run({"generate", "STEP", kGearbox, "-o", "g.json"}).err, "note:"));
}

}  // namespace
}  // namespace dxtest
