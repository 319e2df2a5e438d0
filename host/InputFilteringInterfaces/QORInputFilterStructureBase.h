// QORInputFilterStructureBase.h - what every structure provider does alike: its fixed
// columns and their descriptions, the Import and ImportMode cells, and opening a file with
// progress shown and a reason left on failure. A provider derives from it, keeps its model
// and answers the rest of QORIInputFilterStructure itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Everything the provider operations' signatures name.
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"

struct QORFilterColumn {
  const char* name;
  int32_t type;  // a QORDXColumnType code
};

class QOR_KIT_API QORInputFilterStructureBase : public QORBaseUnknown {
 public:
  // Called as the reader goes: bytes done out of the file's size.
  using Reporter = std::function<void(uint64_t done, uint64_t total)>;

  // `columns` in display order, the tree column first; each is titled by the NLS text
  // "<catalog>.Column_<name>". Both must outlive the provider (static tables).
  QORInputFilterStructureBase(std::span<const QORFilterColumn> columns, const char* catalog);
  ~QORInputFilterStructureBase() override;

  // The fixed columns; a provider with more appends its own after these.
  virtual HRESULT GetColumns(QORListValQORUnicodeString& columns);
  // "tree" stands for the first column. E_INVALIDARG for a column that is not fixed.
  virtual HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text,
                                       int32_t& type, QORListValQORUnicodeString& values);

 protected:
  // What GetColumnDescription answers, for a provider that describes more columns.
  HRESULT DescribeColumn(std::string_view column, QORUnicodeString& text, int32_t& type,
                         QORListValQORUnicodeString& values) const;
  // Index of a fixed column, -1 for another name. The generator asks for every cell of
  // every entity: this is on its hot path.
  int ColumnIndex(std::string_view name) const;
  // Fills the cell when `column` is Import or ImportMode, which follow the entity's import
  // mode alone; false for any other column.
  bool ImportCell(int column, const QORUnicodeString* mode, QORUnicodeString& value) const;

  // Empties `holder`, then opens a new model: `open(model, reporter, error)` reads the file
  // and calls the reporter as it goes. The bar shows "<phase>" against the file's size. On
  // failure the holder stays empty, open's message is the error text and E_FAIL returned.
  template <class Model, class Open>
  HRESULT OpenModel(std::unique_ptr<Model>& holder, const char* phase, const std::string& native,
                    Open&& open) {
    holder.reset();  // the old model goes before the new one is read
    auto model = std::make_unique<Model>();
    const HRESULT hr = OpenFile(phase, native, [&](const Reporter& report, std::string& error) {
      return open(*model, report, error);
    });
    if (QORSucceeded(hr)) holder = std::move(model);
    return hr;
  }
  // The generator asks for each entity's label once: that is the progress of its walk.
  static void BeginWalk(uint64_t entities);
  static void WalkStep();

  // The name of the last file opened, without its folder, for the filter id.
  const std::string& FileName() const { return _fileName; }

 private:
  HRESULT OpenFile(const char* phase, const std::string& native,
                   const std::function<bool(const Reporter&, std::string&)>& open);

  std::span<const QORFilterColumn> _columns;
  // The names with their lengths known: a look-up compares lengths before any byte.
  std::vector<std::string_view> _names;
  std::vector<std::string> _titles;
  // What GetColumns and the ImportMode description hand out, made once.
  std::vector<QORUnicodeString> _nameTexts, _modes;
  // Where the last look-up found its name: a provider answers one caller at a time.
  mutable std::size_t _lastColumn = 0;
  int _import = -1, _importMode = -1;
  std::string _fileName;
};
