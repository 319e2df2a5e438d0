// ResolvedTable.h - the import's answers for every entity of a filter document, in
// tree order: what `dxfilter resolve --table` prints and `--json` writes.
//
// The tree, labels and column names come from the document itself; every value comes
// from the reader, exactly as the import would ask for it.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "JsonStreams/JIStream.h"

class ResolvedTable {
 public:
  struct Column {
    std::string dataIndex;
    std::string title;
  };
  struct Row {
    int depth = 0;
    std::string label;
    std::string uid;                  // first uid; empty for an entity without one
    std::vector<std::string> values;  // one per column; "" when the reader has none
    std::vector<bool> answered;
  };

  // Reads the columns and the tree of the document; asks the reader for each cell.
  void Build(const JSON::JIStream& document, QORIResolvedInputFilter& reader);
  // Keeps the rows in subtrees whose label contains text (empty keeps all).
  void KeepUnder(const std::string& text);
  // Keeps the rows whose answer for the column equals value.
  bool KeepWhere(const std::string& column, const std::string& value, std::string& error);
  // Keeps the rows of entities whose first uid is one of these.
  void KeepUids(const std::unordered_set<std::string>& uids);

  void PrintText(FILE* out) const;
  void PrintJson(FILE* out, const std::string& filterId) const;
  const std::vector<Row>& Rows() const { return _rows; }

 private:
  void Walk(const JSON::JIStream& node, int depth, QORIResolvedInputFilter& reader);
  std::vector<Column> _columns;
  std::vector<Row> _rows;
};
