// QORCloudResolvedFilter.h - the reader of a cloud exchange document: its entries are
// the result records of "data"/"results", keyed by "resourceid". Only the reading
// differs from QORResolvedFilter; every look-up is inherited.
#pragma once

#include "QORResolvedFilter.h"

class QORCloudResolvedFilter : public QORResolvedFilter {
 public:
  QORCloudResolvedFilter();
  ~QORCloudResolvedFilter() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  // E_INVALIDARG for an empty root, otherwise S_OK even when nothing was found.
  HRESULT ReadFilterDocument(const JSON::JIStream& root) override;
};
