// QORCommand.h - a command of the host's command tree: a father, children, and
// notifications sent between them.
//
// How a notification travels: SendNotification(receiver, notification) delivers at
// once, on the calling thread (the host thread). The receiver's callbacks whose class
// name the notification is a kind of, and whose sender matches (or was left null), run
// in the order they were added. When none matched, the notification goes on to the
// receiver's father, and so on up to the root; one that nobody handles is dropped.
// Once sent, the notification belongs to the tree, which releases it exactly once
// after delivery, handled or not. Sending a null notification does nothing.
//
//   dialog->AddAnalyseNotificationCB(nullptr, "QORInputFilterJSInteractionReplayNotif",
//                                    (QORCommandMethod)&DXWebViewer::OnJSReplayNotif, nullptr);
//   dialog->SendNotification(dialog->GetFather(), new QORInputFilterPanelClosedNotif(-1));
#pragma once

#include <string>
#include <vector>

#include "CommandFramework/QORNotification.h"
#include "ObjectModelRuntime/QORBaseUnknown.h"

class QORCommand;
typedef void (QORCommand::*QORCommandMethod)(QORCommand* i_pSender,
                                             QORNotification* i_pNotification, void* i_pClientData);

class QOR_KIT_API QORCommand : public QORBaseUnknown {
 public:
  explicit QORCommand(QORCommand* father = nullptr, const char* name = nullptr);
  ~QORCommand() override;  // leaves its father; its children lose their father

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  QORCommand* GetFather() const { return _pFather; }
  const std::vector<QORCommand*>& GetChildren() const { return _children; }
  const std::string& GetName() const { return _name; }

  // Sends notification from this command to receiver; see the header comment.
  void SendNotification(QORCommand* receiver, QORNotification* notification);

  // Calls method on this command for notifications of that class name (or a derived
  // one) reaching it, from sender or, when sender is null, from anyone. Returns an id
  // for RemoveAnalyseNotificationCB.
  int AddAnalyseNotificationCB(QORCommand* sender, const char* notificationClassName,
                               QORCommandMethod method, void* clientData);
  void RemoveAnalyseNotificationCB(int id);

 private:
  // True when one of this command's callbacks took the notification.
  bool Analyse(QORCommand* sender, QORNotification* notification);

  struct Callback {
    int id;
    QORCommand* sender;
    std::string className;
    QORCommandMethod method;
    void* clientData;
  };
  QORCommand* _pFather;
  std::vector<QORCommand*> _children;
  std::string _name;
  std::vector<Callback> _callbacks;
  int _nextCallbackId = 1;
};
