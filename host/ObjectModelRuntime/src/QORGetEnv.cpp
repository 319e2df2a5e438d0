// QORGetEnv.cpp - environment and path helpers.
#include "ObjectModelRuntime/QORGetEnv.h"

#include <cstdlib>

const char* QORGetEnv(const char* name) { return name ? std::getenv(name) : nullptr; }

void QORSplitPath(const QORUnicodeString& path, QORUnicodeString& folder,
                  QORUnicodeString& fileName) {
  const std::string& text = path.Str();
  size_t cut = text.find_last_of("/\\");
  if (cut == std::string::npos) {
    folder = QORUnicodeString();
    fileName = path;
    return;
  }
  folder = QORUnicodeString(std::string_view(text).substr(0, cut));
  fileName = QORUnicodeString(std::string_view(text).substr(cut + 1));
}

std::string QORNativePath(std::string_view hostPath) {
  std::string path(hostPath);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}
