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
  uint32_t InstanceNumber() const { return instance_; }  // #n in the file; 0 when synthetic
  std::string_view GlobalId() const { return globalId_; }
  std::string_view Name() const { return name_; }  // empty when unset
  // Usual IFC capitalisation ("IfcBuildingStorey"); empty for the synthetic group.
  std::string_view TypeName() const { return typeName_; }
  // Storey elevation as written in the file ("3000."), in file length units; empty when
  // the entity has none.
  std::string_view ElevationText() const { return elevationText_; }
  bool HasElevation() const { return !elevationText_.empty(); }
  double Elevation() const { return elevation_; }

  bool IsSpatial() const { return (flags_ & kSpatialFlag) != 0; }
  // Spatial, and no spatial entity anywhere below it.
  bool IsLatestSpatial() const { return (flags_ & kLatestSpatialFlag) != 0; }
  // The "Unplaced elements" group, which has no instance in the file.
  bool IsSynthetic() const { return (flags_ & kSyntheticFlag) != 0; }

  const Node* Parent() const { return parent_; }
  std::span<const Node* const> Children() const { return {children_, childCount_}; }

  // Name, or "TypeName #n" for an unnamed entity.
  std::string Label() const;

 private:
  friend class TreeBuilder;
  friend class Model;

  static constexpr uint8_t kSpatialFlag = 1;
  static constexpr uint8_t kLatestSpatialFlag = 2;
  static constexpr uint8_t kSyntheticFlag = 4;
  static constexpr uint8_t kComplexFlag = 8;

  std::string_view globalId_;
  std::string_view name_;
  std::string_view typeName_;
  std::string_view elevationText_;
  double elevation_ = 0;
  const Node* parent_ = nullptr;
  const Node* const* children_ = nullptr;
  uint32_t childCount_ = 0;
  uint32_t instance_ = 0;
  uint64_t recordOffset_ = 0;  // where the parameters are, for attributes read on request
  uint32_t recordLength_ = 0;
  uint8_t flags_ = 0;
  uint8_t roles_ = 0;  // TypeCatalog roles
};

}  // namespace ifc
