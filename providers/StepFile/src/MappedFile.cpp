#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace step {

namespace {

std::string ErrnoText(int code) {
  return std::error_code(code, std::generic_category()).message();
}

}  // namespace

MappedFile::~MappedFile() {
  Close();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : _pData(std::exchange(other._pData, nullptr)),
      _size(std::exchange(other._size, 0)),
      _opened(std::exchange(other._opened, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    _pData = std::exchange(other._pData, nullptr);
    _size = std::exchange(other._size, 0);
    _opened = std::exchange(other._opened, false);
  }
  return *this;
}

bool MappedFile::Open(const std::string& path, std::string& error) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open '" + path + "': " + ErrnoText(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = "cannot read '" + path + "': " + ErrnoText(errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "cannot read '" + path + "': not a regular file";
    ::close(fd);
    return false;
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size == 0) {
    ::close(fd);
    _opened = true;
    return true;
  }
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapError = errno;
  ::close(fd);  // the mapping keeps the file referenced
  if (mapped == MAP_FAILED) {
    error = "cannot map '" + path + "': " + ErrnoText(mapError);
    return false;
  }
  // The indexer reads front to back once; let the kernel read ahead aggressively.
  ::madvise(mapped, size, MADV_SEQUENTIAL);
  _pData = static_cast<const char*>(mapped);
  _size = size;
  _opened = true;
  return true;
}

void MappedFile::DropResident(std::size_t begin, std::size_t end) const {
  if (_pData == nullptr) return;
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  end = std::min(end, _size);
  begin = (begin + page - 1) / page * page;
  end = end == _size ? end : end / page * page;
  if (begin >= end) return;
  ::madvise(const_cast<char*>(_pData) + begin, end - begin, MADV_DONTNEED);
}

void MappedFile::Populate(std::size_t begin, std::size_t end) const {
#if defined(MADV_POPULATE_READ)
  if (_pData == nullptr) return;
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  end = std::min(end, _size);
  begin = begin / page * page;
  if (begin >= end) return;
  ::madvise(const_cast<char*>(_pData) + begin, end - begin, MADV_POPULATE_READ);
#else
  (void)begin;
  (void)end;
#endif
}

void AdviseHugePages(const void* p, std::size_t bytes) {
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (begin >= end) return;
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void ReleasePages(const void* p, std::size_t bytes) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(page - 1);
  if (begin >= end) return;
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

void MappedFile::Close() {
  if (_pData != nullptr) {
    ::munmap(const_cast<char*>(_pData), _size);
  }
  _pData = nullptr;
  _size = 0;
  _opened = false;
}

}  // namespace step
