// QORJsonFilterWriter.cpp - generation, loading, saving of the filter document.
#include "QORJsonFilterWriter.h"

#include <algorithm>
#include <atomic>

#include "DXClassMeta.h"
#include "DXColumnTyping.h"
#include "DXDocumentMembers.h"
#include "DXWebViewer.h"
#include "DataExchangeUtilities/QORDXEnvironmentVariable.h"
#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/QORJsonCheck.h"
#include "ObjectModelRuntime/QORErrorText.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "QORResolvedFilter.h"

namespace {

std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};

const QORDXUnicodeString kEntityToRemove(QORDXEntityList::kEntityToRemove);

// What a column type code puts into the column object.
void AddColumnTyping(JSON::JOStream& column, JSON::JOStream& columnData, int32_t type,
                     const QORListValQORUnicodeString& possibleValues) {
  const DXColumnTyping typing = DXColumnTyping::Of(type);
  column.Add("editableFlag", typing.editable);
  if (typing.editable) column.Add("editionPolicy", "EditionInPlace");
  if (typing.representation) column.Add("typeRepresentation", typing.representation);
  if (typing.dataType) columnData.Add("type", typing.dataType);
  if (type == QORDXColumnType::kEnumeration) {
    std::vector<QORUnicodeString> values(possibleValues.begin(), possibleValues.end());
    columnData.Add("possibleValues", values);
  }
}

}  // namespace

const QORMetaClass* QORJsonFilterWriter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORJsonFilterWriter, QORBaseUnknown::MetaObject());
  });
}
const QORMetaClass* QORJsonFilterWriter::GetMetaObject() const {
  return MetaObject();
}
const char* QORJsonFilterWriter::IsA() const {
  return MetaObject()->GetName();
}
int QORJsonFilterWriter::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORJsonFilterWriter::QORJsonFilterWriter() = default;

QORJsonFilterWriter::~QORJsonFilterWriter() {
  DropDialog();
  delete _pSettings;
  _pSettings = nullptr;
}

void QORJsonFilterWriter::DropDialog() {
  if (_pDialog) {
    // Its page may still answer before the loop destroys it; the answer must reach
    // neither a newer document nor a freed generator.
    _pDialog->DetachOwner();
    _pDialog->RequestDelayedDestruction();
  }
  _pDialog = nullptr;
}

void QORJsonFilterWriter::AddEntityList(const int& kind, const QORListValQORUnicodeString& names) {
  if (kind != 0) return;
  DXValueSet& set = _valueSets[kEntityToRemove];
  set.clear();
  set.reserve(static_cast<size_t>(names.Size()));
  for (int i = 1; i <= names.Size(); ++i) set.insert(QORDXUnicodeString(names[i]));
}

HRESULT QORJsonFilterWriter::GenerateDocument(QORUnicodeString format, QORUnicodeString sourcePath,
                                              const QORUnicodeString* settingsText) {
  DropDialog();
  _sourcePath = sourcePath;
  QORUnicodeString name = QORUnicodeString("INPUT_") + format + "_FILTER";

  void* pointer = nullptr;
  HRESULT hr =
      QORInstantiateComponent(name.CastToCharPtr(), IID_QORIInputFilterStructure, &pointer);
  if (QORFailed(hr)) return hr;
  // A success without an object would generate nothing while reporting success.
  if (!pointer) return E_FAIL;
  QORIInputFilterStructure_var provider;
  provider.__CastTo(static_cast<QORBaseUnknown*>(pointer));
  static_cast<QORBaseUnknown*>(pointer)->Release();
  if (QORBaseUnknown_var::equal_to(provider, nullptr)) return E_FAIL;

  hr = provider->SetInputFile(sourcePath);
  if (QORFailed(hr)) return hr;

  // Each generation decides with its own settings only: a store left by an earlier
  // generation must not decide this one's import modes nor reach its document.
  delete _pSettings;
  _pSettings = nullptr;
  if (settingsText || !_valueSets.empty()) {
    _pSettings = new FilterSettingsStore();
    if (_pSettings) {
      for (const auto& [setName, values] : _valueSets) _pSettings->SetValueSet(setName, values);
      if (settingsText) {
        HRESULT read = _pSettings->ReadSettings(*settingsText);
        QORUnicodeString usage;
        provider->GetFormatUsage(usage);
        if (QORFailed(read) || !_pSettings->GetFormat().Compare(usage)) {
          delete _pSettings;
          _pSettings = nullptr;
          return E_FAIL;
        }
      }
    }
  }
  return BuildDocument(provider);
}

