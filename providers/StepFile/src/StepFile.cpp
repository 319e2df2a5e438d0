#include "StepFile.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "StepIndexProgress.h"
#include "StepLexer.h"
#include "StepRecordEnds.h"
#include "StepString.h"

namespace step {

namespace {

using L = StepLexer;

constexpr uint32_t kNoSlot = UINT32_MAX;
// What the type look-up gives for "#1=(...)" or "#1=!(...)".
constexpr int kNoKeyword = StepTypeTable::kNotFound - 1;

// True when the input ends with a proper prefix of `keyword`: the file was cut inside it.
bool EndsInsideKeyword(const char* p, const char* end, const char* keyword) {
  const auto rest = static_cast<std::size_t>(end - p);
  return rest < std::strlen(keyword) && std::memcmp(p, keyword, rest) == 0;
}

std::string_view ReadKeyword(const char*& p, const char* end) {
  const char* start = p;
  if (p < end && *p == '!') ++p;  // user-defined entity
  while (p < end && L::IsKeywordChar(*p)) ++p;
  return {start, static_cast<std::size_t>(p - start)};
}

std::vector<std::string> DecodeStringList(const StepParameters& params, const StepValue& v) {
  std::vector<std::string> out;
  for (const StepValue& item : params.Items(v)) {
    if (item.kind == StepKind::String) out.push_back(StepString::Decode(item.text));
  }
  return out;
}

}  // namespace

// One indexing pass over DATA records: the main pass, or the one reading ahead on the second
// thread. Each has its own entries and type table; the one ahead is quiet (its errors are
// found again, and worded, by the main pass).
class StepFile::Pass {
 public:
  enum class Stop { kSection, kWatch, kFull, kError, kCancelled };

  Pass(const StepFile& file, StepEntryBlock& entries, StepTypeTable& types, uint32_t& maxId,
       StepRecordSink* sink, unsigned thread, bool quiet, std::atomic<std::size_t>& indexed,
       bool keep, uint32_t& count)
      : _file(file),
        _pBase(file._bytes.data()),
        _pEnd(_pBase + file._bytes.size()),
        _entries(entries),
        _types(types),
        _maxId(maxId),
        _pSink(sink),
        _complexTag(sink != nullptr ? sink->SelectComplex() : uint8_t{0}),
        _thread(thread),
        _quiet(quiet),
        _indexed(indexed),
        _keep(keep),
        _count(count) {
    Sync();
  }

  // Indexes records from p until what follows is not a record (p is left on it, past white
  // space), a record starts at or after `watch`, `cancel` is set, or an error. kFull leaves p
  // on a record that has no slot below the output's stop; nothing of it was handed on.
  Stop Run(const char*& p, const char* watch, const std::atomic<bool>* cancel, std::string& error);

  // Entries go to slots [next, stop) of the block.
  void Output(std::size_t next, std::size_t stop) {
    _next = next;
    _stop = stop;
  }
  std::size_t Next() const { return _next; }
  std::size_t Limit() const { return _stop; }

  // The main pass continues at p after taking over the records before it.
  void Resume(const char* p) {
    Sync();
    _last = 0;
    _dropped = static_cast<std::size_t>(p - _pBase);
  }
  void Start(const char* p) {
    _dropped = static_cast<std::size_t>(p - _pBase);
    _file.Populate(_dropped, _dropped + kDropStride);
  }
  bool Keeps() const { return _keep; }
  void DropTo(const char* p) const {
    _file.DropResident(_dropped, static_cast<std::size_t>(p - _pBase));
  }

 private:
  static constexpr uint16_t kNoGuess = 0xFFFF;
  static constexpr std::size_t kGuesses = 4;

  // Mirrors codes the table gained since the last look: names for the guesses, sink tags.
  void Sync() {
    while (_names.size() < _types.Size()) {
      const auto code = static_cast<uint32_t>(_names.size());
      _names.push_back(_types.Name(code));
      _tags.push_back(_pSink != nullptr ? _pSink->Select(_names.back()) : 0);
    }
    _guesses.resize(kGuesses * (_names.size() + 1), kNoGuess);
  }
  // The type keyword at p (p moves past it): a code, kNoKeyword or kNotFound (table full).
  int TypeAt(const char*& p) {
    uint16_t* row = &_guesses[kGuesses * static_cast<std::size_t>(_last)];
    const auto left = static_cast<std::size_t>(_pEnd - p);
    for (std::size_t k = 0; k < kGuesses; ++k) {
      const uint16_t code = row[k];
      if (code == kNoGuess) break;
      const std::string_view name = _names[code];
      if (name.size() < left && L::SameBytes(p, name.data(), name.size()) &&
          !L::IsKeywordChar(p[name.size()])) {
        if (k != 0) std::swap(row[k - 1], row[k]);
        p += name.size();
        _last = code + 1u;
        return code;
      }
    }
    return Lookup(p);
  }
  int Lookup(const char*& p);
  bool Fail(const char* p, const std::string& what, std::string& error) const {
    if (!_quiet) {
      error = "line " + std::to_string(_file.LineOf(static_cast<std::size_t>(p - _pBase))) + ": " +
              what;
    }
    return false;
  }

