// QORInputFilterInteractionRecordNotif.h - sent to the dialog's father command: the text of one
// interaction the page recorded (test mode).
#pragma once

#include "QORInputFilterNotifWithString.h"

class QORInputFilterInteractionRecordNotif : public QORInputFilterNotifWithString {
 public:
  QORInputFilterInteractionRecordNotif(const QORUnicodeString& data, int mode);
  ~QORInputFilterInteractionRecordNotif() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;
};
