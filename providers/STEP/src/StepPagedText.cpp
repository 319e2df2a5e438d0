#include "StepPagedText.h"

#include <algorithm>

#include "StepString.h"

namespace step {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// Longest character of the pages iconv offers (GB18030 has four bytes).
constexpr std::size_t kMaxCharBytes = 4;

bool IsHigh(char c) {
  return static_cast<unsigned char>(c) >= 0x80;
}

// Stateful pages (ISO-2022-JP, -KR, -CN) shift out of ASCII with ESC or SO; STEP's own text
// never holds either byte.
constexpr char kEscape = '\x1B';
constexpr char kShiftOut = '\x0E';
constexpr char kShiftIn = '\x0F';

bool IsShift(char c) {
  return c == kEscape || c == kShiftOut;
}

// End of the shifted run starting at pos: past the shift back to ASCII (ESC ( B, ESC ( J, SI),
// else the end of the string.
std::size_t ShiftedRunEnd(std::string_view raw, std::size_t pos) {
  if (raw[pos] == kShiftOut) {
    const std::size_t in = raw.find(kShiftIn, pos);
    return in == std::string_view::npos ? raw.size() : in + 1;
  }
  for (std::size_t at = raw.find(kEscape, pos); at != std::string_view::npos;
       at = raw.find(kEscape, at + 1)) {
    if (at + 2 < raw.size() && raw[at + 1] == '(' && (raw[at + 2] == 'B' || raw[at + 2] == 'J'))
      return at + 3;
  }
  return raw.size();
}

}  // namespace

bool StepPagedText::Open(const std::string& page, std::string& error) {
  return _page.Open(page, error) && _utf8.Open("UTF-8", error);
}

bool StepPagedText::IsUtf8(std::string_view raw) const {
  // A conversion that changes nothing met no invalid byte: each would become U+FFFD.
  std::string copy;
  _utf8.AppendUtf8(raw, copy);
  return copy == raw;
}

std::size_t StepPagedText::CharLength(std::string_view raw, std::size_t pos) const {
  std::string probe;
  const std::size_t most = std::min(kMaxCharBytes, raw.size() - pos);
  for (std::size_t length = 1; length <= most; ++length) {
    probe.clear();
    // A cut character or a byte the page lacks comes back as U+FFFD.
    _page.AppendUtf8(raw.substr(pos, length), probe);
    if (probe.find(kReplacement) == std::string::npos) return length;
  }
  return 1;
}

std::string StepPagedText::Decode(std::string_view raw) const {
  if (!IsOpen()) return StepString::Decode(raw);
  const bool shifted = std::any_of(raw.begin(), raw.end(), IsShift);
  if (!shifted && (std::none_of(raw.begin(), raw.end(), IsHigh) || IsUtf8(raw))) {
    return StepString::Decode(raw);
  }
  std::string out;
  out.reserve(raw.size() * 2);
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t stop = pos;
    if (IsShift(raw[pos])) {
      // Converted whole, so iconv keeps the shift state across it. Its bytes are ASCII: an
      // apostrophe among them was doubled by the writer, as STEP asks of every apostrophe.
      stop = ShiftedRunEnd(raw, pos);
      std::string run(raw.substr(pos, stop - pos));
      for (std::size_t q = run.find("''"); q != std::string::npos; q = run.find("''", q + 1))
        run.erase(q, 1);
      _page.AppendUtf8(run, out);
    } else if (!IsHigh(raw[pos])) {
      while (stop < raw.size() && !IsHigh(raw[stop]) && !IsShift(raw[stop])) ++stop;
      StepString::DecodeAppend(raw.substr(pos, stop - pos), out);
    } else {
      while (stop < raw.size() && IsHigh(raw[stop])) stop += CharLength(raw, stop);
      stop = std::min(stop, raw.size());
      _page.AppendUtf8(raw.substr(pos, stop - pos), out);
    }
    pos = stop;
  }
  return out;
}

}  // namespace step
