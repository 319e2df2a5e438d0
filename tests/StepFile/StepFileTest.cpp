// The file level: header, instance index, sections and the errors a damaged file gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "StepFile.h"

namespace {

using step::StepEntry;
using step::StepFile;
using step::StepIndexOptions;
using step::StepParameters;

std::string Wrap(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;\nHEADER;\n"
         "FILE_DESCRIPTION(('ViewDefinition [CoordinationView]','Option [x]'),'2;1');\n"
         "FILE_NAME('a\\X2\\00C4\\X0\\.ifc','2024-01-01T00:00:00',('Team','Second'),('Studio'),"
         "'pre 1.0','writer 2.0','none');\n"
         "FILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Opens from an exactly sized heap copy so the sanitizer sees any read past the end.
bool OpenExact(StepFile& file, std::vector<char>& storage, const std::string& text,
               std::string& error) {
  storage.assign(text.begin(), text.end());
  return file.OpenBuffer(std::string_view(storage.data(), storage.size()), error);
}

// The index as "id:TYPE" in file order ("c" on a complex instance), and what Find gives for
// each of `lookups`.
std::string Index(const StepFile& file, const std::vector<uint64_t>& lookups = {}) {
  std::string out;
  for (const StepEntry& e : file.Entries())
    out += std::to_string(e.id) + ":" + std::string(file.TypeName(e)) + (e.complex ? "c " : " ");
  for (const uint64_t id : lookups) {
    const StepEntry* e = file.Find(id);
    out += "| " + std::to_string(id) + "=" + (e ? std::string(file.TypeName(*e)) : "none") + " ";
  }
  return out;
}

// Everything the index shows, as text.
std::string Describe(const StepFile& file) {
  std::string out;
  for (uint32_t code = 0; code < file.Types().Size(); ++code)
    out += std::string(file.Types().Name(code)) + " ";
  out += "\n";
  for (const StepEntry& e : file.Entries()) {
    out += std::to_string(e.id) + ":" + std::to_string(e.type) + ":" + std::to_string(e.offset) +
           ":" + std::to_string(e.length) + (e.complex ? "c" : "") + " ";
    const StepEntry* found = file.Find(e.id);
    out += found == nullptr ? "missing " : std::to_string(file.SlotOf(*found)) + " ";
  }
  return out;
}

struct Result {
  bool ok = false;
  std::string error, index;
  std::size_t split = 0;
};

// Opens with the second thread starting near `splitNear` (0: the middle) when the DATA section
// has `splitFrom` bytes or more; from an exactly sized heap copy, for the sanitizer's sake.
Result Open(const std::string& text, std::size_t splitFrom, std::size_t splitNear = 0) {
  const std::vector<char> bytes(text.begin(), text.end());
  StepIndexOptions options;
  options.splitFrom = splitFrom;
  options.splitNear = splitNear;
  StepFile file;
  Result r;
  r.ok = file.OpenBuffer(std::string_view(bytes.data(), bytes.size()), r.error, options);
  if (r.ok) r.index = Describe(file);
  r.split = file.SplitOffset();
  return r;
}

// Splits near every byte of the DATA section and compares with one pass; returns how many
// splits were taken up (the others found their guess was not a record start).
int ExpectSameAtEverySplit(const std::string& text, Result* single = nullptr) {
  const Result expected = Open(text, 0);
  int used = 0;
  for (std::size_t near = 1; near < text.size(); ++near) {
    const Result got = Open(text, 1, near);
    EXPECT_EQ(got.ok, expected.ok) << "split near " << near;
    EXPECT_EQ(got.error, expected.error) << "split near " << near;
    EXPECT_EQ(got.index, expected.index) << "split near " << near;
    if (got.split != 0) ++used;
  }
  if (single != nullptr) *single = expected;
  return used;
}

// What the index holds for crafted DATA sections, read without decoding any record.
// Each is indexed the same wherever a second thread starts.
TEST(StepSplit, IndexOfCraftedFiles) {
  struct Case {
    std::string text;
    std::vector<uint64_t> lookups;
    std::string index;
  };
  const Case cases[] = {
      // Comments, strings holding ';', comment marks or what looks like records, across lines;
      // spacing, lower-case keywords, leading zeros.
      {Wrap("#1=IFCPERSON($,'Doe',$);\n/* a comment with #2=FAKE(); inside */\n"
            "#2 = IFCLABELHOLDER ( 'semi;colon', 'it''s;\n#9=X();' ) ;\n"
            "#3=\nIFCPOINT((0.,/* inline */0.));\n  #10=ifcwall('x');\n"
            "#4=IFCTEXT('/* not a comment */');#5=IFCBINARY(\"0AF\");\n"
            "#6=IFCLABELHOLDER('a;\n#7=IFCFAKE(''x'');\n#8=IFCFAKE();');\n"
            "/* a comment ;\n#11=IFCINCOMMENT(); */\n"
            "#0000000013=IFCLEADINGZEROS();\n#123456789=IFCNINEDIGITS();\n"),
       {7, 9, 11},
       "1:IFCPERSON 2:IFCLABELHOLDER 3:IFCPOINT 10:IFCWALL 4:IFCTEXT 5:IFCBINARY 6:IFCLABELHOLDER "
       "13:IFCLEADINGZEROS 123456789:IFCNINEDIGITS | 7=none | 9=none | 11=none "},
      // Complex instances are named by their first part.
      {Wrap("#1=(IFCREPRESENTATIONITEM()IFCSOLIDMODEL());\n#2=( IFCA(1) IFCB('x') );\n"
            "#3=IFCWALL();\n"),
       {},
       "1:IFCREPRESENTATIONITEMc 2:IFCAc 3:IFCWALL "},
      // Sparse numbers; a repeated number keeps the first record, dense or not.
      {Wrap("#4000000000=IFCBIG();\n#7=IFCFIRST();\n#5=IFCSMALL();\n#7=IFCSECOND();\n"),
       {7, 6, 4000000001u, 0},
       "4000000000:IFCBIG 7:IFCFIRST 5:IFCSMALL 7:IFCSECOND | 7=IFCFIRST | 6=none | "
       "4000000001=none | 0=none "},
      {Wrap("#1=IFCA();\n#2=IFCB();\n#2=IFCC();\n#3=IFCD();\n#2=IFCE();\n"),
       {2, 4},
       "1:IFCA 2:IFCB 2:IFCC 3:IFCD 2:IFCE | 2=IFCB | 4=none "},
      // The type of the record before is a guess for the next: whole keywords only.
      {Wrap(
           "#1=IFCWALL();\n#2=IFCWALLSTANDARDCASE();\n#3=IFCWALL();\n#4=IFCWALLS();\n"
           "#5=IfcWall();\n#6=IFCWAL();\n#7=IFCWALL ();\n#8=IFCWALL_X();\n#9=(IFCWALL()IFCX());\n"),
       {},
       "1:IFCWALL 2:IFCWALLSTANDARDCASE 3:IFCWALL 4:IFCWALLS 5:IFCWALL 6:IFCWAL 7:IFCWALL "
       "8:IFCWALL_X 9:IFCWALLc "},
      // A byte order mark, a leading comment, several DATA sections and other sections.
      {"\xEF\xBB\xBF/* c */ ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('IFC4'));\nENDSEC;\n"
       "DATA('first',('IFC4'));\n#1=IFCA();\nENDSEC;\nANCHOR;\n<anchor> = #1;\nENDSEC;\n"
       "DATA;\n#2=IFCB();\nENDSEC;\nEND-ISO-10303-21;",
       {},
       "1:IFCA 2:IFCB "},
  };
  for (const Case& c : cases) {
    StepFile file;
    std::vector<char> storage;
    std::string error;
    ASSERT_TRUE(OpenExact(file, storage, c.text, error)) << error;
    EXPECT_EQ(Index(file, c.lookups), c.index);
    EXPECT_GT(ExpectSameAtEverySplit(c.text), 3) << c.index;  // the second thread's work used
  }
}

TEST(StepFile, InstanceNumbersOfEveryLength) {
  // Numbers are read eight digits at a time where eight bytes follow; the ends of the buffer
  // and runs of every length, leading zeros included, must read the same as digit by digit.
  std::string data;
  std::vector<uint64_t> ids;
  for (uint64_t id = 7; id < 4294967294u; id = id * 10 + 3) {
    data += "#" + std::to_string(id) + "=IFCA();\n#" +
            std::string(11 - std::to_string(id).size(), '0') + std::to_string(id + 1) +
            "=IFCB();\n";
    ids.insert(ids.end(), {id, id + 1});
  }
  data += "#4294967294=IFCMAX();\n#00000000000000000009=IFCZEROS();\n";
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, Wrap(data), error)) << error;
  for (const uint64_t n : ids) EXPECT_NE(file.Find(n), nullptr) << n;
  EXPECT_EQ(Index(file, {4294967294u, 9}).substr(Index(file).size()),
            "| 4294967294=IFCMAX | 9=IFCZEROS ");
}

