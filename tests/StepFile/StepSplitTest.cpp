// Indexing with a second thread that starts ahead: wherever it starts, the index (and the
// error, for a damaged file) is the one a single pass gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "StepFile.h"

namespace {

using step::StepEntry;
using step::StepFile;
using step::StepIndexOptions;

std::string Wrap(const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('x'),'2;1');\n"
         "FILE_NAME('a.ifc','',(''),(''),'','','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n" +
         data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Everything the index shows, as text.
std::string Describe(const StepFile& file) {
  std::string out;
  for (uint32_t code = 0; code < file.Types().Size(); ++code) {
    out += std::string(file.Types().Name(code)) + " ";
  }
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
  std::string error;
  std::string index;
  std::size_t split = 0;
};

Result Open(const std::vector<char>& bytes, const StepIndexOptions& options) {
  StepFile file;
  Result r;
  // An exactly sized copy, so the sanitizer sees any read past the end.
  r.ok = file.OpenBuffer(std::string_view(bytes.data(), bytes.size()), r.error, options);
  if (r.ok) r.index = Describe(file);
  r.split = file.SplitOffset();
  return r;
}

// Splits near every byte of the DATA section and compares with one pass; returns how many
// splits were taken up (the others found their guess was not a record start).
int ExpectSameAtEverySplit(const std::string& text) {
  const std::vector<char> bytes(text.begin(), text.end());
  StepIndexOptions single;
  single.splitFrom = 0;
  const Result expected = Open(bytes, single);
  int used = 0;
  for (std::size_t near = 1; near < bytes.size(); ++near) {
    StepIndexOptions options;
    options.splitFrom = 1;
    options.splitNear = near;
    const Result got = Open(bytes, options);
    EXPECT_EQ(got.ok, expected.ok) << "split near " << near;
    EXPECT_EQ(got.error, expected.error) << "split near " << near;
    EXPECT_EQ(got.index, expected.index) << "split near " << near;
    if (got.split != 0) ++used;
  }
  return used;
}

TEST(StepSplit, SameIndexWhereverTheSecondThreadStarts) {
  const std::string text = Wrap(
      "#1=IFCPERSON($,'Doe',$,$,$,$,$,$);\n"
      "#2=IFCLABELHOLDER('a;\n#3=IFCFAKE(''x'');\n#4=IFCFAKE();','it''s;\n#9=X();');\n"
      "/* a comment ;\n#5=IFCINCOMMENT(); */\n"
      "#6 = IFCCARTESIANPOINT ( ( 0. , 0. ) ) ;\n"
      "#7=(IFCREPRESENTATIONITEM()IFCSOLIDMODEL());\n"
      "#8=ifcwall('lower;case');\n#8=IFCWALL('repeated');\n"
      "#10=IFCWALLSTANDARDCASE('x');#11=IFCWALL('y');#12=IFCWALLSTANDARDCASE('z');\n"
      "#0000000013=IFCLEADINGZEROS();\n#123456789=IFCNINEDIGITS();\n"
      "#14=IFCTEXT('/* not a comment ; */');\n#15=IFCBINARY(\"0AF\");\n"
      "#16=IFCNEWTYPEAFTERSPLIT('x');\n");
  EXPECT_GT(ExpectSameAtEverySplit(text), 10);
}

TEST(StepSplit, DamagedFilesGiveTheSameError) {
  const std::vector<std::string> texts = {
      Wrap("#1=IFCA();\n#2=IFCB('x');\n#3 IFCC();\n#4=IFCD();\n"),
      Wrap("#1=IFCA();\n#2=IFCB('x;\n#3=IFCC();\n#4=IFCD();\n"),
      Wrap("#1=IFCA();\n#2=IFCB();\nIFCC();\n#4=IFCD();\n"),
      Wrap("#1=IFCA();\n#2=();\n#3=IFCC();\n"),
      Wrap("#1=IFCA();\n#2=IFCB();\n#99999999999=IFCC();\n#4=IFCD();\n"),
      Wrap("#1=IFCA();\n#2=IFCB();\n#3=IFCC();\n#4=IFCD();\n").substr(0, 170),
  };
  for (const std::string& text : texts) ExpectSameAtEverySplit(text);
}

TEST(StepSplit, SeveralDataSections) {
  const std::string text =
      "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('IFC4'));\nENDSEC;\n"
      "DATA;\n#1=IFCA('a;b');\n#2=IFCB();\nENDSEC;\n"
      "ANCHOR;\n<a> = #1;\nENDSEC;\n"
      "DATA;\n#3=IFCC();\n#4=IFCA();\n#5=IFCD();\nENDSEC;\nEND-ISO-10303-21;\n";
  EXPECT_GT(ExpectSameAtEverySplit(text), 3);
}

TEST(StepSplit, LongFileSplitsInTheMiddle) {
  std::string data;
  for (int i = 1; i <= 20000; ++i) {
    data += "#" + std::to_string(i) + "=IFCTYPE" + std::to_string(i % 37) + "('n;" +
            std::to_string(i) + "',#" + std::to_string(i / 2 + 1) + ");\n";
  }
  const std::string text = Wrap(data);
  const std::vector<char> bytes(text.begin(), text.end());
  StepIndexOptions single;
  single.splitFrom = 0;
  StepIndexOptions split;
  split.splitFrom = 1;
  const Result one = Open(bytes, single);
  const Result two = Open(bytes, split);
  ASSERT_TRUE(one.ok) << one.error;
  EXPECT_EQ(one.split, 0u);
  EXPECT_NE(two.split, 0u);
  EXPECT_EQ(two.index, one.index);
}

TEST(StepSplit, TooManyTypesFailsAtTheSameRecord) {
  // The type table is full after 65535 types; the two halves together overflow it.
  std::string data;
  for (int i = 0; i < 70000; ++i)
    data += "#" + std::to_string(i + 1) + "=T" + std::to_string(i) + "();\n";
  const std::string text = Wrap(data);
  const std::vector<char> bytes(text.begin(), text.end());
  StepIndexOptions single;
  single.splitFrom = 0;
  const Result expected = Open(bytes, single);
  ASSERT_FALSE(expected.ok);
  EXPECT_NE(expected.error.find("too many distinct entity types"), std::string::npos);
  for (const std::size_t near : {bytes.size() / 10, bytes.size() / 2, bytes.size() * 9 / 10}) {
    StepIndexOptions options;
    options.splitFrom = 1;
    options.splitNear = near;
    const Result got = Open(bytes, options);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, expected.error) << "split near " << near;
  }
}

}  // namespace

