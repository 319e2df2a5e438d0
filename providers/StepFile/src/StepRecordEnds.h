// StepRecordEnds.h - finds the ends of consecutive DATA records 64 bytes at a time.
#pragma once

#include <cstdint>

#include "StepLexer.h"

namespace step {

// The indexer looks for the ';' of every record in the file, one after the other; this is
// most of its work. A block of 64 bytes is classified at once: apostrophes, a running parity
// of them (inside a string or not, a doubled apostrophe closing and reopening), and the
// semicolons outside strings. The block is kept, so the next records' ends in it cost a bit
// look-up. The parity holds from a record's '(' on: the bytes from a ';' to the next
// record's '(' are "#n=TYPE", which holds no apostrophe. A block holding any '/' (a comment,
// perhaps) and the last 64 bytes of the input go to StepLexer::FindRecordEnd.
class StepRecordEnds {
 public:
  // Same answer as StepLexer::FindRecordEnd(p, end). p must not be behind the previous call's
  // result, and the bytes between that ';' and p must be a record's opening only; Reset when
  // the next p is elsewhere.
  const char* Find(const char* p, const char* end) {
#if defined(__SSE2__)
    if (_pBlock != nullptr && p >= _pBlock && p < _pBlock + 64) {
      const uint64_t ends = _ends & (~uint64_t{0} << (p - _pBlock));
      if (ends != 0) return _pBlock + __builtin_ctzll(ends);
      return Scan(_pBlock + 64, end, _carry);
    }
    return Scan(p, end, 0);
#else
    return StepLexer::FindRecordEnd(p, end);
#endif
  }

  void Reset() {
#if defined(__SSE2__)
    _pBlock = nullptr;
#endif
  }

 private:
#if defined(__SSE2__)
  // Classifies blocks from p, where the string parity is `carry` (all ones inside a string).
  const char* Scan(const char* p, const char* end, uint64_t carry) {
    const __m128i semi = _mm_set1_epi8(';');
    const __m128i quote = _mm_set1_epi8('\'');
    const __m128i slash = _mm_set1_epi8('/');
    while (end - p >= 64) {
      // The mapping's pages are scattered: the processor's own prefetching stops at each 4 KiB
      // page, so the next page is asked for one page ahead (a sixth less processor time).
      __builtin_prefetch(p + 4096);
      uint64_t quotes = 0;
      uint64_t semis = 0;
      __m128i slashes = _mm_setzero_si128();
      for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        quotes |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote)))}
                  << (16 * k);
        semis |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, semi)))}
                 << (16 * k);
        slashes = _mm_or_si128(slashes, _mm_cmpeq_epi8(v, slash));
      }
      if (_mm_movemask_epi8(slashes) != 0) break;
      // Bit i: an odd number of apostrophes up to and including i, i.e. inside a string.
      uint64_t inside = quotes ^ (quotes << 1);
      inside ^= inside << 2;
      inside ^= inside << 4;
      inside ^= inside << 8;
      inside ^= inside << 16;
      inside ^= inside << 32;
      inside ^= carry;
      _pBlock = p;
      _ends = semis & ~inside;
      carry = inside >> 63 != 0 ? ~uint64_t{0} : 0;
      _carry = carry;
      if (_ends != 0) return p + __builtin_ctzll(_ends);
      p += 64;
    }
    _pBlock = nullptr;
    if (carry != 0) {  // the string open at p is closed first
      p = StepLexer::FindStringEnd(p, end);
      if (p == nullptr) return nullptr;
      ++p;
    }
    return StepLexer::FindRecordEnd(p, end);
  }

  const char* _pBlock = nullptr;
  uint64_t _ends = 0;
  uint64_t _carry = 0;
#endif
};

}  // namespace step
