// UidSet.h - a set of uids viewed in the texts of filter documents, for the carry.
//
// Open addressing in one array: std::unordered_set allocates a node per element, and a
// carry puts every uid of two documents into sets, a hundred thousand and more a side.
// The views must outlive the set, and a uid is shorter than 4 GB.
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
    while (capacity * 7 < count * 10) capacity *= 2;
    if (capacity > _slots.size()) Rehash(capacity);
  }
  // True when the uid was not in the set yet.
  bool Insert(std::string_view uid) {
    if ((_size + 1) * 10 > _slots.size() * 7) Rehash(_slots.empty() ? 16 : _slots.size() * 2);
    const uint64_t hash = XXH3_64bits(uid.data(), uid.size());
    for (size_t i = hash & (_slots.size() - 1);; i = (i + 1) & (_slots.size() - 1)) {
      Slot& slot = _slots[i];
      if (!slot.data) {
        slot = {uid.data(), static_cast<uint32_t>(hash >> 32), static_cast<uint32_t>(uid.size())};
        ++_size;
        return true;
      }
      if (slot.Is(hash, uid)) return false;
    }
  }
  bool Contains(std::string_view uid) const {
    if (_slots.empty()) return false;
    const uint64_t hash = XXH3_64bits(uid.data(), uid.size());
    for (size_t i = hash & (_slots.size() - 1);; i = (i + 1) & (_slots.size() - 1)) {
      const Slot& slot = _slots[i];
      if (!slot.data) return false;
      if (slot.Is(hash, uid)) return true;
    }
  }
  size_t Size() const { return _size; }
  void Clear() {
    _slots.clear();
    _size = 0;
  }

 private:
  // Sixteen bytes: the table of a large document stays small. The low bits of the hash
  // are the slot's place, so the high ones are kept to compare.
  struct Slot {
    const char* data = nullptr;  // null for a free slot
    uint32_t high = 0;
    uint32_t length = 0;
    bool Is(uint64_t hash, std::string_view uid) const {
      return high == static_cast<uint32_t>(hash >> 32) && length == uid.size() &&
             std::string_view(data, length) == uid;
    }
  };
  void Rehash(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(_slots);
    for (const Slot& slot : old) {
      if (!slot.data) continue;
      const uint64_t hash = XXH3_64bits(slot.data, slot.length);
      for (size_t i = hash & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
        if (!_slots[i].data) {
          _slots[i] = slot;
          break;
        }
      }
    }
  }

  std::vector<Slot> _slots;  // a power of two, at most 70 % full
  size_t _size = 0;
};
