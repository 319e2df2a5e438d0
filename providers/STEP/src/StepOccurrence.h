// StepOccurrence.h - one node of the expanded product structure: a definition reached through
// one path of usages from a root.
#pragma once

#include <cstdint>

namespace step {

inline constexpr uint32_t kNoIndex = UINT32_MAX;

// 20 bytes: an assembly may expand to millions of these. Indices name records of the
// assembly's StepProductRecords and nodes of the assembly.
struct StepOccurrence {
  uint32_t definition = kNoIndex;
  uint32_t usage = kNoIndex;   // the usage this occurrence comes from; kNoIndex at a root
  uint32_t parent = kNoIndex;  // node index; kNoIndex at a root
  uint32_t firstChild = 0;     // children are nodes [firstChild, firstChild + childCount)
  uint32_t childCount = 0;
};

}  // namespace step
