// The committed sample house read end to end: the tree a user would see, and the attributes
// read on request.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "IfcModel.h"
#include "IfcTestSupport.h"

namespace {

using ifc::Model;
using ifc::NodeAttribute;
using ifctest::Find;

TEST(SampleHouse, TreeAndAttributes) {
  Model model;
  std::string error;
  ASSERT_TRUE(model.Open(ifctest::SamplePath(), error)) << error;
  // Storeys by elevation, spaces first, elements by type then name, unnamed ones by type and
  // number; the stair and the roof keep their parts, the sofa stays in its room.
  EXPECT_EQ(ifctest::Outline(model.Roots()), ifctest::ReadFile(ifctest::Tree("SampleHouse")));
  EXPECT_EQ(model.Header().name, "SampleHouse.ifc");
  // Every entity once, each with its own id; openings fill their hosts and are not listed.
  std::set<std::string> ids;
  for (const ifc::Node* n : ifctest::AllNodes(model.Roots())) {
    EXPECT_EQ(n->GlobalId().size(), 22u) << n->Label();
    EXPECT_NE(n->TypeName(), "IfcOpeningElement");
    ids.insert(std::string(n->GlobalId()));
  }
  EXPECT_EQ(ids.size(), model.NodeCount());

  const ifc::Node* door = Find(model, "Front Door");
  const ifc::Node* wall = Find(model, "Wall North");
  const ifc::Node* ground = Find(model, "Ground Floor");
  ASSERT_TRUE(door && wall && ground);
  EXPECT_EQ(door->TypeName(), "IfcDoor");
  EXPECT_EQ(ground->ElevationText(), "0.");
  EXPECT_EQ(model.Attribute(*door, NodeAttribute::Tag), "D01");
  EXPECT_EQ(model.Attribute(*door, NodeAttribute::LongName), "");
  EXPECT_EQ(model.Attribute(*wall, NodeAttribute::Description), "External wall");
  EXPECT_EQ(model.Attribute(*ground, NodeAttribute::LongName), "Entrance level");
  EXPECT_EQ(model.Attribute(*Find(model, "Bathroom"), NodeAttribute::LongName), "Bath");
  EXPECT_EQ(model.Attribute(*model.Roots()[0], NodeAttribute::LongName), "Sample House project");
}

}  // namespace
