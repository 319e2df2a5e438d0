// Spool.cpp - a private copy of input that can be read only once.
#include "Spool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "CommandSupport.h"
#include "JsonStreams/JIStream.h"

namespace dxfilter {

Spool::~Spool() {
  if (!_path.empty()) ::unlink(_path.c_str());
}

std::string Spool::Open(const std::string& path, std::string& error) {
  struct stat info;
  if (path != "-" && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return path;
  std::string text;
  if (!ReadTextFile(path, text, error, JSON::kMaxStreamedBytes)) return "";
  std::error_code ignored;
  std::string folder = std::filesystem::temp_directory_path(ignored).string();
  std::string name = (folder.empty() ? std::string("/tmp") : folder) + "/dxfilter-input-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = "cannot keep a copy of " + ShownName(path) + ": " + std::strerror(errno);
    return "";
  }
  _path = name;
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    ok = wrote > 0;
    if (ok) done += static_cast<size_t>(wrote);
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    error = "cannot keep a copy of " + ShownName(path) + ": " + std::strerror(errno);
    return "";
  }
  return _path;
}

}  // namespace dxfilter
