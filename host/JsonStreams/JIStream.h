// JIStream.h - JSON::JIStream, a read view of one JSON value.
//
// A view shares ownership of the document it was parsed from: copying a view is
// cheap (one reference count), and a view stays valid after the stream it came from
// is gone, so a reader may keep views of a file's nodes after the file's stream died.
//
//   JSON::JIStream root;
//   if (root.ParseFile(path, true) && root.Exist("data"))
//     QORUnicodeString id = root.ReadObject("data").ReadString("filterID");
//
// Rules for what is not there or not of the type asked for (nothing throws):
// - a missing key, or a value of another type, reads as the empty result: an empty
//   view, an empty list, an empty string; ReadStrings and ReadObjects skip array
//   elements of another type ("uid" holding one string reads as no uid at all);
// - Parse and ParseFile accept any JSON value at the top (IsObject() tells), and
//   refuse invalid UTF-8, text nested deeper than kMaxDepth, and trailing garbage;
//   ParseFile also refuses a pipe or device that gives more than kMaxStreamedBytes
//   or starts with what no JSON text starts with;
//   a refused parse leaves the view as it was;
// - Empty() is true for a view holding nothing and for an object without members.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SystemStrings/QORTypes.h"
#include "SystemStrings/QORUnicodeString.h"

namespace JSON {

class JOStream;
struct Document;

// Deepest nesting of objects and arrays that parsing and writing accept.
constexpr int kMaxDepth = 1024;
// Most that ParseFile reads from what is not a regular file (a pipe, a device).
constexpr size_t kMaxStreamedBytes = size_t{1} << 30;

enum class Type : uint8_t { Missing, Null, Boolean, Number, String, Object, Array };

class QOR_KIT_API JIStream {
 public:
  JIStream();
  JIStream(const JIStream& other);
  JIStream(JIStream&& other) noexcept;
  // A view of what was added to the output stream (the stream is serialised and parsed).
  explicit JIStream(const JOStream& stream);
  JIStream& operator=(const JIStream& other);
  JIStream& operator=(JIStream&& other) noexcept;
  ~JIStream();

  // True when the text (file) held valid JSON; the view is then its top value.
  bool Parse(const QORUnicodeString& text, bool flag = true);
  bool Parse(std::string_view text, bool flag = true);
  bool ParseFile(const QORUnicodeString& path, bool flag = true);
  // Why the last Parse or ParseFile of this view failed; empty after a success.
  const std::string& LastError() const;

  bool Empty() const;
  bool IsObject() const;
  Type GetType() const;
  Type GetType(const char* key) const;
  bool Exist(const char* key) const;
  bool Exist(const QORUnicodeString& key) const { return Exist(key.CastToCharPtr()); }

  JIStream ReadObject(const char* key) const;
  JIStream ReadObject(const QORUnicodeString& key) const { return ReadObject(key.CastToCharPtr()); }
  std::vector<JIStream> ReadObjects(const char* key) const;
  std::vector<JIStream> ReadObjects(const QORUnicodeString& key) const {
    return ReadObjects(key.CastToCharPtr());
  }
  // The member's string, unescaped.
  QORUnicodeString ReadString(const char* key) const;
  QORUnicodeString ReadString(const QORUnicodeString& key) const {
    return ReadString(key.CastToCharPtr());
  }
  std::vector<QORUnicodeString> ReadStrings(const char* key) const;
  std::vector<QORUnicodeString> ReadStrings(const QORUnicodeString& key) const {
    return ReadStrings(key.CastToCharPtr());
  }
  // The member's value as compact JSON text, whatever its type; numbers keep their
  // source text.
  QORUnicodeString ReadRawString(const char* key) const;
  QORUnicodeString ReadRawString(const QORUnicodeString& key) const {
    return ReadRawString(key.CastToCharPtr());
  }

  // Compact JSON text of the whole viewed value ("" for a view holding nothing).
  QORUnicodeString Stringify() const;
  // Member names of a viewed object, in document order.
  std::vector<std::string_view> Keys() const;

 private:
  friend class JOStream;
  // A view holds a value exactly when it holds a document.
  bool HasValue() const { return _doc != nullptr; }
  void SetError(std::string why);

  std::shared_ptr<const Document> _doc;
  // The viewed value: a simdjson element, kept opaque so that users of this header
  // do not compile the parser's headers.
  alignas(8) unsigned char _element[16];
  // Null unless a parse failed: a reader keeps views by the million, and a string in
  // each would make them nearly twice as large.
  std::unique_ptr<std::string> _error;
};

}  // namespace JSON
