// QORIResolvedInputFilter.h - the interface of a resolved filter: what the import
// asks, entity by entity, once the user has filtered.
#pragma once

#include <vector>

#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "SystemStrings/QORUnicodeString.h"

QOR_KIT_API extern const IID IID_QORIResolvedInputFilter;

class QOR_KIT_API QORIResolvedInputFilter : public QORBaseUnknown {
 public:
  QORIResolvedInputFilter();
  ~QORIResolvedInputFilter() override;
  static const QORMetaClass* MetaObject();
  static const IID& ClassId() { return IID_QORIResolvedInputFilter; }

  virtual HRESULT ReadFilterFile(const QORUnicodeString& path) = 0;
  virtual HRESULT GetObjectAttribute(const QORUnicodeString& uid, const QORUnicodeString& name,
                                     QORUnicodeString& value) = 0;
  virtual HRESULT GetFilterID(QORUnicodeString& id) = 0;
  virtual HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value) = 0;
  // Appends the uids of every entity; what ids held before stays in front.
  virtual HRESULT GetObjectIds(std::vector<QORUnicodeString>& ids) = 0;
};
