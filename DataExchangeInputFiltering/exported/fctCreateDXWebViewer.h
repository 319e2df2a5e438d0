// fctCreateDXWebViewer.h - the factory of the filter dialog, registered as
// "DXWebViewer": a new dialog without father command, owner or viewer (null when
// memory is exhausted). The argument is ignored.
#pragma once

#include "ObjectModelRuntime/QORTypes.h"

QOR_EXPORT void* fctCreateDXWebViewer(void* ignored);
