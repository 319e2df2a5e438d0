// StepProductRecords.h - the product records of a STEP file, decoded while it is indexed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace step {

// References are instance numbers as written (#n); the assembly resolves them.
struct StepProduct {
  uint32_t instance = 0;
  std::string id;  // the part number
  std::string name;
  std::string description;
};

struct StepFormation {
  uint32_t instance = 0;
  uint64_t product = 0;
};

struct StepDefinition {
  uint32_t instance = 0;
  std::string id;
  std::string description;
  uint64_t formation = 0;
};

// NEXT_ASSEMBLY_USAGE_OCCURRENCE: one use of the child definition inside the parent.
struct StepUsage {
  uint32_t instance = 0;
  std::string id;
  std::string name;
  std::string description;
  std::string designator;  // reference designator, often unset
  uint64_t parentRef = 0;
  uint64_t childRef = 0;
  // Definition indices once resolved.
  uint32_t parent = UINT32_MAX;
  uint32_t child = UINT32_MAX;
};

// In file order.
struct StepProductRecords {
  std::vector<StepProduct> products;
  std::vector<StepFormation> formations;
  std::vector<StepDefinition> definitions;
  std::vector<StepUsage> usages;

  void Clear() { *this = StepProductRecords(); }
};

}  // namespace step
