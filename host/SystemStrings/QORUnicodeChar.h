// QORUnicodeChar.h - one Unicode code point of a QORUnicodeString.
#pragma once

#include <cstdint>

#include "SystemStrings/QORTypes.h"

class QOR_KIT_API QORUnicodeChar {
 public:
  QORUnicodeChar() = default;
  constexpr QORUnicodeChar(char32_t codePoint) : _codePoint(codePoint) {}
  constexpr char32_t GetCodePoint() const { return _codePoint; }
  constexpr bool operator==(const QORUnicodeChar& other) const = default;
  constexpr bool IsASCII() const { return _codePoint < 0x80; }

 private:
  char32_t _codePoint = 0;
};
