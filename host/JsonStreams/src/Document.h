// Document.h - private: the parsed document that JIStream views share, and the writer
// that turns a viewed value back into compact JSON text.
#pragma once

#include <simdjson.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "JsonText.h"

namespace JSON {

// simdjson parses at close to memory speed and validates UTF-8 and nesting without
// recursion; its DOM is a flat tape plus one string buffer, far smaller than a tree of
// nodes. Pitfall: an element points into its document, so the document lives on the
// heap, is filled once by parse_into_document and never moves.
struct Document {
  simdjson::dom::document dom;

  // simdjson keeps floating-point numbers only as doubles and reads "-0" as the integer
  // 0, so printing them back could change "1.50" into "1.5". The source text of each
  // such number that would print differently is kept here, found by the string
  // preceding it (its offset in dom.string_buf, 0 for none) and its rank after that
  // string among the doubles and integer zeros; both survive the freeing of the input.
  struct SourceNumber {
    uint64_t after;
    uint32_t rank;
    uint32_t length;
    uint64_t offset;  // into numberText
  };
  std::vector<SourceNumber> numbers;
  std::string numberText;

  // Fills numbers from the input the document was just parsed from.
  void RecordSourceNumbers(const char* input, size_t length);
  // The source text recorded for that number, or empty when it prints as it was read.
  std::string_view SourceNumberText(uint64_t after, uint32_t rank) const;
  // Where a string handed out by the document sits in its string buffer.
  uint64_t StringPosition(std::string_view text) const {
    return static_cast<uint64_t>(reinterpret_cast<const uint8_t*>(text.data()) -
                                 dom.string_buf.get());
  }
};

namespace detail {

static_assert(std::is_trivially_copyable_v<simdjson::dom::element>);

inline simdjson::dom::element LoadElement(const unsigned char* bytes) {
  simdjson::dom::element element;
  std::memcpy(static_cast<void*>(&element), bytes, sizeof(element));
  return element;
}

inline void StoreElement(unsigned char* bytes, const simdjson::dom::element& element) {
  std::memcpy(bytes, static_cast<const void*>(&element), sizeof(element));
}

// Writes a viewed value as compact JSON; after is the position of the string before it
// (0 when the value is the top of the document or an object). Iterative: the depth is
// bounded by the parser, but a caller's thread may have a small stack.
template <class Sink>
void WriteElement(const Document& doc, simdjson::dom::element value, uint64_t after, Sink& sink) {
  using simdjson::dom::element_type;
  struct Frame {
    bool isObject;
    bool first;
    simdjson::dom::object::iterator member, memberEnd;
    simdjson::dom::array::iterator item, itemEnd;
  };
  SmallStack<Frame, 16> stack;
  uint32_t rank = 0;
  char digits[32];

  auto writeNumber = [&](std::string_view source, auto number) {
    if (!source.empty()) {
      sink.Write(source.data(), source.size());
    } else {
      const auto printed = std::to_chars(digits, digits + sizeof(digits), number);
      sink.Write(digits, static_cast<size_t>(printed.ptr - digits));
    }
  };
  auto open = [&](simdjson::dom::element e) {
    switch (e.type()) {
      case element_type::OBJECT: {
        simdjson::dom::object object = e.get_object().value_unsafe();
        sink.Put('{');
        stack.push_back({true, true, object.begin(), object.end(), {}, {}});
        break;
      }
      case element_type::ARRAY: {
        simdjson::dom::array array = e.get_array().value_unsafe();
        sink.Put('[');
        stack.push_back({false, true, {}, {}, array.begin(), array.end()});
        break;
      }
      case element_type::STRING: {
        const std::string_view text = e.get_string().value_unsafe();
        after = doc.StringPosition(text);
        rank = 0;
        WriteQuoted(sink, text);
        break;
      }
      case element_type::INT64: {
        const int64_t number = e.get_int64().value_unsafe();
        writeNumber(number == 0 ? doc.SourceNumberText(after, rank++) : std::string_view(), number);
        break;
      }
      case element_type::UINT64:
        writeNumber(std::string_view(), e.get_uint64().value_unsafe());
        break;
      case element_type::DOUBLE:
        writeNumber(doc.SourceNumberText(after, rank++), e.get_double().value_unsafe());
        break;
      case element_type::BOOL:
        if (e.get_bool().value_unsafe()) {
          sink.Write("true", 4);
        } else {
          sink.Write("false", 5);
        }
        break;
      case element_type::NULL_VALUE:
        sink.Write("null", 4);
        break;
    }
  };

  open(value);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.isObject) {
      if (frame.member == frame.memberEnd) {
        sink.Put('}');
        stack.pop_back();
        continue;
      }
      if (!frame.first) sink.Put(',');
      frame.first = false;
      const std::string_view key = frame.member.key();
      after = doc.StringPosition(key);
      rank = 0;
      WriteQuoted(sink, key);
      sink.Put(':');
      const simdjson::dom::element member = frame.member.value();
      ++frame.member;
      open(member);  // may grow the stack: frame is not used after this
    } else {
      if (frame.item == frame.itemEnd) {
        sink.Put(']');
        stack.pop_back();
        continue;
      }
      if (!frame.first) sink.Put(',');
      frame.first = false;
      const simdjson::dom::element item = *frame.item;
      ++frame.item;
      open(item);
    }
  }
}

}  // namespace detail
}  // namespace JSON
