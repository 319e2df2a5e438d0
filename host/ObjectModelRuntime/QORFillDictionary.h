// QORFillDictionary.h - the object model's dictionary: late types to creation
// functions, (implementation class, interface) pairs to TIE creators, and named
// factories. Modules fill it from their registration tables while they load.
#pragma once

#include <string>
#include <vector>

#include "ObjectModelRuntime/QORBaseUnknown.h"

typedef QORBaseUnknown* (*QORCreationFunction)();
typedef QORBaseUnknown* (*QORTieCreator)(QORBaseUnknown* implementation, QORBaseUnknown* second);
typedef void* (*QORFactoryFunction)(void* argument);

class QOR_KIT_API QORFillDictionary {
 public:
  // Registers the creation function of a late type; a later registration of the
  // same late type replaces it. Returns 1.
  static int RegisterFunctionCreation(const char* lateType, QORCreationFunction creator);
  // TIE form: binds an interface to an implementation class. reserved and flag are
  // kept for the host's sake and not used by the kit. Returns 1, or 0 for null metas.
  static int Register(const QORMetaClass* implementationMeta, const QORMetaClass* interfaceMeta,
                      QORTieCreator creator, void* reserved, int flag);
  // Named-factory form.
  static int Register(const char* factoryName, QORFactoryFunction factory);

  static QORCreationFunction FindCreationFunction(const char* lateType);
  // The TIE creator for the class, or for its nearest parent class that has one.
  static QORTieCreator FindTieCreator(const QORMetaClass* implementationMeta, const IID& iid);
  static QORFactoryFunction FindFactory(const char* factoryName);
  // Every late type registered so far, sorted.
  static std::vector<std::string> ListLateTypes();
  // The identifier of an interface registered under that name, or null.
  static const IID* FindInterfaceId(const char* interfaceName);
};
