// StepTypeTable.h - interns the entity type keywords of one file into small codes.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace step {

// Codes are dense from 0 in first-seen order. Keywords are stored upper-case, so a file
// that (wrongly) writes lower-case keywords still matches the usual names.
class StepTypeTable {
 public:
  static constexpr uint32_t kMaxTypes = 0xFFFF;
  static constexpr int kNotFound = -1;

  StepTypeTable();

  // Returns the code, or kNotFound when the table is full.
  int Intern(std::string_view keyword);
  int Find(std::string_view upperKeyword) const;
  std::string_view Name(uint32_t code) const { return _names[code]; }
  uint32_t Size() const { return static_cast<uint32_t>(_names.size()); }

 private:
  static uint64_t Hash(std::string_view s);
  int Lookup(std::string_view upper, uint64_t hash, std::size_t& slot) const;
  void Grow();

  std::deque<std::string> _names;  // deque: views into the names stay valid as it grows
  std::vector<uint64_t> _hashes;
  std::vector<uint16_t> _slots;  // open addressing; kEmpty marks a free slot
  static constexpr uint16_t kEmpty = 0xFFFF;
};

}  // namespace step