// Record ends are found 64 bytes at a time: strings of every length holding ';', doubled
// apostrophes and comment marks put their ends at every place of a block, and comments
// between records (with an apostrophe of their own) send blocks to the slower path.
TEST(StepFile, RecordEndsAcrossBlockEdges) {
  std::string data;
  std::vector<std::string> bodies;
  for (int n = 0; n < 150; ++n) {
    std::string text;
    for (int i = 0; i < n; ++i)
      text += i % 5 == 1 ? ";" : i % 5 == 3 ? "''" : i == 4 && n % 10 == 0 ? "/*" : "a";
    bodies.push_back("('" + text + "',#" + std::to_string(n) + ")");
    if (n % 17 == 0) data += "/* it's; */\n";
    data += "#" + std::to_string(n + 1) + "=IFCS" + bodies.back() + ";\n";
  }
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, Wrap(data), error)) << error;
  ASSERT_EQ(file.Entries().size(), bodies.size());
  for (std::size_t i = 0; i < bodies.size(); ++i)
    EXPECT_EQ(file.Body(file.Entries()[i]), bodies[i]);
}

// The same error wherever a second thread starts.
TEST(StepSplit, RejectsWhatIsNotStepWithOneLine) {
  const std::string head = "ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;DATA;";
  const std::pair<std::string, std::string> cases[] = {
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
      {Wrap("#4294967295=IFCA();\n"), "instance number too large"},
      {"ISO-10303-21;HEADER;FILE_SCHEMA(('IFC4'));ENDSEC;HEADER;ENDSEC;DATA;ENDSEC;"
       "END-ISO-10303-21;",
       "second HEADER"},
      // Cut right after the number, with fewer than eight bytes left.
      {head + "#1", "truncated file"},
      {head + "#1234567", "truncated file"},
      {head + "#123456789", "truncated file"},
  };
  for (const auto& [text, message] : cases) {
    Result single;
    ExpectSameAtEverySplit(text, &single);
    EXPECT_FALSE(single.ok) << text;
    EXPECT_NE(single.error.find(message), std::string::npos) << "got: " << single.error;
    EXPECT_EQ(single.error.find('\n'), std::string::npos) << single.error;
  }
}

