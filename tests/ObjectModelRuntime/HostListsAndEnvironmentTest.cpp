// The host's one-based lists and its path splitting.
#include <gtest/gtest.h>

#include "ObjectModelRuntime/QORGetEnv.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ObjectModelRuntime/QORRawCollPV.h"

namespace {

TEST(HostList, IndicesRunFromOneToSize) {
  QORListValQORUnicodeString list;
  QORUnicodeString second("second");
  list.Append(QORUnicodeString("first"));
  list.Append(second);
  list.Append(QORUnicodeString("third"));
  ASSERT_EQ(list.Size(), 3);
  list[2] = "changed";
  EXPECT_STREQ(second, "second");  // appended by copy
  std::string joined;
  for (const QORUnicodeString& s : list) joined += s.Str() + ",";
  EXPECT_EQ(joined, "first,changed,third,");
  EXPECT_STREQ(list[1], "first");
  list.RemoveAll();
  EXPECT_EQ(list.Size(), 0);

  int a = 0, b = 0;
  QORRawCollPV pointers;
  pointers.Reserve(-3);  // a negative reservation is no reservation
  pointers.Append(&a);
  pointers.Append(nullptr);
  pointers.Append(&b);
  ASSERT_EQ(pointers.Size(), 3);
  EXPECT_EQ(pointers[1], &a);
  EXPECT_EQ(pointers[2], nullptr);
  EXPECT_EQ(pointers[3], &b);
}

TEST(HostPaths, SplitPathSeparatesFolderAndFileNameAtTheLastSeparator) {
  const struct {
    const char* path;
    const char* folder;
    const char* fileName;
  } cases[] = {
      {"/data/models/site.ifc", "/data/models", "site.ifc"},
      {"C:\\data/models\\site.ifc", "C:\\data/models", "site.ifc"},
      {"site.ifc", "", "site.ifc"},
      {"/data/models/", "/data/models", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    QORUnicodeString folder("stale"), fileName("stale");
    QORSplitPath(c.path, folder, fileName);
    EXPECT_STREQ(folder, c.folder) << c.path;
    EXPECT_STREQ(fileName, c.fileName) << c.path;
  }
}

}  // namespace
