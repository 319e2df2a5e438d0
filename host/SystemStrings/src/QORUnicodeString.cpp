// QORUnicodeString.cpp - code-point aware operations over the UTF-8 text.
#include "SystemStrings/QORUnicodeString.h"

#include <climits>

namespace {

inline bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Byte offset of character index charIndex, or the text size when beyond it.
size_t ByteOffsetOfChar(const std::string& text, int charIndex) {
  if (charIndex <= 0) return 0;
  int seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (seen == charIndex) return i;
      ++seen;
    }
  }
  return text.size();
}

// Decodes the code point at byte i; a malformed sequence decodes as its first byte.
char32_t DecodeAt(const std::string& text, size_t i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = b(i);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0) return c;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= text.size() || !IsContinuation(b(i + k))) return c;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  return cp;
}

}  // namespace

int QORUnicodeString::GetLengthInChar() const {
  int count = 0;
  for (unsigned char c : _text) count += IsContinuation(c) ? 0 : 1;
  return count;
}

void QORUnicodeString::Remove(int start, int count) {
  if (count <= 0 || start < 0) return;
  size_t from = ByteOffsetOfChar(_text, start);
  // start + count may overflow an int ("remove the rest" callers pass INT_MAX).
  size_t to = count > INT_MAX - start ? _text.size() : ByteOffsetOfChar(_text, start + count);
  _text.erase(from, to - from);
}

int QORUnicodeString::ReplaceAll(const QORUnicodeString& from, const QORUnicodeString& to) {
  if (from._text.empty()) return 0;
  size_t pos = _text.find(from._text);
  if (pos == std::string::npos) return 0;
  std::string out;
  out.reserve(_text.size());
  size_t last = 0;
  int replaced = 0;
  while (pos != std::string::npos) {
    out.append(_text, last, pos - last).append(to._text);
    last = pos + from._text.size();
    ++replaced;
    pos = _text.find(from._text, last);
  }
  out.append(_text, last, std::string::npos);
  _text.swap(out);
  return replaced;
}

void QORUnicodeString::Resize(int lengthInChar) {
  if (lengthInChar < 0) lengthInChar = 0;
  int current = GetLengthInChar();
  if (lengthInChar < current) {
    _text.resize(ByteOffsetOfChar(_text, lengthInChar));
  } else {
    _text.append(static_cast<size_t>(lengthInChar - current), ' ');
  }
}

QORUnicodeChar QORUnicodeString::operator[](int charIndex) const {
  if (charIndex < 0) return QORUnicodeChar();
  size_t at = ByteOffsetOfChar(_text, charIndex);
  if (at >= _text.size()) return QORUnicodeChar();
  return QORUnicodeChar(DecodeAt(_text, at));
}
