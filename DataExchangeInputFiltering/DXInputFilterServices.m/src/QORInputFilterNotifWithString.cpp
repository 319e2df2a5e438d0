// QORInputFilterNotifWithString.cpp - the notification that carries a text.
#include "QORInputFilterNotifWithString.h"

#include <atomic>
#include <utility>

#include "DXClassMeta.h"

namespace {
std::atomic<const QORMetaClass*> s_pMetaObject{nullptr};
}

QORInputFilterNotifWithString::QORInputFilterNotifWithString(const QORUnicodeString& data, int mode)
    : QORNotification(mode), _data(data) {}
QORInputFilterNotifWithString::QORInputFilterNotifWithString(int mode) : QORNotification(mode) {}
QORInputFilterNotifWithString::QORInputFilterNotifWithString(
    const QORInputFilterNotifWithString& other)
    : QORNotification(other), _data(other._data) {}
QORInputFilterNotifWithString::QORInputFilterNotifWithString(
    QORInputFilterNotifWithString&& other) noexcept
    : QORNotification(other), _data(std::exchange(other._data, QORUnicodeString())) {}
QORInputFilterNotifWithString& QORInputFilterNotifWithString::operator=(
    const QORInputFilterNotifWithString& other) {
  QORNotification::operator=(other);
  _data = other._data;
  return *this;
}
QORInputFilterNotifWithString& QORInputFilterNotifWithString::operator=(
    QORInputFilterNotifWithString&& other) noexcept {
  QORNotification::operator=(other);
  std::swap(_data, other._data);
  return *this;
}
QORInputFilterNotifWithString::~QORInputFilterNotifWithString() = default;

QORUnicodeString QORInputFilterNotifWithString::GetDataString() const {
  return _data;
}

const QORMetaClass* QORInputFilterNotifWithString::MetaObject() {
  return zqy::internal::LazyMetaObject(s_pMetaObject, [] {
    return DX_CLASS_META(QORInputFilterNotifWithString, QORNotification::MetaObject());
  });
}
const QORMetaClass* QORInputFilterNotifWithString::GetMetaObject() const {
  return MetaObject();
}
const char* QORInputFilterNotifWithString::ClassName() {
  return MetaObject()->GetName();
}
const char* QORInputFilterNotifWithString::IsA() const {
  return MetaObject()->GetName();
}
int QORInputFilterNotifWithString::IsAKindOf(const char* name) const {
  return MetaObject()->IsAKindOf(name);
}
const CLSID& QORInputFilterNotifWithString::ClassId() {
  return MetaObject()->GetClassId();
}
QORBaseUnknown* QORInputFilterNotifWithString::CreateItself() {
  return nullptr;
}
