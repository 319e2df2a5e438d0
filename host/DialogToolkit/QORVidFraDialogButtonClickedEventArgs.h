// QORVidFraDialogButtonClickedEventArgs.h - arguments of AcceptButtonClicked and
// RejectButtonClicked: the value of the standard button clicked.
#pragma once

#include "EventToolkit/QOREventArgs.h"

class QOR_KIT_API QORVidFraDialogButtonClickedEventArgs : public QOREventArgs {
  QOR_DECLARE_EVENT_ARGS(QORVidFraDialogButtonClickedEventArgs)

 public:
  explicit QORVidFraDialogButtonClickedEventArgs(int button) : _button(button) {}
  int GetStandardButton() const { return _button; }

 private:
  int _button;
};