HRESULT QORJsonFilterWriter::BuildDocument(const QORIInputFilterStructure_var& provider) {
  if (QORBaseUnknown_var::equal_to(provider, nullptr)) return E_FAIL;

  JSON::JOStream data;
  QORUnicodeString filterId, usage;
  provider->GetFilterID(filterId);
  data.Add("filterID", filterId);
  provider->GetFormatUsage(usage);
  data.Add("formatUsage", usage);
  if (_pSettings && !_pSettings->GetSettingsText().IsEmpty())
    data.AddRawString("settings", _pSettings->GetSettingsText());

  QORListValQORUnicodeString columnNames;
  provider->GetColumns(columnNames);
  std::vector<JSON::JOStream> columns;
  columns.reserve(static_cast<size_t>(columnNames.Size()));
  for (int i = 1; i <= columnNames.Size(); ++i) {
    const bool isTree = i == 1;
    QORUnicodeString columnName = isTree ? QORUnicodeString("tree") : columnNames[i];
    QORUnicodeString text;
    int32_t type = 0;
    QORListValQORUnicodeString possibleValues;
    provider->GetColumnDescription(columnName, text, type, possibleValues);
    JSON::JOStream column, columnData;
    column.Add("dataIndex", columnName);
    if (isTree) {
      column.Add("editableFlag", false);
    } else {
      AddColumnTyping(column, columnData, type, possibleValues);
    }
    columnData.Add("NLS_text", text);
    column.Add("data", std::move(columnData));
    columns.push_back(std::move(column));
  }

  QORRawCollPV roots;
  provider->GetRoots(roots);
  // The document changes only when the whole tree was written.
  const bool fresh = _document.IsEmpty();
  JSON::JOStream before;
  if (!fresh) before = _document;
  _document.Add("data", std::move(data));
  _document.Add("columns", std::move(columns));
  _ancestors.clear();
  const bool written = _document.AddWritten("roots", [&](JSON::JOStream::ValueWriter& out) {
    out.Put('[');
    for (int i = 1; i <= roots.Size(); ++i) {
      if (i > 1) out.Put(',');
      if (!BuildSubtree(provider, roots[i], 1, out)) return false;
    }
    out.Put(']');
    return true;
  });
  if (!written) {
    _ancestors.clear();
    _document = fresh ? JSON::JOStream() : std::move(before);
    return E_FAIL;
  }
  return S_OK;
}

bool QORJsonFilterWriter::BuildSubtree(const QORIInputFilterStructure_var& provider, void* entity,
                                       int depth, JSON::JOStream::ValueWriter& out) {
  if (!entity) {  // a null handle is written as an empty object
    out.Write("{}");
    return true;
  }
  // A provider must hand over a tree; one that loops or nests beyond what the
  // document can hold would otherwise exhaust the stack.
  if (depth > kMaxTreeDepth) {
    QORSetErrorText("the entity tree is " + std::to_string(depth) +
                    " levels deep or more; a filter document holds at most " +
                    std::to_string(kMaxTreeDepth));
    return false;
  }
  if (std::find(_ancestors.begin(), _ancestors.end(), entity) != _ancestors.end()) {
    QORSetErrorText("the structure provider's entity tree loops back on itself");
    return false;
  }

  BuildNode(provider, entity, out);
  QORRawCollPV children;
  provider->GetChildren(entity, children);
  if (children.Size() > 0) {
    _ancestors.push_back(entity);
    out.Write(",\"children\":[");
    for (int i = 1; i <= children.Size(); ++i) {
      if (i > 1) out.Put(',');
      if (!BuildSubtree(provider, children[i], depth + 1, out)) return false;
    }
    out.Put(']');
    _ancestors.pop_back();
  }
  out.Put('}');
  return true;
}

