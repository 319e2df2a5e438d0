// QORDXUnicodeString.cpp - hashing, joining, splitting and escaping.
#include "DataExchangeUtilities/QORDXUnicodeString.h"

#include <xxhash.h>

#include <cstring>

uint64_t QORDXUnicodeString::GetHash() const {
  return XXH64(_text.data(), _text.size(), 0);
}

QORDXUnicodeString& QORDXUnicodeString::operator/=(const QORUnicodeString& name) {
  if (!_text.empty() && _text.back() != '/' && _text.back() != '\\') _text.push_back('/');
  _text += name.Str();
  return *this;
}

void QORDXUnicodeString::Tokenize(const char* separators,
                                  QORListValQORUnicodeString& tokens) const {
  const char* seps = separators ? separators : "";
  size_t start = 0;
  while (start <= _text.size()) {
    size_t end = _text.find_first_of(seps, start);
    if (end == std::string::npos) end = _text.size();
    if (end > start)
      tokens.Append(QORUnicodeString(std::string_view(_text).substr(start, end - start)));
    start = end + 1;
  }
}

QORDXUnicodeString QORDXUnicodeString::EscapeJSON() const {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(_text.size() + _text.size() / 8 + 16);
  const size_t n = _text.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(_text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\b':
        out += "\\b";
        continue;
      case '\f':
        out += "\\f";
        continue;
      case '<':
        // "</script>" and "<!--" must not appear literally inside a script.
        if (i + 1 < n && (_text[i + 1] == '/' || _text[i + 1] == '!')) {
          out += "\\u003c";
          continue;
        }
        break;
      default:
        break;
    }
    if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      continue;
    }
    // U+2028 and U+2029 end a line inside older script string literals.
    if (c == 0xE2 && i + 2 < n && static_cast<unsigned char>(_text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(_text[i + 2]) == 0xA8 ||
         static_cast<unsigned char>(_text[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(_text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
      continue;
    }
    out.push_back(static_cast<char>(c));
  }
  return QORDXUnicodeString(std::move(out));
}