  const StepFile& _file;
  const char* const _pBase;
  const char* const _pEnd;
  StepEntryBlock& _entries;
  std::size_t _next = 0;
  std::size_t _stop = 0;
  StepTypeTable& _types;
  uint32_t& _maxId;
  StepRecordSink* const _pSink;
  const uint8_t _complexTag;
  const unsigned _thread;
  const bool _quiet;
  // Bytes indexed by both passes, for progress; the main pass reports it.
  std::atomic<std::size_t>& _indexed;
  // Whether entries are kept; records are counted either way (the sink's slots).
  const bool _keep;
  uint32_t& _count;
  std::size_t _dropped = 0;
  StepRecordEnds _recordEnds;

  std::vector<std::string_view> _names;  // views into _types, which never moves its names
  std::vector<uint8_t> _tags;
  // Records come in recurring sequences (point, placement, shape, ...): for each type, the
  // four types that last followed it are tried before the keyword is scanned and hashed (a
  // miss costs as much as a dozen tries); a hit moves up one place, a new one comes first.
  // Row 0 is for the first record; row code + 1 follows type `code`.
  std::vector<uint16_t> _guesses;
  uint32_t _last = 0;
};

int StepFile::Pass::Lookup(const char*& p) {
  const std::string_view keyword = ReadKeyword(p, _pEnd);
  if (keyword.empty() || keyword == "!") return kNoKeyword;
  const int code = _types.Intern(keyword);
  if (code == StepTypeTable::kNotFound) return code;
  Sync();
  uint16_t* row = &_guesses[kGuesses * static_cast<std::size_t>(_last)];
  std::copy_backward(row, row + kGuesses - 1, row + kGuesses);
  row[0] = static_cast<uint16_t>(code);
  _last = static_cast<uint32_t>(code) + 1;
  return code;
}

StepFile::Pass::Stop StepFile::Pass::Run(const char*& p, const char* watch,
                                         const std::atomic<bool>* cancel, std::string& error) {
  const char* const base = _pBase;
  const char* const end = _pEnd;
  auto truncated = [&](const char* what) {
    if (!_quiet) error = std::string("truncated file: ") + what;
    return Stop::kError;
  };
  auto fail = [&](const char* at, const std::string& what) {
    Fail(at, what, error);
    return Stop::kError;
  };
  _recordEnds.Reset();  // p may come from a section header or the records read ahead

  for (;;) {
    if (static_cast<std::size_t>(p - base) - _dropped >= kDropStride) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return Stop::kCancelled;
      DropTo(p);
      const auto now = static_cast<std::size_t>(p - base);
      _file.Populate(now, now + kDropStride);
      const std::size_t indexed =
          _indexed.fetch_add(now - _dropped, std::memory_order_relaxed) + (now - _dropped);
      // Bytes read again after a stretch read ahead was discarded count twice: clamp.
      if (_thread == 0) {
        StepIndexProgress::Report(std::min(indexed, _file._bytes.size()), _file._bytes.size());
      }
      _dropped = now;
    }
    p = L::SkipSpace(p, end);
    if (p >= end) return truncated("the DATA section has no ENDSEC");
    if (*p != '#') return Stop::kSection;
    if (watch != nullptr && p >= watch) return Stop::kWatch;
    const char* recordStart = p;
    ++p;
    uint64_t id = 0;
    const char* digits = p;
    p = L::ReadDigits8(p, end, id);
    while (p < end && L::IsDigit(*p)) {
      id = id * 10 + static_cast<uint64_t>(*p - '0');
      if (id > UINT32_MAX - 1) return fail(recordStart, "instance number too large");
      ++p;
    }
    if (p == digits) {
      if (p >= end) return truncated("the last instance is incomplete");
      return fail(recordStart, "expected digits after '#'");
    }
    p = L::SkipSpace(p, end);
    if (p >= end) return truncated("the last instance is incomplete");
    if (*p != '=') return fail(p, "expected '=' after #" + std::to_string(id));
    p = L::SkipSpace(p + 1, end);
    if (p >= end) return truncated("the last instance is incomplete");

    StepEntry entry;
    entry.id = static_cast<uint32_t>(id);
    const char* bodyStart = nullptr;
    int code = 0;
    if (*p == '(') {
      bodyStart = p;
      const char* q = L::SkipSpace(p + 1, end);
      code = TypeAt(q);
      entry.complex = 1;
    } else {
      code = TypeAt(p);
      p = L::SkipSpace(p, end);
      if (p >= end) return truncated("the last instance is incomplete");
      if (*p != '(') return fail(p, "expected '(' in #" + std::to_string(id));
      bodyStart = p;
    }
    if (code == kNoKeyword) {
      if (bodyStart + 1 >= end) return truncated("the last instance is incomplete");
      return fail(recordStart, "instance #" + std::to_string(id) + " has no type");
    }
    if (code == StepTypeTable::kNotFound) {
      return fail(recordStart, "too many distinct entity types");
    }
    entry.type = static_cast<uint16_t>(code);

    const char* close = _recordEnds.Find(bodyStart, end);
    if (close == nullptr) return truncated("the last instance is not terminated by ';'");
    const auto length = static_cast<uint64_t>(close - bodyStart);
    if (length > UINT32_MAX) return fail(recordStart, "instance larger than 4 GiB");
    if (_count >= UINT32_MAX - 1) return fail(recordStart, "too many instances");
    if (_keep && _next == _stop) {
      p = recordStart;
      return Stop::kFull;
    }
    entry.offset = static_cast<uint64_t>(bodyStart - base);
    entry.length = static_cast<uint32_t>(length);
    uint8_t tag = _tags[static_cast<std::size_t>(code)];
    if (tag == 0 && entry.complex) tag = _complexTag;
    if (tag != 0) {
      _pSink->Take(_thread, _count, entry, tag,
                   std::string_view(bodyStart, static_cast<std::size_t>(length)));
    }
    if (_keep) _entries.Data()[_next++] = entry;
    ++_count;
    if (entry.id > _maxId) _maxId = entry.id;
    p = close + 1;
  }
}

