// QORWebAssetsEmbedded.h - the kit's own files, in the table the build generates
// (cmake/EmbedWebAssets.cmake).
#pragma once

#include <cstddef>

#include "DialogToolkit/QORWebAssets.h"

// The embedded files, in the order the build listed them.
const QORWebAssets::Entry* QOREmbeddedWebAssets(size_t* count);
