// Fuzz target for the STEP file reader and the models on it: whole IFC files, DATA sections,
// single parameter lists, STEP product structures, and the two-thread index split anywhere.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "IfcModel.h"
#include "StepAssembly.h"
#include "StepFile.h"
#include "StepParameters.h"
#include "StepString.h"

namespace {

// Decoding must always produce well-formed UTF-8, whatever the escapes looked like.
void CheckUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = 1;
    char32_t cp = b;
    if (b >= 0x80) {
      if (b >= 0xC2 && b <= 0xDF) {
        len = 2, cp = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, cp = b & 0x0F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, cp = b & 0x07;
      } else {
        __builtin_trap();
      }
      if (i + len > s.size()) __builtin_trap();
      for (std::size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) __builtin_trap();
        cp = (cp << 6) | (c & 0x3F);
      }
      if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
          (cp >= 0xD800 && cp <= 0xDFFF)) {
        __builtin_trap();
      }
    }
    i += len;
  }
}

// Touches every node and every attribute so lazily decoded paths run too.
void WalkModel(const ifc::Model& model) {
  std::vector<const ifc::Node*> pending(model.Roots().begin(), model.Roots().end());
  std::size_t visited = 0;
  while (!pending.empty()) {
    const ifc::Node* node = pending.back();
    pending.pop_back();
    if (++visited > model.NodeCount()) __builtin_trap();  // a node reachable twice
    if (node->Label().empty()) __builtin_trap();
    CheckUtf8(node->Name());
    CheckUtf8(node->GlobalId());
    for (const auto which : {ifc::NodeAttribute::Description, ifc::NodeAttribute::ObjectType,
                             ifc::NodeAttribute::LongName, ifc::NodeAttribute::Tag}) {
      CheckUtf8(model.Attribute(*node, which));
    }
    for (const ifc::Node* child : node->Children()) {
      if (child->Parent() != node) __builtin_trap();
      pending.push_back(child);
    }
  }
  if (visited != model.NodeCount()) __builtin_trap();  // a node not reachable
}

void CheckColumns(const ifc::Model& model) {
  const ifc::PropertyIndex* index = model.Properties();
  if (index == nullptr) __builtin_trap();
  for (std::size_t c = 0; c < index->Columns().size(); ++c) {
    CheckUtf8(index->Columns()[c].name);
    for (uint32_t id = 0; id < 64; ++id) CheckUtf8(index->Value(c, id));
  }
}

void DecodeAll(const ifc::StepFile& file) {
  ifc::StepParameters params;
  std::string text;
  for (const ifc::StepEntry& e : file.Entries()) {
    file.Decode(e, params);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const ifc::StepValue& v = params.Unwrap(params[i]);
      if (v.kind == ifc::StepKind::String) {
        text.clear();
        ifc::StepString::DecodeAppend(v.text, text);
        CheckUtf8(text);
      }
      for (const ifc::StepValue& item : params.Items(v)) {
        if (item.kind == ifc::StepKind::Reference) file.Find(item.reference);
      }
    }
  }
}

// Every occurrence once, children pointing back at their parent, uids unique, texts UTF-8.
void WalkAssembly(const step::StepAssembly& assembly) {
  std::vector<const step::StepOccurrence*> pending;
  for (const step::StepOccurrence& root : assembly.Roots()) pending.push_back(&root);
  std::set<std::string> uids;
  std::size_t visited = 0;
  while (!pending.empty()) {
    const step::StepOccurrence* node = pending.back();
    pending.pop_back();
    if (++visited > assembly.OccurrenceCount()) __builtin_trap();
    CheckUtf8(assembly.Label(*node));
    const std::string uid = assembly.Uid(*node);
    CheckUtf8(uid);
    if (!uids.insert(uid).second) __builtin_trap();  // two entities, one id
    if (const step::StepProduct* p = assembly.Product(*node)) CheckUtf8(p->name);
    for (const step::StepOccurrence& child : assembly.Children(*node)) {
      if (&assembly.Roots()[0] + child.parent != node) __builtin_trap();
      pending.push_back(&child);
    }
  }
  if (visited != assembly.OccurrenceCount()) __builtin_trap();
}

