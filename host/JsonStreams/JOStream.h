// JOStream.h - JSON::JOStream, a JSON object under construction.
//
// Members keep the order in which they were first added; adding a key that is
// already present replaces its value in place. Adding a nested stream (or a vector of
// them) by rvalue moves it, so a tree of N nodes is built in O(N) whatever its depth:
//
//   JSON::JOStream node;
//   node.Add("label", QORUnicodeString("Level 1"));
//   node.Add("children", std::move(childNodes));   // std::vector<JSON::JOStream>
//   root.Add("roots", std::move(roots));
//   root.WriteFile("/tmp/filter.json");           // compact, atomic
//
// Strings that are not valid UTF-8 are written with U+FFFD in place of each invalid
// sequence, so the output is always valid JSON.
#pragma once

#include <cassert>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "JsonStreams/JIStream.h"
#include "JsonStreams/JsonPlainText.h"
#include "SystemStrings/QORTypes.h"
#include "SystemStrings/QORUnicodeString.h"

namespace JSON {

class QOR_KIT_API JOStream {
 public:
  JOStream();
  JOStream(const JOStream& other);
  JOStream(JOStream&& other) noexcept;
  // A copy of the viewed object's members (nothing when the view is not an object).
  explicit JOStream(const JIStream& view);
  JOStream& operator=(const JOStream& other);
  JOStream& operator=(JOStream&& other) noexcept;
  ~JOStream();

  void Add(const char* key, const QORUnicodeString& value);
  void Add(const char* key, const char* value);
  void Add(const char* key, bool value);
  void Add(const char* key, const JOStream& value);
  void Add(const char* key, JOStream&& value);
  void Add(const char* key, const std::vector<QORUnicodeString>& values);
  void Add(const char* key, const std::vector<JOStream>& values);
  void Add(const char* key, std::vector<JOStream>&& values);
  // The same with the key as a host string (spelled out: a template here would make
  // calls with a literal key ambiguous).
  void Add(const QORUnicodeString& key, const QORUnicodeString& value) {
    Add(key.CastToCharPtr(), value);
  }
  void Add(const QORUnicodeString& key, const char* value) { Add(key.CastToCharPtr(), value); }
  void Add(const QORUnicodeString& key, bool value) { Add(key.CastToCharPtr(), value); }
  void Add(const QORUnicodeString& key, const JOStream& value) { Add(key.CastToCharPtr(), value); }
  void Add(const QORUnicodeString& key, JOStream&& value) {
    Add(key.CastToCharPtr(), std::move(value));
  }
  void Add(const QORUnicodeString& key, const std::vector<QORUnicodeString>& values) {
    Add(key.CastToCharPtr(), values);
  }
  void Add(const QORUnicodeString& key, const std::vector<JOStream>& values) {
    Add(key.CastToCharPtr(), values);
  }
  void Add(const QORUnicodeString& key, std::vector<JOStream>&& values) {
    Add(key.CastToCharPtr(), std::move(values));
  }

  // Adds a member whose value is the JSON text given. Text that is not one valid JSON
  // value is stored as a JSON string holding that text (nothing is lost and the
  // document stays valid); the result then is false.
  bool AddRawString(const char* key, const QORUnicodeString& jsonText);
  bool AddRawString(const QORUnicodeString& key, const QORUnicodeString& jsonText) {
    return AddRawString(key.CastToCharPtr(), jsonText);
  }

  // Writes one member's value in a single pass straight into this object's text, for values
  // too large to build as nested streams (a filter document's tree). Strings go through
  // Quoted, which escapes and repairs them as Add does; the rest (braces, brackets, commas,
  // colons, literals) is the caller's and must make one JSON value. When `write` returns
  // false nothing is added and the object is as it was.
  class QOR_KIT_API ValueWriter {
   public:
    ValueWriter(const ValueWriter&) = delete;  // a copy's position would go stale
    ValueWriter& operator=(const ValueWriter&) = delete;

