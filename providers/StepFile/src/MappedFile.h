// MappedFile.h - a read-only memory mapping of a whole file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace step {

// Owns a private read-only mapping; the bytes stay valid until Close() or destruction.
// Moving transfers the mapping (the address does not change).
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;

  // On failure returns false and sets a one-line message naming the path.
  bool Open(const std::string& path, std::string& error);
  void Close();

  std::string_view Bytes() const { return {_pData, _size}; }

  // Lets the kernel take back the resident pages of [begin, end) (whole pages only). The
  // bytes stay readable: touching them again maps them back from the page cache. This keeps
  // the process's memory near what it decoded rather than the size of the file.
  void DropResident(std::size_t begin, std::size_t end) const;
  // Maps the pages of [begin, end) in one call, ahead of reading them: one page fault each
  // 64 KiB costs more than the call. Only a hint; nothing happens on a kernel without it.
  void Populate(std::size_t begin, std::size_t end) const;
  bool IsOpen() const { return _pData != nullptr || _opened; }

 private:
  const char* _pData = nullptr;
  std::size_t _size = 0;
  bool _opened = false;  // an empty file is open but has no mapping
};

// Asks the kernel to back the whole 2 MiB blocks of [p, p + bytes) with huge pages: a large
// table then fills with one page fault per 2 MiB instead of one per 4 KiB. Call it on a
// fresh reservation, before the memory is first written. Only a hint; nothing else changes.
void AdviseHugePages(const void* p, std::size_t bytes);
// Memory for large tables filled once (lookups, a tree's layout). From 64 KiB on, a table takes
// whole 2 MiB pages from its first byte: first touches of small pages cost far more, and a table
// of the heap's, aligned anyhow, begins and ends in them.
void* AllocateTable(std::size_t bytes);
void FreeTable(void* p, std::size_t bytes) noexcept;
// Hands the whole pages inside [p, p + bytes) back to the kernel: memory whose content is no
// longer needed but whose block is freed only later.
void ReleasePages(const void* p, std::size_t bytes);
// The room of a table past its end, handed back: a huge page is resident whole from its first
// write, so a table filled once keeps what it did not use unless it gives it back.
template <class Table>
void ReleaseUnusedRoom(const Table& table) {
  ReleasePages(table.data() + table.size(),
               (table.capacity() - table.size()) * sizeof(*table.data()));
}

}  // namespace step
