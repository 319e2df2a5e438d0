// StepParameters.h - the decoded parameter list of one record, parsed on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "StepValue.h"

namespace step {

// Parses "(a, b, (c, d), IFCLABEL('e'))" into a flat arena of StepValue. Reuse one object
// across records to keep its buffers. Values keep string_views into the parsed text.
//
//   StepParameters params;
//   if (params.Parse(text)) { const StepValue& name = params[2]; ... }
class StepParameters {
 public:
  // Nesting deeper than this is refused rather than recursed into.
  static constexpr int kMaxDepth = 64;
  static constexpr std::size_t kAll = SIZE_MAX;

  // `text` starts at the opening parenthesis. Decodes top-level parameters up to and
  // including index `last` and stops there (kAll checks the whole list). Returns false on a
  // syntax error; the values decoded so far stay readable.
  bool Parse(std::string_view text, std::size_t last = kAll);

  // A complex instance body "(A(...) B(...))": every part becomes a Typed value.
  bool ParseComplex(std::string_view text);

  std::size_t size() const { return _top.count; }
  const StepValue& operator[](std::size_t i) const { return _arena[_top.first + i]; }
  // Out-of-range index reads as an unset value, so callers can probe optional attributes.
  const StepValue& At(std::size_t i) const { return i < size() ? (*this)[i] : _unset; }
  std::span<const StepValue> Items(const StepValue& v) const;

  // Helpers for the common attribute shapes. Typed wrappers (IFCLABEL('x')) are looked
  // through.
  const StepValue& Unwrap(const StepValue& v) const;
  std::string DecodedString(std::size_t i) const;  // empty unless a string
  bool Reference(std::size_t i, uint64_t& id) const;

 private:
  bool ParseListBody(const char*& p, const char* end, int depth, std::size_t last, uint32_t& first,
                     uint32_t& count);
  bool ParseValue(const char*& p, const char* end, int depth, StepValue& v);
  bool ParseTypedArgs(const char*& p, const char* end, int depth, StepValue& v);
  uint32_t Commit(std::size_t mark);

  std::vector<StepValue> _arena;
  std::vector<StepValue> _scratch;
  struct {
    uint32_t first = 0;
    uint32_t count = 0;
  } _top;
  StepValue _unset;
};

}  // namespace step
