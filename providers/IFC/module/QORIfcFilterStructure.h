// QORIfcFilterStructure.h - the structure provider of IFC building models, registered
// as "INPUT_IFC_FILTER": it opens the file with ifc::Model and hands the generator the
// spatial tree (project, site, building, storeys, spaces) with the elements placed in
// it, and the cells of its columns.
//
// Columns, in display order (the first is the tree column):
//   Entity       the tree: the entity's name, or its type and instance number
//   Import       boolean, editable: false when the import mode is "NoImport"
//   ImportMode   enumeration, editable: the import mode decided for the entity
//   Type         read-only text: the IFC entity type ("IfcWall")
//   Name         editable text
//   Elevation    number, editable: a storey's elevation, in the file's length unit
//   Description  read-only text
//   Imported     runtime: computed by the page (entities below that will be imported)
// then the columns the host chose through "QORDX_FILTER_COLUMNS" (a JSON array of names:
// "Pset_WallCommon.IsExternal", "Material", ...; see ifc::PropertyIndex), read-only
// values typed boolean, number or text. Column titles are NLS texts of the catalog
// "DXIfcProvider", but for property columns, which show their name (and unit).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "InputFilteringInterfaces/QORInputFilterStructureBase.h"

namespace ifc {
class Model;
}

class QORIfcFilterStructure : public QORInputFilterStructureBase {
 public:
  QORIfcFilterStructure();
  ~QORIfcFilterStructure() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  virtual HRESULT SetInputFile(QORUnicodeString path);
  virtual HRESULT GetFilterID(QORUnicodeString& id);
  virtual HRESULT GetFormatUsage(QORUnicodeString& usage);
  virtual HRESULT GetColumns(QORListValQORUnicodeString& columns);
  virtual HRESULT GetColumnDescription(const QORUnicodeString& column, QORUnicodeString& text,
                                       int32_t& type, QORListValQORUnicodeString& values);
  virtual HRESULT GetRoots(QORRawCollPV& roots);
  virtual HRESULT GetEntityLabel(void* entity, QORUnicodeString& label,
                                 QORListValQORUnicodeString& uids, bool& isNLS);
  virtual HRESULT GetEntityData(void* entity, QORListValQORUnicodeString& keys,
                                QORListValQORUnicodeString& values);
  virtual HRESULT GetChildren(void* entity, QORRawCollPV& children);
  virtual HRESULT GetEntityValue(void* entity, const QORUnicodeString& column,
                                 QORUnicodeString& value, bool& isNLS,
                                 const QORUnicodeString* mode);
  virtual HRESULT GetEntityAttribute(void* entity, const QORUnicodeString& name,
                                     QORUnicodeString& value);

 private:
  // What GetColumnDescription answers for one column, made once.
  struct Answer {
    std::string_view name;
    QORUnicodeString nameText;  // what GetColumns hands out
    QORUnicodeString text;
    int32_t type = 0;
    QORListValQORUnicodeString values;
  };

  // The columns chosen by the host, after the fixed ones.
  static HRESULT ReadChosenColumns(std::vector<std::string>& columns);
  void DescribeChosenColumns();
  // Index in _answers, -1 for a column the provider does not have. The generator describes
  // the columns in order, entity after entity, and asks for each one's value right after
  // its description: `expected` is compared first, and only a miss searches.
  int FindColumn(std::string_view name, std::size_t expected) const;
  int SearchColumn(std::string_view name) const;

  std::unique_ptr<ifc::Model> _pModel;
  // The fixed columns, then the chosen ones.
  std::vector<Answer> _answers;
  std::size_t _fixedCount = 0;
  std::size_t _described = 0;  // the column described last
  // "IfcWall" -> "IfcBuildingElement IfcElement ...", by type name as the model keeps it.
  std::unordered_map<std::string_view, std::string> _supertypes;
  std::string_view _lastType;  // and its entry above
  const std::string* _pLastSupertypes = nullptr;
};
