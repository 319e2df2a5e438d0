// ResolvedTable.cpp - building, filtering and printing the table of answers.
#include "ResolvedTable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"
#include "TerminalText.h"

namespace {

// Columns wider than this are cut with an ellipsis in the text table.
constexpr size_t kMaxCellWidth = 32;

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

std::string Fit(const std::string& text, size_t width) {
  if (DisplayWidth(text) <= width) return text + std::string(width - DisplayWidth(text), ' ');
  std::string cut;
  size_t shown = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && ++shown > width - 1) break;
    cut.push_back(static_cast<char>(c));
  }
  return cut + "\xE2\x80\xA6";  // U+2026
}

// An NLS text names a message as "<Catalog>.<Key>"; without such a message it is shown
// as it is.
std::string ResolveNLS(const std::string& text) {
  const size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return text;
  for (size_t i = 0; i < dot; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!(std::isalnum(c) || c == '_' || c == '-')) return text;
  }
  const std::string catalog = text.substr(0, dot);
  return QORMsgCatalog::BuildMessage(catalog.c_str(), text.c_str() + dot + 1, {},
                                     QORUnicodeString(text))
      .Str();
}

std::string JsonString(const std::string& text) {
  const std::string quoted = JsonQuoted(text);
  return quoted.substr(1, quoted.size() - 2);
}

}  // namespace

void ResolvedTable::Build(const JSON::JIStream& document, QORIResolvedInputFilter& reader) {
  _columns.clear();
  _rows.clear();
  for (const JSON::JIStream& column : document.ReadObjects("columns")) {
    std::string dataIndex = column.ReadString("dataIndex").Str();
    JSON::JIStream columnData = column.ReadObject("data");
    // The tree is the table's first column; runtime columns are the page's to compute.
    if (dataIndex == "tree" || columnData.ReadString("type").Str() == "runtime") continue;
    std::string title = ResolveNLS(columnData.ReadString("NLS_text").Str());
    _columns.push_back({dataIndex, title.empty() ? dataIndex : title});
  }
  for (const JSON::JIStream& root : document.ReadObjects("roots")) Walk(root, 0, reader);
}

void ResolvedTable::Walk(const JSON::JIStream& node, int depth, QORIResolvedInputFilter& reader) {
  Row row;
  row.depth = depth;
  JSON::JIStream data = node.ReadObject("data");
  row.label = node.Exist("label") ? node.ReadString("label").Str()
                                  : ResolveNLS(data.ReadString("NLS_label").Str());
  std::vector<QORUnicodeString> uids = data.ReadStrings("uid");
  if (!uids.empty()) row.uid = uids.front().Str();
  for (const Column& column : _columns) {
    QORUnicodeString value;
    bool ok = !row.uid.empty() &&
              QORSucceeded(reader.GetObjectAttribute(QORUnicodeString(row.uid),
                                                     QORUnicodeString(column.dataIndex), value));
    row.values.push_back(ok ? value.Str() : std::string());
    row.answered.push_back(ok);
  }
  _rows.push_back(std::move(row));
  for (const JSON::JIStream& child : node.ReadObjects("children")) Walk(child, depth + 1, reader);
}

void ResolvedTable::KeepUnder(const std::string& text) {
  if (text.empty()) return;
  std::vector<Row> kept;
  int insideDepth = -1;
  for (Row& row : _rows) {
    if (insideDepth >= 0 && row.depth <= insideDepth) insideDepth = -1;
    if (insideDepth < 0 && row.label.find(text) != std::string::npos) insideDepth = row.depth;
    if (insideDepth >= 0) kept.push_back(std::move(row));
  }
  _rows.swap(kept);
}

bool ResolvedTable::KeepWhere(const std::string& column, const std::string& value,
                              std::string& error) {
  auto it = std::find_if(_columns.begin(), _columns.end(), [&](const Column& c) {
    return c.dataIndex == column || c.title == column;
  });
  if (it == _columns.end()) {
    error = "no column named '" + column + "'";
    return false;
  }
  const size_t index = static_cast<size_t>(it - _columns.begin());
  std::erase_if(_rows, [&](const Row& row) { return row.values[index] != value; });
  return true;
}

void ResolvedTable::KeepUids(const std::unordered_set<std::string>& uids) {
  std::erase_if(_rows, [&](const Row& row) { return row.uid.empty() || !uids.count(row.uid); });
}

void ResolvedTable::PrintText(FILE* out) const {
  // Names and values come from the model: shown with their control characters escaped.
  std::vector<std::string> titles;
  for (const Column& column : _columns) titles.push_back(TerminalText(column.title));
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> labels;
  for (const Row& row : _rows) {
    labels.push_back(TerminalText(row.label));
    cells.emplace_back();
    for (const std::string& value : row.values) cells.back().push_back(TerminalText(value));
  }
  std::vector<size_t> widths;
  size_t labelWidth = DisplayWidth("Entity");
  for (size_t r = 0; r < _rows.size(); ++r)
    labelWidth =
        std::max(labelWidth, static_cast<size_t>(_rows[r].depth) * 2 + DisplayWidth(labels[r]));
  labelWidth = std::min(labelWidth, kMaxCellWidth + 8);
  for (size_t c = 0; c < _columns.size(); ++c) {
    size_t w = DisplayWidth(titles[c]);
    for (const std::vector<std::string>& values : cells) w = std::max(w, DisplayWidth(values[c]));
    widths.push_back(std::min(w, kMaxCellWidth));
  }
  std::string line = Fit("Entity", labelWidth);
  for (size_t c = 0; c < _columns.size(); ++c) line += "  " + Fit(titles[c], widths[c]);
  std::fprintf(out, "%s\n", line.c_str());
  std::string rule(DisplayWidth(line), '-');
  std::fprintf(out, "%s\n", rule.c_str());
  for (size_t r = 0; r < _rows.size(); ++r) {
    const Row& row = _rows[r];
    line = Fit(std::string(static_cast<size_t>(row.depth) * 2, ' ') + labels[r], labelWidth);
    for (size_t c = 0; c < _columns.size(); ++c)
      line += "  " + Fit(row.answered[c] ? cells[r][c] : "-", widths[c]);
    // Trailing blanks of the last column say nothing.
    line.erase(line.find_last_not_of(' ') + 1);
    std::fprintf(out, "%s\n", line.c_str());
  }
}

void ResolvedTable::PrintJson(FILE* out, const std::string& filterId) const {
  std::fprintf(out, "{\"filterID\":\"%s\",\"entities\":[", JsonString(filterId).c_str());
  for (size_t r = 0; r < _rows.size(); ++r) {
    const Row& row = _rows[r];
    std::fprintf(out, "%s\n{\"uid\":\"%s\",\"label\":\"%s\",\"depth\":%d,\"values\":{",
                 r ? "," : "", JsonString(row.uid).c_str(), JsonString(row.label).c_str(),
                 row.depth);
    bool first = true;
    for (size_t c = 0; c < _columns.size(); ++c) {
      if (!row.answered[c]) continue;
      std::fprintf(out, "%s\"%s\":\"%s\"", first ? "" : ",",
                   JsonString(_columns[c].dataIndex).c_str(), JsonString(row.values[c]).c_str());
      first = false;
    }
    std::fprintf(out, "}}");
  }
  std::fprintf(out, "\n]}\n");
}
