#include "StepTypeTable.h"

#include <cstring>

namespace step {

StepTypeTable::StepTypeTable() : _slots(1024, kEmpty) {}

uint64_t StepTypeTable::Hash(std::string_view s) {
  // Eight bytes per step: this runs once per instance in the file.
  uint64_t h = s.size() * 0x9E3779B97F4A7C15ull;
  std::size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t word = 0;
    std::memcpy(&word, s.data() + i, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  if (i < s.size()) {
    uint64_t word = 0;
    std::memcpy(&word, s.data() + i, s.size() - i);
    h = (h ^ word) * 0xC4CEB9FE1A85EC53ull;
  }
  return h ^ (h >> 29);
}

int StepTypeTable::Lookup(std::string_view upper, uint64_t hash, std::size_t& slot) const {
  const std::size_t mask = _slots.size() - 1;
  slot = static_cast<std::size_t>(hash) & mask;
  for (;;) {
    const uint16_t code = _slots[slot];
    if (code == kEmpty) return kNotFound;
    if (_hashes[code] == hash && _names[code] == upper) return code;
    slot = (slot + 1) & mask;
  }
}

void StepTypeTable::Grow() {
  std::vector<uint16_t> bigger(_slots.size() * 2, kEmpty);
  const std::size_t mask = bigger.size() - 1;
  for (uint32_t code = 0; code < Size(); ++code) {
    std::size_t slot = static_cast<std::size_t>(_hashes[code]) & mask;
    while (bigger[slot] != kEmpty) slot = (slot + 1) & mask;
    bigger[slot] = static_cast<uint16_t>(code);
  }
  _slots.swap(bigger);
}

int StepTypeTable::Intern(std::string_view keyword) {
  std::size_t slot = 0;
  uint64_t hash = Hash(keyword);
  const int found = Lookup(keyword, hash, slot);
  if (found != kNotFound) return found;

  // Rare path: a new keyword, or one written in lower case.
  std::string upper(keyword);
  bool folded = false;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      folded = true;
    }
  }
  if (folded) {
    hash = Hash(upper);
    const int again = Lookup(upper, hash, slot);
    if (again != kNotFound) return again;
  }
  if (Size() >= kMaxTypes) return kNotFound;
  const auto code = static_cast<uint16_t>(Size());
  _names.push_back(std::move(upper));
  _hashes.push_back(hash);
  _slots[slot] = code;
  if (Size() * 2 > _slots.size()) Grow();
  return code;
}

int StepTypeTable::Find(std::string_view upperKeyword) const {
  std::size_t slot = 0;
  return Lookup(upperKeyword, Hash(upperKeyword), slot);
}

}  // namespace step
