// FilterSettingsStore.h - the settings and named value sets of one generation, and
// the per-entity import-mode decision.
//
// The generator fills it once (SetValueSet per set, then ReadSettings) and then asks
// DecideImportMode for every entity; the mode text reaches the structure provider
// with each request for the entity's cell values.
#pragma once

#include <unordered_map>
#include <unordered_set>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "InputFilteringInterfaces/QORIInputFilterStructure.h"
#include "SystemStrings/QORUnicodeString.h"

typedef std::unordered_set<QORDXUnicodeString, QORDXUnicodeStringHash> DXValueSet;
typedef std::unordered_map<QORDXUnicodeString, DXValueSet, QORDXUnicodeStringHash> DXValueSetMap;

class FilterSettingsStore {
 public:
  FilterSettingsStore();
  virtual ~FilterSettingsStore();

  // Through the host allocator, so that a failed allocation gives null.
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* p) noexcept;

  // 0 when the text held "settings" or "format", else E_FAIL (nothing changed).
  HRESULT ReadSettings(const QORUnicodeString& settingsText);
  void SetValueSet(const QORUnicodeString& name, const DXValueSet& values);
  const QORUnicodeString& GetFormat() const { return _format; }
  const QORUnicodeString& GetSettingsText() const { return _settingsText; }
  HRESULT DecideImportMode(const QORIInputFilterStructure_var& structure, void* entity,
                           QORUnicodeString& mode) const;

 private:
  QORUnicodeString _settingsText;
  QORUnicodeString _format;
  DXValueSetMap _valueSets;
};
