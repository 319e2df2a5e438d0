// QORWebMessage.h - reads a page's message as its body arrives (kit internal): a JSON
// array of strings, nothing else, unescaped on the fly so that checking a document of
// tens of megabytes costs nothing once its last byte is in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QORWebMessageReader {
 public:
  // The body's declared length: a string that grows large takes room for the rest at
  // once rather than growing by copies.
  void Expect(size_t bytes) { _left = bytes; }
  // Takes the next bytes of the body; false as soon as they cannot be a message.
  bool Feed(const char* data, size_t size);
  // True when the body was one whole array of strings, each valid UTF-8.
  bool Finish();
  std::vector<std::string>& Strings() { return _strings; }

 private:
  enum class State { Start, FirstValue, Value, CommaOrEnd, String, Escape, Unicode, End };
  bool Unicode(uint32_t unit);
  // Copies string content from p on; gives where it stopped (the string's end, an
  // escape to finish byte by byte, or the end of the bytes), null when malformed.
  const char* Run(const char* p, const char* end);

  State _state = State::Start;
  std::vector<std::string> _strings;
  uint32_t _unit = 0;
  int _digits = 0;
  uint32_t _high = 0;  // a high surrogate waiting for its low half
  size_t _left = 0;    // bytes of the body still to come, as declared
};
