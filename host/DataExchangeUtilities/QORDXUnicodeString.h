// QORDXUnicodeString.h - the data-exchange string: a QORUnicodeString that keys every
// hash map and hash set of the module. GetHash is XXH64 with seed 0 over the UTF-8
// bytes; the module hashes constant keys itself and relies on the same value.
//
//   std::unordered_set<QORDXUnicodeString, QORDXUnicodeStringHash> names;
#pragma once

#include <cstdint>
#include <functional>

#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "SystemStrings/QORUnicodeString.h"

class QOR_KIT_API QORDXUnicodeString : public QORUnicodeString {
 public:
  using QORUnicodeString::QORUnicodeString;
  QORDXUnicodeString() = default;
  explicit QORDXUnicodeString(const QORUnicodeString& text) : QORUnicodeString(text) {}
  explicit QORDXUnicodeString(QORUnicodeString&& text) : QORUnicodeString(std::move(text)) {}

  uint64_t GetHash() const;

  bool operator==(const QORDXUnicodeString& other) const { return _text == other._text; }
  bool operator==(const QORUnicodeString& other) const { return _text == other.Str(); }
  bool operator==(const char* text) const { return _text == (text ? text : ""); }
  bool operator<(const QORDXUnicodeString& other) const { return _text < other._text; }

  friend QORDXUnicodeString operator+(const QORDXUnicodeString& a, const QORDXUnicodeString& b) {
    return QORDXUnicodeString(a.Str() + b.Str());
  }

  // Joins a folder and a name: one "/" between them unless the folder already ends
  // with "/" or "\" (host paths may use either). An empty folder leaves the name alone.
  QORDXUnicodeString& operator/=(const QORUnicodeString& name);

  // Splits at any of the separator characters; empty pieces are dropped.
  void Tokenize(const char* separators, QORListValQORUnicodeString& tokens) const;

  // Escapes the text so that, between the quotes of a JSON string or of a single- or
  // double-quoted script string, it stands for exactly this text. "'" is left alone:
  // callers that quote with "'" replace it themselves. Line and paragraph separators,
  // "</" and "<!--" are escaped too, so the result is safe inside a script element.
  // Invalid UTF-8 becomes U+FFFD, as everywhere the kit writes JSON.
  QORDXUnicodeString EscapeJSON() const;
};

// Hash functor so that standard unordered containers key on GetHash.
struct QORDXUnicodeStringHash {
  size_t operator()(const QORDXUnicodeString& s) const { return static_cast<size_t>(s.GetHash()); }
};
template <>
struct std::hash<QORDXUnicodeString> : QORDXUnicodeStringHash {};
