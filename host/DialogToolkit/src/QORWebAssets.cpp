// QORWebAssets.cpp - the table of served files: the embedded ones, and those added at
// run time, which take precedence so that a program can replace an embedded page.
#include "DialogToolkit/QORWebAssets.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>

#include "DialogToolkit/src/QORWebAssetsEmbedded.h"

namespace {

struct Added {
  std::shared_ptr<const std::string> bytes;
  std::string mediaType;
};

struct Table {
  std::mutex mutex;
  std::map<std::string, Added, std::less<>> added;
  std::unordered_map<std::string_view, const QOREmbeddedWebAsset*> embedded;

  Table() {
    size_t count = 0;
    const QOREmbeddedWebAsset* assets = QOREmbeddedWebAssets(&count);
    for (size_t i = 0; i < count; ++i) embedded.emplace(assets[i].path, &assets[i]);
  }
};

Table& GetTable() {
  // Never destroyed: server threads may still look paths up while the process exits.
  static Table* table = new Table();
  return *table;
}

bool IsServablePath(const std::string& path) {
  constexpr std::string_view kPrefix = "webapps/";
  if (path.size() <= kPrefix.size() || path.compare(0, kPrefix.size(), kPrefix) != 0) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view segment(path.data() + start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '?' || c == '#') return false;
  return true;
}

}  // namespace

bool QORWebAssets::Register(const std::string& path, std::string bytes,
                            const std::string& mediaType) {
  return Register(path, std::make_shared<const std::string>(std::move(bytes)), mediaType);
}

bool QORWebAssets::Register(const std::string& path, std::shared_ptr<const std::string> shared,
                            const std::string& mediaType) {
  if (!shared || !IsServablePath(path) || mediaType.empty()) return false;
  Table& table = GetTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.added[path] = Added{std::move(shared), mediaType};
  return true;
}

void QORWebAssets::Unregister(const std::string& path) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.added.erase(path);
}

std::optional<QORWebAssets::Asset> QORWebAssets::Find(std::string_view path) {
  Table& table = GetTable();
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.added.find(path);
    if (it != table.added.end()) {
      // The media type lives beside the bytes so that a later Register cannot free it.
      auto holder = std::make_shared<std::pair<std::shared_ptr<const std::string>, std::string>>(
          it->second.bytes, it->second.mediaType);
      return Asset{*holder->first, holder->second, holder};
    }
  }
  auto it = table.embedded.find(path);
  if (it == table.embedded.end()) return std::nullopt;
  const QOREmbeddedWebAsset* asset = it->second;
  return Asset{std::string_view(asset->begin, static_cast<size_t>(asset->end - asset->begin)),
               asset->mediaType, nullptr};
}

std::vector<std::string> QORWebAssets::Paths() {
  Table& table = GetTable();
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const auto& [path, added] : table.added) paths.push_back(path);
  }
  for (const auto& [path, asset] : table.embedded) paths.emplace_back(path);
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}
