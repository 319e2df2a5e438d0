// QORMsgCatalog.cpp - message look-up in the shipped catalogs.
#include "ObjectModelRuntime/QORMsgCatalog.h"

#include <simdjson.h>

#include <mutex>
#include <string_view>
#include <unordered_map>

#include "ObjectModelRuntime/QORGetEnv.h"

namespace {

// A catalog read once: its texts by key, and its object as compact JSON for the page.
// Read with simdjson itself rather than the JSON streams, which sit above the object
// model and use its catalogs.
struct Catalog {
  bool found = false;
  std::string json;
  std::unordered_map<std::string, std::string> texts;
};

std::mutex g_mutex;
// Parsed catalogs by "language/catalog"; catalogs are small and read once.
std::unordered_map<std::string, Catalog>& Cache() {
  static auto* cache = new std::unordered_map<std::string, Catalog>();
  return *cache;
}

const Catalog& Load(const std::string& language, const std::string& catalog) {
  const std::string key = language + "/" + catalog;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Cache().find(key);
  if (it != Cache().end()) return it->second;
  Catalog& found = Cache()[key];
  for (const std::string& folder : QORMsgCatalog::CatalogPath()) {
    simdjson::dom::parser parser;
    simdjson::dom::object object;
    if (parser.load(folder + "/" + key + ".json").get(object) != simdjson::SUCCESS) continue;
    found.found = true;
    found.json = simdjson::minify(object);
    for (simdjson::dom::key_value_pair member : object) {
      std::string_view text;
      if (member.value.get(text) == simdjson::SUCCESS) found.texts.emplace(member.key, text);
    }
    break;
  }
  return found;
}

// Catalog names are plain identifiers: nothing that could climb out of a folder.
bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  return true;
}

}  // namespace

std::string QORMsgCatalog::Language() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = QORGetEnv(var);
    if (!value || !*value) continue;
    std::string lang(value);
    lang = lang.substr(0, lang.find_first_of("_.@"));
    if (lang == "C" || lang == "POSIX" || !IsPlainName(lang)) return "en";
    return lang;
  }
  return "en";
}

std::vector<std::string> QORMsgCatalog::CatalogPath() {
  return QORSearchPath("QOR_CATALOG_PATH", "share/catalogs", QOR_INSTALLED_CATALOG_DIR);
}

std::string QORMsgCatalog::CatalogAsJson(const char* catalog) {
  if (!catalog || !IsPlainName(catalog)) return "{}";
  const Catalog* found = &Load(Language(), catalog);
  if (!found->found) found = &Load("en", catalog);
  return found->found ? found->json : "{}";
}

QORUnicodeString QORMsgCatalog::BuildMessage(const char* catalog, const char* key,
                                             const std::vector<QORUnicodeString>& parameters,
                                             const QORUnicodeString& defaultText) {
  if (!catalog || !key || !IsPlainName(catalog)) return defaultText;
  auto textOf = [key](const Catalog& c) { return c.texts.find(key); };
  const Catalog* found = &Load(Language(), catalog);
  if (textOf(*found) == found->texts.end()) found = &Load("en", catalog);
  auto it = textOf(*found);
  if (it == found->texts.end()) return defaultText;
  QORUnicodeString text(it->second);
  for (size_t i = parameters.size(); i > 0; --i)  // "/p10" before "/p1"
    text.ReplaceAll(QORUnicodeString("/p" + std::to_string(i)), parameters[i - 1]);
  return text;
}