TEST(StepFile, EveryTruncationIsReportedAsSuch) {
  const std::string full = Wrap(
      "#1=IFCPERSON($,'Doe',$,$,$,$,$,$);\n"
      "/* comment */\n#2=IFCTEXT('a''b\\X2\\00FC\\X0\\');\n"
      "#3=(IFCA()IFCB(1.5E-3));\n#4=IFCBIN(\"0F\",.T.,(1,(2)),*);\n");
  const std::size_t complete = full.find("END-ISO-10303-21") + 16;
  StepFile file;
  std::vector<char> storage;
  std::string error;
  ASSERT_TRUE(OpenExact(file, storage, full, error)) << error;
  for (std::size_t cut = 0; cut < complete; ++cut) {
    error.clear();
    ASSERT_FALSE(OpenExact(file, storage, full.substr(0, cut), error)) << "cut at " << cut;
    if (cut >= 12) {
      EXPECT_EQ(error.rfind("truncated file", 0), 0u) << cut << ": " << error;
    }
  }
}

TEST(StepFile, FromDiskHeaderBodiesAndReleasedIndex) {
  const auto dir = std::filesystem::path(::testing::TempDir()) / "stepfile";
  std::filesystem::create_directories(dir);
  const auto path = (dir / "small.ifc").string();
  std::ofstream(path, std::ios::binary) << Wrap(
      "#2 = IFCLABELHOLDER ( 'semi;colon', 'it''s;' ) ;\n"
      "#3=( IFCA(1) IFCB('x') );\n#2=IFCC();\n#4=IFCD();\n#2=IFCE();\n",
      "ifc2x3");
  StepFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  const auto& h = file.Header();
  auto join = [](const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& s : list) out += s + "|";
    return out;
  };
  EXPECT_EQ(join(h.description) + h.implementationLevel + "|" + h.name + "|" + h.timeStamp + "|" +
                join(h.author) + join(h.organization) + h.preprocessorVersion + "|" +
                h.originatingSystem + "|" + h.authorization + "|" + join(h.schemas),
            "ViewDefinition [CoordinationView]|Option [x]|2;1|a\xC3\x84.ifc|2024-01-01T00:00:00|"
            "Team|Second|Studio|pre 1.0|writer 2.0|none|ifc2x3|");
  EXPECT_EQ(file.Schema(), "IFC2X3");
  // The body runs from '(' to just before ';'.
  EXPECT_EQ(file.Body(*file.Find(2)), "( 'semi;colon', 'it''s;' ) ");
  StepParameters params;
  ASSERT_TRUE(file.Decode(*file.Find(2), params));
  EXPECT_EQ(params.DecodedString(1), "it's;");
  ASSERT_TRUE(file.Decode(*file.Find(3), params));
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[1].text, "IFCB");
  EXPECT_EQ(file.DuplicateIds(), 2u);
  // Release drops the index but keeps header, bytes and the count of repeats.
  const std::size_t size = file.Bytes().size();
  file.ReleaseIndex();
  EXPECT_EQ(Index(file, {2}), "| 2=none ");
  EXPECT_EQ(file.Bytes().size(), size);
  EXPECT_EQ(file.Schema(), "IFC2X3");
  EXPECT_EQ(file.DuplicateIds(), 2u);

  const auto empty = (dir / "empty.ifc").string();
  std::ofstream(empty, std::ios::binary).flush();
  const auto missing = (dir / "missing.ifc").string();
  const std::pair<std::string, std::string> refused[] = {
      {empty, "empty"},
      {missing, "cannot open '" + missing + "': No such file"},
      {dir.string(), "not a regular file"}};
  for (const auto& [where, message] : refused) {
    EXPECT_FALSE(file.Open(where, error)) << where;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  ASSERT_TRUE(file.OpenBuffer(Wrap("#1=IFCA();\n"), error)) << error;
  EXPECT_EQ(file.DuplicateIds(), 0u);  // nothing kept from the file before
  std::filesystem::remove_all(dir);
}

