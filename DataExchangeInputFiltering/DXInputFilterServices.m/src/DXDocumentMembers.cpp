// DXDocumentMembers.cpp - one pass over a document's text: strings are skipped from
// quote to quote with memchr, which is where nearly all of the bytes are.
#include "DXDocumentMembers.h"

#include <cstring>

namespace {

bool IsLowerHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The escape at s[at] ('\\') as the writer makes it; its length in count.
bool CanonicalEscape(std::string_view s, size_t at, size_t& count) {
  if (at + 1 >= s.size()) return false;
  switch (s[at + 1]) {
    case '"':
    case '\\':
    case 'b':
    case 'f':
    case 'n':
    case 'r':
    case 't':
      count = 2;
      return true;
    case 'u': {
      // Only the control characters that have no short escape.
      if (at + 5 >= s.size() || s[at + 2] != '0' || s[at + 3] != '0') return false;
      const char high = s[at + 4], low = s[at + 5];
      if ((high != '0' && high != '1') || !IsLowerHex(low)) return false;
      const int code = (high - '0') * 16 + (low <= '9' ? low - '0' : low - 'a' + 10);
      if (code == '\b' || code == '\f' || code == '\n' || code == '\r' || code == '\t')
        return false;
      count = 6;
      return true;
    }
    default:
      return false;
  }
}

// From the opening quote at s[at]: the index behind the closing quote, 0 when the
// string is not in the writer's form; escapes tells whether it holds any.
size_t StringEnd(std::string_view s, size_t at, bool& escapes) {
  escapes = false;
  size_t i = at + 1;
  for (;;) {
    const void* quote = std::memchr(s.data() + i, '"', s.size() - i);
    if (!quote) return 0;
    const size_t end = static_cast<size_t>(static_cast<const char*>(quote) - s.data());
    // Backslashes before this quote: each escape is checked, and one may hide the quote.
    const void* slash = std::memchr(s.data() + i, '\\', end - i);
    if (!slash) return end + 1;
    escapes = true;
    i = static_cast<size_t>(static_cast<const char*>(slash) - s.data());
    size_t count = 0;
    if (!CanonicalEscape(s, i, count)) return 0;
    i += count;
  }
}

// From s[at], the first byte of a value: the index behind it, 0 when it is not in the
// writer's form (whitespace between tokens included).
size_t ValueEnd(std::string_view s, size_t at) {
  bool escapes = false;
  if (s[at] == '"') return StringEnd(s, at, escapes);
  if (s[at] != '{' && s[at] != '[') {
    size_t i = at;
    while (i < s.size() && s[i] != ',' && s[i] != '}' && s[i] != ']') {
      if (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t') return 0;
      ++i;
    }
    return i;
  }
  size_t depth = 0;
  for (size_t i = at; i < s.size();) {
    const char c = s[i];
    if (c == '"') {
      i = StringEnd(s, i, escapes);
      if (i == 0) return 0;
      continue;
    }
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') return 0;
    if (c == '{' || c == '[') ++depth;
    if ((c == '}' || c == ']') && --depth == 0) return i + 1;
    ++i;
  }
  return 0;
}

}  // namespace

bool DXSplitCanonicalMembers(std::string_view s, std::vector<DXDocumentMember>& members) {
  members.clear();
  if (s.size() < 2 || s.front() != '{' || s.back() != '}') return false;
  if (s.size() == 2) return true;
  size_t i = 1;
  for (;;) {
    if (s[i] != '"') return false;
    bool escapes = false;
    const size_t keyEnd = StringEnd(s, i, escapes);
    if (keyEnd == 0 || escapes || keyEnd >= s.size() || s[keyEnd] != ':') return false;
    const std::string_view key = s.substr(i + 1, keyEnd - i - 2);
    const size_t valueStart = keyEnd + 1;
    if (valueStart >= s.size() - 1) return false;
    const size_t valueEnd = ValueEnd(s, valueStart);
    if (valueEnd == 0 || valueEnd >= s.size()) return false;
    members.push_back({key, s.substr(valueStart, valueEnd - valueStart)});
    if (s[valueEnd] == '}') return valueEnd + 1 == s.size();
    if (s[valueEnd] != ',') return false;
    i = valueEnd + 1;
  }
}
