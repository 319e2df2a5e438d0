// QORWebAssetsEmbedded.h - the table the build generates (cmake/EmbedWebAssets.cmake).
#pragma once

#include <cstddef>

struct QOREmbeddedWebAsset {
  const char* path;
  const char* begin;
  const char* end;
  const char* mediaType;
};

// The embedded files, in the order the build listed them.
const QOREmbeddedWebAsset* QOREmbeddedWebAssets(size_t* count);
