// QORSYPEventArgs.h - arguments of events that carry nothing (a window closed, a page
// started loading).
#pragma once

#include "EventToolkit/QOREventArgs.h"

class QOR_KIT_API QORSYPEventArgs : public QOREventArgs {
  QOR_DECLARE_EVENT_ARGS(QORSYPEventArgs)
};
