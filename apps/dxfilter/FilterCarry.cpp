// FilterCarry.cpp - reading the old document's choices, and splicing them into the new
// document's text.
#include "FilterCarry.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "JsonStreams/JOStream.h"

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

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
  if (column.type == "enum")
    return written = value,
           std::find(column.options.begin(), column.options.end(), value) != column.options.end();
  if (column.representation == "boolean")
    return written = value, value == "true" || value == "false";
  if (column.representation == "number") return NormalizeNumber(value, written);
  written = value;
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

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// ------------------------------------------------------------------- the old document

bool FilterCarry::ReadOld(const JSON::JIStream& old, std::string& error) {
  _edits.clear();
  _oldUids.clear();
  _oldEntities.clear();
  _unreadable = 0;
  _outcome = Outcome();
  _read = false;
  if (!old.IsObject()) {
    error = "not a filter document (no JSON object at the top)";
    return false;
  }
  const JSON::JIStream data = old.ReadObject("data");
  _outcome.from = data.ReadString("filterID").Str();
  _outcome.inferred = !data.Exist("userEdits");
  if (!_outcome.inferred) {
    if (data.GetType("userEdits") != JSON::Type::Object) {
      error = "its \"userEdits\" is not an object";
      return false;
    }
    const JSON::JIStream recorded = data.ReadObject("userEdits");
    for (std::string_view key : recorded.Keys()) {
      const std::string uid(key);
      if (recorded.GetType(uid.c_str()) != JSON::Type::Object) {
        ++_unreadable;
        continue;
      }
      const JSON::JIStream cells = recorded.ReadObject(uid.c_str());
      std::vector<Edit>& edits = _edits[uid];
      for (std::string_view columnKey : cells.Keys()) {
        const std::string column(columnKey);
        if (cells.GetType(column.c_str()) != JSON::Type::String) {
          ++_unreadable;
          continue;
        }
        std::string value = cells.ReadString(column.c_str()).Str();
        // The last value of a cell wins.
        auto same = std::find_if(edits.begin(), edits.end(),
                                 [&](const Edit& e) { return e.column == column; });
        if (same != edits.end())
          same->value = std::move(value);
        else
          edits.push_back({column, std::move(value)});
      }
    }
  }
  // Pre-order, without recursion: a hostile document may nest deeply.
  std::vector<JSON::JIStream> pending;
  for (const JSON::JIStream& root : old.ReadObjects("roots")) pending.push_back(root);
  std::reverse(pending.begin(), pending.end());
  while (!pending.empty()) {
    const JSON::JIStream node = std::move(pending.back());
    pending.pop_back();
    const JSON::JIStream nodeData = node.ReadObject("data");
    std::vector<QORUnicodeString> uids = nodeData.ReadStrings("uid");
    if (!uids.empty()) {
      std::vector<std::string> entity;
      entity.reserve(uids.size());
      for (const QORUnicodeString& uid : uids) {
        entity.push_back(uid.Str());
        _oldUids.insert(uid.Str());
      }
      // Without recorded edits, the import values stand for the user's choices; as the
      // reader does, a uid belongs to the first entity that lists it.
      if (_outcome.inferred && !_edits.count(entity.front())) {
        const JSON::JIStream nls = nodeData.ReadObject("NLS_grid");
        const JSON::JIStream grid = node.ReadObject("grid");
        std::vector<Edit> values;
        for (const char* column : kInferredColumns) {
          if (nls.GetType(column) == JSON::Type::String)
            values.push_back({column, nls.ReadString(column).Str()});
          else if (grid.GetType(column) == JSON::Type::String)
            values.push_back({column, grid.ReadString(column).Str()});
        }
        if (!values.empty()) _edits.emplace(entity.front(), std::move(values));
      }
      _oldEntities.push_back(std::move(entity));
    }
    std::vector<JSON::JIStream> children = node.ReadObjects("children");
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      pending.push_back(std::move(*it));
  }
  _read = true;
  return true;
}

