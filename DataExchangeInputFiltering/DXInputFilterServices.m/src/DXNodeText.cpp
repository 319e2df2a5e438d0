// DXNodeText.cpp - one node's text from the provider's answers.
#include "DXNodeText.h"

#include <cstdint>

#include "ObjectModelRuntime/QORListValQORUnicodeString.h"

namespace {

// Whether the keys are all different; a provider's usually are. Keys of different lengths
// differ: a key is compared with the earlier ones only when its length (modulo 64) was seen
// before, and then by its end bytes before the whole, which calls memcmp.
bool KeysDistinct(const std::vector<std::string_view>& keys) {
  uint64_t lengths = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string_view a = keys[i];
    const uint64_t bit = uint64_t{1} << (a.size() & 63);
    if (lengths & bit) {
      for (size_t j = 0; j < i; ++j) {
        const std::string_view b = keys[j];
        if (a.size() == b.size() &&
            (a.empty() || (a.front() == b.front() && a.back() == b.back())) && a == b)
          return false;
      }
    }
    lengths |= bit;
  }
  return true;
}

// A node past this bound is written with a check per write rather than room for its
// worst case, which for a huge label would be six times the label.
constexpr size_t kMostWithin = size_t{1} << 20;

// The writer's checked calls, for such a node.
struct Checked {
  JSON::JOStream::ValueWriter* pOut;
  void Put(char c) { pOut->Put(c); }
  void Write(std::string_view text) { pOut->Write(text); }
  void Quoted(std::string_view text) { pOut->Quoted(text); }
};

}  // namespace

void DXNodeText::WriteTo(JSON::JOStream::ValueWriter& out) {
  size_t nlsCount = 0;
  _cellNames.clear();
  for (const Cell& cell : cells) {
    _cellNames.push_back(cell.name);
    nlsCount += cell.isNLS ? 1 : 0;
  }
  // Entity data keys may repeat each other or the node's own data keys.
  _dataKeys.clear();
  if (labelIsNLS) _dataKeys.emplace_back("NLS_label");
  if (!uids.empty()) _dataKeys.emplace_back("uid");
  if (nlsCount > 0) _dataKeys.emplace_back("NLS_grid");
  for (const auto& [key, value] : data) _dataKeys.push_back(key);

  if (KeysDistinct(_cellNames) && KeysDistinct(_dataKeys)) {
    using Writer = JSON::JOStream::ValueWriter;
    // Every quoted text at its worst, and the node's own keys and punctuation.
    size_t most = 64 + Writer::QuotedRoom(label.size());
    for (const std::string_view uid : uids) most += Writer::QuotedRoom(uid.size()) + 1;
    for (const Cell& cell : cells)
      most += Writer::QuotedRoom(cell.name.size()) + Writer::QuotedRoom(cell.value.size()) + 2;
    for (const auto& [key, value] : data)
      most += Writer::QuotedRoom(key.size()) + Writer::QuotedRoom(value.size()) + 2;
    if (most <= kMostWithin) {
      out.WriteWithin(most, [&](Writer::Cursor cursor) { return WriteNode(cursor, nlsCount); });
    } else {
      WriteNode(Checked{&out}, nlsCount);
    }
    return;
  }
  // A repeated key: the objects as streams, which keep the first place and the last value.
  JSON::JOStream nodeData, grid, nlsGrid;
  if (labelIsNLS) nodeData.Add("NLS_label", QORUnicodeString(label));
  if (!uids.empty()) {
    std::vector<QORUnicodeString> ids;
    for (const std::string_view uid : uids) ids.emplace_back(uid);
    nodeData.Add("uid", ids);
  }
  for (const Cell& cell : cells)
    (cell.isNLS ? nlsGrid : grid).Add(QORUnicodeString(cell.name), QORUnicodeString(cell.value));
  if (!nlsGrid.IsEmpty()) nodeData.Add("NLS_grid", std::move(nlsGrid));
  for (const auto& [key, value] : data)
    nodeData.Add(QORUnicodeString(key), QORUnicodeString(value));
  out.Put('{');
  if (!labelIsNLS) {
    out.Write("\"label\":");
    out.Quoted(label);
    out.Put(',');
  }
  out.Write("\"data\":");
  out.Write(nodeData.Stringify().View());
  out.Write(",\"grid\":");
  out.Write(grid.Stringify().View());
}

template <class Out>
Out DXNodeText::WriteNode(Out out, size_t nlsCount) const {
  // The cells of one grid, in column order.
  auto writeGrid = [&](bool nls) {
    out.Put('{');
    bool first = true;
    for (const Cell& cell : cells) {
      if (cell.isNLS != nls) continue;
      if (!first) out.Put(',');
      first = false;
      out.Quoted(cell.name);
      out.Put(':');
      out.Quoted(cell.value);
    }
    out.Put('}');
  };
  out.Put('{');
  if (!labelIsNLS) {
    out.Write("\"label\":");
    out.Quoted(label);
    out.Put(',');
  }
  out.Write("\"data\":{");
  bool first = true;
  auto key = [&](std::string_view name) {
    if (!first) out.Put(',');
    first = false;
    out.Quoted(name);
    out.Put(':');
  };
  if (labelIsNLS) {
    key("NLS_label");
    out.Quoted(label);
  }
  if (!uids.empty()) {
    key("uid");
    out.Put('[');
    for (size_t i = 0; i < uids.size(); ++i) {
      if (i > 0) out.Put(',');
      out.Quoted(uids[i]);
    }
    out.Put(']');
  }
  if (nlsCount > 0) {
    key("NLS_grid");
    writeGrid(true);
  }
  for (const auto& [name, value] : data) {
    key(name);
    out.Quoted(value);
  }
  out.Write("},\"grid\":");
  writeGrid(false);
  return out;
}
