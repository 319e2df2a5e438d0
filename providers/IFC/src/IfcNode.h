// IfcNode.h - one entity of the building-model tree, as an ifc::Model hands it out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ifc {

// Nodes are owned by their Model; a `const Node*` is a stable handle while the Model lives
// (until it is closed or reopened). All text is UTF-8 and decoded.
class Node {
 public:
  uint32_t InstanceNumber() const { return _instance; }  // #n in the file; 0 when synthetic
  std::string_view GlobalId() const { return _globalId; }
  std::string_view Name() const { return _name; }  // empty when unset
  // Usual IFC capitalisation ("IfcBuildingStorey"); empty for the synthetic group.
  std::string_view TypeName() const { return _typeName; }
  // Storey elevation as written in the file ("3000."), in file length units; empty when
  // the entity has none.
  std::string_view ElevationText() const { return _elevationText; }
  bool HasElevation() const { return !_elevationText.empty(); }
  double Elevation() const { return _elevation; }

  bool IsSpatial() const { return (_flags & kSpatialFlag) != 0; }
  // Spatial, and no spatial entity anywhere below it.
  bool IsLatestSpatial() const { return (_flags & kLatestSpatialFlag) != 0; }
  // The "Unplaced elements" group, which has no instance in the file.
  bool IsSynthetic() const { return (_flags & kSyntheticFlag) != 0; }

  const Node* Parent() const { return _pParent; }
  std::span<const Node* const> Children() const { return {_pChildren, _childCount}; }

  // Name, or "TypeName #n" for an unnamed entity.
  std::string Label() const;

 private:
  friend class TreeBuilder;
  friend class Model;

  static constexpr uint8_t kSpatialFlag = 1;
  static constexpr uint8_t kLatestSpatialFlag = 2;
  static constexpr uint8_t kSyntheticFlag = 4;
  static constexpr uint8_t kComplexFlag = 8;

  std::string_view _globalId;
  std::string_view _name;
  std::string_view _typeName;
  std::string_view _elevationText;
  double _elevation = 0;
  const Node* _pParent = nullptr;
  const Node* const* _pChildren = nullptr;
  uint32_t _childCount = 0;
  uint32_t _instance = 0;
  uint64_t _recordOffset = 0;  // where the parameters are, for attributes read on request
  uint32_t _recordLength = 0;
  uint8_t _flags = 0;
  uint8_t _roles = 0;  // TypeCatalog roles
};

}  // namespace ifc