// Large tables start on a 2 MiB boundary and keep their contents as they grow and shrink;
// small ones come from the heap.
TEST(StepFile, TablesLargeAndSmall) {
  step::Table<uint32_t> table(100);
  for (uint32_t k = 0; k < table.size(); ++k) table[k] = k;
  for (const std::size_t size : {std::size_t{1} << 20, std::size_t{3} << 20, std::size_t{5000}}) {
    const std::size_t before = table.size();
    table.resize(size, 7);
    table.shrink_to_fit();
    if (size * sizeof(uint32_t) >= (std::size_t{64} << 10)) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(table.data()) % (std::size_t{2} << 20), 0u);
    }
    for (uint32_t k = 0; k < std::min(before, size); ++k) ASSERT_EQ(table[k], k < 100 ? k : 7u);
    for (std::size_t k = before; k < size; ++k) ASSERT_EQ(table[k], 7u);
  }
}

// A table whose pages are chosen when it is made keeps its contents and frees its storage the
// way it took it through moves, swaps and copies between the two kinds (the sanitizer build
// checks the frees).
TEST(StepFile, TablesOfChosenPages) {
  using Chosen = step::ChosenTable<uint64_t>;
  using Pages = step::ChosenPagesAllocator<uint64_t>;
  const auto filled = [](bool huge, std::size_t n) {
    Chosen t{Pages(huge)};
    for (uint64_t k = 0; k < n; ++k) t.push_back(k * 3 + (huge ? 1 : 0));
    return t;
  };
  const auto holds = [](const Chosen& t, bool huge, std::size_t n) {
    if (t.size() != n) return false;
    for (uint64_t k = 0; k < n; ++k)
      if (t[k] != k * 3 + (huge ? 1 : 0)) return false;
    return true;
  };
  constexpr std::size_t kLarge = 300000, kSmall = 50;
  Chosen huge = filled(true, kLarge);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(huge.data()) % (std::size_t{2} << 20), 0u);
  Chosen heap = filled(false, kLarge);
  EXPECT_TRUE(holds(huge, true, kLarge));
  EXPECT_TRUE(holds(heap, false, kLarge));
  std::swap(huge, heap);
  EXPECT_TRUE(heap.get_allocator().huge);
  EXPECT_TRUE(holds(heap, true, kLarge));
  EXPECT_TRUE(holds(huge, false, kLarge));
  huge = filled(true, kSmall);  // the heap's storage goes back to the heap
  EXPECT_TRUE(holds(huge, true, kSmall));
  heap = huge;  // a copy takes the kind of pages too
  EXPECT_TRUE(heap.get_allocator().huge);
  EXPECT_TRUE(holds(heap, true, kSmall));
  heap = Chosen();
  EXPECT_FALSE(heap.get_allocator().huge);
  heap.resize(kLarge);
  huge.resize(kLarge);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(huge.data()) % (std::size_t{2} << 20), 0u);
}

