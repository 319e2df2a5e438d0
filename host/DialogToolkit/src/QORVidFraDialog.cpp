// QORVidFraDialog.cpp - a dialog window with standard buttons, and the arguments of
// its button events.
#include "DialogToolkit/QORVidFraDialog.h"

#include <strings.h>

#include "DialogToolkit/QORVidFraDialogButtonClickedEventArgs.h"
#include "DialogToolkit/src/QORDialogToolkitMeta.h"
#include "DialogToolkit/src/QORWebScriptText.h"
#include "DialogToolkit/src/QORWebWindowSession.h"
#include "EventToolkit/QORCheck.h"
#include "EventToolkit/QOREventLoop.h"
#include "EventToolkit/QORSYPEventArgs.h"

QOR_META_PROTOCOL(QORVidFraDialog, QORVidFraWindow::MetaObject())
QOR_ARGS_META_OBJECT(QORVidFraDialogButtonClickedEventArgs)

QORVidFraDialog::QORVidFraDialog(QORCommand* father, const char* name)
    : QORVidFraWindow(father, name) {}
QORVidFraDialog::~QORVidFraDialog() = default;

QOREvent* QORVidFraDialog::AcceptButtonClicked() {
  static QOREvent* event = new QOREvent("AcceptButtonClicked");
  return event;
}
QOREvent* QORVidFraDialog::RejectButtonClicked() {
  static QOREvent* event = new QOREvent("RejectButtonClicked");
  return event;
}

void QORVidFraDialog::SetStandardButtons(int buttons) {
  _buttons = buttons;
  if (_pSession) _pSession->Update();
}

void QORVidFraDialog::ClickStandardButton(int button) {
  if (!(_buttons & button)) return;  // a button the dialog does not show
  _lastButton = button;
  QORVidFraDialogButtonClickedEventArgs* args = new QORVidFraDialogButtonClickedEventArgs(button);
  if (!args) return;
  RaiseEvent(button == kCancel ? RejectButtonClicked() : AcceptButtonClicked(), args);
  args->Release();
}

void QORVidFraDialog::StandardButtonClicked(const QORString& buttonName) {
  static const struct {
    const char* name;
    int value;
  } kNames[] = {{"OK", kOK}, {"Apply", kApply}, {"Save", kSave}, {"Cancel", kCancel}};
  for (const auto& entry : kNames) {
    if (strcasecmp(entry.name, buttonName.CastToCharPtr()) == 0) {
      ClickStandardButton(entry.value);
      return;
    }
  }
}
