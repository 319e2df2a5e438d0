// QORDXEnvironmentVariable: a variable is set when defined at all, even empty.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"

namespace {

TEST(DXEnvironmentVariable, ADefinedVariableIsSetEvenEmptyAndAnUndefinedOneLeavesTheValue) {
  const QORDXUnicodeString name("QORDX_TEST_ENVIRONMENT_SWITCH");
  unsetenv(name.Str().c_str());
  QORUnicodeString value("previous");
  EXPECT_FALSE(QORDXEnvironmentVariable::HasBeenSet(name));
  EXPECT_FALSE(QORDXEnvironmentVariable::GetValue(name, value));
  EXPECT_STREQ(value, "previous");
  for (const char* defined : {"/tmp/\xC3\xA9tage", ""}) {
    setenv(name.Str().c_str(), defined, 1);
    EXPECT_TRUE(QORDXEnvironmentVariable::HasBeenSet(name));
    ASSERT_TRUE(QORDXEnvironmentVariable::GetValue(name, value));
    EXPECT_STREQ(value, defined);
  }
  unsetenv(name.Str().c_str());
}

}  // namespace