bool FilterCarry::ReadOldFile(const std::string& path, std::string& error) {
  JSON::JIStream old;
  if (!old.ParseFile(QORUnicodeString(path))) {
    error = path + ": " + (old.LastError().empty() ? "cannot read it" : old.LastError());
    return false;
  }
  if (!ReadOld(old, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
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
      : _carry(carry), _text(text), _stream(text.data(), text.size()) {}

  bool Run(std::string& carried, std::string& error) {
    rapidjson::Reader reader;
    // Iterative: no recursion on the depth, and Tell() stands on a bracket when it opens
    // or closes. Numbers as text: they are only skipped.
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                                rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseNumbersAsStringsFlag;
    if (!reader.Parse<kFlags>(_stream, *this)) {
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
    carried.clear();
    size_t extra = 0;
    for (const Replacement& r : _replacements) extra += r.text.size();
    carried.reserve(_text.size() + extra);
    std::stable_sort(_replacements.begin(), _replacements.end(),
                     [](const Replacement& a, const Replacement& b) { return a.begin < b.begin; });
    size_t at = 0;
    for (const Replacement& r : _replacements) {
      carried.append(_text.substr(at, r.begin - at));
      carried.append(r.text);
      at = r.end;
    }
    carried.append(_text.substr(at));
    return true;
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
    Role role;
    size_t open;
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
    std::vector<std::string> uids, claimed;
    ObjectText data, grid, nlsGrid;
    void Reset(size_t at) {
      open = at;
      close = 0;
      hasMembers = false;
      childrenKey = kNone;
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
    const size_t at = _stream.Tell();
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
    _frames.push_back({role, at, 0, {}});
    return true;
  }

  bool Close() {
    const size_t at = _stream.Tell();
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
        if (kind == Kind::String) Node().uids.emplace_back(text);
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
        object = &Node().data;
        break;
      case Role::Grid:
        object = &Node().grid;
        break;
      case Role::NlsGrid:
        object = &Node().nlsGrid;
        break;
      case Role::Node:
        Node().hasMembers = true;
        break;
      default:
        break;
    }
    if (object) {
      object->members.push_back({frame.keyStart, valueEnd, frame.key, {}});
      // Values are compared only when the old document recorded no edits.
      if (isString && _carry._outcome.inferred) object->members.back().value = value;
    }
    return true;
  }

  void Claim(NodeState& node) {
    bool known = false;
    for (const std::string& uid : node.uids) {
      if (_newUids.insert(uid).second) node.claimed.push_back(uid);
      known = known || _carry._oldUids.count(uid) > 0;
    }
    if (!node.uids.empty() && !known) _carry._outcome.fresh.push_back(node.uids.front());
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
    for (const std::string& uid : node.claimed) {
      auto found = _carry._edits.find(uid);
      if (found == _carry._edits.end()) continue;
      _used.insert(uid);
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
    _userEdits.emplace_back(node.uids.front(), std::move(cells));
  }

  static bool Has(const Cells& cells, const std::string& column) {
    return std::any_of(cells.begin(), cells.end(),
                       [&](const auto& c) { return c.first == column; });
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
        if (!_used.count(uid)) outcome.dropped += edits.size();
    }
    for (const std::vector<std::string>& entity : _carry._oldEntities) {
      const bool kept = std::any_of(entity.begin(), entity.end(), [&](const std::string& uid) {
        return _newUids.count(uid) > 0;
      });
      if (!kept) outcome.gone.push_back(entity.front());
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
  std::vector<Frame> _frames;
  std::vector<ColumnInfo> _columns;
  std::vector<NodeState> _nodes;  // the nodes on the current path; reused
  size_t _nodeDepth = 0;
  ObjectText _topData;
  std::unordered_set<std::string> _newUids, _used;
  std::vector<std::pair<std::string, Cells>> _userEdits;
  std::vector<Replacement> _replacements;
};

// ------------------------------------------------------------------- carrying

bool FilterCarry::Apply(std::string_view generated, std::string& carried, std::string& error) {
  if (!_read) {
    error = "no old document was read";
    return false;
  }
  // Each Apply starts from what the old document said; entries that were not edits
  // (not an object of strings) could never be applied.
  Outcome outcome;
  outcome.from = std::move(_outcome.from);
  outcome.inferred = _outcome.inferred;
  outcome.dropped = _unreadable;
  _outcome = std::move(outcome);
  Splicer splicer(*this, generated);
  return splicer.Run(carried, error);
}

bool FilterCarry::ApplyTo(QORIInputFilterGenerator& generator, std::string& error) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dxfilter-carry-XXXXXX";
  // A folder only this user can enter: the document holds the model's names.
  if (!mkdtemp(pattern.data())) {
    error = "cannot make a temporary folder in " + pattern.substr(0, pattern.rfind('/'));
    return false;
  }
  struct RemoveFolder {
    std::string path;
    ~RemoveFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } removeFolder{pattern};
  const std::string generatedPath = pattern + "/generated.json";
  const std::string carriedPath = pattern + "/carried.json";
  if (QORFailed(generator.SaveDocumentToFile(QORUnicodeString(generatedPath)))) {
    error = "cannot write the generated document to " + generatedPath;
    return false;
  }
  std::string generated, carried;
  {
    std::ifstream in(generatedPath, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    if (!in) {
      error = "cannot read back " + generatedPath;
      return false;
    }
    generated = std::move(all).str();
  }
  if (!Apply(generated, carried, error)) return false;
  generated = std::string();
  {
    std::ofstream out(carriedPath, std::ios::binary | std::ios::trunc);
    out.write(carried.data(), static_cast<std::streamsize>(carried.size()));
    out.close();
    if (!out) {
      error = "cannot write " + carriedPath;
      return false;
    }
  }
  if (QORFailed(generator.LoadDocumentFromFile(QORUnicodeString(carriedPath), nullptr))) {
    error = "the carried document does not load back";
    return false;
  }
  return true;
}

std::string FilterCarry::Summary() const {
  return Plural(_outcome.carried, "edit", "edits") + " carried, " +
         std::to_string(_outcome.fresh.size()) + " new, " + std::to_string(_outcome.gone.size()) +
         " gone, " + std::to_string(_outcome.dropped) + " dropped";
}
