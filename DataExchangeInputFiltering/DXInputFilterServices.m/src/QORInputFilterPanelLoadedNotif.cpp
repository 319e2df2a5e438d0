// QORInputFilterPanelLoadedNotif.cpp - constructor and meta protocol.
#include "QORInputFilterPanelLoadedNotif.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}

QORInputFilterPanelLoadedNotif::QORInputFilterPanelLoadedNotif(int mode) : QORNotification(mode) {}
QORInputFilterPanelLoadedNotif::~QORInputFilterPanelLoadedNotif() = default;

const QORMetaClass* QORInputFilterPanelLoadedNotif::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORInputFilterPanelLoadedNotif, QORNotification::MetaObject());
  });
}
const QORMetaClass* QORInputFilterPanelLoadedNotif::GetMetaObject() const {
  return MetaObject();
}
const char* QORInputFilterPanelLoadedNotif::IsA() const {
  return MetaObject()->GetName();
}
int QORInputFilterPanelLoadedNotif::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}
