// Document.cpp - the parsed document's record of number texts that simdjson would print
// differently from how they were written.
#include "Document.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

namespace JSON {

void Document::RecordSourceNumbers(const char* input, size_t length) {
  // One pass over the tape finds the numbers whose text could be lost; documents without
  // any (a filter document holds only strings and booleans) stop here.
  struct Candidate {
    uint64_t index;  // among all the numbers of the document
    uint64_t after;
    uint32_t rank;
    bool isDouble;
    double value;
  };
  std::vector<Candidate> candidates;
  constexpr uint64_t kPayload = (uint64_t{1} << 56) - 1;
  // The tape layout is simdjson's internal: the top CMakeLists.txt accepts only 3.x for that.
  const uint64_t* tape = dom.tape.get();
  const size_t end = static_cast<size_t>(tape[0] & kPayload);  // the closing root word
  // First a bare look for any number: one well-predicted test a word, so the pass runs
  // at memory speed; the bookkeeping below is only for documents that have numbers.
  size_t firstNumber = 1;
  for (; firstNumber < end; ++firstNumber) {
    const char type = static_cast<char>(tape[firstNumber] >> 56);
    if (type == 'l' || type == 'u' || type == 'd') break;
  }
  if (firstNumber == end) return;
  uint64_t after = 0, index = 0;
  uint32_t rank = 0;
  for (size_t i = 1; i < end; ++i) {
    const uint64_t word = tape[i];
    switch (static_cast<char>(word >> 56)) {
      case '"':
        after = (word & kPayload) + sizeof(uint32_t);  // the bytes follow their length
        rank = 0;
        break;
      case 'l':
        if (tape[i + 1] == 0) candidates.push_back({index, after, rank++, false, 0});
        ++index;
        ++i;
        break;
      case 'd': {
        double value;
        std::memcpy(&value, &tape[i + 1], sizeof(value));
        candidates.push_back({index, after, rank++, true, value});
        ++index;
        ++i;
        break;
      }
      case 'u':
        ++index;
        ++i;
        break;
      default:
        break;
    }
  }
  if (candidates.empty()) return;

  // Numbers come in the same order in the text as on the tape.
  const char* p = input;
  const char* const stop = input + length;
  size_t next = 0;
  index = 0;
  char printed[32];
  while (p < stop && next < candidates.size()) {
    const char c = *p;
    if (c == '"') {
      const char* from = ++p;
      for (;;) {
        const char* quote =
            static_cast<const char*>(std::memchr(from, '"', static_cast<size_t>(stop - from)));
        if (!quote) {
          p = stop;
          break;
        }
        size_t backslashes = 0;
        while (quote - backslashes > from &&
               quote[-1 - static_cast<ptrdiff_t>(backslashes)] == '\\')
          ++backslashes;
        from = quote + 1;
        if (backslashes % 2 == 0) break;
      }
      p = from;
      continue;
    }
    if (c != '-' && (c < '0' || c > '9')) {
      ++p;
      continue;
    }
    const char* start = p;
    while (p < stop && ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.' ||
                        *p == 'e' || *p == 'E'))
      ++p;
    const Candidate& candidate = candidates[next];
    if (index++ != candidate.index) continue;
    ++next;
    const std::string_view source(start, static_cast<size_t>(p - start));
    std::string_view canonical = "0";
    if (candidate.isDouble) {
      const auto result = std::to_chars(printed, printed + sizeof(printed), candidate.value);
      canonical = std::string_view(printed, static_cast<size_t>(result.ptr - printed));
    }
    if (source == canonical) continue;
    numbers.push_back(
        {candidate.after, candidate.rank, static_cast<uint32_t>(source.size()), numberText.size()});
    numberText.append(source);
  }
}

std::string_view Document::SourceNumberText(uint64_t after, uint32_t rank) const {
  const auto found = std::lower_bound(
      numbers.begin(), numbers.end(), std::make_pair(after, rank),
      [](const SourceNumber& n, const std::pair<uint64_t, uint32_t>& key) {
        return n.after < key.first || (n.after == key.first && n.rank < key.second);
      });
  if (found == numbers.end() || found->after != after || found->rank != rank) return {};
  return std::string_view(numberText).substr(found->offset, found->length);
}

}  // namespace JSON
