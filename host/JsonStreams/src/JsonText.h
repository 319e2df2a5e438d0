// JsonText.h - private helpers shared by the JSON streams: a growable byte buffer,
// the string escaper, output sinks (string, indenting, file) and the atomic file write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "JsonStreams/JsonPlainText.h"
#include "SystemStrings/QORUtf8.h"

namespace JSON::detail {

// A byte buffer on malloc/realloc: a buffer that stops growing can be trimmed in place
// (std::string would copy), which keeps long-lived node text at its exact size.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept
      : _data(other._data),
        _size(other._size),
        _capacity(other._capacity),
        _pAdopted(std::move(other._pAdopted)) {
    other._data = nullptr;
    other._size = other._capacity = 0;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      _data = other._data;
      _size = other._size;
      _capacity = other._capacity;
      _pAdopted = std::move(other._pAdopted);
      other._data = nullptr;
      other._size = other._capacity = 0;
    }
    return *this;
  }
  ~ByteBuffer() { Release(); }

  // Takes text's block as this buffer, without copying it: its first size bytes are the
  // content and the rest of text is room. The block goes when the buffer does, or when
  // the buffer grows out of it.
  void Adopt(std::string&& text, size_t size) {
    auto pOwner = std::make_unique<std::string>(std::move(text));
    Release();
    _data = pOwner->data();
    _capacity = pOwner->size();
    _size = size < _capacity ? size : _capacity;
    _pAdopted = std::move(pOwner);
  }

  const char* Data() const { return _data; }
  size_t Size() const { return _size; }
  size_t Capacity() const { return _capacity; }

  void Reserve(size_t capacity) {
    if (capacity > _capacity) Reallocate(capacity);
  }
  // Releases the unused tail; glibc trims a block in place, so nothing is copied.
  void ShrinkToFit() {
    if (_capacity > _size) {
      if (_size == 0) {
        Release();
        _data = nullptr;
        _capacity = 0;
      } else {
        Reallocate(_size);
      }
    }
  }
  void Clear() { _size = 0; }
  // Makes room for extra more bytes, growing geometrically.
  void Room(size_t extra) {
    if (extra > _capacity - _size) Grow(extra);
  }
  // Bytes past the end, for a writer that was given Room first; Commit counts them in.
  char* Tail() { return _data + _size; }
  void Commit(size_t count) { _size += count; }

  void Write(const char* bytes, size_t count) {
    if (count == 0) return;
    if (count > _capacity - _size) Grow(count);
    std::memcpy(_data + _size, bytes, count);
    _size += count;
  }
  void Put(char c) {
    if (_size == _capacity) Grow(1);
    _data[_size++] = c;
  }

 private:
  void Grow(size_t extra) {
    size_t want = _capacity * 2;
    if (want < _size + extra) want = _size + extra;
    if (want < 256) want = 256;  // most objects of a filter document fit in one step
    Reallocate(want);
  }
  void Reallocate(size_t capacity) {
    if (_pAdopted) {  // not malloc's block: moved out of it once
      void* fresh = std::malloc(capacity);
      if (!fresh) throw std::bad_alloc();
      if (_size > 0) std::memcpy(fresh, _data, _size < capacity ? _size : capacity);
      _pAdopted.reset();
      _data = static_cast<char*>(fresh);
      _capacity = capacity;
      return;
    }
    void* grown = std::realloc(_data, capacity);
    if (!grown) throw std::bad_alloc();
    _data = static_cast<char*>(grown);
    _capacity = capacity;
  }
  void Release() {
    if (_pAdopted) {
      _pAdopted.reset();
    } else {
      std::free(_data);
    }
  }

  char* _data = nullptr;
  size_t _size = 0;
  size_t _capacity = 0;
  std::unique_ptr<std::string> _pAdopted;  // the block's owner when it came from a string
};

// A stack kept in place while shallow, so that writing a small object allocates nothing.
template <class T, size_t N>
class SmallStack {
 public:
  bool empty() const { return _size == 0; }
  size_t size() const { return _size; }
  T& back() { return _size <= N ? _inline[_size - 1] : _spill[_size - N - 1]; }
  void push_back(const T& value) {
    if (_size < N) {
      _inline[_size] = value;
    } else {
      _spill.push_back(value);
    }
    ++_size;
  }
  void pop_back() {
    --_size;
    if (_size >= N) _spill.pop_back();
  }

