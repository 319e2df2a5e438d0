// QOREventHandler.h - handler objects: what a widget calls when an event fires.
//
// QORMethodEventHandler holds a weak reference to its target, so an event reaching a
// destroyed target is dropped, and the method to call; it is typed by the argument
// class it accepts and checks the arguments against it.
//
//   window->AddHandler(QORVidFraWindow::Closed(),
//                      new QORMethodEventHandler<DXWebViewer, QORSYPEventArgs>(
//                          this, &DXWebViewer::OnWindowClosed), 0);
#pragma once

#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QORDynamicCast.h"
#include "EventToolkit/QOREventArgs.h"
#include "ObjectModelRuntime/QORWeakRef.h"

class QOR_KIT_API QOREventHandler : public QORBaseUnknown {
 public:
  ~QOREventHandler() override;
  virtual void Handle(QORBaseUnknown* i_pSender, QOREventArgs* i_pArgs) = 0;
};

template <class Target, class Args>
class QORMethodEventHandler : public QOREventHandler {
 public:
  typedef void (Target::*Method)(QORBaseUnknown* i_pSender, Args* i_pArgs);
  QORMethodEventHandler(Target* target, Method method) : _target(target), _method(method) {}

  void Handle(QORBaseUnknown* i_pSender, QOREventArgs* i_pArgs) override {
    Args* pArgs = QORDynamicCast<Args>(i_pArgs);
    QOR_CHECK_RETURN(pArgs);
    auto* target = static_cast<Target*>(_target.Get());
    if (!target) return;  // the target is gone: the event is dropped
    (target->*_method)(i_pSender, pArgs);
  }

 private:
  QORWeakRef _target;
  Method _method;
};
