// QORResolvedFilter.cpp - reading a filter document and answering look-ups.
#include "QORResolvedFilter.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {

std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};

// A member's value as text: a string decoded (so C:\dir or a quote comes back as
// itself), anything else as its JSON text.
QORUnicodeString ReadValueText(const JSON::JIStream& view, const char* key) {
  if (view.GetType(key) == JSON::Type::String) return view.ReadString(key);
  return view.ReadRawString(key);
}

}  // namespace

const QORMetaClass* QORResolvedFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(
      s_pMetaObject, [] { return DX_CLASS_META(QORResolvedFilter, QORBaseUnknown::MetaObject()); });
}
const QORMetaClass* QORResolvedFilter::GetMetaObject() const {
  return MetaObject();
}
const char* QORResolvedFilter::IsA() const {
  return MetaObject()->GetName();
}
int QORResolvedFilter::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORResolvedFilter::QORResolvedFilter() = default;
QORResolvedFilter::~QORResolvedFilter() = default;

void QORResolvedFilter::Reset() {
  _settings = JSON::JIStream();
  _mappingTable.clear();
  _filterId = QORUnicodeString();
}

JSON::JIStream QORResolvedFilter::ReadHeader(const JSON::JIStream& root) {
  Reset();
  if (!root.Exist("data")) return JSON::JIStream();
  JSON::JIStream data = root.ReadObject("data");
  if (data.Exist("filterID")) _filterId = data.ReadString("filterID");
  if (data.Exist("settings")) _settings = data.ReadObject("settings");
  return data;
}

HRESULT QORResolvedFilter::ReadFilterFile(const QORUnicodeString& path) {
  JSON::JIStream root;
  if (!root.ParseFile(path, true)) return E_FAIL;
  return ReadFilterDocument(root);
}

HRESULT QORResolvedFilter::ReadFilterDocument(const JSON::JIStream& root) {
  if (root.Empty()) return E_INVALIDARG;
  ReadHeader(root);
  if (root.Exist("roots")) {
    for (const JSON::JIStream& node : root.ReadObjects("roots")) ReadNode(node);
  }
  DumpMappingTable();
  return _mappingTable.empty() ? E_FAIL : S_OK;
}

HRESULT QORResolvedFilter::ReadNode(const JSON::JIStream& node) {
  if (node.Empty()) return E_INVALIDARG;
  const size_t before = _mappingTable.size();
  // A member that is missing, or not of the type asked for, reads as empty: each member
  // is looked up once, without an Exist before it (this runs for every node).
  const JSON::JIStream data = node.ReadObject("data");
  std::vector<QORUnicodeString> uids = data.ReadStrings("uid");
  if (!uids.empty()) {
    MappingEntry entry{data.ReadObject("NLS_grid"), node.ReadObject("grid")};
    const size_t last = uids.size() - 1;
    for (size_t i = 0; i < last; ++i)
      _mappingTable.try_emplace(QORDXUnicodeString(std::move(uids[i])), entry);
    // try_emplace leaves its arguments alone when the uid is taken already.
    _mappingTable.try_emplace(QORDXUnicodeString(std::move(uids[last])), std::move(entry));
  }
  for (const JSON::JIStream& child : node.ReadObjects("children")) ReadNode(child);
  return _mappingTable.size() > before ? S_OK : S_FALSE;
}

HRESULT QORResolvedFilter::GetObjectAttribute(const QORUnicodeString& uid,
                                              const QORUnicodeString& name,
                                              QORUnicodeString& value) {
  auto it = _mappingTable.find(QORDXUnicodeString(uid));
  if (it == _mappingTable.end()) return E_FAIL;
  const char* key = name.CastToCharPtr();
  const MappingEntry& entry = it->second;
  // The type found tells both where the member is and how to read it: one scan of
  // each row instead of a test, then a second look for the type.
  const JSON::JIStream* view = &entry.primary;
  JSON::Type type = view->GetType(key);
  if (type == JSON::Type::Missing) {
    view = &entry.fallback;
    type = view->GetType(key);
    if (type == JSON::Type::Missing) return E_FAIL;
  }
  value = type == JSON::Type::String ? view->ReadString(key) : view->ReadRawString(key);
  return S_OK;
}

HRESULT QORResolvedFilter::GetFilterID(QORUnicodeString& id) {
  if (_filterId.IsEmpty()) return E_FAIL;
  id = _filterId;
  return S_OK;
}

HRESULT QORResolvedFilter::GetSetting(const QORUnicodeString& name, QORUnicodeString& value) {
  const char* key = name.CastToCharPtr();
  if (!_settings.Exist(key)) return E_FAIL;
  value = ReadValueText(_settings, key);
  return S_OK;
}

HRESULT QORResolvedFilter::GetObjectIds(std::vector<QORUnicodeString>& ids) {
  if (ids.capacity() < _mappingTable.size()) ids.reserve(_mappingTable.size());
  for (const auto& [uid, entry] : _mappingTable) ids.push_back(uid);
  return S_OK;
}
