// The table of served files: what the build embedded, and what a program adds.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(WebAssets, TheKitsPagesAndTheWebApplicationsAreEmbeddedByteForByte) {
  const std::filesystem::path root(DX_SOURCE_DIR);
  std::vector<std::tuple<std::string, std::filesystem::path, std::string>> expected = {
      {"__qor/bridge.js", "host/DialogToolkit/web/bridge.js", "text/javascript; charset=utf-8"},
      {"__qor/window.js", "host/DialogToolkit/web/window.js", "text/javascript; charset=utf-8"},
      {"__qor/window.css", "host/DialogToolkit/web/window.css", "text/css; charset=utf-8"},
      {"__qor/window.html", "host/DialogToolkit/web/window.html", "text/html; charset=utf-8"},
      {"webapps/vendor/require.js", "node_modules/requirejs/require.js", ""},
  };
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "webapps")) {
    const std::string relative = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_regular_file() && relative.find("/.") == std::string::npos)
      expected.emplace_back(relative, relative, "");
  }
  for (const auto& [path, file, type] : expected) {
    std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(path);
    ASSERT_TRUE(asset) << path;
    EXPECT_EQ(asset->bytes, ReadFile(root / file)) << path;
    EXPECT_TRUE(type.empty() ? !asset->mediaType.empty() : asset->mediaType == type)
        << path << ": " << asset->mediaType;
  }
  EXPECT_FALSE(QORWebAssets::Find("__qor/README.md"));
}

TEST(WebAssets, OnlyPlainPathsUnderWebappsCanBeAddedAndWhatIsServedOutlivesAReplacement) {
  for (const std::string path :
       {"", "webapps/", "/webapps/a.html", "webapps/../a.html", "webapps/./a.html",
        "webapps//a.html", "webapps/a\\b.html", "webapps/a?b", "other/a.html", "__qor/bridge.js"})
    EXPECT_FALSE(QORWebAssets::Register(path, "x", "text/plain")) << path;
  const std::string path = "webapps/DialogToolkitTests/page.html";
  EXPECT_FALSE(QORWebAssets::Register(path, "x", ""));  // no media type
  ASSERT_TRUE(QORWebAssets::Register(path, "first", "text/html; charset=utf-8"));
  EXPECT_FALSE(QORWebAssets::Find("webapps/DialogToolkitTests/Page.html"));
  std::optional<QORWebAssets::Asset> held = QORWebAssets::Find(path);
  ASSERT_TRUE(held);
  ASSERT_TRUE(QORWebAssets::Register(path, "second", "text/plain"));
  EXPECT_EQ(QORWebAssets::Find(path)->bytes, "second");
  const std::vector<std::string> paths = QORWebAssets::Paths();
  EXPECT_TRUE(std::binary_search(paths.begin(), paths.end(), path));
  QORWebAssets::Unregister(path);
  EXPECT_FALSE(QORWebAssets::Find(path));
  EXPECT_EQ(held->bytes, "first");
  EXPECT_EQ(held->mediaType, "text/html; charset=utf-8");
}

}  // namespace
