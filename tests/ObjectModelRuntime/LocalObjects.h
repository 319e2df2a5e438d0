// LocalObjects.h - components of the test program itself, for tests that need objects
// or meta classes of the model but no plug-in.
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORBaseUnknown.h"
#include "ObjectModelRuntime/QORMetaClass.h"

// Counts its destructions into a counter owned by the test.
class LocalCounted : public QORBaseUnknown {
 public:
  explicit LocalCounted(std::atomic<int>* destroyed) : _destroyed(destroyed) {}
  ~LocalCounted() override { _destroyed->fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<int>* _destroyed;
};

// A class whose meta class, named Self::kName, is made lazily by the kit on first use.
// Each test names classes no other test asks for, so it can watch their creation.
template <class Self, class Parent = QORBaseUnknown>
class LocalClass : public Parent {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, Self::kName, &Parent::MetaObject,
                                                  "LocalObjects", sizeof(Self));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
};
