// Entity type names and roles as the tree shows and uses them.
#include <gtest/gtest.h>

#include <string>

#include "IfcTypeCatalog.h"

namespace {

using ifc::TypeCatalog;

TEST(TypeCatalog, NamesRolesAndSupertypes) {
  const std::pair<const char*, const char*> known[] = {
      {"IFCBUILDINGSTOREY", "IfcBuildingStorey"},
      {"IFCRELCONTAINEDINSPATIALSTRUCTURE", "IfcRelContainedInSpatialStructure"},
      {"IFCSIUNIT", "IfcSIUnit"},
      {"IFCAXIS2PLACEMENT3D", "IfcAxis2Placement3D"},
      {"IFCROADPART", "IfcRoadPart"}};
  for (const auto& [keyword, name] : known) {
    EXPECT_TRUE(TypeCatalog::Lookup(keyword).known) << keyword;
    EXPECT_EQ(TypeCatalog::Lookup(keyword).name, name);
  }
  // Keywords arrive upper-cased; the others get a name derived from the keyword.
  EXPECT_FALSE(TypeCatalog::Lookup("IfcWall").known);
  EXPECT_FALSE(TypeCatalog::Lookup("IFCFUTURETHING").known);
  EXPECT_EQ(TypeCatalog::DerivedName("IFCFUTURETHING"), "IfcFuturething");
  EXPECT_EQ(TypeCatalog::DerivedName("MY_OWN_ENTITY"), "My_Own_Entity");
  EXPECT_EQ(TypeCatalog::DerivedName("IFC2DTHING"), "Ifc2dthing");
  EXPECT_EQ(TypeCatalog::DerivedName(""), "");

  const std::pair<const char*, int> roles[] = {
      {"IFCSITE", TypeCatalog::kSpatial},
      {"IFCSPACE", TypeCatalog::kSpatial},
      {"IFCEXTERNALSPATIALELEMENT", TypeCatalog::kSpatial},
      {"IFCBRIDGEPART", TypeCatalog::kSpatial},
      {"IFCBUILDINGSTOREY", TypeCatalog::kSpatial | TypeCatalog::kStorey},
      {"IFCWALL", TypeCatalog::kElement},
      {"IFCSTAIRFLIGHT", TypeCatalog::kElement},
      {"IFCPIPESEGMENT", TypeCatalog::kElement},
      {"IFCBUILDINGELEMENTPROXY", TypeCatalog::kElement},
      {"IFCPROJECT", TypeCatalog::kContext},
      {"IFCOPENINGELEMENT", TypeCatalog::kFeature},
      {"IFCANNOTATION", 0},
      {"IFCPROPERTYSET", 0}};
  for (const auto& [keyword, role] : roles)
    EXPECT_EQ(TypeCatalog::Lookup(keyword).roles, role) << keyword;

  EXPECT_EQ(TypeCatalog::Supertypes("IfcWallStandardCase"),
            "IfcWall IfcBuildingElement IfcElement IfcProduct");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcBuildingStorey"),
            "IfcSpatialStructureElement IfcSpatialElement IfcProduct");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcProduct"), "");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcSomethingNew"), "");
}

}  // namespace
