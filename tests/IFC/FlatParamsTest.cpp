// The quick reader's parameters left out of `keep`: passed over with the same checks, so a
// record reads (or falls to the full parser) the same way whichever parameters are kept.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "IfcFlatParams.h"

namespace {

using ifc::FlatParams;

// Records the quick reader takes, and records it must leave to the full parser, each with
// the oddity in a different parameter.
const std::vector<std::string_view> kBodies = {
    "('2O2Fr$t4X7Zf8NOew3FLOH',#5,'Wall 1',$,*,#12,#13,'T1')",
    "( 'a''b' , #1 ,( #2 , #3 ), () ,$, ('x',$,*,#4) ,#99,'Tag')",
    "('n',$,IFCBOOLEAN(.T.),#7)",
    "('n',$,IFCLABEL('it''s'),$)",
    "('n',$,-1.5E3,.ENUM.,IFCREAL(2.))",
    "('n',((#1)),'c')",                // nested list
    "('n',(1.,2.),'c')",               // numbers in a list
    "('n',IFCLABEL('x'),'c')",         // typed value, read only with values
    "('n',#1234567890123456789,'c')",  // reference too long
    "('n',/* note */#1,'c')",          // comment
    "('n','open,#1)",                  // string never closed
    "('n',#,'c')",                     // reference without digits
    "('n',(#1,#2,'c')",                // list never closed
    "('n',.E,'c')",                    // enumeration never closed
    "('n',#1,'c',)",                   // nothing after a comma
    "()",
    "  ( #1 ) ",
};

bool SameValue(const FlatParams::Value& a, const FlatParams::Value& b) {
  return a.kind == b.kind && a.text == b.text && a.type == b.type && a.reference == b.reference &&
         a.count == b.count;
}

std::vector<uint64_t> ListRefs(const FlatParams& p, const FlatParams::Value& v) {
  if (v.kind != FlatParams::kList) return {};
  return {p.refs.begin() + v.first, p.refs.begin() + v.first + v.count};
}

TEST(FlatParamsTest, LeavingParametersOutNeitherChangesWhatIsReadNorWhetherItIs) {
  for (const std::string_view body : kBodies) {
    for (const bool values : {false, true}) {
      for (const std::size_t last : {std::size_t{2}, std::size_t{7}}) {
        FlatParams whole;
        const bool ok = whole.Read(body, last, values);
        for (uint32_t keep = 0; keep <= FlatParams::kAll; ++keep) {
          SCOPED_TRACE(testing::Message()
                       << body << " values=" << values << " last=" << last << " keep=" << keep);
          FlatParams part;
          ASSERT_EQ(part.Read(body, last, values, keep), ok);
          if (!ok) continue;
          std::size_t refs = 0;
          for (std::size_t i = 0; i <= last; ++i) {
            const bool kept = (keep >> i & 1u) != 0;
            if (!kept) {
              EXPECT_EQ(part.At(i).kind, FlatParams::kUnset);
              continue;
            }
            EXPECT_TRUE(SameValue(part.At(i), whole.At(i)));
            EXPECT_EQ(ListRefs(part, part.At(i)), ListRefs(whole, whole.At(i)));
            refs += ListRefs(whole, whole.At(i)).size();
          }
          // A list passed over leaves nothing behind.
          EXPECT_EQ(part.refs.size(), refs);
        }
      }
    }
  }
}

TEST(FlatParamsTest, KeptValuesAfterPassedOverOnesAreTheRightOnes) {
  FlatParams p;
  ASSERT_TRUE(p.Read("('g',#5,'Name',$,(#1,#2),#9,$,'T7')", 7, false, 1u << 4 | 1u << 7));
  EXPECT_EQ(p.At(0).kind, FlatParams::kUnset);
  EXPECT_EQ(p.At(5).kind, FlatParams::kUnset);
  ASSERT_EQ(p.At(4).kind, FlatParams::kList);
  EXPECT_EQ(ListRefs(p, p.At(4)), (std::vector<uint64_t>{1, 2}));
  ASSERT_EQ(p.At(7).kind, FlatParams::kString);
  EXPECT_EQ(p.At(7).text, "T7");
  // The reader is reused record after record: nothing of the last one stays.
  ASSERT_TRUE(p.Read("('n',$,IFCLENGTHMEASURE(2.5),#3)", 3, true, 0b1101));
  EXPECT_TRUE(p.refs.empty());
  EXPECT_EQ(p.At(0).text, "n");
  EXPECT_EQ(p.At(1).kind, FlatParams::kUnset);
  EXPECT_EQ(p.At(2).type, "IFCLENGTHMEASURE");
  EXPECT_EQ(p.At(2).text, "2.5");
  EXPECT_EQ(p.At(3).reference, 3u);
}

}  // namespace
