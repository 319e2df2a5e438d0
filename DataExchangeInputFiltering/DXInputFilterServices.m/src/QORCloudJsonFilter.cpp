// QORCloudJsonFilter.cpp - loading and merging the exchange document.
#include "QORCloudJsonFilter.h"

#include <atomic>

#include "DXClassMeta.h"
#include "JsonStreams/JIStream.h"
#include "QORCloudResolvedFilter.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}  // namespace

const QORMetaClass* QORCloudJsonFilter::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORCloudJsonFilter, QORJsonFilterWriter::MetaObject());
  });
}
const QORMetaClass* QORCloudJsonFilter::GetMetaObject() const {
  return MetaObject();
}
const char* QORCloudJsonFilter::IsA() const {
  return MetaObject()->GetName();
}
int QORCloudJsonFilter::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORCloudJsonFilter::QORCloudJsonFilter() = default;
QORCloudJsonFilter::~QORCloudJsonFilter() = default;

HRESULT QORCloudJsonFilter::GenerateDocument(QORUnicodeString, QORUnicodeString,
                                             const QORUnicodeString*) {
  return E_NOTIMPL;
}

HRESULT QORCloudJsonFilter::ShowFilterDialog(QORCommand*) {
  return E_NOTIMPL;
}

HRESULT QORCloudJsonFilter::LoadDocumentFromFile(QORUnicodeString path,
                                                 const QORUnicodeString* settingsText) {
  JSON::JIStream root;
  // As the tree generator: a top level that is no object is no exchange document.
  if (!root.ParseFile(path, true) || !root.IsObject()) return E_FAIL;
  _document = JSON::JOStream(root);
  // From here on the document is loaded, whatever happens to the settings.
  if (!settingsText && _valueSets.empty()) return S_OK;

  delete _pSettings;
  _pSettings = new FilterSettingsStore();
  if (!_pSettings) return S_OK;
  for (const auto& [setName, values] : _valueSets) _pSettings->SetValueSet(setName, values);
  if (!settingsText) return S_OK;
  if (QORFailed(_pSettings->ReadSettings(*settingsText))) {
    delete _pSettings;
    _pSettings = nullptr;
    return S_OK;
  }
  const QORUnicodeString& settings = _pSettings->GetSettingsText();
  if (settings.IsEmpty()) return S_OK;

  JSON::JOStream data(JSON::JIStream(_document).ReadObject("data"));
  data.AddRawString("settings", settings);
  _document.Add("data", std::move(data));
  return S_OK;
}

HRESULT QORCloudJsonFilter::GetResolvedFilter(QORIResolvedInputFilter** out) {
  return HandOutReader(new QORCloudResolvedFilter(), out);
}