    // Inline: a filter document's tree makes tens of these calls per node.
    void Put(char c) {
      if (_pPos == _pEnd) Grow(1);
      *_pPos++ = c;
    }
    void Write(std::string_view text) {  // as it is
      if (text.size() > static_cast<size_t>(_pEnd - _pPos)) Grow(text.size());
      if (!text.empty()) std::memcpy(_pPos, text.data(), text.size());
      _pPos += text.size();
    }
    void Quoted(std::string_view text) {  // as a JSON string
      if (text.size() + 2 <= static_cast<size_t>(_pEnd - _pPos) &&
          detail::QuotePlain(_pPos, text)) {
        _pPos += text.size() + 2;
        return;
      }
      QuotedEscaped(text);
    }

    // Writes without checks, for a run of writes whose size is bounded beforehand.
    class Cursor {
     public:
      void Put(char c) { *_pPos++ = c; }
      void Write(std::string_view text) {
        if (!text.empty()) std::memcpy(_pPos, text.data(), text.size());
        _pPos += text.size();
      }
      void Quoted(std::string_view text) {
        if (detail::QuotePlain(_pPos, text)) {
          _pPos += text.size() + 2;
        } else {
          _pPos = QuoteEscapedAt(_pPos, text);
        }
      }

     private:
      friend class ValueWriter;
      explicit Cursor(char* pPos) : _pPos(pPos) {}
      char* _pPos;
    };
    // The most bytes Quoted writes for text of this size: six for one escaped byte.
    static constexpr size_t QuotedRoom(size_t size) { return 6 * size + 2; }
    // Makes room for most bytes once, then has fill write at most that many through a
    // cursor that it takes and returns by value. The cursor is then fill's local, its
    // position kept in a register: a byte stored through the writer's own pointer may alias
    // that pointer, and the compiler reloads it and checks the room again for every byte.
    template <class Fill>
    void WriteWithin(size_t most, Fill&& fill) {
      if (most > static_cast<size_t>(_pEnd - _pPos)) Grow(most);
      const Cursor end = fill(Cursor(_pPos));
      assert(static_cast<size_t>(end._pPos - _pPos) <= most);
      _pPos = end._pPos;
    }

   private:
    friend class JOStream;
    // Quotes text at out, which has QuotedRoom(text.size()) bytes; returns the end.
    static char* QuoteEscapedAt(char* out, std::string_view text);
    explicit ValueWriter(void* pBuffer);
    // Counts the bytes written into the buffer, which then has room for extra more.
    void Grow(size_t extra);
    void QuotedEscaped(std::string_view text);
    void Commit();
    void Refresh();  // the room left after the buffer's bytes

    void* _pBuffer;
    char* _pPos;  // next byte to write, in the buffer's spare room
    char* _pEnd;  // end of that room
  };
  bool AddWritten(const char* key, const std::function<bool(ValueWriter&)>& write);

  // Takes text, one JSON object in compact form, as this stream's members without copying
  // it, for a document of tens of megabytes that is only kept and written out again.
  // members are views into text: each member's key (between its quotes) and value, in
  // order. False, with text and the stream left as they were, unless the members lie side
  // by side as {"key":value,...}, no key holds an escape and none comes twice. The values'
  // JSON is not checked here: the caller has checked the text.
  bool AdoptCompact(std::string&& text,
                    const std::vector<std::pair<std::string_view, std::string_view>>& members);

  bool Exist(const char* key) const;
  int Size() const;  // number of members
  bool IsEmpty() const { return Size() == 0; }
  void Clear();

  // Compact text; an object without members is "{}".
  QORUnicodeString Stringify() const;
  // Indented text (the flag is the host's and has no effect here).
  QORUnicodeString PrettyStringify(bool flag = false) const;
  // Written atomically: a temporary file beside the target, then a rename, so a
  // failed or interrupted write never leaves a truncated file where a good one was.
  bool WriteFile(const QORUnicodeString& path) const;
  bool WritePrettyFile(const QORUnicodeString& path) const;

 private:
  struct Impl;
  Impl& Self();
  std::unique_ptr<Impl> _pImpl;
};

}  // namespace JSON
