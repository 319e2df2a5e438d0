// QORMetaClass.cpp - creation of meta classes and the object-model guard.
#include "ObjectModelRuntime/QORMetaClass.h"

#include <xxhash.h>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct QORMetaClassFactory {
  static QORMetaClass* Make(const char* name, int typeOfClass, const QORMetaClass* parent,
                            const char* extension, const char* framework, size_t size,
                            const CLSID& classId, const IID& iid, const QORMetaClass* interfaceMeta,
                            const QORMetaClass* implementationMeta) {
    auto* m = new QORMetaClass();
    m->_name = name ? name : "";
    m->_typeOfClass = typeOfClass;
    m->_pParent = parent;
    m->_extension = extension ? extension : "";
    m->_framework = framework ? framework : "";
    m->_objectSize = size;
    m->_classId = classId;
    m->_interfaceId = iid;
    m->_pInterfaceMeta = interfaceMeta;
    m->_pImplementationMeta = implementationMeta;
    return m;
  }
};

namespace {

// Meta classes are never freed (pointers to them are cached in every module), so
// they are owned by a registry that is itself never destroyed.
struct MetaRegistry {
  std::mutex mutex;
  std::vector<std::unique_ptr<QORMetaClass>> all;
  std::map<std::string, int, std::less<>> creations;
};

MetaRegistry& Registry() {
  static MetaRegistry* registry = new MetaRegistry();
  return *registry;
}

std::recursive_mutex& Guard() {
  static std::recursive_mutex* guard = new std::recursive_mutex();
  return *guard;
}

// A stable class identifier derived from the class name.
CLSID ClassIdFromName(const char* name) {
  size_t len = std::strlen(name);
  uint64_t a = XXH64(name, len, 0);
  uint64_t b = XXH64(name, len, 0x51C0FFEEull);
  CLSID id;
  id.data1 = static_cast<uint32_t>(a >> 32);
  id.data2 = static_cast<uint16_t>(a >> 16);
  id.data3 = static_cast<uint16_t>(a);
  for (int i = 0; i < 8; ++i) id.data4[i] = static_cast<uint8_t>(b >> (8 * i));
  return id;
}

const QORMetaClass* Keep(QORMetaClass* meta, const char* countedName) {
  MetaRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.all.emplace_back(meta);
  if (countedName) ++r.creations[countedName];
  return meta;
}

}  // namespace

int QORMetaClass::IsAKindOf(const char* name) const {
  if (!name) return 0;
  for (const QORMetaClass* m = this; m; m = m->_pParent)
    if (m->_name == name) return 1;
  return 0;
}

namespace zqy::internal {

const QORMetaClass* fct_RetrieveMetaObject(const char* className, int typeOfClass,
                                           const QORMetaClass* parent, const char* extension,
                                           const char* framework, size_t objectSize) {
  const char* name = className ? className : "";
  QORMetaClass* meta =
      QORMetaClassFactory::Make(name, typeOfClass, parent, extension, framework, objectSize,
                                ClassIdFromName(name), IID{}, nullptr, nullptr);
  return Keep(meta, name);
}

const QORMetaClass* fct_RetrieveInterfaceMetaObject(const char* interfaceName, const IID& iid,
                                                    const QORMetaClass* parent) {
  QORMetaClass* meta =
      QORMetaClassFactory::Make(interfaceName, QORMetaClass::kInterface, parent, "QORNull",
                                "InputFilteringInterfaces", 0, iid, iid, nullptr, nullptr);
  return Keep(meta, nullptr);
}

const QORMetaClass* Tie_InitMetaObject(const IID& iid, const char* interfaceName,
                                       const QORMetaClass* interfaceMeta,
                                       const QORMetaClass* implementationMeta, int typeOfClass) {
  QORMetaClass* meta =
      QORMetaClassFactory::Make(interfaceName, typeOfClass, interfaceMeta, "QORNull",
                                implementationMeta ? implementationMeta->GetFrameworkName() : "", 0,
                                iid, iid, interfaceMeta, implementationMeta);
  return Keep(meta, nullptr);
}

int MetaObjectCreationCount(const char* className) {
  MetaRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.creations.find(className ? className : "");
  return it == r.creations.end() ? 0 : it->second;
}

om_guard::om_guard() {
  Guard().lock();
}
om_guard::~om_guard() {
  Guard().unlock();
}

}  // namespace zqy::internal
