// QORWebScriptText.cpp - finds and decodes a script's long single-quoted literal, and writes one.
#include "DialogToolkit/src/QORWebScriptText.h"

#include <cstring>

#include "SystemStrings/QORUtf8.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex(std::string_view s, size_t at, size_t count, unsigned& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t k = 0; k < count; ++k) {
    int h = HexValue(s[at + k]);
    if (h < 0) return false;
    value = value * 16 + static_cast<unsigned>(h);
  }
  return true;
}

// The value of the literal body s (between the quotes); false for what a plain
// reading cannot reproduce (line continuations, octal escapes, lone surrogates).
bool Decode(std::string_view s, std::string& out) {
  out.clear();
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    // What lies between escapes is taken as it is, in one piece.
    const void* slash = std::memchr(s.data() + i, '\\', s.size() - i);
    const size_t next =
        slash ? static_cast<size_t>(static_cast<const char*>(slash) - s.data()) : s.size();
    out.append(s.data() + i, next - i);
    i = next;
    if (i >= s.size()) break;
    if (++i >= s.size()) return false;
    char e = s[i];
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'v':
        out += '\v';
        break;
      case '0':
        if (i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9') return false;
        out += '\0';
        break;
      case 'x': {
        unsigned v = 0;
        if (!ReadHex(s, i + 1, 2, v)) return false;
        QORAppendUtf8(out, v);
        i += 2;
        break;
      }
      case 'u': {
        unsigned v = 0;
        if (!ReadHex(s, i + 1, 4, v)) return false;
        i += 4;
        if (v >= 0xD800 && v <= 0xDBFF) {
          unsigned low = 0;
          if (i + 2 >= s.size() || s[i + 1] != '\\' || s[i + 2] != 'u' ||
              !ReadHex(s, i + 3, 4, low) || low < 0xDC00 || low > 0xDFFF)
            return false;
          i += 6;
          v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
        } else if (v >= 0xDC00 && v <= 0xDFFF) {
          return false;
        }
        QORAppendUtf8(out, v);
        break;
      }
      case '\r':
      case '\n':
        return false;
      default:
        if (e >= '1' && e <= '9') return false;
        out += e;  // \' \" \\ \/ and any other character stand for themselves
    }
  }
  return true;
}

// A literal's value is written as JSON escapes it, with each "'" then written "\'": the
// filter dialog's init script has always carried its document so, and
// DialogEscapingTest holds it to that byte for byte.
struct Escapes {
  unsigned char special[256] = {};
  constexpr Escapes() {
    for (int c = 0; c < 0x20; ++c) special[c] = 1;
    special[static_cast<unsigned char>('"')] = 1;
    special[static_cast<unsigned char>('\\')] = 1;
    special[static_cast<unsigned char>('\'')] = 1;
    special[static_cast<unsigned char>('<')] = 1;
    special[0xE2] = 1;  // may start U+2028 or U+2029
  }
};
constexpr Escapes kEscapes;

// Calls plain(begin, length) for each run of bytes taken as they are and escape(text)
// for each escaped byte or sequence, in order.
template <class Plain, class Escape>
void WalkEscaped(std::string_view text, Plain plain, Escape escape) {
  static const char kHex[] = "0123456789abcdef";
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && !kEscapes.special[static_cast<unsigned char>(text[run])]) ++run;
    if (run > i) plain(text.data() + i, run - i);
    i = run;
    if (i >= n) break;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        escape(std::string_view("\\\""));
        break;
      case '\\':
        escape(std::string_view("\\\\"));
        break;
      case '\'':
        escape(std::string_view("\\'"));
        break;
      case '\n':
        escape(std::string_view("\\n"));
        break;
      case '\r':
        escape(std::string_view("\\r"));
        break;
      case '\t':
        escape(std::string_view("\\t"));
        break;
      case '\b':
        escape(std::string_view("\\b"));
        break;
      case '\f':
        escape(std::string_view("\\f"));
        break;
      case '<':
        if (i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '!'))
          escape(std::string_view("\\u003c"));
        else
          plain(text.data() + i, 1);
        break;
      case 0xE2:
        if (i + 2 < n && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
          const bool line = static_cast<unsigned char>(text[i + 2]) == 0xA8;
          escape(std::string_view(line ? "\\u2028" : "\\u2029"));
          i += 2;
        } else {
          plain(text.data() + i, 1);
        }
        break;
      default: {
        const char code[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        escape(std::string_view(code, sizeof(code)));
      }
    }
    ++i;
  }
}

}  // namespace

void QORAppendScriptLiteral(std::string_view text, std::string& out) {
  size_t length = 0;
  WalkEscaped(
      text, [&](const char*, size_t count) { length += count; },
      [&](std::string_view escaped) { length += escaped.size(); });
  out.reserve(out.size() + length);
  WalkEscaped(
      text, [&](const char* begin, size_t count) { out.append(begin, count); },
      [&](std::string_view escaped) { out.append(escaped); });
}

namespace {

// Whether the character at "at" is escaped: an odd run of backslashes before it, back
// to "from".
bool Escaped(std::string_view s, size_t from, size_t at) {
  size_t slashes = 0;
  while (at - slashes > from && s[at - 1 - slashes] == '\\') ++slashes;
  return slashes % 2 == 1;
}

// The index of the quote that closes the literal opened at start, npos when there is
// none or a line ends inside it unescaped. Jumps from quote to quote: a document's
// literal runs to hundreds of megabytes.
size_t LiteralEnd(std::string_view s, size_t start) {
  const char quote = s[start];
  size_t at = start + 1;
  for (;;) {
    const void* hit = std::memchr(s.data() + at, quote, s.size() - at);
    if (!hit) return std::string_view::npos;
    const size_t end = static_cast<size_t>(static_cast<const char*>(hit) - s.data());
    if (!Escaped(s, start + 1, end)) {
      for (size_t line = start + 1;; ++line) {
        const void* nl = std::memchr(s.data() + line, '\n', end - line);
        if (!nl) return end;
        line = static_cast<size_t>(static_cast<const char*>(nl) - s.data());
        if (!Escaped(s, start + 1, line)) return std::string_view::npos;
      }
    }
    at = end + 1;
  }
}

}  // namespace

bool QORSplitScriptText(std::string_view script, size_t minLength, QORWebScriptText& out) {
  size_t bestStart = 0, bestEnd = 0;
  size_t i = 0;
  const size_t n = script.size();
  while (i < n) {
    char c = script[i];
    if (c == '\'' || c == '"') {
      size_t start = i;
      i = LiteralEnd(script, start);
      if (i == std::string_view::npos) return false;  // not a string literal after all
      if (c == '\'' && i - start - 1 > bestEnd - bestStart) {
        bestStart = start + 1;
        bestEnd = i;
      }
      ++i;
    } else if (c == '`') {
      return false;  // template literals may hold code
    } else if (c == '/' && i + 1 < n && (script[i + 1] == '/' || script[i + 1] == '*')) {
      const bool line = script[i + 1] == '/';
      size_t end = line ? script.find('\n', i + 2) : script.find("*/", i + 2);
      if (end == std::string_view::npos) return false;
      i = end + (line ? 1 : 2);
    } else if (c == '/') {
      return false;  // a division or a regular expression: not worth telling apart
    } else {
      ++i;
    }
  }
  if (bestEnd - bestStart < minLength || bestEnd == 0) return false;
  if (!Decode(script.substr(bestStart, bestEnd - bestStart), out.text)) return false;
  out.before.assign(script.substr(0, bestStart - 1));
  out.after.assign(script.substr(bestEnd + 1));
  return true;
}
