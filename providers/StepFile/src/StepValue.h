// StepValue.h - one decoded parameter of a STEP record.
#pragma once

#include <cstdint>
#include <string_view>

namespace step {

enum class StepKind : uint8_t {
  Unset,      // $
  Derived,    // *
  Integer,    // 42
  Real,       // 1.5E-3
  String,     // 'text' (text holds the raw, still escaped content)
  Enum,       // .ELEMENT. (text holds ELEMENT)
  Binary,     // "0FF" (text holds the hex digits)
  Reference,  // #12
  List,       // ( ... )
  Typed,      // IFCLABEL('x') (text holds the type keyword, items the wrapped values)
};

// Values live in a StepParameters arena; list and typed values name their items there by
// index. `text` points into the parsed buffer, so it lives as long as that buffer.
struct StepValue {
  StepKind kind = StepKind::Unset;
  std::string_view text;  // number token, raw string, enum name, hex digits or type keyword
  union {
    int64_t integer;
    double real;
    uint64_t reference;
    struct {
      uint32_t first;
      uint32_t count;
    } items;
  };

  StepValue() : integer(0) {}

  bool IsNumber() const { return kind == StepKind::Integer || kind == StepKind::Real; }
  double AsDouble() const { return kind == StepKind::Real ? real : static_cast<double>(integer); }
};

}  // namespace step
