// QORVidFraWindow.h - a top-level window of the dialog toolkit. On Linux a shown
// window is a page that the kit serves on the loopback interface and opens in a
// browser: its title, its standard buttons, and its applicative widget.
#pragma once

#include <string>

#include "DialogToolkit/QORVidWidget.h"
#include "SystemStrings/QORUnicodeString.h"

class QORWebWindowSession;

class QOR_KIT_API QORVidFraWindow : public QORVidWidget {
 public:
  QORVidFraWindow(QORCommand* father, const char* name);
  ~QORVidFraWindow() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  void SetTitle(const QORUnicodeString& title);
  const QORUnicodeString& GetTitle() const { return _title; }
  void SetCloseButtonFlag(int flag);
  int GetCloseButtonFlag() const { return _closeButton; }
  void SetResizableFlag(int flag) { _resizable = flag; }
  void SetCompactFlag(int flag) { _compact = flag; }
  void SetMinimizeButtonFlag(int flag) { _minimizeButton = flag; }
  // The widget that fills the window's content area.
  void SetApplicativeWidget(QORVidWidget* widget);
  QORVidWidget* GetApplicativeWidget() const { return _pApplicative; }
  // 1 shows the window (its page opens); 0 hides it (the page says the dialog closed).
  void SetVisibleFlag(int visible);
  int GetVisibleFlag() const { return _visible; }
  void EnsureVisible();

  // Raised when the user closes the window.
  static QOREvent* Closed();

  // The window's page address once shown ("" before, or without a web session).
  std::string GetAddress() const;
  // The page session that shows this window (kit internal).
  QORWebWindowSession* GetSession() const { return _pSession; }

 protected:
  QORUnicodeString _title;
  int _closeButton = 1;
  int _resizable = 1;
  int _compact = 0;
  int _minimizeButton = 1;
  int _visible = 0;
  QORVidWidget* _pApplicative = nullptr;
  QORWebWindowSession* _pSession = nullptr;
};
