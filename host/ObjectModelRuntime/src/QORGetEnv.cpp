// QORGetEnv.cpp - environment and path helpers.
#include "ObjectModelRuntime/QORGetEnv.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

const char* QORGetEnv(const char* name) {
  return name ? std::getenv(name) : nullptr;
}

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

std::vector<std::string> QORSearchPath(const char* variable, const char* belowRoot,
                                       const char* installedBelowRoot) {
  std::vector<std::string> folders;
  if (const char* env = QORGetEnv(variable); env && *env) {
    std::string all(env);
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(':', start);
      if (end == std::string::npos) end = all.size();
      if (end > start) folders.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    return folders;
  }
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n > 0) {
    std::string self(exe, static_cast<size_t>(n));
    std::string bin = self.substr(0, self.find_last_of('/'));
    std::string root = bin.substr(0, bin.find_last_of('/')) + "/";
    struct stat info;
    if (installedBelowRoot && stat((root + installedBelowRoot).c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode))
      folders.push_back(root + installedBelowRoot);
    else
      folders.push_back(root + belowRoot);
  }
  return folders;
}
