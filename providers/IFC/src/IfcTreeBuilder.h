// IfcTreeBuilder.h - builds the entity tree of an indexed IFC file (see IfcModel.h for the rules).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "IfcNode.h"
#include "IfcStepNames.h"

namespace ifc {

class FlatParams;

// Single use: construct over a StepFile, pass the builder as the sink of the file's index
// (StepIndexOptions::sink), then call Build once. The records the tree needs (listed entities,
// aggregation and containment) are decoded as the index passes them, while their bytes are in
// cache; Build then works from what was taken and reads only the few records placed by a
// relationship that were not taken. Everything is iterative, so deep or cyclic decompositions
// cost no stack.
class TreeBuilder : public StepRecordSink {
 public:
  struct Output {
    Table<Node>& nodes;
    Table<const Node*>& links;              // child lists, then the roots
    std::vector<std::string>& texts;        // storage the nodes' views point into
    Table<std::string_view>& descriptions;  // IfcRoot.Description, by node
    const Node* const*& roots;
    std::size_t& rootCount;
  };

  // With `hugeTables`, the tables filled while indexing take 2 MiB pages: far fewer
  // first-touch faults, for up to one such page a table left part filled until its stretch
  // is read, when what it did not use is handed back.
  explicit TreeBuilder(const StepFile& file, bool hugeTables = false)
      : _file(file), _hugeTables(hugeTables) {}
  // `indexDone` runs once the builder has looked everything up in the file's index, before
  // the tree is laid out: the caller releases the index there, so the two are never held
  // together.
  void Build(Output out, const std::function<void()>& indexDone = {});

