// FilterCarry.cpp - reading the old document's choices, and splicing them into the new
// document's text.
#include "FilterCarry.h"

#include <fcntl.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "JsonStreams/JOStream.h"

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// The recursive reader, twice as fast here as the iterative one: the handlers refuse to
// open more than kMaxDepth levels, which bounds the recursion. Encoding is not checked:
// whatever goes from these texts into a document goes through the kit's writer, which
// repairs invalid UTF-8. Numbers as text: they are only skipped. Tell() stands just past
// a bracket when the reader reports it.
constexpr unsigned kReaderFlags = rapidjson::kParseNumbersAsStringsFlag;

// The open containers of a reader. Frames are reused, not destroyed: a document opens
// a few containers per entity, and each frame holds a string.
template <class Frame>
class FrameStack {
 public:
  bool empty() const { return _size == 0; }
  size_t size() const { return _size; }
  Frame& back() { return _items[_size - 1]; }
  Frame& push() {
    if (_size == _items.size()) _items.emplace_back();
    return _items[_size++];
  }
  void pop_back() { --_size; }

 private:
  std::vector<Frame> _items;
  size_t _size = 0;
};

// What the new document says of a column, as far as an edit needs it.
struct ColumnInfo {
  std::string name;
  bool editable = false;
  std::string representation;  // "typeRepresentation"
  std::string type;            // data "type": "enum", "runtime"
  std::vector<std::string> options;
};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number as the page's editor writes it ("3,5" -> "3.5", "+.5" -> "0.5", "3." -> "3");
// false when the text is not a number the editor would take.
bool NormalizeNumber(std::string_view text, std::string& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  out.clear();
  if (text.empty()) return true;
  size_t i = 0;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  const size_t intStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::string_view whole = text.substr(intStart, i - intStart), fraction;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    const size_t fracStart = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    fraction = text.substr(fracStart, i - fracStart);
  }
  if (whole.empty() && fraction.empty()) return false;
  std::string_view exponent;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const size_t expStart = i++;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t digits = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == digits) return false;
    exponent = text.substr(expStart, i - expStart);
  }
  if (i != text.size()) return false;
  if (negative) out += '-';
  out += whole.empty() ? std::string_view("0") : whole;
  if (!fraction.empty()) out.append(".").append(fraction);
  out += exponent;
  return true;
}

// The value as the column takes it: false when the column would not hold it (it changed
// type, or an enumeration lost that value), which drops the edit.
bool Fits(const ColumnInfo& column, const std::string& value, std::string& written) {
  if (column.representation == "number" && column.type != "enum")
    return NormalizeNumber(value, written);
  written = value;
  if (column.type == "enum")
    return std::find(column.options.begin(), column.options.end(), value) != column.options.end();
  if (column.representation == "boolean") return value == "true" || value == "false";
  return true;
}

// One member as the kit writes it: "key":"value".
std::string MemberText(const std::string& key, const std::string& value) {
  JSON::JOStream holder;
  holder.Add(key.c_str(), QORUnicodeString(value));
  std::string text = holder.Stringify().Str();
  return text.substr(1, text.size() - 2);
}

// Where the string literal that ends just before end (one past its closing quote)
// opens. A quote inside a literal is always escaped, that is preceded by an odd number
// of backslashes.
size_t StringStart(std::string_view text, size_t end) {
  size_t p = end - 1;
  while (p > 0) {
    --p;
    if (text[p] != '"') continue;
    size_t slashes = 0;
    while (p > slashes && text[p - 1 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 0) return p;
  }
  return 0;
}

// A string the reader reported, as a view into the text it read when the text holds it
// as it is (no escapes: the usual case), else as a decoded copy kept in decoded. end is
// one past the closing quote.
std::string_view SourceView(std::string_view text, size_t end, std::string_view value,
                            std::deque<std::string>& decoded) {
  const size_t length = value.size();
  if (end >= length + 1 && text.compare(end - 1 - length, length, value) == 0)
    return text.substr(end - 1 - length, length);
  return decoded.emplace_back(value);
}

// A file's bytes, mapped: documents run to hundreds of megabytes, and a copy of one on
// the heap costs more than reading it.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      _size = static_cast<size_t>(info.st_size);
      _ok = true;
      if (_size > 0) {
        _data = ::mmap(nullptr, _size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (_data == MAP_FAILED) {
          _data = nullptr;
          _ok = false;
        }
      }
    }
    ::close(fd);
  }
  ~MappedFile() {
    if (_data) ::munmap(_data, _size);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool Ok() const { return _ok; }
  std::string_view Text() const {
    return _data ? std::string_view(static_cast<const char*>(_data), _size) : std::string_view();
  }

 private:
  void* _data = nullptr;
  size_t _size = 0;
  bool _ok = false;
};

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// ------------------------------------------------------------------- the old document

