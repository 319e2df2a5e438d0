// NotAModule.cpp - a shared library without a registration table or module object;
// the kit must refuse to count it as a module.
#include "ObjectModelRuntime/QORTypes.h"

extern "C" QOR_EXPORT int QORTestNotAModuleAnswer() {
  return 42;
}
