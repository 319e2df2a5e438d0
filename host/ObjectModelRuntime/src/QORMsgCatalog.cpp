// QORMsgCatalog.cpp - message look-up in the shipped catalogs.
#include "ObjectModelRuntime/QORMsgCatalog.h"

#include <limits.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORGetEnv.h"

namespace {

std::mutex g_mutex;
// Parsed catalogs by "language/catalog"; catalogs are small and read once.
std::unordered_map<std::string, JSON::JIStream>& Cache() {
  static auto* cache = new std::unordered_map<std::string, JSON::JIStream>();
  return *cache;
}

JSON::JIStream Load(const std::string& language, const std::string& catalog) {
  const std::string key = language + "/" + catalog;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Cache().find(key);
  if (it != Cache().end()) return it->second;
  JSON::JIStream found;
  for (const std::string& folder : QORMsgCatalog::CatalogPath()) {
    JSON::JIStream view;
    if (view.ParseFile(QORUnicodeString(folder + "/" + key + ".json")) && view.IsObject()) {
      found = view;
      break;
    }
  }
  Cache()[key] = found;
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
  JSON::JIStream view = Load(Language(), catalog);
  if (view.Empty() && Language() != "en") view = Load("en", catalog);
  return view.Empty() ? "{}" : view.Stringify().Str();
}

QORUnicodeString QORMsgCatalog::BuildMessage(const char* catalog, const char* key,
                                             const std::vector<QORUnicodeString>& parameters,
                                             const QORUnicodeString& defaultText) {
  if (!catalog || !key || !IsPlainName(catalog)) return defaultText;
  JSON::JIStream view = Load(Language(), catalog);
  if (!view.Exist(key) && Language() != "en") view = Load("en", catalog);
  if (!view.Exist(key)) return defaultText;
  QORUnicodeString text = view.ReadString(key);
  for (size_t i = parameters.size(); i > 0; --i)  // "/p10" before "/p1"
    text.ReplaceAll(QORUnicodeString("/p" + std::to_string(i)), parameters[i - 1]);
  return text;
}
