// The table of served files: the kit's own pages, the web applications that loaded
// modules bring, and what a program adds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DialogToolkit/QORWebAssets.h"
#include "ObjectModelRuntime/QOROMModule.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each path is served with the bytes of its file, and a media type.
using Files = std::vector<std::pair<std::string, std::filesystem::path>>;
void ExpectServed(const Files& files) {
  for (const auto& [path, file] : files) {
    std::optional<QORWebAssets::Asset> asset = QORWebAssets::Find(path);
    ASSERT_TRUE(asset) << path;
    EXPECT_EQ(asset->bytes, ReadFile(file)) << path;
    EXPECT_FALSE(asset->mediaType.empty()) << path;
  }
}

TEST(WebAssets, TheKitServesOnlyItsOwnPagesAndLoadedModulesBringTheirWebApplications) {
  const std::filesystem::path root(DX_SOURCE_DIR);
  for (const std::string& path : QORWebAssets::Paths())
    EXPECT_TRUE(path.starts_with("__qor/")) << path << " belongs to no module";
  const std::filesystem::path kit = root / "host/DialogToolkit/web";
  ExpectServed({{"__qor/bridge.js", kit / "bridge.js"},
                {"__qor/window.js", kit / "window.js"},
                {"__qor/window.css", kit / "window.css"},
                {"__qor/window.html", kit / "window.html"},
                {"__qor/icon.svg", kit / "icon.svg"}});

  std::vector<std::string> errors;
  ASSERT_GT(QORLoadModules(&errors), 0) << (errors.empty() ? "no module" : errors[0]);
  Files pages = {{"webapps/vendor/require.js", root / "node_modules/requirejs/require.js"}};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "webapps")) {
    const std::string relative = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_regular_file() && relative.find("/.") == std::string::npos &&
        !relative.ends_with("/FilterBundle.js"))
      pages.emplace_back(relative, entry.path());
  }
  ExpectServed(pages);
}

// What a program adds by hand comes first, then the sets, the newest first; a set takes
// only plain paths under webapps/ and is gone once its library takes it back.
TEST(WebAssets, OnlyPlainPathsUnderWebappsCanBeAddedAndWhatIsServedOutlivesAReplacement) {
  for (const std::string path :
       {"", "webapps/", "/webapps/a.html", "webapps/../a.html", "webapps/./a.html",
        "webapps//a.html", "webapps/a\\b.html", "webapps/a?b", "other/a.html", "__qor/bridge.js"})
    EXPECT_FALSE(QORWebAssets::Register(path, "x", "text/plain")) << path;
  const std::string path = "webapps/DialogToolkitTests/page.html";
  const char older[] = "older", newer[] = "newer", evil[] = "evil";
  const QORWebAssets::Entry olderSet[] = {{path.c_str(), older, older + 5, "text/html"}};
  const QORWebAssets::Entry newerSet[] = {{"__qor/bridge.js", evil, evil + 4, "text/javascript"},
                                          {path.c_str(), newer, newer + 5, "text/plain"}};
  EXPECT_TRUE(QORWebAssets::AddSet(olderSet, 1));
  EXPECT_FALSE(QORWebAssets::AddSet(newerSet, 2));
  EXPECT_EQ(QORWebAssets::Find(path)->bytes, "newer");
  EXPECT_NE(QORWebAssets::Find("__qor/bridge.js")->bytes, "evil");
  EXPECT_FALSE(QORWebAssets::Register(path, "x", ""));  // no media type
  ASSERT_TRUE(QORWebAssets::Register(path, "first", "text/html; charset=utf-8"));
  std::optional<QORWebAssets::Asset> held = QORWebAssets::Find(path);
  ASSERT_TRUE(held);
  ASSERT_TRUE(QORWebAssets::Register(path, "second", "text/plain"));
  EXPECT_EQ(QORWebAssets::Find(path)->bytes, "second");
  QORWebAssets::Unregister(path);
  EXPECT_EQ(QORWebAssets::Find(path)->bytes, "newer");
  QORWebAssets::RemoveSet(newerSet);
  EXPECT_EQ(QORWebAssets::Find(path)->bytes, "older");
  QORWebAssets::RemoveSet(olderSet);
  EXPECT_FALSE(QORWebAssets::Find(path));
  EXPECT_EQ(held->bytes, "first");
  EXPECT_EQ(held->mediaType, "text/html; charset=utf-8");
}

}  // namespace
