#include "IfcStepFile.h"

#include <algorithm>
#include <cstring>

#include "IfcStepLexer.h"
#include "IfcStepString.h"

namespace ifc {

namespace {

using L = StepLexer;

constexpr uint32_t kNoSlot = UINT32_MAX;

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

bool StepFile::Open(const std::string& path, std::string& error) {
  *this = StepFile();
  if (!mapping_.Open(path, error)) return false;
  bytes_ = mapping_.Bytes();
  return Index(error);
}

bool StepFile::OpenBuffer(std::string_view bytes, std::string& error) {
  *this = StepFile();
  bytes_ = bytes;
  return Index(error);
}

std::string_view StepFile::Body(uint64_t offset, uint32_t length) const {
  if (offset > bytes_.size()) return {};
  return bytes_.substr(static_cast<std::size_t>(offset), length);
}

bool StepFile::Decode(const StepEntry& e, StepParameters& params, std::size_t last) const {
  if (e.complex) return params.ParseComplex(Body(e));
  return params.Parse(Body(e), last);
}

std::size_t StepFile::LineOf(std::size_t offset) const {
  offset = std::min(offset, bytes_.size());
  return 1 + static_cast<std::size_t>(std::count(
                 bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

bool StepFile::Fail(const char* p, const std::string& what, std::string& error) const {
  error =
      "line " + std::to_string(LineOf(static_cast<std::size_t>(p - bytes_.data()))) + ": " + what;
  return false;
}

bool StepFile::ExpectSemicolon(const char*& p, const char* what, std::string& error) {
  const char* end = bytes_.data() + bytes_.size();
  p = L::SkipSpace(p, end);
  if (p >= end) {
    error = std::string("truncated file: no ';' after ") + what;
    return false;
  }
  if (*p != ';') return Fail(p, std::string("expected ';' after ") + what, error);
  ++p;
  return true;
}

bool StepFile::Index(std::string& error) {
  const char* p = bytes_.data();
  const char* end = p + bytes_.size();
  if (bytes_.empty()) {
    error = "not a STEP file: the file is empty";
    return false;
  }
  if (bytes_.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  p = L::SkipSpace(p, end);
  if (!L::StartsWithKeyword(p, end, "ISO-10303-21")) {
    error = "not a STEP file: it does not start with ISO-10303-21";
    return false;
  }
  p += std::strlen("ISO-10303-21");
  if (!ExpectSemicolon(p, "ISO-10303-21", error)) return false;
  if (!ReadHeader(p, error)) return false;

  bool sawData = false;
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
      sawData = true;
      if (!IndexData(p, error)) return false;
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
  BuildLookup();
  return true;
}

bool StepFile::ReadHeader(const char*& p, std::string& error) {
  const char* end = bytes_.data() + bytes_.size();
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
      header_.description = DecodeStringList(params, params.At(0));
      header_.implementationLevel = params.DecodedString(1);
    } else if (keyword == "FILE_NAME") {
      header_.name = params.DecodedString(0);
      header_.timeStamp = params.DecodedString(1);
      header_.author = DecodeStringList(params, params.At(2));
      header_.organization = DecodeStringList(params, params.At(3));
      header_.preprocessorVersion = params.DecodedString(4);
      header_.originatingSystem = params.DecodedString(5);
      header_.authorization = params.DecodedString(6);
    } else if (keyword == "FILE_SCHEMA") {
      header_.schemas = DecodeStringList(params, params.At(0));
      if (!header_.schemas.empty()) {
        schema_ = header_.schemas.front();
        for (char& c : schema_) {
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
      }
    }
  }
}

bool StepFile::SkipSection(const char*& p, std::string& error) {
  const char* end = bytes_.data() + bytes_.size();
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

bool StepFile::IndexData(const char*& p, std::string& error) {
  const char* const base = bytes_.data();
  const char* const end = base + bytes_.size();
  // Records are rarely shorter than 32 bytes; reserving up front avoids the copy (and the
  // doubled peak) of growing. Untouched reserved pages cost no resident memory.
  if (entries_.empty()) entries_.reserve(bytes_.size() / 32 + 16);

  auto truncated = [&](const char* what) {
    error = std::string("truncated file: ") + what;
    return false;
  };
  // Reuse the previous code when consecutive records share a type (point lists, etc.).
  std::string_view lastKeyword;
  int lastCode = StepTypeTable::kNotFound;
  std::size_t dropped = static_cast<std::size_t>(p - base);

  for (;;) {
    if (static_cast<std::size_t>(p - base) - dropped >= kDropStride) {
      DropResident(dropped, static_cast<std::size_t>(p - base));
      dropped = static_cast<std::size_t>(p - base);
    }
    p = L::SkipSpace(p, end);
    if (p >= end) return truncated("the DATA section has no ENDSEC");
    if (*p != '#') {
      if (L::StartsWithKeyword(p, end, "ENDSEC")) {
        p += std::strlen("ENDSEC");
        return ExpectSemicolon(p, "ENDSEC", error);
      }
      if (EndsInsideKeyword(p, end, "ENDSEC")) return truncated("the DATA section has no ENDSEC");
      return Fail(p, "expected an instance '#n=' or ENDSEC", error);
    }
    const char* recordStart = p;
    ++p;
    uint64_t id = 0;
    const char* digits = p;
    while (p < end && L::IsDigit(*p)) {
      id = id * 10 + static_cast<uint64_t>(*p - '0');
      if (id > UINT32_MAX - 1) return Fail(recordStart, "instance number too large", error);
      ++p;
    }
    if (p == digits) {
      if (p >= end) return truncated("the last instance is incomplete");
      return Fail(recordStart, "expected digits after '#'", error);
    }
    p = L::SkipSpace(p, end);
    if (p >= end) return truncated("the last instance is incomplete");
    if (*p != '=') return Fail(p, "expected '=' after #" + std::to_string(id), error);
    p = L::SkipSpace(p + 1, end);
    if (p >= end) return truncated("the last instance is incomplete");

    StepEntry entry;
    entry.id = static_cast<uint32_t>(id);
    const char* bodyStart = nullptr;
    std::string_view keyword;
    if (*p == '(') {
      bodyStart = p;
      const char* q = L::SkipSpace(p + 1, end);
      keyword = ReadKeyword(q, end);
      entry.complex = 1;
    } else {
      keyword = ReadKeyword(p, end);
      p = L::SkipSpace(p, end);
      if (p >= end) return truncated("the last instance is incomplete");
      if (*p != '(') {
        return Fail(p, "expected '(' in #" + std::to_string(id), error);
      }
      bodyStart = p;
    }
    if (keyword.empty() || keyword == "!") {
      if (bodyStart + 1 >= end) return truncated("the last instance is incomplete");
      return Fail(recordStart, "instance #" + std::to_string(id) + " has no type", error);
    }
    if (keyword != lastKeyword) {
      lastCode = types_.Intern(keyword);
      lastKeyword = keyword;
      if (lastCode == StepTypeTable::kNotFound) {
        return Fail(recordStart, "too many distinct entity types", error);
      }
    }
    entry.type = static_cast<uint16_t>(lastCode);

    const char* close = L::FindRecordEnd(bodyStart, end);
    if (close == nullptr) return truncated("the last instance is not terminated by ';'");
    const auto length = static_cast<uint64_t>(close - bodyStart);
    if (length > UINT32_MAX) return Fail(recordStart, "instance larger than 4 GiB", error);
    if (entries_.size() >= UINT32_MAX - 1) return Fail(recordStart, "too many instances", error);
    entry.offset = static_cast<uint64_t>(bodyStart - base);
    entry.length = static_cast<uint32_t>(length);
    entries_.push_back(entry);
    if (entry.id > maxId_) maxId_ = entry.id;
    p = close + 1;
  }
}

void StepFile::BuildLookup() {
  const std::size_t count = entries_.size();
  // A dense table costs 4 bytes per possible id; take it while ids are not too sparse.
  if (static_cast<uint64_t>(maxId_) <= 4ull * count + 1024) {
    denseSlots_.assign(static_cast<std::size_t>(maxId_) + 1, kNoSlot);
    for (std::size_t i = 0; i < count; ++i) {
      uint32_t& slot = denseSlots_[entries_[i].id];
      if (slot == kNoSlot) slot = static_cast<uint32_t>(i);
    }
    return;
  }
  sparseSlots_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    sparseSlots_.emplace_back(entries_[i].id, static_cast<uint32_t>(i));
  }
  // Pairs compare by slot too, so the first of repeated ids sorts first.
  std::sort(sparseSlots_.begin(), sparseSlots_.end());
}

const StepEntry* StepFile::Find(uint64_t id) const {
  if (id > maxId_) return nullptr;
  if (!denseSlots_.empty()) {
    const uint32_t slot = denseSlots_[static_cast<std::size_t>(id)];
    return slot == kNoSlot ? nullptr : &entries_[slot];
  }
  const auto key = std::make_pair(static_cast<uint32_t>(id), uint32_t{0});
  const auto it = std::lower_bound(sparseSlots_.begin(), sparseSlots_.end(), key);
  if (it == sparseSlots_.end() || it->first != id) return nullptr;
  return &entries_[it->second];
}

void StepFile::ReleaseIndex() {
  std::vector<StepEntry>().swap(entries_);
  std::vector<uint32_t>().swap(denseSlots_);
  std::vector<std::pair<uint32_t, uint32_t>>().swap(sparseSlots_);
  maxId_ = 0;
}

}  // namespace ifc
