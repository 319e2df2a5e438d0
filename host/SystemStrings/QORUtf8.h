// QORUtf8.h - the kit's one UTF-8 checker and encoder. Inline because the JSON writer
// and the web message reader call them per character on their fast paths.
#pragma once

#include <cstddef>
#include <string>

// Checks the UTF-8 sequence starting at p (whose first byte is >= 0x80). Returns its
// length when well formed (no overlong form, no surrogate, nothing above U+10FFFF);
// otherwise returns 0 and sets *bad to the length of the maximal ill-formed prefix,
// the bytes one U+FFFD stands for.
inline size_t QORUtf8SequenceLength(const unsigned char* p, const unsigned char* end, size_t* bad) {
  const unsigned char lead = p[0];
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lo = 0x90;  // no overlong forms
    if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    *bad = 1;
    return 0;
  }
  size_t i = 1;
  for (; i <= need; ++i) {
    if (p + i >= end) break;
    const unsigned char c = p[i];
    const unsigned char min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xBF;
    if (c < min || c > max) break;
  }
  if (i == need + 1) return i;
  *bad = i;
  return 0;
}

// Writes code point code (at most U+10FFFF) as UTF-8 at w; gives the byte after it.
inline char* QORPutUtf8(char* w, char32_t code) {
  if (code < 0x80) {
    *w++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *w++ = static_cast<char>(0xC0 | (code >> 6));
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *w++ = static_cast<char>(0xE0 | (code >> 12));
    *w++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *w++ = static_cast<char>(0xF0 | (code >> 18));
    *w++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *w++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return w;
}

inline void QORAppendUtf8(std::string& out, char32_t code) {
  char bytes[4];
  out.append(bytes, static_cast<size_t>(QORPutUtf8(bytes, code) - bytes));
}
