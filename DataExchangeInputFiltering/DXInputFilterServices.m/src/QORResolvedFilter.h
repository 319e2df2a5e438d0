// QORResolvedFilter.h - the resolved filter: reads a filter document back into a
// table from entity uid to the entity's row, and answers the import's look-ups.
// Reached by the host through TIEQORIResolvedInputFilterQORResolvedFilter under
// "INPUT_FILTER_READER"; the generator's GetResolvedFilter makes one directly.
//
// The views it keeps share ownership of the parsed document, so they stay valid
// after the stream they were read from is gone.
#pragma once

#include <unordered_map>
#include <vector>

#include "DataExchangeUtilities/QORDXUnicodeString.h"
#include "JsonStreams/JIStream.h"
#include "MappingEntry.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

class QORResolvedFilter : public QORBaseUnknown {
 public:
  QORResolvedFilter();
  ~QORResolvedFilter() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  // Own operations 1 to 6; the TIE forwards interface methods 1 to 5 to 1 to 5.
  virtual HRESULT ReadFilterFile(const QORUnicodeString& path);
  virtual HRESULT GetObjectAttribute(const QORUnicodeString& uid, const QORUnicodeString& name,
                                     QORUnicodeString& value);
  virtual HRESULT GetFilterID(QORUnicodeString& id);
  virtual HRESULT GetSetting(const QORUnicodeString& name, QORUnicodeString& value);
  virtual HRESULT GetObjectIds(std::vector<QORUnicodeString>& ids);
  virtual HRESULT ReadFilterDocument(const JSON::JIStream& root);

  HRESULT ReadNode(const JSON::JIStream& node);
  // Writes the settings and the table for inspection while the dump switch is on.
  void DumpMappingTable();

 protected:
  // Forgets everything an earlier read left.
  void Reset();
  // Forgets the earlier read, then takes the filter id and the settings from the
  // document's "data", which it gives back (empty when there is none).
  JSON::JIStream ReadHeader(const JSON::JIStream& root);

  QORUnicodeString _filterId;
  std::unordered_map<QORDXUnicodeString, MappingEntry, QORDXUnicodeStringHash> _mappingTable;
  JSON::JIStream _settings;
};
