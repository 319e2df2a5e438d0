// QORVidWidget.h - the base of every window and control of the dialog toolkit: a
// command of the command tree that raises events to handler objects.
//
// Handlers run on the host thread in the order they were added; a widget keeps one
// reference on each of its handlers. A widget is never deleted directly: it is asked
// for delayed destruction, and from that request on it raises no more events, so no
// event queued for it can reach anything the caller has already let go of.
#pragma once

#include <vector>

#include "CommandFramework/QORCommand.h"
#include "EventToolkit/QOREvent.h"
#include "EventToolkit/QOREventArgs.h"
#include "EventToolkit/QOREventHandler.h"

class QOR_KIT_API QORVidWidget : public QORCommand {
 public:
  QORVidWidget(QORCommand* father, const char* name);
  ~QORVidWidget() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  // Subscribes handler to event; the flag is kept for the host's sake. A null event
  // or handler is refused.
  void AddHandler(QOREvent* event, QOREventHandler* handler, int flag);
  // The same, ahead of the handlers already added: to see an event before they act on it.
  void AddHandlerFirst(QOREvent* event, QOREventHandler* handler, int flag);
  void RemoveHandlers(QOREvent* event);
  // Destroys the widget on a later turn of the host event loop (releases the
  // creation reference), never inside the caller.
  void RequestDelayedDestruction();
  bool IsDestructionRequested() const { return _destructionRequested; }

  // Calls the handlers of event with this widget as sender (host thread only).
  void RaiseEvent(QOREvent* event, QOREventArgs* args);

 private:
  struct Subscription {
    QOREvent* event;
    QOREventHandler* handler;
    int flag;
  };
  std::vector<Subscription> _subscriptions;
  bool _destructionRequested = false;
};