// Find gives the first record of an id, and nothing for an id no record has, however the
// writer numbered: upwards with gaps across 64-id words, upwards then back, repeats, sparse.
TEST(StepFile, FindGivesTheFirstRecordOfEachId) {
  const std::vector<std::vector<uint32_t>> numberings = {
      {0, 1, 2, 63, 64, 65, 127, 128, 200, 255, 256, 1000},
      {5, 6, 70, 71, 500, 501, 502, 3},
      {1, 2, 3, 2, 64, 64, 65, 1},
      {1, 2, 2, 3, 64, 64, 65},
      {100, 90, 80, 70, 64, 63, 1, 0},
      {1, 7, 9000, 90000},
      {},
  };
  for (const auto& ids : numberings) {
    std::string data;
    for (std::size_t k = 0; k < ids.size(); ++k)
      data += "#" + std::to_string(ids[k]) + "=IFCT" + std::to_string(k) + "();\n";
    for (const std::size_t splitFrom : {std::size_t{0}, std::size_t{1}}) {
      StepIndexOptions options;
      options.splitFrom = splitFrom;
      StepFile file;
      std::string error;
      const std::string text = Wrap(data);
      ASSERT_TRUE(file.OpenBuffer(text, error, options)) << error;
      ASSERT_EQ(file.Entries().size(), ids.size());
      std::map<uint32_t, std::size_t> first;
      for (std::size_t k = 0; k < ids.size(); ++k) first.try_emplace(ids[k], k);
      EXPECT_EQ(file.DuplicateIds(), ids.size() - first.size()) << data;
      const uint32_t top = ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end());
      for (uint64_t id = 0; id <= top + 70; ++id) {
        const StepEntry* e = file.Find(id);
        const auto it = first.find(static_cast<uint32_t>(id));
        if (it == first.end()) {
          EXPECT_EQ(e, nullptr) << "#" << id << " in " << data;
        } else {
          ASSERT_NE(e, nullptr) << "#" << id << " in " << data;
          EXPECT_EQ(file.SlotOf(*e), it->second) << "#" << id << " in " << data;
        }
      }
    }
  }
}

