// QORMetaClass.h - meta classes of the object model, and the functions that create
// them.
//
// Every class of every module carries one meta class: its name, its kind, its parent
// (so IsAKindOf can walk the chain), its framework and size, and a class identifier.
// Modules create their meta classes lazily, on first use, with a double test around
// the object-model guard; the guard is recursive because a class's parent (and a
// TIE's implementation) meta class is created from inside the child's guarded step.
// Meta classes live as long as the process: nothing ever frees them, so a pointer to
// one may be cached anywhere.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "SystemStrings/QORTypes.h"

class QOR_KIT_API QORMetaClass {
 public:
  // Kinds of class recorded in the meta class.
  static constexpr int kComponent = 1;
  static constexpr int kInterface = 3;
  static constexpr int kTie = 6;

  const char* GetName() const { return _name.c_str(); }
  int GetTypeOfClass() const { return _typeOfClass; }
  const QORMetaClass* GetParent() const { return _pParent; }
  const char* GetExtensionName() const { return _extension.c_str(); }
  const char* GetFrameworkName() const { return _framework.c_str(); }
  size_t GetObjectSize() const { return _objectSize; }
  const CLSID& GetClassId() const { return _classId; }

  // TIE meta classes only: the bound interface and implementation.
  const IID& GetInterfaceId() const { return _interfaceId; }
  const QORMetaClass* GetInterfaceMeta() const { return _pInterfaceMeta; }
  const QORMetaClass* GetImplementationMeta() const { return _pImplementationMeta; }

  // Non-zero when this class, or one of its parents, is named name.
  int IsAKindOf(const char* name) const;

 private:
  friend struct QORMetaClassFactory;
  QORMetaClass() = default;

  std::string _name;
  int _typeOfClass = 0;
  const QORMetaClass* _pParent = nullptr;
  std::string _extension;
  std::string _framework;
  size_t _objectSize = 0;
  CLSID _classId{};
  IID _interfaceId{};
  const QORMetaClass* _pInterfaceMeta = nullptr;
  const QORMetaClass* _pImplementationMeta = nullptr;
};

namespace zqy::internal {

// Creates the meta class of a component class. Each call creates a new meta class:
// callers keep exactly one by the double test around om_guard.
QOR_KIT_API const QORMetaClass* fct_RetrieveMetaObject(const char* className, int typeOfClass,
                                                       const QORMetaClass* parent,
                                                       const char* extension, const char* framework,
                                                       size_t objectSize);

// Creates the meta class of an interface, whose class identifier is the interface id.
QOR_KIT_API const QORMetaClass* fct_RetrieveInterfaceMetaObject(const char* interfaceName,
                                                                const IID& iid,
                                                                const QORMetaClass* parent);

// Creates the meta class of a TIE class binding an interface to an implementation.
QOR_KIT_API const QORMetaClass* Tie_InitMetaObject(const IID& iid, const char* interfaceName,
                                                   const QORMetaClass* interfaceMeta,
                                                   const QORMetaClass* implementationMeta,
                                                   int typeOfClass);

// How many meta classes fct_RetrieveMetaObject has created under this class name;
// lets tests prove that lazy creation happens once.
QOR_KIT_API int MetaObjectCreationCount(const char* className);

// The object-model guard: a lock that the thread holding it may take again.
class QOR_KIT_API om_guard {
 public:
  om_guard();
  ~om_guard();
  om_guard(const om_guard&) = delete;
  om_guard& operator=(const om_guard&) = delete;
};

// The double test around the guard, for a class's module-wide meta-class pointer:
// acquire/release on the pointer makes the unguarded first test race-free, and the
// guard makes creation happen once.
template <class Create>
const QORMetaClass* LazyMetaObject(std::atomic<const QORMetaClass*>& slot, Create create) {
  const QORMetaClass* meta = slot.load(std::memory_order_acquire);
  if (meta) return meta;
  om_guard guard;
  meta = slot.load(std::memory_order_relaxed);
  if (!meta) {
    meta = create();
    slot.store(meta, std::memory_order_release);
  }
  return meta;
}

// The usual body of a component class's MetaObject(). The parent's meta class is asked
// for inside the guard, which is why the guard is recursive.
inline const QORMetaClass* LazyComponentMetaObject(std::atomic<const QORMetaClass*>& slot,
                                                   const char* className,
                                                   const QORMetaClass* (*parent)(),
                                                   const char* framework, size_t objectSize) {
  return LazyMetaObject(slot, [&] {
    return fct_RetrieveMetaObject(className, QORMetaClass::kComponent, parent ? parent() : nullptr,
                                  "QORNull", framework, objectSize);
  });
}

// The usual body of an interface's MetaObject().
inline const QORMetaClass* LazyInterfaceMetaObject(std::atomic<const QORMetaClass*>& slot,
                                                   const char* interfaceName, const IID& iid,
                                                   const QORMetaClass* (*parent)()) {
  return LazyMetaObject(
      slot, [&] { return fct_RetrieveInterfaceMetaObject(interfaceName, iid, parent()); });
}

// The meta class of the TIE class binding the interface Iface (with a static
// MetaObject()) to the implementation class Impl.
template <class Iface, class Impl>
const QORMetaClass* LazyTieMetaObject(std::atomic<const QORMetaClass*>& slot, const IID& iid) {
  return LazyMetaObject(slot, [&] {
    const QORMetaClass* interfaceMeta = Iface::MetaObject();
    return Tie_InitMetaObject(iid, interfaceMeta->GetName(), interfaceMeta, Impl::MetaObject(),
                              QORMetaClass::kTie);
  });
}

}  // namespace zqy::internal
