// QORIInputFilterGenerator.h - the interface of a filter document generator, as the
// host's import function drives it: give entity lists, generate (or load) the
// document, show the filter dialog, get the resolved filter, save.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "SystemStrings/QORUnicodeString.h"

class QORCommand;
class QORIResolvedInputFilter;

QOR_KIT_API extern const IID IID_QORIInputFilterGenerator;

// The entity list that AddEntityList kind 0 gives, and the settings' list of profiles.
namespace QORDXEntityList {
inline constexpr int kRemoveKind = 0;
inline constexpr const char* kEntityToRemove = "EntityToRemove";
inline constexpr const char* kDefaultProfile = "defaultProfile";
}  // namespace QORDXEntityList

// Import modes the generator decides per entity and hands to the provider with each
// value it asks for; an entity without one gets the empty text.
namespace QORDXImportMode {
inline constexpr const char* kNoImport = "NoImport";
inline constexpr const char* kForLifecycle = "ForLifecycle";
inline constexpr const char* kForCoordination = "ForCoordination";
inline constexpr const char* kForDesign = "ForDesign";
}  // namespace QORDXImportMode

class QOR_KIT_API QORIInputFilterGenerator : public QORBaseUnknown {
 public:
  QORIInputFilterGenerator();
  ~QORIInputFilterGenerator() override;
  static const QORMetaClass* MetaObject();
  static const IID& ClassId() { return IID_QORIInputFilterGenerator; }

  // Kind 0 names the entities to leave out; each call replaces the earlier names.
  virtual void AddEntityList(const int& kind, const QORListValQORUnicodeString& names) = 0;
  virtual HRESULT GenerateDocument(QORUnicodeString format, QORUnicodeString sourcePath,
                                   const QORUnicodeString* settingsText) = 0;
  virtual HRESULT LoadDocumentFromFile(QORUnicodeString path,
                                       const QORUnicodeString* settingsText) = 0;
  virtual HRESULT ShowFilterDialog(QORCommand* father) = 0;
  virtual HRESULT GetResolvedFilter(QORIResolvedInputFilter** out) = 0;
  virtual HRESULT SaveDocumentToFile(QORUnicodeString path) = 0;
};
