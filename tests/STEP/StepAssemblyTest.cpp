// StepAssemblyTest.cpp - the product structure read from STEP text: expansion per occurrence,
// labels, uids that survive a re-export, and what bad structures become.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "StepAssembly.h"

namespace {

using step::StepAssembly;
using step::StepAssemblyOptions;
using step::StepOccurrence;

const std::string kGearbox = std::string(DX_SAMPLES_DIR) + "/Gearbox.stp";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Wrap(const std::string& data, const std::string& schema = "AUTOMOTIVE_DESIGN") {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
         "FILE_NAME('t.stp','',(''),(''),'','','');\nFILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Writes PRODUCT, formation and definition for a part; its definition is #base+2.
std::string Part(int base, const std::string& id, const std::string& name) {
  const std::string b = std::to_string(base);
  return "#" + b + "=PRODUCT('" + id + "','" + name + "','',(#999));\n#" +
         std::to_string(base + 1) + "=PRODUCT_DEFINITION_FORMATION('','',#" + b + ");\n#" +
         std::to_string(base + 2) + "=PRODUCT_DEFINITION('design','',#" + std::to_string(base + 1) +
         ",#998);\n";
}

std::string Usage(int number, const std::string& id, int parentDef, int childDef,
                  const std::string& name = "", const std::string& description = "") {
  return "#" + std::to_string(number) + "=NEXT_ASSEMBLY_USAGE_OCCURRENCE('" + id + "','" + name +
         "','" + description + "',#" + std::to_string(parentDef) + ",#" + std::to_string(childDef) +
         ",$);\n";
}

// Every occurrence as "uid|label|part number|quantity", depth first.
std::vector<std::string> Rows(const StepAssembly& a) {
  std::vector<std::string> rows;
  std::vector<const StepOccurrence*> pending;
  for (auto it = a.Roots().rbegin(); it != a.Roots().rend(); ++it) pending.push_back(&*it);
  while (!pending.empty()) {
    const StepOccurrence* node = pending.back();
    pending.pop_back();
    const step::StepProduct* p = a.Product(*node);
    rows.push_back(a.Uid(*node) + "|" + a.Label(*node) + "|" + (p ? p->id : "-") + "|" +
                   std::to_string(a.Quantity(*node)));
    const auto kids = a.Children(*node);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) pending.push_back(&*it);
  }
  return rows;
}

std::multiset<std::string> Uids(const StepAssembly& a) {
  std::multiset<std::string> uids;
  for (const std::string& row : Rows(a)) uids.insert(row.substr(0, row.find('|')));
  return uids;
}

// The same file as another export would write it: every instance renumbered (references
// included) and the DATA records in reverse order.
std::string Reexport(const std::string& text) {
  const std::size_t data = text.find("DATA;\n") + 6;
  const std::size_t end = text.find("ENDSEC;", data);
  std::vector<std::string> records;
  std::stringstream in(text.substr(data, end - data));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) records.push_back(line);
  }
  std::reverse(records.begin(), records.end());
  std::string body;
  for (const std::string& r : records) body += r + "\n";
  // #n becomes #(7919 * n + 13): the order of the numbers changes too.
  static const std::regex ref("#([0-9]+)");
  std::string out;
  auto from = body.cbegin();
  for (std::sregex_iterator it(body.begin(), body.end(), ref), stop; it != stop; ++it) {
    out.append(from, (*it)[0].first);
    out += "#" + std::to_string(7919 * std::stoull((*it)[1].str()) + 13);
    from = (*it)[0].second;
  }
  out.append(from, body.cend());
  return text.substr(0, data) + out + text.substr(end);
}

