// QORVidWidget.cpp - a widget: its handler lists, the events it raises and its
// delayed destruction.
#include "DialogToolkit/QORVidWidget.h"

#include "DialogToolkit/src/QORDialogToolkitMeta.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebWindowSession.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"

QOR_META_PROTOCOL(QORVidWidget, QORCommand::MetaObject())

QORVidWidget::QORVidWidget(QORCommand* father, const char* name) : QORCommand(father, name) {}

QORVidWidget::~QORVidWidget() {
  for (Subscription& s : _subscriptions) s.handler->Release();
}

void QORVidWidget::AddHandler(QOREvent* event, QOREventHandler* handler, int flag) {
  if (!event || !handler) return;
  handler->AddRef();
  _subscriptions.push_back(Subscription{event, handler, flag});
}

void QORVidWidget::AddHandlerFirst(QOREvent* event, QOREventHandler* handler, int flag) {
  if (!event || !handler) return;
  handler->AddRef();
  _subscriptions.insert(_subscriptions.begin(), Subscription{event, handler, flag});
}

void QORVidWidget::RemoveHandlers(QOREvent* event) {
  std::erase_if(_subscriptions, [event](Subscription& s) {
    if (s.event != event) return false;
    s.handler->Release();
    return true;
  });
}

void QORVidWidget::RequestDelayedDestruction() {
  if (_destructionRequested) return;
  _destructionRequested = true;
  QOREventLoop::Host().Post([this] { Release(); });
}

void QORVidWidget::RaiseEvent(QOREvent* event, QOREventArgs* args) {
  if (!event || _destructionRequested) return;
  // Keep the widget and the handlers alive while they run: a handler may ask for the
  // widget's destruction or add handlers.
  AddRef();
  std::vector<Subscription> now = _subscriptions;
  for (Subscription& s : now) s.handler->AddRef();
  for (Subscription& s : now) {
    if (s.event == event && !_destructionRequested) s.handler->Handle(this, args);
  }
  for (Subscription& s : now) s.handler->Release();
  Release();
}
