// Decoding of record parameter lists: every value form, nesting, limits and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "StepParameters.h"

namespace {

using step::StepKind;
using step::StepParameters;
using step::StepValue;

// A value written back in a form that shows its kind: i42, r2500, s'raw', e.T., x0FF, #12,
// (items), TYPE(items), $ and *.
std::string Show(const StepParameters& p, const StepValue& v) {
  switch (v.kind) {
    case StepKind::Unset:
      return "$";
    case StepKind::Derived:
      return "*";
    case StepKind::Integer:
      return "i" + std::to_string(v.integer);
    case StepKind::Real:
      return "r" + std::to_string(v.real);
    case StepKind::String:
      return "s'" + std::string(v.text) + "'";
    case StepKind::Enum:
      return "e" + std::string(v.text);
    case StepKind::Binary:
      return "x" + std::string(v.text);
    case StepKind::Reference:
      return "#" + std::to_string(v.reference);
    case StepKind::List:
    case StepKind::Typed: {
      std::string out = v.kind == StepKind::Typed ? std::string(v.text) + "(" : "(";
      for (const StepValue& item : p.Items(v)) out += Show(p, item) + " ";
      return out + ")";
    }
  }
  return "?";
}

std::string Show(const StepParameters& p) {
  std::string out;
  for (std::size_t i = 0; i < p.size(); ++i) out += Show(p, p[i]) + " ";
  return out;
}

TEST(StepParameters, EveryValueFormNestedAndSpaced) {
  const std::pair<const char*, const char*> cases[] = {
      {"($,*,42,-7,+3,1.,1.E-5,-0.5,2.5e3,'it''s',.ELEMENT.,.T.,\"0FF\",#12)",
       "$ * i42 i-7 i3 r1.000000 r0.000010 r-0.500000 r2500.000000 s'it''s' eELEMENT eT x0FF #12 "},
      {"((1,2),((3),()),IFCLENGTHMEASURE(3.0),IFCLABEL('x'),(#1,#2,#3))",
       "(i1 i2 ) ((i3 ) () ) IFCLENGTHMEASURE(r3.000000 ) IFCLABEL(s'x' ) (#1 #2 #3 ) "},
      {"( \n 'a' /* first; it's */ ,\r\n\t( 1 , /**/ 2 ) , IFCLABEL ( 'b' ) \n)",
       "s'a' (i1 i2 ) IFCLABEL(s'b' ) "},
      // Past the integer range: reals, infinite if need be.
      {"(100000000000000000000,1.E999)", "r100000000000000000000.000000 rinf "},
      {"()", ""},
  };
  StepParameters p;  // reused across records
  for (const auto& [text, shown] : cases) {
    ASSERT_TRUE(p.Parse(text)) << text;
    EXPECT_EQ(Show(p), shown) << text;
  }
  ASSERT_TRUE(p.Parse("(1.,'it''s',IFCLABEL('x'),IFCLENGTHMEASURE(3.0),#7)"));
  EXPECT_EQ(p[0].text, "1.");
  EXPECT_EQ(p.DecodedString(1), "it's");
  EXPECT_EQ(p.DecodedString(2), "x");  // typed strings are looked through
  EXPECT_DOUBLE_EQ(p.Unwrap(p[3]).real, 3.0);
  uint64_t id = 0;
  ASSERT_TRUE(p.Reference(4, id));
  EXPECT_EQ(id, 7u);
  EXPECT_FALSE(p.Reference(0, id));
  EXPECT_EQ(p.At(9).kind, StepKind::Unset);
  EXPECT_EQ(p.DecodedString(9), "");
}

TEST(StepParameters, BadInputLimitsAndComplexParts) {
  StepParameters p;
  // Everything after parameter 2 is garbage, but it is never looked at.
  ASSERT_TRUE(p.Parse("('a',$,'c',@@@ not a value", 2));
  EXPECT_EQ(Show(p), "s'a' $ s'c' ");
  // A syntax error keeps the values before it.
  EXPECT_FALSE(p.Parse("('a',#,3)"));
  EXPECT_EQ(p.DecodedString(0), "a");
  for (const char* bad : {"", "x", "(", "('a'", "('a',", "(1 2)", "(.T)", "(..)", "(\"0F)", "(1.E)",
                          "(-)", "(IFCLABEL)", "((1,2)", "(#)", "(')", "(1,,2)"}) {
    EXPECT_FALSE(p.Parse(bad)) << bad;
  }
  // The outer parenthesis is the parameter list itself, not a nested value; far deeper input
  // fails the same way instead of exhausting the stack.
  auto nested = [](std::size_t depth) {
    return std::string(depth, '(') + "1" + std::string(depth, ')');
  };
  EXPECT_TRUE(p.Parse(nested(StepParameters::kMaxDepth + 1)));
  EXPECT_FALSE(p.Parse(nested(StepParameters::kMaxDepth + 2)));
  EXPECT_FALSE(p.Parse(nested(200000)));

  ASSERT_TRUE(p.ParseComplex("(IFCA(1,'x') IFCB() IFCC((2,3)))"));
  EXPECT_EQ(Show(p), "IFCA(i1 s'x' ) IFCB() IFCC((i2 i3 ) ) ");
  EXPECT_FALSE(p.ParseComplex("(IFCA(1) 'x')"));
  EXPECT_FALSE(p.ParseComplex("(IFCA(1)"));
}

}  // namespace
