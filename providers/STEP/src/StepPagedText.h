// StepPagedText.h - decodes STEP strings whose bytes are in a code page the user named,
// including the multi-byte pages (Shift-JIS, GBK, Big5) whose second bytes may be ASCII.
#pragma once

#include <string>
#include <string_view>

#include "StepCodePage.h"

namespace step {

// A string whose bytes form UTF-8 is read as UTF-8, whatever the page. Otherwise each
// character that starts with a byte >= 0x80 is taken whole, its ASCII second byte included,
// and its run converted by iconv: a second byte 0x5C is part of a character, never the
// backslash of an escape. The ASCII between such runs is STEP text (escapes, doubled
// apostrophes) and reads as without a page. In a stateful page (ISO-2022-JP) each stretch
// from a shift out of ASCII to the shift back is converted whole, with its state.
// One object is used by one thread at a time.
class StepPagedText {
 public:
  // A name iconv knows; false with a message else.
  bool Open(const std::string& page, std::string& error);
  bool IsOpen() const { return _page.IsOpen(); }

  std::string Decode(std::string_view raw) const;

 private:
  bool IsUtf8(std::string_view raw) const;
  // Bytes of the page's character at raw[pos] (1 when it has none there).
  std::size_t CharLength(std::string_view raw, std::size_t pos) const;

  StepCodePage _page;
  StepCodePage _utf8;  // UTF-8 to UTF-8: iconv checks the bytes, no validator of our own
};

}  // namespace step
