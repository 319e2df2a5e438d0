// StepCodePage.h - reads the bytes of a STEP string that are not UTF-8 in a named code page.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace step {

// Older exporters write names in the code page of the machine they ran on, bytes that are
// not UTF-8. Without a page those bytes are read as Latin-1; with one, iconv converts them.
// A page is used by one thread at a time (iconv keeps state between calls).
class StepCodePage {
 public:
  StepCodePage() = default;
  ~StepCodePage();
  StepCodePage(const StepCodePage&) = delete;
  StepCodePage& operator=(const StepCodePage&) = delete;

  // A name iconv knows ("windows-1251", "CP932", "ISO-8859-2"); false with a message else.
  bool Open(const std::string& name, std::string& error);
  bool IsOpen() const { return _handle != reinterpret_cast<iconv_t>(-1); }
  const std::string& Name() const { return _name; }

  // Appends the UTF-8 of `bytes`; a byte the page cannot map becomes U+FFFD.
  void AppendUtf8(std::string_view bytes, std::string& out) const;

 private:
  iconv_t _handle = reinterpret_cast<iconv_t>(-1);
  std::string _name;
};

}  // namespace step
