// QORDXEnvironmentVariable: a variable is set when defined at all, even empty.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"

namespace {

constexpr const char* kName = "QORDX_TEST_ENVIRONMENT_SWITCH";

class DXEnvironmentVariable : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv(kName); }
  void TearDown() override { unsetenv(kName); }
};

TEST_F(DXEnvironmentVariable, HasBeenSetIsTrueForAVariableDefinedEmpty) {
  EXPECT_FALSE(QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString(kName)));
  setenv(kName, "", 1);
  EXPECT_TRUE(QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString(kName)));
  setenv(kName, "0", 1);
  EXPECT_TRUE(QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString(kName)));
  unsetenv(kName);
  EXPECT_FALSE(QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString(kName)));
}

TEST_F(DXEnvironmentVariable, GetValueGivesTheValueOfADefinedVariable) {
  QORUnicodeString value("previous");
  setenv(kName, "/tmp/\xC3\xA9tage", 1);
  ASSERT_TRUE(QORDXEnvironmentVariable::GetValue(QORDXUnicodeString(kName), value));
  EXPECT_STREQ(value, "/tmp/\xC3\xA9tage");

  setenv(kName, "", 1);
  ASSERT_TRUE(QORDXEnvironmentVariable::GetValue(QORDXUnicodeString(kName), value));
  EXPECT_STREQ(value, "");
}

TEST_F(DXEnvironmentVariable, GetValueOfAnUndefinedVariableLeavesTheValueAlone) {
  QORUnicodeString value("previous");
  EXPECT_FALSE(QORDXEnvironmentVariable::GetValue(QORDXUnicodeString(kName), value));
  EXPECT_STREQ(value, "previous");
}

}  // namespace
