// Fuzz target for the JSON reader under the filter reader: arbitrary bytes through
// parsing and the check without a parse (which must agree), the filter reader's
// ReadFilterDocument and every look-up it answers, and a round trip through the writer,
// which must give back the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DXModuleSwitches.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"
#include "JsonStreams/QORJsonCheck.h"
#include "QORResolvedFilter.h"

// The module's switches live in its entry file, which is not compiled in here: the
// reader runs as in a normal session.
namespace dx {
bool g_dumpSwitch = false;
}  // namespace dx

namespace {

// Reads every member of every object and array down to a bounded depth, through each
// accessor, as the readers of a filter document do.
void Walk(const JSON::JIStream& view, int depth) {
  if (depth > 64) return;
  (void)view.Empty();
  (void)view.GetType();
  (void)view.Stringify();
  for (std::string_view key : view.Keys()) {
    const std::string name(key);
    (void)view.GetType(name.c_str());
    (void)view.Exist(name.c_str());
    (void)view.ReadString(name.c_str());
    (void)view.ReadStrings(name.c_str());
    (void)view.ReadRawString(name.c_str());
    Walk(view.ReadObject(name.c_str()), depth + 1);
    for (const JSON::JIStream& element : view.ReadObjects(name.c_str())) Walk(element, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  JSON::JIStream root;
  const bool parsed = root.Parse(text);
  if (QORIsValidJson(text) != parsed) __builtin_trap();  // the check refuses what a parse does
  if (!parsed) {
    if (root.LastError().empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  Walk(root, 0);

  // What the writer makes of an object reads back, and writes again, as the same text
  // (not always the source's: a key given twice keeps its place and its last value).
  if (root.IsObject()) {
    const std::string written = JSON::JOStream(root).Stringify().Str();
    JSON::JIStream again;
    if (!again.Parse(std::string_view(written)) ||
        JSON::JOStream(again).Stringify().Str() != written)
      __builtin_trap();
  }

  // The filter reader, and every look-up of every id it found.
  QORResolvedFilter* reader = new QORResolvedFilter();  // one reference, released below
  if (QORSucceeded(reader->ReadFilterDocument(root))) {
    std::vector<QORUnicodeString> ids;
    reader->GetObjectIds(ids);
    QORUnicodeString value;
    reader->GetFilterID(value);
    const std::vector<std::string_view> keys = root.Keys();
    for (const QORUnicodeString& id : ids) {
      for (const char* column : {"Import", "Name", "Type", "", "uid"})
        reader->GetObjectAttribute(id, QORUnicodeString(column), value);
      for (std::string_view key : keys)
        reader->GetObjectAttribute(id, QORUnicodeString(key), value);
    }
    for (std::string_view key : root.ReadObject("data").ReadObject("settings").Keys())
      reader->GetSetting(QORUnicodeString(key), value);
  }
  reader->Release();
  return 0;
}