// One pass of RapidJSON's SAX reader over the old document: its filterID, its
// "userEdits", every entity's uids and, for a document without "userEdits", its import
// values. The kit's view would build the whole tree first, and finding each uid of
// "userEdits" in it scans the object once per uid.
class FilterCarry::OldReader
    : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, FilterCarry::OldReader> {
 public:
  OldReader(FilterCarry& carry, std::string_view text)
      : _carry(carry), _text(text), _stream(text.data(), text.size()) {}

  bool Run(std::string& error) {
    rapidjson::Reader reader;
    if (!reader.Parse<kReaderFlags>(_stream, *this)) {
      error = !_error.empty() ? _error
                              : std::string("not valid JSON: ") +
                                    rapidjson::GetParseError_En(reader.GetParseErrorCode()) +
                                    " (byte " + std::to_string(reader.GetErrorOffset()) + ")";
      return false;
    }
    if (!_sawObject) {
      error = "not a filter document (no JSON object at the top)";
      return false;
    }
    _carry._outcome.inferred = !_sawEdits;
    // Without recorded edits, the import values stand for the user's choices.
    if (!_sawEdits) _carry._edits = std::move(_values);
    return true;
  }

  bool Default() { return Scalar(Kind::Other, {}); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return Default(); }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    return Scalar(Kind::String, std::string_view(s, length));
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    Frame& frame = _frames.back();
    // Cells are most of a document; their names matter only without recorded edits.
    if (frame.role == Role::Skip ||
        (_sawEdits && (frame.role == Role::Grid || frame.role == Role::NlsGrid)))
      return true;
    frame.key.assign(s, length);
    if (frame.role == Role::Edits) _uid = View(frame.key);
    return true;
  }
  bool StartObject() { return Open(true); }
  bool StartArray() { return Open(false); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  enum class Role : uint8_t {
    Root,
    TopData,
    Edits,
    Cells,
    Nodes,
    Node,
    NodeData,
    Uids,
    Grid,
    NlsGrid,
    Skip
  };
  enum class Kind : uint8_t { String, Other };

  std::string_view View(std::string_view value) {
    return SourceView(_text, _stream.Tell(), value, _carry._oldDecoded);
  }
  struct Frame {
    Role role = Role::Skip;
    std::string key;
  };
  struct NodeState {
    std::vector<std::string_view> uids;
    std::string nls[2], grid[2];  // the inferred columns' values
    bool hasNls[2] = {false, false}, hasGrid[2] = {false, false};
    void Reset() {
      uids.clear();
      hasNls[0] = hasNls[1] = hasGrid[0] = hasGrid[1] = false;
    }
  };

  static int InferredColumn(const std::string& key) {
    for (int i = 0; i < 2; ++i)
      if (key == kInferredColumns[i]) return i;
    return -1;
  }

  bool Open(bool object) {
    if (_frames.size() >= static_cast<size_t>(JSON::kMaxDepth)) {
      _error = "it nests too deeply";
      return false;
    }
    Role role = Role::Skip;
    if (_frames.empty()) {
      _sawObject = object;
      role = object ? Role::Root : Role::Skip;
    } else {
      const Frame& parent = _frames.back();
      const std::string& key = parent.key;
      switch (parent.role) {
        case Role::Root:
          if (object && key == "data")
            role = Role::TopData;
          else if (!object && key == "roots")
            role = Role::Nodes;
          break;
        case Role::TopData:
          if (key == "userEdits") {
            if (!object) {
              _error = "its \"userEdits\" is not an object";
              return false;
            }
            role = Role::Edits;
            _sawEdits = true;
            _values.clear();
          }
          break;
        case Role::Edits:
          if (object) {
            role = Role::Cells;
            _cells = &_carry._edits[_uid];
          } else {
            ++_carry._unreadable;
          }
          break;
        case Role::Cells:
          ++_carry._unreadable;
          break;
        case Role::Nodes:
          if (object) {
            role = Role::Node;
            if (_depth == _nodes.size()) _nodes.emplace_back();
            _nodes[_depth++].Reset();
          }
          break;
        case Role::Node:
          if (object && key == "data")
            role = Role::NodeData;
          else if (object && key == "grid")
            role = Role::Grid;
          else if (!object && key == "children")
            role = Role::Nodes;
          break;
        case Role::NodeData:
          if (!object && key == "uid")
            role = Role::Uids;
          else if (object && key == "NLS_grid")
            role = Role::NlsGrid;
          break;
        default:
          break;
      }
    }
    Frame& frame = _frames.push();
    frame.role = role;
    frame.key.clear();
    return true;
  }

  bool Close() {
    const Role role = _frames.back().role;
    _frames.pop_back();
    if (role == Role::Node) {
      NodeState& node = _nodes[--_depth];
      if (!node.uids.empty()) {
        for (const std::string_view uid : node.uids) {
          _carry._oldUids.Insert(uid);
          _carry._oldUidList.push_back(uid);
        }
        _carry._oldEntityEnds.push_back(_carry._oldUidList.size());
        // As the reader does, a uid belongs to the first entity that lists it.
        if (!_sawEdits && !_values.count(node.uids.front())) {
          std::vector<Edit> values;
          for (int i = 0; i < 2; ++i) {
            if (node.hasNls[i])
              values.push_back({kInferredColumns[i], std::move(node.nls[i])});
            else if (node.hasGrid[i])
              values.push_back({kInferredColumns[i], std::move(node.grid[i])});
          }
          if (!values.empty()) _values.emplace(node.uids.front(), std::move(values));
        }
      }
    }
    return true;
  }

  bool Scalar(Kind kind, std::string_view text) {
    if (_frames.empty()) return true;
    const Frame& frame = _frames.back();
    switch (frame.role) {
      case Role::TopData:
        if (frame.key == "filterID" && kind == Kind::String)
          _carry._outcome.from = text;
        else if (frame.key == "userEdits") {
          _error = "its \"userEdits\" is not an object";
          return false;
        }
        break;
      case Role::Edits:
        ++_carry._unreadable;
        break;
      case Role::Cells:
        if (kind != Kind::String) {
          ++_carry._unreadable;
        } else {
          // The last value of a cell wins.
          auto same = std::find_if(_cells->begin(), _cells->end(),
                                   [&](const Edit& e) { return e.column == frame.key; });
          if (same != _cells->end())
            same->value = text;
          else
            _cells->push_back({frame.key, std::string(text)});
        }
        break;
      case Role::Uids:
        if (kind == Kind::String) _nodes[_depth - 1].uids.push_back(View(text));
        break;
      case Role::Grid:
      case Role::NlsGrid: {
        const int column = kind == Kind::String && !_sawEdits ? InferredColumn(frame.key) : -1;
        if (column < 0) break;
        NodeState& node = _nodes[_depth - 1];
        const bool nls = frame.role == Role::NlsGrid;
        (nls ? node.nls : node.grid)[column] = text;
        (nls ? node.hasNls : node.hasGrid)[column] = true;
        break;
      }
      default:
        break;
    }
    return true;
  }

  FilterCarry& _carry;
  std::string_view _text;
  rapidjson::MemoryStream _stream;
  std::string _error;
  std::string_view _uid;  // the member of "userEdits" being read
  FrameStack<Frame> _frames;
  std::vector<NodeState> _nodes;  // the nodes on the current path
  size_t _depth = 0;
  std::vector<Edit>* _cells = nullptr;
  bool _sawObject = false, _sawEdits = false;
  std::unordered_map<std::string_view, std::vector<Edit>> _values;
};

