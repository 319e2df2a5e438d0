// The committed sample house read end to end: the tree a user would see.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "IfcModel.h"

namespace {

using ifc::Model;
using ifc::Node;
using ifc::NodeAttribute;

// From the build, not from __FILE__: a compiler cache may make that path relative.
std::string SamplePath() {
  return std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
}

std::vector<std::string> Labels(std::span<const Node* const> nodes) {
  std::vector<std::string> out;
  for (const Node* n : nodes) out.push_back(n->Label());
  return out;
}

const Node* Child(const Node* parent, const std::string& label) {
  for (const Node* c : parent->Children()) {
    if (c->Label() == label) return c;
  }
  ADD_FAILURE() << "no child '" << label << "' under '" << parent->Label() << "'";
  return nullptr;
}

class SampleHouse : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    _pModel = new Model();
    std::string error;
    ASSERT_TRUE(_pModel->Open(SamplePath(), error)) << error;
  }
  static void TearDownTestSuite() {
    delete _pModel;
    _pModel = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(_pModel, nullptr);
    ASSERT_EQ(_pModel->Roots().size(), 1u);
    const Node* project = _pModel->Roots()[0];
    ASSERT_EQ(project->Label(), "Sample House");
    ASSERT_EQ(project->Children().size(), 1u);
    const Node* site = project->Children()[0];
    ASSERT_EQ(site->Children().size(), 1u);
    _pBuilding = site->Children()[0];
    ASSERT_EQ(Labels(_pBuilding->Children()),
              (std::vector<std::string>{"Ground Floor", "First Floor", "Roof Level"}));
    _pGround = _pBuilding->Children()[0];
    _pFirst = _pBuilding->Children()[1];
    _pRoof = _pBuilding->Children()[2];
  }

  static Model* _pModel;
  const Node* _pBuilding = nullptr;
  const Node* _pGround = nullptr;
  const Node* _pFirst = nullptr;
  const Node* _pRoof = nullptr;
};

Model* SampleHouse::_pModel = nullptr;

TEST_F(SampleHouse, HeaderAndSchema) {
  EXPECT_EQ(_pModel->SchemaName(), "IFC4");
  EXPECT_EQ(_pModel->Schema(), ifc::SchemaVersion::Ifc4);
  EXPECT_EQ(_pModel->Header().name, "SampleHouse.ifc");
  ASSERT_EQ(_pModel->Header().description.size(), 1u);
  EXPECT_EQ(_pModel->Header().description[0], "ViewDefinition [ReferenceView]");
}

TEST_F(SampleHouse, SpatialStructure) {
  const Node* project = _pModel->Roots()[0];
  EXPECT_EQ(project->TypeName(), "IfcProject");
  EXPECT_EQ(project->GlobalId().size(), 22u);
  const Node* site = project->Children()[0];
  EXPECT_EQ(site->Label(), "Default Site");
  EXPECT_EQ(site->TypeName(), "IfcSite");
  EXPECT_EQ(_pBuilding->TypeName(), "IfcBuilding");

  EXPECT_EQ(_pGround->ElevationText(), "0.");
  EXPECT_EQ(_pFirst->ElevationText(), "3000.");
  EXPECT_EQ(_pRoof->ElevationText(), "6000.");
  for (const Node* storey : _pBuilding->Children()) {
    EXPECT_EQ(storey->TypeName(), "IfcBuildingStorey");
    EXPECT_EQ(storey->Parent(), _pBuilding);
  }
}

TEST_F(SampleHouse, StoreyContents) {
  EXPECT_EQ(
      Labels(_pGround->Children()),
      (std::vector<std::string>{"Hall",
                                "K\xC3\xBC"
                                "che",
                                "Living Room", "Front Door", "Kitchen Door", "Ground Slab",
                                "Main Stair", "Partition", "Wall East", "Wall North", "Wall South",
                                "Wall West", "Window Living Room", "IfcWindow #220"}));
  EXPECT_EQ(Labels(_pFirst->Children()),
            (std::vector<std::string>{"Bathroom", "Bedroom 2", "Bedroom 10", "Bathroom Door",
                                      "First Floor Slab", "Upper Wall East", "Upper Wall North",
                                      "Upper Wall South", "Upper Wall West", "IfcWall #152",
                                      "Window Bedroom", "IfcWindow #254"}));
  EXPECT_EQ(Labels(_pRoof->Children()), (std::vector<std::string>{"Roof"}));
}

TEST_F(SampleHouse, DecompositionsAndRoomContents) {
  const Node* roof = Child(_pRoof, "Roof");
  ASSERT_NE(roof, nullptr);
  EXPECT_EQ(roof->TypeName(), "IfcRoof");
  EXPECT_EQ(Labels(roof->Children()),
            (std::vector<std::string>{"Roof Slab North", "Roof Slab South"}));
  for (const Node* slab : roof->Children()) EXPECT_EQ(slab->TypeName(), "IfcSlab");

  const Node* stair = Child(_pGround, "Main Stair");
  ASSERT_NE(stair, nullptr);
  EXPECT_EQ(Labels(stair->Children()),
            (std::vector<std::string>{"Lower Flight", "IfcStairFlight #279"}));

  const Node* living = Child(_pGround, "Living Room");
  ASSERT_NE(living, nullptr);
  EXPECT_EQ(Labels(living->Children()), (std::vector<std::string>{"Sofa"}));
}