TEST(StepAssembly, GearboxExpandsEveryOccurrence) {
  StepAssembly a;
  std::string error;
  ASSERT_TRUE(a.Open(kGearbox, error)) << error;
  EXPECT_EQ(a.SchemaApplication(), "AP214");
  ASSERT_EQ(a.Roots().size(), 1u);
  // Root, 2 shaft assemblies, housing, 4 bolts, 4 parts in each shaft assembly.
  EXPECT_EQ(a.OccurrenceCount(), 16u);
  const std::vector<std::string> rows = Rows(a);
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[0], "GBX-100|Gearbox|GBX-100|1");
  // Exporters that call every usage "Next assembly relationship" keep the name in the
  // description; an unnamed usage falls back to its id.
  EXPECT_EQ(rows[1], "GBX-100/ISA-200:1|Input shaft|ISA-200|1");
  EXPECT_EQ(rows[3], "GBX-100/ISA-200:1/BRG-6204:1|Bearing, drive side|BRG-6204|2");
  EXPECT_EQ(rows[5], "GBX-100/ISA-200:1/GEAR-01:1|GEAR-01:1|GEAR-01|1");
  EXPECT_EQ(rows[8], "GBX-100/OSA-300:1/BRG-6204:1|Bearing, drive side|BRG-6204|2");
  EXPECT_EQ(rows[11], "GBX-100/HSG-400:1|Housing|HSG-400|1");
  EXPECT_EQ(rows[15], "GBX-100/BLT-M8:4|Cover bolt 4|BLT-M8|4");
  // The bearing is one definition placed four times: four nodes, each a part.
  int bearings = 0;
  for (const std::string& row : rows) bearings += row.find("|BRG-6204|") != std::string::npos;
  EXPECT_EQ(bearings, 4);
  const StepOccurrence& gear = a.Children(a.Children(a.Roots()[0])[0])[3];
  ASSERT_NE(a.Product(gear), nullptr);
  EXPECT_EQ(a.Product(gear)->name,
            "Pinion \xD0\xA8\xD0\xB5\xD1\x81\xD1\x82\xD0\xB5\xD1\x80\xD0\xBD\xD1\x8F z=17");
  EXPECT_TRUE(a.IsPart(gear));
  EXPECT_FALSE(a.IsPart(a.Roots()[0]));
}

TEST(StepAssembly, UidsSurviveRenumberingAndReorderedRecords) {
  const std::string original = ReadFile(kGearbox);
  const std::string reexported = Reexport(original);
  ASSERT_NE(original, reexported);
  ASSERT_EQ(reexported.find("#81="), std::string::npos);  // no number kept its place
  StepAssembly a, b;
  std::string error;
  ASSERT_TRUE(a.OpenBuffer(original, error)) << error;
  ASSERT_TRUE(b.OpenBuffer(reexported, error)) << error;
  EXPECT_EQ(Uids(a), Uids(b));
  EXPECT_EQ(Uids(a).size(), 16u);
  // Each uid once: the reader keys entities by it.
  const auto uids = Uids(a);
  EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), uids.size());
}

