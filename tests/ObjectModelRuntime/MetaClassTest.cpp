// Meta classes: names, kinds, parent chains, and their lazy creation.
#include <gtest/gtest.h>

#include "ObjectModelRuntime/LocalObjects.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

struct OrderParent : LocalClass<OrderParent> {
  static constexpr const char* kName = "OrderParent";
};
struct OrderChild : LocalClass<OrderChild, OrderParent> {
  static constexpr const char* kName = "OrderChild";
};

TEST(MetaClass, ParentIsCreatedOnceBeforeItsChildWhenTheChildIsAskedFirst) {
  using zqy::internal::MetaObjectCreationCount;
  ASSERT_EQ(MetaObjectCreationCount("OrderParent"), 0);
  const QORMetaClass* child = OrderChild::MetaObject();
  ASSERT_NE(child->GetParent(), nullptr);
  EXPECT_STREQ(child->GetParent()->GetName(), "OrderParent");
  EXPECT_EQ(OrderParent::MetaObject(), child->GetParent());
  EXPECT_EQ(OrderChild::MetaObject(), child);
  EXPECT_EQ(MetaObjectCreationCount("OrderParent"), 1);
  EXPECT_EQ(MetaObjectCreationCount("OrderChild"), 1);

  const QORMetaClass* root = QORBaseUnknown::MetaObject();
  EXPECT_EQ(child->GetParent()->GetParent(), root);
  EXPECT_EQ(root->GetParent(), nullptr);
  EXPECT_EQ(root->IsAKindOf("QORBaseUnknown"), 1);
  EXPECT_EQ(root->IsAKindOf("OrderParent"), 0);
  EXPECT_EQ(root->IsAKindOf(nullptr), 0);
}

using PluginMetaClass = TestPluginTest;

TEST_F(PluginMetaClass, ComponentAndTieMetasNameTheirClassesAndKinship) {
  QORBaseUnknown* leaf = Instantiate(kLeaf, IID_QORBaseUnknown);
  QORBaseUnknown* base = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(leaf, nullptr);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(leaf->GetMetaObject()->GetTypeOfClass(), QORMetaClass::kComponent);
  const QORMetaClass* m = leaf->GetMetaObject();
  for (const char* name : {kLeaf, kMiddle, kBase, "QORBaseUnknown"}) {
    ASSERT_NE(m, nullptr) << "chain ends before " << name;
    EXPECT_STREQ(m->GetName(), name);
    EXPECT_EQ(leaf->IsAKindOf(name), 1) << name;
    m = m->GetParent();
  }
  EXPECT_EQ(m, nullptr);
  // Kinship runs up the chain only, never down or sideways.
  for (const char* name : {kLeaf, kMiddle, "TPBase"}) EXPECT_EQ(base->IsAKindOf(name), 0) << name;

  auto* filter = Query<QORIResolvedInputFilter>(base, IID_QORIResolvedInputFilter);
  auto* second = Query<QORIResolvedInputFilter>(base, IID_QORIResolvedInputFilter);
  const QORMetaClass* tie = filter->GetMetaObject();
  EXPECT_NE(second, filter);
  EXPECT_EQ(second->GetMetaObject(), tie);  // one TIE meta class for the pair
  EXPECT_EQ(tie->GetTypeOfClass(), QORMetaClass::kTie);
  EXPECT_STREQ(tie->GetName(), "QORIResolvedInputFilter");
  EXPECT_EQ(tie->GetImplementationMeta(), base->GetMetaObject());
  EXPECT_EQ(tie->GetInterfaceMeta(), QORIResolvedInputFilter::MetaObject());
  EXPECT_EQ(filter->IsAKindOf(kBase), 0);  // a TIE is of its interface's kin

  // A class without a TIE of its own is served by its nearest parent's: TPMiddleComponent's
  // for the probe (although TPBaseComponent binds it too), TPBaseComponent's for the filter.
  const ClassCounts leaves = Counts(kLeaf), baseTies = Counts(kTieProbeBase);
  auto* probe = Query<QORITestProbe>(leaf, IID_QORITestProbe);
  auto* leafFilter = Query<QORIResolvedInputFilter>(leaf, IID_QORIResolvedInputFilter);
  EXPECT_STREQ(probe->GetMetaObject()->GetImplementationMeta()->GetName(), kMiddle);
  EXPECT_STREQ(leafFilter->GetMetaObject()->GetImplementationMeta()->GetName(), kBase);
  EXPECT_STREQ(probe->ImplementationClass(), kLeaf);
  EXPECT_EQ(Counts(kTieProbeBase), baseTies);
  leaf->Release();
  leafFilter->Release();
  EXPECT_EQ(Counts(kLeaf), leaves);
  probe->Release();
  EXPECT_EQ(Counts(kLeaf), Plus(leaves, 0, 1));

  for (QORBaseUnknown* o :
       {static_cast<QORBaseUnknown*>(second), static_cast<QORBaseUnknown*>(filter), base})
    o->Release();
}

}  // namespace
