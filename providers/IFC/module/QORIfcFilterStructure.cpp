// QORIfcFilterStructure.cpp - the IFC provider's answers to the generator.
#include "QORIfcFilterStructure.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "IfcModel.h"
#include "IfcTypeCatalog.h"
#include "InputFilteringInterfaces/QORInputFilterNotes.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORGetEnv.h"
#include "StepIndexProgress.h"
#include "StepLexer.h"

namespace {

std::atomic<const QORMetaClass*> s_meta{nullptr};

enum Column { kEntity, kImport, kImportMode, kType, kName, kElevation, kDescription, kImported };
constexpr QORFilterColumn kColumns[] = {{"Entity", QORDXColumnType::kReadOnlyText},
                                        {"Import", QORDXColumnType::kBoolean},
                                        {"ImportMode", QORDXColumnType::kEnumeration},
                                        {"Type", QORDXColumnType::kReadOnlyText},
                                        {"Name", QORDXColumnType::kText},
                                        {"Elevation", QORDXColumnType::kNumber},
                                        {"Description", QORDXColumnType::kReadOnlyText},
                                        {"Imported", QORDXColumnType::kRuntime}};

const ifc::Node* AsNode(void* entity) {
  return static_cast<const ifc::Node*>(entity);
}

QORUnicodeString Text(std::string_view text) {
  return QORUnicodeString(text);
}

// Into the caller's string, whose buffer the generator keeps from cell to cell.
void Assign(QORUnicodeString& value, std::string_view text) {
  value.Str().assign(text);
}

// Names of columns: short, and compared twice for every cell, where the call to memcmp that
// == makes costs more than comparing them word by word.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && step::StepLexer::SameBytes(a.data(), b.data(), a.size());
}

// "3000." as written in the file is a number to the page once the dot is gone.
std::string_view NumberText(std::string_view text) {
  if (!text.empty() && text.back() == '.') text.remove_suffix(1);
  if (text == "-") return {};
  return text;
}

}  // namespace

const QORMetaClass* QORIfcFilterStructure::MetaObject() {
  return zqy::internal::LazyMetaObject(s_meta, [] {
    return zqy::internal::fct_RetrieveMetaObject("QORIfcFilterStructure", QORMetaClass::kComponent,
                                                 QORBaseUnknown::MetaObject(), "QORNull",
                                                 "DXIfcProvider", sizeof(QORIfcFilterStructure));
  });
}
const QORMetaClass* QORIfcFilterStructure::GetMetaObject() const {
  return MetaObject();
}
const char* QORIfcFilterStructure::IsA() const {
  return MetaObject()->GetName();
}
int QORIfcFilterStructure::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORIfcFilterStructure::QORIfcFilterStructure()
    : QORInputFilterStructureBase(kColumns, "DXIfcProvider") {
  for (const QORFilterColumn& c : kColumns) {
    Answer& a = _answers.emplace_back();
    a.name = c.name;
    a.nameText = QORUnicodeString(a.name);
    DescribeColumn(a.name, a.text, a.type, a.values);
  }
  _fixedCount = _answers.size();
}
QORIfcFilterStructure::~QORIfcFilterStructure() = default;

