// Entity type names and roles as the tree shows and uses them.
#include <gtest/gtest.h>

#include <string>

#include "IfcTypeCatalog.h"

namespace {

using ifc::TypeCatalog;

TEST(TypeCatalog, UsualCapitalisation) {
  const std::pair<const char*, const char*> cases[] = {
      {"IFCPROJECT", "IfcProject"},
      {"IFCBUILDINGSTOREY", "IfcBuildingStorey"},
      {"IFCWALLSTANDARDCASE", "IfcWallStandardCase"},
      {"IFCRELCONTAINEDINSPATIALSTRUCTURE", "IfcRelContainedInSpatialStructure"},
      {"IFCFLOWTERMINAL", "IfcFlowTerminal"},
      {"IFCSIUNIT", "IfcSIUnit"},
      {"IFCAXIS2PLACEMENT3D", "IfcAxis2Placement3D"},
      {"IFCROADPART", "IfcRoadPart"},
  };
  for (const auto& [keyword, name] : cases) {
    const auto info = TypeCatalog::Lookup(keyword);
    EXPECT_TRUE(info.known) << keyword;
    EXPECT_EQ(info.name, name);
  }
}

TEST(TypeCatalog, UnknownKeywordsGetADerivedName) {
  EXPECT_FALSE(TypeCatalog::Lookup("IFCFUTURETHING").known);
  EXPECT_FALSE(TypeCatalog::Lookup("IfcWall").known);  // keywords arrive upper-cased
  EXPECT_EQ(TypeCatalog::DerivedName("IFCFUTURETHING"), "IfcFuturething");
  EXPECT_EQ(TypeCatalog::DerivedName("MY_OWN_ENTITY"), "My_Own_Entity");
  EXPECT_EQ(TypeCatalog::DerivedName("IFC"), "Ifc");
  EXPECT_EQ(TypeCatalog::DerivedName("IFC2DTHING"), "Ifc2dthing");
  EXPECT_EQ(TypeCatalog::DerivedName(""), "");
}

TEST(TypeCatalog, Roles) {
  auto roles = [](const char* keyword) { return TypeCatalog::Lookup(keyword).roles; };
  for (const char* spatial : {"IFCSITE", "IFCBUILDING", "IFCBUILDINGSTOREY", "IFCSPACE",
                              "IFCEXTERNALSPATIALELEMENT", "IFCFACILITY", "IFCBRIDGEPART"}) {
    EXPECT_TRUE(roles(spatial) & TypeCatalog::kSpatial) << spatial;
    EXPECT_FALSE(roles(spatial) & TypeCatalog::kElement) << spatial;
  }
  EXPECT_TRUE(roles("IFCBUILDINGSTOREY") & TypeCatalog::kStorey);
  EXPECT_FALSE(roles("IFCSPACE") & TypeCatalog::kStorey);
  for (const char* element : {"IFCWALL", "IFCDOOR", "IFCWINDOW", "IFCROOF", "IFCSTAIRFLIGHT",
                              "IFCFURNITURE", "IFCPIPESEGMENT", "IFCBUILDINGELEMENTPROXY"}) {
    EXPECT_EQ(roles(element), TypeCatalog::kElement) << element;
  }
  EXPECT_EQ(roles("IFCPROJECT"), TypeCatalog::kContext);
  EXPECT_EQ(roles("IFCOPENINGELEMENT"), TypeCatalog::kFeature);
  EXPECT_EQ(roles("IFCANNOTATION"), 0);
  EXPECT_EQ(roles("IFCPROPERTYSET"), 0);
}

TEST(TypeCatalog, SupertypesLeadFromAStandardCaseToTheProduct) {
  EXPECT_EQ(TypeCatalog::Supertypes("IfcWallStandardCase"),
            "IfcWall IfcBuildingElement IfcElement IfcProduct");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcFurniture"), "IfcFurnishingElement IfcElement IfcProduct");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcBuildingStorey"),
            "IfcSpatialStructureElement IfcSpatialElement IfcProduct");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcProduct"), "");
  EXPECT_EQ(TypeCatalog::Supertypes("IfcSomethingNew"), "");
}

}  // namespace
