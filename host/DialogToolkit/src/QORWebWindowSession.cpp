// QORWebWindowSession.cpp - placeholder until the web backend lands: no session.
#include "DialogToolkit/src/QORWebWindowSession.h"

QORWebWindowSession* QORWebWindowSession::Open(QORVidFraWindow*) { return nullptr; }