// The index of one pass, as text, to compare with a split one.
std::string DescribeIndex(const ifc::StepFile& file) {
  std::string out;
  for (const ifc::StepEntry& e : file.Entries()) {
    out += std::to_string(e.id) + ":" + std::string(file.TypeName(e)) + ":" +
           std::to_string(e.offset) + ":" + std::to_string(e.length) + " ";
  }
  return out;
}

const char kDataHeader[] =
    "ISO-10303-21;HEADER;FILE_DESCRIPTION((''),'2;1');"
    "FILE_NAME('','',(''),(''),'','','');FILE_SCHEMA(('%s'));ENDSEC;DATA;\n";

std::string DataSection(const char* schema, std::string_view body) {
  std::string text(kDataHeader);
  text.replace(text.find("%s"), 2, schema);
  text.append(body);
  text.append("\nENDSEC;END-ISO-10303-21;\n");
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the rest is used, so mutations reach deep states quickly.
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string error;
  switch (data[0] % 5) {
    case 0: {  // a whole file
      const std::vector<char> exact(body.begin(), body.end());
      ifc::Model model;
      if (model.OpenBuffer(std::string_view(exact.data(), exact.size()), error)) WalkModel(model);
      ifc::StepFile file;
      if (file.OpenBuffer(std::string_view(exact.data(), exact.size()), error)) DecodeAll(file);
      break;
    }
    case 1: {  // a DATA section under a valid header
      std::string text =
          "ISO-10303-21;HEADER;FILE_DESCRIPTION((''),'2;1');"
          "FILE_NAME('','',(''),(''),'','','');FILE_SCHEMA(('IFC4'));ENDSEC;DATA;\n";
      text.append(body);
      text.append("\nENDSEC;END-ISO-10303-21;\n");
      ifc::Model model;
      if (model.OpenBuffer(text, error)) WalkModel(model);
      ifc::StepFile file;
      if (file.OpenBuffer(text, error)) DecodeAll(file);
      // Every column the records offer: properties, materials, classifications, layers.
      ifc::Model withColumns;
      const std::vector<std::string> every = {"*"};
      if (withColumns.OpenBuffer(text, error, every)) CheckColumns(withColumns);
      break;
    }
    case 3: {  // a STEP product structure, small limit, sometimes in a code page and split
      step::StepAssemblyOptions options;
      options.maxOccurrences = 20000;
      // A single-byte page, or a multi-byte one whose second bytes may be ASCII.
      if (data[0] & 0x40) options.codePage = (data[0] & 0x20) ? "Shift_JIS" : "windows-1251";
      options.splitFrom = (data[0] & 0x80) ? 1 : 0;
      step::StepAssembly assembly;
      if (assembly.OpenBuffer(DataSection("AUTOMOTIVE_DESIGN", body), error, options)) {
        WalkAssembly(assembly);
      }
      break;
    }
    case 4: {  // the second indexing thread starts where the first two bytes say
      if (body.size() < 2) break;
      const std::string text = DataSection("IFC4", body.substr(2));
      ifc::StepIndexOptions single;
      single.splitFrom = 0;
      ifc::StepIndexOptions split;
      split.splitFrom = 1;
      split.splitNear = 1 + (static_cast<std::size_t>(static_cast<uint8_t>(body[0])) << 8 |
                             static_cast<uint8_t>(body[1])) %
                                text.size();
      ifc::StepFile one, two;
      std::string splitError;
      const bool oneOk = one.OpenBuffer(text, error, single);
      const bool twoOk = two.OpenBuffer(text, splitError, split);
      // Wherever the split falls, the outcome is the one pass's.
      if (oneOk != twoOk || error != splitError) __builtin_trap();
      if (oneOk && DescribeIndex(one) != DescribeIndex(two)) __builtin_trap();
      break;
    }
    default: {  // one parameter list, and the same bytes as string content
      const std::vector<char> exact(body.begin(), body.end());
      const std::string_view view(exact.data(), exact.size());
      ifc::StepParameters params;
      params.Parse(view);
      params.ParseComplex(view);
      CheckUtf8(ifc::StepString::Decode(view));
      break;
    }
  }
  return 0;
}
