// StepAssembly.h - the product structure of a STEP file (AP203, AP214, AP242), expanded into
// one node per occurrence, as the STEP provider hands it to the generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "StepFileHeader.h"
#include "StepOccurrence.h"
#include "StepProductRecords.h"

namespace step {

class StepFile;
struct StepIndexOptions;

struct StepAssemblyOptions {
  // Code page of string bytes that are not UTF-8; empty reads them as Latin-1.
  std::string codePage;
  // More occurrences than this fail the opening: a small file can expand to millions.
  uint64_t maxOccurrences = 10'000'000;
  // Index on two threads from this many bytes of DATA (see StepIndexOptions); 0 keeps one.
  std::size_t splitFrom = std::size_t{16} << 20;
};

// Reads PRODUCT, PRODUCT_DEFINITION_FORMATION (and its subtype with specified source),
// PRODUCT_DEFINITION (and its subtypes) and NEXT_ASSEMBLY_USAGE_OCCURRENCE, simple or written
// as complex instances; nothing else of the file is decoded. Roots are the definitions that
// are no usage's child, in file order; each usage below a definition gives one child per
// occurrence of that definition, so a part used eight times appears eight times.
//
// Skipped, and counted: usages whose ends are not product definitions, usages that would
// close a cycle (the usage reached last by a depth-first walk from the roots is cut).
//
// Uids (see Uid) are paths of the identifiers the exporter wrote, never instance numbers,
// so a filter saved for one export still answers for the next.
class StepAssembly {
 public:
  StepAssembly();
  ~StepAssembly();
  StepAssembly(const StepAssembly&) = delete;
  StepAssembly& operator=(const StepAssembly&) = delete;

  // On failure returns false with a one-line message.
  bool Open(const std::string& path, std::string& error, const StepAssemblyOptions& options = {});
  bool OpenBuffer(std::string_view bytes, std::string& error,
                  const StepAssemblyOptions& options = {});

  const FileHeader& Header() const { return _header; }
  // "AP203", "AP214" or "AP242" for their schemas; the schema name itself for another one.
  const std::string& SchemaApplication() const { return _application; }

  // Roots come first among the nodes; a node's children follow each other.
  std::span<const StepOccurrence> Roots() const { return {_nodes.data(), _rootCount}; }
  std::span<const StepOccurrence> Children(const StepOccurrence& node) const {
    return {_nodes.data() + node.firstChild, node.childCount};
  }
  std::size_t OccurrenceCount() const { return _nodes.size(); }

  // The label the tree shows: a root's product name, else its id; an occurrence's usage
  // description, else its name, else its id; empty, "$" and blank texts do not count.
  const std::string& Label(const StepOccurrence& node) const;
  // "<root key>/<usage key>/...": a root's key is its product id, else its name; a usage's
  // key its id, else its name, else its description. Keys that repeat among siblings get
  // "~2", "~3" in the order of what they lead to (part number, name, ...), not of the file.
  // "/", "~" and "%" inside keys are written %2F, %7E and %25.
  std::string Uid(const StepOccurrence& node) const;

  // Null when the definition's formation or product is missing from the file.
  const StepProduct* Product(const StepOccurrence& node) const;
  // Occurrences of this definition under the same parent definition; 1 at a root.
  uint32_t Quantity(const StepOccurrence& node) const {
    return node.usage == kNoIndex ? 1 : _usageQuantity[node.usage];
  }
  const StepDefinition& Definition(const StepOccurrence& node) const {
    return _records->definitions[node.definition];
  }
  // Null for a root.
  const StepUsage* Usage(const StepOccurrence& node) const {
    return node.usage == kNoIndex ? nullptr : &_records->usages[node.usage];
  }
  bool IsPart(const StepOccurrence& node) const { return node.childCount == 0; }

  // What was left out, for messages.
  std::size_t SkippedUsages() const { return _skippedUsages; }
  std::size_t CutUsages() const { return _cutCycles; }
  // Complex instances with a product part that could not be read.
  std::size_t UnreadComplex() const { return _unreadComplex; }
  // Product records whose instance number an earlier product record has; references reach
  // the first. Only product records are indexed, so only they are checked.
  std::size_t DuplicateInstances() const { return _duplicateInstances; }
  // All of the above in one line for the user ("3 usages skipped (...), 1 cycle cut");
  // empty when nothing was left out.
  std::string Notes() const;

 private:
  bool Read(const std::string& name, std::string& error, const StepAssemblyOptions& options,
            const std::function<bool(StepFile&, const StepIndexOptions&)>& open);
  // An assembly may be opened again: nothing of the last file stays.
  void Reset();
  bool Build(const std::string& name, std::string& error, const StepAssemblyOptions& options);
  void ResolveReferences();
  void FindRoots();
  void CutCycles();
  void AssignKeys();
  bool Expand(std::string& error, uint64_t limit);
  std::string DefinitionSortKey(uint32_t definition) const;

  FileHeader _header;
  std::string _application;
  std::unique_ptr<StepProductRecords> _records;

  // Per definition: its product's index, and the usages below it (indices into
  // _records->usages, those that survived the cycle cut), in file order.
  std::vector<uint32_t> _productOf;
  std::vector<std::vector<uint32_t>> _below;
  std::vector<uint32_t> _rootDefinitions;
  // Disambiguated keys: one per usage, one per root definition.
  std::vector<std::string> _usageKey;
  std::vector<std::string> _rootKey;
  // How many usages of the same parent lead to the same child definition.
  std::vector<uint32_t> _usageQuantity;

  std::vector<StepOccurrence> _nodes;
  std::size_t _rootCount = 0;
  std::size_t _skippedUsages = 0;
  std::size_t _cutCycles = 0;
  std::size_t _unreadComplex = 0;
  std::size_t _duplicateInstances = 0;
};

}  // namespace step
