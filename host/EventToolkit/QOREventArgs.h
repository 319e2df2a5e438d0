// QOREventArgs.h - the base of every event argument class; handlers are typed by the
// argument class they accept and cast to it on the object model's meta classes.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

class QOR_KIT_API QOREventArgs : public QORBaseUnknown {
 public:
  QOREventArgs();
  ~QOREventArgs() override;
  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
};

// Declares the meta protocol of an argument class (defined with QOR_DEFINE_EVENT_ARGS).
#define QOR_DECLARE_EVENT_ARGS(Class)                  \
 public:                                               \
  static const QORMetaClass* MetaObject();             \
  const QORMetaClass* GetMetaObject() const override { \
    return MetaObject();                               \
  }
