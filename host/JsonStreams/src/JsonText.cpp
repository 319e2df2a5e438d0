// JsonText.cpp - buffered file output and the atomic file write.
#include "JsonText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>

namespace JSON::detail {

FileSink::FileSink(int fd) : _fd(fd), _buffer(static_cast<char*>(std::malloc(kCapacity))) {
  if (!_buffer) throw std::bad_alloc();
}

FileSink::~FileSink() { std::free(_buffer); }

bool FileSink::Flush() {
  if (_used > 0) {
    WriteThrough(_buffer, _used);
    _used = 0;
  }
  return !_failed;
}

void FileSink::WriteThrough(const char* bytes, size_t count) {
  while (count > 0 && !_failed) {
    const ssize_t written = ::write(_fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      _failed = true;
      break;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
}

bool WriteFileAtomically(const std::string& path, const std::function<void(FileSink&)>& body) {
  if (path.empty()) return false;
  static std::atomic<unsigned> counter{0};
  // A hidden name beside the target, short enough whatever the target's name.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size(), 128);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "." + name + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  // A rewritten file keeps the permissions it had.
  struct stat target;
  if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
    (void)::fchmod(fd, target.st_mode & 07777);

  bool ok;
  try {
    FileSink sink(fd);
    body(sink);
    ok = sink.Flush();
  } catch (const std::exception&) {  // out of memory while writing: same as a failed write
    ok = false;
  }
  // Without the flush to disk a crash right after the rename could leave an empty file.
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace JSON::detail
