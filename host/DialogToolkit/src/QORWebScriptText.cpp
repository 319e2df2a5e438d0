// QORWebScriptText.cpp - finds and decodes a script's long single-quoted literal, and writes one.
#include "DialogToolkit/src/QORWebScriptText.h"

#include <cstring>

#include "JsonStreams/src/JsonText.h"
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

// A literal's value is written as JSON escapes it for a script, with each "'" then
// written "\'": the filter dialog's init script has always carried its document so, and
// DialogEscapingTest holds it to that byte for byte. The JSON streams' escaper does the
// JSON part; this sink adds the apostrophes and leaves out the enclosing quotes (inner
// quotes come escaped, through Write).
struct ScriptLiteralSink {
  std::string& out;
  void Write(const char* bytes, size_t count) {
    while (count > 0) {
      const void* hit = std::memchr(bytes, '\'', count);
      const size_t plain = hit ? static_cast<size_t>(static_cast<const char*>(hit) - bytes) : count;
      out.append(bytes, plain);
      if (!hit) return;
      out.append("\\'", 2);
      bytes += plain + 1;
      count -= plain + 1;
    }
  }
  void Put(char c) {
    if (c != '"') out.push_back(c);
  }
};

}  // namespace

void QORAppendScriptLiteral(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size() + text.size() / 16 + 64);
  ScriptLiteralSink sink{out};
  JSON::detail::WriteQuoted<true>(sink, text);
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
