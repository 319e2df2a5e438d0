// QORInputFilterPanelLoadedNotif.h - sent to the dialog's father command: the filter page said it
// is ready.
#pragma once

#include "CommandFramework/QORNotification.h"

class QORInputFilterPanelLoadedNotif : public QORNotification {
 public:
  explicit QORInputFilterPanelLoadedNotif(int mode);
  ~QORInputFilterPanelLoadedNotif() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;
};