// The gearbox as other exporters write it: AP203 with plain formations, AP242 with
// definitions that carry documents, and one with a schema name of its own.
TEST(StepAssembly, GearboxReadsAlikeInEverySchema) {
  const std::string ap214 = ReadFile(kGearbox);
  auto replaceAll = [](std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  std::string ap203 =
      replaceAll(ap214, "AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }", "CONFIG_CONTROL_DESIGN");
  ap203 = std::regex_replace(ap203,
                             std::regex("PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE\\(("
                                        "[^;]*),\\.NOT_KNOWN\\.\\)"),
                             "PRODUCT_DEFINITION_FORMATION($1)");
  std::string ap242 =
      replaceAll(ap214, "AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }",
                 "AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442 1 1 4 }");
  ap242 = std::regex_replace(ap242, std::regex("=PRODUCT_DEFINITION\\(('design'[^;]*)\\);"),
                             "=PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS($1,(#3));");
  const std::string other =
      replaceAll(ap214, "AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }", "MY_OWN_PRODUCT_SCHEMA");
  ASSERT_NE(ap203.find("=PRODUCT_DEFINITION_FORMATION('A'"), std::string::npos);
  ASSERT_EQ(ap203.find("SPECIFIED_SOURCE"), std::string::npos);
  ASSERT_NE(ap242.find("PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS('design'"), std::string::npos);

  StepAssembly reference;
  std::string error;
  ASSERT_TRUE(reference.OpenBuffer(ap214, error)) << error;
  const std::pair<const std::string*, const char*> variants[] = {
      {&ap203, "AP203"}, {&ap242, "AP242"}, {&other, "MY_OWN_PRODUCT_SCHEMA"}};
  for (const auto& [text, application] : variants) {
    StepAssembly a;
    ASSERT_TRUE(a.OpenBuffer(*text, error)) << application << ": " << error;
    EXPECT_EQ(a.SchemaApplication(), application);
    EXPECT_EQ(Rows(a), Rows(reference)) << application;
  }
}

TEST(StepAssembly, SiblingsWithOneIdAreNumberedByWhatTheyPlace) {
  // Three usages all called "U" under one parent: two of the bolt, one of the nut.
  const std::string data = Part(10, "ASM", "Assembly") + Part(20, "BOLT", "Bolt") +
                           Part(30, "NUT", "Nut") + Usage(40, "U", 32, 22, "", "nut") +
                           Usage(41, "U", 12, 22, "b", "") + Usage(42, "U", 12, 32, "n", "") +
                           Usage(43, "U", 12, 22, "a", "");
  StepAssembly a, b;
  std::string error;
  ASSERT_TRUE(a.OpenBuffer(Wrap(data), error)) << error;
  ASSERT_TRUE(b.OpenBuffer(Reexport(Wrap(data)), error)) << error;
  const std::multiset<std::string> expected = {"ASM", "ASM/U", "ASM/U~2", "ASM/U~3", "ASM/U~3/U"};
  EXPECT_EQ(Uids(a), expected);
  EXPECT_EQ(Uids(b), expected);
  // The bolts sort before the nut by part number, then by usage name.
  std::map<std::string, std::string> label;
  for (const std::string& row : Rows(a)) label[row.substr(0, row.find('|'))] = row;
  EXPECT_EQ(label["ASM/U"], "ASM/U|a|BOLT|2");
  EXPECT_EQ(label["ASM/U~2"], "ASM/U~2|b|BOLT|2");
  EXPECT_EQ(label["ASM/U~3"], "ASM/U~3|n|NUT|1");
  // Separators inside identifiers cannot make two paths look alike.
  const std::string odd = Part(10, "A/B", "x") + Part(20, "C~2", "y") + Usage(40, "50%/x", 12, 22);
  StepAssembly c;
  ASSERT_TRUE(c.OpenBuffer(Wrap(odd), error)) << error;
  EXPECT_EQ(Uids(c), (std::multiset<std::string>{"A%2FB", "A%2FB/50%25%2Fx"}));
}

TEST(StepAssembly, LabelsSkipUnsetAndBlankTexts) {
  const std::string data = Part(10, "ROOT-ID", "") + Part(20, "P", "Plate") +
                           "#40=NEXT_ASSEMBLY_USAGE_OCCURRENCE('id1','$','   ',#12,#22,$);\n"
                           "#41=NEXT_ASSEMBLY_USAGE_OCCURRENCE('id2',$,'Real name',#12,#22,$);\n"
                           "#42=NEXT_ASSEMBLY_USAGE_OCCURRENCE('','','',#12,#22,$);\n";
  StepAssembly a;
  std::string error;
  ASSERT_TRUE(a.OpenBuffer(Wrap(data), error)) << error;
  ASSERT_EQ(a.Roots().size(), 1u);
  EXPECT_EQ(a.Label(a.Roots()[0]), "ROOT-ID");  // no product name
  const auto kids = a.Children(a.Roots()[0]);
  ASSERT_EQ(kids.size(), 3u);
  EXPECT_EQ(a.Label(kids[0]), "id1");
  EXPECT_EQ(a.Label(kids[1]), "Real name");
  EXPECT_EQ(a.Label(kids[2]), "Plate");  // nothing on the usage: the product's name
  EXPECT_EQ(a.Uid(kids[2]), "ROOT-ID/P");
}

TEST(StepAssembly, RootsAreWhatNoUsagePlaces) {
  std::string error;
  // No usage at all: every part is a root, in file order.
  StepAssembly parts;
  ASSERT_TRUE(parts.OpenBuffer(Wrap(Part(10, "A", "a") + Part(20, "B", "b")), error)) << error;
  ASSERT_EQ(parts.Roots().size(), 2u);
  EXPECT_EQ(parts.Label(parts.Roots()[1]), "b");
  EXPECT_TRUE(parts.IsPart(parts.Roots()[0]));
  // Two unrelated products with one part in common: two roots, the part under both.
  StepAssembly two;
  ASSERT_TRUE(two.OpenBuffer(Wrap(Part(10, "A", "a") + Part(20, "B", "b") + Part(30, "C", "c") +
                                  Usage(40, "1", 12, 32) + Usage(41, "1", 22, 32)),
                             error))
      << error;
  EXPECT_EQ(Uids(two), (std::multiset<std::string>{"A", "A/1", "B", "B/1"}));
  // Two roots with one part number are told apart by their content.
  StepAssembly same;
  ASSERT_TRUE(same.OpenBuffer(Wrap(Part(20, "A", "zeta") + Part(10, "A", "alpha")), error));
  EXPECT_EQ(same.Uid(same.Roots()[0]), "A~2");  // "zeta", first in the file
  EXPECT_EQ(same.Uid(same.Roots()[1]), "A");
}

TEST(StepAssembly, CyclesAreCutAndDanglingUsagesSkipped) {
  std::string error;
  // R uses A, A uses B, B uses A again.
  const std::string cycle = Part(10, "R", "r") + Part(20, "A", "a") + Part(30, "B", "b") +
                            Usage(40, "ra", 12, 22) + Usage(41, "ab", 22, 32) +
                            Usage(42, "ba", 32, 22);
  StepAssembly a;
  ASSERT_TRUE(a.OpenBuffer(Wrap(cycle), error)) << error;
  EXPECT_EQ(Uids(a), (std::multiset<std::string>{"R", "R/ra", "R/ra/ab"}));
  EXPECT_EQ(a.CutUsages(), 1u);
  // A cycle nothing reaches still shows up: its first member by part number is a root.
  StepAssembly island;
  ASSERT_TRUE(island.OpenBuffer(Wrap(Part(10, "Y", "y") + Part(20, "X", "x") +
                                     Usage(40, "yx", 12, 22) + Usage(41, "xy", 22, 12)),
                                error))
      << error;
  EXPECT_EQ(Uids(island), (std::multiset<std::string>{"X", "X/xy"}));
  // A self-use and usages that point at a product, or at nothing.
  StepAssembly dangling;
  ASSERT_TRUE(dangling.OpenBuffer(
      Wrap(Part(10, "A", "a") + Part(20, "B", "b") + Usage(40, "self", 12, 12) +
           Usage(41, "prod", 12, 20) + Usage(42, "none", 12, 500) + Usage(43, "ok", 12, 22)),
      error))
      << error;
  EXPECT_EQ(Uids(dangling), (std::multiset<std::string>{"A", "A/ok"}));
  EXPECT_EQ(dangling.SkippedUsages(), 2u);
  EXPECT_EQ(dangling.CutUsages(), 1u);
  EXPECT_EQ(dangling.Notes(), "2 usages skipped (ends are not product definitions), 1 cycle cut");
}

TEST(StepAssembly, ComplexRecordsReadAsTheirSimpleCounterparts) {
  std::string error;
  const std::string simple = Part(10, "TOP", "Top") + Part(20, "BOLT", "Bolt") +
                             Usage(30, "u1", 12, 22, "", "left") +
                             Usage(31, "u2", 12, 22, "", "right");
  // The same structure, its product records written as complex instances: attributes in the
  // part that declares them (alphabetical parts), or all in the leaf part as some writers do;
  // the product part first, or after parts of other types.
  const std::string complex =
      "#10=(PRODUCT('TOP','Top','',(#999))TAGGED_PRODUCT('x'));\n"
      "#11=(APPROVED_ITEM()PRODUCT_DEFINITION_FORMATION('','',#10)"
      "PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE(.MADE.));\n"
      "#12=(CHARACTERIZED_OBJECT('c',$)PRODUCT_DEFINITION('design','',#11,#998)"
      "PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS((#997)));\n"
      "#20=(CLASSIFIED_ITEM()PRODUCT('BOLT','Bolt','',(#999)));\n"
      "#21=PRODUCT_DEFINITION_FORMATION('','',#20);\n#22=PRODUCT_DEFINITION('design','',#21,#998);"
      "\n"
      // Geometry written as complex instances: not a product, not counted as unread.
      "#40=(BOUNDED_CURVE()B_SPLINE_CURVE(2,(#41,#42),.UNSPECIFIED.,.F.,.F.)CURVE()"
      "GEOMETRIC_REPRESENTATION_ITEM()REPRESENTATION_ITEM('PRODUCT'));\n"
      "#41=CARTESIAN_POINT('',(0.,0.,0.));\n#42=CARTESIAN_POINT('',(1.,0.,0.));\n"
      "#30=(ASSEMBLY_COMPONENT_USAGE('A1')NEXT_ASSEMBLY_USAGE_OCCURRENCE()"
      "PRODUCT_DEFINITION_RELATIONSHIP('u1','','left',#12,#22)PRODUCT_DEFINITION_USAGE());\n"
      "#31=(NEXT_ASSEMBLY_USAGE_OCCURRENCE('u2','','right',#12,#22,$)"
      "QUANTIFIED_ASSEMBLY_COMPONENT_USAGE(#5));\n"
      // Another kind of usage: not a NAUO, left out without a word.
      "#32=(ASSEMBLY_COMPONENT_USAGE($)PRODUCT_DEFINITION_RELATIONSHIP('p','','',#12,#22)"
      "PRODUCT_DEFINITION_USAGE()PROMISSORY_USAGE_OCCURRENCE());\n"
      // A usage whose attributes are nowhere: counted, not guessed.
      "#33=(ASSEMBLY_COMPONENT_USAGE($)NEXT_ASSEMBLY_USAGE_OCCURRENCE());\n";
  StepAssembly expected, a;
  ASSERT_TRUE(expected.OpenBuffer(Wrap(simple), error)) << error;
  ASSERT_TRUE(a.OpenBuffer(Wrap(complex), error)) << error;
  EXPECT_EQ(Rows(a), Rows(expected));
  EXPECT_EQ(Rows(a), (std::vector<std::string>{"TOP|Top|TOP|1", "TOP/u1|left|BOLT|2",
                                               "TOP/u2|right|BOLT|2"}));
  EXPECT_EQ(a.Usage(a.Children(a.Roots()[0])[0])->designator, "A1");
  EXPECT_EQ(a.UnreadComplex(), 1u);
  EXPECT_EQ(expected.UnreadComplex(), 0u);
  // Opened again, the object keeps nothing of the first file.
  ASSERT_TRUE(a.OpenBuffer(Wrap(simple), error)) << error;
  EXPECT_EQ(Rows(a), Rows(expected));
  EXPECT_EQ(a.UnreadComplex(), 0u);
}

TEST(StepAssembly, RepeatedInstanceNumbersAreCountedInAnyOrder) {
  // #12 is a definition twice; #20 is a product and a usage.
  const std::string plain = Part(10, "A", "a") + Part(20, "B", "b") + Usage(30, "ab", 12, 22);
  const std::string repeated = plain + "#12=PRODUCT_DEFINITION('again','',#11,#998);\n" +
                               "#20=NEXT_ASSEMBLY_USAGE_OCCURRENCE('x','','',#12,#22,$);\n";
  std::string error;
  StepAssembly plainAssembly, a, reversed;
  ASSERT_TRUE(plainAssembly.OpenBuffer(Wrap(plain), error)) << error;
  ASSERT_TRUE(a.OpenBuffer(Wrap(repeated), error)) << error;
  EXPECT_EQ(plainAssembly.DuplicateInstances(), 0u);
  EXPECT_EQ(a.DuplicateInstances(), 2u);
  // References reach the first #12; the second is placed by nothing and stands as a root.
  const auto roots = a.Roots();
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(a.Definition(roots[0]).id, "design");
  EXPECT_EQ(a.Children(roots[0]).size(), 2u);
  EXPECT_EQ(a.Definition(roots[1]).id, "again");
  EXPECT_EQ(a.Children(roots[1]).size(), 0u);
  // Numbers out of order in the file are found as well.
  ASSERT_TRUE(reversed.OpenBuffer(Reexport(Wrap(repeated)), error)) << error;
  EXPECT_EQ(reversed.DuplicateInstances(), 2u);
}

// A chain of `levels` definitions, each using the next twice: 2^levels - 1 occurrences from
// 2 * levels records of usage.
std::string Doubling(int levels) {
  std::string data;
  for (int i = 0; i < levels; ++i) data += Part(10 * (i + 1), "P" + std::to_string(i), "");
  for (int i = 0; i + 1 < levels; ++i) {
    const int parent = 10 * (i + 1) + 2;
    data += Usage(1000 + 2 * i, "L", parent, parent + 10);
    data += Usage(1001 + 2 * i, "R", parent, parent + 10);
  }
  return Wrap(data);
}

TEST(StepAssembly, ExpansionBeyondTheLimitFailsBeforeBuilding) {
  std::string error;
  StepAssemblyOptions options;
  options.maxOccurrences = 1023;
  StepAssembly exact;
  ASSERT_TRUE(exact.OpenBuffer(Doubling(10), error, options)) << error;
  EXPECT_EQ(exact.OccurrenceCount(), 1023u);
  options.maxOccurrences = 1022;
  StepAssembly over;
  EXPECT_FALSE(over.OpenBuffer(Doubling(10), error, options));
  EXPECT_NE(error.find("more than 1022 occurrences"), std::string::npos) << error;
  // 60 levels would be 2^60 nodes: the count saturates instead of overflowing.
  StepAssembly huge;
  EXPECT_FALSE(huge.OpenBuffer(Doubling(60), error));
  EXPECT_NE(error.find("more than 10000000"), std::string::npos) << error;
}

TEST(StepAssembly, SchemasAreRecognisedWithoutCase) {
  const std::string data = Part(10, "A", "a");
  const std::pair<const char*, const char*> cases[] = {
      {"CONFIG_CONTROL_DESIGN", "AP203"},
      {"automotive_design { 1 0 10303 214 3 1 1 }", "AP214"},
      {"AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442 1 1 4 }", "AP242"},
      {"AP203_CONFIGURATION_CONTROLLED_3D_DESIGN_OF_MECHANICAL_PARTS_AND_ASSEMBLIES_MIM_LF",
       "AP203"},
      {"STRUCTURAL_FRAME_SCHEMA", "STRUCTURAL_FRAME_SCHEMA"}};
  for (const auto& [schema, application] : cases) {
    StepAssembly a;
    std::string error;
    ASSERT_TRUE(a.OpenBuffer(Wrap(data, schema), error)) << schema << ": " << error;
    EXPECT_EQ(a.SchemaApplication(), application) << schema;
    EXPECT_EQ(a.OccurrenceCount(), 1u);
  }
  StepAssembly none;
  std::string error;
  EXPECT_FALSE(none.OpenBuffer(Wrap("#1=CARTESIAN_POINT('',(0.,0.,0.));\n", "IFC4"), error));
  EXPECT_EQ(error, "no product structure in the file: it has no PRODUCT_DEFINITION (schema IFC4)");
  EXPECT_FALSE(none.OpenBuffer("ISO-10303-21;\nHEADER;\n", error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(StepAssembly, BytesThatAreNotUtf8ReadInTheCodePage) {
  // "Вал" (shaft) in windows-1251, beside a name already in UTF-8 and one in \X2\.
  const std::string data =
      "#10=PRODUCT('S','\xC2\xE0\xEB','\xD0\x92\xD0\xB0\xD0\xBB',(#9));\n"
      "#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
      "#12=PRODUCT_DEFINITION('','\\X2\\0412\\X0\\',#11,#9);\n";
  std::string error;
  StepAssemblyOptions cyrillic;
  cyrillic.codePage = "windows-1251";
  StepAssembly a;
  ASSERT_TRUE(a.OpenBuffer(Wrap(data), error, cyrillic)) << error;
  const step::StepProduct* p = a.Product(a.Roots()[0]);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "\xD0\x92\xD0\xB0\xD0\xBB");
  EXPECT_EQ(p->description, "\xD0\x92\xD0\xB0\xD0\xBB");
  EXPECT_EQ(a.Definition(a.Roots()[0]).description, "\xD0\x92");
  // Without a page the same bytes are Latin-1.
  StepAssembly latin;
  ASSERT_TRUE(latin.OpenBuffer(Wrap(data), error)) << error;
  EXPECT_EQ(latin.Product(latin.Roots()[0])->name, "\xC3\x82\xC3\xA0\xC3\xAB");
  StepAssemblyOptions unknown;
  unknown.codePage = "no-such-page";
  StepAssembly bad;
  EXPECT_FALSE(bad.OpenBuffer(Wrap(data), error, unknown));
  EXPECT_NE(error.find("no-such-page"), std::string::npos);
}

TEST(StepAssembly, MultiByteCodePagesKeepTheirAsciiSecondBytes) {
  // "表ソア" in Shift-JIS: 95 5C, 83 5C, 83 41. Two second bytes are backslashes, one a
  // letter; an escape and a doubled apostrophe follow, and must still read as STEP text.
  const std::string data =
      "#10=PRODUCT('J','\x95\x5C\x83\x5C\x83\x41 \\X2\\00E9\\X0\\''x','\x83\x5C',(#9));\n"
      "#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
      "#12=PRODUCT_DEFINITION('','',#11,#9);\n";
  const std::string expected = "\xE8\xA1\xA8\xE3\x82\xBD\xE3\x82\xA2 \xC3\xA9'x";
  for (const char* page : {"Shift_JIS", "CP932"}) {
    StepAssemblyOptions options;
    options.codePage = page;
    StepAssembly a;
    std::string error;
    ASSERT_TRUE(a.OpenBuffer(Wrap(data), error, options)) << page << ": " << error;
    const step::StepProduct* p = a.Product(a.Roots()[0]);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->name, expected) << page;
    EXPECT_EQ(p->description, "\xE3\x82\xBD") << page;
  }
  // A lead byte cut by the end of the string reads as one replacement character.
  StepAssemblyOptions sjis;
  sjis.codePage = "Shift_JIS";
  StepAssembly cut;
  std::string error;
  ASSERT_TRUE(cut.OpenBuffer(Wrap("#10=PRODUCT('J','a\x83','',(#9));\n"
                                  "#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
                                  "#12=PRODUCT_DEFINITION('','',#11,#9);\n"),
                             error, sjis))
      << error;
  EXPECT_EQ(cut.Product(cut.Roots()[0])->name, "a\xEF\xBF\xBD");
}

TEST(StepAssembly, StatefulCodePagesConvertEachShiftedStretchWhole) {
  // "表ぇ" in ISO-2022-JP: ESC $ B, 49 3D, 24 27, ESC ( B. Every byte is ASCII, the 27 an
  // apostrophe the writer doubled; STEP text follows the shift back. The description never
  // shifts back.
  const std::string data =
      "#10=PRODUCT('J','\x1B$BI=$''\x1B(B \\X2\\00E9\\X0\\x','\x1B$B%=',(#9));\n"
      "#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
      "#12=PRODUCT_DEFINITION('','',#11,#9);\n";
  StepAssemblyOptions options;
  options.codePage = "ISO-2022-JP";
  StepAssembly a;
  std::string error;
  ASSERT_TRUE(a.OpenBuffer(Wrap(data), error, options)) << error;
  const step::StepProduct* p = a.Product(a.Roots()[0]);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "\xE8\xA1\xA8\xE3\x81\x87 \xC3\xA9x");
  EXPECT_EQ(p->description, "\xE3\x82\xBD");
}

// Enough usages that a split near the middle lands among them.
// Every third usage is written as a complex instance and every seventh such one has lost its
// attributes, so complex records fall on both sides of the split.
std::string Wide(int parts) {
  std::string data = Part(10, "TOP", "Top");
  for (int i = 0; i < parts; ++i) {
    const int base = 100 + 10 * i;
    const std::string n = std::to_string(i);
    data += Part(base, "P" + n, "Part " + n);
    if (i % 21 == 0) {
      data += "#" + std::to_string(base + 3) +
              "=(ASSEMBLY_COMPONENT_USAGE($)NEXT_ASSEMBLY_USAGE_OCCURRENCE());\n";
    } else if (i % 3 == 0) {
      data += "#" + std::to_string(base + 3) +
              "=(ASSEMBLY_COMPONENT_USAGE($)NEXT_ASSEMBLY_USAGE_OCCURRENCE()"
              "PRODUCT_DEFINITION_RELATIONSHIP('U" +
              n + "','','use " + n + "',#12,#" + std::to_string(base + 2) +
              ")PRODUCT_DEFINITION_USAGE());\n";
    } else {
      data += Usage(base + 3, "U" + n, 12, base + 2, "", "use " + n);
    }
    data += "#" + std::to_string(base + 4) + "=CARTESIAN_POINT('',(1.,2.,3.));\n";
  }
  return Wrap(data);
}

TEST(StepAssembly, TwoThreadIndexGivesTheSameTree) {
  const std::string text = Wide(3000);
  StepAssemblyOptions one;
  one.splitFrom = 0;
  StepAssemblyOptions two;
  two.splitFrom = 1;  // split whatever the size
  StepAssembly a, b;
  std::string error;
  ASSERT_TRUE(a.OpenBuffer(text, error, one)) << error;
  ASSERT_TRUE(b.OpenBuffer(text, error, two)) << error;
  // 143 usages lost their attributes: their parts stand as roots instead.
  EXPECT_EQ(a.OccurrenceCount(), 3001u);
  EXPECT_EQ(a.Roots().size(), 144u);
  EXPECT_EQ(a.UnreadComplex(), 143u);
  EXPECT_EQ(b.UnreadComplex(), 143u);
  EXPECT_EQ(Rows(a), Rows(b));
}

}  // namespace
