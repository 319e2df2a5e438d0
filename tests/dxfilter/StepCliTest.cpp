// StepCliTest.cpp - dxfilter on STEP assemblies: the options that reach the STEP provider
// through the environment, and the notes the providers leave, as a user sees them.
#include "DxfilterFixture.h"

namespace dxtest {
namespace {

using DxfilterStep = DxfilterTest;

TEST_F(DxfilterStep, RemovedPartNumberIsNotImportedAnywhere) {
  ASSERT_EQ(Run({"generate", "STEP", kGearbox, "--remove", "BRG-6204", "-o", "g.json"}).code, 0);
  const Result rows = Run({"resolve", "g.json", "--where", "ImportMode=NoImport"});
  ASSERT_EQ(rows.code, 0) << rows.err;
  std::size_t count = 0;
  for (std::size_t at = rows.out.find("BRG-6204:"); at != std::string::npos;
       at = rows.out.find("BRG-6204:", at + 1))
    ++count;
  EXPECT_EQ(count, 4u) << rows.out;  // two bearings in each shaft assembly
  EXPECT_EQ(rows.out.find("BLT-M8"), std::string::npos);
}

TEST_F(DxfilterStep, LimitAndCodePageOptions) {
  Result over = Run({"generate", "STEP", kGearbox, "--max-occurrences", "15", "-o", "g.json"});
  EXPECT_EQ(over.code, 1);
  EXPECT_NE(over.err.find("more than 15 occurrences"), std::string::npos) << over.err;
  EXPECT_FALSE(Exists("g.json"));  // no half-written document
  EXPECT_EQ(Run({"generate", "STEP", kGearbox, "--max-occurrences", "0", "-o", "g.json"}).code, 2);

  // A name in windows-1251, unreadable without the page.
  Write("cp.stp",
        "ISO-10303-21;HEADER;FILE_SCHEMA(('CONFIG_CONTROL_DESIGN'));ENDSEC;DATA;\n"
        "#1=PRODUCT('P1','\xC2\xE0\xEB','',(#9));#2=PRODUCT_DEFINITION_FORMATION('','',#1);\n"
        "#3=PRODUCT_DEFINITION('','',#2,#9);ENDSEC;END-ISO-10303-21;\n");
  ASSERT_EQ(
      Run({"generate", "STEP", "cp.stp", "--code-page", "windows-1251", "-o", "cp.json"}).code, 0);
  EXPECT_NE(Read("cp.json").find("\"label\":\"\xD0\x92\xD0\xB0\xD0\xBB\""), std::string::npos);
  const Result unknown =
      Run({"generate", "STEP", "cp.stp", "--code-page", "klingon", "-o", "cp2.json"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("unknown code page 'klingon'"), std::string::npos) << unknown.err;
}

TEST_F(DxfilterStep, WhatWasLeftOutIsNotedOnce) {
  // A uses B, B uses A back (a cycle), A uses a product instead of a definition, and #3 is
  // defined twice.
  Write("bad.stp",
        "ISO-10303-21;HEADER;FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));ENDSEC;DATA;\n"
        "#1=PRODUCT('A','a','',(#9));#2=PRODUCT_DEFINITION_FORMATION('','',#1);\n"
        "#3=PRODUCT_DEFINITION('','',#2,#9);#3=PRODUCT_DEFINITION('','',#2,#9);\n"
        "#11=PRODUCT('B','b','',(#9));#12=PRODUCT_DEFINITION_FORMATION('','',#11);\n"
        "#13=PRODUCT_DEFINITION('','',#12,#9);\n"
        "#20=NEXT_ASSEMBLY_USAGE_OCCURRENCE('ab','','',#3,#13,$);\n"
        "#21=NEXT_ASSEMBLY_USAGE_OCCURRENCE('ba','','',#13,#3,$);\n"
        "#22=NEXT_ASSEMBLY_USAGE_OCCURRENCE('ap','','',#3,#11,$);\n"
        "ENDSEC;END-ISO-10303-21;\n");
  const Result bad = Run({"generate", "STEP", "bad.stp", "-o", "bad.json"});
  ASSERT_EQ(bad.code, 0) << bad.err;
  EXPECT_NE(bad.err.find("dxfilter: note: 1 usage skipped (ends are not product definitions), "
                         "1 cycle cut, 1 record reuses an instance number (the first is used)\n"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(bad.err.find("note:"), bad.err.rfind("note:")) << bad.err;
  const Result clean = Run({"generate", "STEP", kGearbox, "-o", "g.json"});
  ASSERT_EQ(clean.code, 0) << clean.err;
  EXPECT_EQ(clean.err.find("note:"), std::string::npos) << clean.err;

  // The same reader under IFC: two records that take #1 and #2 again.
  std::string house = Slurp(kHouse);
  const std::size_t end = house.rfind("ENDSEC;");
  ASSERT_NE(end, std::string::npos);
  house.insert(end, "#1=IFCPERSON($,'Again',$,$,$,$,$,$);\n#2=IFCORGANIZATION($,'x',$,$,$);\n");
  Write("twice.ifc", house);
  const Result twice = Run({"generate", "IFC", "twice.ifc", "-o", "twice.json"});
  ASSERT_EQ(twice.code, 0) << twice.err;
  EXPECT_NE(twice.err.find("dxfilter: note: 2 records reuse an instance number (the first is "
                           "used)\n"),
            std::string::npos)
      << twice.err;
}

}  // namespace
}  // namespace dxtest
