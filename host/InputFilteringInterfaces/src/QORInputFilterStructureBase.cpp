// QORInputFilterStructureBase.cpp - the answers structure providers give alike.
#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORProgress.h"

namespace {
constexpr const char* kModes[] = {QORDXImportMode::kNoImport, QORDXImportMode::kForLifecycle,
                                  QORDXImportMode::kForCoordination, QORDXImportMode::kForDesign};
}  // namespace

QORInputFilterStructureBase::QORInputFilterStructureBase(std::span<const QORFilterColumn> columns,
                                                         const char* catalog)
    : _columns(columns) {
  _titles.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    _titles.push_back(std::string(catalog) + ".Column_" + columns[i].name);
    const std::string_view name = _names.emplace_back(columns[i].name);
    if (name == "Import") _import = static_cast<int>(i);
    if (name == "ImportMode") _importMode = static_cast<int>(i);
  }
}

QORInputFilterStructureBase::~QORInputFilterStructureBase() = default;

int QORInputFilterStructureBase::ColumnIndex(std::string_view name) const {
  // The first byte first: most names differ there, and a comparison of the rest calls memcmp.
  for (std::size_t i = 0; i < _names.size(); ++i) {
    const std::string_view candidate = _names[i];
    if (candidate.size() == name.size() && (name.empty() || candidate[0] == name[0]) &&
        candidate == name)
      return static_cast<int>(i);
  }
  return -1;
}

HRESULT QORInputFilterStructureBase::GetColumns(QORListValQORUnicodeString& columns) {
  columns.Reserve(static_cast<int>(_columns.size()));
  for (const std::string_view name : _names) columns.Append(QORUnicodeString(name));
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
    for (const char* mode : kModes) values.Append(QORUnicodeString(mode));
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