TEST_F(SampleHouse, UnnamedElementsAndEncodedName) {
  const Node* window = Child(_pGround, "IfcWindow #220");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->Name().empty());
  EXPECT_EQ(window->TypeName(), "IfcWindow");
  EXPECT_EQ(window->InstanceNumber(), 220u);
  EXPECT_FALSE(window->GlobalId().empty());

  const Node* kitchen = Child(_pGround,
                              "K\xC3\xBC"
                              "che");
  ASSERT_NE(kitchen, nullptr);
  EXPECT_EQ(kitchen->TypeName(), "IfcSpace");
}

TEST_F(SampleHouse, SpatialFlags) {
  EXPECT_FALSE(_pModel->Roots()[0]->IsSpatial());
  EXPECT_FALSE(_pBuilding->IsLatestSpatial());
  EXPECT_FALSE(_pGround->IsLatestSpatial());
  EXPECT_FALSE(_pFirst->IsLatestSpatial());
  EXPECT_TRUE(_pRoof->IsLatestSpatial());  // holds elements only
  for (const Node* storey : {_pGround, _pFirst}) {
    for (const Node* c : storey->Children()) {
      EXPECT_EQ(c->IsSpatial(), c->TypeName() == "IfcSpace") << c->Label();
      EXPECT_EQ(c->IsLatestSpatial(), c->TypeName() == "IfcSpace") << c->Label();
    }
  }
}

TEST_F(SampleHouse, EveryEntityOnceWithAUniqueGlobalId) {
  std::vector<const Node*> all(_pModel->Roots().begin(), _pModel->Roots().end());
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (const Node* c : all[i]->Children()) {
      EXPECT_EQ(c->Parent(), all[i]);
      all.push_back(c);
    }
  }
  EXPECT_EQ(all.size(), _pModel->NodeCount());
  EXPECT_EQ(all.size(), 38u);
  std::set<std::string> ids;
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  for (const Node* n : all) {
    const std::string gid(n->GlobalId());
    EXPECT_EQ(gid.size(), 22u) << n->Label();
    EXPECT_EQ(gid.find_first_not_of(alphabet), std::string::npos) << gid;
    EXPECT_LE(gid[0], '3') << gid;
    ids.insert(gid);
    // Openings fill their hosts through other relationships and are not listed.
    EXPECT_NE(n->TypeName(), "IfcOpeningElement");
  }
  EXPECT_EQ(ids.size(), all.size());
}

TEST_F(SampleHouse, AttributesReadOnRequest) {
  const Node* door = Child(_pGround, "Front Door");
  ASSERT_NE(door, nullptr);
  EXPECT_EQ(_pModel->Attribute(*door, NodeAttribute::Tag), "D01");
  EXPECT_EQ(_pModel->Attribute(*door, NodeAttribute::LongName), "");
  const Node* wall = Child(_pGround, "Wall North");
  ASSERT_NE(wall, nullptr);
  EXPECT_EQ(_pModel->Attribute(*wall, NodeAttribute::Description), "External wall");
  EXPECT_EQ(_pModel->Attribute(*wall, NodeAttribute::ObjectType), "");
  EXPECT_EQ(_pModel->Attribute(*_pGround, NodeAttribute::LongName), "Entrance level");
  EXPECT_EQ(_pModel->Attribute(*Child(_pFirst, "Bathroom"), NodeAttribute::LongName), "Bath");
  EXPECT_EQ(_pModel->Attribute(*_pModel->Roots()[0], NodeAttribute::LongName),
            "Sample House project");
  EXPECT_EQ(_pModel->Attribute(*_pGround, NodeAttribute::Tag), "");
}

TEST(SampleHouseDamaged, EveryCutIsRejected) {
  std::ifstream in(SamplePath(), std::ios::binary);
  ASSERT_TRUE(in);
  const std::string full((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t complete = full.rfind("END-ISO-10303-21") + 16;
  ASSERT_GT(complete, 1000u);
  std::vector<char> bytes;
  Model model;
  std::string error;
  for (std::size_t cut = 13; cut < complete; cut += (cut + 400 > complete ? 1 : 7)) {
    bytes.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    ASSERT_FALSE(model.OpenBuffer(std::string_view(bytes.data(), bytes.size()), error))
        << "cut at " << cut;
    EXPECT_EQ(error.rfind("truncated file", 0), 0u) << "cut at " << cut << ": " << error;
  }
  bytes.assign(full.begin(), full.end());
  EXPECT_TRUE(model.OpenBuffer(std::string_view(bytes.data(), bytes.size()), error)) << error;
}

}  // namespace
