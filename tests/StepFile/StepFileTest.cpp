// The file level: header, instance index, sections and the errors a damaged file gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "StepFile.h"

namespace {

using step::StepEntry;
using step::StepFile;
using step::StepParameters;

std::string Wrap(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;\nHEADER;\n"
         "FILE_DESCRIPTION(('ViewDefinition [CoordinationView]','Option [x]'),'2;1');\n"
         "FILE_NAME('a.ifc','2024-01-01T00:00:00',('Team','Second'),('Studio'),'pre 1.0',"
         "'writer 2.0','none');\n"
         "FILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Opens from an exactly sized heap copy so the sanitizer sees any read past the end.
bool OpenExact(StepFile& file, std::vector<char>& storage, const std::string& text,
               std::string& error) {
  storage.assign(text.begin(), text.end());
  return file.OpenBuffer(std::string_view(storage.data(), storage.size()), error);
}

std::string TypeOf(const StepFile& file, uint64_t id) {
  const StepEntry* e = file.Find(id);
  return e == nullptr ? "<none>" : std::string(file.TypeName(*e));
}

TEST(StepFile, ReadsHeader) {
  StepFile file;
  std::string error;
  const std::string text = Wrap("", "ifc2x3");
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  const auto& h = file.Header();
  EXPECT_EQ(h.description,
            (std::vector<std::string>{"ViewDefinition [CoordinationView]", "Option [x]"}));
  EXPECT_EQ(h.implementationLevel, "2;1");
  EXPECT_EQ(h.name, "a.ifc");
  EXPECT_EQ(h.timeStamp, "2024-01-01T00:00:00");
  EXPECT_EQ(h.author, (std::vector<std::string>{"Team", "Second"}));
  EXPECT_EQ(h.organization, (std::vector<std::string>{"Studio"}));
  EXPECT_EQ(h.preprocessorVersion, "pre 1.0");
  EXPECT_EQ(h.originatingSystem, "writer 2.0");
  EXPECT_EQ(h.authorization, "none");
  EXPECT_EQ(h.schemas, (std::vector<std::string>{"ifc2x3"}));
  EXPECT_EQ(file.Schema(), "IFC2X3");
  EXPECT_TRUE(file.Entries().empty());
}

TEST(StepFile, HeaderStringsAreDecoded) {
  StepFile file;
  std::string error;
  const std::string text =
      "ISO-10303-21;HEADER;FILE_DESCRIPTION((''),'2;1');"
      "FILE_NAME('Stra\\X\\DFe \\X2\\00C4\\X0\\','',(''),(''),'','','');"
      "FILE_SCHEMA(('IFC4'));ENDSEC;DATA;ENDSEC;END-ISO-10303-21;";
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  EXPECT_EQ(file.Header().name,
            "Stra\xC3\x9F"
            "e \xC3\x84");
}

TEST(StepFile, IndexesInstancesWithoutDecodingThem) {
  const std::string text = Wrap(
      "#1=IFCPERSON($,'Doe',$,$,$,$,$,$);\n"
      "/* a comment with #2=FAKE(); inside */\n"
      "#2 = IFCLABELHOLDER ( 'semi;colon', 'it''s;' ) ;\n"
      "#3=\nIFCCARTESIANPOINT((0.,0.,/* inline */0.));\n"
      "  #10=ifcwall('x',$,'lower-case keyword');\n"
      "#4=IFCTEXT('/* not a comment */');#5=IFCBINARY(\"0AF\");\n");
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  ASSERT_EQ(file.Entries().size(), 6u);
  EXPECT_EQ(TypeOf(file, 1), "IFCPERSON");
  EXPECT_EQ(TypeOf(file, 2), "IFCLABELHOLDER");
  EXPECT_EQ(TypeOf(file, 3), "IFCCARTESIANPOINT");
  EXPECT_EQ(TypeOf(file, 10), "IFCWALL");
  EXPECT_EQ(TypeOf(file, 4), "IFCTEXT");
  EXPECT_EQ(TypeOf(file, 5), "IFCBINARY");
  EXPECT_EQ(TypeOf(file, 6), "<none>");

  // Entries keep file order, and the body runs from '(' to just before ';'.
  EXPECT_EQ(file.Entries()[3].id, 10u);
  EXPECT_EQ(file.Body(*file.Find(2)), "( 'semi;colon', 'it''s;' ) ");

  StepParameters params;
  ASSERT_TRUE(file.Decode(*file.Find(2), params));
  EXPECT_EQ(params.DecodedString(0), "semi;colon");
  EXPECT_EQ(params.DecodedString(1), "it's;");
  ASSERT_TRUE(file.Decode(*file.Find(4), params));
  EXPECT_EQ(params.DecodedString(0), "/* not a comment */");
}

TEST(StepFile, ComplexInstances) {
  const std::string text = Wrap(
      "#1=(IFCREPRESENTATIONITEM()IFCGEOMETRICREPRESENTATIONITEM()IFCSOLIDMODEL());\n"
      "#2=( IFCA(1) IFCB('x') );\n#3=IFCWALL();\n");
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  const StepEntry* e = file.Find(1);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->complex);
  EXPECT_EQ(file.TypeName(*e), "IFCREPRESENTATIONITEM");
  EXPECT_FALSE(file.Find(3)->complex);

  StepParameters params;
  ASSERT_TRUE(file.Decode(*file.Find(2), params));
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[1].text, "IFCB");
}

