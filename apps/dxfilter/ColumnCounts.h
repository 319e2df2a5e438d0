// ColumnCounts.h - what `dxfilter generate --list-properties` prints: every column that a
// structure provider can add to its fixed ones for a file, with how many entities have a
// cell in it, most common first.
//
// The provider is asked through its interface like the generator asks it: "*" in
// QORDX_FILTER_COLUMNS asks for every column the file offers; the fixed ones are those of a
// provider given no file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class DXFilterHost;

class ColumnCounts {
 public:
  struct Entry {
    std::string column;
    std::string type;  // "boolean", "number" or "text"
    std::string unit;  // of a number, when the file states one
    size_t count = 0;
  };

  // False with a one-line reason when the provider or the file fails.
  bool Count(DXFilterHost& host, const std::string& format, const std::string& input,
             std::string& error);
  void PrintText(FILE* out) const;
  void PrintJson(FILE* out) const;
  const std::vector<Entry>& Entries() const { return _entries; }

 private:
  std::vector<Entry> _entries;
};
