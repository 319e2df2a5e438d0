// MappingEntry.h - what a reader keeps per entity uid: two JSON views of the entity's
// row, consulted in order. In a filter document they are the node's "NLS_grid" and
// "grid"; in a cloud exchange document, the result record and nothing.
#pragma once

#include "JsonStreams/JIStream.h"

struct MappingEntry {
  JSON::JIStream primary;
  JSON::JIStream fallback;
};