  uint8_t Select(std::string_view upperType) const override;
  void Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
            std::string_view body) override;
  void Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) override;
  void Discard() override;

  static constexpr std::string_view kUnplacedName = "Unplaced elements";

  // Names in natural order: "Wall 9" < "Wall 10", case ignored, then plain bytes.
  static int NaturalCompare(std::string_view a, std::string_view b);
  // A key whose byte order is NaturalCompare's up to ties; sorting compares these.
  static std::string NaturalKey(std::string_view name);

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Tags Select gives.
  static constexpr uint8_t kTagListed = 1;  // a node even when nothing relates it
  static constexpr uint8_t kTagStorey = 2;  // has an elevation
  static constexpr uint8_t kTagAggregates = 4;
  static constexpr uint8_t kTagContained = 8;

  // A piece of text; offsets rather than views because the text grows while building. Each
  // stretch of the file keeps its own text (arena), so joining them copies nothing.
  struct TextRef {
    uint64_t offset = 0;
    uint32_t length = 0;
    uint32_t arena = 0;
  };

  struct Attributes {
    TextRef globalId;
    TextRef name;
    TextRef description;
    TextRef elevationText;
    double elevation = 0;
    bool hasElevation = false;
  };

  struct Listed {
    uint32_t slot = 0;
    StepEntry entry;
  };

  struct Relation {
    uint32_t slot = 0;
    uint32_t whole = 0;  // instance number
    uint32_t first = 0;  // its parts' instance numbers: parts[first .. first + count)
    uint32_t count = 0;
    uint8_t rank = 0;
  };

  // What one stretch of the index handed over, in file order. Slots are firstSlot + slot.
  struct Taken {
    Taken();
    ~Taken();
    Taken(Taken&&) noexcept;
    Taken& operator=(Taken&&) noexcept;

    std::string text;
    ChosenTable<Listed> listed;
    ChosenTable<Attributes> attributes;  // of listed[i]
    ChosenTable<Relation> relations;
    ChosenTable<uint32_t> parts;
    StepParameters params;
    std::unique_ptr<FlatParams> flat;  // the quick reader; params when it cannot tell
    uint32_t firstSlot = 0;

    // Hands back the pages of the tables' room past their end.
    void ReleaseRoom() const;
  };

  struct TypeInfo {
    std::string_view catalogName;  // static; empty when the name is derived into Build's text
    TextRef derivedName;
    uint32_t rank = 0;  // position of the name in alphabetical order, for sorting
    uint8_t roles = 0;
  };

  struct Work {
    StepEntry entry;    // a copy: the index is large, and read in no useful order from here
    uint32_t slot = 0;  // index entry; file order
    uint32_t parent = kNone;
    uint32_t attributes = kNone;  // in _segments[segment]; none for complex instances
    uint8_t segment = 0;
    uint8_t parentRank = 0;  // 0 none, 1 contained, 2 aggregated
    uint8_t roles = 0;
  };

  // Everything the sibling order looks at, flattened so a comparison touches one place.
  struct SortKey {
    uint32_t group = 0;  // spatial first, then those with an elevation
    uint32_t typeRank = 0;
    double elevation = 0;
    uint64_t prefix = 0;  // first bytes of the name key, big-endian
    uint64_t keyOffset = 0;
    uint32_t keyLength = 0;
    uint32_t slot = 0;
    bool unnamed = false;
    bool hasKey = false;  // prefix and key are made only for names that get sorted
  };

  // Sizes a stretch's tables from the file on its first record.
  void Reserve(Taken& taken) const;
  uint32_t NodeFor(uint32_t slot, const StepEntry& entry);
  const Attributes& AttributesOf(uint32_t node) const {
    const Work& w = _work[node];
    return w.attributes == kNone ? _none : _segments[w.segment].attributes[w.attributes];
  }
  static void ReadInto(const StepParameters& params, std::string& text, uint32_t arena,
                       Attributes& a, bool storey);
  void ClassifyTypes();
  void CollectRelations();
  void ReadAttributes();
  void BreakCycles();
  void ChooseRoots();
  void MakeSortKeys();
  void LayOutChildren();
  void MarkSpatialBelow();
  void Emit(Output& out) const;
  static TextRef Store(std::string& text, std::string_view raw, bool decode, uint32_t arena = 0);
  std::string_view View(const TextRef& ref) const {
    return std::string_view((*_pTexts)[ref.arena])
        .substr(static_cast<std::size_t>(ref.offset), ref.length);
  }
  std::string_view TypeNameOf(uint32_t code) const;
  void MakeNameKeys(Table<uint32_t>::const_iterator first, Table<uint32_t>::const_iterator last);
  static int CompareHeads(const SortKey& x, const SortKey& y);
  // The sibling order; needs the name keys of both.
  bool Before(uint32_t a, uint32_t b) const;
  // The same order between two of equal heads, from the names themselves.
  bool NamesBefore(uint32_t a, uint32_t b) const;
  void SortSiblings(Table<uint32_t>::iterator first, Table<uint32_t>::iterator last);

  const StepFile& _file;
  bool _hugeTables = false;
  Taken _taken[2];               // what threads 0 and 1 are filling
  std::vector<Taken> _segments;  // finished stretches in file order; then Build's own
  std::vector<std::string>* _pTexts = nullptr;  // the output's, by arena (= segment)
  std::vector<TypeInfo> _types;
  // CollectRelations' slot -> node: marks by slot, marks below each 64 slots, node by mark.
  Table<uint64_t> _slotMarks;
  Table<uint32_t> _marksBefore;
  Table<uint32_t> _nodeOfMark;
  Table<Work> _work;
  const Attributes _none;

  // The layout: children of node i are _order[_start[i] .. _start[i + 1]).
  uint32_t _group = kNone;  // index of the "Unplaced elements" node, when there is one
  uint32_t _total = 0;      // nodes including the group
  Table<uint32_t> _roots;
  Table<uint32_t> _start;
  Table<uint32_t> _order;
  Table<uint8_t> _spatialBelow;
  Table<SortKey> _keys;
  std::string _keyText;
  Table<uint64_t> _heads;  // SortSiblings' scratch
  Table<uint64_t> _scratch;
  Table<uint32_t> _nodes;
};

}  // namespace ifc
