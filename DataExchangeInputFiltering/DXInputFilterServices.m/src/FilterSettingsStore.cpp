// FilterSettingsStore.cpp - reading the settings text and deciding import modes.
#include "FilterSettingsStore.h"

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "JsonStreams/JIStream.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

namespace {
// Keys are hashed once; the decision runs for every entity.
const QORDXUnicodeString kEntityToRemove(QORDXEntityList::kEntityToRemove);
const QORDXUnicodeString kDefaultProfile(QORDXEntityList::kDefaultProfile);
const QORDXUnicodeString kForCoordination(QORDXImportMode::kForCoordination);
const QORDXUnicodeString kForDesign(QORDXImportMode::kForDesign);
}  // namespace

FilterSettingsStore::FilterSettingsStore() = default;
FilterSettingsStore::~FilterSettingsStore() = default;

void* FilterSettingsStore::operator new(size_t size) noexcept {
  return QORBaseUnknown::operator new(size);
}
void FilterSettingsStore::operator delete(void* p) noexcept {
  QORBaseUnknown::operator delete(p);
}

HRESULT FilterSettingsStore::ReadSettings(const QORUnicodeString& settingsText) {
  HRESULT result = E_FAIL;
  JSON::JIStream root;
  if (!root.Parse(settingsText, true)) return E_FAIL;
  if (root.Exist("settings")) {
    _settingsText = root.ReadRawString("settings");
    JSON::JIStream settings = root.ReadObject("settings");
    DXValueSet& profiles = _valueSets[kDefaultProfile];
    profiles.insert(QORDXUnicodeString(settings.ReadString(QORDXEntityList::kDefaultProfile)));
    result = S_OK;
  }
  if (root.Exist("format")) {
    _format = root.ReadString("format");
    result = S_OK;
  }
  return result;
}

void FilterSettingsStore::SetValueSet(const QORUnicodeString& name, const DXValueSet& values) {
  _valueSets[QORDXUnicodeString(name)] = values;
}

HRESULT FilterSettingsStore::DecideImportMode(const QORIInputFilterStructure_var& structure,
                                              void* entity, QORUnicodeString& mode) const {
  if (QORBaseUnknown_var::equal_to(structure, nullptr) || !entity) return E_INVALIDARG;
  mode = QORUnicodeString();
  if (_valueSets.empty()) return E_NOTIMPL;

  auto removal = _valueSets.find(kEntityToRemove);
  if (removal != _valueSets.end()) {
    QORUnicodeString name;
    structure->GetEntityAttribute(entity, QORUnicodeString(QORDXEntityAttribute::kEntityName),
                                  name);
    if (removal->second.count(QORDXUnicodeString(std::move(name)))) {
      mode = QORDXImportMode::kNoImport;
      return S_OK;
    }
  }

  auto profile = _valueSets.find(kDefaultProfile);
  if (profile == _valueSets.end()) return E_NOTIMPL;
  QORUnicodeString latest;
  structure->GetEntityAttribute(
      entity, QORUnicodeString(QORDXEntityAttribute::kIsLatestSpatialEntity), latest);
  if (!latest.Compare("true")) return E_NOTIMPL;

  mode = QORDXImportMode::kForLifecycle;
  if (profile->second.count(kForCoordination)) {
    mode = QORDXImportMode::kForCoordination;
    return S_OK;
  }
  if (profile->second.count(kForDesign)) {
    mode = QORDXImportMode::kForDesign;
    return S_OK;
  }
  return S_OK;
}
