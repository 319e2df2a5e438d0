// UidSet.h - a set of uids viewed in the texts of filter documents, for the carry.
//
// Open addressing in one array: std::unordered_set allocates a node per element, and a
// carry puts every uid of two documents into sets, a hundred thousand and more a side.
// The views must outlive the set.
#pragma once

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdint>
#include <string_view>
#include <vector>

class UidSet {
 public:
  void Reserve(size_t count) {
    size_t capacity = 16;
    while (capacity < count * 2) capacity *= 2;
    if (capacity > _slots.size()) Rehash(capacity);
  }
  // True when the uid was not in the set yet.
  bool Insert(std::string_view uid) {
    if ((_size + 1) * 2 > _slots.size()) Rehash(_slots.empty() ? 16 : _slots.size() * 2);
    const uint64_t hash = XXH3_64bits(uid.data(), uid.size());
    for (size_t i = hash & (_slots.size() - 1);; i = (i + 1) & (_slots.size() - 1)) {
      Slot& slot = _slots[i];
      if (!slot.key.data()) {
        slot = {hash, uid};
        ++_size;
        return true;
      }
      if (slot.hash == hash && slot.key == uid) return false;
    }
  }
  bool Contains(std::string_view uid) const {
    if (_slots.empty()) return false;
    const uint64_t hash = XXH3_64bits(uid.data(), uid.size());
    for (size_t i = hash & (_slots.size() - 1);; i = (i + 1) & (_slots.size() - 1)) {
      const Slot& slot = _slots[i];
      if (!slot.key.data()) return false;
      if (slot.hash == hash && slot.key == uid) return true;
    }
  }
  size_t Size() const { return _size; }
  void Clear() {
    _slots.clear();
    _size = 0;
  }

 private:
  struct Slot {
    uint64_t hash = 0;
    std::string_view key;  // a null data pointer marks a free slot
  };
  void Rehash(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(_slots);
    for (const Slot& slot : old) {
      if (!slot.key.data()) continue;
      for (size_t i = slot.hash & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
        if (!_slots[i].key.data()) {
          _slots[i] = slot;
          break;
        }
      }
    }
  }

  std::vector<Slot> _slots;  // a power of two, at most half full
  size_t _size = 0;
};
