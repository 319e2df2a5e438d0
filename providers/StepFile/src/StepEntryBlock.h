// StepEntryBlock.h - the instance index's storage: one block both indexing threads write into.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <span>
#include <utility>

#include "MappedFile.h"
#include "StepEntry.h"

namespace step {

// A std::vector would do for one thread. With two, the stretch read ahead writes its entries
// into the same block at a slot guessed past the main pass's last, so joining moves them down
// in place instead of copying them into fresh pages (the page faults were most of the join).
// Capacity never written costs no resident memory.
//
//   StepEntryBlock block;
//   block.Reserve(n);                  // may throw std::bad_alloc
//   block.Data()[0] = entry;           // any slot below Capacity()
//   block.SetSize(1);
class StepEntryBlock {
 public:
  StepEntryBlock() = default;
  ~StepEntryBlock() { FreeTable(_pData, _capacity * sizeof(StepEntry)); }
  StepEntryBlock(const StepEntryBlock&) = delete;
  StepEntryBlock& operator=(const StepEntryBlock&) = delete;
  StepEntryBlock(StepEntryBlock&& other) noexcept
      : _pData(std::exchange(other._pData, nullptr)),
        _size(std::exchange(other._size, 0)),
        _capacity(std::exchange(other._capacity, 0)) {}
  StepEntryBlock& operator=(StepEntryBlock&& other) noexcept {
    if (this != &other) {
      FreeTable(_pData, _capacity * sizeof(StepEntry));
      _pData = std::exchange(other._pData, nullptr);
      _size = std::exchange(other._size, 0);
      _capacity = std::exchange(other._capacity, 0);
    }
    return *this;
  }

  // Grows to at least `capacity` entries, keeping the first Size(). A large block is a table
  // of whole huge pages (AllocateTable).
  void Reserve(std::size_t capacity) {
    if (capacity <= _capacity) return;
    // StepEntry is trivially copyable: raw storage holds it without construction.
    void* grown = AllocateTable(capacity * sizeof(StepEntry));
    if (_size != 0) std::memcpy(grown, _pData, _size * sizeof(StepEntry));
    FreeTable(_pData, _capacity * sizeof(StepEntry));
    _pData = static_cast<StepEntry*>(grown);
    _capacity = capacity;
  }
  void Clear() { *this = StepEntryBlock(); }

  StepEntry* Data() { return _pData; }
  const StepEntry* Data() const { return _pData; }
  std::size_t Size() const { return _size; }
  std::size_t Capacity() const { return _capacity; }
  void SetSize(std::size_t size) { _size = size; }
  std::span<const StepEntry> View() const { return {_pData, _size}; }

 private:
  StepEntry* _pData = nullptr;
  std::size_t _size = 0;
  std::size_t _capacity = 0;
};

}  // namespace step
