// QORNotification.cpp - the notification base class.
#include "CommandFramework/QORNotification.h"

#include <atomic>

namespace {
std::atomic<const QORMetaClass*> s_meta{nullptr};
}

QORNotification::QORNotification(int mode) : _mode(mode) {}
QORNotification::QORNotification(const QORNotification& other)
    : QORBaseUnknown(other), _mode(other._mode) {}
QORNotification& QORNotification::operator=(const QORNotification& other) {
  QORBaseUnknown::operator=(other);
  _mode = other._mode;
  return *this;
}
QORNotification::~QORNotification() = default;

const QORMetaClass* QORNotification::MetaObject() {
  return zqy::internal::LazyComponentMetaObject(s_meta, "QORNotification",
                                                &QORBaseUnknown::MetaObject, "CommandFramework",
                                                sizeof(QORNotification));
}
const QORMetaClass* QORNotification::GetMetaObject() const {
  return MetaObject();
}
const char* QORNotification::IsA() const {
  return MetaObject()->GetName();
}
int QORNotification::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}
