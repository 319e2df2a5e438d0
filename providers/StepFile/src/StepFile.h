// StepFile.h - maps a STEP text file, reads its HEADER and indexes its DATA instances.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "MappedFile.h"
#include "StepEntry.h"
#include "StepEntryBlock.h"
#include "StepFileHeader.h"
#include "StepParameters.h"
#include "StepTypeTable.h"

namespace step {

template <class T>
struct TableAllocator {
  using value_type = T;
  TableAllocator() = default;
  template <class U>
  TableAllocator(const TableAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateTable(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { FreeTable(p, n * sizeof(T)); }
  friend bool operator==(const TableAllocator&, const TableAllocator&) { return true; }
};
template <class T>
using Table = std::vector<T, TableAllocator<T>>;

// A table that takes whole huge pages or the heap's, as its owner decides when it makes it:
// for tables whose part-filled huge pages pay only in some uses. Default-made, the heap's.
template <class T>
struct ChosenPagesAllocator {
  using value_type = T;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  ChosenPagesAllocator() = default;
  explicit ChosenPagesAllocator(bool hugePages) noexcept : huge(hugePages) {}
  template <class U>
  ChosenPagesAllocator(const ChosenPagesAllocator<U>& other) noexcept : huge(other.huge) {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(huge ? AllocateTable(n * sizeof(T)) : ::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (huge) {
      FreeTable(p, n * sizeof(T));
    } else {
      ::operator delete(p);
    }
  }
  friend bool operator==(const ChosenPagesAllocator& a, const ChosenPagesAllocator& b) {
    return a.huge == b.huge;
  }
  bool huge = false;
};
template <class T>
using ChosenTable = std::vector<T, ChosenPagesAllocator<T>>;

// std::popcount, inline: built for any x86-64, it calls a library routine instead.
inline uint32_t CountBits(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555u;
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<uint32_t>((x * 0x0101010101010101u) >> 56);
}

// Receives, while a file is being indexed, the records of the types it selects: their bytes
// are still in cache then, and their pages are handed back soon after.
//
// A large DATA section is indexed by two threads: the main pass, and a second one that starts
// ahead at a record boundary with about half the expected work before it (a few windows are
// read first: records per byte, and the records Select takes). Records reach the sink from
// thread 0 (the main pass, slots counted from the first record of the file) or thread 1 (the
// stretch read ahead, slots counted from its first record, type codes from its own table).
// When the main pass reaches that stretch it calls Adopt with the slot the stretch starts at
// and the main table's code for each of its type codes, or Discard when the stretch turned
// out not to start at a record (then the main pass reads those records itself, as thread 0).
class StepRecordSink {
 public:
  virtual ~StepRecordSink() = default;
  // Tag for the records of a type (upper-case keyword); 0 leaves them out. Called from both
  // threads at once: the answer must depend on the name only.
  virtual uint8_t Select(std::string_view upperType) const = 0;
  // Tag for complex records whose first part's type Select leaves out: a complex record
  // lists its parts alphabetically, so the part a reader wants may come anywhere in it.
  virtual uint8_t SelectComplex() const { return 0; }
  // A record of a selected type; body is its parameter text, as StepFile::Body gives it.
  virtual void Take(unsigned thread, uint32_t slot, const StepEntry& entry, uint8_t tag,
                    std::string_view body) = 0;
  virtual void Adopt(uint32_t firstSlot, std::span<const uint16_t> typeCodes) = 0;
  virtual void Discard() = 0;
};

struct StepIndexOptions {
  StepRecordSink* sink = nullptr;
  // A DATA section with at least this many bytes left is indexed by two threads; 0 keeps
  // to one.
  std::size_t splitFrom = std::size_t{16} << 20;
  // Where the second thread starts looking for a record boundary (a byte offset); 0 takes the
  // place where the sampled cost halves. Lets tests put the split anywhere.
  std::size_t splitNear = 0;
  // False hands the records to the sink only: Entries() stays empty and Find() finds
  // nothing. For readers that take all they need from the sink, since the index is most of
  // the memory and a good part of the time.
  bool keepIndex = true;
};

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
  bool Open(const std::string& path, std::string& error, const StepIndexOptions& options = {});
  // Indexes bytes owned by the caller; they must outlive this object.
  bool OpenBuffer(std::string_view bytes, std::string& error, const StepIndexOptions& options = {});

  const FileHeader& Header() const { return _header; }
  // First FILE_SCHEMA identifier, upper-cased ("IFC4"); empty when absent.
  const std::string& Schema() const { return _schema; }
  std::string_view Bytes() const { return _bytes; }

  // Instances in file order.
  std::span<const StepEntry> Entries() const { return _entries.View(); }
  const StepEntry* Find(uint64_t id) const;
  std::size_t SlotOf(const StepEntry& e) const {
    return static_cast<std::size_t>(&e - _entries.Data());
  }

  const StepTypeTable& Types() const { return _types; }
  std::string_view TypeName(const StepEntry& e) const { return _types.Name(e.type); }

  // Parameter text of an instance, from its '(' to just before the closing ';'.
  std::string_view Body(const StepEntry& e) const { return _bytes.substr(e.offset, e.length); }
  std::string_view Body(uint64_t offset, uint32_t length) const;
  // Decodes parameters 0..last (see StepParameters::Parse). Complex instances decode to
  // one Typed value per part.
  bool Decode(const StepEntry& e, StepParameters& params,
              std::size_t last = StepParameters::kAll) const;

  // 1-based line of a byte offset, for messages.
  std::size_t LineOf(std::size_t offset) const;

  // Records whose instance number an earlier record has (Find gives the first); counted
  // while the index is built, so 0 when it is not kept. Outlives ReleaseIndex.
  std::size_t DuplicateIds() const { return _duplicateIds; }

  // Offset of the record the second indexing thread started at, when its work was used; 0
  // when the file was indexed by one thread.
  std::size_t SplitOffset() const { return _splitOffset; }

  // Frees the index (entries, id lookup); bytes and header stay usable.
  void ReleaseIndex();
  // See MappedFile::DropResident; nothing happens for a caller's buffer.
  void DropResident(std::size_t begin, std::size_t end) const { _mapping.DropResident(begin, end); }
  // See MappedFile::Populate.
  void Populate(std::size_t begin, std::size_t end) const { _mapping.Populate(begin, end); }
  // Indexing hands pages back each time it has read this many bytes.
  static constexpr std::size_t kDropStride = std::size_t{4} << 20;

 private:
  class Pass;
  struct Ahead;

  bool Index(std::string& error, const StepIndexOptions& options);
  bool ReadHeader(const char*& p, std::string& error);
  bool IndexData(const char*& p, Pass& pass, Ahead* ahead, std::string& error);
  void StartAhead(const char* p, const StepIndexOptions& options, std::atomic<std::size_t>& indexed,
                  Pass& pass, std::unique_ptr<Ahead>& ahead);
  void StopAhead(Ahead& ahead, Pass& pass);
  bool Join(Ahead& ahead, Pass& pass, const char*& p);
  bool MakeRoom(Pass& pass, Ahead* ahead, const char* p, std::string& error);
  bool SkipSection(const char*& p, std::string& error);
  bool ExpectSemicolon(const char*& p, const char* what, std::string& error);
  bool Fail(const char* p, const std::string& what, std::string& error) const;
  void BuildLookup();

  MappedFile _mapping;
  std::string_view _bytes;
  FileHeader _header;
  std::string _schema;
  StepTypeTable _types;
  StepEntryBlock _entries;
  // Id lookup. When ids go up through the file and are compact, a bit per possible id and,
  // for each 64 of them, how many are used below: a record's slot is its id's rank. Else a
  // dense slot table when ids are compact, else (id, slot) pairs sorted by id.
  Table<uint64_t> _idBits;
  Table<uint32_t> _idRanks;
  std::vector<uint32_t> _denseSlots;
  std::vector<std::pair<uint32_t, uint32_t>> _sparseSlots;
  uint32_t _maxId = 0;
  uint32_t _recordCount = 0;  // records of the main pass, and of the stretch it adopted
  std::size_t _splitOffset = 0;
  std::size_t _duplicateIds = 0;
};

}  // namespace step
