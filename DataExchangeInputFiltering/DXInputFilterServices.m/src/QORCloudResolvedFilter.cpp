// QORCloudResolvedFilter.cpp - reading result records.
#include "QORCloudResolvedFilter.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}  // namespace

const QORMetaClass* QORCloudResolvedFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORCloudResolvedFilter, QORResolvedFilter::MetaObject());
  });
}
const QORMetaClass* QORCloudResolvedFilter::GetMetaObject() const {
  return MetaObject();
}
const char* QORCloudResolvedFilter::IsA() const {
  return MetaObject()->GetName();
}
int QORCloudResolvedFilter::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORCloudResolvedFilter::QORCloudResolvedFilter() = default;
QORCloudResolvedFilter::~QORCloudResolvedFilter() = default;

HRESULT QORCloudResolvedFilter::ReadFilterDocument(const JSON::JIStream& root) {
  if (root.Empty()) return E_INVALIDARG;
  const JSON::JIStream data = ReadHeader(root);
  if (data.Exist("results")) {
    for (const JSON::JIStream& record : data.ReadObjects("results")) {
      if (!record.Exist("resourceid")) continue;
      // Previews and relations between resources are not resources to import.
      if (record.Exist("previewObject") || record.Exist("from") || record.Exist("to")) continue;
      QORDXUnicodeString id(record.ReadString("resourceid"));
      _mappingTable.try_emplace(std::move(id), MappingEntry{record, JSON::JIStream()});
    }
  }
  DumpMappingTable();
  return S_OK;
}
