// The table of served files: what the build embedded, and what a program adds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DialogToolkit/QORWebAssets.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(WebAssets, TheKitsPagesAreEmbeddedByteForByteWithTheirMediaTypes) {
  const std::filesystem::path web = std::filesystem::path(DX_SOURCE_DIR) / "host/DialogToolkit/web";
  const std::pair<const char*, const char*> kKit[] = {
      {"bridge.js", "text/javascript; charset=utf-8"},
      {"window.js", "text/javascript; charset=utf-8"},
      {"window.css", "text/css; charset=utf-8"},
      {"window.html", "text/html; charset=utf-8"},
  };
  for (const auto& [name, type] : kKit) {
    std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(std::string("__qor/") + name);
    ASSERT_TRUE(asset) << name;
    EXPECT_EQ(asset->bytes, ReadFile(web / name)) << name;
    EXPECT_EQ(asset->mediaType, type) << name;
  }
  EXPECT_FALSE(QORWebAssets::Find("__qor/README.md"));
}

TEST(WebAssets, TheRepositorysWebApplicationsAndVendorScriptsAreEmbedded) {
  const std::filesystem::path root(DX_SOURCE_DIR);
  std::vector<std::pair<std::string, std::filesystem::path>> expected;
  if (std::filesystem::is_directory(root / "webapps")) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "webapps")) {
      const std::string relative =
          std::filesystem::relative(entry.path(), root / "webapps").string();
      if (!entry.is_regular_file() || relative.find("/.") != std::string::npos ||
          relative.starts_with("."))
        continue;
      expected.emplace_back("webapps/" + relative, entry.path());
    }
  }
  const std::pair<const char*, const char*> kVendors[] = {
      {"webapps/vendor/require.js", "node_modules/requirejs/require.js"},
  };
  for (const auto& [path, file] : kVendors)
    if (std::filesystem::exists(root / file)) expected.emplace_back(path, root / file);
  if (expected.empty()) GTEST_SKIP() << "no web application or vendor script in this checkout";
  for (const auto& [path, file] : expected) {
    std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(path);
    ASSERT_TRUE(asset) << path;
    EXPECT_EQ(asset->bytes, ReadFile(file)) << path;
  }
  std::optional<QORWebAssets::Asset> script = QORWebAssets::Find(expected.back().first);
  ASSERT_TRUE(script);
  EXPECT_FALSE(script->mediaType.empty());
}

TEST(WebAssets, OnlyPlainPathsUnderWebappsCanBeRegistered) {
  for (const std::string path :
       {"", "webapps/", "webapps", "/webapps/a.html", "webapps/../a.html", "webapps/a/../b.html",
        "webapps/./a.html", "webapps//a.html", "webapps/a/", "webapps/a\\b.html", "webapps/a?b",
        "webapps/a#b", "other/a.html", "webapps/a\nb"}) {
    EXPECT_FALSE(QORWebAssets::Register(path, "x", "text/plain")) << path;
    EXPECT_FALSE(QORWebAssets::Find(path)) << path;
  }
  EXPECT_FALSE(QORWebAssets::Register("webapps/DialogToolkitTests/no-type.txt", "x", ""));
  EXPECT_FALSE(QORWebAssets::Find("webapps/DialogToolkitTests/no-type.txt"));
  // The kit's own files cannot be replaced.
  EXPECT_FALSE(QORWebAssets::Register("__qor/bridge.js", "x", "text/javascript"));
  EXPECT_NE(QORWebAssets::Find("__qor/bridge.js")->bytes, "x");
}

TEST(WebAssets, LookUpsAreExactAndAddedFilesCanBeReplacedAndRemoved) {
  const std::string path = "webapps/DialogToolkitTests/page.html";
  ASSERT_TRUE(QORWebAssets::Register(path, "first", "text/html; charset=utf-8"));
  for (const std::string near :
       {"webapps/DialogToolkitTests/Page.html", "webapps/DialogToolkitTests/page.html/",
        "webapps/DialogToolkitTests", "webapps/DialogToolkitTests/page.htm",
        "webapps/DialogToolkitTests/page.html%00"})
    EXPECT_FALSE(QORWebAssets::Find(near)) << near;

  std::optional<QORWebAssets::Asset> held = QORWebAssets::Find(path);
  ASSERT_TRUE(held);
  ASSERT_TRUE(QORWebAssets::Register(path, "second", "text/plain"));
  // What a response is still sending stays valid after the replacement.
  EXPECT_EQ(held->bytes, "first");
  EXPECT_EQ(held->mediaType, "text/html; charset=utf-8");
  std::optional<QORWebAssets::Asset> now = QORWebAssets::Find(path);
  ASSERT_TRUE(now);
  EXPECT_EQ(now->bytes, "second");
  EXPECT_EQ(now->mediaType, "text/plain");
  const std::vector<std::string> paths = QORWebAssets::Paths();
  EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end());

  QORWebAssets::Unregister(path);
  EXPECT_FALSE(QORWebAssets::Find(path));
  EXPECT_EQ(held->bytes, "first");
}

}  // namespace
