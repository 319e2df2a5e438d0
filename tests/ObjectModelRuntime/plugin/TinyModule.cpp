// TinyModule.cpp - the smallest module of the object model: one late type, no TIE.
// Built more than once, each copy naming its component through TINY_COMPONENT, so
// that tests loading modules by file name or by folder own a module of their own.
#include <atomic>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModule.h"

#ifndef TINY_COMPONENT
#error "TINY_COMPONENT names the component of this copy of the module"
#endif

namespace {

class TinyComponent : public QORBaseUnknown {
 public:
  static const QORMetaClass* MetaObject() {
    static std::atomic<const QORMetaClass*> s_meta{nullptr};
    return zqy::internal::LazyComponentMetaObject(s_meta, TINY_COMPONENT,
                                                  &QORBaseUnknown::MetaObject, "QORTinyModule",
                                                  sizeof(TinyComponent));
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};

QORBaseUnknown* CreateTinyComponent() {
  return new TinyComponent;
}

QOROMModule* RegisterTinyComponent();

__attribute__((section("zqyom"), used))
QORRegistrationFunction const s_table[] = {nullptr, &RegisterTinyComponent, nullptr};

QOROMModule s_module(QOROMModuleInfo{&s_table[0], &s_table[2]});

QOROMModule* RegisterTinyComponent() {
  QORFillDictionary::RegisterFunctionCreation(TINY_COMPONENT, &CreateTinyComponent);
  return &s_module;
}

}  // namespace