namespace {

// Whether the keys are all different; a provider's usually are. Keys of different lengths
// differ: a key is compared with the earlier ones only when its length (modulo 64) was seen
// before, and then by its end bytes before the whole, which calls memcmp.
bool KeysDistinct(const std::vector<std::string_view>& keys) {
  uint64_t lengths = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string_view a = keys[i];
    const uint64_t bit = uint64_t{1} << (a.size() & 63);
    if (lengths & bit) {
      for (size_t j = 0; j < i; ++j) {
        const std::string_view b = keys[j];
        if (a.size() == b.size() &&
            (a.empty() || (a.front() == b.front() && a.back() == b.back())) && a == b)
          return false;
      }
    }
    lengths |= bit;
  }
  return true;
}

// Names longer than this live outside the string object: copying one allocates.
const size_t kInlineName = std::string().capacity();

// A node past this bound is written with a check per write rather than room for its
// worst case, which for a huge label would be six times the label.
constexpr size_t kMostWithin = size_t{1} << 20;

// The writer's checked calls, for such a node.
struct Checked {
  JSON::JOStream::ValueWriter* pOut;
  void Put(char c) { pOut->Put(c); }
  void Write(std::string_view text) { pOut->Write(text); }
  void Quoted(std::string_view text) { pOut->Quoted(text); }
};

}  // namespace

void QORJsonFilterWriter::BuildNode(const QORIInputFilterStructure_var& provider, void* entity,
                                    JSON::JOStream::ValueWriter& out) {
  // Every answer lands in scratch kept from the last node: emptied, not freed, so the
  // provider's assignments reuse its capacity instead of allocating a node's worth of text.
  NodeScratch& s = _scratch;
  // BuildDocument has checked the holder: the calls need not check it again each time.
  QORIInputFilterStructure* const source = provider.Get();
  QORUnicodeString& label = s.label;
  QORListValQORUnicodeString& uids = s.uids;
  label.Str().clear();
  uids.RemoveAll();
  bool labelIsNLS = false;
  source->GetEntityLabel(entity, label, uids, labelIsNLS);

  QORUnicodeString& mode = s.mode;
  mode.Str().clear();
  if (_pSettings) _pSettings->DecideImportMode(provider, entity, mode);
  const QORUnicodeString* pMode = mode.IsEmpty() ? nullptr : &mode;

  QORListValQORUnicodeString& columnNames = s.columnNames;
  columnNames.RemoveAll();
  source->GetColumns(columnNames);
  size_t cellCount = 0;
  size_t nlsCount = 0;
  const int columnCount = columnNames.Size();
  for (int i = 2; i <= columnCount; ++i) {
    QORUnicodeString& columnName = columnNames[i];
    s.text.Str().clear();
    s.possibleValues.RemoveAll();
    int32_t type = 0;
    source->GetColumnDescription(columnName, s.text, type, s.possibleValues);
    if (type == QORDXColumnType::kRuntime) continue;  // computed by the page
    if (_cells.size() <= cellCount) _cells.resize(cellCount + 1);
    Cell& cell = _cells[cellCount];
    cell.value.Str().clear();
    cell.isNLS = false;
    // The call takes the name by value, and it is the name's last use but the grid's: a
    // long name is handed over, its bytes kept in the cell's buffer, instead of copied
    // into a fresh allocation.
    if (columnName.Str().size() > kInlineName) {
      cell.heldName.assign(columnName.Str());
      cell.column = -1;
      source->GetEntityValue(entity, std::move(columnName), cell.value, cell.isNLS, pMode);
    } else {
      cell.column = i;
      source->GetEntityValue(entity, columnName, cell.value, cell.isNLS, pMode);
    }
    if (cell.value.IsEmpty()) continue;
    nlsCount += cell.isNLS ? 1 : 0;
    ++cellCount;
  }

  QORListValQORUnicodeString& keys = s.keys;
  QORListValQORUnicodeString& values = s.values;
  keys.RemoveAll();
  values.RemoveAll();
  source->GetEntityData(entity, keys, values);
  const int dataCount = std::min(keys.Size(), values.Size());

  std::vector<std::string_view>& cellNames = s.cellNames;
  cellNames.clear();
  for (size_t k = 0; k < cellCount; ++k) {
    Cell& cell = _cells[k];
    const std::string_view name =
        cell.column < 0 ? std::string_view(cell.heldName) : columnNames[cell.column].View();
    cell.name = name;
    cellNames.push_back(name);
  }
  // Entity data keys may repeat each other or the node's own data keys.
  std::vector<std::string_view>& dataKeys = s.dataKeys;
  dataKeys.clear();
  if (labelIsNLS) dataKeys.emplace_back("NLS_label");
  if (uids.Size() > 0) dataKeys.emplace_back("uid");
  if (nlsCount > 0) dataKeys.emplace_back("NLS_grid");
  for (int i = 1; i <= dataCount; ++i) dataKeys.push_back(keys[i].View());

  if (KeysDistinct(cellNames) && KeysDistinct(dataKeys)) {
    using Writer = JSON::JOStream::ValueWriter;
    // Every quoted text at its worst, and the node's own keys and punctuation.
    size_t most = 64 + Writer::QuotedRoom(label.View().size());
    for (const QORUnicodeString& uid : uids) most += Writer::QuotedRoom(uid.View().size()) + 1;
    for (size_t k = 0; k < cellCount; ++k)
      most += Writer::QuotedRoom(_cells[k].name.size()) +
              Writer::QuotedRoom(_cells[k].value.View().size()) + 2;
    for (int i = 1; i <= dataCount; ++i)
      most += Writer::QuotedRoom(keys[i].View().size()) +
              Writer::QuotedRoom(values[i].View().size()) + 2;
    if (most <= kMostWithin) {
      out.WriteWithin(most, [&](Writer::Cursor cursor) {
        return WriteNode(cursor, labelIsNLS, cellCount, nlsCount, dataCount);
      });
    } else {
      WriteNode(Checked{&out}, labelIsNLS, cellCount, nlsCount, dataCount);
    }
    return;
  }
  // A repeated key: the objects as streams, which keep the first place and the last value.
  JSON::JOStream nodeData, grid, nlsGrid;
  if (labelIsNLS) nodeData.Add("NLS_label", label);
  if (uids.Size() > 0) nodeData.Add("uid", std::vector<QORUnicodeString>(uids.begin(), uids.end()));
  for (size_t k = 0; k < cellCount; ++k) {
    const QORUnicodeString name(_cells[k].name);
    (_cells[k].isNLS ? nlsGrid : grid).Add(name, _cells[k].value);
  }
  if (!nlsGrid.IsEmpty()) nodeData.Add("NLS_grid", std::move(nlsGrid));
  for (int i = 1; i <= dataCount; ++i) nodeData.Add(keys[i], values[i]);
  out.Put('{');
  if (!labelIsNLS) {
    out.Write("\"label\":");
    out.Quoted(label.View());
    out.Put(',');
  }
  out.Write("\"data\":");
  out.Write(nodeData.Stringify().View());
  out.Write(",\"grid\":");
  out.Write(grid.Stringify().View());
}

