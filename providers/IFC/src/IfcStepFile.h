// IfcStepFile.h - maps a STEP text file, reads its HEADER and indexes its DATA instances.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "IfcFileHeader.h"
#include "IfcMappedFile.h"
#include "IfcStepEntry.h"
#include "IfcStepParameters.h"
#include "IfcStepTypeTable.h"

namespace ifc {

// Opening does one pass over the bytes: the header records are decoded, every DATA
// instance "#id = TYPE(...);" is indexed by id with its type interned, and nothing else is
// decoded. Parameters are parsed on demand with Decode(). The file must be complete: a
// missing ENDSEC or END-ISO-10303-21 is reported as truncation. Any schema is accepted
// here; deciding whether it is IFC is the caller's business.
//
// Instance numbers must fit in 32 bits. When a number repeats, Find() returns the first.
// While indexing a mapped file, pages already read are handed back (DropResident), so the
// resident size is the index plus a window rather than the whole file.
class StepFile {
 public:
  StepFile() = default;
  StepFile(const StepFile&) = delete;
  StepFile& operator=(const StepFile&) = delete;
  StepFile(StepFile&&) = default;
  StepFile& operator=(StepFile&&) = default;

  // On failure returns false with a one-line message.
  bool Open(const std::string& path, std::string& error);
  // Indexes bytes owned by the caller; they must outlive this object.
  bool OpenBuffer(std::string_view bytes, std::string& error);

  const FileHeader& Header() const { return header_; }
  // First FILE_SCHEMA identifier, upper-cased ("IFC4"); empty when absent.
  const std::string& Schema() const { return schema_; }
  std::string_view Bytes() const { return bytes_; }

  // Instances in file order.
  std::span<const StepEntry> Entries() const { return entries_; }
  const StepEntry* Find(uint64_t id) const;
  std::size_t SlotOf(const StepEntry& e) const {
    return static_cast<std::size_t>(&e - entries_.data());
  }

  const StepTypeTable& Types() const { return types_; }
  std::string_view TypeName(const StepEntry& e) const { return types_.Name(e.type); }

  // Parameter text of an instance, from its '(' to just before the closing ';'.
  std::string_view Body(const StepEntry& e) const { return bytes_.substr(e.offset, e.length); }
  std::string_view Body(uint64_t offset, uint32_t length) const;
  // Decodes parameters 0..last (see StepParameters::Parse). Complex instances decode to
  // one Typed value per part.
  bool Decode(const StepEntry& e, StepParameters& params,
              std::size_t last = StepParameters::kAll) const;

  // 1-based line of a byte offset, for messages.
  std::size_t LineOf(std::size_t offset) const;

  // Frees the index (entries, id lookup); bytes and header stay usable.
  void ReleaseIndex();
  // See MappedFile::DropResident; nothing happens for a caller's buffer.
  void DropResident(std::size_t begin, std::size_t end) const { mapping_.DropResident(begin, end); }
  // Indexing hands pages back each time it has read this many bytes.
  static constexpr std::size_t kDropStride = std::size_t{16} << 20;

 private:
  bool Index(std::string& error);
  bool ReadHeader(const char*& p, std::string& error);
  bool IndexData(const char*& p, std::string& error);
  bool SkipSection(const char*& p, std::string& error);
  bool ExpectSemicolon(const char*& p, const char* what, std::string& error);
  bool Fail(const char* p, const std::string& what, std::string& error) const;
  void BuildLookup();

  MappedFile mapping_;
  std::string_view bytes_;
  FileHeader header_;
  std::string schema_;
  StepTypeTable types_;
  std::vector<StepEntry> entries_;
  // Id lookup: a dense slot table when ids are compact, else (id, slot) pairs sorted by id.
  std::vector<uint32_t> denseSlots_;
  std::vector<std::pair<uint32_t, uint32_t>> sparseSlots_;
  uint32_t maxId_ = 0;
};

}  // namespace ifc