namespace {

// Records as a sink sees them, in file order once the second thread's are adopted.
class RecordingSink : public step::StepRecordSink {
 public:
  uint8_t Select(std::string_view type) const override { return type.find('B') == 0 ? 0 : 1; }
  void Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t,
            std::string_view body) override {
    _taken[thread].push_back(std::to_string(slot) + ":" + std::to_string(entry.id) + ":" +
                             std::string(body) + " ");
  }
  void Adopt(uint32_t firstSlot, std::span<const uint16_t>) override {
    for (std::string& record : _taken[1]) {
      const std::size_t colon = record.find(':');
      record =
          std::to_string(firstSlot + std::stoul(record.substr(0, colon))) + record.substr(colon);
    }
    _adopted.insert(_adopted.end(), _taken[1].begin(), _taken[1].end());
    _taken[1].clear();
  }
  void Discard() override { _taken[1].clear(); }
  std::string Seen() const {
    std::vector<std::string> all = _taken[0];
    all.insert(all.end(), _adopted.begin(), _adopted.end());
    std::sort(all.begin(), all.end(), [](const std::string& a, const std::string& b) {
      return std::stoul(a) < std::stoul(b);
    });
    std::string out;
    for (const std::string& r : all) out += r;
    return out;
  }

 private:
  std::vector<std::string> _taken[2];
  std::vector<std::string> _adopted;
};

}  // namespace

TEST(StepSplit, WithoutTheIndexTheSinkSeesTheSameRecords) {
  std::string data;
  for (int i = 1; i <= 300; ++i) {
    data += "#" + std::to_string(i) + (i % 3 ? "=AREC('" : "=BSKIPPED('") + std::to_string(i) +
            ";');\n";
  }
  data += "#7=AREPEATED();\n";
  const std::string text = Wrap(data);
  RecordingSink whole;
  StepIndexOptions reference;
  reference.sink = &whole;
  reference.splitFrom = 0;
  StepFile indexed;
  std::string error;
  ASSERT_TRUE(indexed.OpenBuffer(text, error, reference)) << error;
  ASSERT_EQ(indexed.Entries().size(), 301u);
  for (std::size_t near = text.find("DATA;"); near < text.size(); near += 97) {
    RecordingSink sink;
    StepIndexOptions options;
    options.sink = &sink;
    options.keepIndex = false;
    options.splitFrom = 1;
    options.splitNear = near;
    StepFile file;
    ASSERT_TRUE(file.OpenBuffer(text, error, options)) << error;
    EXPECT_TRUE(file.Entries().empty());
    EXPECT_EQ(file.Find(7), nullptr);
    EXPECT_EQ(sink.Seen(), whole.Seen()) << "split near " << near;
  }
}