TEST(StepFile, SparseAndRepeatedInstanceNumbers) {
  const std::string text = Wrap(
      "#4000000000=IFCBIG();\n#7=IFCFIRST();\n#5=IFCSMALL();\n#7=IFCSECOND();\n"
      "#123456789=IFCMID();\n");
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  EXPECT_EQ(TypeOf(file, 4000000000u), "IFCBIG");
  EXPECT_EQ(TypeOf(file, 123456789), "IFCMID");
  EXPECT_EQ(TypeOf(file, 5), "IFCSMALL");
  EXPECT_EQ(TypeOf(file, 7), "IFCFIRST");
  EXPECT_EQ(TypeOf(file, 6), "<none>");
  EXPECT_EQ(TypeOf(file, 4000000001u), "<none>");
  EXPECT_EQ(TypeOf(file, 0), "<none>");
  EXPECT_EQ(file.DuplicateIds(), 1u);

  // Dense numbering, repeated number: the first still wins, and the repeats are counted.
  const std::string dense = Wrap("#1=IFCA();\n#2=IFCB();\n#2=IFCC();\n#3=IFCD();\n#2=IFCE();\n");
  ASSERT_TRUE(file.OpenBuffer(dense, error)) << error;
  EXPECT_EQ(TypeOf(file, 2), "IFCB");
  EXPECT_EQ(TypeOf(file, 3), "IFCD");
  EXPECT_EQ(TypeOf(file, 4), "<none>");
  file.ReleaseIndex();
  EXPECT_EQ(file.DuplicateIds(), 2u);
  ASSERT_TRUE(file.OpenBuffer(Wrap("#1=IFCA();\n#2=IFCB();\n"), error)) << error;
  EXPECT_EQ(file.DuplicateIds(), 0u);
}

TEST(StepFile, InstanceNumbersOfEveryLength) {
  // Numbers are read eight digits at a time where eight bytes follow; the ends of the buffer
  // and runs of every length, leading zeros included, must read the same as digit by digit.
  std::string data;
  std::vector<uint64_t> ids;
  uint64_t id = 7;
  for (int digits = 1; digits <= 10; ++digits, id = id * 10 + 3) {
    if (id > 4294967294u) break;
    ids.push_back(id);
    data += "#" + std::to_string(id) + "=IFCA();\n";
    data += "#" + std::string(static_cast<std::size_t>(11 - digits), '0') + std::to_string(id + 1) +
            "=IFCB();\n";
    ids.push_back(id + 1);
  }
  data += "#4294967294=IFCMAX();\n#00000000000000000009=IFCZEROS();\n";
  const std::string text = Wrap(data);
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, text, error)) << error;
  for (const uint64_t n : ids) EXPECT_NE(file.Find(n), nullptr) << n;
  EXPECT_EQ(TypeOf(file, 4294967294u), "IFCMAX");
  EXPECT_EQ(TypeOf(file, 9), "IFCZEROS");

  EXPECT_FALSE(OpenExact(file, storage, Wrap("#4294967295=IFCA();\n"), error));
  EXPECT_NE(error.find("instance number too large"), std::string::npos) << error;
  // Cut right after the number, with fewer than eight bytes left.
  for (const char* cut : {"#1", "#1234567", "#12345678", "#123456789"}) {
    const std::string head =
        "ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;DATA;" + std::string(cut);
    EXPECT_FALSE(OpenExact(file, storage, head, error)) << cut;
    EXPECT_EQ(error.rfind("truncated file", 0), 0u) << cut << ": " << error;
  }
}

TEST(StepFile, TypeKeywordsThatPrefixOneAnother) {
  // The type of the record before is a guess for the next one: it must still match whole
  // keywords only, whatever the case.
  const std::string text = Wrap(
      "#1=IFCWALL();\n#2=IFCWALLSTANDARDCASE();\n#3=IFCWALL();\n#4=IFCWALLSTANDARDCASE();\n"
      "#5=IFCWALLS();\n#6=IfcWall();\n#7=IFCWAL();\n#8=IFCWALL ();\n#9=IFCWALL_X();\n"
      "#10=(IFCWALL()IFCX());\n#11=IFCWALL();\n");
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, text, error)) << error;
  const std::vector<std::string> expected = {"IFCWALL",   "IFCWALLSTANDARDCASE",
                                             "IFCWALL",   "IFCWALLSTANDARDCASE",
                                             "IFCWALLS",  "IFCWALL",
                                             "IFCWAL",    "IFCWALL",
                                             "IFCWALL_X", "IFCWALL",
                                             "IFCWALL"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(TypeOf(file, i + 1), expected[i]) << "#" << i + 1;
  }
  EXPECT_EQ(file.Types().Size(), 5u);
}

