// QORString.h - the host's narrow (byte) string, used where the host wants a plain
// char text, for example a standard button name.
#pragma once

#include <string>
#include <string_view>

#include "SystemStrings/QORTypes.h"

class QOR_KIT_API QORString {
 public:
  QORString() = default;
  QORString(const char* text) : _text(text ? text : "") {}
  QORString(std::string text) : _text(std::move(text)) {}

  operator const char*() const { return _text.c_str(); }
  const char* CastToCharPtr() const { return _text.c_str(); }
  int GetLengthInByte() const { return static_cast<int>(_text.size()); }
  bool IsEmpty() const { return _text.empty(); }
  std::string_view View() const { return _text; }
  bool operator==(const QORString& other) const { return _text == other._text; }

 private:
  std::string _text;
};
