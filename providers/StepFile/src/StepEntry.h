// StepEntry.h - one indexed DATA instance: where its parameters are and what type it is.
#pragma once

#include <cstdint>

namespace step {

// 16 bytes per instance: the index stays around a quarter of the file's size.
struct StepEntry {
  uint32_t id = 0;       // instance number (#id)
  uint32_t length = 0;   // bytes of the parameter text, from '(' up to the ';' (excluded)
  uint64_t offset : 47;  // file offset of that '('
  uint64_t complex : 1;  // "#5=(A()B());": type is the first part's, offset the outer '('
  uint64_t type : 16;    // code in the file's StepTypeTable

  StepEntry() : offset(0), complex(0), type(0) {}
};

}  // namespace step
