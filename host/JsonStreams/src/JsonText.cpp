// JsonText.cpp - buffered file output, the atomic file write, and JSON string literals
// for code outside the streams.
#include "JsonText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>

#include "JsonStreams/QORJsonString.h"
#include "ObjectModelRuntime/QORErrorText.h"

namespace JSON::detail {

FileSink::FileSink(int fd) : _fd(fd), _buffer(static_cast<char*>(std::malloc(kCapacity))) {
  if (!_buffer) throw std::bad_alloc();
}

FileSink::~FileSink() {
  std::free(_buffer);
}

bool FileSink::Flush() {
  if (_used > 0) {
    WriteThrough(_buffer, _used);
    _used = 0;
  }
  return !_failed;
}

void FileSink::WriteThrough(const char* bytes, size_t count) {
  // A few megabytes a call: one write of a whole large document was seen to take several
  // times longer than the same bytes in pieces.
  constexpr size_t kMaxWrite = size_t{4} << 20;
  while (count > 0 && !_failed) {
    const ssize_t written = ::write(_fd, bytes, count < kMaxWrite ? count : kMaxWrite);
    if (written < 0) {
      if (errno == EINTR) continue;
      _failed = true;
      break;
    }
    if (_startWriteback)  // advice: an error here changes nothing the fsync will not see
      (void)::sync_file_range(_fd, static_cast<off_t>(_offset), written, SYNC_FILE_RANGE_WRITE);
    _offset += static_cast<uint64_t>(written);
    bytes += written;
    count -= static_cast<size_t>(written);
  }
}

namespace {

// Temporary files being written, for the signal handler: fixed slots, since a handler
// may neither allocate nor lock.
constexpr int kTempSlots = 16;
constexpr size_t kTempPathMax = 4096;
char g_tempPaths[kTempSlots][kTempPathMax];
std::atomic<bool> g_tempUsed[kTempSlots];
std::atomic<bool> g_tempClaimed[kTempSlots];

void RemoveTempsAndDie(int signal) {
  for (int i = 0; i < kTempSlots; ++i)
    if (g_tempUsed[i].load()) ::unlink(g_tempPaths[i]);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Installed once, and only over the default action: a program that handles the
// signals itself (dxfilter's edit waits for them) ends its writes its own way.
void WatchSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal : {SIGINT, SIGTERM}) {
      struct sigaction current {};
      if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
          (current.sa_flags & SA_SIGINFO))
        continue;
      struct sigaction action {};
      action.sa_handler = RemoveTempsAndDie;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

// Holds a temporary file's path in a slot while it exists.
class TempSlot {
 public:
  explicit TempSlot(const std::string& path) {
    if (path.size() >= kTempPathMax) return;
    for (int i = 0; i < kTempSlots; ++i) {
      bool expected = false;
      if (g_tempClaimed[i].compare_exchange_strong(expected, true)) {
        std::memcpy(g_tempPaths[i], path.c_str(), path.size() + 1);
        g_tempUsed[i].store(true);
        _slot = i;
        return;
      }
    }
  }
  ~TempSlot() {
    if (_slot < 0) return;
    g_tempUsed[_slot].store(false);
    g_tempClaimed[_slot].store(false);
  }
  TempSlot(const TempSlot&) = delete;
  TempSlot& operator=(const TempSlot&) = delete;

 private:
  int _slot = -1;
};

bool Refuse(const std::string& why) {
  QORSetErrorText(why);
  return false;
}

bool RefuseErrno(int error) {
  return Refuse(std::system_category().message(error));
}

// Follows symbolic links to the file they name (which may not exist yet).
bool ResolveLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4095) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return false;
    target.resize(static_cast<size_t>(length));
    if (!target.starts_with('/')) {
      const size_t slash = path.rfind('/');
      if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
    }
    path = target;
  }
  errno = ELOOP;
  return false;
}

// Writes straight into a FIFO or character device, which cannot be replaced.
bool WriteThrough(const std::string& path, bool fifo, const std::function<void(FileSink&)>& body) {
  // Opening a FIFO nobody reads would wait forever.
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (fifo ? O_NONBLOCK : 0));
  if (fd < 0) return errno == ENXIO ? Refuse("a FIFO without a reader") : RefuseErrno(errno);
  if (fifo) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  bool ok;
  try {
    FileSink sink(fd);
    body(sink);
    ok = sink.Flush();
  } catch (const std::exception&) {
    ok = false;
  }
  const int error = errno;
  ok = ::close(fd) == 0 && ok;
  return ok || RefuseErrno(error ? error : EIO);
}

}  // namespace

bool WriteFileAtomically(const std::string& given, const std::function<void(FileSink&)>& body) {
  if (given.empty()) return Refuse("no file name");
  std::string path = given;
  if (!ResolveLinks(path)) return RefuseErrno(errno);
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return RefuseErrno(EISDIR);
    if (S_ISFIFO(existing.st_mode) || S_ISCHR(existing.st_mode))
      return WriteThrough(path, S_ISFIFO(existing.st_mode), body);
    if (!S_ISREG(existing.st_mode)) return Refuse("not a regular file");
  }

  static std::atomic<unsigned> counter{0};
  WatchSignals();
  // A hidden name beside the target, short enough whatever the target's name.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size(), 128);
  std::string temp;
  int fd = -1;
  std::unique_ptr<TempSlot> slot;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "." + name + "." + std::to_string(::getpid()) + "." +
           std::to_string(counter++) + ".tmp";
    slot = std::make_unique<TempSlot>(temp);  // before the file exists, so a signal finds it
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return RefuseErrno(errno);
  }
  if (fd < 0) return RefuseErrno(EEXIST);

  // A rewritten file keeps the permissions it had.
  struct stat target;
  if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
    (void)::fchmod(fd, target.st_mode & 07777);

  bool ok;
  int error = 0;
  try {
    FileSink sink(fd);
    sink.StartWritebackEarly();
    body(sink);
    ok = sink.Flush();
    if (!ok) error = errno;
  } catch (const std::exception&) {  // out of memory while writing: same as a failed write
    ok = false;
    error = ENOMEM;
  }
  // Without the flush to disk a crash right after the rename could leave an empty file.
  if (ok && ::fsync(fd) != 0) ok = false, error = errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, error = errno;
  if (!ok) ::unlink(temp.c_str());
  return ok || RefuseErrno(error ? error : EIO);
}

}  // namespace JSON::detail

void QORAppendJsonString(std::string& out, std::string_view text, QORJsonQuoting quoting) {
  out.reserve(out.size() + text.size() + 2);
  JSON::detail::StringSink sink{out};
  if (quoting == QORJsonQuoting::kScript)
    JSON::detail::WriteQuoted<true>(sink, text);
  else
    JSON::detail::WriteQuoted(sink, text);
}
