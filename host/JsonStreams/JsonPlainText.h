// JsonPlainText.h - the test and copy of text that goes into a JSON string as it is.
// Public so that the one-pass writer can quote the usual short ASCII text inline, in the
// caller's code, without a call per string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

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

// Writes text as a JSON string at out (size + 2 bytes, which the caller has) when no byte
// needs an escape or a repair, and returns true; else returns false, having written bytes
// the caller may overwrite. Checked and stored a word at a time, short texts as two
// overlapping halves or three bytes: a memcpy call or a loop a byte at a time costs more
// than the text, and most of a filter document's strings are shorter than a word.
inline bool QuotePlain(char* out, std::string_view text) {
  const char* const p = text.data();
  const size_t size = text.size();
  if (size >= 8) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (NeedsEscapeCheck(word)) return false;
      std::memcpy(out + 1 + i, &word, 8);
    }
    if (i < size) {  // the last bytes as one word that overlaps the ones already checked
      uint64_t word;
      std::memcpy(&word, p + size - 8, 8);
      if (NeedsEscapeCheck(word)) return false;
      std::memcpy(out + 1 + size - 8, &word, 8);
    }
  } else if (size >= 4) {
    uint32_t first, last;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + size - 4, 4);
    if (NeedsEscapeCheck(uint64_t{first} | (uint64_t{last} << 32))) return false;
    std::memcpy(out + 1, &first, 4);
    std::memcpy(out + 1 + size - 4, &last, 4);
  } else if (size > 0) {
    // First, middle and last byte cover all of one to three; blanks fill the word.
    const auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
    const uint64_t a = byte(0), b = byte(size / 2), c = byte(size - 1);
    const uint64_t word = uint64_t{0x2020202020000000} | a | (b << 8) | (c << 16);
    if (NeedsEscapeCheck(word)) return false;
    out[1] = static_cast<char>(a);
    out[1 + size / 2] = static_cast<char>(b);
    out[size] = static_cast<char>(c);
  }
  out[0] = '"';
  out[1 + size] = '"';
  return true;
}

}  // namespace JSON::detail
