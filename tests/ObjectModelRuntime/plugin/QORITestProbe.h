// QORITestProbe.h - an interface implemented by the test plug-in's components. Tests
// reach a component only through it (or the kit's interfaces), exactly as the host
// reaches a production component.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

inline constexpr IID IID_QORITestProbe = {
    0x3c9e5a10, 0x7d41, 0x4b2a, {0x91, 0x0e, 0x5f, 0x28, 0x44, 0xa1, 0x6b, 0x10}};

class QORITestProbe : public QORBaseUnknown {
 public:
  static const IID& ClassId() { return IID_QORITestProbe; }
  // Defined by the plug-in; the interface meta class lives there.
  static const QORMetaClass* MetaObject();

  virtual int GetValue() = 0;
  virtual void SetValue(int value) = 0;
  // IsA() of the implementation object behind the TIE.
  virtual const char* ImplementationClass() = 0;
};