// The stretch read ahead on the second thread.
struct StepFile::Ahead {
  const char* start = nullptr;  // the '#' of the record it starts with
  const char* stop = nullptr;   // where it ended: past the last record and the white space after
  std::size_t first = 0;        // its entries go to the block from this slot
  std::size_t entries = 0;      // how many it wrote
  StepTypeTable types;
  uint32_t maxId = 0;
  std::atomic<bool> cancel{false};
  bool ok = false;
  bool pending = true;  // not yet joined into the main pass
  StepRecordSink* sink = nullptr;
  std::atomic<std::size_t>* indexed = nullptr;
  bool keep = true;
  uint32_t count = 0;
  std::thread thread;

  ~Ahead() {
    cancel.store(true, std::memory_order_relaxed);
    if (thread.joinable()) thread.join();
    if (pending && sink != nullptr) sink->Discard();
  }
};

namespace {

// A plausible record start at or after `from`: a ';', white space, then "#<digit>". It may
// still lie inside a string or a comment; the main pass finds out when it gets there.
const char* GuessRecordStart(const char* from, const char* end) {
  constexpr std::size_t kSearch = std::size_t{4} << 20;
  const char* limit = end - from > static_cast<std::ptrdiff_t>(kSearch) ? from + kSearch : end;
  const char* q = from;
  while (q < limit) {
    const void* semi = std::memchr(q, ';', static_cast<std::size_t>(limit - q));
    if (semi == nullptr) return nullptr;
    const char* r = static_cast<const char*>(semi) + 1;
    while (r < end && L::IsSpace(*r)) ++r;
    if (end - r >= 2 && r[0] == '#' && L::IsDigit(r[1])) return r;
    q = static_cast<const char*>(semi) + 1;
  }
  return nullptr;
}

// Slots for the records of `bytes` bytes, `estimate` of them expected, never more than can
// fit (a record takes at least six bytes, "#1=A(;"). The main pass's margin is small: the
// slots between its last entry and the stretch's first are fresh pages the join fills.
std::size_t MainSlotsFor(double estimate, std::size_t bytes) {
  return std::min(static_cast<std::size_t>(estimate * 1.05) + 1024, bytes / 6 + 1);
}
// The stretch's margin is wide: running out, it gives up its work. Unwritten slots are free.
std::size_t AheadSlotsFor(double estimate, std::size_t bytes) {
  const std::size_t guess =
      std::max(static_cast<std::size_t>(estimate * 1.25) + 4096, bytes / 32 + 16);
  return std::min(guess, bytes / 6 + 1);
}

// What indexing is expected to cost along a DATA section, from small windows read before the
// second thread starts. Bytes are not cost: records per byte differ along a file, and so do
// the records the sink takes (it parses each).
class CostSample {
 public:
  CostSample(const char* begin, const char* end, StepRecordSink* sink)
      : _pBegin(begin),
        _size(static_cast<std::size_t>(end - begin)),
        _segment(_size / kWindows + 1) {
    const uint8_t complexTag = sink != nullptr ? sink->SelectComplex() : uint8_t{0};
    const std::size_t width = std::min(kWidth, _segment);
    for (std::size_t at = 0; at < _size; at += _segment) {
      const std::size_t from = std::min(at + (_segment - width) / 2, _size);
      const std::size_t stop = std::min(from + width, _size);
      _windows.push_back(Read(begin + from, begin + stop, end, sink, complexTag));
    }
  }

