// QORWebAssets.cpp - the table of served files: single files added at run time first,
// so that a program can replace a page, then the libraries' sets, newest first, then
// the kit's own embedded files.
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

using Index = std::unordered_map<std::string_view, const QORWebAssets::Entry*>;

struct Table {
  std::mutex mutex;
  std::map<std::string, Added, std::less<>> added;
  std::vector<std::pair<const QORWebAssets::Entry*, Index>> sets;
  Index embedded;  // never changes after construction: read without the lock

  Table() {
    size_t count = 0;
    const QORWebAssets::Entry* assets = QOREmbeddedWebAssets(&count);
    for (size_t i = 0; i < count; ++i) embedded.emplace(assets[i].path, &assets[i]);
  }
};

QORWebAssets::Asset FromEntry(const QORWebAssets::Entry& entry) {
  return {std::string_view(entry.begin, static_cast<size_t>(entry.end - entry.begin)),
          entry.mediaType, nullptr};
}

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

bool QORWebAssets::AddSet(const Entry* entries, size_t count) {
  Index index;
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    const Entry& entry = entries[i];
    const bool servable = entry.path && entry.begin && entry.end >= entry.begin &&
                          entry.mediaType && *entry.mediaType && IsServablePath(entry.path);
    if (servable)
      index.emplace(entry.path, &entry);
    else
      all = false;
  }
  Table& table = GetTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.sets.emplace_back(entries, std::move(index));
  return all;
}

void QORWebAssets::RemoveSet(const Entry* entries) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::erase_if(table.sets, [&](const auto& set) { return set.first == entries; });
}

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
    for (auto set = table.sets.rbegin(); set != table.sets.rend(); ++set) {
      auto found = set->second.find(path);
      if (found != set->second.end()) return FromEntry(*found->second);
    }
  }
  auto it = table.embedded.find(path);
  if (it == table.embedded.end()) return std::nullopt;
  return FromEntry(*it->second);
}

std::vector<std::string> QORWebAssets::Paths() {
  Table& table = GetTable();
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const auto& [path, added] : table.added) paths.push_back(path);
    for (const auto& [entries, index] : table.sets)
      for (const auto& [path, entry] : index) paths.emplace_back(path);
  }
  for (const auto& [path, asset] : table.embedded) paths.emplace_back(path);
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}
