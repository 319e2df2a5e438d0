// FilterCarry.h - carries a user's per-entity choices from the filter document of one
// version of a model into the document generated for its next version.
//
// The old document's "userEdits" (uid -> {column: value}) are written into the new
// document the way the page writes an edit: the value goes into the entity's "grid"
// as a string, and the column's entry in "NLS_grid" goes away, since the reader looks
// there first. The new document's data gets "userEdits" again (so carrying chains from
// version to version) and "carry", which says what changed. Entities are matched by
// uid alone, so this works whatever provider made the documents.
//
//   FilterCarry carry;
//   if (!carry.ReadOldFile(oldPath, error)) ...;
//   if (!carry.Apply(generatedText, carriedText, error)) ...;
//   puts(carry.Summary().c_str());   // "412 edits carried, 17 new, 3 gone, 0 dropped"
//
// Everything of the new document that no edit touches is kept byte for byte: the
// edits are spliced into the generated text, never re-serialised.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "UidSet.h"

class FilterCarry {
 public:
  // The columns compared when the old document records no edits (made by another
  // tool, or before edits were recorded).
  static constexpr const char* kInferredColumns[] = {"Import", "ImportMode"};

  struct Outcome {
    std::string from;  // the old document's filterID
    size_t carried = 0;
    size_t dropped = 0;
    std::vector<std::string> fresh;  // first uids of entities only the new document has
    std::vector<std::string> gone;   // first uids of entities only the old document had
    // The old document had no "userEdits": its Import and ImportMode values that differ
    // from the new document's were carried instead.
    bool inferred = false;
  };

  // Takes what the old document says: its edits (or, without any, its import values)
  // and its uids. False, with the reason, when the document cannot be carried from.
  bool ReadOld(std::string_view old, std::string& error);
  bool ReadOldFile(const std::string& path, std::string& error);
  // The same on a thread of its own, so that reading overlaps the generation; the
  // result comes from FinishReadingOld, which waits for it (as the carrying calls do).
  // Until then the object belongs to that thread.
  void StartReadingOld(const std::string& path);
  bool FinishReadingOld(std::string& error);

  FilterCarry() = default;
  ~FilterCarry();
  FilterCarry(const FilterCarry&) = delete;
  FilterCarry& operator=(const FilterCarry&) = delete;

  // Writes the edits into the text of a freshly generated document.
  bool Apply(std::string_view generated, std::string& carried, std::string& error);

  // The generator's own document, carried in place: saved to a private temporary
  // folder, carried, and loaded back, so that whatever the generator writes next (a
  // file, the dialog's page) holds the carried document.
  bool ApplyTo(QORIInputFilterGenerator& generator, std::string& error);
  // The generator's document, carried and written to path (compact, or indented while
  // "MDW_KWT_TMP" is set, as the generator writes); the generator keeps its own.
  bool WriteTo(QORIInputFilterGenerator& generator, const std::string& path, std::string& error);

  const Outcome& Result() const { return _outcome; }
  // "412 edits carried, 17 new, 3 gone, 0 dropped"
  std::string Summary() const;

 private:
  struct Edit {
    std::string column;
    std::string value;
  };
  bool ReadText(std::string_view old, std::string& error);
  // Waits for a read on its own thread; false with the reason when nothing was read.
  bool Ready(std::string& error);

  // The old document's text, kept while the views below point into it; texts that it
  // escapes are decoded into _oldDecoded and viewed there.
  std::shared_ptr<const void> _oldText;
  std::deque<std::string> _oldDecoded;
  // Edits by uid.
  std::unordered_map<std::string_view, std::vector<Edit>> _edits;
  // Every uid of the old document; each entity's uids in tree order, entity i's ending
  // at _oldEntityEnds[i].
  UidSet _oldUids;
  std::vector<std::string_view> _oldUidList;
  std::vector<size_t> _oldEntityEnds;
  size_t _unreadable = 0;  // members of "userEdits" that are not column -> string
  bool _read = false;
  std::thread _reader;
  std::string _readError;
  Outcome _outcome;

  // A top-level member of a carried text: where its value lies.
  struct TopMember {
    std::string key;
    size_t begin, end;
  };
  void Begin();

  class OldReader;
  class Splicer;
};
