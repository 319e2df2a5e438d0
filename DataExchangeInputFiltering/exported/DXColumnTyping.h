// DXColumnTyping.h - what a column type code makes of a column in the filter document:
// whether the page lets its cells be edited, how it shows them, and the type its data
// names. Header only, so that whatever writes the same columns (a benchmark's floor
// among them) reads the one table the generator reads.
#pragma once

#include <cstdint>

#include "InputFilteringInterfaces/QORIInputFilterStructure.h"

struct DXColumnTyping {
  bool editable = true;
  const char* representation = nullptr;  // "typeRepresentation"; none when null
  const char* dataType = nullptr;        // "type" of the column's data; none when null

  // Unknown codes are editable columns without a value type.
  static constexpr DXColumnTyping Of(int32_t type) {
    switch (type) {
      case QORDXColumnType::kReadOnlyText:
        return {false, "string", nullptr};
      case QORDXColumnType::kBoolean:
        return {true, "boolean", nullptr};
      case QORDXColumnType::kEnumeration:
        return {true, nullptr, "enum"};
      case QORDXColumnType::kText:
        return {true, "string", nullptr};
      case QORDXColumnType::kNumber:
      case QORDXColumnType::kOtherNumber:
        return {true, "number", nullptr};
      case QORDXColumnType::kDate:
        return {true, "date", nullptr};
      case QORDXColumnType::kColor:
        return {true, "color", nullptr};
      case QORDXColumnType::kRuntime:
        return {false, nullptr, "runtime"};
      default:
        return {};
    }
  }
};
