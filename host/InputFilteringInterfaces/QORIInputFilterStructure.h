// QORIInputFilterStructure.h - the interface of a per-format structure provider,
// registered as "INPUT_" + format + "_FILTER". The generator never reads a foreign
// file itself: it asks the provider for columns, the entity tree, labels, ids, cell
// values and attributes. Entities are opaque handles that only the provider reads;
// lists are one-based.
#pragma once

#include <cstdint>

#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORBaseUnknown_var.h"
#include "ObjectModelRuntime/QORListValQORUnicodeString.h"
#include "ObjectModelRuntime/QORRawCollPV.h"
#include "SystemStrings/QORUnicodeString.h"

QOR_KIT_API extern const IID IID_QORIInputFilterStructure;

// Column type codes that GetColumnDescription answers. Any other code is an editable
// column without a value type.
namespace QORDXColumnType {
inline constexpr int32_t kReadOnlyText = 0;
inline constexpr int32_t kBoolean = 1;
inline constexpr int32_t kEnumeration = 2;  // with its possible values
inline constexpr int32_t kText = 3;
inline constexpr int32_t kNumber = 4;
inline constexpr int32_t kOtherNumber = 5;  // shown and edited as kNumber
inline constexpr int32_t kDate = 6;
inline constexpr int32_t kColor = 7;
inline constexpr int32_t kRuntime = 8;  // computed by the page: no cells
}  // namespace QORDXColumnType

// Attributes the generator asks a provider for (GetEntityAttribute).
namespace QORDXEntityAttribute {
// The name an entity list (such as the one of entities to remove) matches.
inline constexpr const char* kEntityName = "EntityName";
// "true" for an entity that takes an import profile; anything else does not.
inline constexpr const char* kIsLatestSpatialEntity = "IsLatestSpatialEntity";
}  // namespace QORDXEntityAttribute

class QOR_KIT_API QORIInputFilterStructure : public QORBaseUnknown {
 public:
  QORIInputFilterStructure();
  ~QORIInputFilterStructure() override;
  static const QORMetaClass* MetaObject();
  static const IID& ClassId() { return IID_QORIInputFilterStructure; }

  virtual HRESULT SetInputFile(QORUnicodeString path) = 0;
  virtual HRESULT GetFilterID(QORUnicodeString& id) = 0;
  virtual HRESULT GetFormatUsage(QORUnicodeString& usage) = 0;
  // Column names in display order; entry 1 stands for the tree column.
  virtual HRESULT GetColumns(QORListValQORUnicodeString& columns) = 0;
  virtual HRESULT GetColumnDescription(QORUnicodeString column, QORUnicodeString& text,
                                       int32_t& type, QORListValQORUnicodeString& values) = 0;
  virtual HRESULT GetRoots(QORRawCollPV& roots) = 0;
  virtual HRESULT GetEntityLabel(void* entity, QORUnicodeString& label,
                                 QORListValQORUnicodeString& uids, bool& isNLS) = 0;
  virtual HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                                QORListValQORUnicodeString& values) = 0;
  virtual HRESULT GetChildren(void* entity, QORRawCollPV& children) = 0;
  // mode is the entity's import mode, null when it has none.
  virtual HRESULT GetEntityValue(void* entity, QORUnicodeString column, QORUnicodeString& value,
                                 bool& isNLS, const QORUnicodeString* mode) = 0;
  virtual HRESULT GetEntityAttribute(void* entity, QORUnicodeString name,
                                     QORUnicodeString& value) = 0;
};

typedef QORInterface_var<QORIInputFilterStructure> QORIInputFilterStructure_var;
