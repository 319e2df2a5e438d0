// QORInputFilterStructureBase.cpp - the answers structure providers give alike.
#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"

#include <cstring>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORProgress.h"

namespace {
constexpr const char* kModes[] = {QORDXImportMode::kNoImport, QORDXImportMode::kForLifecycle,
                                  QORDXImportMode::kForCoordination, QORDXImportMode::kForDesign};

// Equal bytes of two texts of one length. Column names are short: word loads, the tail as
// one overlapping word, cost less than the call to memcmp that == makes.
bool SameBytes(const char* a, const char* b, std::size_t size) {
  if (size < 8) {
    for (std::size_t i = 0; i < size; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  uint64_t x, y;
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  std::memcpy(&x, a + size - 8, 8);
  std::memcpy(&y, b + size - 8, 8);
  return x == y;
}

}  // namespace

QORInputFilterStructureBase::QORInputFilterStructureBase(std::span<const QORFilterColumn> columns,
                                                         const char* catalog)
    : _columns(columns) {
  _titles.reserve(columns.size());
  _nameTexts.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    _titles.push_back(std::string(catalog) + ".Column_" + columns[i].name);
    _nameTexts.emplace_back(columns[i].name);
    const std::string_view name = _names.emplace_back(columns[i].name);
    if (name == "Import") _import = static_cast<int>(i);
    if (name == "ImportMode") _importMode = static_cast<int>(i);
  }
  for (const char* mode : kModes) _modes.emplace_back(mode);
}

QORInputFilterStructureBase::~QORInputFilterStructureBase() = default;

int QORInputFilterStructureBase::ColumnIndex(std::string_view name) const {
  const auto matches = [&](std::size_t i) {
    const std::string_view candidate = _names[i];
    return candidate.size() == name.size() && SameBytes(candidate.data(), name.data(), name.size());
  };
  // The generator asks for a column's description, then its value, then the next column's.
  const std::size_t count = _names.size();
  if (_lastColumn < count) {
    if (matches(_lastColumn)) return static_cast<int>(_lastColumn);
    const std::size_t next = _lastColumn + 1 < count ? _lastColumn + 1 : 0;
    if (matches(next)) return static_cast<int>(_lastColumn = next);
  }
  for (std::size_t i = 0; i < count; ++i)
    if (matches(i)) return static_cast<int>(_lastColumn = i);
  return -1;
}

HRESULT QORInputFilterStructureBase::GetColumns(QORListValQORUnicodeString& columns) {
  columns.Reserve(columns.Size() + static_cast<int>(_nameTexts.size()));
  for (const QORUnicodeString& name : _nameTexts) columns.Append(name);
  return S_OK;
}

HRESULT QORInputFilterStructureBase::GetColumnDescription(QORUnicodeString column,
                                                          QORUnicodeString& text, int32_t& type,
                                                          QORListValQORUnicodeString& values) {
  return DescribeColumn(column.View(), text, type, values);
}

HRESULT QORInputFilterStructureBase::DescribeColumn(std::string_view column, QORUnicodeString& text,
                                                    int32_t& type,
                                                    QORListValQORUnicodeString& values) const {
  const int index = column == "tree" ? 0 : ColumnIndex(column);
  if (index < 0) return E_INVALIDARG;
  text.Str().assign(_titles[static_cast<std::size_t>(index)]);
  type = _columns[static_cast<std::size_t>(index)].type;
  if (index == _importMode)
    for (const QORUnicodeString& mode : _modes) values.Append(mode);
  return S_OK;
}

bool QORInputFilterStructureBase::ImportCell(int column, const QORUnicodeString* mode,
                                             QORUnicodeString& value) const {
  if (column < 0) return false;
  if (column == _import) {
    value = mode && mode->Compare(QORDXImportMode::kNoImport) ? "false" : "true";
    return true;
  }
  if (column == _importMode) {
    value = mode ? *mode : QORUnicodeString();
    return true;
  }
  return false;
}

HRESULT QORInputFilterStructureBase::OpenFile(
    const char* phase, const std::string& native,
    const std::function<bool(const Reporter&, std::string&)>& open) {
  _fileName.clear();
  std::string error;
  QORProgress::Begin(phase, 0);
  // The bar starts once the reader knows the size: the first report gives it.
  const Reporter report = [phase, shown = uint64_t{0}](uint64_t done, uint64_t total) mutable {
    if (shown == 0) QORProgress::Begin(phase, total);
    if (done > shown) QORProgress::Advance(done - shown);
    shown = done;
  };
  const bool opened = open(report, error);
  QORProgress::End();
  if (!opened) {
    QORSetErrorText(error);
    return E_FAIL;
  }
  _fileName = native.substr(native.find_last_of('/') + 1);
  return S_OK;
}

void QORInputFilterStructureBase::BeginWalk(uint64_t entities) {
  QORProgress::Begin("building filter", entities);
}

void QORInputFilterStructureBase::WalkStep() {
  QORProgress::Advance();
}
