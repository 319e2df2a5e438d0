// QORVidFraWindow.cpp - a window: title, buttons and visibility, told to its page
// session.
#include "DialogToolkit/QORVidFraWindow.h"

#include "DialogToolkit/QORDialogToolkit.h"
#include "DialogToolkit/src/QORDialogToolkitMeta.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebWindowSession.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"

QOR_META_PROTOCOL(QORVidFraWindow, QORVidWidget::MetaObject())

QORVidFraWindow::QORVidFraWindow(QORCommand* father, const char* name)
    : QORVidWidget(father, name) {}

QORVidFraWindow::~QORVidFraWindow() {
  if (_pSession) {
    _pSession->Close();
    delete _pSession;
    _pSession = nullptr;
  }
}

QOREvent* QORVidFraWindow::Closed() {
  static QOREvent* event = new QOREvent("Closed");
  return event;
}

void QORVidFraWindow::SetTitle(const QORUnicodeString& title) {
  _title = title;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetCloseButtonFlag(int flag) {
  _closeButton = flag;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetApplicativeWidget(QORVidWidget* widget) {
  _pApplicative = widget;
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::SetVisibleFlag(int visible) {
  _visible = visible ? 1 : 0;
  if (_visible && !_pSession && QORDialogToolkit::GetBackend() == QORDialogToolkit::Backend::Web)
    _pSession = QORWebWindowSession::Open(this);
  if (_pSession) _pSession->Update();
}

void QORVidFraWindow::EnsureVisible() {
  if (!_visible) SetVisibleFlag(1);
}

std::string QORVidFraWindow::GetAddress() const {
  return _pSession ? _pSession->Address() : "";
}
