// QORUnicodeString.h - the host's text type. UTF-8 inside; lengths and indices given
// "in char" count Unicode code points, never bytes.
//
//   QORUnicodeString s("Étage 1");
//   s.GetLengthInChar();         // 7 (the bytes are 8)
//   s.Compare("Étage 1");        // non-zero: equal
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "SystemStrings/QORString.h"
#include "SystemStrings/QORTypes.h"
#include "SystemStrings/QORUnicodeChar.h"

class QOR_KIT_API QORUnicodeString {
 public:
  QORUnicodeString() = default;
  // A null pointer gives the empty string.
  QORUnicodeString(const char* text) : _text(text ? text : "") {}
  QORUnicodeString(const char* text, size_t lengthInByte) : _text(text, lengthInByte) {}
  explicit QORUnicodeString(std::string text) : _text(std::move(text)) {}
  explicit QORUnicodeString(std::string_view text) : _text(text) {}
  QORUnicodeString(const QORUnicodeString&) = default;
  QORUnicodeString(QORUnicodeString&&) noexcept = default;
  QORUnicodeString& operator=(const QORUnicodeString&) = default;
  QORUnicodeString& operator=(QORUnicodeString&&) noexcept = default;
  QORUnicodeString& operator=(const char* text) {
    _text.assign(text ? text : "");
    return *this;
  }
  ~QORUnicodeString() = default;

  QORUnicodeString& operator+=(const QORUnicodeString& other) {
    _text += other._text;
    return *this;
  }
  QORUnicodeString& operator+=(const char* text) {
    if (text) _text += text;
    return *this;
  }
  friend QORUnicodeString operator+(const QORUnicodeString& a, const QORUnicodeString& b) {
    std::string text;
    text.reserve(a._text.size() + b._text.size());
    text.append(a._text).append(b._text);
    return QORUnicodeString(std::move(text));
  }
  friend QORUnicodeString operator+(const QORUnicodeString& a, const char* b) {
    return a + QORUnicodeString(b);
  }
  friend QORUnicodeString operator+(const char* a, const QORUnicodeString& b) {
    return QORUnicodeString(a) + b;
  }

  // Non-zero exactly when both texts are equal, byte for byte.
  int Compare(const QORUnicodeString& other) const { return _text == other._text ? 1 : 0; }
  int IsEmpty() const { return _text.empty() ? 1 : 0; }
  int GetLengthInChar() const;
  int GetLengthInByte() const { return static_cast<int>(_text.size()); }

  QORString ConvertToChar() const { return QORString(_text); }
  operator const char*() const { return _text.c_str(); }
  const char* CastToCharPtr() const { return _text.c_str(); }

  // Removes count characters from character index start (clamped to the text).
  void Remove(int start, int count = 1);
  // Replaces every occurrence of from (non-overlapping, left to right); returns how many.
  int ReplaceAll(const QORUnicodeString& from, const QORUnicodeString& to);
  // Cuts the text to lengthInChar characters, or pads it with blanks up to that length.
  void Resize(int lengthInChar);
  // The character at a character index; U+0000 outside the text.
  QORUnicodeChar operator[](int charIndex) const;

  const std::string& Str() const { return _text; }
  std::string& Str() { return _text; }
  std::string_view View() const { return _text; }

 protected:
  std::string _text;
};
