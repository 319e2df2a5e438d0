// Fuzz target for the dialog's message reader: arbitrary bodies, fed whole and split
// at a point the input chooses, must be judged the same way and give the same strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DialogToolkit/src/QORWebMessage.h"

namespace {

struct Verdict {
  bool ok = false;
  std::vector<std::string> strings;
};

Verdict Read(const char* data, size_t size, size_t split) {
  QORWebMessageReader reader;
  reader.Expect(size);
  Verdict verdict;
  verdict.ok =
      reader.Feed(data, split) && reader.Feed(data + split, size - split) && reader.Finish();
  if (verdict.ok) verdict.strings = reader.Strings();
  return verdict;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks where the body is cut in two.
  const char* body = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  const size_t split = length == 0 ? 0 : data[0] % (length + 1);
  const Verdict whole = Read(body, length, length);
  const Verdict cut = Read(body, length, split);
  if (whole.ok != cut.ok || whole.strings != cut.strings) __builtin_trap();
  return 0;
}
