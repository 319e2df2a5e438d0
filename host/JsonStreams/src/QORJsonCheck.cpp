// QORJsonCheck.cpp - the text is cut along its own structure into pieces of some tens of
// kilobytes, each parsed by one small parser whose memory stays warm. A value too large
// for a piece is entered and its items (members) are taken in runs; what lies between
// pieces (brackets, commas, colons, blanks) is checked here. Each piece is wrapped in as
// many '[' as it lies deep, so the parser counts the nesting as for the whole text.
#include "JsonStreams/QORJsonCheck.h"

#include <simdjson.h>

#include <cstring>
#include <string>

#include "JsonStreams/JIStream.h"

namespace {

constexpr size_t kNone = std::string_view::npos;
constexpr size_t kPiece = 64 * 1024;
// Deeper containers are taken whole rather than entered, which bounds the recursion.
constexpr int kMaxEntered = 64;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Checker {
 public:
  explicit Checker(std::string_view text) : _text(text) {}

  bool Run() {
    if (_parser.allocate(2 * kPiece + 2 * kMaxEntered + 2, JSON::kMaxDepth)) return false;
    size_t at = 0;
    if (_text.size() >= 3 && std::memcmp(_text.data(), "\xEF\xBB\xBF", 3) == 0) at = 3;
    at = SkipBlank(at);
    const size_t start = at;
    bool checked = false;
    if (!Value(at, 0, checked) || SkipBlank(at) != _text.size()) return false;
    return checked || Check(start, at, 0, 0, 0);
  }

 private:
  size_t SkipBlank(size_t at) const {
    while (at < _text.size() && IsBlank(_text[at])) ++at;
    return at;
  }

  // From the opening quote at at: behind the closing one, kNone when there is none.
  size_t StringEnd(size_t at) const {
    const char* const data = _text.data();
    size_t i = at + 1;
    while (i < _text.size()) {
      const void* quote = std::memchr(data + i, '"', _text.size() - i);
      if (!quote) return kNone;
      const size_t end = static_cast<size_t>(static_cast<const char*>(quote) - data);
      const void* slash = std::memchr(data + i, '\\', end - i);
      if (!slash) return end + 1;
      i = static_cast<size_t>(static_cast<const char*>(slash) - data) + 2;  // the escaped byte
    }
    return kNone;
  }

  // Behind the container opening at at, by its brackets alone; kNone when it never closes.
  size_t FlatEnd(size_t at) const {
    size_t depth = 0;
    while (at < _text.size()) {
      const char c = _text[at];
      if (c == '"') {
        at = StringEnd(at);
        if (at == kNone) return kNone;
        continue;
      }
      if (c == '{' || c == '[') ++depth;
      if ((c == '}' || c == ']') && --depth == 0) return at + 1;
      ++at;
    }
    return kNone;
  }

  // Parses text[from, to) between open and close (when given), wrapped depth deep.
  bool Check(size_t from, size_t to, int depth, char open, char close) {
    const size_t wrap = static_cast<size_t>(depth);
    _piece.clear();
    _piece.reserve(2 * wrap + 2 + (to - from) + simdjson::SIMDJSON_PADDING);
    _piece.append(wrap, '[');
    if (open) _piece.push_back(open);
    _piece.append(_text.substr(from, to - from));
    if (close) _piece.push_back(close);
    _piece.append(wrap, ']');
    return !_parser.parse(_piece.data(), _piece.size(), false).error();
  }

  // The value at at (blanks already skipped), which lies depth deep: at moves behind it.
  // checked tells whether it was parsed in pieces already; if not, the caller parses it
  // with its neighbours. False when the text is not JSON.
  bool Value(size_t& at, int depth, bool& checked) {
    checked = false;
    if (at >= _text.size()) return false;
    const size_t start = at;
    const char open = _text[at];
    if (open == '"') {
      at = StringEnd(at);
      return at != kNone;
    }
    if (open != '{' && open != '[') {  // a number or a literal, checked by the parser
      while (at < _text.size() && !IsBlank(_text[at]) && _text[at] != ',' && _text[at] != ']' &&
             _text[at] != '}')
        ++at;
      return at > start;
    }
    if (depth >= kMaxEntered) {
      at = FlatEnd(at);
      return at != kNone;
    }
    const char close = open == '{' ? '}' : ']';
    size_t run = kNone, runEnd = 0;  // items not parsed yet, side by side
    bool entered = false;            // a part of it was parsed on its own
    at = SkipBlank(at + 1);
    if (at < _text.size() && _text[at] == close) {
      ++at;
      return true;
    }
    for (;;) {
      const size_t item = at;
      bool itemChecked = false;
      if (open == '{') {
        if (at >= _text.size() || _text[at] != '"') return false;
        const size_t keyEnd = StringEnd(at);
        if (keyEnd == kNone) return false;
        at = SkipBlank(keyEnd);
        if (at >= _text.size() || _text[at] != ':') return false;
        at = SkipBlank(at + 1);
        if (!Value(at, depth + 1, itemChecked)) return false;
        if (itemChecked && !Check(item, keyEnd, depth + 1, 0, 0)) return false;
      } else if (!Value(at, depth + 1, itemChecked)) {
        return false;
      }
      if (itemChecked) {
        if (run != kNone && !Check(run, runEnd, depth, open, close)) return false;
        run = kNone;
        entered = true;
      } else {
        if (run == kNone) run = item;
        runEnd = at;
        if (runEnd - run > kPiece) {
          if (!Check(run, runEnd, depth, open, close)) return false;
          run = kNone;
          entered = true;
        }
      }
      at = SkipBlank(at);
      if (at >= _text.size()) return false;
      if (_text[at] == close) break;
      if (_text[at] != ',') return false;
      at = SkipBlank(at + 1);
    }
    ++at;
    if (!entered) return true;  // small enough to go with its neighbours
    if (run != kNone && !Check(run, runEnd, depth, open, close)) return false;
    checked = true;
    return true;
  }

  std::string_view _text;
  simdjson::dom::parser _parser;
  std::string _piece;
};

}  // namespace

bool QORIsValidJson(std::string_view text) {
  return Checker(text).Run();
}
