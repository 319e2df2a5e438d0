// IfcTypeCatalog.h - what the tree needs to know about IFC entity types, by file keyword.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ifc {

// A fixed table of the common IFC2X3 / IFC4 / IFC4X3 entity names that can appear in the
// tree: their usual capitalisation and a few roles. Keywords not in the table get a
// derived name ("IFCFOOBAR" -> "IfcFoobar") and no role.
class TypeCatalog {
 public:
  enum Role : uint8_t {
    kSpatial = 1 << 0,  // IfcSpatialElement subtypes: site, building, storey, space, ...
    kElement = 1 << 1,  // IfcElement subtypes worth listing when not placed anywhere
    kContext = 1 << 2,  // IfcProject, IfcProjectLibrary: tree roots
    kFeature = 1 << 3,  // openings and other features: live on their host, never listed
    kStorey = 1 << 4,   // has an Elevation attribute
  };

  struct Info {
    std::string_view name;  // usual capitalisation; points into static storage when known
    uint8_t roles = 0;
    bool known = false;
  };

  // `upperKeyword` as written in DATA, upper-cased ("IFCWALLSTANDARDCASE").
  static Info Lookup(std::string_view upperKeyword);
  // The name for a keyword the table does not know.
  static std::string DerivedName(std::string_view upperKeyword);
  // The types `name` is a kind of, nearest first, separated by blanks ("IfcWall
  // IfcBuildingElement IfcElement IfcProduct" for IfcWallStandardCase); "" when the
  // table does not know the type's place. A filter by type then finds its subtypes.
  static std::string Supertypes(std::string_view name);
};

}  // namespace ifc
