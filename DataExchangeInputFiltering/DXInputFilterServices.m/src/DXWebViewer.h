// DXWebViewer.h - the filter dialog: shows the filter document in the filter page,
// relays what the page reports, and hands the edited document back to the generator
// that opened it.
//
// The dialog is not modal. It lives until its owner asks for its delayed destruction;
// on OK (once the page answered), Cancel or closing the window it hides itself and
// tells its father command with QORInputFilterPanelClosedNotif. An answer the owner
// refuses ends it as a Cancel (last clicked button Cancel, reason in QORErrorText). It holds a
// plain pointer to its owner; the owner detaches itself when it drops the dialog, since the page
// can still answer until the delayed destruction has run.
#pragma once

#include "CommandFramework/QORCommand.h"
#include "DialogToolkit/QORVidFraDialog.h"
#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/QORVidJSMessageEventArgs.h"
#include "EventToolkit/QORSYPEventArgs.h"
#include "SystemStrings/QORUnicodeString.h"

class DXInputFilterWebViewer;
class DXWebViewerOwner;

class DXWebViewer : public QORVidFraDialog {
 public:
  explicit DXWebViewer(QORCommand* father);
  ~DXWebViewer() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  // Sets the window up, creates the viewer and shows the page; S_OK, or E_FAIL when
  // the viewer cannot be created.
  HRESULT InitAndShow(QORUnicodeString jsonText, DXWebViewerOwner* owner);
  // The owner lets go of the dialog: answers from then on reach no owner.
  void DetachOwner() { _pOwner = nullptr; }

  void OnWindowClosed(QORBaseUnknown* i_pSender, QORSYPEventArgs* i_pArgs);
  void OnStandardButtonClicked(QORBaseUnknown* i_pSender,
                               QORVidFraDialogButtonClickedEventArgs* i_pArgs);
  void OnPageLoadStart(QORBaseUnknown* i_pSender, QORSYPEventArgs* i_pArgs);
  void OnPageMessage(QORBaseUnknown* i_pSender, QORVidJSMessageEventArgs* i_pArgs);
  void OnButtonReplayNotif(QORCommand* i_pSender, QORNotification* i_pNotification,
                           void* i_pClientData);
  void OnJSReplayNotif(QORCommand* i_pSender, QORNotification* i_pNotification,
                       void* i_pClientData);

 private:
  void HideAndNotifyClosed();
  void OnOkAnswer(QORUnicodeString& document);
  void Notify(QORNotification* notification);
  // Subscribes handler to i_pEvent on widget and gives up the dialog's own reference.
  void Subscribe(QORVidWidget* widget, QOREvent* i_pEvent, QOREventHandler* handler, int flag);

  QORUnicodeString _jsonText;
  QORUnicodeString _sourcePath;
  bool _pageInitialized = false;
  DXWebViewerOwner* _pOwner = nullptr;
  DXInputFilterWebViewer* _pWebViewer = nullptr;
};
