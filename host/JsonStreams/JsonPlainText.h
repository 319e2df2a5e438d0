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
// the caller may overwrite. Checked and stored a word at a time: a memcpy call for a few
// bytes costs more than the text.
inline bool QuotePlain(char* out, std::string_view text) {
  const char* const p = text.data();
  const size_t size = text.size();
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (NeedsEscapeCheck(word)) return false;
    std::memcpy(out + 1 + i, &word, 8);
  }
  if (i < size) {
    if (size >= 8) {
      // The last bytes as one word that overlaps the ones already checked.
      uint64_t word;
      std::memcpy(&word, p + size - 8, 8);
      if (NeedsEscapeCheck(word)) return false;
      std::memcpy(out + 1 + size - 8, &word, 8);
    } else {
      for (; i < size; ++i) {
        if (NeedsEscapeCheck(static_cast<unsigned char>(p[i]))) return false;
        out[1 + i] = p[i];
      }
    }
  }
  out[0] = '"';
  out[1 + size] = '"';
  return true;
}

}  // namespace JSON::detail
