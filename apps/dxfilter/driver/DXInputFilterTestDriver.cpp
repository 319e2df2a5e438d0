// DXInputFilterTestDriver.cpp - the test driver module: the two replay notifications
// that the filter dialog listens for in test mode, made by name through the object
// model's factories ("QORInputFilterButtonInteractionReplayNotif" and
// "QORInputFilterJSInteractionReplayNotif"; the factory's argument is a
// const QORUnicodeString* holding the data string), and "DXInputFilterNotificationText",
// which reads the text a received notification carries.
#include <atomic>

#include "ObjectModelRuntime/QORFillDictionary.h"
#include "ObjectModelRuntime/QOROMModuleTable.h"
#include "QORInputFilterNotifWithString.h"

namespace {

template <class Self>
const QORMetaClass* ReplayMeta(std::atomic<const QORMetaClass*>& slot, const char* name) {
  return zqy::internal::LazyComponentMetaObject(slot, name,
                                                &QORInputFilterNotifWithString::MetaObject,
                                                "DXInputFilterTestDriver", sizeof(Self));
}

std::atomic<const QORMetaClass*> s_buttonMeta{nullptr};
std::atomic<const QORMetaClass*> s_jsMeta{nullptr};

// Replays a click on the standard button named by the data string.
class QORInputFilterButtonInteractionReplayNotif : public QORInputFilterNotifWithString {
 public:
  using QORInputFilterNotifWithString::QORInputFilterNotifWithString;
  static const QORMetaClass* MetaObject() {
    return ReplayMeta<QORInputFilterButtonInteractionReplayNotif>(
        s_buttonMeta, "QORInputFilterButtonInteractionReplayNotif");
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};

// Replays one page interaction given by its text.
class QORInputFilterJSInteractionReplayNotif : public QORInputFilterNotifWithString {
 public:
  using QORInputFilterNotifWithString::QORInputFilterNotifWithString;
  static const QORMetaClass* MetaObject() {
    return ReplayMeta<QORInputFilterJSInteractionReplayNotif>(
        s_jsMeta, "QORInputFilterJSInteractionReplayNotif");
  }
  const QORMetaClass* GetMetaObject() const override { return MetaObject(); }
  const char* IsA() const override { return MetaObject()->GetName(); }
  int IsAKindOf(const char* name) const override { return MetaObject()->IsAKindOf(name); }
};

template <class Notification>
void* MakeReplay(void* data) {
  const auto* text = static_cast<const QORUnicodeString*>(data);
  return new Notification(text ? *text : QORUnicodeString(), -1);
}

// Reads the text of a notification for a host that does not link the filtering module:
// the argument is a DXNotificationText; its text is set when the notification carries one.
struct DXNotificationText {
  QORNotification* notification;
  QORUnicodeString* text;
};
void* ReadNotificationText(void* argument) {
  auto* request = static_cast<DXNotificationText*>(argument);
  if (!request || !request->notification || !request->text) return nullptr;
  auto* withString = request->notification->IsAKindOf("QORInputFilterNotifWithString")
                         ? static_cast<QORInputFilterNotifWithString*>(request->notification)
                         : nullptr;
  if (!withString) return nullptr;
  *request->text = withString->GetDataString();
  return request->text;
}

QOROMModule* Module();
QOROMModule* RegisterNotificationText() {
  QORFillDictionary::Register("DXInputFilterNotificationText", &ReadNotificationText);
  return Module();
}
QOROMModule* RegisterButtonReplay() {
  QORFillDictionary::Register("QORInputFilterButtonInteractionReplayNotif",
                              &MakeReplay<QORInputFilterButtonInteractionReplayNotif>);
  return Module();
}
QOROMModule* RegisterJSReplay() {
  QORFillDictionary::Register("QORInputFilterJSInteractionReplayNotif",
                              &MakeReplay<QORInputFilterJSInteractionReplayNotif>);
  return Module();
}

QOR_MODULE_TABLE(Module, &RegisterButtonReplay, &RegisterJSReplay, &RegisterNotificationText)

}  // namespace
