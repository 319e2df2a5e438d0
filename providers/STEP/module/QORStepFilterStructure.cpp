// QORStepFilterStructure.cpp - the STEP provider's answers to the generator.
#include "QORStepFilterStructure.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "InputFilteringInterfaces/QORInputFilterNotes.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "StepAssembly.h"
#include "StepIndexProgress.h"

namespace {

std::atomic<const QORMetaClass*> s_meta{nullptr};

enum Column {
  kEntity,
  kImport,
  kImportMode,
  kKind,
  kPartNumber,
  kName,
  kDescription,
  kInstance,
  kQuantity,
  kSchemaApplication
};
constexpr QORFilterColumn kColumns[] = {{"Entity", QORDXColumnType::kReadOnlyText},
                                        {"Import", QORDXColumnType::kBoolean},
                                        {"ImportMode", QORDXColumnType::kEnumeration},
                                        {"Kind", QORDXColumnType::kReadOnlyText},
                                        {"PartNumber", QORDXColumnType::kReadOnlyText},
                                        {"Name", QORDXColumnType::kText},
                                        {"Description", QORDXColumnType::kReadOnlyText},
                                        {"Instance", QORDXColumnType::kReadOnlyText},
                                        {"Quantity", QORDXColumnType::kReadOnlyText},
                                        {"SchemaApplication", QORDXColumnType::kReadOnlyText}};

const step::StepOccurrence* AsNode(void* entity) {
  return static_cast<const step::StepOccurrence*>(entity);
}

// Numbers of every node's cells, written without the temporary std::to_string makes.
void AppendNumber(std::string& out, uint32_t number) {
  char digits[10];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}
void AssignNumber(std::string& out, uint32_t number) {
  out.clear();
  AppendNumber(out, number);
}

// The settings the host hands over in the environment (see the header).
bool ReadOptions(step::StepAssemblyOptions& options, std::string& error) {
  if (const char* page = QORGetEnv("QOR_STEP_CODE_PAGE")) options.codePage = page;
  if (const char* limit = QORGetEnv("QOR_STEP_MAX_OCCURRENCES")) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(limit, &end, 10);
    if (*limit == '\0' || *limit == '-' || *end != '\0' || errno != 0 || value == 0) {
      error = std::string("QOR_STEP_MAX_OCCURRENCES is not a positive number: '") + limit + "'";
      return false;
    }
    options.maxOccurrences = value;
  }
  return true;
}

}  // namespace

const QORMetaClass* QORStepFilterStructure::MetaObject() {
  return zqy::internal::LazyMetaObject(s_meta, [] {
    return zqy::internal::fct_RetrieveMetaObject("QORStepFilterStructure", QORMetaClass::kComponent,
                                                 QORBaseUnknown::MetaObject(), "QORNull",
                                                 "DXStepProvider", sizeof(QORStepFilterStructure));
  });
}
const QORMetaClass* QORStepFilterStructure::GetMetaObject() const {
  return MetaObject();
}
const char* QORStepFilterStructure::IsA() const {
  return MetaObject()->GetName();
}
int QORStepFilterStructure::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORStepFilterStructure::QORStepFilterStructure()
    : QORInputFilterStructureBase(kColumns, "DXStepProvider") {}
QORStepFilterStructure::~QORStepFilterStructure() = default;

HRESULT QORStepFilterStructure::SetInputFile(QORUnicodeString path) {
  _pAssembly.reset();
  const std::string native = QORNativePath(path.View());
  step::StepAssemblyOptions options;
  std::string error;
  if (!ReadOptions(options, error)) {
    QORSetErrorText(error);
    return E_INVALIDARG;
  }
  const HRESULT hr =
      OpenModel(_pAssembly, "reading STEP file", native,
                [&](step::StepAssembly& assembly, const Reporter& report, std::string& why) {
                  const step::StepIndexProgress indexing(report);
                  return assembly.Open(native, why, options);
                });
  if (QORFailed(hr)) return hr;
  QORInputFilterNotes::Add(_pAssembly->Notes());
  BeginWalk(_pAssembly->OccurrenceCount());
  return S_OK;
}

HRESULT QORStepFilterStructure::GetFilterID(QORUnicodeString& id) {
  if (!_pAssembly) return E_FAIL;
  std::string text = _pAssembly->SchemaApplication();
  text.append(":").append(FileName());
  id = QORUnicodeString(std::move(text));
  return S_OK;
}

HRESULT QORStepFilterStructure::GetFormatUsage(QORUnicodeString& usage) {
  usage = "STEP";
  return S_OK;
}

