// IfcPropertyIndex.h - the values of columns the user asks for (property sets, quantities,
// materials, classifications, layers, a few element attributes), gathered while the file
// is indexed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "IfcStepNames.h"

namespace ifc {

// Sits between the file's index and the tree builder as the one record sink: the tree's
// records go on to the tree, the records below are taken here, while their bytes are in
// cache. Resolve and Build, once the file is indexed, tie them to the entities:
//  - "Set.Property": IfcRelDefinesByProperties -> IfcPropertySet -> IfcPropertySingleValue
//    (also enumerated, bounded and list values, as text), or -> IfcElementQuantity ->
//    IfcQuantityLength/Area/Volume/Count/Weight/Time; then the same through the entity's type
//    (IfcRelDefinesByType, the type's HasPropertySets). The entity's own value wins.
//  - "Material": IfcRelAssociatesMaterial -> a material, a material list, a layer set or its
//    usage, a constituent set, a profile set or its usage: the material names in order.
//  - "Classification": IfcRelAssociatesClassification -> the reference's identification,
//    else its name.
//  - "Layer": IfcPresentationLayerAssignment names assigned to the entity's shape
//    representations or their items, mapped items followed to the representation they map;
//    without any, those of the representations its type maps (RepresentationMaps).
//  - "Tag", "ObjectType", "PredefinedType": the entity's own attributes.
// Material and classification fall back to the type's when the entity has none.
//
// A column named kEveryColumn asks for every column the file offers, for discovery.
// Attribute positions are the same in IFC2X3, IFC4 and IFC4X3 for everything read here.
class PropertyIndex : public StepRecordSink {
 public:
  enum class Kind : uint8_t { Text, Boolean, Number };
  enum class Source : uint8_t {
    Property,
    Material,
    Classification,
    Layer,
    Tag,
    ObjectType,
    PredefinedType
  };
  struct Column {
    std::string name;  // "Pset_WallCommon.IsExternal", "Material"
    Source source = Source::Property;
    Kind kind = Kind::Text;
    std::string unit;  // "mm", "m²"; empty when the model states none
  };

  static constexpr std::string_view kEveryColumn = "*";
  static constexpr std::string_view kNamedColumns[] = {
      "Material", "Classification", "Layer", "Tag", "ObjectType", "PredefinedType"};

  // `tree` receives the records it selects, as if it were the file's sink itself. Names that
  // are neither named columns nor "Set.Property" are ignored; a name given twice counts once.
  PropertyIndex(const StepFile& file, StepRecordSink& tree, std::span<const std::string> columns);
  ~PropertyIndex() override;

  uint8_t Select(std::string_view upperType) const override;
  void Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
            std::string_view body) override;
  void Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) override;
  void Discard() override;

  // Once the file is indexed: the last stretch read is put with the others, and the room
  // its tables did not use handed back, before the tree is built beside the index.
  void Indexed();
  // Once the file is indexed, before its index is released: what needs the index (units,
  // types, materials, classifications). `tree` is not used any more from here on.
  void Resolve();
  // After that, once the index and the tree builder's work are gone: the cells.
  void Build();

  // The columns in the order asked (for kEveryColumn, every one the file offers, as found).
  const std::vector<Column>& Columns() const { return _columns; }
  int ColumnIndex(std::string_view name) const;
  // The cell of an instance; empty when it has none.
  std::string_view Value(std::size_t column, uint32_t instance) const;
  // How many instances have a cell in the column.
  std::size_t CellCount(std::size_t column) const { return _cells[column].size(); }

  // 8 bytes: the values of a column repeat ("true", a material), so each text is kept once.
  struct Cell {
    uint32_t instance = 0;
    uint32_t text = 0;  // see Text; 0 is the empty text
  };
  // A column's cells by instance, for a reader that walks them all.
  std::span<const Cell> Cells(std::size_t column) const { return _cells[column]; }
  std::string_view Text(uint32_t text) const {
    return std::string_view(_textStore).substr(_texts[text].first, _texts[text].second);
  }

 private:
  struct Taken;
  // A candidate cell while building; the first by (column, instance, order) wins.
  struct Pending {
    uint32_t column = 0;
    uint32_t instance = 0;
    uint32_t order = 0;
    uint32_t segment = 0;  // whose text holds it; UINT32_MAX for _text
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  // What the values of a column are, to type it and find its unit.
  struct Stats {
    std::size_t booleans = 0, numbers = 0, texts = 0;
    uint32_t unit = 0;     // first explicit unit
    uint8_t unitKind = 0;  // first measure or quantity with a kind of unit
  };

  std::string_view ValueView(const Cell& c) const { return Text(c.text); }
  int AddColumn(std::string name, Source source);
  int NamedColumn(Source source);
  std::string_view PendingText(const Pending& p) const;
  void BuildProperties();
  void BuildAssociations();
  void BuildProducts();
  std::string UnitName(uint32_t unitId) const;
  std::string MaterialText(uint64_t id, int depth, int& budget) const;
  std::string ClassificationText(uint64_t id) const;
  // The representation an IfcRepresentationMap maps; 0 when the id is not one.
  uint32_t MappedRepresentation(uint32_t map) const;
  // A candidate into its column's table.
  void Put(const Pending& cell);
  void Finish();

  const StepFile& _file;
  StepRecordSink& _tree;
  bool _every = false;
  // Looked up for every value taken or cell made: by view, without making a string.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // What to take: property names and set names of the property columns; named sources.
  std::unordered_map<std::string, std::vector<std::pair<std::string, int>>, NameHash,
                     std::equal_to<>>
      _wantedProperties;
  std::unordered_set<std::string, NameHash, std::equal_to<>> _wantedSets;
  bool _wantMaterial = false, _wantClassification = false, _wantLayer = false;
  bool _wantTag = false, _wantObjectType = false, _wantPredefined = false;

  std::unique_ptr<Taken> _taken[2];
  std::vector<std::unique_ptr<Taken>> _segments;

  std::vector<Column> _columns;
  std::unordered_map<std::string, int, NameHash, std::equal_to<>> _columnByName;
  // The large tables take whole 2 MiB pages (Table): first touches of small pages cost more.
  std::vector<Table<Cell>> _cells;  // by column, sorted by instance
  // The candidates by column, in the order found: grouping them afterwards took a copy of all
  // of them in fresh memory, while the tree waited.
  std::vector<ChosenTable<Pending>> _pending;
  std::vector<Stats> _stats;
  std::string _text;                                  // texts made while building
  std::string _textStore;                             // the cells' distinct texts
  std::vector<std::pair<uint32_t, uint32_t>> _texts;  // (offset, length) in _textStore
  mutable StepParameters _params;
  // What Resolve found.
  std::unordered_map<uint8_t, std::string> _unitByKind;  // the project's units
  std::unordered_map<uint32_t, std::string> _unitNames;  // units given explicitly
  std::vector<uint64_t> _typeOf;                         // (object, type), sorted
  std::vector<uint64_t> _typeSets;                       // (type, set): HasPropertySets
  std::vector<uint64_t> _typeMaps;  // (type, mapped representation): RepresentationMaps, sorted
  std::unordered_map<uint32_t, Pending> _relating;  // material or classification text
};

}  // namespace ifc
