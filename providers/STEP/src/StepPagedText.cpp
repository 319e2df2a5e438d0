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
  if (!IsOpen() || std::none_of(raw.begin(), raw.end(), IsHigh) || IsUtf8(raw)) {
    return StepString::Decode(raw);
  }
  std::string out;
  out.reserve(raw.size() * 2);
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t stop = pos;
    if (!IsHigh(raw[pos])) {
      while (stop < raw.size() && !IsHigh(raw[stop])) ++stop;
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