template <class Out>
Out QORJsonFilterWriter::WriteNode(Out out, bool labelIsNLS, size_t cellCount, size_t nlsCount,
                                   int dataCount) {
  const NodeScratch& s = _scratch;
  // The cells of one grid, in column order.
  auto writeGrid = [&](bool nls) {
    out.Put('{');
    bool first = true;
    for (size_t k = 0; k < cellCount; ++k) {
      const Cell& cell = _cells[k];
      if (cell.isNLS != nls) continue;
      if (!first) out.Put(',');
      first = false;
      out.Quoted(cell.name);
      out.Put(':');
      out.Quoted(cell.value.View());
    }
    out.Put('}');
  };
  out.Put('{');
  if (!labelIsNLS) {
    out.Write("\"label\":");
    out.Quoted(s.label.View());
    out.Put(',');
  }
  out.Write("\"data\":{");
  bool first = true;
  auto key = [&](std::string_view name) {
    if (!first) out.Put(',');
    first = false;
    out.Quoted(name);
    out.Put(':');
  };
  if (labelIsNLS) {
    key("NLS_label");
    out.Quoted(s.label.View());
  }
  if (s.uids.Size() > 0) {
    key("uid");
    out.Put('[');
    for (int i = 1; i <= s.uids.Size(); ++i) {
      if (i > 1) out.Put(',');
      out.Quoted(s.uids[i].View());
    }
    out.Put(']');
  }
  if (nlsCount > 0) {
    key("NLS_grid");
    writeGrid(true);
  }
  for (int i = 1; i <= dataCount; ++i) {
    key(s.keys[i].View());
    out.Quoted(s.values[i].View());
  }
  out.Write("},\"grid\":");
  writeGrid(false);
  return out;
}

