// IfcTreeBuilder.h - builds the entity tree of an indexed IFC file (see IfcModel.h for the rules).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "IfcNode.h"
#include "IfcStepFile.h"

namespace ifc {

// Single use: construct over an indexed file, call Build once. Everything is iterative, so
// deep or cyclic decompositions cost no stack.
class TreeBuilder {
 public:
  struct Output {
    std::vector<Node>& nodes;
    std::vector<const Node*>& links;  // child lists, then the roots
    std::string& text;                // storage the nodes' views point into
    const Node* const*& roots;
    std::size_t& rootCount;
  };

  explicit TreeBuilder(const StepFile& file) : file_(file) {}
  void Build(Output out);

  static constexpr std::string_view kUnplacedName = "Unplaced elements";

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  // A piece of text_; offsets rather than views because text_ grows while building.
  struct TextRef {
    uint64_t offset = 0;
    uint32_t length = 0;
  };

  struct TypeInfo {
    std::string_view catalogName;  // static; empty when the name is derived into text_
    TextRef derivedName;
    uint32_t rank = 0;  // position of the name in alphabetical order, for sorting
    uint8_t roles = 0;
  };

  struct Work {
    uint32_t slot = 0;  // index entry; file order
    uint32_t parent = kNone;
    uint8_t parentRank = 0;  // 0 none, 1 contained, 2 aggregated
    uint8_t roles = 0;
    bool hasElevation = false;
    double elevation = 0;
    TextRef globalId;
    TextRef name;
    TextRef elevationText;
    uint32_t typeCode = 0;
  };

  uint32_t NodeFor(uint32_t slot);
  void ClassifyTypes();
  void CollectRelations();
  void ReadAttributes();
  void BreakCycles();
  void ChooseRoots();
  void LayOutChildren();
  void MarkSpatialBelow();
  void Emit(Output& out) const;
  TextRef Store(std::string_view raw, bool decode);
  std::string_view View(const TextRef& ref) const;
  std::string_view TypeNameOf(uint32_t code) const;
  bool Before(uint32_t a, uint32_t b) const;

  const StepFile& file_;
  std::string* text_ = nullptr;  // the output's text; it never moves once built
  std::vector<TypeInfo> types_;
  std::vector<uint32_t> nodeOfSlot_;
  std::vector<Work> work_;

  // The layout: children of node i are order_[start_[i] .. start_[i + 1]).
  uint32_t group_ = kNone;  // index of the "Unplaced elements" node, when there is one
  uint32_t total_ = 0;      // nodes including the group
  std::vector<uint32_t> roots_;
  std::vector<uint32_t> start_;
  std::vector<uint32_t> order_;
  std::vector<uint8_t> spatialBelow_;
};

}  // namespace ifc
