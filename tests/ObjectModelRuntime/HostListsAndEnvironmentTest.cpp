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

TEST(HostList, RemoveAllKeepsStringsThatLaterAppendsReuse) {
  const std::string longer(40, 'x');
  QORListValQORUnicodeString list;
  list.AppendText(longer);
  list.Append(QORUnicodeString("second"));
  const char* kept = list[1].CastToCharPtr();
  list.RemoveAll();
  EXPECT_EQ(list.begin(), list.end());
  list.AppendText("a text shorter than the first");
  EXPECT_EQ(list[1].CastToCharPtr(), kept);  // written into the kept string's room
  ASSERT_EQ(list.Size(), 1);
  std::string joined;
  for (const QORUnicodeString& s : list) joined += s.Str() + ",";
  EXPECT_EQ(joined, "a text shorter than the first,");  // "second" stays out of sight

  // Items of the list itself, appended while the list grows and while it reuses.
  list.Append(list[1]);
  list.AppendText(list[2].View());
  list.RemoveAll();
  list.Append(QORUnicodeString(longer));
  list.Append(list[1]);
  ASSERT_EQ(list.Size(), 2);
  EXPECT_EQ(list[2].Str(), longer);

  QORListValQORUnicodeString copy(list);
  EXPECT_EQ(copy.Size(), 2);
  copy = list;
  EXPECT_EQ(copy.Size(), 2);
  QORListValQORUnicodeString moved(std::move(copy));
  EXPECT_EQ(moved.Size(), 2);
  EXPECT_EQ(copy.Size(), 0);  // NOLINT(bugprone-use-after-move): a moved list is empty
  copy.AppendText("again");
  EXPECT_EQ(copy.Size(), 1);
  moved = std::move(list);
  EXPECT_EQ(moved[1].Str(), longer);
  EXPECT_EQ(list.Size(), 0);  // NOLINT(bugprone-use-after-move)
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
