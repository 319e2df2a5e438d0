// QORCommand.cpp - the command tree and synchronous notification delivery.
#include "CommandFramework/QORCommand.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<const QORMetaClass*> s_meta{nullptr};
}

const QORMetaClass* QORCommand::MetaObject() {
  return zqy::internal::LazyComponentMetaObject(s_meta, "QORCommand", &QORBaseUnknown::MetaObject,
                                                "CommandFramework", sizeof(QORCommand));
}
const QORMetaClass* QORCommand::GetMetaObject() const {
  return MetaObject();
}
const char* QORCommand::IsA() const {
  return MetaObject()->GetName();
}
int QORCommand::IsAKindOf(const char* className) const {
  return MetaObject()->IsAKindOf(className);
}

QORCommand::QORCommand(QORCommand* father, const char* name)
    : _pFather(father), _name(name ? name : "") {
  if (_pFather) _pFather->_children.push_back(this);
}

QORCommand::~QORCommand() {
  if (_pFather) std::erase(_pFather->_children, this);
  for (QORCommand* child : _children) child->_pFather = nullptr;
}

int QORCommand::AddAnalyseNotificationCB(QORCommand* sender, const char* notificationClassName,
                                         QORCommandMethod method, void* clientData) {
  if (!notificationClassName || !method) return 0;
  const int id = _nextCallbackId++;
  _callbacks.push_back(Callback{id, sender, notificationClassName, method, clientData});
  return id;
}

void QORCommand::RemoveAnalyseNotificationCB(int id) {
  std::erase_if(_callbacks, [id](const Callback& c) { return c.id == id; });
}

bool QORCommand::Analyse(QORCommand* sender, QORNotification* notification) {
  bool handled = false;
  // A callback may add or remove callbacks: walk a copy.
  const std::vector<Callback> callbacks = _callbacks;
  for (const Callback& c : callbacks) {
    if (c.sender && c.sender != sender) continue;
    if (!notification->IsAKindOf(c.className.c_str())) continue;
    (this->*c.method)(sender, notification, c.clientData);
    handled = true;
  }
  return handled;
}

void QORCommand::SendNotification(QORCommand* receiver, QORNotification* notification) {
  if (!notification) return;
  for (QORCommand* target = receiver; target; target = target->GetFather()) {
    if (target->Analyse(this, notification)) break;
  }
  notification->Release();
}