HRESULT QORIfcFilterStructure::SetInputFile(QORUnicodeString path) {
  const std::string native = QORNativePath(path.View());
  std::vector<std::string> columns;
  if (HRESULT hr = ReadChosenColumns(columns); QORFailed(hr)) {
    _pModel.reset();
    return hr;
  }
  // Both hold views into the model about to go.
  _answers.resize(_fixedCount);
  _supertypes.clear();
  _pLastSupertypes = nullptr;
  const HRESULT hr = OpenModel(_pModel, "reading IFC file", native,
                               [&](ifc::Model& model, const Reporter& report, std::string& error) {
                                 const step::StepIndexProgress indexing(report);
                                 return model.Open(native, error, columns);
                               });
  if (QORFailed(hr)) return hr;
  if (const std::size_t repeated = _pModel->DuplicateInstances()) {
    QORInputFilterNotes::Add(std::to_string(repeated) +
                             (repeated == 1 ? " record reuses" : " records reuse") +
                             " an instance number (the first is used)");
  }
  DescribeChosenColumns();
  BeginWalk(_pModel->NodeCount());
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetFilterID(QORUnicodeString& id) {
  if (!_pModel) return E_FAIL;
  std::string text = _pModel->SchemaName();
  text.append(":").append(FileName());
  id = QORUnicodeString(std::move(text));
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetFormatUsage(QORUnicodeString& usage) {
  usage = "IFC";
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetColumns(QORListValQORUnicodeString& columns) {
  columns.Reserve(columns.Size() + static_cast<int>(_answers.size()));
  for (const Answer& a : _answers) columns.Append(a.nameText);
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetColumnDescription(const QORUnicodeString& column,
                                                    QORUnicodeString& text, int32_t& type,
                                                    QORListValQORUnicodeString& values) {
  // After the last column, the next entity's first cell: the tree column is described once.
  const std::size_t expected = _described + 1 < _answers.size() ? _described + 1 : 1;
  const int index = FindColumn(column.View(), expected);
  if (index < 0) return E_INVALIDARG;
  _described = static_cast<std::size_t>(index);
  const Answer& a = _answers[_described];
  text.Str().assign(a.text.Str());
  type = a.type;
  for (const QORUnicodeString& v : a.values) values.Append(v);
  return S_OK;
}

int QORIfcFilterStructure::FindColumn(std::string_view name, std::size_t expected) const {
  if (expected < _answers.size() && SameName(_answers[expected].name, name))
    return static_cast<int>(expected);
  return SearchColumn(name);
}

int QORIfcFilterStructure::SearchColumn(std::string_view name) const {
  if (name == "tree") return 0;
  const int index = ColumnIndex(name);
  if (index >= 0) return index;
  const ifc::PropertyIndex* chosen = _pModel ? _pModel->Properties() : nullptr;
  const int c = chosen != nullptr ? chosen->ColumnIndex(name) : -1;
  return c < 0 ? -1 : static_cast<int>(_fixedCount) + c;
}

HRESULT QORIfcFilterStructure::GetRoots(QORRawCollPV& roots) {
  if (!_pModel) return E_FAIL;
  for (const ifc::Node* root : _pModel->Roots()) roots.Append(const_cast<ifc::Node*>(root));
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetChildren(void* entity, QORRawCollPV& children) {
  if (!entity) return E_INVALIDARG;
  const auto kids = AsNode(entity)->Children();
  children.Reserve(static_cast<int>(kids.size()));
  for (const ifc::Node* child : kids) children.Append(const_cast<ifc::Node*>(child));
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetEntityLabel(void* entity, QORUnicodeString& label,
                                              QORListValQORUnicodeString& uids, bool& isNLS) {
  if (!entity) return E_INVALIDARG;
  WalkStep();
  const ifc::Node* node = AsNode(entity);
  if (node->IsSynthetic()) {
    label = "DXIfcProvider.UnplacedElements";
    isNLS = true;
    return S_OK;
  }
  if (!node->Name().empty()) {
    Assign(label, node->Name());
  } else {
    label = QORUnicodeString(node->Label());
  }
  isNLS = false;
  // Into the string the generator's list kept from the last entity: a GlobalId is longer
  // than a string holds without an allocation.
  if (!node->GlobalId().empty()) uids.AppendText(node->GlobalId());
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                                             QORListValQORUnicodeString& values) {
  if (!entity) return E_INVALIDARG;
  const ifc::Node* node = AsNode(entity);
  if (node->IsSynthetic()) return S_OK;
  keys.AppendText("instance");
  char instance[16] = {'#'};
  const auto written =
      std::to_chars(instance + 1, instance + sizeof instance, node->InstanceNumber());
  values.AppendText(std::string_view(instance, static_cast<std::size_t>(written.ptr - instance)));
  // Siblings come sorted by type, and a type's name is one view for all its entities: the
  // last type's answer is tried before a hash of the name.
  const std::string_view type = node->TypeName();
  if (_pLastSupertypes == nullptr || type.data() != _lastType.data() ||
      type.size() != _lastType.size()) {
    auto known = _supertypes.find(type);
    if (known == _supertypes.end())
      known = _supertypes.emplace(type, ifc::TypeCatalog::Supertypes(type)).first;
    _lastType = type;
    _pLastSupertypes = &known->second;
  }
  if (!_pLastSupertypes->empty()) {
    keys.AppendText("supertypes");
    values.AppendText(*_pLastSupertypes);
  }
  return S_OK;
}

HRESULT QORIfcFilterStructure::GetEntityValue(void* entity, const QORUnicodeString& column,
                                              QORUnicodeString& value, bool& isNLS,
                                              const QORUnicodeString* mode) {
  if (!entity) return E_INVALIDARG;
  const ifc::Node* node = AsNode(entity);
  isNLS = false;
  const int index = FindColumn(column.View(), _described);
  switch (index) {
    case kImport:
    case kImportMode:
      ImportCell(index, mode, value);
      return S_OK;
    case kType:
      Assign(value, node->TypeName());
      return S_OK;
    case kName:
      Assign(value, node->Name());
      return S_OK;
    case kElevation:
      Assign(value, NumberText(node->ElevationText()));
      return S_OK;
    case kDescription:
      Assign(value, node->IsSynthetic() ? std::string_view() : _pModel->Description(*node));
      return S_OK;
    default:
      if (index < static_cast<int>(_fixedCount)) return E_INVALIDARG;
      Assign(value, _pModel->Value(static_cast<std::size_t>(index) - _fixedCount, *node));
      return S_OK;
  }
}

HRESULT QORIfcFilterStructure::GetEntityAttribute(void* entity, const QORUnicodeString& name,
                                                  QORUnicodeString& value) {
  if (!entity) return E_INVALIDARG;
  const ifc::Node* node = AsNode(entity);
  const std::string& key = name.Str();
  if (key == QORDXEntityAttribute::kEntityName) {
    value = Text(node->TypeName());
  } else if (key == QORDXEntityAttribute::kIsLatestSpatialEntity) {
    value = node->IsLatestSpatial() ? "true" : "false";
  } else if (key == "GlobalId") {
    value = Text(node->GlobalId());
  } else if (key == "Name") {
    value = Text(node->Name());
  } else if (key == "Elevation") {
    value = Text(NumberText(node->ElevationText()));
  } else if (key == "ObjectType" && !node->IsSynthetic()) {
    value = QORUnicodeString(_pModel->Attribute(*node, ifc::NodeAttribute::ObjectType));
  } else if (key == "Tag" && !node->IsSynthetic()) {
    value = QORUnicodeString(_pModel->Attribute(*node, ifc::NodeAttribute::Tag));
  } else {
    return E_FAIL;
  }
  return S_OK;
}

// ---- columns chosen by the host ----------------------------------------------------------

HRESULT QORIfcFilterStructure::ReadChosenColumns(std::vector<std::string>& columns) {
  // The provider interface takes no settings: the host names the columns in the environment,
  // read anew for every file.
  const char* chosen = QORGetEnv("QORDX_FILTER_COLUMNS");
  if (chosen == nullptr || *chosen == '\0') return S_OK;
  JSON::JIStream holder;
  const std::string wrapped = std::string("{\"columns\":") + chosen + "}";
  if (!holder.Parse(std::string_view(wrapped)) || holder.GetType("columns") != JSON::Type::Array) {
    QORSetErrorText("QORDX_FILTER_COLUMNS is not a JSON array of column names");
    return E_INVALIDARG;
  }
  for (const QORUnicodeString& name : holder.ReadStrings("columns"))
    if (!name.Str().empty()) columns.push_back(name.Str());
  return S_OK;
}

void QORIfcFilterStructure::DescribeChosenColumns() {
  _answers.resize(_fixedCount);
  const ifc::PropertyIndex* chosen = _pModel ? _pModel->Properties() : nullptr;
  if (chosen == nullptr) return;
  for (const ifc::PropertyIndex::Column& c : chosen->Columns()) {
    Answer& a = _answers.emplace_back();
    a.name = c.name;
    a.nameText = QORUnicodeString(a.name);
    if (c.source == ifc::PropertyIndex::Source::Property) {
      a.text = QORUnicodeString(c.unit.empty() ? c.name : c.name + " (" + c.unit + ")");
    } else {
      a.text = QORUnicodeString("DXIfcProvider.Column_" + c.name);
    }
    // Type codes: 0 read-only text, 1 boolean, 4 number.
    if (c.kind == ifc::PropertyIndex::Kind::Boolean) a.type = 1;
    if (c.kind == ifc::PropertyIndex::Kind::Number) a.type = 4;
  }
}
