// QORFillDictionary.cpp - the dictionary of late types, TIE creators and factories.
#include "ObjectModelRuntime/QORFillDictionary.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct TieKey {
  const QORMetaClass* implementation;
  IID iid;
  bool operator<(const TieKey& o) const {
    if (implementation != o.implementation) return implementation < o.implementation;
    return std::memcmp(&iid, &o.iid, sizeof(IID)) < 0;
  }
};

// Never destroyed: modules are never unloaded, and their entries may be looked up
// from static destructors of other modules.
struct Dictionary {
  std::mutex mutex;
  std::unordered_map<std::string, QORCreationFunction> lateTypes;
  std::map<TieKey, QORTieCreator> ties;
  std::unordered_map<std::string, QORFactoryFunction> factories;
  std::unordered_map<std::string, IID> interfaces;
};

Dictionary& Dict() {
  static Dictionary* d = new Dictionary();
  return *d;
}

}  // namespace

int QORFillDictionary::RegisterFunctionCreation(const char* lateType, QORCreationFunction creator) {
  if (!lateType || !creator) return 0;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.lateTypes[lateType] = creator;
  return 1;
}

int QORFillDictionary::Register(const QORMetaClass* implementationMeta,
                                const QORMetaClass* interfaceMeta, QORTieCreator creator, void*,
                                int) {
  if (!implementationMeta || !interfaceMeta || !creator) return 0;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.ties[TieKey{implementationMeta, interfaceMeta->GetClassId()}] = creator;
  d.interfaces[interfaceMeta->GetName()] = interfaceMeta->GetClassId();
  return 1;
}

int QORFillDictionary::Register(const char* factoryName, QORFactoryFunction factory) {
  if (!factoryName || !factory) return 0;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.factories[factoryName] = factory;
  return 1;
}

QORCreationFunction QORFillDictionary::FindCreationFunction(const char* lateType) {
  if (!lateType) return nullptr;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  auto it = d.lateTypes.find(lateType);
  return it == d.lateTypes.end() ? nullptr : it->second;
}

QORTieCreator QORFillDictionary::FindTieCreator(const QORMetaClass* implementationMeta,
                                                const IID& iid) {
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  for (const QORMetaClass* m = implementationMeta; m; m = m->GetParent()) {
    auto it = d.ties.find(TieKey{m, iid});
    if (it != d.ties.end()) return it->second;
  }
  return nullptr;
}

QORFactoryFunction QORFillDictionary::FindFactory(const char* factoryName) {
  if (!factoryName) return nullptr;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  auto it = d.factories.find(factoryName);
  return it == d.factories.end() ? nullptr : it->second;
}

const IID* QORFillDictionary::FindInterfaceId(const char* interfaceName) {
  if (!interfaceName) return nullptr;
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  auto it = d.interfaces.find(interfaceName);
  return it == d.interfaces.end() ? nullptr : &it->second;  // node-stable
}

std::vector<std::string> QORFillDictionary::ListLateTypes() {
  Dictionary& d = Dict();
  std::lock_guard<std::mutex> lock(d.mutex);
  std::vector<std::string> names;
  names.reserve(d.lateTypes.size());
  for (const auto& entry : d.lateTypes) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  return names;
}
