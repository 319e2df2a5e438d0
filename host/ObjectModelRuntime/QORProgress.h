// QORProgress.h - progress of long work, reported by components and shown by the
// host.
//
// A component that knows how much work lies ahead (a provider indexing a file, then
// handing over its entities) sets a phase and its total, then advances; the host
// polls from its own thread and draws what it likes. Counters are atomics: reporting
// costs one relaxed add, and nothing is drawn unless the host asks.
//
//   QORProgress::Begin("reading model", fileSize);
//   QORProgress::Advance(bytes);
#pragma once

#include <cstdint>
#include <string>

#include "SystemStrings/QORTypes.h"

class QOR_KIT_API QORProgress {
 public:
  static void Begin(const char* phase, uint64_t total);
  static void Advance(uint64_t amount = 1);
  static void End();

  struct Snapshot {
    std::string phase;  // empty when no work is under way
    uint64_t done = 0;
    uint64_t total = 0;
  };
  static Snapshot Read();
};
