// StepLexer.h - the low-level scanning steps shared by the indexer and the value parser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace step {

// Letters, digits and '_': what entity and enumeration keywords are made of.
inline constexpr std::array<bool, 256> kStepKeywordChars = [] {
  std::array<bool, 256> is{};
  for (int c = 'A'; c <= 'Z'; ++c) is[c] = is[c - 'A' + 'a'] = true;
  for (int c = '0'; c <= '9'; ++c) is[c] = true;
  is['_'] = true;
  return is;
}();

// Stateless helpers over [p, end). None of them reads past end.
class StepLexer {
 public:
  static bool IsSpace(char c) {
    // Writers put tabs, CR/LF and form feeds between tokens; treat every control byte alike.
    return static_cast<unsigned char>(c) <= 0x20;
  }

  static bool IsKeywordChar(char c) { return kStepKeywordChars[static_cast<unsigned char>(c)]; }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // Scans a number token from p and returns its end; ok is false when there is none (no
  // digit, or an exponent without digits). isReal when it has a fraction or an exponent.
  // One grammar for the value parser and the IFC reader's quick pass.
  static const char* ScanNumber(const char* p, const char* end, bool& isReal, bool& ok) {
    isReal = false;
    ok = false;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    const char* digits = p;
    while (p < end && IsDigit(*p)) ++p;
    if (p == digits) return p;
    if (p < end && *p == '.') {
      isReal = true;
      ++p;
      while (p < end && IsDigit(*p)) ++p;
    }
    if (p < end && (*p == 'E' || *p == 'e')) {
      const char* exp = p + 1;
      if (exp < end && (*exp == '+' || *exp == '-')) ++exp;
      const char* expDigits = exp;
      while (exp < end && IsDigit(*exp)) ++exp;
      if (exp == expDigits) return p;
      isReal = true;
      p = exp;
    }
    ok = true;
    return p;
  }

  // Skips white space and /* */ comments. Returns end when input runs out, including inside
  // an unterminated comment or after a final '/' (a cut comment opener).
  static const char* SkipSpace(const char* p, const char* end) {
    while (p < end) {
      if (IsSpace(*p)) {
        ++p;
      } else if (*p == '/' && (p + 1 == end || p[1] == '*')) {
        p = p + 1 == end ? end : SkipCommentBody(p + 2, end);
      } else {
        break;
      }
    }
    return p;
  }

  // p points just after "/*"; returns the byte after "*/", or end.
  static const char* SkipCommentBody(const char* p, const char* end) {
    while (p < end) {
      const void* star = std::memchr(p, '*', static_cast<std::size_t>(end - p));
      if (star == nullptr) return end;
      p = static_cast<const char*>(star) + 1;
      if (p < end && *p == '/') return p + 1;
    }
    return end;
  }

  // p points just after an opening apostrophe; returns the closing apostrophe (a doubled
  // apostrophe is an escaped one), or nullptr when the string never closes.
  static const char* FindStringEnd(const char* p, const char* end) {
    while (p < end) {
      const char* quote = FindQuote(p, end);
      if (quote == nullptr) return nullptr;
      if (quote + 1 < end && quote[1] == '\'') {
        p = quote + 2;
        continue;
      }
      return quote;
    }
    return nullptr;
  }

  // Returns the ';' that ends the record containing p, skipping strings and comments, or
  // nullptr when the input ends first.
  static const char* FindRecordEnd(const char* p, const char* end) {
    while (p < end) {
      p = FindSpecial(p, end);
      if (p == end) return nullptr;
      const char c = *p;
      if (c == ';') return p;
      if (c == '\'') {
        const char* close = FindStringEnd(p + 1, end);
        if (close == nullptr) return nullptr;
        p = close + 1;
      } else if (p + 1 < end && p[1] == '*') {  // c == '/'
        p = SkipCommentBody(p + 2, end);
        if (p == end) return nullptr;
      } else {
        ++p;
      }
    }
    return nullptr;
  }

  // Reads up to eight digits at p into value (leading zeros included) with one load when eight
  // bytes are there; returns the first byte not read. The caller goes on byte by byte.
  static const char* ReadDigits8(const char* p, const char* end, uint64_t& value) {
    if (end - p < 8) return p;
    uint64_t word = 0;
    std::memcpy(&word, p, 8);
    // A byte is a digit when its high nibble is 3 and adding 6 keeps it so. Carries out of a
    // non-digit byte only reach bytes after it, which are not used.
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull;
    constexpr uint64_t kThrees = 0x3030303030303030ull;
    const uint64_t other =
        ((word & kHigh) ^ kThrees) | (((word + 0x0606060606060606ull) & kHigh) ^ kThrees);
    const uint64_t nonZero =
        (((other & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | other) & 0x8080808080808080ull;
    const int count = nonZero == 0 ? 8 : __builtin_ctzll(nonZero) / 8;
    if (count == 0) return p;
    // The digits to the top, zeros (as leading digits) below, then pairs, fours, eights.
    uint64_t v = (word - kThrees) << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
    value = v;
    return p + count;
  }

  // Equal bytes; word loads that stay inside both ranges.
  static bool SameBytes(const char* a, const char* b, std::size_t n) {
    if (n >= 8) {
      for (std::size_t i = 0; i + 8 < n; i += 8) {
        if (Load64(a + i) != Load64(b + i)) return false;
      }
      return Load64(a + n - 8) == Load64(b + n - 8);
    }
    if (n >= 4) return Load32(a) == Load32(b) && Load32(a + n - 4) == Load32(b + n - 4);
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }

  // True when [p, end) starts with the keyword followed by a non-keyword character.
  static bool StartsWithKeyword(const char* p, const char* end, const char* keyword) {
    const std::size_t n = std::strlen(keyword);
    if (static_cast<std::size_t>(end - p) < n || std::memcmp(p, keyword, n) != 0) return false;
    return p + n == end || !(IsKeywordChar(p[n]) || p[n] == '-');
  }

 private:
  static uint64_t Load64(const char* p) {
    uint64_t v = 0;
    std::memcpy(&v, p, 8);
    return v;
  }
  static uint32_t Load32(const char* p) {
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
  }

  // First apostrophe in [p, end), or nullptr. Most strings are short: sixteen bytes are
  // compared at once before a call of memchr.
  static const char* FindQuote(const char* p, const char* end) {
#if defined(__SSE2__)
    if (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
      if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
      p += 16;
    }
#endif
    return static_cast<const char*>(std::memchr(p, '\'', static_cast<std::size_t>(end - p)));
  }

  // First of ';', '\'' or '/' in [p, end), or end.
  static const char* FindSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i semi = _mm_set1_epi8(';');
    const __m128i quote = _mm_set1_epi8('\'');
    const __m128i slash = _mm_set1_epi8('/');
    while (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hit =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, semi), _mm_cmpeq_epi8(v, quote)),
                       _mm_cmpeq_epi8(v, slash));
      const int mask = _mm_movemask_epi8(hit);
      if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
      p += 16;
    }
#endif
    while (p < end && *p != ';' && *p != '\'' && *p != '/') ++p;
    return p;
  }
};

}  // namespace step