HRESULT QORStepFilterStructure::GetRoots(QORRawCollPV& roots) {
  if (!_pAssembly) return E_FAIL;
  const auto list = _pAssembly->Roots();
  roots.Reserve(static_cast<int>(list.size()));
  for (const step::StepOccurrence& root : list)
    roots.Append(const_cast<step::StepOccurrence*>(&root));
  return S_OK;
}

HRESULT QORStepFilterStructure::GetChildren(void* entity, QORRawCollPV& children) {
  if (!entity || !_pAssembly) return E_INVALIDARG;
  const auto kids = _pAssembly->Children(*AsNode(entity));
  children.Reserve(static_cast<int>(kids.size()));
  for (const step::StepOccurrence& child : kids)
    children.Append(const_cast<step::StepOccurrence*>(&child));
  return S_OK;
}

HRESULT QORStepFilterStructure::GetEntityLabel(void* entity, QORUnicodeString& label,
                                               QORListValQORUnicodeString& uids, bool& isNLS) {
  if (!entity || !_pAssembly) return E_INVALIDARG;
  WalkStep();
  const step::StepOccurrence& node = *AsNode(entity);
  label.Str().assign(_pAssembly->Label(node));
  isNLS = false;
  uids.Append(QORUnicodeString(_pAssembly->Uid(node)));
  return S_OK;
}

HRESULT QORStepFilterStructure::GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                                              QORListValQORUnicodeString& values) {
  if (!entity || !_pAssembly) return E_INVALIDARG;
  const step::StepOccurrence& node = *AsNode(entity);
  // The record the row comes from, for whoever looks into the file: the usage, or the
  // root's definition.
  const step::StepUsage* usage = _pAssembly->Usage(node);
  const uint32_t instance =
      usage != nullptr ? usage->instance : _pAssembly->Definition(node).instance;
  keys.Append(QORUnicodeString("instance"));
  QORUnicodeString text;
  text.Str().push_back('#');
  AppendNumber(text.Str(), instance);
  values.Append(std::move(text));
  return S_OK;
}

HRESULT QORStepFilterStructure::GetEntityValue(void* entity, const QORUnicodeString& column,
                                               QORUnicodeString& value, bool& isNLS,
                                               const QORUnicodeString* mode) {
  if (!entity || !_pAssembly) return E_INVALIDARG;
  const step::StepOccurrence& node = *AsNode(entity);
  isNLS = false;
  const int index = ColumnIndex(column.View());
  if (ImportCell(index, mode, value)) return S_OK;
  switch (index) {
    case kKind:
      value = _pAssembly->IsPart(node) ? "part" : "assembly";
      return S_OK;
    case kPartNumber:
    case kName:
    case kDescription: {
      // Asked for every cell of every row: the product is looked up for its own columns only.
      const step::StepProduct* product = _pAssembly->Product(node);
      if (!product) {
        value.Str().clear();
      } else {
        value.Str().assign(index == kPartNumber ? product->id
                           : index == kName     ? product->name
                                                : product->description);
      }
      return S_OK;
    }
    case kInstance: {
      const step::StepUsage* usage = _pAssembly->Usage(node);
      value.Str().assign(usage ? usage->id : std::string());
      return S_OK;
    }
    case kQuantity:
      AssignNumber(value.Str(), _pAssembly->Quantity(node));
      return S_OK;
    case kSchemaApplication:
      value.Str().assign(_pAssembly->SchemaApplication());
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

HRESULT QORStepFilterStructure::GetEntityAttribute(void* entity, QORUnicodeString name,
                                                   QORUnicodeString& value) {
  if (!entity || !_pAssembly) return E_INVALIDARG;
  const step::StepOccurrence& node = *AsNode(entity);
  const step::StepProduct* product = _pAssembly->Product(node);
  const std::string& key = name.Str();
  // "EntityName" is what a removal list names: a part number removes every occurrence.
  if (key == QORDXEntityAttribute::kEntityName || key == "PartNumber") {
    value = QORUnicodeString(product ? product->id : std::string());
  } else if (key == QORDXEntityAttribute::kIsLatestSpatialEntity) {
    value = _pAssembly->IsPart(node) ? "true" : "false";
  } else if (key == "Name") {
    value = QORUnicodeString(product ? product->name : std::string());
  } else if (key == "Instance") {
    const step::StepUsage* usage = _pAssembly->Usage(node);
    value = QORUnicodeString(usage ? usage->id : std::string());
  } else if (key == "Uid") {
    value = QORUnicodeString(_pAssembly->Uid(node));
  } else {
    return E_FAIL;
  }
  return S_OK;
}
