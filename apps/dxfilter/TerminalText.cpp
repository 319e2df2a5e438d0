// TerminalText.cpp - escaping model text for the terminal and for JSON output.
#include "TerminalText.h"

#include <cstdio>

#include "JsonStreams/QORJsonString.h"
#include "SystemStrings/QORUtf8.h"

namespace {

void AppendHex(std::string& out, unsigned char byte) {
  char hex[8];
  std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
  out += hex;
}

// Length of the valid UTF-8 sequence at text[at], 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t bad = 0;
  return QORUtf8SequenceLength(p + at, p + text.size(), &bad);
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7F) {
      AppendHex(out, c);
      ++at;
    } else if (c == '\\') {
      out += "\\\\";
      ++at;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++at;
    } else if (const size_t length = SequenceLength(text, at); length == 0) {
      AppendHex(out, c);
      ++at;
    } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      // U+0080..U+009F: C1 controls, CSI among them.
      AppendHex(out, static_cast<unsigned char>(text[at + 1]));  // the code point's byte
      at += 2;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string JsonQuoted(std::string_view text) {
  return QORJsonString(text);
}
