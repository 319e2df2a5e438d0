// QORCloudJsonFilter.h - the cloud generator: loads an existing exchange document,
// merges the import settings into its "data", and hands out a cloud reader over it.
// It neither generates nor shows a dialog. Reached through
// TIEQORIInputFilterGeneratorQORCloudJsonFilter under "INPUT_CLOUDFILTER_GENERATOR".
#pragma once

#include "QORJsonFilterWriter.h"

class QORCloudJsonFilter : public QORJsonFilterWriter {
 public:
  QORCloudJsonFilter();
  ~QORCloudJsonFilter() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  HRESULT GenerateDocument(QORUnicodeString format, QORUnicodeString sourcePath,
                           const QORUnicodeString* settingsText) override;
  HRESULT LoadDocumentFromFile(QORUnicodeString path,
                               const QORUnicodeString* settingsText) override;
  HRESULT ShowFilterDialog(QORCommand* father) override;
  HRESULT GetResolvedFilter(QORIResolvedInputFilter** out) override;
};
