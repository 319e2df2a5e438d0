#include "StepParameters.h"

#include <charconv>
#include <cmath>

#include "StepLexer.h"
#include "StepString.h"

namespace step {

namespace {

using L = StepLexer;

}  // namespace

uint32_t StepParameters::Commit(std::size_t mark) {
  const auto first = static_cast<uint32_t>(_arena.size());
  _arena.insert(_arena.end(), _scratch.begin() + static_cast<std::ptrdiff_t>(mark), _scratch.end());
  _scratch.resize(mark);
  return first;
}

bool StepParameters::Parse(std::string_view text, std::size_t last) {
  _arena.clear();
  _scratch.clear();
  _top = {};
  const char* p = text.data();
  const char* end = p + text.size();
  p = L::SkipSpace(p, end);
  if (p >= end || *p != '(') return false;
  uint32_t first = 0;
  uint32_t count = 0;
  const bool ok = ParseListBody(p, end, 0, last, first, count);
  _top.first = first;
  _top.count = count;
  return ok;
}

bool StepParameters::ParseComplex(std::string_view text) {
  _arena.clear();
  _scratch.clear();
  _top = {};
  const char* p = text.data();
  const char* end = p + text.size();
  p = L::SkipSpace(p, end);
  if (p >= end || *p != '(') return false;
  ++p;
  bool ok = false;
  for (;;) {
    p = L::SkipSpace(p, end);
    if (p >= end) break;
    if (*p == ')') {
      ok = true;
      break;
    }
    StepValue part;
    if (!L::IsKeywordChar(*p) || !ParseValue(p, end, 1, part) || part.kind != StepKind::Typed) {
      break;
    }
    _scratch.push_back(part);
  }
  _top.count = static_cast<uint32_t>(_scratch.size());
  _top.first = Commit(0);
  return ok;
}

bool StepParameters::ParseListBody(const char*& p, const char* end, int depth, std::size_t last,
                                   uint32_t& first, uint32_t& count) {
  const std::size_t mark = _scratch.size();
  auto finish = [&](bool ok) {
    count = static_cast<uint32_t>(_scratch.size() - mark);
    first = Commit(mark);
    return ok;
  };
  ++p;  // '('
  p = L::SkipSpace(p, end);
  if (p < end && *p == ')') {
    ++p;
    return finish(true);
  }
  for (;;) {
    StepValue v;
    if (!ParseValue(p, end, depth, v)) return finish(false);
    _scratch.push_back(v);
    if (depth == 0 && _scratch.size() - mark > last) return finish(true);
    p = L::SkipSpace(p, end);
    if (p >= end) return finish(false);
    if (*p == ',') {
      ++p;
      p = L::SkipSpace(p, end);
      continue;
    }
    if (*p == ')') {
      ++p;
      return finish(true);
    }
    return finish(false);
  }
}

bool StepParameters::ParseTypedArgs(const char*& p, const char* end, int depth, StepValue& v) {
  p = L::SkipSpace(p, end);
  if (p >= end || *p != '(' || depth + 1 > kMaxDepth) return false;
  v.kind = StepKind::Typed;
  uint32_t first = 0;
  uint32_t count = 0;
  const bool ok = ParseListBody(p, end, depth + 1, kAll, first, count);
  v.items.first = first;
  v.items.count = count;
  return ok;
}

bool StepParameters::ParseValue(const char*& p, const char* end, int depth, StepValue& v) {
  if (p >= end) return false;
  const char* start = p;
  switch (*p) {
    case '$':
      v.kind = StepKind::Unset;
      ++p;
      return true;
    case '*':
      v.kind = StepKind::Derived;
      ++p;
      return true;
    case '#': {
      ++p;
      uint64_t id = 0;
      const char* digits = p;
      while (p < end && L::IsDigit(*p)) {
        if (id > (UINT64_MAX - 9) / 10) return false;
        id = id * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
      }
      if (p == digits) return false;
      v.kind = StepKind::Reference;
      v.reference = id;
      v.text = std::string_view(start, static_cast<std::size_t>(p - start));
      return true;
    }
    case '\'': {
      const char* close = L::FindStringEnd(p + 1, end);
      if (close == nullptr) return false;
      v.kind = StepKind::String;
      v.text = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
      p = close + 1;
      return true;
    }
    case '"': {
      const char* q = p + 1;
      while (q < end && *q != '"') ++q;
      if (q >= end) return false;
      v.kind = StepKind::Binary;
      v.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
      p = q + 1;
      return true;
    }
    case '.': {
      const char* q = p + 1;
      while (q < end && L::IsKeywordChar(*q)) ++q;
      if (q >= end || *q != '.' || q == p + 1) return false;
      v.kind = StepKind::Enum;
      v.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
      p = q + 1;
      return true;
    }
    case '(': {
      if (depth + 1 > kMaxDepth) return false;
      v.kind = StepKind::List;
      uint32_t first = 0;
      uint32_t count = 0;
      const bool ok = ParseListBody(p, end, depth + 1, kAll, first, count);
      v.items.first = first;
      v.items.count = count;
      return ok;
    }
    default:
      break;
  }
  if (*p == '+' || *p == '-' || L::IsDigit(*p)) {
    bool isReal = false;
    bool ok = false;
    const char* tokenEnd = L::ScanNumber(p, end, isReal, ok);
    if (!ok) return false;
    v.text = std::string_view(start, static_cast<std::size_t>(tokenEnd - start));
    // from_chars wants no leading '+'.
    const char* numStart = (*p == '+') ? p + 1 : p;
    if (!isReal) {
      int64_t value = 0;
      const auto r = std::from_chars(numStart, tokenEnd, value);
      if (r.ec == std::errc() && r.ptr == tokenEnd) {
        v.kind = StepKind::Integer;
        v.integer = value;
        p = tokenEnd;
        return true;
      }
    }
    double value = 0;
    const auto r = std::from_chars(numStart, tokenEnd, value);
    if (r.ptr != tokenEnd) return false;
    // Out of range still yields the clamped value; a model does not need more.
    if (r.ec == std::errc::result_out_of_range) {
      value = (*start == '-') ? -HUGE_VAL : HUGE_VAL;
    }
    v.kind = StepKind::Real;
    v.real = value;
    p = tokenEnd;
    return true;
  }
  if (L::IsKeywordChar(*p) || *p == '!') {
    const char* q = p + 1;
    while (q < end && L::IsKeywordChar(*q)) ++q;
    v.text = std::string_view(p, static_cast<std::size_t>(q - p));
    p = q;
    return ParseTypedArgs(p, end, depth, v);
  }
  return false;
}

std::span<const StepValue> StepParameters::Items(const StepValue& v) const {
  if (v.kind != StepKind::List && v.kind != StepKind::Typed) return {};
  if (static_cast<std::size_t>(v.items.first) + v.items.count > _arena.size()) return {};
  return {_arena.data() + v.items.first, v.items.count};
}

const StepValue& StepParameters::Unwrap(const StepValue& v) const {
  const StepValue* cur = &v;
  for (int i = 0; i <= kMaxDepth && cur->kind == StepKind::Typed; ++i) {
    const auto items = Items(*cur);
    if (items.size() != 1) break;
    cur = &items[0];
  }
  return *cur;
}

std::string StepParameters::DecodedString(std::size_t i) const {
  const StepValue& v = Unwrap(At(i));
  if (v.kind != StepKind::String) return {};
  return StepString::Decode(v.text);
}

bool StepParameters::Reference(std::size_t i, uint64_t& id) const {
  const StepValue& v = At(i);
  if (v.kind != StepKind::Reference) return false;
  id = v.reference;
  return true;
}

}  // namespace step
