// QORStepFilterStructure.h - the structure provider of STEP assemblies, registered as
// "INPUT_STEP_FILTER": it reads the product structure of the file with step::StepAssembly
// (never its geometry) and hands the generator one entity per occurrence.
//
// Columns, in display order (the first is the tree column):
//   Entity             the tree: the occurrence's instance name, or the root's product name
//   Import             boolean, editable: false when the import mode is "NoImport"
//   ImportMode         enumeration, editable: the import mode decided for the entity
//   Kind               read-only text: "assembly" or "part"
//   PartNumber         read-only text: the product's id
//   Name               editable text: the product's name
//   Description        read-only text: the product's description
//   Instance           read-only text: the usage's id (empty at a root)
//   Quantity           read-only: occurrences of this definition under the same parent
//   SchemaApplication  read-only text: "AP203", "AP214", "AP242" or the schema's name
// Column titles are NLS texts of the catalog "DXStepProvider".
//
// The provider interface takes no settings: the host hands them over in the environment,
// read at each SetInputFile:
//   QOR_STEP_CODE_PAGE        code page of string bytes that are not UTF-8 (iconv's names);
//                             unset reads them as Latin-1
//   QOR_STEP_MAX_OCCURRENCES  the most occurrences the structure may expand to (10000000)
#pragma once

#include <memory>
#include <string>

#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"

namespace step {
class StepAssembly;
}

class QORStepFilterStructure : public QORInputFilterStructureBase {
 public:
  QORStepFilterStructure();
  ~QORStepFilterStructure() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  virtual HRESULT SetInputFile(QORUnicodeString path);
  virtual HRESULT GetFilterID(QORUnicodeString& id);
  virtual HRESULT GetFormatUsage(QORUnicodeString& usage);
  // GetColumns: the base's, over the columns above.
  // The column name by reference here and below: asked for every cell of every row, and the
  // tie's forwarded name then binds without a copy.
  HRESULT GetColumnDescription(const QORUnicodeString& column, QORUnicodeString& text,
                               int32_t& type, QORListValQORUnicodeString& values) {
    return DescribeColumn(column.View(), text, type, values);
  }
  virtual HRESULT GetRoots(QORRawCollPV& roots);
  virtual HRESULT GetEntityLabel(void* entity, QORUnicodeString& label,
                                 QORListValQORUnicodeString& uids, bool& isNLS);
  virtual HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                                QORListValQORUnicodeString& values);
  virtual HRESULT GetChildren(void* entity, QORRawCollPV& children);
  virtual HRESULT GetEntityValue(void* entity, const QORUnicodeString& column,
                                 QORUnicodeString& value, bool& isNLS,
                                 const QORUnicodeString* mode);
  virtual HRESULT GetEntityAttribute(void* entity, QORUnicodeString name, QORUnicodeString& value);

 private:
  std::unique_ptr<step::StepAssembly> _pAssembly;
};
