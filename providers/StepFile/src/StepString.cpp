#include "StepString.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "StepCodePage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace step {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `digits` hex digits at raw[pos]; false when any is missing or not hex.
bool ReadHex(std::string_view raw, std::size_t pos, int digits, uint32_t& value) {
  if (pos + static_cast<std::size_t>(digits) > raw.size()) return false;
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int h = HexValue(raw[pos + static_cast<std::size_t>(i)]);
    if (h < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(h);
  }
  value = v;
  return true;
}

bool StartsAt(std::string_view raw, std::size_t pos, std::string_view what) {
  return raw.size() - pos >= what.size() && raw.compare(pos, what.size(), what) == 0;
}

// Length of the valid UTF-8 sequence at raw[pos], or 0.
std::size_t Utf8SequenceLength(std::string_view raw, std::size_t pos) {
  const auto b0 = static_cast<unsigned char>(raw[pos]);
  std::size_t len = 0;
  char32_t cp = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (pos + len > raw.size()) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(raw[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return len;
}

// \X2\ and \X4\ runs: groups of hex digits up to \X0\. Returns the position after the run.
std::size_t DecodeWideRun(std::string_view raw, std::size_t pos, int digits, std::string& out) {
  char32_t pendingHigh = 0;
  uint32_t unit = 0;
  while (ReadHex(raw, pos, digits, unit)) {
    pos += static_cast<std::size_t>(digits);
    if (digits == 4 && unit >= 0xD800 && unit <= 0xDBFF) {
      if (pendingHigh != 0) StepString::AppendUtf8(kReplacement, out);
      pendingHigh = unit;
      continue;
    }
    if (digits == 4 && unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh != 0) {
      StepString::AppendUtf8(0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00), out);
      pendingHigh = 0;
      continue;
    }
    if (pendingHigh != 0) {
      StepString::AppendUtf8(kReplacement, out);
      pendingHigh = 0;
    }
    StepString::AppendUtf8(static_cast<char32_t>(unit), out);
  }
  if (pendingHigh != 0) StepString::AppendUtf8(kReplacement, out);
  if (StartsAt(raw, pos, "\\X0\\")) pos += 4;
  return pos;
}

// End of the run from pos with no backslash, apostrophe or byte >= 0x80.
std::size_t PlainRunEnd(std::string_view raw, std::size_t pos) {
  const std::size_t n = raw.size();
#if defined(__SSE2__)
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i apostrophe = _mm_set1_epi8('\'');
  while (n - pos >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw.data() + pos));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, backslash), _mm_cmpeq_epi8(v, apostrophe)), v);
    const int mask = _mm_movemask_epi8(hit);  // the high bit of v marks bytes >= 0x80
    if (mask != 0)
      return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
#endif
  // Names and values are mostly shorter than sixteen bytes: eight at a time, by words. A byte
  // is one of the three when it equals a backslash or an apostrophe (a zero byte after the
  // exclusive or) or has its high bit set.
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  while (n - pos >= 8) {
    uint64_t word = 0;
    std::memcpy(&word, raw.data() + pos, 8);
    const uint64_t slash = word ^ (kOnes * '\\');
    const uint64_t quote = word ^ (kOnes * '\'');
    const uint64_t hit = ((slash - kOnes) & ~slash) | ((quote - kOnes) & ~quote) | word;
    if ((hit & kHighs) != 0) break;  // the byte-wise loop below finds which one
    pos += 8;
  }
  while (pos < n && raw[pos] != '\\' && raw[pos] != '\'' &&
         static_cast<unsigned char>(raw[pos]) < 0x80) {
    ++pos;
  }
  return pos;
}

}  // namespace

void StepString::AppendUtf8(char32_t cp, std::string& out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string StepString::Decode(std::string_view raw, const StepCodePage* page) {
  std::string out;
  DecodeAppend(raw, out, page);
  return out;
}

void StepString::DecodeAppend(std::string_view raw, std::string& out, const StepCodePage* page) {
  out.reserve(out.size() + raw.size());
  std::size_t pos = 0;
  const std::size_t n = raw.size();
  while (pos < n) {
    // Copy the plain run in one go; most names have no escapes at all.
    const std::size_t run = PlainRunEnd(raw, pos);
    out.append(raw.data() + pos, run - pos);
    pos = run;
    if (pos >= n) break;

    const char c = raw[pos];
    if (c == '\'') {
      out.push_back('\'');
      pos += (pos + 1 < n && raw[pos + 1] == '\'') ? 2 : 1;
      continue;
    }
    if (c != '\\') {
      const std::size_t len = Utf8SequenceLength(raw, pos);
      if (len != 0) {
        out.append(raw.data() + pos, len);
        pos += len;
      } else if (page != nullptr && page->IsOpen()) {
        // The whole run of such bytes at once: a multi-byte page needs its pairs together.
        std::size_t stop = pos + 1;
        while (stop < n && static_cast<unsigned char>(raw[stop]) >= 0x80 &&
               Utf8SequenceLength(raw, stop) == 0) {
          ++stop;
        }
        page->AppendUtf8(raw.substr(pos, stop - pos), out);
        pos = stop;
      } else {
        AppendUtf8(static_cast<unsigned char>(c), out);
        ++pos;
      }
      continue;
    }

    uint32_t value = 0;
    if (StartsAt(raw, pos, "\\\\")) {
      out.push_back('\\');
      pos += 2;
    } else if (StartsAt(raw, pos, "\\X\\") && ReadHex(raw, pos + 3, 2, value)) {
      AppendUtf8(static_cast<char32_t>(value), out);
      pos += 5;
    } else if (StartsAt(raw, pos, "\\X2\\")) {
      pos = DecodeWideRun(raw, pos + 4, 4, out);
    } else if (StartsAt(raw, pos, "\\X4\\")) {
      pos = DecodeWideRun(raw, pos + 4, 8, out);
    } else if (StartsAt(raw, pos, "\\X0\\")) {
      pos += 4;  // stray terminator
    } else if (StartsAt(raw, pos, "\\S\\") && pos + 3 < n) {
      AppendUtf8(static_cast<char32_t>(static_cast<unsigned char>(raw[pos + 3]) | 0x80), out);
      pos += 4;
    } else if (pos + 3 < n && raw[pos + 1] == 'P' && raw[pos + 2] >= 'A' && raw[pos + 2] <= 'I' &&
               raw[pos + 3] == '\\') {
      pos += 4;  // code page switch; \S\ is read as Latin-1 whatever the page
    } else {
      out.push_back('\\');
      ++pos;
    }
  }
}

}  // namespace step