 private:
  T _inline[N];
  std::vector<T> _spill;
  size_t _size = 0;
};

// Output into a std::string.
struct StringSink {
  std::string& out;
  void Write(const char* bytes, size_t count) { out.append(bytes, count); }
  void Put(char c) { out.push_back(c); }
};

// Output into a ByteBuffer.
struct BufferSink {
  ByteBuffer& out;
  void Write(const char* bytes, size_t count) { out.Write(bytes, count); }
  void Put(char c) { out.Put(c); }
};

// The same test for text bound for a script element, where '<' needs a look too.
inline bool NeedsScriptEscapeCheck(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const uint64_t less = x ^ (kOnes * '<');
  return NeedsEscapeCheck(x) || (((less - kOnes) & ~less & kHigh) != 0);
}

inline bool NeedsScriptEscapeCheck(unsigned char c) {
  return NeedsEscapeCheck(c) || c == '<';
}

// Writes text as a JSON string literal, quotes included. Invalid UTF-8 becomes U+FFFD,
// one per maximal ill-formed sequence, so whatever the caller holds the output is JSON.
// Written by hand rather than with RapidJSON's Writer: that one refuses or passes on
// invalid UTF-8, it does not repair it. kScript also escapes what would end a script
// element or a script's line ("</", "<!", U+2028, U+2029); the streams never need it.
template <bool kScript = false, class Sink>
void WriteQuoted(Sink& sink, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  const auto* run = p;  // start of bytes not yet written
  sink.Put('"');
  for (;;) {
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (kScript ? NeedsScriptEscapeCheck(block) : NeedsEscapeCheck(block)) break;
      p += 8;
    }
    while (p < end && !(kScript ? NeedsScriptEscapeCheck(*p) : NeedsEscapeCheck(*p))) ++p;
    if (p == end) break;
    if (*p >= 0x80) {
      size_t bad = 0;
      const size_t length = QORUtf8SequenceLength(p, end, &bad);
      if (kScript && length == 3 && p[0] == 0xE2 && p[1] == 0x80 && (p[2] | 1) == 0xA9) {
        sink.Write(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
        sink.Write(p[2] == 0xA8 ? "\\u2028" : "\\u2029", 6);
        p += 3;
        run = p;
        continue;
      }
      if (length) {
        p += length;
        continue;
      }
      sink.Write(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
      sink.Write("\xEF\xBF\xBD", 3);
      p += bad;
      run = p;
      continue;
    }
    sink.Write(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    const unsigned char c = *p++;
    run = p;
    switch (c) {
      case '"':
        sink.Write("\\\"", 2);
        break;
      case '\\':
        sink.Write("\\\\", 2);
        break;
      case '\b':
        sink.Write("\\b", 2);
        break;
      case '\f':
        sink.Write("\\f", 2);
        break;
      case '\n':
        sink.Write("\\n", 2);
        break;
      case '\r':
        sink.Write("\\r", 2);
        break;
      case '\t':
        sink.Write("\\t", 2);
        break;
      case '<':  // script text only
        if (p < end && (*p == '/' || *p == '!'))
          sink.Write("\\u003c", 6);
        else
          sink.Put('<');
        break;
      default: {
        const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        sink.Write(escaped, 6);
      }
    }
  }
  sink.Write(reinterpret_cast<const char*>(run), static_cast<size_t>(end - run));
  sink.Put('"');
}

// Output to memory made ready beforehand: no checks on the way.
struct PointerSink {
  char* out;
  void Write(const char* bytes, size_t count) {
    if (count == 0) return;  // bytes may be null then
    std::memcpy(out, bytes, count);
    out += count;
  }
  void Put(char c) { *out++ = c; }
};

// WriteQuoted into a buffer. Short texts, the usual case, get room for the worst case
// (six bytes for one) up front and are written without further checks.
inline void AppendQuoted(ByteBuffer& buffer, std::string_view text) {
  if (text.size() > 4096) {
    BufferSink sink{buffer};
    WriteQuoted(sink, text);
    return;
  }
  buffer.Room(text.size() * 6 + 2);
  char* const out = buffer.Tail();
  if (QuotePlain(out, text)) {
    buffer.Commit(text.size() + 2);
    return;
  }
  PointerSink sink{out};
  WriteQuoted(sink, text);
  buffer.Commit(static_cast<size_t>(sink.out - out));
}

// Re-indents compact JSON on its way to another sink: one member or element per line,
// four spaces a level, "key": value, and {} / [] for empty containers.
template <class Sink>
class IndentingSink {
 public:
  explicit IndentingSink(Sink& out) : _out(out) {}

  void Put(char c) { Write(&c, 1); }
  void Write(const char* bytes, size_t count) {
    const char* p = bytes;
    const char* const end = bytes + count;
    while (p < end) {
      if (_inString) {
        if (_escaped) {  // the byte after a backslash, split from it by the chunking
          _escaped = false;
          _out.Put(*p++);
          continue;
        }
        const char* run = p;
        while (p < end && *p != '"' && *p != '\\') ++p;
        if (p < end) {
          if (*p == '"') {
            _inString = false;
            ++p;
          } else if (++p < end) {
            ++p;  // an escaped byte neither ends the string nor escapes
          } else {
            _escaped = true;
          }
        }
        _out.Write(run, static_cast<size_t>(p - run));
        continue;
      }
      const char c = *p++;
      if (_opened) {
        _opened = false;
        if (c == '}' || c == ']') {
          _out.Put(c);
          continue;
        }
        ++_depth;
        NewLine();
      }
      switch (c) {
        case '{':
        case '[':
          _out.Put(c);
          _opened = true;
          break;
        case '}':
        case ']':
          --_depth;
          NewLine();
          _out.Put(c);
          break;
        case ',':
          _out.Put(',');
          NewLine();
          break;
        case ':':
          _out.Write(": ", 2);
          break;
        case '"':
          _out.Put('"');
          _inString = true;
          break;
        default:
          _out.Put(c);
      }
    }
  }

 private:
  void NewLine() {
    static constexpr char kSpaces[] =
        "                                                                ";
    _out.Put('\n');
    size_t indent = static_cast<size_t>(_depth) * 4;
    while (indent > 0) {
      const size_t chunk = indent < sizeof(kSpaces) - 1 ? indent : sizeof(kSpaces) - 1;
      _out.Write(kSpaces, chunk);
      indent -= chunk;
    }
  }

  Sink& _out;
  long _depth = 0;
  bool _inString = false;
  bool _escaped = false;
  bool _opened = false;  // a '{' or '[' was written, its first content not yet seen
};

// Buffered output to a file descriptor; the first error sticks.
class FileSink {
 public:
  explicit FileSink(int fd);
  ~FileSink();
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void Write(const char* bytes, size_t count) {
    if (count > kCapacity - _used) {
      Flush();
      if (count >= kCapacity) {
        WriteThrough(bytes, count);
        return;
      }
    }
    std::memcpy(_buffer + _used, bytes, count);
    _used += count;
  }
  void Put(char c) {
    if (_used == kCapacity) Flush();
    _buffer[_used++] = c;
  }
  // Writes what is buffered; false once any write failed.
  bool Flush();
  // Has the disk start on each piece as it is written, for a file flushed to disk at
  // the end: the flush then waits for the last pieces only.
  void StartWritebackEarly() { _startWriteback = true; }

 private:
  static constexpr size_t kCapacity = size_t{1} << 20;
  void WriteThrough(const char* bytes, size_t count);

  int _fd;
  char* _buffer;
  size_t _used = 0;
  bool _failed = false;
  bool _startWriteback = false;
  uint64_t _offset = 0;  // bytes written so far
};

// Writes a file through a temporary file in the same folder, renamed over the target
// only once every byte is on disk; on any failure the temporary is removed, the target
// is left as it was, and the result is false with the reason left in QORSetErrorText.
// Only a regular file (or a new one) is replaced: a symbolic link has its target
// written and stays a link; a FIFO or character device is written through (a FIFO
// without a reader is refused rather than waited on); anything else is refused.
// SIGINT or SIGTERM while writing removes the temporary file before the process ends
// (unless the program handles those signals itself).
bool WriteFileAtomically(const std::string& path, const std::function<void(FileSink&)>& body);

}  // namespace JSON::detail
