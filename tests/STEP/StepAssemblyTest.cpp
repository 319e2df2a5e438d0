// StepAssemblyTest.cpp - the product structure read from STEP text: expansion per occurrence,
// labels, uids that survive a re-export, and what bad structures become.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "StepAssembly.h"
#include "StepReexport.h"

namespace {

using step::StepAssembly;
using step::StepAssemblyOptions;
using step::StepOccurrence;

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
void AddRows(const StepAssembly& a, std::span<const StepOccurrence> nodes,
             std::vector<std::string>& rows) {
  for (const StepOccurrence& node : nodes) {
    const step::StepProduct* p = a.Product(node);
    rows.push_back(a.Uid(node) + "|" + a.Label(node) + "|" + (p ? p->id : "-") + "|" +
                   std::to_string(a.Quantity(node)));
    AddRows(a, a.Children(node), rows);
  }
}
std::vector<std::string> Rows(const StepAssembly& a) {
  std::vector<std::string> rows;
  AddRows(a, a.Roots(), rows);
  return rows;
}

std::multiset<std::string> Uids(const StepAssembly& a) {
  std::multiset<std::string> uids;
  for (const std::string& row : Rows(a)) uids.insert(row.substr(0, row.find('|')));
  return uids;
}

// Crafted structures and every row they give ("uid|label|part number|quantity", depth first),
// the same after a re-export; with what was skipped and cut.
TEST(StepAssembly, StructuresOfCraftedFiles) {
  struct Case {
    const char* what;
    std::string data;
    std::vector<std::string> rows;
    std::string notes;
  };
  const Case cases[] = {
      {"siblings with one id are numbered by part number, then usage name; rows stay in file order",
       Part(10, "ASM", "Assembly") + Part(20, "BOLT", "Bolt") + Part(30, "NUT", "Nut") +
           Usage(40, "U", 32, 22, "", "nut") + Usage(41, "U", 12, 22, "b", "") +
           Usage(42, "U", 12, 32, "n", "") + Usage(43, "U", 12, 22, "a", ""),
       {"ASM|Assembly|ASM|1", "ASM/U~2|b|BOLT|2", "ASM/U~3|n|NUT|1", "ASM/U~3/U|nut|BOLT|1",
        "ASM/U|a|BOLT|2"},
       ""},
      {"separators inside identifiers cannot make two paths look alike",
       Part(10, "A/B", "x") + Part(20, "C~2", "y") + Usage(40, "50%/x", 12, 22),
       {"A%2FB|x|A/B|1", "A%2FB/50%25%2Fx|50%/x|C~2|1"},
       ""},
      {"labels skip unset and blank texts; a root without a name shows its id",
       Part(10, "ROOT-ID", "") + Part(20, "P", "Plate") +
           "#40=NEXT_ASSEMBLY_USAGE_OCCURRENCE('id1','$','   ',#12,#22,$);\n"
           "#41=NEXT_ASSEMBLY_USAGE_OCCURRENCE('id2',$,'Real name',#12,#22,$);\n"
           "#42=NEXT_ASSEMBLY_USAGE_OCCURRENCE('','','',#12,#22,$);\n",
       {"ROOT-ID|ROOT-ID|ROOT-ID|1", "ROOT-ID/id1|id1|P|3", "ROOT-ID/id2|Real name|P|3",
        "ROOT-ID/P|Plate|P|3"},
       ""},
      {"two unrelated products share a part",
       Part(10, "A", "a") + Part(20, "B", "b") + Part(30, "C", "c") + Usage(40, "1", 12, 32) +
           Usage(41, "1", 22, 32),
       {"A|a|A|1", "A/1|1|C|1", "B|b|B|1", "B/1|1|C|1"},
       ""},
      {"without usages every part is a root in file order, one part number told apart by content",
       Part(20, "A", "zeta") + Part(10, "A", "alpha") + Part(30, "B", "b"),
       {"A~2|zeta|A|1", "A|alpha|A|1", "B|b|B|1"},
       ""},
      {"formations and definitions of the subtypes other exporters write",
       "#10=PRODUCT('A','a','',(#9));\n"
       "#11=PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE('','',#10,.NOT_KNOWN.);\n"
       "#12=PRODUCT_DEFINITION_WITH_ASSOCIATED_DOCUMENTS('design','',#11,#9,(#3));\n" +
           Part(20, "B", "b") + Usage(40, "ab", 12, 22),
       {"A|a|A|1", "A/ab|ab|B|1"},
       ""},
      {"a cycle is cut where it closes",
       Part(10, "R", "r") + Part(20, "A", "a") + Part(30, "B", "b") + Usage(40, "ra", 12, 22) +
           Usage(41, "ab", 22, 32) + Usage(42, "ba", 32, 22),
       {"R|r|R|1", "R/ra|ra|A|1", "R/ra/ab|ab|B|1"},
       "1 cycle cut"},
      {"a cycle nothing reaches shows from its first member by part number",
       Part(10, "Y", "y") + Part(20, "X", "x") + Usage(40, "yx", 12, 22) + Usage(41, "xy", 22, 12),
       {"X|x|X|1", "X/xy|xy|Y|1"},
       "1 cycle cut"},
      {"a self-use, and usages that point at a product or at nothing",
       Part(10, "A", "a") + Part(20, "B", "b") + Usage(40, "self", 12, 12) +
           Usage(41, "prod", 12, 20) + Usage(42, "none", 12, 500) + Usage(43, "ok", 12, 22),
       {"A|a|A|1", "A/ok|ok|B|1"},
       "2 usages skipped (ends are not product definitions), 1 cycle cut"},
  };
  for (const Case& c : cases) {
    StepAssembly a, b;
    std::string error;
    ASSERT_TRUE(a.OpenBuffer(Wrap(c.data), error)) << c.what << ": " << error;
    ASSERT_TRUE(b.OpenBuffer(steptest::Reexport(Wrap(c.data)), error)) << c.what << ": " << error;
    EXPECT_EQ(Rows(a), c.rows) << c.what;
    EXPECT_EQ(Uids(b), Uids(a)) << c.what;
    EXPECT_EQ(a.Notes(), c.notes) << c.what;
  }
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
}

// A product's name and description read in the code page the user names: single-byte,
// multi-byte pages whose second bytes may be '\\' or a letter, and stateful ones whose
// shifted stretches are converted whole. UTF-8 and escapes keep their meaning.
TEST(StepAssembly, CodePages) {
  struct Case {
    const char* page;  // "": none, Latin-1
    std::string name, description, expectedName, expectedDescription;
  };
  const Case cases[] = {
      // "Вал" (shaft) in windows-1251, beside the same in UTF-8.
      {"windows-1251", "\xC2\xE0\xEB", "\xD0\x92\xD0\xB0\xD0\xBB", "\xD0\x92\xD0\xB0\xD0\xBB",
       "\xD0\x92\xD0\xB0\xD0\xBB"},
      // "表ソア" in Shift-JIS: 95 5C, 83 5C, 83 41, then an escape and a doubled apostrophe.
      {"Shift_JIS", "\x95\x5C\x83\x5C\x83\x41 \\X2\\00E9\\X0\\''x", "\x83\x5C",
       "\xE8\xA1\xA8\xE3\x82\xBD\xE3\x82\xA2 \xC3\xA9'x", "\xE3\x82\xBD"},
      // A lead byte cut by the end of the string: one replacement character.
      {"Shift_JIS", "a\x83", "", "a\xEF\xBF\xBD", ""},
      // "表ぇ" in ISO-2022-JP: ESC $ B, 49 3D, 24 27 (an apostrophe the writer doubled),
      // ESC ( B; the description never shifts back.
      {"ISO-2022-JP", "\x1B$BI=$''\x1B(B \\X2\\00E9\\X0\\x",
       "\x1B$B%=", "\xE8\xA1\xA8\xE3\x81\x87 \xC3\xA9x", "\xE3\x82\xBD"},
  };
  for (const Case& c : cases) {
    StepAssemblyOptions options;
    options.codePage = c.page;
    StepAssembly a;
    std::string error;
    ASSERT_TRUE(a.OpenBuffer(Wrap("#10=PRODUCT('J','" + c.name + "','" + c.description +
                                  "',(#9));\n#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
                                  "#12=PRODUCT_DEFINITION('','',#11,#9);\n"),
                             error, options))
        << c.page << ": " << error;
    const step::StepProduct* p = a.Product(a.Roots()[0]);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->name, c.expectedName) << c.page;
    EXPECT_EQ(p->description, c.expectedDescription) << c.page;
  }
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
  // A product number taken again, counted whichever half reads it.
  return Wrap(data + "#100=PRODUCT('again','','',(#9));\n");
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
  EXPECT_EQ(b.DuplicateInstances(), 1u);
  EXPECT_EQ(Rows(a), Rows(b));
}

}  // namespace
