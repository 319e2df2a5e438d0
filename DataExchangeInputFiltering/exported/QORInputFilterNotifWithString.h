// QORInputFilterNotifWithString.h - a notification of the input filtering that carries
// one text. Exported so that other modules (a test driver above all) can create,
// derive from and read such notifications: the replay notifications that the filter
// dialog listens for must derive from it.
#pragma once

#include "CommandFramework/QORNotification.h"
#include "SystemStrings/QORUnicodeString.h"

class QOR_EXPORT QORInputFilterNotifWithString : public QORNotification {
 public:
  QORInputFilterNotifWithString(const QORUnicodeString& data, int mode);
  explicit QORInputFilterNotifWithString(int mode = 0);
  QORInputFilterNotifWithString(const QORInputFilterNotifWithString& other);
  // The base is copied; the text is taken over and the source left empty.
  QORInputFilterNotifWithString(QORInputFilterNotifWithString&& other) noexcept;
  QORInputFilterNotifWithString& operator=(const QORInputFilterNotifWithString& other);
  // The base is copied; the two texts are swapped.
  QORInputFilterNotifWithString& operator=(QORInputFilterNotifWithString&& other) noexcept;
  ~QORInputFilterNotifWithString() override;

  QORUnicodeString GetDataString() const;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  static const char* ClassName();
  const char* IsA() const override;
  int IsAKindOf(const char* name) const override;
  static const CLSID& ClassId();
  // The object model cannot make this class by name.
  static QORBaseUnknown* CreateItself();

 private:
  QORUnicodeString _data;
};
