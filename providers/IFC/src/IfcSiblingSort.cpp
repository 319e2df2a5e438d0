// IfcSiblingSort.cpp - the order of an entity's children in the IFC tree (see IfcModel.h):
// spatial first, then by elevation, type name and natural name order.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "IfcTreeBuilder.h"
#include "IfcTypeCatalog.h"
#include "StepLexer.h"

namespace ifc {

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Writes a key whose plain byte order is the natural order of names ("Wall 9" < "Wall 10",
// case ignored) at out, which has room for 2 * name.size() + 10 bytes; returns its end. A run
// of digits becomes '0', its length without leading zeros, then those digits; '0' sorts
// against any other character as every digit does, so names compare as if digit runs were
// read as numbers. Equal keys are then told apart by the names' bytes.
char* WriteNaturalKey(std::string_view name, char* out) {
  std::size_t i = 0;
  while (i < name.size()) {
    if (!IsDigit(name[i])) {
      *out++ = AsciiLower(name[i]);
      ++i;
      continue;
    }
    while (i < name.size() && name[i] == '0') ++i;
    std::size_t end = i;
    while (end < name.size() && IsDigit(name[end])) ++end;
    const std::size_t digits = end - i;
    *out++ = '0';
    if (digits < 0xFF) {
      *out++ = static_cast<char>(digits);
    } else {
      *out++ = static_cast<char>(0xFF);
      for (int shift = 56; shift >= 0; shift -= 8) {
        *out++ = static_cast<char>((static_cast<uint64_t>(digits) >> shift) & 0xFF);
      }
    }
    std::memcpy(out, name.data() + i, digits);
    out += digits;
    i = end;
  }
  return out;
}

uint64_t LoadBigEndian(const char* p) {
  uint64_t v = 0;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

// Length of the common prefix of a and b, both at least n bytes long.
std::size_t FirstDifference(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      const uint64_t diff = x ^ y;
      if constexpr (std::endian::native == std::endian::little) {
        return i + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
      } else {
        return i + static_cast<std::size_t>(std::countl_zero(diff)) / 8;
      }
    }
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Sorts values below 2^51 by bits 32 and up, keeping the order of equals: two passes of a
// counting sort, as the heads of siblings take few distinct values.
void SortByHigh(Table<uint64_t>& values, Table<uint64_t>& scratch) {
  constexpr unsigned kLowBits = 10;
  constexpr std::size_t kLow = std::size_t{1} << kLowBits;
  constexpr std::size_t kHigh = std::size_t{1} << 9;
  const std::size_t n = values.size();
  std::array<uint32_t, kLow> low{};
  std::array<uint32_t, kHigh> high{};
  for (const uint64_t v : values) {
    ++low[(v >> 32) & (kLow - 1)];
    ++high[(v >> (32 + kLowBits)) & (kHigh - 1)];
  }
  scratch.resize(n);
  auto pass = [n](auto& counts, unsigned shift, std::size_t mask, const uint64_t* from,
                  uint64_t* to) {
    uint32_t at = 0;
    for (uint32_t& c : counts) {
      if (c == n) return false;  // one digit throughout: the order stands
      const uint32_t here = c;
      c = at;
      at += here;
    }
    for (std::size_t k = 0; k < n; ++k) to[counts[(from[k] >> shift) & mask]++] = from[k];
    return true;
  };
  if (pass(low, 32, kLow - 1, values.data(), scratch.data())) values.swap(scratch);
  if (pass(high, 32 + kLowBits, kHigh - 1, values.data(), scratch.data())) values.swap(scratch);
}

// Plain byte order, eight bytes at a time.
int CompareBytes(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t x = LoadBigEndian(a.data() + i);
    const uint64_t y = LoadBigEndian(b.data() + i);
    if (x != y) return x < y ? -1 : 1;
  }
  for (; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
}  // namespace

// "Wall 9" < "Wall 10"; case ignored, then plain bytes for a total order.
int TreeBuilder::NaturalCompare(std::string_view a, std::string_view b) {
  // Identical leading bytes compare equal whichever way they are read, except that a digit
  // run must be read whole: start at the beginning of the run the shared part ends in.
  const std::size_t shorter = std::min(a.size(), b.size());
  std::size_t common = FirstDifference(a.data(), b.data(), shorter);
  if (common < shorter) {
    // Most names differ first in a letter or in a number of as many digits: then those two
    // characters decide, whatever came before.
    const char x = a[common];
    const char y = b[common];
    if (!IsDigit(x) && !IsDigit(y)) {
      const char lx = AsciiLower(x);
      const char ly = AsciiLower(y);
      if (lx != ly) return static_cast<unsigned char>(lx) < static_cast<unsigned char>(ly) ? -1 : 1;
    } else if (IsDigit(x) && IsDigit(y)) {
      std::size_t e = common + 1;
      while (e < shorter && IsDigit(a[e]) && IsDigit(b[e])) ++e;
      if ((e == a.size() || !IsDigit(a[e])) && (e == b.size() || !IsDigit(b[e]))) {
        return x < y ? -1 : 1;
      }
    }
  }
  while (common > 0 && IsDigit(a[common - 1])) --common;
  std::size_t i = common;
  std::size_t j = common;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - i != ej - j) return (ei - i) < (ej - j) ? -1 : 1;
      // As long as each other: the first differing digit decides.
      for (; i < ei; ++i, ++j) {
        if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
      }
      continue;
    }
    const char ca = AsciiLower(a[i]);
    const char cb = AsciiLower(b[j]);
    if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return a.compare(b);
}

std::string TreeBuilder::NaturalKey(std::string_view name) {
  std::string key(2 * name.size() + 10, '\0');
  key.resize(static_cast<std::size_t>(WriteNaturalKey(name, key.data()) - key.data()));
  return key;
}

void TreeBuilder::MakeSortKeys() {
  _keys.reserve(_work.size());
  _keys.resize(_work.size());
  for (uint32_t i = 0; i < _work.size(); ++i) {
    const Work& w = _work[i];
    SortKey& k = _keys[i];
    const bool spatial = (w.roles & TypeCatalog::kSpatial) != 0;
    const Attributes& a = AttributesOf(i);
    const bool elevated = a.hasElevation;
    k.group = (spatial ? 0u : 2u) | (elevated ? 0u : 1u);
    k.elevation = elevated ? a.elevation : 0.0;
    k.typeRank = _types[w.entry.type].rank;
    k.slot = w.slot;
    k.unnamed = a.name.length == 0;
  }
}

void TreeBuilder::MakeNameKeys(Table<uint32_t>::const_iterator first,
                               Table<uint32_t>::const_iterator last) {
  for (auto it = first; it != last; ++it) {
    SortKey& k = _keys[*it];
    if (k.hasKey) continue;
    const std::string_view name = View(AttributesOf(*it).name);
    const std::size_t at = _keyText.size();
    _keyText.resize(at + 2 * name.size() + 10);
    char* const start = _keyText.data() + at;
    char* const end = WriteNaturalKey(name, start);
    _keyText.resize(at + static_cast<std::size_t>(end - start));
    k.keyOffset = at;
    k.keyLength = static_cast<uint32_t>(end - start);
    uint64_t prefix = 0;
    for (std::size_t b = 0; b < 8; ++b) {
      prefix = (prefix << 8) | (b < k.keyLength ? static_cast<unsigned char>(start[b]) : 0u);
    }
    k.prefix = prefix;
    k.hasKey = true;
  }
}

int TreeBuilder::CompareHeads(const SortKey& x, const SortKey& y) {
  if (x.group != y.group) return x.group < y.group ? -1 : 1;
  if ((x.group & 1u) == 0 && x.elevation != y.elevation) return x.elevation < y.elevation ? -1 : 1;
  if (x.typeRank != y.typeRank) return x.typeRank < y.typeRank ? -1 : 1;
  if (x.unnamed != y.unnamed) return y.unnamed ? -1 : 1;
  return 0;
}

bool TreeBuilder::Before(uint32_t a, uint32_t b) const {
  const SortKey& x = _keys[a];
  const SortKey& y = _keys[b];
  const int head = CompareHeads(x, y);
  if (head != 0) return head < 0;
  // A shorter key is padded with zeros here; the full comparison below settles ties.
  if (x.prefix != y.prefix) return x.prefix < y.prefix;
  const std::string_view keys(_keyText);
  const int c =
      CompareBytes(keys.substr(x.keyOffset, x.keyLength), keys.substr(y.keyOffset, y.keyLength));
  if (c != 0) return c < 0;
  const int raw = View(AttributesOf(a).name).compare(View(AttributesOf(b).name));
  if (raw != 0) return raw < 0;
  return x.slot < y.slot;
}

bool TreeBuilder::NamesBefore(uint32_t a, uint32_t b) const {
  const int c = NaturalCompare(View(AttributesOf(a).name), View(AttributesOf(b).name));
  if (c != 0) return c < 0;
  return _keys[a].slot < _keys[b].slot;
}

void TreeBuilder::SortSiblings(Table<uint32_t>::iterator first, Table<uint32_t>::iterator last) {
  bool elevated = false;
  for (auto it = first; it != last; ++it) elevated |= (_keys[*it].group & 1u) == 0;
  if (elevated) {  // storeys and the like: few, sorted the plain way
    MakeNameKeys(first, last);
    std::sort(first, last, [this](uint32_t a, uint32_t b) { return Before(a, b); });
    return;
  }
  // By group, type and whether named first, keeping file order among equals (the position
  // breaks ties); names within one type are often numbered in file order already, and then
  // they are only checked, not sorted.
  // Heads take 19 bits (group below 4, a type's rank below 2^16), over the position.
  const auto count = static_cast<std::size_t>(last - first);
  _heads.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const SortKey& k = _keys[first[static_cast<std::ptrdiff_t>(i)]];
    const uint64_t head =
        (uint64_t{k.group} << 17) | (uint64_t{k.typeRank} << 1) | (k.unnamed ? 1u : 0u);
    _heads[i] = (head << 32) | i;
  }
  if (!std::is_sorted(_heads.begin(), _heads.end())) {
    if (count < 64) {
      std::sort(_heads.begin(), _heads.end());
    } else {
      SortByHigh(_heads, _scratch);
    }
    _nodes.assign(first, last);
    for (std::size_t i = 0; i < count; ++i) {
      first[static_cast<std::ptrdiff_t>(i)] = _nodes[_heads[i] & 0xFFFFFFFFu];
    }
  }
  for (std::size_t run = 0; run < count;) {
    std::size_t runEnd = run + 1;
    while (runEnd < count && (_heads[runEnd] >> 32) == (_heads[run] >> 32)) ++runEnd;
    const auto from = first + static_cast<std::ptrdiff_t>(run);
    const auto to = first + static_cast<std::ptrdiff_t>(runEnd);
    if (runEnd - run > 1 &&
        !std::is_sorted(from, to, [this](uint32_t a, uint32_t b) { return NamesBefore(a, b); })) {
      MakeNameKeys(from, to);
      std::sort(from, to, [this](uint32_t a, uint32_t b) { return Before(a, b); });
    }
    run = runEnd;
  }
}

}  // namespace ifc
