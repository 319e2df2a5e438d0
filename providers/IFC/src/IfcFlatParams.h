// IfcFlatParams.h - a quick reader for the records the IFC tree reads, beside the full
// STEP parameter parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "IfcStepNames.h"
#include "StepLexer.h"

namespace ifc {

// Parameters 0..last of a record made only of strings, references, '$', '*' and flat lists of
// those, with white space between: what the records the tree reads look like. Anything else
// (typed values, numbers, nested lists, comments, any syntax error) makes Read return false,
// and the full parser reads the record instead; when Read succeeds, the values are the ones
// the full parser gives.
//
// With `values`, a parameter may also be a number, an enumeration or a typed one of those or
// of a string ("IFCLABEL('x')"): what property values and quantities look like. The typed
// value reads as what it wraps, with its keyword in `type`.
class FlatParams {
 public:
  enum Kind : uint8_t { kUnset, kString, kReference, kList, kOther, kEnum, kNumber };
  struct Value {
    Kind kind = kUnset;
    std::string_view text;   // a string's raw text, an enumeration's name, a number's token
    std::string_view type;   // the keyword of a typed value
    uint64_t reference = 0;  // a reference's instance number
    uint32_t first = 0;      // a list's references: refs[first .. first + count)
    uint32_t count = 0;
  };
  static constexpr std::size_t kMax = 8;
  static constexpr uint32_t kAll = (1u << kMax) - 1;

  // Parameters outside `keep` (bit i for parameter i) are checked as above but not kept: their
  // kind reads kUnset, nothing else of them is cleared, and their lists add nothing to refs.
  // Whether Read succeeds does not depend on `keep`.
  bool Read(std::string_view body, std::size_t last, bool values = false, uint32_t keep = kAll) {
    _values = values;
    _pCursor = body.data();
    _pEnd = _pCursor + body.size();
    _size = 0;
    refs.clear();
    if (values && last == 3 && keep == kProperty && ReadProperty()) return true;
    _pCursor = body.data();
    if (!Skip()) return false;
    if (_pCursor == _pEnd || *_pCursor != '(') return false;
    ++_pCursor;
    if (!Skip()) return false;
    if (_pCursor < _pEnd && *_pCursor == ')') return true;
    for (std::size_t i = 0;; ++i) {
      if (i >= kMax) return false;
      if ((keep >> i & 1u) != 0) {
        if (!ReadValue(_read[i], false)) return false;
      } else {
        _read[i].kind = kUnset;
        if (!SkipValue()) return false;
      }
      _size = i + 1;
      if (i == last) return true;
      if (!Skip() || _pCursor == _pEnd) return false;
      if (*_pCursor == ')') return true;
      if (*_pCursor != ',') return false;
      ++_pCursor;
      if (!Skip()) return false;
    }
  }

  // Name, description (not kept), and two values: a property's or a quantity's first four.
  static constexpr uint32_t kProperty = 0b1101;

  const Value& At(std::size_t i) const { return i < _size ? _read[i] : _unset; }
  std::vector<uint64_t> refs;

 private:
  // Read's answer for kProperty when the record is written the way nearly every writer writes
  // properties and quantities: "('Name',$,IFCLABEL('x'),#12" without space, the description
  // unset, no list. False for anything else, which Read then reads the general way: a model
  // holds hundreds of thousands of these, and the general way's checks between parameters
  // cost more than the values.
  bool ReadProperty() {
    const char* p = _pCursor;
    if (_pEnd - p < 8 || p[0] != '(' || p[1] != '\'') return false;
    const char* close = StepLexer::FindStringEnd(p + 2, _pEnd);
    if (close == nullptr || _pEnd - close < 6 || close[1] != ',' || close[2] != '$' ||
        close[3] != ',')
      return false;
    Value& name = _read[0];
    name = Value();
    name.kind = kString;
    name.text = std::string_view(p + 2, static_cast<std::size_t>(close - p - 2));
    _read[1].kind = kUnset;
    _pCursor = close + 4;
    if (!QuickValue(_read[2]) || _pCursor == _pEnd || *_pCursor != ',') return false;
    ++_pCursor;
    if (!QuickValue(_read[3])) return false;
    _size = 4;
    return true;
  }
  // One value of ReadProperty: what ReadValue reads but lists and '*', with nothing around it.
  bool QuickValue(Value& v) {
    if (_pCursor == _pEnd) return false;
    v = Value();
    switch (*_pCursor) {
      case '$':
        ++_pCursor;
        return true;
      case '#':
        v.kind = kReference;
        return ReadReference(v.reference);
      case '\'':
      case '(':
      case '*':
        return false;
      default:
        return ReadSimple(v, true);
    }
  }

  // White space only; a comment is left to the full parser. Files written without space
  // between parameters take the first test only.
  bool Skip() {
    if (_pCursor < _pEnd && !StepLexer::IsSpace(*_pCursor)) return *_pCursor != '/';
    while (_pCursor < _pEnd && StepLexer::IsSpace(*_pCursor)) ++_pCursor;
    return _pCursor == _pEnd || *_pCursor != '/';
  }

