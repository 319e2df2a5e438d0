// QORJsonString.h - JSON string literals for code that writes JSON text by hand (the
// web server's answers, a page's script, line-by-line records): the JSON streams' own
// escaper, so every JSON string the kit and its modules write is escaped one way.
#pragma once

#include <string>
#include <string_view>

#include "SystemStrings/QORTypes.h"

// Where the literal goes: plain JSON, or inside a script element of a page, where "</",
// "<!" and the line separators U+2028 and U+2029 must not appear as they are.
enum class QORJsonQuoting { kJson, kScript };

// Appends text as a JSON string literal, quotes included. Control characters are
// escaped; invalid UTF-8 becomes U+FFFD, one per maximal ill-formed sequence, so the
// result is valid JSON whatever text holds.
QOR_KIT_API void QORAppendJsonString(std::string& out, std::string_view text,
                                     QORJsonQuoting quoting = QORJsonQuoting::kJson);

inline std::string QORJsonString(std::string_view text,
                                 QORJsonQuoting quoting = QORJsonQuoting::kJson) {
  std::string out;
  QORAppendJsonString(out, text, quoting);
  return out;
}
