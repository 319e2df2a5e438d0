// Progress reported while a large DATA section is indexed, on one thread or two.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
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
    std::vector<std::pair<uint64_t, uint64_t>> reports;
    const std::thread::id opener = std::this_thread::get_id();
    bool otherThread = false;
    {
      StepIndexProgress progress([&](uint64_t done, uint64_t total) {
        otherThread = otherThread || std::this_thread::get_id() != opener;
        reports.emplace_back(done, total);
      });
      StepFile file;
      std::string error;
      StepIndexOptions options;
      options.splitFrom = splitFrom;
      ASSERT_TRUE(file.OpenBuffer(text, error, options)) << error;
    }
    ASSERT_GE(reports.size(), 2u) << "split from " << splitFrom;
    EXPECT_FALSE(otherThread);
    for (std::size_t i = 0; i < reports.size(); ++i) {
      EXPECT_EQ(reports[i].second, text.size());
      EXPECT_LE(reports[i].first, reports[i].second);
      if (i > 0) {
        EXPECT_GE(reports[i].first, reports[i - 1].first);
      }
    }
    EXPECT_EQ(reports.back().first, text.size());
    EXPECT_LT(reports.front().first, text.size());  // not only the end
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