  bool ReadValue(Value& v, bool inList) {
    if (_pCursor == _pEnd) return false;
    v = Value();
    switch (*_pCursor) {
      case '\'': {
        const char* close = StepLexer::FindStringEnd(_pCursor + 1, _pEnd);
        if (close == nullptr) return false;
        v.kind = kString;
        v.text = std::string_view(_pCursor + 1, static_cast<std::size_t>(close - _pCursor - 1));
        _pCursor = close + 1;
        return true;
      }
      case '$':
        ++_pCursor;
        return true;
      case '*':
        v.kind = kOther;
        ++_pCursor;
        return true;
      case '#':
        v.kind = kReference;
        return ReadReference(v.reference);
      case '(': {
        if (inList) return false;
        ++_pCursor;
        v.kind = kList;
        v.first = static_cast<uint32_t>(refs.size());
        if (!Skip()) return false;
        if (_pCursor < _pEnd && *_pCursor == ')') {
          ++_pCursor;
          return true;
        }
        for (;;) {
          // Most lists hold references only.
          if (_pCursor < _pEnd && *_pCursor == '#') {
            uint64_t id = 0;
            if (!ReadReference(id)) return false;
            refs.push_back(id);
          } else {
            Value item;
            if (!ReadValue(item, true)) return false;
            if (item.kind == kReference) refs.push_back(item.reference);
          }
          bool more = false;
          if (!AfterItem(more)) return false;
          if (!more) break;
        }
        v.count = static_cast<uint32_t>(refs.size()) - v.first;
        return true;
      }
      default:
        return !inList && _values && ReadSimple(v, true);
    }
  }

  // Past a list item: the ',' and the space after it when another item follows (more), else
  // the closing ')'.
  bool AfterItem(bool& more) {
    if (!Skip() || _pCursor == _pEnd) return false;
    more = *_pCursor == ',';
    if (!more && *_pCursor != ')') return false;
    ++_pCursor;
    return !more || Skip();
  }

  // The number of "#123" from the '#'.
  bool ReadReference(uint64_t& id) {
    const char* digits = ++_pCursor;
    id = 0;
    _pCursor = StepLexer::ReadDigits8(_pCursor, _pEnd, id);
    while (_pCursor < _pEnd && StepLexer::IsDigit(*_pCursor))
      id = id * 10 + static_cast<uint64_t>(*_pCursor++ - '0');
    // Longer numbers may overflow, which the full parser reports.
    return _pCursor != digits && _pCursor - digits <= 18;
  }

  // ReadValue's checks for a parameter nobody looks at: no value is written, no reference kept.
  bool SkipValue() {
    if (_pCursor == _pEnd) return false;
    switch (*_pCursor) {
      case '\'': {
        const char* close = StepLexer::FindStringEnd(_pCursor + 1, _pEnd);
        if (close == nullptr) return false;
        _pCursor = close + 1;
        return true;
      }
      case '$':
      case '*':
        ++_pCursor;
        return true;
      case '#': {
        uint64_t ignored = 0;
        return ReadReference(ignored);
      }
      case '(': {
        // Items are what ReadValue takes inside a list: strings, references, '$' and '*'.
        ++_pCursor;
        if (!Skip()) return false;
        if (_pCursor < _pEnd && *_pCursor == ')') {
          ++_pCursor;
          return true;
        }
        for (;;) {
          if (_pCursor == _pEnd || *_pCursor == '(') return false;
          const char c = *_pCursor;
          if (c != '\'' && c != '$' && c != '*' && c != '#') return false;
          if (!SkipValue()) return false;
          bool more = false;
          if (!AfterItem(more)) return false;
          if (!more) break;
        }
        return true;
      }
      default: {
        Value ignored;
        return _values && ReadSimple(ignored, true);
      }
    }
  }

  // A number, an enumeration, or (when `typed`) a keyword wrapping one of those or a string.
  bool ReadSimple(Value& v, bool typed) {
    const char* p = _pCursor;
    const char c = *p;
    if (c == '.') {
      const char* q = p + 1;
      while (q < _pEnd && StepLexer::IsKeywordChar(*q)) ++q;
      if (q == _pEnd || *q != '.' || q == p + 1) return false;
      v.kind = kEnum;
      v.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
      _pCursor = q + 1;
      return true;
    }
    if (c == '+' || c == '-' || StepLexer::IsDigit(c)) {
      // The number pattern the full parser accepts; its token is what the value keeps.
      bool isReal = false, ok = false;
      const char* q = StepLexer::ScanNumber(p, _pEnd, isReal, ok);
      if (!ok) return false;
      v.kind = kNumber;
      v.text = std::string_view(p, static_cast<std::size_t>(q - p));
      _pCursor = q;
      return true;
    }
    if (!typed || !StepLexer::IsKeywordChar(c)) return false;
    const char* q = p + 1;
    while (q < _pEnd && StepLexer::IsKeywordChar(*q)) ++q;
    const std::string_view type(p, static_cast<std::size_t>(q - p));
    _pCursor = q;
    if (!Skip() || _pCursor == _pEnd || *_pCursor != '(') return false;
    ++_pCursor;
    if (!Skip() || _pCursor == _pEnd) return false;
    if (*_pCursor == '\'') {
      if (!ReadValue(v, true)) return false;
    } else if (!ReadSimple(v, false)) {
      return false;
    }
    if (!Skip() || _pCursor == _pEnd || *_pCursor != ')') return false;
    ++_pCursor;
    v.type = type;
    return true;
  }

  const char* _pCursor = nullptr;
  const char* _pEnd = nullptr;
  std::size_t _size = 0;
  bool _values = false;
  Value _read[kMax];
  Value _unset;
};

}  // namespace ifc