  // Where about half the cost lies before.
  const char* Middle() const {
    double total = 0;
    for (const Window& w : _windows) total += w.cost;
    double before = 0;
    for (std::size_t k = 0; k < _windows.size(); ++k) {
      const double cost = _windows[k].cost;
      if (before + cost >= total / 2 && cost > 0) {
        const double part = (total / 2 - before) / cost;
        const auto at = k * _segment + static_cast<std::size_t>(part * double(_segment));
        return _pBegin + std::min(at, _size);
      }
      before += cost;
    }
    return _pBegin + _size / 2;
  }

  // Records expected in [from, to).
  double Records(const char* from, const char* to) const {
    const auto begin = static_cast<std::size_t>(from - _pBegin);
    const auto end = static_cast<std::size_t>(to - _pBegin);
    double records = 0;
    for (std::size_t k = 0; k < _windows.size(); ++k) {
      const std::size_t a = std::max(begin, k * _segment);
      const std::size_t b = std::min(end, (k + 1) * _segment);
      if (a < b) records += _windows[k].records * double(b - a) / double(_segment);
    }
    return records;
  }

 private:
  static constexpr std::size_t kWindows = 32;
  static constexpr std::size_t kWidth = 16 << 10;
  // In bytes scanned: a record costs about as much as this many bytes, a record the sink
  // takes this much more, and each byte of it this much more again.
  static constexpr double kRecordCost = 40;
  static constexpr double kTakenCost = 200;
  static constexpr double kTakenByteCost = 2;

  // Cost and records of a window, each scaled to its whole segment.
  struct Window {
    double cost = 0;
    double records = 0;
  };

  Window Read(const char* from, const char* stop, const char* end, StepRecordSink* sink,
              uint8_t complexTag) {
    const char* q = from == _pBegin ? from : GuessRecordStart(from, stop);
    if (q == nullptr) return Uniform();
    const char* const first = q;
    const char* last = q;
    double records = 0, cost = 0;
    while (q < stop && *q == '#') {
      ++q;
      while (q < end && L::IsDigit(*q)) ++q;
      q = L::SkipSpace(q, end);
      if (q >= end || *q != '=') break;
      q = L::SkipSpace(q + 1, end);
      uint8_t tag = complexTag;
      if (q < end && *q != '(') {
        const std::string_view keyword = ReadKeyword(q, end);
        const int code = keyword.empty() ? StepTypeTable::kNotFound : _types.Intern(keyword);
        if (code == StepTypeTable::kNotFound) break;
        while (_tags.size() < _types.Size()) {
          _tags.push_back(sink != nullptr ? sink->Select(_types.Name(uint32_t(_tags.size()))) : 0);
        }
        tag = _tags[static_cast<std::size_t>(code)];
        q = L::SkipSpace(q, end);
      }
      // A long record ends the window rather than be followed far.
      const char* close = L::FindRecordEnd(q, std::min(end, stop + kWidth));
      if (close == nullptr) break;
      records += 1;
      cost += kRecordCost;
      if (tag != 0) cost += kTakenCost + kTakenByteCost * double(close - q);
      last = close + 1;
      q = L::SkipSpace(last, end);
    }
    if (records == 0) return Uniform();
    const double scale = double(_segment) / double(last - first);
    return {(cost + double(last - first)) * scale, records * scale};
  }
  // A window without a record to read: the usual density.
  Window Uniform() const {
    return {double(_segment) * (1 + kRecordCost / 32), double(_segment) / 32};
  }

  const char* const _pBegin;
  const std::size_t _size;
  const std::size_t _segment;
  std::vector<Window> _windows;
  StepTypeTable _types;
  std::vector<uint8_t> _tags;
};

}  // namespace

bool StepFile::Open(const std::string& path, std::string& error, const StepIndexOptions& options) {
  *this = StepFile();
  if (!_mapping.Open(path, error)) return false;
  _bytes = _mapping.Bytes();
  return Index(error, options);
}

bool StepFile::OpenBuffer(std::string_view bytes, std::string& error,
                          const StepIndexOptions& options) {
  *this = StepFile();
  _bytes = bytes;
  return Index(error, options);
}

std::string_view StepFile::Body(uint64_t offset, uint32_t length) const {
  if (offset > _bytes.size()) return {};
  return _bytes.substr(static_cast<std::size_t>(offset), length);
}

bool StepFile::Decode(const StepEntry& e, StepParameters& params, std::size_t last) const {
  if (e.complex) return params.ParseComplex(Body(e));
  return params.Parse(Body(e), last);
}

