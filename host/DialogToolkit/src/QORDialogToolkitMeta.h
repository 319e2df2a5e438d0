// QORDialogToolkitMeta.h - the meta protocol the toolkit's classes share, made on
// first use (the widget classes are spread over one file each).
#pragma once

#include <atomic>

#include "ObjectModelRuntime/QORMetaClass.h"

namespace qor_dialog_toolkit {

inline const QORMetaClass* LazyMeta(std::atomic<const QORMetaClass*>& slot, const char* name,
                                    const QORMetaClass* parent, size_t size) {
  return zqy::internal::LazyMetaObject(slot, [&] {
    return zqy::internal::fct_RetrieveMetaObject(name, QORMetaClass::kComponent, parent, "QORNull",
                                                 "DialogToolkit", size);
  });
}

}  // namespace qor_dialog_toolkit

#define QOR_META_PROTOCOL(Class, ParentMeta)                                               \
  namespace {                                                                              \
  std::atomic<const QORMetaClass*> s_meta##Class{nullptr};                                 \
  }                                                                                        \
  const QORMetaClass* Class::MetaObject() {                                                \
    return qor_dialog_toolkit::LazyMeta(s_meta##Class, #Class, ParentMeta, sizeof(Class)); \
  }                                                                                        \
  const QORMetaClass* Class::GetMetaObject() const {                                       \
    return MetaObject();                                                                   \
  }                                                                                        \
  const char* Class::IsA() const {                                                         \
    return MetaObject()->GetName();                                                        \
  }                                                                                        \
  int Class::IsAKindOf(const char* className) const {                                      \
    return MetaObject()->IsAKindOf(className);                                             \
  }

// For event arguments, whose other meta functions their base class gives.
#define QOR_ARGS_META_OBJECT(Class)                                                        \
  namespace {                                                                              \
  std::atomic<const QORMetaClass*> s_meta##Class{nullptr};                                 \
  }                                                                                        \
  const QORMetaClass* Class::MetaObject() {                                                \
    return qor_dialog_toolkit::LazyMeta(s_meta##Class, #Class, QOREventArgs::MetaObject(), \
                                        sizeof(Class));                                    \
  }
