// QORDXUnicodeString.cpp - hashing, joining, splitting and escaping.
#include "DataExchangeUtilities/QORDXUnicodeString.h"

#include <xxhash.h>

#include <cstring>

#include "JsonStreams/QORJsonString.h"

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
  std::string quoted = QORJsonString(_text, QORJsonQuoting::kScript);
  return QORDXUnicodeString(quoted.substr(1, quoted.size() - 2));
}
