// Meta classes: names, kinds, parent chains, and their lazy creation.
#include <gtest/gtest.h>

#include <atomic>

#include "InputFilteringInterfaces/QORIResolvedInputFilter.h"
#include "ObjectModelRuntime/QORMetaClass.h"
#include "ObjectModelRuntime/TestPluginAccess.h"

namespace {

// Classes of the test program whose meta classes no other test asks for, so that
// their creation can be watched from the start.
class OrderParent : public QORBaseUnknown {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(
        s_meta, "OrderParent", &QORBaseUnknown::MetaObject, "MetaClassTest", sizeof(OrderParent));
  }
};

class OrderChild : public OrderParent {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, "OrderChild", &OrderParent::MetaObject,
                                                  "MetaClassTest", sizeof(OrderChild));
  }
};

TEST(MetaClass, ParentIsCreatedBeforeItsChildWhenTheChildIsAskedFirst) {
  ASSERT_EQ(zqy::internal::MetaObjectCreationCount("OrderParent"), 0);
  ASSERT_EQ(zqy::internal::MetaObjectCreationCount("OrderChild"), 0);

  const QORMetaClass* child = OrderChild::MetaObject();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("OrderParent"), 1);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("OrderChild"), 1);
  ASSERT_NE(child->GetParent(), nullptr);
  EXPECT_STREQ(child->GetParent()->GetName(), "OrderParent");

  // Asked afterwards, the parent is the one the child already points at.
  EXPECT_EQ(OrderParent::MetaObject(), child->GetParent());
  EXPECT_EQ(OrderChild::MetaObject(), child);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("OrderParent"), 1);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("OrderChild"), 1);
}

TEST(MetaClass, EachCallToRetrieveMetaObjectCreatesAndCountsANewMetaClass) {
  const int before = zqy::internal::MetaObjectCreationCount("TwiceMadeClass");
  const QORMetaClass* a = zqy::internal::fct_RetrieveMetaObject(
      "TwiceMadeClass", QORMetaClass::kComponent, nullptr, "QORNull", "MetaClassTest", 8);
  const QORMetaClass* b = zqy::internal::fct_RetrieveMetaObject(
      "TwiceMadeClass", QORMetaClass::kComponent, nullptr, "QORNull", "MetaClassTest", 8);
  EXPECT_NE(a, b);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("TwiceMadeClass"), before + 2);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount("NeverMadeClass"), 0);
  // Same name, same class identifier.
  EXPECT_EQ(a->GetClassId(), b->GetClassId());
  EXPECT_EQ(a->GetObjectSize(), 8u);
  EXPECT_STREQ(a->GetExtensionName(), "QORNull");
}

TEST(MetaClass, BaseUnknownIsTheRootOfEveryChain) {
  const QORMetaClass* root = QORBaseUnknown::MetaObject();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(QORBaseUnknown::MetaObject(), root);
  EXPECT_STREQ(root->GetName(), "QORBaseUnknown");
  EXPECT_EQ(root->GetParent(), nullptr);
  EXPECT_EQ(root->GetTypeOfClass(), QORMetaClass::kComponent);
  EXPECT_EQ(root->IsAKindOf("QORBaseUnknown"), 1);
  EXPECT_EQ(root->IsAKindOf("OrderParent"), 0);
  EXPECT_EQ(root->IsAKindOf(nullptr), 0);
}

using PluginMetaClass = TestPluginTest;

TEST_F(PluginMetaClass, ComponentMetaNamesItsClassFrameworkAndParentChain) {
  QORBaseUnknown* leaf = Instantiate(kLeaf, IID_QORBaseUnknown);
  ASSERT_NE(leaf, nullptr);
  const QORMetaClass* meta = leaf->GetMetaObject();
  EXPECT_STREQ(leaf->IsA(), kLeaf);
  EXPECT_STREQ(meta->GetName(), kLeaf);
  EXPECT_EQ(meta->GetTypeOfClass(), QORMetaClass::kComponent);
  EXPECT_STREQ(meta->GetFrameworkName(), "QORTestPlugin");

  const char* const chain[] = {kLeaf, kMiddle, kBase, "QORBaseUnknown"};
  const QORMetaClass* m = meta;
  for (const char* name : chain) {
    ASSERT_NE(m, nullptr) << "chain ends before " << name;
    EXPECT_STREQ(m->GetName(), name);
    EXPECT_EQ(leaf->IsAKindOf(name), 1) << name;
    m = m->GetParent();
  }
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(QORBaseUnknown::MetaObject(), meta->GetParent()->GetParent()->GetParent());

  // Kinship runs up the chain only, never down or sideways.
  QORBaseUnknown* base = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->IsAKindOf(kLeaf), 0);
  EXPECT_EQ(base->IsAKindOf(kMiddle), 0);
  EXPECT_EQ(leaf->IsAKindOf(kStructure), 0);
  EXPECT_EQ(leaf->IsAKindOf("TPLeaf"), 0);
  EXPECT_NE(base->GetMetaObject()->GetClassId(), meta->GetClassId());
  // One meta class per class, whatever the object.
  QORBaseUnknown* otherLeaf = Instantiate(kLeaf, IID_QORBaseUnknown);
  ASSERT_NE(otherLeaf, nullptr);
  EXPECT_EQ(otherLeaf->GetMetaObject(), meta);
  EXPECT_EQ(zqy::internal::MetaObjectCreationCount(kLeaf), 1);

  otherLeaf->Release();
  base->Release();
  leaf->Release();
}

TEST_F(PluginMetaClass, TieMetaIsKindSixAndBindsItsInterfaceToItsImplementation) {
  QORBaseUnknown* impl = Instantiate(kBase, IID_QORBaseUnknown);
  ASSERT_NE(impl, nullptr);
  auto* filter = Query<QORIResolvedInputFilter>(impl, IID_QORIResolvedInputFilter);
  ASSERT_NE(filter, nullptr);

  const QORMetaClass* tie = filter->GetMetaObject();
  EXPECT_EQ(tie->GetTypeOfClass(), QORMetaClass::kTie);
  EXPECT_STREQ(tie->GetName(), "QORIResolvedInputFilter");
  EXPECT_EQ(tie->GetInterfaceId(), IID_QORIResolvedInputFilter);
  EXPECT_EQ(tie->GetImplementationMeta(), impl->GetMetaObject());
  EXPECT_EQ(tie->GetInterfaceMeta(), QORIResolvedInputFilter::MetaObject());
  EXPECT_EQ(tie->GetInterfaceMeta()->GetTypeOfClass(), QORMetaClass::kInterface);
  EXPECT_EQ(tie->GetInterfaceMeta()->GetClassId(), IID_QORIResolvedInputFilter);
  EXPECT_EQ(filter->IsAKindOf("QORIResolvedInputFilter"), 1);
  EXPECT_EQ(filter->IsAKindOf("QORBaseUnknown"), 1);
  EXPECT_EQ(filter->IsAKindOf(kBase), 0);
  // Every TIE of the pair shares the one TIE meta class.
  auto* second = Query<QORIResolvedInputFilter>(impl, IID_QORIResolvedInputFilter);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, filter);
  EXPECT_EQ(second->GetMetaObject(), tie);

  second->Release();
  filter->Release();
  impl->Release();
}

}  // namespace