// Without a given place the second thread starts where the work halves (the middle of these
// even records); a failure that needs both halves (the type table, full after 65535 types) is
// reported at the same record.
TEST(StepSplit, LongFilesSplitInTheMiddleAndFailAtTheSameRecord) {
  std::string data, types;
  for (int i = 1; i <= 70000; ++i) {
    const std::string n = std::to_string(i);
    if (i <= 20000) data += "#" + n + "=IFCTYPE" + std::to_string(i % 37) + "('n;" + n + "',#1);\n";
    types += "#" + n + "=T" + n + "();\n";
  }
  const std::string text = Wrap(data), many = Wrap(types);
  const Result one = Open(text, 0), two = Open(text, 1);
  ASSERT_TRUE(one.ok) << one.error;
  EXPECT_EQ(one.split, 0u);
  EXPECT_NE(two.split, 0u);
  EXPECT_EQ(two.index, one.index);
  const Result expected = Open(many, 0);
  ASSERT_FALSE(expected.ok);
  EXPECT_NE(expected.error.find("too many distinct entity types"), std::string::npos);
  for (const std::size_t near : {many.size() / 10, many.size() / 2, many.size() * 9 / 10}) {
    const Result got = Open(many, 1, near);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, expected.error) << "split near " << near;
  }
}

// The second thread's place and the slots set aside for each half come from small windows of
// the DATA section. Windows that see long records where the rest is dense undercount: the
// main pass then outgrows its slots (the stretch moves up, its work kept), or the stretch
// outgrows its own (its work is given up); the index stays the same either way.
TEST(StepSplit, DensityTheSampleMissesGivesTheSameIndex) {
  constexpr std::size_t kChunk = 64 << 10;  // about one sampled segment of the files below
  auto build = [](bool sparseFirstHalf) {
    std::string data;
    int id = 0;
    for (int chunk = 0; chunk < 32; ++chunk) {
      const bool tricky = (chunk < 16) == sparseFirstHalf;
      const std::size_t start = data.size();
      while (data.size() - start < kChunk) {
        const std::size_t at = data.size() - start;
        const bool sampled = tricky && at >= (20 << 10) && at < (44 << 10);
        data += "#" + std::to_string(++id) +
                (sampled ? "=IFCLONG('" + std::string(1000, 'x') + "');\n" : "=IFCA();\n");
      }
    }
    return Wrap(data);
  };
  for (const bool sparseFirstHalf : {true, false}) {
    const std::string text = build(sparseFirstHalf);
    const Result one = Open(text, 0), two = Open(text, 1);
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(two.ok, one.ok);
    EXPECT_EQ(two.index, one.index) << "sparse first half " << sparseFirstHalf;
    if (sparseFirstHalf) {
      EXPECT_NE(two.split, 0u);
    }
  }
}

// Takes the records of one type, as a reader that parses them would; counts them.
class TakeOne : public step::StepRecordSink {
 public:
  explicit TakeOne(std::string type) : _type(std::move(type)) {}
  uint8_t Select(std::string_view upperType) const override { return upperType == _type ? 1 : 0; }
  void Take(unsigned, uint32_t, const StepEntry&, uint8_t, std::string_view) override { ++taken; }
  void Adopt(uint32_t, std::span<const uint16_t>) override {}
  void Discard() override {}
  std::atomic<std::size_t> taken{0};  // both threads take

 private:
  std::string _type;
};

// The second thread starts where about half the expected work lies before it: records the sink
// takes weigh more than those it leaves, whatever their bytes.
TEST(StepSplit, SplitFallsWhereTheWorkHalves) {
  std::string data;
  for (int id = 1; id <= 8000; ++id)
    data += "#" + std::to_string(id) + (id <= 4000 ? "=IFCHEAVY" : "=IFCLIGHT") + "('abc',#1);\n";
  const std::string text = Wrap(data);
  const std::size_t dataStart = text.find("DATA;"), dataBytes = data.size();
  auto splitAt = [&](step::StepRecordSink* sink) {
    StepFile file;
    StepIndexOptions options;
    options.splitFrom = 1;
    options.sink = sink;
    std::string error;
    EXPECT_TRUE(file.OpenBuffer(text, error, options)) << error;
    EXPECT_EQ(file.Entries().size(), 8000u);
    return double(file.SplitOffset() - dataStart) / double(dataBytes);
  };
  const double bare = splitAt(nullptr);
  EXPECT_GT(bare, 0.4);
  EXPECT_LT(bare, 0.6);
  TakeOne heavy("IFCHEAVY");
  EXPECT_LT(splitAt(&heavy), 0.4);
  EXPECT_EQ(heavy.taken, 4000u);
  TakeOne light("IFCLIGHT");
  EXPECT_GT(splitAt(&light), 0.6);
}

}  // namespace
