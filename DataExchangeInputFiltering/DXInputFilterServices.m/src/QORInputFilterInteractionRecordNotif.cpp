// QORInputFilterInteractionRecordNotif.cpp - constructor and meta protocol.
#include "QORInputFilterInteractionRecordNotif.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}

QORInputFilterInteractionRecordNotif::QORInputFilterInteractionRecordNotif(
    const QORUnicodeString& data, int mode)
    : QORInputFilterNotifWithString(data, mode) {}
QORInputFilterInteractionRecordNotif::~QORInputFilterInteractionRecordNotif() = default;

const QORMetaClass* QORInputFilterInteractionRecordNotif::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORInputFilterInteractionRecordNotif,
                         QORInputFilterNotifWithString::MetaObject());
  });
}
const QORMetaClass* QORInputFilterInteractionRecordNotif::GetMetaObject() const {
  return MetaObject();
}
const char* QORInputFilterInteractionRecordNotif::IsA() const {
  return MetaObject()->GetName();
}
int QORInputFilterInteractionRecordNotif::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}
