// consumer.cpp - a host of the installed kit: loads the installed modules and prints
// the formats they provide and one catalog message, for check_package.sh to compare.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"
#include "ObjectModelRuntime/QOROMModule.h"

int main(int argc, char** argv) {
  // Built with CMake the folders are compiled in; with pkg-config they are arguments.
#ifdef MODULE_DIR
  const char* modules = MODULE_DIR;
  const char* catalogs = CATALOG_DIR;
#else
  if (argc != 3) return 2;
  const char* modules = argv[1];
  const char* catalogs = argv[2];
#endif
  (void)argc;
  (void)argv;
  setenv("QOR_MODULE_PATH", modules, 1);
  setenv("QOR_CATALOG_PATH", catalogs, 1);
  std::vector<std::string> errors;
  if (QORLoadModules(&errors) <= 0) {
    std::fprintf(stderr, "consumer: no module loaded from %s%s%s\n", modules,
                 errors.empty() ? "" : ": ", errors.empty() ? "" : errors.front().c_str());
    return 1;
  }
  for (const std::string& type : QORFillDictionary::ListLateTypes())
    std::printf("%s\n", type.c_str());
  std::printf("%s\n", QORMsgCatalog::BuildMessage("DXIfcProvider", "Column_Elevation", {},
                                                  QORUnicodeString("(no catalog)"))
                          .Str()
                          .c_str());
  return 0;
}
