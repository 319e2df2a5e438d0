// QORInputFilterDumpModelNotif.h - sent to the dialog's father command: the filter document as the
// page returned it (test mode: OK or Save).
#pragma once

#include "QORInputFilterNotifWithString.h"

class QORInputFilterDumpModelNotif : public QORInputFilterNotifWithString {
 public:
  QORInputFilterDumpModelNotif(const QORUnicodeString& data, int mode);
  ~QORInputFilterDumpModelNotif() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;
};
