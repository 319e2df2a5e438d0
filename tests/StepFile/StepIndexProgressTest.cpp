// Progress reported while a large DATA section is indexed, on one thread or two.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "StepFile.h"
#include "StepIndexProgress.h"

namespace {

using step::StepFile;
using step::StepIndexOptions;
using step::StepIndexProgress;

TEST(StepIndexProgress, ReportsGrowToTheFileSizeOnTheOpeningThread) {
  // About 40 MB: more than two of the strides at which indexing reports.
  std::string text = "ISO-10303-21;HEADER;FILE_SCHEMA(('X'));ENDSEC;DATA;\n";
  for (uint32_t id = 1; text.size() < (40u << 20); ++id)
    text += "#" + std::to_string(id) + "=CARTESIAN_POINT('',(1.5,2.5,3.5));\n";
  text += "ENDSEC;END-ISO-10303-21;\n";
  for (const std::size_t splitFrom : {std::size_t{0}, std::size_t{1}}) {
    std::vector<uint64_t> done;
    const std::thread::id opener = std::this_thread::get_id();
    {
      StepIndexProgress progress([&](uint64_t bytes, uint64_t total) {
        EXPECT_EQ(std::this_thread::get_id(), opener);
        EXPECT_EQ(total, text.size());
        done.push_back(bytes);
      });
      StepFile file;
      std::string error;
      StepIndexOptions options;
      options.splitFrom = splitFrom;
      ASSERT_TRUE(file.OpenBuffer(text, error, options)) << error;
    }
    ASSERT_GE(done.size(), 2u) << "split from " << splitFrom;
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), text.size());
    EXPECT_LT(done.front(), text.size());  // not only the end
  }
  // Once the reporter is gone, opening reports nothing, and nested reporters restore.
  int outer = 0, inner = 0;
  StepIndexProgress a([&](uint64_t, uint64_t) { ++outer; });
  {
    StepIndexProgress b([&](uint64_t, uint64_t) { ++inner; });
  }
  StepFile file;
  std::string error;
  ASSERT_TRUE(
      file.OpenBuffer("ISO-10303-21;HEADER;ENDSEC;DATA;#1=A();ENDSEC;END-ISO-10303-21;", error));
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(outer, 1);
}

}  // namespace
