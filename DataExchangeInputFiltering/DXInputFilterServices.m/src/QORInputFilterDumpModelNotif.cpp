// QORInputFilterDumpModelNotif.cpp - constructor and meta protocol.
#include "QORInputFilterDumpModelNotif.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}

QORInputFilterDumpModelNotif::QORInputFilterDumpModelNotif(const QORUnicodeString& data, int mode)
    : QORInputFilterNotifWithString(data, mode) {}
QORInputFilterDumpModelNotif::~QORInputFilterDumpModelNotif() = default;

const QORMetaClass* QORInputFilterDumpModelNotif::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORInputFilterDumpModelNotif, QORInputFilterNotifWithString::MetaObject());
  });
}
const QORMetaClass* QORInputFilterDumpModelNotif::GetMetaObject() const {
  return MetaObject();
}
const char* QORInputFilterDumpModelNotif::IsA() const {
  return MetaObject()->GetName();
}
int QORInputFilterDumpModelNotif::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}
