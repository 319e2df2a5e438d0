// The host's one-based lists, its environment look-up and its path splitting.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "ObjectModelRuntime/QORGetEnv.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ObjectModelRuntime/QORRawCollPV.h"

namespace {

TEST(HostList, StringListIndicesRunFromOneToSize) {
  QORListValQORUnicodeString list;
  EXPECT_EQ(list.Size(), 0);
  list.Append(QORUnicodeString("first"));
  QORUnicodeString second("second");
  list.Append(second);
  list.Append(QORUnicodeString("third"));
  ASSERT_EQ(list.Size(), 3);
  EXPECT_STREQ(list[1], "first");
  EXPECT_STREQ(list[2], "second");
  EXPECT_STREQ(list[list.Size()], "third");

  list[2] = "changed";
  EXPECT_STREQ(list[2], "changed");
  EXPECT_STREQ(second, "second");  // appended by copy

  int visited = 0;
  for (const QORUnicodeString& s : list) {
    ++visited;
    EXPECT_STREQ(s, list[visited]);
  }
  EXPECT_EQ(visited, 3);
  list.RemoveAll();
  EXPECT_EQ(list.Size(), 0);
}

TEST(HostList, PointerCollectionIndicesRunFromOneToSize) {
  int a = 0, b = 0;
  QORRawCollPV list;
  list.Reserve(-3);  // a negative reservation is no reservation
  list.Append(&a);
  list.Append(nullptr);
  list.Append(&b);
  ASSERT_EQ(list.Size(), 3);
  EXPECT_EQ(list[1], &a);
  EXPECT_EQ(list[2], nullptr);
  EXPECT_EQ(list[3], &b);
  list.RemoveAll();
  EXPECT_EQ(list.Size(), 0);
}

TEST(HostEnvironment, GetEnvGivesNullForUndefinedAndTheValueOtherwise) {
  const char* name = "QOR_HOSTKIT_TEST_VARIABLE";
  unsetenv(name);
  EXPECT_EQ(QORGetEnv(name), nullptr);
  setenv(name, "", 1);
  ASSERT_NE(QORGetEnv(name), nullptr);
  EXPECT_STREQ(QORGetEnv(name), "");
  setenv(name, "some value", 1);
  EXPECT_STREQ(QORGetEnv(name), "some value");
  unsetenv(name);
  EXPECT_EQ(QORGetEnv(name), nullptr);
  EXPECT_EQ(QORGetEnv(nullptr), nullptr);
}

struct SplitCase {
  const char* path;
  const char* folder;
  const char* fileName;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << '"' << c.path << '"';
}

class SplitPath : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPath, SeparatesFolderAndFileNameAtTheLastSeparator) {
  const SplitCase& c = GetParam();
  QORUnicodeString folder("stale"), fileName("stale");
  QORSplitPath(c.path, folder, fileName);
  EXPECT_STREQ(folder, c.folder);
  EXPECT_STREQ(fileName, c.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    HostPaths, SplitPath,
    ::testing::Values(SplitCase{"/data/models/site.ifc", "/data/models", "site.ifc"},
                      SplitCase{"C:\\data\\models\\site.ifc", "C:\\data\\models", "site.ifc"},
                      SplitCase{"C:\\data/models\\site.ifc", "C:\\data/models", "site.ifc"},
                      SplitCase{"C:/data\\models/site.ifc", "C:/data\\models", "site.ifc"},
                      SplitCase{"site.ifc", "", "site.ifc"},
                      SplitCase{"/data/models/", "/data/models", ""},
                      SplitCase{"/d\xC3\xA9j\xC3\xA0/pi\xC3\xA8"
                                "ce.ifc",
                                "/d\xC3\xA9j\xC3\xA0",
                                "pi\xC3\xA8"
                                "ce.ifc"},
                      SplitCase{"", "", ""}));

}  // namespace
