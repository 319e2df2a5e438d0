// DxfilterCarryTest.cpp - the weekly re-import end to end: a model and its next version
// written by the test, choices recorded on the first, `generate --carry` on the second,
// and the reader's answers for the new version checked entity by entity.
#include <map>

#include "DxfilterFixture.h"
#include "JsonStreams/JIStream.h"

namespace dxtest {
namespace {

// A GlobalId of 22 characters of the IFC alphabet, one per tag.
std::string Gid(const std::string& tag) {
  return "1" + tag + std::string(21 - tag.size(), '0');
}

struct Wall {
  std::string tag;  // its GlobalId is Gid(tag)
  std::string name;
  int storey;  // 0 ground, 1 upper
};

// Project, site, building, two storeys (ground and upper) and the walls each holds.
std::string IfcModel(const std::vector<Wall>& walls) {
  std::string text =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');\n"
      "FILE_NAME('house.ifc','2024-05-14T10:00:00',(''),(''),'','','');\n"
      "FILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n"
      "#1=IFCPERSON($,'Tester',$,$,$,$,$,$);\n#2=IFCORGANIZATION($,'Test',$,$,$);\n"
      "#3=IFCPERSONANDORGANIZATION(#1,#2,$);\n#4=IFCAPPLICATION(#2,'1.0','Test','Test');\n"
      "#5=IFCOWNERHISTORY(#3,#4,$,.ADDED.,$,$,$,1715680800);\n"
      "#6=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);\n#7=IFCUNITASSIGNMENT((#6));\n"
      "#8=IFCCARTESIANPOINT((0.,0.,0.));\n#9=IFCAXIS2PLACEMENT3D(#8,$,$);\n"
      "#10=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#9,$);\n"
      "#11=IFCPROJECT('" +
      Gid("Project") +
      "',#5,'House',$,$,$,$,(#10),#7);\n"
      "#12=IFCLOCALPLACEMENT($,#9);\n"
      "#13=IFCSITE('" +
      Gid("Site") +
      "',#5,'Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);\n"
      "#14=IFCBUILDING('" +
      Gid("Building") +
      "',#5,'Building',$,$,#12,$,$,.ELEMENT.,$,$,$);\n"
      "#15=IFCBUILDINGSTOREY('" +
      Gid("Ground") +
      "',#5,'Ground',$,$,#12,$,$,.ELEMENT.,0.);\n"
      "#16=IFCBUILDINGSTOREY('" +
      Gid("Upper") +
      "',#5,'Upper',$,$,#12,$,$,.ELEMENT.,3000.);\n"
      "#17=IFCRELAGGREGATES('" +
      Gid("Agg1") +
      "',#5,$,$,#11,(#13));\n"
      "#18=IFCRELAGGREGATES('" +
      Gid("Agg2") +
      "',#5,$,$,#13,(#14));\n"
      "#19=IFCRELAGGREGATES('" +
      Gid("Agg3") + "',#5,$,$,#14,(#15,#16));\n";
  std::string held[2];
  for (size_t k = 0; k < walls.size(); ++k) {
    const std::string id = "#" + std::to_string(100 + k);
    text += id + "=IFCWALL('" + Gid(walls[k].tag) + "',#5,'" + walls[k].name +
            "',$,$,#12,$,$,.STANDARD.);\n";
    held[walls[k].storey] += (held[walls[k].storey].empty() ? "" : ",") + id;
  }
  for (int s = 0; s < 2; ++s) {
    if (held[s].empty()) continue;
    text += "#" + std::to_string(90 + s) + "=IFCRELCONTAINEDINSPATIALSTRUCTURE('" +
            Gid("Rel" + std::to_string(s)) + "',#5,$,$,(" + held[s] + ")," + (s ? "#16" : "#15") +
            ");\n";
  }
  return text + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// uid -> column -> the reader's answer, from `resolve --json`.
using Answers = std::map<std::string, std::map<std::string, std::string>>;

class DxfilterCarry : public DxfilterTest {
 protected:
  Answers Resolve(const std::string& document, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"resolve", File(document), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    Result r = Run(args);
    EXPECT_EQ(r.code, 0) << r.err;
    JSON::JIStream json;
    EXPECT_TRUE(json.Parse(r.out)) << r.out;
    Answers answers;
    for (const JSON::JIStream& entity : json.ReadObjects("entities")) {
      const std::string uid = entity.ReadString("uid").Str();
      if (uid.empty()) continue;
      const JSON::JIStream values = entity.ReadObject("values");
      for (std::string_view column : values.Keys())
        answers[uid][std::string(column)] = values.ReadString(std::string(column).c_str()).Str();
    }
    return answers;
  }

  // What the page writes at OK: the user's edits in "userEdits" of the document's data.
  std::string Edited(const std::string& document, const std::string& name,
                     const std::string& userEdits) {
    std::string text = Read(document);
    const std::string data = "{\"data\":{";
    EXPECT_EQ(text.rfind(data, 0), 0u);
    text.insert(data.size(), "\"userEdits\":" + userEdits + ",");
    return Write(name, text);
  }

  // Every answer of the carried document is the plain generation's, except the edits.
  void ExpectAnswers(const Answers& carried, const Answers& plain, const Answers& edits) {
    ASSERT_EQ(carried.size(), plain.size());
    for (const auto& [uid, columns] : plain) {
      ASSERT_TRUE(carried.count(uid)) << uid;
      for (const auto& [column, value] : columns) {
        std::string expected = value;
        if (edits.count(uid) && edits.at(uid).count(column)) expected = edits.at(uid).at(column);
        EXPECT_EQ(carried.at(uid).at(column), expected) << uid << " " << column;
      }
    }
  }
};

const std::vector<Wall> kVersion1 = {{"A", "Wall A", 0},
                                     {"B", "Wall B", 0},
                                     {"C", "Wall C", 0},
                                     {"D", "Wall D", 0},
                                     {"E", "Wall E", 1}};
// A renamed, B moved upstairs, C removed, D's GlobalId changed, E unchanged, F added.
const std::vector<Wall> kVersion2 = {{"A", "Wall A renamed", 0},
                                     {"B", "Wall B", 1},
                                     {"D2", "Wall D", 0},
                                     {"E", "Wall E", 1},
                                     {"F", "Wall F", 0}};

TEST_F(DxfilterCarry, ChoicesReachTheNextVersionEntityByEntity) {
  Write("v1.ifc", IfcModel(kVersion1));
  Write("v2.ifc", IfcModel(kVersion2));
  ASSERT_EQ(Run({"generate", "IFC", File("v1.ifc"), "-o", "v1.json"}).code, 0);
  Edited("v1.json", "v1-edited.json",
         "{\"" + Gid("A") + "\":{\"Import\":\"false\"},\"" + Gid("B") +
             "\":{\"ImportMode\":\"ForCoordination\"},\"" + Gid("C") +
             "\":{\"Import\":\"false\"},\"" + Gid("D") + "\":{\"ImportMode\":\"NoImport\"},\"" +
             Gid("E") + "\":{\"Name\":\"Entrance wall\",\"Type\":\"IfcSlab\"}}");

  Result g =
      Run({"generate", "IFC", File("v2.ifc"), "--carry", File("v1-edited.json"), "-o", "v2.json"});
  ASSERT_EQ(g.code, 0) << g.err;
  // C and D are gone with their edits, and E's Type is read-only: three dropped.
  EXPECT_EQ(g.out, "3 edits carried, 2 new, 2 gone, 3 dropped\n");
  ASSERT_EQ(Run({"generate", "IFC", File("v2.ifc"), "-o", "v2-plain.json"}).code, 0);
  const Answers plain = Resolve("v2-plain.json");
  ExpectAnswers(Resolve("v2.json"), plain,
                {{Gid("A"), {{"Import", "false"}}},
                 {Gid("B"), {{"ImportMode", "ForCoordination"}}},
                 {Gid("E"), {{"Name", "Entrance wall"}}}});
  // The plain generation differs where the edits are: the comparison can fail.
  EXPECT_EQ(plain.at(Gid("A")).at("Import"), "true");

  const Answers fresh = Resolve("v2.json", {"--where", "new"});
  EXPECT_EQ(fresh.size(), 2u);
  EXPECT_TRUE(fresh.count(Gid("D2")) && fresh.count(Gid("F")));
  Result notCarried = Run({"resolve", File("v2-plain.json"), "--where", "new"});
  EXPECT_EQ(notCarried.code, 1);
  EXPECT_NE(notCarried.err.find("--carry"), std::string::npos);

  // Edited again on the new version, then carried once more: every choice arrives.
  std::string v2 = Read("v2.json");
  const std::string edits = "\"userEdits\":{";
  ASSERT_NE(v2.find(edits), std::string::npos);
  v2.insert(v2.find(edits) + edits.size(), "\"" + Gid("F") + "\":{\"Import\":\"false\"},");
  Write("v2-edited.json", v2);
  Write("v3.ifc", IfcModel({{"A", "Wall A renamed", 1},
                            {"B", "Wall B", 0},
                            {"D2", "Wall D", 0},
                            {"F", "Wall F", 1}}));
  Result g3 =
      Run({"generate", "IFC", File("v3.ifc"), "--carry", File("v2-edited.json"), "-o", "v3.json"});
  ASSERT_EQ(g3.code, 0) << g3.err;
  EXPECT_EQ(g3.out, "3 edits carried, 0 new, 1 gone, 1 dropped\n");
  ASSERT_EQ(Run({"generate", "IFC", File("v3.ifc"), "-o", "v3-plain.json"}).code, 0);
  ExpectAnswers(Resolve("v3.json"), Resolve("v3-plain.json"),
                {{Gid("A"), {{"Import", "false"}}},
                 {Gid("B"), {{"ImportMode", "ForCoordination"}}},
                 {Gid("F"), {{"Import", "false"}}}});
}

TEST_F(DxfilterCarry, ADocumentWithoutRecordedEditsCarriesItsImportValuesAndSaysSo) {
  Write("v1.ifc", IfcModel(kVersion1));
  Write("v2.ifc", IfcModel(kVersion2));
  ASSERT_EQ(Run({"generate", "IFC", File("v1.ifc"), "-o", "v1.json"}).code, 0);
  // Another tool switched B off in the values themselves.
  std::string v1 = Read("v1.json");
  const size_t b = v1.find("\"Import\":\"true\"", v1.find(Gid("B")));
  ASSERT_NE(b, std::string::npos);
  v1.replace(b, 15, "\"Import\":\"false\"");
  Write("other.json", v1);
  Result g = Run({"generate", "IFC", File("v2.ifc"), "--carry", File("other.json"), "-o", "v2.json",
                  "--pretty"});
  ASSERT_EQ(g.code, 0) << g.err;
  EXPECT_EQ(g.out, "1 edit carried, 2 new, 2 gone, 0 dropped\n");
  EXPECT_NE(g.err.find("records no edits"), std::string::npos);
  EXPECT_NE(Read("v2.json").find("\n    "), std::string::npos);
  ASSERT_EQ(Run({"generate", "IFC", File("v2.ifc"), "-o", "v2-plain.json"}).code, 0);
  ExpectAnswers(Resolve("v2.json"), Resolve("v2-plain.json"), {{Gid("B"), {{"Import", "false"}}}});
}

TEST_F(DxfilterCarry, ABadOldDocumentFailsBeforeAnythingIsWritten) {
  Write("v2.ifc", IfcModel(kVersion2));
  Result notJson = Run({"generate", "IFC", File("v2.ifc"), "--carry",
                        Write("bad.json", "{\"data\":"), "-o", "v2.json"});
  EXPECT_EQ(notJson.code, 1);
  EXPECT_NE(notJson.err.find("cannot carry from"), std::string::npos);
  EXPECT_EQ(CountOf(notJson.err, '\n'), 1);
  Result wrongEdits =
      Run({"generate", "IFC", File("v2.ifc"), "--carry",
           Write("wrong.json", R"({"data":{"userEdits":[]},"roots":[]})"), "-o", "v2.json"});
  EXPECT_EQ(wrongEdits.code, 1);
  EXPECT_NE(wrongEdits.err.find("userEdits"), std::string::npos);
  EXPECT_TRUE(Read("v2.json").empty());
  EXPECT_EQ(Run({"generate", "IFC", File("v2.ifc"), "--carry", File("missing.json")}).code, 2);
}

}  // namespace
}  // namespace dxtest
