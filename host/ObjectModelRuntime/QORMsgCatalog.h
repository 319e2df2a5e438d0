// QORMsgCatalog.h - message catalogs: texts looked up by catalog and key in the
// user's language, from the catalogs the program ships.
//
// Language: LC_ALL, LC_MESSAGES, then LANG ("fr_FR.UTF-8" gives "fr"), English when
// none is set or the language has no catalog. Catalog files are
// <folder>/<language>/<catalog>.json, an object from key to text, where the folders
// are those of QOR_CATALOG_PATH (":"-separated), else share/catalogs beside bin/.
#pragma once

#include <string>
#include <vector>

#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORMsgCatalog {
 public:
  // The message, with "/p1", "/p2" ... replaced by the parameters; the default text
  // when the catalog has no such key.
  static QORUnicodeString BuildMessage(const char* catalog, const char* key,
                                       const std::vector<QORUnicodeString>& parameters = {},
                                       const QORUnicodeString& defaultText = QORUnicodeString());
  // The whole catalog as a JSON object text ("{}" when there is none).
  static std::string CatalogAsJson(const char* catalog);
  static std::string Language();
  static std::vector<std::string> CatalogPath();
};
