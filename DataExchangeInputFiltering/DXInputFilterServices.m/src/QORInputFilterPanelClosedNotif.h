// QORInputFilterPanelClosedNotif.h - sent to the dialog's father command: the filter dialog hid
// itself (OK answered, Cancel, window closed).
#pragma once

#include "CommandFramework/QORNotification.h"

class QORInputFilterPanelClosedNotif : public QORNotification {
 public:
  explicit QORInputFilterPanelClosedNotif(int mode);
  ~QORInputFilterPanelClosedNotif() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;
};