std::size_t StepFile::LineOf(std::size_t offset) const {
  offset = std::min(offset, _bytes.size());
  return 1 + static_cast<std::size_t>(std::count(
                 _bytes.begin(), _bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

bool StepFile::Fail(const char* p, const std::string& what, std::string& error) const {
  error =
      "line " + std::to_string(LineOf(static_cast<std::size_t>(p - _bytes.data()))) + ": " + what;
  return false;
}

bool StepFile::ExpectSemicolon(const char*& p, const char* what, std::string& error) {
  const char* end = _bytes.data() + _bytes.size();
  p = L::SkipSpace(p, end);
  if (p >= end) {
    error = std::string("truncated file: no ';' after ") + what;
    return false;
  }
  if (*p != ';') return Fail(p, std::string("expected ';' after ") + what, error);
  ++p;
  return true;
}

bool StepFile::Index(std::string& error, const StepIndexOptions& options) {
  const char* p = _bytes.data();
  const char* end = p + _bytes.size();
  if (_bytes.empty()) {
    error = "not a STEP file: the file is empty";
    return false;
  }
  if (_bytes.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  p = L::SkipSpace(p, end);
  if (!L::StartsWithKeyword(p, end, "ISO-10303-21")) {
    error = "not a STEP file: it does not start with ISO-10303-21";
    return false;
  }
  p += std::strlen("ISO-10303-21");
  if (!ExpectSemicolon(p, "ISO-10303-21", error)) return false;
  if (!ReadHeader(p, error)) return false;

  bool sawData = false;
  std::atomic<std::size_t> indexed{0};
  Pass pass(*this, _entries, _types, _maxId, options.sink, 0, false, indexed, options.keepIndex,
            _recordCount);
  // Declared after the pass: a thread still reading ahead is stopped before the pass goes.
  std::unique_ptr<Ahead> ahead;
  for (;;) {
    p = L::SkipSpace(p, end);
    if (p >= end || EndsInsideKeyword(p, end, "END-ISO-10303-21")) {
      error = "truncated file: no END-ISO-10303-21 after the last section";
      return false;
    }
    if (L::StartsWithKeyword(p, end, "END-ISO-10303-21")) break;  // trailing bytes ignored
    const char* sectionStart = p;
    const std::string_view keyword = ReadKeyword(p, end);
    if (keyword.empty()) {
      return Fail(p, "expected a section keyword or END-ISO-10303-21", error);
    }
    p = L::SkipSpace(p, end);
    if (p < end && *p == '(') {  // DATA('name', ('schema')) in files with several sections
      const char* close = L::FindRecordEnd(p, end);
      if (close == nullptr) {
        error = "truncated file: unterminated section header";
        return false;
      }
      p = close;
    }
    if (!ExpectSemicolon(p, "the section keyword", error)) return false;
    if (keyword == "DATA") {
      if (!sawData) StartAhead(p, options, indexed, pass, ahead);
      sawData = true;
      if (!IndexData(p, pass, ahead.get(), error)) return false;
    } else if (keyword == "HEADER") {
      return Fail(sectionStart, "a second HEADER section", error);
    } else if (!SkipSection(p, error)) {
      return false;
    }
  }
  if (!sawData) {
    error = "not a usable STEP file: it has no DATA section";
    return false;
  }
  if (options.keepIndex) {
    _entries.SetSize(pass.Next());
    BuildLookup();
  }
  StepIndexProgress::Report(_bytes.size(), _bytes.size());
  return true;
}

bool StepFile::ReadHeader(const char*& p, std::string& error) {
  const char* end = _bytes.data() + _bytes.size();
  p = L::SkipSpace(p, end);
  if (!L::StartsWithKeyword(p, end, "HEADER")) {
    if (p >= end || EndsInsideKeyword(p, end, "HEADER")) {
      error = "truncated file: no HEADER section";
      return false;
    }
    return Fail(p, "expected HEADER after ISO-10303-21", error);
  }
  p += std::strlen("HEADER");
  if (!ExpectSemicolon(p, "HEADER", error)) return false;

  StepParameters params;
  for (;;) {
    p = L::SkipSpace(p, end);
    if (p >= end) {
      error = "truncated file: the HEADER section has no ENDSEC";
      return false;
    }
    if (L::StartsWithKeyword(p, end, "ENDSEC")) {
      p += std::strlen("ENDSEC");
      return ExpectSemicolon(p, "ENDSEC", error);
    }
    const char* recordStart = p;
    const std::string_view keyword = ReadKeyword(p, end);
    if (keyword.empty()) {
      if (EndsInsideKeyword(p, end, "ENDSEC")) {
        error = "truncated file: the HEADER section has no ENDSEC";
        return false;
      }
      return Fail(p, "expected a header record or ENDSEC", error);
    }
    p = L::SkipSpace(p, end);
    if (p >= end) {
      error = "truncated file: the HEADER section has no ENDSEC";
      return false;
    }
    if (*p != '(') return Fail(p, "expected '(' after " + std::string(keyword), error);
    const char* close = L::FindRecordEnd(p, end);
    if (close == nullptr) {
      error = "truncated file: header record " + std::string(keyword) + " is not terminated";
      return false;
    }
    const std::string_view body(p, static_cast<std::size_t>(close - p));
    p = close + 1;
    if (!params.Parse(body)) {
      return Fail(recordStart, "malformed header record " + std::string(keyword), error);
    }
    if (keyword == "FILE_DESCRIPTION") {
      _header.description = DecodeStringList(params, params.At(0));
      _header.implementationLevel = params.DecodedString(1);
    } else if (keyword == "FILE_NAME") {
      _header.name = params.DecodedString(0);
      _header.timeStamp = params.DecodedString(1);
      _header.author = DecodeStringList(params, params.At(2));
      _header.organization = DecodeStringList(params, params.At(3));
      _header.preprocessorVersion = params.DecodedString(4);
      _header.originatingSystem = params.DecodedString(5);
      _header.authorization = params.DecodedString(6);
    } else if (keyword == "FILE_SCHEMA") {
      _header.schemas = DecodeStringList(params, params.At(0));
      if (!_header.schemas.empty()) {
        _schema = _header.schemas.front();
        for (char& c : _schema) {
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
      }
    }
  }
}

bool StepFile::SkipSection(const char*& p, std::string& error) {
  const char* end = _bytes.data() + _bytes.size();
  for (;;) {
    p = L::SkipSpace(p, end);
    if (p >= end) {
      error = "truncated file: a section has no ENDSEC";
      return false;
    }
    if (L::StartsWithKeyword(p, end, "ENDSEC")) {
      p += std::strlen("ENDSEC");
      return ExpectSemicolon(p, "ENDSEC", error);
    }
    const char* close = L::FindRecordEnd(p, end);
    if (close == nullptr) {
      error = "truncated file: a section has no ENDSEC";
      return false;
    }
    p = close + 1;
  }
}

void StepFile::StartAhead(const char* p, const StepIndexOptions& options,
                          std::atomic<std::size_t>& indexed, Pass& pass,
                          std::unique_ptr<Ahead>& ahead) {
  const char* const base = _bytes.data();
  const char* const end = base + _bytes.size();
  if (options.splitFrom == 0 || static_cast<std::size_t>(end - p) < options.splitFrom) return;
  const CostSample sample(p, end, options.sink);
  const char* from = options.splitNear != 0 && options.splitNear < _bytes.size()
                         ? base + options.splitNear
                         : std::max(sample.Middle(), p + 1);
  if (from <= p) return;
  const char* start = GuessRecordStart(from, end);
  if (start == nullptr) return;

  auto next = std::make_unique<Ahead>();
  next->start = start;
  next->sink = options.sink;
  next->indexed = &indexed;
  next->keep = options.keepIndex;
  if (next->keep) {
    // The stretch's slots begin where the main pass's are expected to end, with a margin.
    const std::size_t before =
        MainSlotsFor(sample.Records(p, start), static_cast<std::size_t>(start - p));
    try {
      _entries.Reserve(before + AheadSlotsFor(sample.Records(start, end),
                                              static_cast<std::size_t>(end - start)));
    } catch (const std::bad_alloc&) {
      return;  // one pass, which asks for less
    }
    next->first = before;
    pass.Output(0, before);
  }
  Ahead* const a = next.get();
  try {
    a->thread = std::thread([this, a] {
      // Whatever goes wrong here (memory, say) the main pass meets again and reports.
      try {
        Pass pass(*this, _entries, a->types, a->maxId, a->sink, 1, true, *a->indexed, a->keep,
                  a->count);
        pass.Output(a->first, _entries.Capacity());
        pass.Start(a->start);
        const char* q = a->start;
        std::string unused;
        // Out of slots (a denser stretch than sampled) it gives up; the main pass reads on.
        a->ok = pass.Run(q, nullptr, &a->cancel, unused) == Pass::Stop::kSection;
        a->stop = q;
        a->entries = pass.Next() - a->first;
        pass.DropTo(q);
      } catch (...) {
        a->ok = false;
      }
    });
  } catch (const std::system_error&) {
    next->pending = false;  // no thread: the sink has seen nothing from it
    pass.Output(0, _entries.Capacity());
    return;
  }
  ahead = std::move(next);
}

void StepFile::StopAhead(Ahead& ahead, Pass& pass) {
  ahead.cancel.store(true, std::memory_order_relaxed);
  if (ahead.thread.joinable()) ahead.thread.join();
  ahead.pending = false;
  if (ahead.sink != nullptr) ahead.sink->Discard();
  // Its slots are the main pass's again.
  pass.Output(pass.Next(), _entries.Capacity());
}

bool StepFile::Join(Ahead& ahead, Pass& pass, const char*& p) {
  if (ahead.thread.joinable()) ahead.thread.join();
  bool usable = ahead.ok && p == ahead.start &&
                std::size_t{_recordCount} + ahead.count <= std::size_t{UINT32_MAX} - 1;
  if (usable) {
    // The types it met first get the next codes, in its order: the same codes one pass gives.
    std::size_t fresh = 0;
    for (uint32_t code = 0; code < ahead.types.Size(); ++code) {
      if (_types.Find(ahead.types.Name(code)) == StepTypeTable::kNotFound) ++fresh;
    }
    usable = _types.Size() + fresh <= StepTypeTable::kMaxTypes;
  }
  if (!usable) {
    StopAhead(ahead, pass);
    return false;
  }
  ahead.pending = false;
  std::vector<uint16_t> codes(ahead.types.Size());
  for (uint32_t code = 0; code < ahead.types.Size(); ++code) {
    codes[code] = static_cast<uint16_t>(_types.Intern(ahead.types.Name(code)));
  }
  const uint32_t firstSlot = _recordCount;
  _recordCount += ahead.count;
  if (ahead.keep) {
    // The stretch moves down next to the main pass's entries, in place: its first slot was
    // set at or past where theirs end.
    StepEntry* const data = _entries.Data();
    const std::size_t to = pass.Next();
    for (std::size_t i = 0; i < ahead.entries; ++i) {
      StepEntry e = data[ahead.first + i];
      e.type = codes[e.type];
      data[to + i] = e;
    }
    // The slots the move left behind hold nothing now.
    const std::size_t stop = to + ahead.entries;
    ReleasePages(data + stop, (ahead.first - to) * sizeof(StepEntry));
    pass.Output(stop, _entries.Capacity());
  }
  if (ahead.maxId > _maxId) _maxId = ahead.maxId;
  if (ahead.sink != nullptr) ahead.sink->Adopt(firstSlot, codes);
  _splitOffset = static_cast<std::size_t>(ahead.start - _bytes.data());
  p = ahead.stop;
  pass.Resume(p);
  return true;
}

bool StepFile::MakeRoom(Pass& pass, Ahead* ahead, const char* p, std::string& error) {
  try {
    if (ahead != nullptr && ahead->pending && pass.Limit() == ahead->first) {
      // More records before the split than sampled: once the stretch is done, its entries
      // move up to make room. One that failed is given up.
      if (ahead->thread.joinable()) ahead->thread.join();
      if (!ahead->ok) {
        StopAhead(*ahead, pass);
        if (pass.Next() < pass.Limit()) return true;
      } else {
        const std::size_t left = static_cast<std::size_t>(ahead->start - p) / 6 + 1;
        const std::size_t more = std::min(left, pass.Next() / 4 + 4096);
        const std::size_t need = ahead->first + more + ahead->entries;
        if (need > _entries.Capacity()) {
          _entries.SetSize(ahead->first + ahead->entries);
          _entries.Reserve(need + need / 4);
        }
        StepEntry* const data = _entries.Data();
        std::memmove(data + ahead->first + more, data + ahead->first,
                     ahead->entries * sizeof(StepEntry));
        ahead->first += more;
        pass.Output(pass.Next(), ahead->first);
        return true;
      }
    }
    _entries.SetSize(pass.Next());
    _entries.Reserve(_entries.Capacity() + _entries.Capacity() / 2 + 1024);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to index the file";
    return false;
  }
  pass.Output(pass.Next(), _entries.Capacity());
  return true;
}

bool StepFile::IndexData(const char*& p, Pass& pass, Ahead* ahead, std::string& error) {
  const char* const end = _bytes.data() + _bytes.size();
  // Records are rarely shorter than 32 bytes; reserving up front avoids the copy (and the
  // doubled peak) of growing. Untouched reserved pages cost no resident memory.
  if (pass.Keeps() && _entries.Capacity() == 0) {
    try {
      _entries.Reserve(_bytes.size() / 32 + 16);
    } catch (const std::bad_alloc&) {
      error = "not enough memory to index the file";
      return false;
    }
    pass.Output(0, _entries.Capacity());
  }
  pass.Start(p);
  for (;;) {
    const char* watch = ahead != nullptr && ahead->pending ? ahead->start : nullptr;
    switch (pass.Run(p, watch, nullptr, error)) {
      case Pass::Stop::kWatch:
        Join(*ahead, pass, p);
        continue;
      case Pass::Stop::kFull:
        if (!MakeRoom(pass, ahead, p, error)) return false;
        continue;
      case Pass::Stop::kSection:
        break;
      case Pass::Stop::kError:
      case Pass::Stop::kCancelled:
        return false;
    }
    if (L::StartsWithKeyword(p, end, "ENDSEC")) {
      p += std::strlen("ENDSEC");
      return ExpectSemicolon(p, "ENDSEC", error);
    }
    if (EndsInsideKeyword(p, end, "ENDSEC")) {
      error = "truncated file: the DATA section has no ENDSEC";
      return false;
    }
    return Fail(p, "expected an instance '#n=' or ENDSEC", error);
  }
}

void* AllocateTable(std::size_t bytes) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  // Below this a huge page would cost more than the small pages it saves.
  if (bytes < (std::size_t{64} << 10)) return ::operator new(bytes);
  const std::size_t size = (bytes + kHuge - 1) & ~(kHuge - 1);
  void* raw =
      ::mmap(nullptr, size + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  // Keep the aligned part only.
  const auto begin = reinterpret_cast<std::uintptr_t>(raw);
  const auto aligned = (begin + kHuge - 1) & ~std::uintptr_t{kHuge - 1};
  if (aligned != begin) ::munmap(raw, aligned - begin);
  ::munmap(reinterpret_cast<void*>(aligned + size), begin + kHuge - aligned);
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void FreeTable(void* p, std::size_t bytes) noexcept {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (bytes < (std::size_t{64} << 10)) {
    ::operator delete(p);
    return;
  }
  ::munmap(p, (bytes + kHuge - 1) & ~(kHuge - 1));
}

void StepFile::BuildLookup() {
  const std::size_t count = _entries.Size();
  const StepEntry* const entries = _entries.Data();
  if (static_cast<uint64_t>(_maxId) <= 4ull * count + 1024) {
    // Writers mostly number upwards: then a bit per id (an eighth of a table's bytes, none of
    // its scattered writes) finds a record by its id's rank, and no id repeats.
    const std::size_t words = static_cast<std::size_t>(_maxId) / 64 + 1;
    _idBits.assign(words, 0);
    _idRanks.assign(words, 0);
    // Ids go up, so each word of bits is made whole in a register and written once; its rank
    // is the slot of its first id.
    std::size_t read = 0;
    std::size_t word = 0;
    uint64_t bits = 0;
    for (uint32_t last = 0; read < count; ++read) {
      const uint32_t id = entries[read].id;
      if (id <= last && read != 0) break;
      last = id;
      if (id / 64 != word) {
        _idBits[word] = bits;
        bits = 0;
        word = id / 64;
        _idRanks[word] = static_cast<uint32_t>(read);
      }
      bits |= uint64_t{1} << (id % 64);
    }
    if (read == count) {
      _idBits[word] = bits;
      return;
    }
    decltype(_idRanks)().swap(_idRanks);
    decltype(_idBits)().swap(_idBits);
    // A dense table costs 4 bytes per possible id; take it while ids are not too sparse.
    _denseSlots.reserve(static_cast<std::size_t>(_maxId) + 1);
    AdviseHugePages(_denseSlots.data(), _denseSlots.capacity() * sizeof(uint32_t));
    _denseSlots.assign(static_cast<std::size_t>(_maxId) + 1, kNoSlot);
    for (std::size_t i = 0; i < count; ++i) {
      uint32_t& slot = _denseSlots[entries[i].id];
      if (slot == kNoSlot) {
        slot = static_cast<uint32_t>(i);
      } else {
        ++_duplicateIds;
      }
    }
    return;
  }
  _sparseSlots.reserve(count);
  AdviseHugePages(_sparseSlots.data(), _sparseSlots.capacity() * sizeof(_sparseSlots[0]));
  for (std::size_t i = 0; i < count; ++i) {
    _sparseSlots.emplace_back(entries[i].id, static_cast<uint32_t>(i));
  }
  // Pairs compare by slot too, so the first of repeated ids sorts first. Writers mostly number
  // upwards through the file, and then there is nothing to sort.
  if (!std::is_sorted(_sparseSlots.begin(), _sparseSlots.end())) {
    std::sort(_sparseSlots.begin(), _sparseSlots.end());
  }
  for (std::size_t i = 1; i < count; ++i) {
    if (_sparseSlots[i].first == _sparseSlots[i - 1].first) ++_duplicateIds;
  }
}

const StepEntry* StepFile::Find(uint64_t id) const {
  if (id > _maxId) return nullptr;
  if (!_idBits.empty()) {
    const uint64_t bits = _idBits[static_cast<std::size_t>(id / 64)];
    const uint64_t bit = uint64_t{1} << (id % 64);
    if ((bits & bit) == 0) return nullptr;
    return _entries.Data() + _idRanks[static_cast<std::size_t>(id / 64)] +
           CountBits(bits & (bit - 1));
  }
  if (!_denseSlots.empty()) {
    const uint32_t slot = _denseSlots[static_cast<std::size_t>(id)];
    return slot == kNoSlot ? nullptr : _entries.Data() + slot;
  }
  const auto key = std::make_pair(static_cast<uint32_t>(id), uint32_t{0});
  const auto it = std::lower_bound(_sparseSlots.begin(), _sparseSlots.end(), key);
  if (it == _sparseSlots.end() || it->first != id) return nullptr;
  return _entries.Data() + it->second;
}

void StepFile::ReleaseIndex() {
  _entries.Clear();
  decltype(_idBits)().swap(_idBits);
  decltype(_idRanks)().swap(_idRanks);
  std::vector<uint32_t>().swap(_denseSlots);
  std::vector<std::pair<uint32_t, uint32_t>>().swap(_sparseSlots);
  _maxId = 0;
}

}  // namespace step
