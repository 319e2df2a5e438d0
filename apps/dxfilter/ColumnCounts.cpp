// ColumnCounts.cpp - asking a provider for every column it offers, and counting cells.
#include "ColumnCounts.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "DXFilterHost.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "JsonStreams/JOStream.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ProgressBar.h"

bool ColumnCounts::Count(DXFilterHost& host, const std::string& format, const std::string& input,
                         std::string& error) {
  _entries.clear();
  const std::string lateType = "INPUT_" + format + "_FILTER";
  QORIInputFilterStructure_var fixed;
  if (!host.Create(lateType.c_str(), fixed, error)) return false;
  QORListValQORUnicodeString fixedColumns;
  fixed->GetColumns(fixedColumns);
  std::set<std::string> known;
  for (int i = 1; i <= fixedColumns.Size(); ++i) known.insert(fixedColumns[i].Str());

  setenv("QORDX_FILTER_COLUMNS", "[\"*\"]", 1);
  QORIInputFilterStructure_var provider;
  if (!host.Create(lateType.c_str(), provider, error)) return false;
  HRESULT hr;
  {
    ProgressBar progress;
    hr = provider->SetInputFile(QORUnicodeString(input));
  }
  if (QORFailed(hr)) {
    std::string reason = QORTakeErrorText();
    error = "cannot read " + input + ": " + (reason.empty() ? DXFilterHost::Describe(hr) : reason);
    return false;
  }
  QORListValQORUnicodeString columns;
  provider->GetColumns(columns);
  std::vector<QORUnicodeString> names;
  for (int i = 2; i <= columns.Size(); ++i) {
    const std::string name = columns[i].Str();
    if (known.count(name) != 0) continue;
    QORUnicodeString title;
    int32_t type = 0;
    QORListValQORUnicodeString values;
    if (QORFailed(provider->GetColumnDescription(columns[i], title, type, values)) ||
        type == QORDXColumnType::kRuntime)
      continue;
    Entry e;
    e.column = name;
    e.type = type == 1 ? "boolean" : type == 4 || type == 5 ? "number" : "text";
    // A number's title is "name (unit)" when the file states a unit.
    const std::string t = title.Str();
    if (t.size() > name.size() + 3 && t.compare(0, name.size() + 2, name + " (") == 0 &&
        t.back() == ')')
      e.unit = t.substr(name.size() + 2, t.size() - name.size() - 3);
    _entries.push_back(e);
    names.push_back(columns[i]);
  }
  // Every entity of the tree, as the generator would visit it.
  QORRawCollPV pending;
  provider->GetRoots(pending);
  std::vector<void*> stack;
  for (int i = pending.Size(); i >= 1; --i) stack.push_back(pending[i]);
  while (!stack.empty()) {
    void* entity = stack.back();
    stack.pop_back();
    if (entity == nullptr) continue;
    for (size_t c = 0; c < names.size(); ++c) {
      QORUnicodeString value;
      bool isNLS = false;
      if (QORSucceeded(provider->GetEntityValue(entity, names[c], value, isNLS, nullptr)) &&
          !value.Str().empty())
        ++_entries[c].count;
    }
    QORRawCollPV children;
    provider->GetChildren(entity, children);
    for (int i = children.Size(); i >= 1; --i) stack.push_back(children[i]);
  }
  std::stable_sort(_entries.begin(), _entries.end(), [](const Entry& a, const Entry& b) {
    return a.count != b.count ? a.count > b.count : a.column < b.column;
  });
  return true;
}

namespace {

// Names come from the file: never let one be a terminal control sequence.
std::string Printable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += '?';
      i += c1 ? 1 : 0;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

void ColumnCounts::PrintText(FILE* out) const {
  if (_entries.empty()) {
    std::fprintf(out, "no property, quantity, material, classification or layer found\n");
    return;
  }
  std::fprintf(out, "%8s  %-12s  %s\n", "entities", "type", "column");
  for (const Entry& e : _entries) {
    std::string type = e.type;
    if (!e.unit.empty()) type += " (" + Printable(e.unit) + ")";
    std::fprintf(out, "%8zu  %-12s  %s\n", e.count, type.c_str(), Printable(e.column).c_str());
  }
}

void ColumnCounts::PrintJson(FILE* out) const {
  std::vector<JSON::JOStream> columns;
  for (const Entry& e : _entries) {
    JSON::JOStream column;
    column.Add("column", QORUnicodeString(e.column));
    column.AddRawString("count", QORUnicodeString(std::to_string(e.count)));
    column.Add("type", QORUnicodeString(e.type));
    if (!e.unit.empty()) column.Add("unit", QORUnicodeString(e.unit));
    columns.push_back(std::move(column));
  }
  JSON::JOStream root;
  root.Add("columns", std::move(columns));
  std::fprintf(out, "%s\n", root.Stringify().CastToCharPtr());
}
