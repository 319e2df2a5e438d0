// DXNodeText.h - one node of the entity tree as the provider answered it, and its text in
// the document. The answers are views into the bytes a DXNodeSpool hands to its writer.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "JsonStreams/JOStream.h"

struct DXNodeText {
  struct Cell {
    std::string_view name, value;
    bool isNLS = false;
  };
  bool labelIsNLS = false;
  std::string_view label;
  std::vector<std::string_view> uids;
  std::vector<Cell> cells;  // in column order, only those with a value
  std::vector<std::pair<std::string_view, std::string_view>> data;

  void Clear() {
    labelIsNLS = false;
    label = {};
    uids.clear();
    cells.clear();
    data.clear();
  }
  // The node's text up to, not including, its children and closing brace.
  void WriteTo(JSON::JOStream::ValueWriter& out);

 private:
  // When no object of the node repeats a key; out goes by value so that its position can
  // live in a register.
  template <class Out>
  Out WriteNode(Out out, size_t nlsCount) const;
  std::vector<std::string_view> _cellNames, _dataKeys;  // scratch of WriteTo
};
