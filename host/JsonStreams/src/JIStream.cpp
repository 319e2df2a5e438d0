// JIStream.cpp - read views over a simdjson document.
#include "JsonStreams/JIStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "ObjectModelRuntime/QORGetEnv.h"

// RapidJSON only locates a refused input's first error: simdjson's DOM says what is
// wrong but not where.
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "Document.h"
#include "JsonStreams/JOStream.h"

namespace JSON {

using detail::LoadElement;
using detail::StoreElement;
using simdjson::dom::element;
using simdjson::dom::element_type;

// --- parsing ----------------------------------------------------------------------

namespace {

// Stops RapidJSON where simdjson's depth limit stops, so a too-deep input is located.
struct DepthLimit : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, DepthLimit> {
  int depth = 0;
  bool StartObject() { return ++depth <= kMaxDepth; }
  bool StartArray() { return ++depth <= kMaxDepth; }
  bool EndObject(rapidjson::SizeType) { return --depth, true; }
  bool EndArray(rapidjson::SizeType) { return --depth, true; }
};

std::string DescribeError(simdjson::error_code code, const char* data, size_t length,
                          size_t skipped) {
  std::string reason;
  switch (code) {
    case simdjson::UTF8_ERROR:
      reason = "invalid UTF-8";
      break;
    case simdjson::DEPTH_ERROR:
      reason = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
      break;
    case simdjson::EMPTY:
      return "no JSON value in the text";
    case simdjson::CAPACITY:
      return "text too large (" + std::to_string(length) + " bytes)";
    case simdjson::MEMALLOC:
      return "out of memory";
    default:
      reason = simdjson::error_message(code);
  }
  // Iterative: RapidJSON's default parser recurses and would overflow on deep input. It
  // does not validate UTF-8 unless asked to.
  rapidjson::MemoryStream stream(data, length);
  rapidjson::Reader reader;
  DepthLimit handler;
  reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag>(stream,
                                                                                       handler);
  if (!reader.HasParseError()) return reason;
  const size_t offset = reader.GetErrorOffset();
  if (code != simdjson::UTF8_ERROR && code != simdjson::DEPTH_ERROR &&
      reader.GetParseErrorCode() != rapidjson::kParseErrorTermination)
    reason = rapidjson::GetParseError_En(reader.GetParseErrorCode());
  const size_t line =
      1 + static_cast<size_t>(std::count(data, data + std::min(offset, length), '\n'));
  return reason + " (line " + std::to_string(line) + ", byte offset " +
         std::to_string(offset + skipped) + ")";
}

// Parses into a new document. The parser is local: its buffers are sized to this input,
// and a parser kept for the next call would hold them for good.
std::shared_ptr<const Document> ParseDocument(const char* data, size_t length, bool padded,
                                              std::string& error) {
  // A byte order mark, which some editors write, is not part of the JSON text.
  size_t skipped = 0;
  if (length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) skipped = 3;
  data += skipped;
  length -= skipped;
  if (length == 0) {
    error = "no JSON value in the text";
    return nullptr;
  }
  auto doc = std::make_shared<Document>();
  simdjson::dom::parser parser;
  simdjson::error_code code = parser.allocate(length, kMaxDepth);
  if (!code) code = parser.parse_into_document(doc->dom, data, length, !padded).error();
  if (code) {
    error = DescribeError(code, data, length, skipped);
    return nullptr;
  }
  doc->RecordSourceNumbers(data, length);
  return doc;
}

bool FindMember(const element& object, const char* key, element& value, std::string_view& keyText) {
  if (!key || object.type() != element_type::OBJECT) return false;
  const std::string_view wanted(key);
  const simdjson::dom::object members = object.get_object().value_unsafe();
  for (auto it = members.begin(); it != members.end(); ++it) {
    if (it.key() == wanted) {
      value = it.value();
      keyText = it.key();
      return true;
    }
  }
  return false;
}

Type TypeOf(const element& value) {
  switch (value.type()) {
    case element_type::OBJECT:
      return Type::Object;
    case element_type::ARRAY:
      return Type::Array;
    case element_type::STRING:
      return Type::String;
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
      return Type::Number;
    case element_type::BOOL:
      return Type::Boolean;
    case element_type::NULL_VALUE:
      return Type::Null;
  }
  return Type::Missing;
}

}  // namespace

// --- JIStream ---------------------------------------------------------------------

JIStream::JIStream() {
  static_assert(sizeof(element) == sizeof(_element),
                "the view keeps a simdjson element in _element");
  static_assert(alignof(element) <= 8, "_element is 8-byte aligned");
  StoreElement(_element, element());
}

JIStream::JIStream(const JIStream& other)
    : _doc(other._doc),
      _error(other._error ? std::make_unique<std::string>(*other._error) : nullptr) {
  std::memcpy(_element, other._element, sizeof(_element));
}

JIStream::JIStream(JIStream&& other) noexcept
    : _doc(std::move(other._doc)), _error(std::move(other._error)) {
  std::memcpy(_element, other._element, sizeof(_element));
}

JIStream::JIStream(const JOStream& stream) : JIStream() {
  // Stringify leaves room for simdjson's padding, so the text is parsed where it lies.
  Parse(stream.Stringify(), true);
}

JIStream& JIStream::operator=(const JIStream& other) {
  if (this != &other) {
    _doc = other._doc;
    std::memcpy(_element, other._element, sizeof(_element));
    _error = other._error ? std::make_unique<std::string>(*other._error) : nullptr;
  }
  return *this;
}

JIStream& JIStream::operator=(JIStream&& other) noexcept {
  if (this != &other) {
    _doc = std::move(other._doc);
    std::memcpy(_element, other._element, sizeof(_element));
    _error = std::move(other._error);
  }
  return *this;
}

JIStream::~JIStream() = default;

const std::string& JIStream::LastError() const {
  static const std::string none;
  return _error ? *_error : none;
}

void JIStream::SetError(std::string why) {
  if (_error) {
    *_error = std::move(why);
  } else {
    _error = std::make_unique<std::string>(std::move(why));
  }
}

bool JIStream::Parse(const QORUnicodeString& text, bool) {
  const std::string& s = text.Str();
  // A string with spare capacity for the padding is parsed in place, without a copy.
  const bool padded = s.capacity() - s.size() >= simdjson::SIMDJSON_PADDING;
  std::string error;
  std::shared_ptr<const Document> doc = ParseDocument(s.data(), s.size(), padded, error);
  if (!doc) {
    SetError(std::move(error));
    return false;
  }
  _doc = std::move(doc);
  StoreElement(_element, _doc->dom.root());
  _error.reset();
  return true;
}

bool JIStream::Parse(std::string_view text, bool) {
  std::string error;
  std::shared_ptr<const Document> doc = ParseDocument(text.data(), text.size(), false, error);
  if (!doc) {
    SetError(std::move(error));
    return false;
  }
  _doc = std::move(doc);
  StoreElement(_element, _doc->dom.root());
  _error.reset();
  return true;
}

bool JIStream::ParseFile(const QORUnicodeString& path, bool) {
  // Host paths may use "\" as separator.
  const std::string name = QORNativePath(path.View());
  auto fail = [&](const std::string& why) {
    SetError("cannot read '" + name + "': " + why);
    return false;
  };
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(std::system_category().message(errno));
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int why = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return fail(std::system_category().message(why));
  }
  // Read into a buffer with the parser's padding, then free it once parsed: the
  // document keeps its own copy of the strings. One byte of room beyond the reported
  // size lets the read that sees the end land in this buffer: without it, a file read
  // whole fills the buffer and is copied into a twice larger one just to learn that
  // nothing follows.
  // A pipe or a device has no size and may never end (/dev/zero): its read is capped,
  // and bytes that cannot start a JSON text stop it at once.
  const bool regular = S_ISREG(info.st_mode);
  size_t capacity = regular && info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 4096;
  std::unique_ptr<char[]> buffer;
  size_t length = 0;
  bool checkedStart = false;
  try {
    buffer.reset(new char[capacity + simdjson::SIMDJSON_PADDING]);
    for (;;) {
      if (length == capacity) {  // the file grew, or does not report its size
        if (!regular && capacity >= kMaxStreamedBytes) {
          ::close(fd);
          return fail("more than " + std::to_string(kMaxStreamedBytes >> 20) +
                      " MiB from a file that is not a regular file");
        }
        std::unique_ptr<char[]> grown(new char[capacity * 2 + simdjson::SIMDJSON_PADDING]);
        std::memcpy(grown.get(), buffer.get(), length);
        buffer = std::move(grown);
        capacity *= 2;
      }
      const ssize_t got = ::read(fd, buffer.get() + length, capacity - length);
      if (got < 0) {
        if (errno == EINTR) continue;
        const int why = errno;
        ::close(fd);
        return fail(std::system_category().message(why));
      }
      if (got == 0) break;
      const size_t before = length;
      length += static_cast<size_t>(got);
      if (!regular && !checkedStart) {
        size_t at = before;  // blanks before it were looked at already
        while (at < length && std::strchr(" \t\r\n", buffer[at]) && buffer[at] != '\0') ++at;
        if (at < length) {
          checkedStart = true;
          const char c = buffer[at];
          const bool canStart = std::strchr("{[\"-0123456789tfn", c) && c != '\0';
          if (!canStart) {
            ::close(fd);
            return fail("not a JSON document");
          }
        }
      }
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return fail("out of memory");
  }
  ::close(fd);
  std::memset(buffer.get() + length, 0, simdjson::SIMDJSON_PADDING);

  std::string error;
  std::shared_ptr<const Document> doc = ParseDocument(buffer.get(), length, true, error);
  buffer.reset();
  if (!doc) {
    SetError("'" + name + "': " + error);
    return false;
  }
  _doc = std::move(doc);
  StoreElement(_element, _doc->dom.root());
  _error.reset();
  return true;
}

bool JIStream::Empty() const {
  if (!HasValue()) return true;
  const element value = LoadElement(_element);
  if (value.type() != element_type::OBJECT) return false;
  const simdjson::dom::object members = value.get_object().value_unsafe();
  return members.begin() == members.end();
}

bool JIStream::IsObject() const {
  return HasValue() && LoadElement(_element).type() == element_type::OBJECT;
}

Type JIStream::GetType() const {
  return HasValue() ? TypeOf(LoadElement(_element)) : Type::Missing;
}

Type JIStream::GetType(const char* key) const {
  element value;
  std::string_view keyText;
  if (!HasValue() || !FindMember(LoadElement(_element), key, value, keyText)) return Type::Missing;
  return TypeOf(value);
}

bool JIStream::Exist(const char* key) const {
  return GetType(key) != Type::Missing;
}

JIStream JIStream::ReadObject(const char* key) const {
  JIStream view;
  element value;
  std::string_view keyText;
  if (HasValue() && FindMember(LoadElement(_element), key, value, keyText) &&
      value.type() == element_type::OBJECT) {
    view._doc = _doc;
    StoreElement(view._element, value);
  }
  return view;
}

std::vector<JIStream> JIStream::ReadObjects(const char* key) const {
  std::vector<JIStream> views;
  element value;
  std::string_view keyText;
  if (!HasValue() || !FindMember(LoadElement(_element), key, value, keyText) ||
      value.type() != element_type::ARRAY)
    return views;
  const simdjson::dom::array items = value.get_array().value_unsafe();
  views.reserve(items.size());
  for (const element item : items) {
    if (item.type() != element_type::OBJECT) continue;
    JIStream& view = views.emplace_back();
    view._doc = _doc;
    StoreElement(view._element, item);
  }
  return views;
}

QORUnicodeString JIStream::ReadString(const char* key) const {
  element value;
  std::string_view keyText;
  if (!HasValue() || !FindMember(LoadElement(_element), key, value, keyText) ||
      value.type() != element_type::STRING)
    return QORUnicodeString();
  return QORUnicodeString(value.get_string().value_unsafe());
}

std::vector<QORUnicodeString> JIStream::ReadStrings(const char* key) const {
  std::vector<QORUnicodeString> strings;
  element value;
  std::string_view keyText;
  if (!HasValue() || !FindMember(LoadElement(_element), key, value, keyText) ||
      value.type() != element_type::ARRAY)
    return strings;
  const simdjson::dom::array items = value.get_array().value_unsafe();
  strings.reserve(items.size());
  for (const element item : items) {
    if (item.type() == element_type::STRING) strings.emplace_back(item.get_string().value_unsafe());
  }
  return strings;
}

QORUnicodeString JIStream::ReadRawString(const char* key) const {
  element value;
  std::string_view keyText;
  if (!HasValue() || !FindMember(LoadElement(_element), key, value, keyText))
    return QORUnicodeString();
  std::string text;
  detail::StringSink sink{text};
  detail::WriteElement(*_doc, value, _doc->StringPosition(keyText), sink);
  return QORUnicodeString(std::move(text));
}

QORUnicodeString JIStream::Stringify() const {
  if (!HasValue()) return QORUnicodeString();
  std::string text;
  detail::StringSink sink{text};
  detail::WriteElement(*_doc, LoadElement(_element), 0, sink);
  return QORUnicodeString(std::move(text));
}

std::vector<std::string_view> JIStream::Keys() const {
  std::vector<std::string_view> keys;
  if (!IsObject()) return keys;
  const simdjson::dom::object members = LoadElement(_element).get_object().value_unsafe();
  for (auto it = members.begin(); it != members.end(); ++it) keys.push_back(it.key());
  return keys;
}

}  // namespace JSON
