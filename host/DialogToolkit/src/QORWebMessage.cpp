// QORWebMessage.cpp - the message reader: a small state machine over the body's bytes,
// fed chunk by chunk as they come off the socket.
#include "DialogToolkit/src/QORWebMessage.h"

#include <simdjson.h>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "SystemStrings/QORUtf8.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsPlain(unsigned char c) {
  return c != '"' && c != '\\' && c >= 0x20;
}

// The character a one-letter escape stands for, 0 for none.
char Unescaped(char c) {
  switch (c) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '/':
      return '/';
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return 0;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hex digits at p as a number, -1 when they are not.
int32_t Hex4(const char* p) {
  int32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = HexValue(p[i]);
    if (digit < 0) return -1;
    value = (value << 4) | digit;
  }
  return value;
}

}  // namespace

const char* QORWebMessageReader::Run(const char* p, const char* end) {
  // Room for every byte left in this chunk and one vector more: unescaping only
  // shrinks, and the copy below stores sixteen bytes at a time.
  std::string& out = _strings.back();
  const size_t used = out.size();
  const size_t needed = used + static_cast<size_t>(end - p) + 16;
  if (needed > out.capacity() && used >= (size_t(64) << 10))
    out.reserve(std::max(needed, used + _left + 64));
  out.resize(needed);
  char* w = out.data() + used;
  const char* stop = nullptr;
  while (p < end) {
#if defined(__SSE2__)
    if (end - p >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned quotes =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
      const unsigned slashes =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))));
      const __m128i limit = _mm_set1_epi8(0x1F);
      const unsigned controls =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, limit), v)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
      if (!(quotes | slashes | controls)) {
        p += 16;
        w += 16;
        continue;
      }
      if (slashes && !controls) {
        // A document sent as a string is mostly \" and \\: drop the backslash that
        // starts each escape, sixteen bytes at a time, while every escape in the block
        // is one of those and no quote ends the string here.
        unsigned starts = 0;
        for (unsigned bits = slashes; bits; bits &= bits - 1) {
          const unsigned bit = bits & (0u - bits);
          if (!(starts & (bit >> 1))) starts |= bit;
        }
        const unsigned escaped = (starts << 1) & 0xFFFF;
        const __m128i kept = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
        const unsigned simple = static_cast<unsigned>(_mm_movemask_epi8(kept));
        if ((escaped & ~simple) == 0 && (quotes & ~escaped) == 0) {
          // An escape starting on the last byte is left whole for the next block.
          alignas(16) char block[32] = {};
          _mm_store_si128(reinterpret_cast<__m128i*>(block), v);
          unsigned from = 0;
          for (unsigned bits = starts; bits; bits &= bits - 1) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(bits));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + from)));
            w += at - from;
            from = at + 1;
          }
          _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + from)));
          w += 16 - from;
          p += (starts & 0x8000) ? 15 : 16;
          continue;
        }
      }
      const int plain = __builtin_ctz(quotes | slashes | controls);
      p += plain;
      w += plain;
    }
#endif
    if (IsPlain(static_cast<unsigned char>(*p))) {
      *w++ = *p++;
      continue;
    }
    if (*p == '"') {
      _state = State::CommaOrEnd;
      stop = p + 1;
      break;
    }
    if (*p != '\\') {  // a control character must be escaped
      out.resize(static_cast<size_t>(w - out.data()));
      return nullptr;
    }
    // The common escapes in one step when all their bytes are here; the rest (and
    // surrogate pairs) byte by byte.
    if (p + 1 < end) {
      if (char c = Unescaped(p[1])) {
        *w++ = c;
        p += 2;
        continue;
      }
      if (p[1] == 'u' && end - p >= 6) {
        const int32_t unit = Hex4(p + 2);
        if (unit >= 0 && (unit < 0xD800 || unit > 0xDFFF)) {
          w = QORPutUtf8(w, static_cast<uint32_t>(unit));
          p += 6;
          continue;
        }
      }
    }
    _state = State::Escape;
    stop = p + 1;
    break;
  }
  if (!stop) stop = p;
  out.resize(static_cast<size_t>(w - out.data()));
  return stop;
}

bool QORWebMessageReader::Unicode(uint32_t unit) {
  std::string& out = _strings.back();
  if (_high) {
    if (unit < 0xDC00 || unit > 0xDFFF) return false;  // a high half without its low half
    QORAppendUtf8(out, 0x10000 + ((_high - 0xD800) << 10) + (unit - 0xDC00));
    _high = 0;
    return true;
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a low half alone
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    _high = unit;
    return true;
  }
  QORAppendUtf8(out, unit);
  return true;
}

bool QORWebMessageReader::Feed(const char* data, size_t size) {
  _left = _left > size ? _left - size : 0;
  const char* p = data;
  const char* end = data + size;
  while (p < end) {
    switch (_state) {
      case State::Start:
        if (IsBlank(*p)) break;
        if (*p != '[') return false;
        _state = State::FirstValue;
        break;
      case State::FirstValue:
      case State::Value:
        if (IsBlank(*p)) break;
        if (*p == ']' && _state == State::FirstValue) {
          _state = State::End;
          break;
        }
        if (*p != '"') return false;
        _strings.emplace_back();
        _state = State::String;
        break;
      case State::CommaOrEnd:
        if (IsBlank(*p)) break;
        if (*p == ',')
          _state = State::Value;
        else if (*p == ']')
          _state = State::End;
        else
          return false;
        break;
      case State::End:
        if (!IsBlank(*p)) return false;
        break;
      case State::String: {
        if (!_high) {
          p = Run(p, end);
          if (!p) return false;
          continue;
        }
        // After a high surrogate only its low half may come.
        if (*p != '\\') return false;
        _state = State::Escape;
        break;
      }
      case State::Escape:
        if (*p == 'u') {
          _unit = 0;
          _digits = 0;
          _state = State::Unicode;
          break;
        }
        if (_high) return false;
        if (char c = Unescaped(*p)) {
          _strings.back() += c;
          _state = State::String;
          break;
        }
        return false;
      case State::Unicode: {
        const int digit = HexValue(*p);
        if (digit < 0) return false;
        _unit = (_unit << 4) | static_cast<uint32_t>(digit);
        if (++_digits == 4) {
          if (!Unicode(_unit)) return false;
          _state = State::String;
        }
        break;
      }
    }
    ++p;
  }
  return true;
}

bool QORWebMessageReader::Finish() {
  if (_state != State::End) return false;
  for (std::string& s : _strings) {
    if (!simdjson::validate_utf8(s.data(), s.size())) return false;
    // A JSON parser reading the text later can do so in place, without a copy.
    if (s.size() > 4096 && s.capacity() - s.size() < simdjson::SIMDJSON_PADDING)
      s.reserve(s.size() + simdjson::SIMDJSON_PADDING);
  }
  return true;
}
