#include "StepFile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
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
  enum class Stop { kSection, kWatch, kError, kCancelled };

  Pass(const StepFile& file, std::vector<StepEntry>& entries, StepTypeTable& types, uint32_t& maxId,
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
  // space), a record starts at or after `watch`, `cancel` is set, or an error.
  Stop Run(const char*& p, const char* watch, const std::atomic<bool>* cancel, std::string& error);

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
  std::vector<StepEntry>& _entries;
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
    entry.offset = static_cast<uint64_t>(bodyStart - base);
    entry.length = static_cast<uint32_t>(length);
    uint8_t tag = _tags[static_cast<std::size_t>(code)];
    if (tag == 0 && entry.complex) tag = _complexTag;
    if (tag != 0) {
      _pSink->Take(_thread, _count, entry, tag,
                   std::string_view(bodyStart, static_cast<std::size_t>(length)));
    }
    if (_keep) _entries.push_back(entry);
    ++_count;
    if (entry.id > _maxId) _maxId = entry.id;
    p = close + 1;
  }
}

// The stretch read ahead on the second thread.
struct StepFile::Ahead {
  const char* start = nullptr;  // the '#' of the record it starts with
  const char* stop = nullptr;   // where it ended: past the last record and the white space after
  std::vector<StepEntry> entries;
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
      if (!sawData) StartAhead(p, options, indexed, ahead);
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
  if (options.keepIndex) BuildLookup();
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
                          std::atomic<std::size_t>& indexed, std::unique_ptr<Ahead>& ahead) {
  const char* const base = _bytes.data();
  const char* const end = base + _bytes.size();
  if (options.splitFrom == 0 || static_cast<std::size_t>(end - p) < options.splitFrom) return;
  const char* from = options.splitNear != 0 && options.splitNear < _bytes.size()
                         ? base + options.splitNear
                         : p + (end - p) / 2;
  if (from <= p) return;
  const char* start = GuessRecordStart(from, end);
  if (start == nullptr) return;

  auto next = std::make_unique<Ahead>();
  next->start = start;
  next->sink = options.sink;
  next->indexed = &indexed;
  next->keep = options.keepIndex;
  if (next->keep) {
    // Same density guess as the main pass: no regrowth, untouched capacity costs nothing.
    next->entries.reserve(static_cast<std::size_t>(end - start) / 32 + 16);
    AdviseHugePages(next->entries.data(), next->entries.capacity() * sizeof(StepEntry));
  }
  Ahead* const a = next.get();
  try {
    a->thread = std::thread([this, a] {
      // Whatever goes wrong here (memory, say) the main pass meets again and reports.
      try {
        Pass pass(*this, a->entries, a->types, a->maxId, a->sink, 1, true, *a->indexed, a->keep,
                  a->count);
        pass.Start(a->start);
        const char* q = a->start;
        std::string unused;
        a->ok = pass.Run(q, nullptr, &a->cancel, unused) == Pass::Stop::kSection;
        a->stop = q;
        pass.DropTo(q);
      } catch (...) {
        a->ok = false;
      }
    });
  } catch (const std::system_error&) {
    next->pending = false;  // no thread: the sink has seen nothing from it
    return;
  }
  ahead = std::move(next);
}

bool StepFile::Join(Ahead& ahead, Pass& pass, const char*& p) {
  ahead.thread.join();
  ahead.pending = false;
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
    if (ahead.sink != nullptr) ahead.sink->Discard();
    std::vector<StepEntry>().swap(ahead.entries);
    return false;
  }
  std::vector<uint16_t> codes(ahead.types.Size());
  for (uint32_t code = 0; code < ahead.types.Size(); ++code) {
    codes[code] = static_cast<uint16_t>(_types.Intern(ahead.types.Name(code)));
  }
  const uint32_t firstSlot = _recordCount;
  _recordCount += ahead.count;
  _entries.reserve(_entries.size() + ahead.entries.size());
  // Copied a stretch at a time, each handed back once copied: the two halves of a large index
  // are never resident at once.
  constexpr std::size_t kStretch = (std::size_t{2} << 20) / sizeof(StepEntry);
  const StepEntry* const from = ahead.entries.data();
  for (std::size_t done = 0; done < ahead.entries.size();) {
    const std::size_t stop = std::min(ahead.entries.size(), done + kStretch);
    for (std::size_t i = done; i < stop; ++i) {
      _entries.push_back(from[i]);
      _entries.back().type = codes[from[i].type];
    }
    ReleasePages(from + done, (stop - done) * sizeof(StepEntry));
    done = stop;
  }
  std::vector<StepEntry>().swap(ahead.entries);
  if (ahead.maxId > _maxId) _maxId = ahead.maxId;
  if (ahead.sink != nullptr) ahead.sink->Adopt(firstSlot, codes);
  _splitOffset = static_cast<std::size_t>(ahead.start - _bytes.data());
  p = ahead.stop;
  pass.Resume(p);
  return true;
}

bool StepFile::IndexData(const char*& p, Pass& pass, Ahead* ahead, std::string& error) {
  const char* const end = _bytes.data() + _bytes.size();
  // Records are rarely shorter than 32 bytes; reserving up front avoids the copy (and the
  // doubled peak) of growing. Untouched reserved pages cost no resident memory.
  if (_entries.empty() && pass.Keeps()) {
    _entries.reserve(_bytes.size() / 32 + 16);
    AdviseHugePages(_entries.data(), _entries.capacity() * sizeof(StepEntry));
  }
  pass.Start(p);
  for (;;) {
    const char* watch = ahead != nullptr && ahead->pending ? ahead->start : nullptr;
    switch (pass.Run(p, watch, nullptr, error)) {
      case Pass::Stop::kWatch:
        Join(*ahead, pass, p);
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

void StepFile::BuildLookup() {
  const std::size_t count = _entries.size();
  // A dense table costs 4 bytes per possible id; take it while ids are not too sparse.
  if (static_cast<uint64_t>(_maxId) <= 4ull * count + 1024) {
    _denseSlots.reserve(static_cast<std::size_t>(_maxId) + 1);
    AdviseHugePages(_denseSlots.data(), _denseSlots.capacity() * sizeof(uint32_t));
    _denseSlots.assign(static_cast<std::size_t>(_maxId) + 1, kNoSlot);
    for (std::size_t i = 0; i < count; ++i) {
      uint32_t& slot = _denseSlots[_entries[i].id];
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
    _sparseSlots.emplace_back(_entries[i].id, static_cast<uint32_t>(i));
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
  if (!_denseSlots.empty()) {
    const uint32_t slot = _denseSlots[static_cast<std::size_t>(id)];
    return slot == kNoSlot ? nullptr : &_entries[slot];
  }
  const auto key = std::make_pair(static_cast<uint32_t>(id), uint32_t{0});
  const auto it = std::lower_bound(_sparseSlots.begin(), _sparseSlots.end(), key);
  if (it == _sparseSlots.end() || it->first != id) return nullptr;
  return &_entries[it->second];
}

void StepFile::ReleaseIndex() {
  std::vector<StepEntry>().swap(_entries);
  std::vector<uint32_t>().swap(_denseSlots);
  std::vector<std::pair<uint32_t, uint32_t>>().swap(_sparseSlots);
  _maxId = 0;
}

}  // namespace step
