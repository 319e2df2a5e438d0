// QORInputFilterPanelClosedNotif.cpp - constructor and meta protocol.
#include "QORInputFilterPanelClosedNotif.h"

#include <atomic>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}

QORInputFilterPanelClosedNotif::QORInputFilterPanelClosedNotif(int mode) : QORNotification(mode) {}
QORInputFilterPanelClosedNotif::~QORInputFilterPanelClosedNotif() = default;

const QORMetaClass* QORInputFilterPanelClosedNotif::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORInputFilterPanelClosedNotif, QORNotification::MetaObject());
  });
}
const QORMetaClass* QORInputFilterPanelClosedNotif::GetMetaObject() const {
  return MetaObject();
}
const char* QORInputFilterPanelClosedNotif::IsA() const {
  return MetaObject()->GetName();
}
int QORInputFilterPanelClosedNotif::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}