HRESULT QORJsonFilterWriter::LoadDocumentFromFile(QORUnicodeString path, const QORUnicodeString*) {
  DropDialog();
  JSON::JIStream root;
  // A filter document is an object; any other JSON value would not be one.
  if (!root.ParseFile(path, true) || !root.IsObject()) return E_FAIL;
  _document = JSON::JOStream(root);
  return S_OK;
}

HRESULT QORJsonFilterWriter::ShowFilterDialog(QORCommand* father) {
  // One dialog at a time; a closed one still counts until a new document drops it.
  if (_pDialog) return E_FAIL;
  _pDialog = new DXWebViewer(father);
  if (!_pDialog) return E_FAIL;
  return _pDialog->InitAndShow(_document.Stringify(), this);
}

HRESULT QORJsonFilterWriter::GetResolvedFilter(QORIResolvedInputFilter** out) {
  return HandOutReader(new QORResolvedFilter(), out);
}

HRESULT QORJsonFilterWriter::HandOutReader(QORResolvedFilter* reader,
                                           QORIResolvedInputFilter** out) {
  if (!reader) return E_OUTOFMEMORY;
  HRESULT hr = out ? reader->ReadFilterDocument(JSON::JIStream(_document)) : E_INVALIDARG;
  if (QORSucceeded(hr)) {
    void* tie = nullptr;
    hr = reader->QueryInterface(IID_QORIResolvedInputFilter, &tie);
    // The caller's pointer changes only on success.
    if (QORSucceeded(hr)) *out = static_cast<QORIResolvedInputFilter*>(tie);
  }
  reader->Release();
  return hr;
}

HRESULT QORJsonFilterWriter::SaveDocumentToFile(QORUnicodeString path) {
  const bool indented = QORDXEnvironmentVariable::HasBeenSet(QORDXUnicodeString("MDW_KWT_TMP"));
  const bool written = indented ? _document.WritePrettyFile(path) : _document.WriteFile(path);
  return written ? S_OK : E_FAIL;
}

HRESULT QORJsonFilterWriter::SetDocumentFromText(const QORUnicodeString& text) {
  QORUnicodeString copy(text);
  return SetDocumentFromText(std::move(copy));
}

HRESULT QORJsonFilterWriter::SetDocumentFromText(QORUnicodeString&& text) {
  // Text in the document's own form is kept as it came; any other is written anew. A
  // document has a handful of members: one with thousands is no answer of the page,
  // and each member taken whole reserves room of its own.
  constexpr size_t kMaxKeptMembers = 64;
  std::vector<DXDocumentMember> members;
  if (!DXSplitCanonicalMembers(text.View(), members) || members.size() > kMaxKeptMembers) {
    JSON::JIStream root;
    if (!root.Parse(text, true) || !root.IsObject()) return E_FAIL;
    _document = JSON::JOStream(root);
    return S_OK;
  }
  // Kept text needs no parsed copy, only the same check: a parse would fill as much fresh
  // memory as the text, which costs more here than the parse itself.
  if (!QORIsValidJson(text.View())) return E_FAIL;
  // The answer's own block becomes the document's: copying tens of megabytes into fresh
  // memory cost more than the rest of the way to the written file.
  std::vector<std::pair<std::string_view, std::string_view>> views;
  views.reserve(members.size());
  for (const DXDocumentMember& member : members) views.emplace_back(member.key, member.value);
  JSON::JOStream document;
  if (document.AdoptCompact(std::move(text.Str()), views)) {
    text = QORUnicodeString();
  } else {  // a repeated key: its first place and last value, as a parse reads it
    for (const DXDocumentMember& member : members) {
      const std::string key(member.key);
      document.AddWritten(key.c_str(), [&member](JSON::JOStream::ValueWriter& out) {
        out.Write(member.value);
        return true;
      });
    }
  }
  _document = std::move(document);
  return S_OK;
}

const QORUnicodeString& QORJsonFilterWriter::GetSourcePath() {
  return _sourcePath;
}