bool FilterCarry::ReadText(std::string_view old, std::string& error) {
  _edits.clear();
  _oldUids.Clear();
  _oldUidList.clear();
  _oldEntityEnds.clear();
  _oldDecoded.clear();
  _unreadable = 0;
  _outcome = Outcome();
  // About one entity for every 300 bytes of a filter document: fewer rehashes.
  _oldUids.Reserve(old.size() / 300);
  OldReader reader(*this, old);
  _read = reader.Run(error);
  return _read;
}

bool FilterCarry::ReadOld(std::string_view old, std::string& error) {
  auto text = std::make_shared<const std::string>(old);
  _oldText = text;
  return ReadText(*text, error);
}

bool FilterCarry::ReadOldFile(const std::string& path, std::string& error) {
  auto file = std::make_shared<const MappedFile>(path);
  if (!file->Ok()) {
    error = path + ": cannot read it";
    return false;
  }
  _oldText = file;
  if (!ReadText(file->Text(), error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

FilterCarry::~FilterCarry() {
  if (_reader.joinable()) _reader.join();
}

void FilterCarry::StartReadingOld(const std::string& path) {
  if (_reader.joinable()) _reader.join();
  _read = false;
  _readError.clear();
  // Until FinishReadingOld joins it, the thread alone touches this object.
  _reader = std::thread([this, path] { ReadOldFile(path, _readError); });
}

bool FilterCarry::FinishReadingOld(std::string& error) {
  return Ready(error);
}

bool FilterCarry::Ready(std::string& error) {
  // A read started on its own thread must be over first.
  if (_reader.joinable()) _reader.join();
  if (!_read) error = _readError.empty() ? "no old document was read" : _readError;
  return _read;
}

// ------------------------------------------------------------------- the new document

// One pass of RapidJSON's SAX reader over the generated text, noting where the members
// that an edit rewrites begin and end; an entity's edits become text replacements when
// its node closes, so only the nodes on the current path are held. The kit's reader
// gives values, not positions, and a DOM would re-serialise what must stay as written.
class FilterCarry::Splicer
    : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, FilterCarry::Splicer> {
 public:
  Splicer(FilterCarry& carry, std::string_view text)
      : _carry(carry), _text(text), _stream(text.data(), text.size()) {
    _newUids.Reserve(text.size() / 300);
  }

  // Reads the generated text and works out the replacements.
  bool Run(std::string& error) {
    rapidjson::Reader reader;
    if (!reader.Parse<kReaderFlags>(_stream, *this)) {
      error = _error.empty() ? std::string("the generated document is not valid JSON: ") +
                                   rapidjson::GetParseError_En(reader.GetParseErrorCode())
                             : _error;
      return false;
    }
    if (_topData.close == kNone) {
      error = "the generated document has no data object";
      return false;
    }
    Finish();
    std::stable_sort(_replacements.begin(), _replacements.end(),
                     [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });
    return true;
  }

  size_t CarriedSize() const {
    size_t size = _text.size();
    for (const Replacement& r : _replacements) size += r.text.size() - (r.end - r.begin);
    return size;
  }

  // The carried text, piece by piece.
  template <class Out>
  void Emit(Out&& out) const {
    size_t at = 0;
    for (const Replacement& r : _replacements) {
      out(_text.substr(at, r.begin - at));
      out(std::string_view(r.text));
      at = r.end;
    }
    out(_text.substr(at));
  }

  // Where each top-level member's value lies in the carried text. Replacements lie
  // inside members, so a member's ends move by what the replacements before them added.
  std::vector<TopMember> Members() const {
    std::vector<TopMember> members;
    size_t next = 0;
    ptrdiff_t shift = 0;
    auto moved = [&](size_t offset) {
      for (; next < _replacements.size() && _replacements[next].end <= offset; ++next) {
        const Replacement& r = _replacements[next];
        shift += static_cast<ptrdiff_t>(r.text.size()) - static_cast<ptrdiff_t>(r.end - r.begin);
      }
      return static_cast<size_t>(static_cast<ptrdiff_t>(offset) + shift);
    };
    for (const Member& m : _topMembers) {
      const size_t begin = moved(ValueStart(m.keyStart));
      members.push_back({m.key, begin, moved(m.valueEnd)});
    }
    return members;
  }

  // --- the reader's events
  bool Null() { return Scalar(Kind::Other, {}); }
  bool Bool(bool b) { return Scalar(b ? Kind::True : Kind::False, {}); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return Scalar(Kind::Other, {}); }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    return Scalar(Kind::String, std::string_view(s, length));
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    Frame& frame = _frames.back();
    // Cells are most of a document; only those of an entity with edits are looked at.
    if (frame.role == Role::Skip ||
        ((frame.role == Role::Grid || frame.role == Role::NlsGrid) && !Node().record))
      return true;
    frame.key.assign(s, length);
    frame.keyStart = StringStart(_text, _stream.Tell());
    return true;
  }
  bool StartObject() { return Open(true); }
  bool StartArray() { return Open(false); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  enum class Role : uint8_t {
    Root,
    TopData,
    Columns,
    Column,
    ColumnData,
    Options,
    Nodes,
    Node,
    NodeData,
    Uids,
    Grid,
    NlsGrid,
    Skip
  };
  enum class Kind : uint8_t { String, True, False, Other };

  struct Frame {
    Role role = Role::Skip;
    size_t open = 0;
    size_t keyStart = 0;
    std::string key;
  };
  struct Member {
    size_t keyStart, valueEnd;
    std::string key;
    std::string value;  // a string value, unescaped
  };
  struct ObjectText {
    size_t open = kNone, close = kNone;
    size_t keyStart = kNone;  // of the member that holds it
    std::vector<Member> members;
    void Reset() {
      open = close = keyStart = kNone;
      members.clear();
    }
  };
  struct NodeState {
    size_t open = 0, close = 0;
    bool hasMembers = false;
    size_t childrenKey = kNone;
    // Members are noted only while the node may get edits: until its uids are known, and
    // after when one of them has edits.
    bool record = true;
    std::vector<std::string_view> uids, claimed;
    ObjectText data, grid, nlsGrid;
    void Reset(size_t at) {
      open = at;
      close = 0;
      hasMembers = false;
      childrenKey = kNone;
      record = true;
      uids.clear();
      claimed.clear();
      data.Reset();
      grid.Reset();
      nlsGrid.Reset();
    }
  };
  struct Replacement {
    size_t begin, end;
    std::string text;
  };
  using Cells = std::vector<std::pair<std::string, std::string>>;

  NodeState& Node() { return _nodes[_nodeDepth - 1]; }

  bool Open(bool object) {
    if (_frames.size() >= static_cast<size_t>(JSON::kMaxDepth)) {
      _error = "the generated document nests too deeply";
      return false;
    }
    const size_t at = _stream.Tell() - 1;
    Role role = Role::Skip;
    if (_frames.empty()) {
      role = object ? Role::Root : Role::Skip;
    } else {
      const Frame& parent = _frames.back();
      const std::string& key = parent.key;
      switch (parent.role) {
        case Role::Root:
          if (object && key == "data") {
            role = Role::TopData;
            _topData.Reset();
            _topData.open = at;
          } else if (!object && key == "columns")
            role = Role::Columns;
          else if (!object && key == "roots")
            role = Role::Nodes;
          break;
        case Role::Columns:
          if (object) {
            role = Role::Column;
            _columns.emplace_back();
          }
          break;
        case Role::Column:
          if (object && key == "data") role = Role::ColumnData;
          break;
        case Role::ColumnData:
          if (!object && key == "possibleValues") role = Role::Options;
          break;
        case Role::Nodes:
          if (object) {
            role = Role::Node;
            if (_nodeDepth == _nodes.size()) _nodes.emplace_back();
            _nodes[_nodeDepth++].Reset(at);
          }
          break;
        case Role::Node:
          if (object && key == "data") {
            role = Role::NodeData;
            Node().data.Reset();
            Node().data.open = at;
          } else if (object && key == "grid") {
            role = Role::Grid;
            Node().grid.Reset();
            Node().grid.open = at;
          } else if (!object && key == "children") {
            role = Role::Nodes;
            Node().childrenKey = parent.keyStart;
          }
          break;
        case Role::NodeData:
          if (!object && key == "uid") {
            role = Role::Uids;
          } else if (object && key == "NLS_grid") {
            role = Role::NlsGrid;
            Node().nlsGrid.Reset();
            Node().nlsGrid.open = at;
            Node().nlsGrid.keyStart = parent.keyStart;
          }
          break;
        default:
          break;
      }
    }
    Frame& frame = _frames.push();
    frame.role = role;
    frame.open = at;
    frame.keyStart = 0;
    frame.key.clear();
    return true;
  }

  bool Close() {
    const size_t at = _stream.Tell() - 1;
    const Role role = _frames.back().role;
    _frames.pop_back();
    switch (role) {
      case Role::TopData:
        _topData.close = at;
        break;
      case Role::NodeData:
        Node().data.close = at;
        break;
      case Role::Grid:
        Node().grid.close = at;
        break;
      case Role::NlsGrid:
        Node().nlsGrid.close = at;
        break;
      case Role::Uids:
        Claim(Node());
        break;
      case Role::Node:
        Node().close = at;
        FinishNode(Node());
        --_nodeDepth;
        break;
      default:
        break;
    }
    return EndMember(at + 1, {}, false);
  }

  bool Scalar(Kind kind, std::string_view text) {
    if (_frames.empty()) return true;
    Frame& frame = _frames.back();
    switch (frame.role) {
      case Role::Column: {
        ColumnInfo& column = _columns.back();
        if (frame.key == "dataIndex" && kind == Kind::String)
          column.name = text;
        else if (frame.key == "editableFlag")
          column.editable = kind == Kind::True;
        else if (frame.key == "typeRepresentation" && kind == Kind::String)
          column.representation = text;
        break;
      }
      case Role::ColumnData:
        if (frame.key == "type" && kind == Kind::String) _columns.back().type = text;
        break;
      case Role::Options:
        if (kind == Kind::String) _columns.back().options.emplace_back(text);
        break;
      case Role::Uids:
        if (kind == Kind::String)
          Node().uids.push_back(SourceView(_text, _stream.Tell(), text, _decoded));
        break;
      default:
        break;
    }
    return EndMember(_stream.Tell(), text, kind == Kind::String);
  }

  // A value ended at valueEnd: note it as a member of the object that holds it.
  bool EndMember(size_t valueEnd, std::string_view value, bool isString) {
    if (_frames.empty()) return true;
    Frame& frame = _frames.back();
    ObjectText* object = nullptr;
    switch (frame.role) {
      case Role::TopData:
        object = &_topData;
        break;
      case Role::NodeData:
        object = Node().record ? &Node().data : nullptr;
        break;
      case Role::Grid:
        object = Node().record ? &Node().grid : nullptr;
        break;
      case Role::NlsGrid:
        object = Node().record ? &Node().nlsGrid : nullptr;
        break;
      case Role::Node:
        Node().hasMembers = true;
        break;
      default:
        break;
    }
    if (frame.role == Role::Root) _topMembers.push_back({frame.keyStart, valueEnd, frame.key, {}});
    if (object) {
      object->members.push_back({frame.keyStart, valueEnd, frame.key, {}});
      // Values are compared only when the old document recorded no edits.
      if (isString && _carry._outcome.inferred) object->members.back().value = value;
    }
    return true;
  }

  void Claim(NodeState& node) {
    bool known = false;
    node.record = false;
    for (const std::string_view uid : node.uids) {
      if (_newUids.Insert(uid)) {
        node.claimed.push_back(uid);
        node.record = node.record || _carry._edits.count(uid) > 0;
      }
      known = known || _carry._oldUids.Contains(uid);
    }
    if (!node.uids.empty() && !known) _carry._outcome.fresh.emplace_back(node.uids.front());
  }

  // The value the reader answers for a column of this node, "" when it has none.
  static const std::string* Current(const NodeState& node, const std::string& column) {
    for (const ObjectText* object : {&node.nlsGrid, &node.grid})
      for (const auto& m : object->members)
        if (m.key == column) return &m.value;
    return nullptr;
  }

  const ColumnInfo* FindColumn(const std::string& name) const {
    // The first column is the tree; it never holds cells.
    for (size_t i = 1; i < _columns.size(); ++i)
      if (_columns[i].name == name) return &_columns[i];
    return nullptr;
  }

  void FinishNode(NodeState& node) {
    if (node.claimed.empty() || node.uids.empty()) return;
    Cells cells;
    for (const std::string_view uid : node.claimed) {
      auto found = _carry._edits.find(uid);
      if (found == _carry._edits.end()) continue;
      _used.Insert(uid);
      for (const Edit& edit : found->second) {
        if (_carry._outcome.inferred) {
          const std::string* now = Current(node, edit.column);
          if ((now ? *now : std::string()) == edit.value) continue;
        }
        const ColumnInfo* column = FindColumn(edit.column);
        std::string written;
        if (!column || !column->editable || column->type == "runtime" ||
            !Fits(*column, edit.value, written)) {
          ++_carry._outcome.dropped;
          continue;
        }
        ++_carry._outcome.carried;
        auto same = std::find_if(cells.begin(), cells.end(),
                                 [&](const auto& c) { return c.first == edit.column; });
        if (same != cells.end())
          same->second = std::move(written);
        else
          cells.emplace_back(edit.column, std::move(written));
      }
    }
    if (cells.empty()) return;
    WriteCells(node, cells);
    _userEdits.emplace_back(std::string(node.uids.front()), std::move(cells));
  }

  static bool Has(const Cells& cells, const std::string& column) {
    return std::any_of(cells.begin(), cells.end(),
                       [&](const auto& c) { return c.first == column; });
  }

  // Where the value of the member whose key opens at keyStart begins.
  size_t ValueStart(size_t keyStart) const {
    size_t p = keyStart + 1;
    while (p < _text.size() && _text[p] != '"') p += _text[p] == '\\' ? 2 : 1;
    for (++p; p < _text.size(); ++p) {
      const char c = _text[p];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != ':') break;
    }
    return p;
  }

  std::string Slice(const Member& m) const {
    return std::string(_text.substr(m.keyStart, m.valueEnd - m.keyStart));
  }

  // As the page writes an edit: the value into "grid" (replaced in place, else added
  // at the end), the column's "NLS_grid" entry removed, and "NLS_grid" itself when that
  // leaves it empty.
  void WriteCells(const NodeState& node, const Cells& cells) {
    std::string grid;
    std::vector<bool> written(cells.size(), false);
    for (const Member& m : node.grid.members) {
      if (!grid.empty()) grid += ',';
      auto it =
          std::find_if(cells.begin(), cells.end(), [&](const auto& c) { return c.first == m.key; });
      if (it == cells.end()) {
        grid += Slice(m);
      } else {
        grid += MemberText(it->first, it->second);
        written[static_cast<size_t>(it - cells.begin())] = true;
      }
    }
    for (size_t i = 0; i < cells.size(); ++i) {
      if (written[i]) continue;
      if (!grid.empty()) grid += ',';
      grid += MemberText(cells[i].first, cells[i].second);
    }
    if (node.grid.open != kNone && node.grid.close != kNone) {
      _replacements.push_back({node.grid.open + 1, node.grid.close, std::move(grid)});
    } else if (node.childrenKey != kNone) {
      // The generator writes grid before children.
      _replacements.push_back({node.childrenKey, node.childrenKey, "\"grid\":{" + grid + "},"});
    } else {
      _replacements.push_back(
          {node.close, node.close, (node.hasMembers ? ",\"grid\":{" : "\"grid\":{") + grid + "}"});
    }

    const bool touchesNls = std::any_of(node.nlsGrid.members.begin(), node.nlsGrid.members.end(),
                                        [&](const Member& m) { return Has(cells, m.key); });
    if (!touchesNls || node.data.close == kNone || node.data.open == kNone) return;
    std::string kept;
    for (const Member& m : node.nlsGrid.members) {
      if (Has(cells, m.key)) continue;
      if (!kept.empty()) kept += ',';
      kept += Slice(m);
    }
    std::string data;
    for (const Member& m : node.data.members) {
      const bool isNls = m.keyStart == node.nlsGrid.keyStart;
      if (isNls && kept.empty()) continue;
      if (!data.empty()) data += ',';
      data += isNls ? "\"NLS_grid\":{" + kept + "}" : Slice(m);
    }
    _replacements.push_back({node.data.open + 1, node.data.close, std::move(data)});
  }

  void Finish() {
    Outcome& outcome = _carry._outcome;
    if (!outcome.inferred) {
      for (const auto& [uid, edits] : _carry._edits)
        if (!_used.Contains(uid)) outcome.dropped += edits.size();
    }
    size_t first = 0;
    for (const size_t end : _carry._oldEntityEnds) {
      bool kept = false;
      for (size_t i = first; i < end && !kept; ++i) kept = _newUids.Contains(_carry._oldUidList[i]);
      if (!kept) outcome.gone.emplace_back(_carry._oldUidList[first]);
      first = end;
    }

    JSON::JOStream userEdits;
    for (auto& [uid, cells] : _userEdits) {
      JSON::JOStream entity;
      for (auto& [column, value] : cells) entity.Add(column.c_str(), QORUnicodeString(value));
      userEdits.Add(uid.c_str(), std::move(entity));
    }
    auto uidList = [](const std::vector<std::string>& uids) {
      std::vector<QORUnicodeString> list;
      list.reserve(uids.size());
      for (const std::string& uid : uids) list.emplace_back(uid);
      return list;
    };
    JSON::JOStream carry;
    carry.Add("from", QORUnicodeString(outcome.from));
    carry.AddRawString("carried", QORUnicodeString(std::to_string(outcome.carried)));
    carry.Add("new", uidList(outcome.fresh));
    carry.Add("gone", uidList(outcome.gone));
    carry.AddRawString("dropped", QORUnicodeString(std::to_string(outcome.dropped)));

    // The data object keeps its members; "userEdits" and "carry" replace earlier ones in
    // place or come last.
    const std::string editsText = "\"userEdits\":" + userEdits.Stringify().Str();
    const std::string carryText = "\"carry\":" + carry.Stringify().Str();
    std::string data;
    bool editsDone = false, carryDone = false;
    for (const Member& m : _topData.members) {
      if (!data.empty()) data += ',';
      if (m.key == "userEdits")
        data += editsText, editsDone = true;
      else if (m.key == "carry")
        data += carryText, carryDone = true;
      else
        data += Slice(m);
    }
    for (const auto& [done, text] : {std::pair{editsDone, &editsText}, {carryDone, &carryText}}) {
      if (done) continue;
      if (!data.empty()) data += ',';
      data += *text;
    }
    _replacements.push_back({_topData.open + 1, _topData.close, std::move(data)});
  }

  FilterCarry& _carry;
  std::string_view _text;
  rapidjson::MemoryStream _stream;
  std::string _error;
  FrameStack<Frame> _frames;
  std::vector<ColumnInfo> _columns;
  std::vector<NodeState> _nodes;  // the nodes on the current path; reused
  size_t _nodeDepth = 0;
  ObjectText _topData;
  std::vector<Member> _topMembers;
  std::deque<std::string> _decoded;  // uids that the text escapes
  UidSet _newUids, _used;
  std::vector<std::pair<std::string, Cells>> _userEdits;
  std::vector<Replacement> _replacements;
};

// ------------------------------------------------------------------- carrying

void FilterCarry::Begin() {
  // Each carry starts from what the old document said; entries that were not edits
  // (not an object of strings) could never be applied.
  Outcome outcome;
  outcome.from = std::move(_outcome.from);
  outcome.inferred = _outcome.inferred;
  outcome.dropped = _unreadable;
  _outcome = std::move(outcome);
}

bool FilterCarry::Apply(std::string_view generated, std::string& carried, std::string& error) {
  if (!Ready(error)) return false;
  Begin();
  Splicer splicer(*this, generated);
  if (!splicer.Run(error)) return false;
  carried.clear();
  carried.reserve(splicer.CarriedSize());
  splicer.Emit([&](std::string_view piece) { carried.append(piece); });
  return true;
}

namespace {

// A folder only this user can enter, removed with everything in it: the documents that
// pass through it hold the model's names. In memory where the system has such a folder:
// the generator flushes what it saves to disk, which a document that is only passing
// through does not need.
class PrivateFolder {
 public:
  PrivateFolder() {
    const char* tmp = getenv("TMPDIR");
    for (const std::string& parent :
         {std::string("/dev/shm"), std::string(tmp && *tmp ? tmp : "/tmp")}) {
      _path = parent + "/dxfilter-carry-XXXXXX";
      if (::access(parent.c_str(), W_OK | X_OK) == 0 && mkdtemp(_path.data())) return;
    }
    _path.clear();
  }
  ~PrivateFolder() {
    std::error_code ignored;
    if (!_path.empty()) std::filesystem::remove_all(_path, ignored);
  }
  const std::string& Path() const { return _path; }

 private:
  std::string _path;
};

// The generator's document as it writes it.
std::unique_ptr<MappedFile> SaveGenerated(QORIInputFilterGenerator& generator,
                                          const PrivateFolder& folder, std::string& error) {
  if (folder.Path().empty()) {
    error = "cannot make a temporary folder";
    return nullptr;
  }
  const std::string path = folder.Path() + "/generated.json";
  if (QORFailed(generator.SaveDocumentToFile(QORUnicodeString(path)))) {
    error = "cannot write the generated document to " + path;
    return nullptr;
  }
  auto file = std::make_unique<MappedFile>(path);
  if (!file->Ok()) {
    error = "cannot read back " + path;
    return nullptr;
  }
  return file;
}

// Writes through a temporary file beside the target, flushed to disk and renamed over
// it, so that a failure never leaves half a document. The kit's atomic writer takes a
// JSON object built in memory: handing it this text would parse the whole document
// again, which alone costs more than the carry may add.
template <class Body>
bool WriteAtomically(const std::string& path, Body&& body) {
  const std::string temp = path + "." + std::to_string(::getpid()) + ".carry.tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // A rewritten file keeps its permissions.
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode))
    (void)::fchmod(fd, target.st_mode & 07777);
  std::string buffer;
  constexpr size_t kChunk = size_t{1} << 20;
  buffer.reserve(kChunk);
  bool ok = true;
  auto flush = [&](std::string_view bytes) {
    while (ok && !bytes.empty()) {
      const ssize_t n = ::write(fd, bytes.data(), std::min(bytes.size(), kChunk));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ok = false;
      else
        bytes.remove_prefix(static_cast<size_t>(n));
    }
  };
  body([&](std::string_view piece) {
    if (buffer.size() + piece.size() > kChunk) {
      flush(buffer);
      buffer.clear();
    }
    if (piece.size() >= kChunk)
      flush(piece);
    else
      buffer.append(piece);
  });
  flush(buffer);
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

bool FilterCarry::ApplyTo(QORIInputFilterGenerator& generator, std::string& error) {
  if (!Ready(error)) return false;
  PrivateFolder folder;
  const std::unique_ptr<MappedFile> generated = SaveGenerated(generator, folder, error);
  if (!generated) return false;
  Begin();
  Splicer splicer(*this, generated->Text());
  if (!splicer.Run(error)) return false;
  const std::string path = folder.Path() + "/carried.json";
  if (!WriteAtomically(path, [&](auto&& out) { splicer.Emit(out); })) {
    error = "cannot write " + path;
    return false;
  }
  if (QORFailed(generator.LoadDocumentFromFile(QORUnicodeString(path), nullptr))) {
    error = "the carried document does not load back";
    return false;
  }
  return true;
}

bool FilterCarry::WriteTo(QORIInputFilterGenerator& generator, const std::string& path,
                          std::string& error) {
  if (!Ready(error)) return false;
  PrivateFolder folder;
  const std::unique_ptr<MappedFile> generated = SaveGenerated(generator, folder, error);
  if (!generated) return false;
  Begin();
  Splicer splicer(*this, generated->Text());
  if (!splicer.Run(error)) return false;
  if (!getenv("MDW_KWT_TMP")) {
    if (WriteAtomically(path, [&](auto&& out) { splicer.Emit(out); })) return true;
    error = "cannot write " + path;
    return false;
  }
  // Indented, as the generator indents: the kit writes it, the members going in as the
  // JSON text they are.
  std::string carried;
  carried.reserve(splicer.CarriedSize());
  splicer.Emit([&](std::string_view piece) { carried.append(piece); });
  JSON::JOStream document;
  for (const TopMember& m : splicer.Members()) {
    const std::string_view value = std::string_view(carried).substr(m.begin, m.end - m.begin);
    if (!document.AddRawString(m.key.c_str(), QORUnicodeString(value))) {
      error = "the carried member \"" + m.key + "\" is not valid JSON";
      return false;
    }
  }
  if (document.WritePrettyFile(QORUnicodeString(path))) return true;
  error = "cannot write " + path;
  return false;
}

std::string FilterCarry::Summary() const {
  return Plural(_outcome.carried, "edit", "edits") + " carried, " +
         std::to_string(_outcome.fresh.size()) + " new, " + std::to_string(_outcome.gone.size()) +
         " gone, " + std::to_string(_outcome.dropped) + " dropped";
}
