// QORNotification.h - a notification of the command tree: an object sent from one
// command to another, matched by its class name.
#pragma once

#include "ObjectModelRuntime/QORBaseUnknown.h"

class QOR_KIT_API QORNotification : public QORBaseUnknown {
 public:
  // mode is the command tree's integer; modules send -1, 0 when omitted.
  explicit QORNotification(int mode = 0);
  QORNotification(const QORNotification& other);
  QORNotification& operator=(const QORNotification& other);
  ~QORNotification() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  int GetMode() const { return _mode; }

 private:
  int _mode;
};
