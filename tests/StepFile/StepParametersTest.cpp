// Decoding of record parameter lists: every value form, nesting, limits and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "StepParameters.h"

namespace {

using step::StepKind;
using step::StepParameters;
using step::StepValue;

TEST(StepParameters, ScalarForms) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("($,*,42,-7,+3,1.,1.E-5,-0.5,2.5e3,'it''s',.ELEMENT.,.T.,\"0FF\",#12)"));
  ASSERT_EQ(p.size(), 14u);
  EXPECT_EQ(p[0].kind, StepKind::Unset);
  EXPECT_EQ(p[1].kind, StepKind::Derived);
  EXPECT_EQ(p[2].kind, StepKind::Integer);
  EXPECT_EQ(p[2].integer, 42);
  EXPECT_EQ(p[3].integer, -7);
  EXPECT_EQ(p[4].kind, StepKind::Integer);
  EXPECT_EQ(p[4].integer, 3);
  EXPECT_EQ(p[5].kind, StepKind::Real);
  EXPECT_DOUBLE_EQ(p[5].real, 1.0);
  EXPECT_EQ(p[5].text, "1.");
  EXPECT_DOUBLE_EQ(p[6].real, 1e-5);
  EXPECT_DOUBLE_EQ(p[7].real, -0.5);
  EXPECT_DOUBLE_EQ(p[8].real, 2500.0);
  EXPECT_EQ(p[9].kind, StepKind::String);
  EXPECT_EQ(p[9].text, "it''s");  // raw; decoding is separate
  EXPECT_EQ(p.DecodedString(9), "it's");
  EXPECT_EQ(p[10].kind, StepKind::Enum);
  EXPECT_EQ(p[10].text, "ELEMENT");
  EXPECT_EQ(p[11].text, "T");
  EXPECT_EQ(p[12].kind, StepKind::Binary);
  EXPECT_EQ(p[12].text, "0FF");
  EXPECT_EQ(p[13].kind, StepKind::Reference);
  EXPECT_EQ(p[13].reference, 12u);
}

TEST(StepParameters, NestedListsAndTypedValues) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("((1,2),((3),()),IFCLENGTHMEASURE(3.0),IFCLABEL('x'),(#1,#2,#3))"));
  ASSERT_EQ(p.size(), 5u);

  const auto first = p.Items(p[0]);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].integer, 1);
  EXPECT_EQ(first[1].integer, 2);

  const auto second = p.Items(p[1]);
  ASSERT_EQ(second.size(), 2u);
  const auto inner = p.Items(second[0]);
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_EQ(inner[0].integer, 3);
  EXPECT_EQ(second[1].kind, StepKind::List);
  EXPECT_TRUE(p.Items(second[1]).empty());

  EXPECT_EQ(p[2].kind, StepKind::Typed);
  EXPECT_EQ(p[2].text, "IFCLENGTHMEASURE");
  EXPECT_DOUBLE_EQ(p.Unwrap(p[2]).real, 3.0);
  EXPECT_EQ(p.DecodedString(3), "x");  // typed strings are looked through

  std::vector<uint64_t> refs;
  for (const StepValue& v : p.Items(p[4])) refs.push_back(v.reference);
  EXPECT_EQ(refs, (std::vector<uint64_t>{1, 2, 3}));
}

TEST(StepParameters, SpaceAndCommentsBetweenTokens) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("( \n 'a' /* first; it's */ ,\r\n\t( 1 , /**/ 2 ) , IFCLABEL ( 'b' ) \n)"));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p.DecodedString(0), "a");
  EXPECT_EQ(p.Items(p[1]).size(), 2u);
  EXPECT_EQ(p.DecodedString(2), "b");
}

TEST(StepParameters, EmptyAndOutOfRange) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("()"));
  EXPECT_EQ(p.size(), 0u);
  EXPECT_EQ(p.At(3).kind, StepKind::Unset);
  EXPECT_EQ(p.DecodedString(3), "");
  uint64_t id = 0;
  EXPECT_FALSE(p.Reference(0, id));
}

TEST(StepParameters, StopsAfterRequestedParameter) {
  StepParameters p;
  // Everything after parameter 2 is garbage, but it is never looked at.
  ASSERT_TRUE(p.Parse("('a',$,'c',@@@ not a value", 2));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p.DecodedString(2), "c");
}

TEST(StepParameters, SyntaxErrorsKeepEarlierValues) {
  StepParameters p;
  EXPECT_FALSE(p.Parse("('a',#,3)"));
  ASSERT_GE(p.size(), 1u);
  EXPECT_EQ(p.DecodedString(0), "a");

  for (const char* bad : {"", "x", "(", "('a'", "('a',", "(1 2)", "(.T)", "(..)", "(\"0F)", "(1.E)",
                          "(-)", "(IFCLABEL)", "((1,2)", "(#)", "(')", "(1,,2)"}) {
    EXPECT_FALSE(p.Parse(bad)) << bad;
  }
}

TEST(StepParameters, NestingDepthIsCapped) {
  StepParameters p;
  auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '(') + "1" +
           std::string(static_cast<std::size_t>(depth), ')');
  };
  // The outer parenthesis is the parameter list itself, not a nested value.
  EXPECT_TRUE(p.Parse(nested(StepParameters::kMaxDepth + 1)));
  EXPECT_FALSE(p.Parse(nested(StepParameters::kMaxDepth + 2)));
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_FALSE(p.Parse(nested(200000)));
}

TEST(StepParameters, NumbersOutsideIntegerRange) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("(123456789012345678901234567890,1.E999)"));
  EXPECT_EQ(p[0].kind, StepKind::Real);
  EXPECT_GT(p[0].real, 1e29);
  EXPECT_EQ(p[1].kind, StepKind::Real);
  EXPECT_TRUE(std::isinf(p[1].real));
}

TEST(StepParameters, ComplexInstanceParts) {
  StepParameters p;
  ASSERT_TRUE(p.ParseComplex("(IFCA(1,'x') IFCB() IFCC((2,3)))"));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].text, "IFCA");
  EXPECT_EQ(p.Items(p[0]).size(), 2u);
  EXPECT_EQ(p[1].text, "IFCB");
  EXPECT_TRUE(p.Items(p[1]).empty());
  EXPECT_EQ(p.Items(p.Items(p[2])[0]).size(), 2u);
  EXPECT_FALSE(p.ParseComplex("(IFCA(1) 'x')"));
  EXPECT_FALSE(p.ParseComplex("(IFCA(1)"));
}

TEST(StepParameters, ReusedAcrossRecords) {
  StepParameters p;
  ASSERT_TRUE(p.Parse("((1,2,3),(4,5,6),'long text')"));
  ASSERT_TRUE(p.Parse("(#7)"));
  ASSERT_EQ(p.size(), 1u);
  uint64_t id = 0;
  ASSERT_TRUE(p.Reference(0, id));
  EXPECT_EQ(id, 7u);
}

}  // namespace
