#include "StepCodePage.h"

#include <cerrno>

namespace step {

StepCodePage::~StepCodePage() {
  if (IsOpen()) iconv_close(_handle);
}

bool StepCodePage::Open(const std::string& name, std::string& error) {
  if (IsOpen()) iconv_close(_handle);
  _handle = iconv_open("UTF-8", name.c_str());
  if (!IsOpen()) {
    error = "unknown code page '" + name + "' (see iconv --list)";
    _name.clear();
    return false;
  }
  _name = name;
  return true;
}

void StepCodePage::AppendUtf8(std::string_view bytes, std::string& out) const {
  if (!IsOpen()) return;
  iconv(_handle, nullptr, nullptr, nullptr, nullptr);  // forget any shift state
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(_handle, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (done != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: a byte this page has no character for, or a cut sequence.
    out.append("\xEF\xBF\xBD");
    ++in;
    --inLeft;
    iconv(_handle, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace step
