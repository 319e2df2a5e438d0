// StepString.h - turns the escaped text of a STEP string into UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace step {

class StepCodePage;

// Input is the raw text between the apostrophes, exactly as written in the file. Handles
// doubled apostrophes, \\, \X\HH, \X2\...\X0\, \X4\...\X0\, \S\c and \PA\-style code page
// directives. Malformed escapes are kept literally and invalid code points become U+FFFD,
// so decoding never fails. Bytes >= 0x80 written directly are kept when they form valid
// UTF-8 and read as Latin-1 otherwise, or in `page` when one is given.
class StepString {
 public:
  static std::string Decode(std::string_view raw, const StepCodePage* page = nullptr);
  static void DecodeAppend(std::string_view raw, std::string& out,
                           const StepCodePage* page = nullptr);
  static void AppendUtf8(char32_t codePoint, std::string& out);
};

}  // namespace step
