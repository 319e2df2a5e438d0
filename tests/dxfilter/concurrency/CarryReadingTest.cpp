// CarryReadingTest.cpp - the old document read on a thread of its own while the caller
// works on: what it read arrives whole, and an object dropped mid-read waits for it.
// Built alone so that the ThreadSanitizer build can run it (ctest -L concurrency).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "FilterCarry.h"

namespace {

const char* const kColumns =
    R"([{"dataIndex":"tree","editableFlag":false,"data":{"NLS_text":"T"}},)"
    R"({"dataIndex":"Import","editableFlag":true,"editionPolicy":"EditionInPlace",)"
    R"("typeRepresentation":"boolean","data":{"NLS_text":"I"}}])";

// n entities; with edits, every third is switched off.
std::string Document(int n, bool edits) {
  std::string text = R"({"data":{"filterID":"f")";
  if (edits) {
    text += R"(,"userEdits":{)";
    for (int i = 0; i < n; i += 3)
      text += (i ? ",\"e" : "\"e") + std::to_string(i) + R"(":{"Import":"false"})";
    text += "}";
  }
  text += std::string(R"(},"columns":)") + kColumns + R"(,"roots":[)";
  for (int i = 0; i < n; ++i)
    text += (i ? "," : "") + std::string(R"({"data":{"uid":["e)") + std::to_string(i) +
            R"("]},"grid":{"Import":"true"}})";
  return text + "]}";
}

std::string WriteTemp(const std::string& text) {
  char path[] = "/tmp/dxfilter-carry-reading-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << text;
  return path;
}

TEST(CarryReading, ConcurrentReadArrivesWholeWhileTheCallerWorks) {
  const std::string path = WriteTemp(Document(3000, true));
  FilterCarry carry;
  carry.StartReadingOld(path);
  // The caller's own work meanwhile, on another carry of the same kind.
  FilterCarry other;
  std::string error, out;
  ASSERT_TRUE(other.ReadOld(Document(10, true), error)) << error;
  ASSERT_TRUE(other.Apply(Document(10, false), out, error)) << error;
  EXPECT_EQ(other.Result().carried, 4u);

  ASSERT_TRUE(carry.FinishReadingOld(error)) << error;
  ASSERT_TRUE(carry.Apply(Document(3001, false), out, error)) << error;
  EXPECT_EQ(carry.Result().carried, 1000u);
  EXPECT_EQ(carry.Result().fresh, std::vector<std::string>{"e3000"});
  std::remove(path.c_str());
}

TEST(CarryReading, ConcurrentReadOfABadFileReportsWhy) {
  const std::string path = WriteTemp(R"({"data":{"userEdits":7}})");
  FilterCarry carry;
  carry.StartReadingOld(path);
  carry.StartReadingOld(path);  // a second start waits for the first
  std::string error, out;
  EXPECT_FALSE(carry.FinishReadingOld(error));
  EXPECT_NE(error.find("userEdits"), std::string::npos);
  EXPECT_FALSE(carry.Apply(Document(1, false), out, error));
  std::remove(path.c_str());
}

TEST(CarryReading, ConcurrentReadIsAwaitedWhenTheCarryIsDropped) {
  const std::string path = WriteTemp(Document(20000, true));
  {
    FilterCarry carry;
    carry.StartReadingOld(path);
  }  // destroyed mid-read: joins, and nothing it wrote outlives it
  std::remove(path.c_str());
}

}  // namespace
