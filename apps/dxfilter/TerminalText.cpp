// TerminalText.cpp - escaping model text for the terminal and for JSON output.
#include "TerminalText.h"

#include <cstdio>

#include "JsonStreams/JOStream.h"

namespace {

void AppendHex(std::string& out, unsigned char byte) {
  char hex[8];
  std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
  out += hex;
}

// Length of the valid UTF-8 sequence at text[at], 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  unsigned min = 0, code = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2, code = lead & 0x1F, min = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3, code = lead & 0x0F, min = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4, code = lead & 0x07, min = 0x10000;
  else
    return 0;
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
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
  JSON::JOStream holder;
  holder.Add("v", QORUnicodeString(std::string(text)));
  const std::string compact = holder.Stringify().Str();  // {"v":"..."}
  return compact.substr(5, compact.size() - 6);
}