TEST(StepFile, SeveralDataSectionsAndOtherSections) {
  const std::string text =
      "\xEF\xBB\xBF/* leading comment */ ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
      "FILE_NAME('','',(''),(''),'','','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\n"
      "DATA('first',('IFC4'));\n#1=IFCA();\nENDSEC;\n"
      "ANCHOR;\n<anchor> = #1;\nENDSEC;\n"
      "DATA;\n#2=IFCB();\nENDSEC;\nEND-ISO-10303-21;";
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  EXPECT_EQ(TypeOf(file, 1), "IFCA");
  EXPECT_EQ(TypeOf(file, 2), "IFCB");
}

TEST(StepFile, RejectsWhatIsNotStep) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", "empty"},
      {"{\"json\": true}", "not a STEP file"},
      {"ISO-10303-22;", "not a STEP file"},
      {"ISO-10303-21;\nDATA;\nENDSEC;\nEND-ISO-10303-21;", "line 2: expected HEADER"},
      {"ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;END-ISO-10303-21;", "no DATA section"},
      {Wrap("#1=IFCA();\n#2 IFCB();\n"), "line 9: expected '=' after #2"},
      {Wrap("#1=IFCA();\nIFCB();\n"), "line 9: expected an instance"},
      {Wrap("#1=IFCA;\n"), "expected '(' in #1"},
      {Wrap("#1=();\n"), "has no type"},
      {Wrap("#=IFCA();\n"), "expected digits"},
      {Wrap("#99999999999=IFCA();\n"), "instance number too large"},
      {"ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;HEADER;ENDSEC;DATA;ENDSEC;"
       "END-ISO-10303-21;",
       "second HEADER"},
  };
  for (const Case& c : cases) {
    StepFile file;
    std::vector<char> storage;
    std::string error;
    EXPECT_FALSE(OpenExact(file, storage, c.text, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(StepFile, EveryTruncationIsReportedAsSuch) {
  const std::string full = Wrap(
      "#1=IFCPERSON($,'Doe',$,$,$,$,$,$);\n"
      "/* comment */\n#2=IFCTEXT('a''b\\X2\\00FC\\X0\\');\n"
      "#3=(IFCA()IFCB(1.5E-3));\n#4=IFCBIN(\"0F\",.T.,(1,(2)),*);\n");
  const std::size_t complete =
      full.find("END-ISO-10303-21") + std::string("END-ISO-10303-21").size();
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, full, error)) << error;
  for (std::size_t cut = 0; cut < complete; ++cut) {
    error.clear();
    ASSERT_FALSE(OpenExact(file, storage, full.substr(0, cut), error)) << "cut at " << cut;
    if (cut >= std::string("ISO-10303-21").size()) {
      EXPECT_EQ(error.rfind("truncated file", 0), 0u) << "cut at " << cut << ": " << error;
    }
  }
}

TEST(StepFile, OpensFromDiskAndReportsMissingFiles) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("ifc_stepfile_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = (dir / "small.ifc").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << Wrap("#1=IFCA('x');\n");
  }
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  EXPECT_EQ(TypeOf(file, 1), "IFCA");

  // Release drops the index but keeps header and bytes.
  const std::size_t size = file.Bytes().size();
  file.ReleaseIndex();
  EXPECT_TRUE(file.Entries().empty());
  EXPECT_EQ(file.Find(1), nullptr);
  EXPECT_EQ(file.Bytes().size(), size);
  EXPECT_EQ(file.Schema(), "IFC4");

  const auto empty = (dir / "empty.ifc").string();
  { std::ofstream out(empty, std::ios::binary); }
  EXPECT_FALSE(file.Open(empty, error));
  EXPECT_NE(error.find("empty"), std::string::npos) << error;

  const auto missing = (dir / "missing.ifc").string();
  EXPECT_FALSE(file.Open(missing, error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  EXPECT_FALSE(file.Open(dir.string(), error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

TEST(StepFile, HugeStringRecord) {
  const std::string name(8u << 20, 'n');
  const std::string text = Wrap("#1=IFCWALL('" + name + "x''y;z');\n#2=IFCB();\n");
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.OpenBuffer(text, error)) << error;
  StepParameters params;
  ASSERT_TRUE(file.Decode(*file.Find(1), params));
  const std::string decoded = params.DecodedString(0);
  EXPECT_EQ(decoded.size(), name.size() + 5);
  EXPECT_EQ(decoded.substr(decoded.size() - 5), "x'y;z");
  EXPECT_EQ(TypeOf(file, 2), "IFCB");
}

}  // namespace
