// JsonPlainText.h - the test and copy of text that goes into a JSON string as it is.
// Public so that the one-pass writer can quote the usual short ASCII text inline, in the
// caller's code, without a call per string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace JSON::detail {

// True when any of the 8 bytes is a control character, '"', '\\' or not ASCII.
inline bool NeedsEscapeCheck(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const uint64_t quote = x ^ (kOnes * '"'), backslash = x ^ (kOnes * '\\');
  const uint64_t control = (x - kOnes * 0x20) & ~x;
  const uint64_t isQuote = (quote - kOnes) & ~quote;
  const uint64_t isBackslash = (backslash - kOnes) & ~backslash;
  return ((control | isQuote | isBackslash | x) & kHigh) != 0;
}

inline bool NeedsEscapeCheck(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
}

#if defined(__SSE2__)
// The same test for 16 bytes. As signed bytes, the controls and all bytes from 0x80 are
// the ones below 0x20: one comparison where the word test needs two.
inline bool NeedsEscapeCheck(__m128i x) {
  const __m128i low = _mm_cmplt_epi8(x, _mm_set1_epi8(0x20));
  const __m128i quote = _mm_cmpeq_epi8(x, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'));
  return _mm_movemask_epi8(_mm_or_si128(low, _mm_or_si128(quote, backslash))) != 0;
}
// Two words tested at once (or one given twice).
inline bool NeedsEscapeCheck(uint64_t a, uint64_t b) {
  return NeedsEscapeCheck(_mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(a)));
}
#else
inline bool NeedsEscapeCheck(uint64_t a, uint64_t b) {
  return NeedsEscapeCheck(a) || (b != a && NeedsEscapeCheck(b));
}
#endif

// Writes text as a JSON string at out (size + 2 bytes, which the caller has) when no byte
// needs an escape or a repair, and returns true; else returns false, having written bytes
// the caller may overwrite. Checked and stored in blocks, the last block overlapping the
// one before, short texts as two overlapping halves or three bytes: a memcpy call or a
// loop a byte at a time costs more than the text, and most of a filter document's strings
// are shorter than a word.
inline bool QuotePlain(char* out, std::string_view text) {
  const char* const p = text.data();
  const size_t size = text.size();
  if (size >= 16) {
#if defined(__SSE2__)
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      if (NeedsEscapeCheck(block)) return false;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 + i), block);
    }
    if (i < size) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + size - 16));
      if (NeedsEscapeCheck(block)) return false;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 + size - 16), block);
    }
#else
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (NeedsEscapeCheck(word)) return false;
      std::memcpy(out + 1 + i, &word, 8);
    }
    if (i < size) {
      uint64_t word;
      std::memcpy(&word, p + size - 8, 8);
      if (NeedsEscapeCheck(word)) return false;
      std::memcpy(out + 1 + size - 8, &word, 8);
    }
#endif
  } else if (size >= 8) {
    uint64_t first, last;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + size - 8, 8);
    if (NeedsEscapeCheck(first, last)) return false;
    std::memcpy(out + 1, &first, 8);
    std::memcpy(out + 1 + size - 8, &last, 8);
  } else if (size >= 4) {
    uint32_t first, last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + size - 4, 4);
    const uint64_t word = uint64_t{first} | (uint64_t{last} << 32);
    if (NeedsEscapeCheck(word, word)) return false;
    std::memcpy(out + 1, &first, 4);
    std::memcpy(out + 1 + size - 4, &last, 4);
  } else if (size > 0) {
    // First, middle and last byte cover all of one to three; blanks fill the word.
    const auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
    const uint64_t a = byte(0), b = byte(size / 2), c = byte(size - 1);
    const uint64_t word = uint64_t{0x2020202020000000} | a | (b << 8) | (c << 16);
    if (NeedsEscapeCheck(word, word)) return false;
    out[1] = static_cast<char>(a);
    out[1 + size / 2] = static_cast<char>(b);
    out[size] = static_cast<char>(c);
  }
  out[0] = '"';
  out[1 + size] = '"';
  return true;
}

}  // namespace JSON::detail
