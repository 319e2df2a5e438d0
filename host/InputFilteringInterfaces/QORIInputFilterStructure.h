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
