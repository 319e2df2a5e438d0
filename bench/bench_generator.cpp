// bench_generator - the filter document generator of the input-filtering module, loaded
// from disk, against a floor measured in the same run.
//
// Case: GenerateDocument over the synthetic provider (fan-out 8, ten cell columns, an
// entity list of 1,000 names, settings with a default profile) and SaveDocumentToFile,
// compact, into $TMPDIR (or /tmp). Floor: the same provider walked with the same calls,
// the same import-mode decision, the same bytes appended by hand to one std::string,
// then written and flushed to disk as the save does. Both files must be equal byte for
// byte, or the floor would not be doing the same work.
//
// Each run of a case is a forked child; its peak memory is the high-water mark of its
// resident set beyond what it held when the case started.
//
//   bench_generator [--runs N] [entities ...]     (default: 3 runs of 100000 and 1000000)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "DXColumnTyping.h"
#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"
#include "SyntheticProvider.h"

namespace {

using measure::Now;
using measure::Outcome;

// --- the floor --------------------------------------------------------------------

// True when any of the 8 bytes is a control character, '"' or '\\'.
inline bool AnySpecial(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const uint64_t quote = x ^ (kOnes * '"'), backslash = x ^ (kOnes * '\\');
  return (((x - kOnes * 0x20) | (quote - kOnes) | (backslash - kOnes)) & ~x & kHigh) != 0;
}

// A JSON string literal; the provider's text is valid UTF-8, so only the characters
// JSON reserves are escaped.
void AppendQuoted(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  const char* p = s.data();
  const char* const end = p + s.size();
  const char* run = p;
  for (;;) {
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (AnySpecial(block)) break;
      p += 8;
    }
    while (p < end) {
      const auto c = static_cast<unsigned char>(*p);
      if (c < 0x20 || c == '"' || c == '\\') break;
      ++p;
    }
    if (p == end) break;
    out.append(run, static_cast<size_t>(p - run));
    const auto c = static_cast<unsigned char>(*p++);
    run = p;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(escaped, 6);
      }
    }
  }
  out.append(run, static_cast<size_t>(end - run));
  out += '"';
}

// ,"key": with the comma when the object already has members.
void AppendKey(std::string& out, bool& first, std::string_view key) {
  if (!first) out += ',';
  first = false;
  AppendQuoted(out, key);
  out += ':';
}

class FloorWriter {
 public:
  FloorWriter(QORIInputFilterStructure* provider, const std::unordered_set<std::string>& removal)
      : _provider(provider), _removal(removal) {}

  std::string Write() {
    _out.clear();
    _provider->SetInputFile(QORUnicodeString("synthetic://model"));
    QORUnicodeString usage, filterId;
    _provider->GetFormatUsage(usage);  // the generator checks the settings' format with it
    _provider->GetFilterID(filterId);
    _provider->GetFormatUsage(usage);
    _out += "{\"data\":{\"filterID\":";
    AppendQuoted(_out, filterId.View());
    _out += ",\"formatUsage\":";
    AppendQuoted(_out, usage.View());
    _out += ",\"settings\":";
    _out += synth::kSettingsCompact;
    _out += "},\"columns\":[";

    QORListValQORUnicodeString names;
    _provider->GetColumns(names);
    for (int i = 1; i <= names.Size(); ++i) {
      const bool isTree = i == 1;
      const QORUnicodeString name = isTree ? QORUnicodeString("tree") : names[i];
      QORUnicodeString text;
      int32_t type = 0;
      QORListValQORUnicodeString possible;
      _provider->GetColumnDescription(name, text, type, possible);
      if (!isTree) _out += ',';
      _out += "{\"dataIndex\":";
      AppendQuoted(_out, name.View());
      std::string data = "{";
      bool dataFirst = true;
      if (isTree) {
        _out += ",\"editableFlag\":false";
      } else {
        const DXColumnTyping typing = DXColumnTyping::Of(type);
        _out += typing.editable ? ",\"editableFlag\":true,\"editionPolicy\":\"EditionInPlace\""
                                : ",\"editableFlag\":false";
        if (typing.representation) {
          _out += ",\"typeRepresentation\":";
          AppendQuoted(_out, typing.representation);
        }
        if (typing.dataType) {
          AppendKey(data, dataFirst, "type");
          AppendQuoted(data, typing.dataType);
        }
        if (type == QORDXColumnType::kEnumeration) {
          AppendKey(data, dataFirst, "possibleValues");
          data += '[';
          for (int v = 1; v <= possible.Size(); ++v) {
            if (v > 1) data += ',';
            AppendQuoted(data, possible[v].View());
          }
          data += ']';
        }
      }
      AppendKey(data, dataFirst, "NLS_text");
      AppendQuoted(data, text.View());
      data += '}';
      _out += ",\"data\":";
      _out += data;
      _out += '}';
    }
    _out += "],\"roots\":[";
    QORRawCollPV roots;
    _provider->GetRoots(roots);
    for (int i = 1; i <= roots.Size(); ++i) {
      if (i > 1) _out += ',';
      Node(roots[i]);
    }
    _out += "]}";
    return std::move(_out);
  }

 private:
  void Node(void* entity) {
    // The decision, as the settings store makes it with these settings.
    _attribute.Str().clear();
    _provider->GetEntityAttribute(entity, QORUnicodeString(QORDXEntityAttribute::kEntityName),
                                  _attribute);
    std::string_view mode;
    if (_removal.count(_attribute.Str())) {
      mode = QORDXImportMode::kNoImport;
    } else {
      _attribute.Str().clear();
      _provider->GetEntityAttribute(
          entity, QORUnicodeString(QORDXEntityAttribute::kIsLatestSpatialEntity), _attribute);
      if (_attribute.View() == "true") mode = QORDXImportMode::kForDesign;
    }
    const QORUnicodeString modeText(mode);

    _label.Str().clear();
    _uids.RemoveAll();
    bool labelIsNLS = false;
    _provider->GetEntityLabel(entity, _label, _uids, labelIsNLS);
    _out += '{';
    if (!labelIsNLS) {
      _out += "\"label\":";
      AppendQuoted(_out, _label.View());
      _out += ',';
    }
    _out += "\"data\":{";
    bool dataFirst = true;
    if (labelIsNLS) {
      AppendKey(_out, dataFirst, "NLS_label");
      AppendQuoted(_out, _label.View());
    }
    if (_uids.Size() > 0) {
      AppendKey(_out, dataFirst, "uid");
      _out += '[';
      for (int i = 1; i <= _uids.Size(); ++i) {
        if (i > 1) _out += ',';
        AppendQuoted(_out, _uids[i].View());
      }
      _out += ']';
    }

    // NLS cells go straight out; the others wait in _grid until "data" is closed.
    _columns.RemoveAll();
    _provider->GetColumns(_columns);
    _grid.assign("{");
    bool gridFirst = true, nlsFirst = true;
    for (int i = 2; i <= _columns.Size(); ++i) {
      const QORUnicodeString& column = _columns[i];
      QORUnicodeString text;
      int32_t type = 0;
      QORListValQORUnicodeString possible;
      _provider->GetColumnDescription(column, text, type, possible);
      if (type == QORDXColumnType::kRuntime) continue;
      _value.Str().clear();
      bool isNLS = false;
      _provider->GetEntityValue(entity, column, _value, isNLS, mode.empty() ? nullptr : &modeText);
      if (_value.IsEmpty()) continue;
      if (isNLS) {
        if (nlsFirst) AppendKey(_out, dataFirst, "NLS_grid"), _out += '{';
        AppendKey(_out, nlsFirst, column.View());
        AppendQuoted(_out, _value.View());
      } else {
        AppendKey(_grid, gridFirst, column.View());
        AppendQuoted(_grid, _value.View());
      }
    }
    if (!nlsFirst) _out += '}';
    _grid += '}';

    _keys.RemoveAll();
    _values.RemoveAll();
    _provider->GetEntityData(entity, _keys, _values);
    for (int i = 1; i <= _keys.Size() && i <= _values.Size(); ++i) {
      AppendKey(_out, dataFirst, _keys[i].View());
      AppendQuoted(_out, _values[i].View());
    }
    _out += "},\"grid\":";
    _out += _grid;

    QORRawCollPV children;
    _provider->GetChildren(entity, children);
    if (children.Size() > 0) {
      _out += ",\"children\":[";
      for (int i = 1; i <= children.Size(); ++i) {
        if (i > 1) _out += ',';
        if (children[i]) {
          Node(children[i]);
        } else {
          _out += "{}";
        }
      }
      _out += ']';
    }
    _out += '}';
  }

  QORIInputFilterStructure* _provider;
  const std::unordered_set<std::string>& _removal;
  std::string _out, _grid;
  QORUnicodeString _label, _value, _attribute;
  QORListValQORUnicodeString _uids, _columns, _keys, _values;
};

// --- cases ----------------------------------------------------------------------------

// seconds[0]: generate, [1]: save; counts[0]: file bytes.
Outcome GeneratorCase(uint64_t entities, const std::string& path) {
  Outcome o;
  synth::g_entityCount = entities;
  QORListValQORUnicodeString names;
  for (const std::string& name : synth::RemovalNames()) names.Append(QORUnicodeString(name));
  const QORUnicodeString settings(synth::kSettingsText);
  measure::PeakProbe probe;
  probe.Start();

  void* p = nullptr;
  if (QORFailed(
          QORInstantiateComponent("INPUT_FILTER_GENERATOR", IID_QORIInputFilterGenerator, &p)) ||
      !p)
    return o;
  auto* generator = static_cast<QORIInputFilterGenerator*>(p);
  generator->AddEntityList(0, names);
  const double cpu = measure::CpuSeconds();
  const double start = Now();
  const HRESULT generated =
      generator->GenerateDocument(synth::kFormat, "synthetic://model", &settings);
  const double built = Now();
  const HRESULT saved =
      QORSucceeded(generated) ? generator->SaveDocumentToFile(QORUnicodeString(path)) : E_FAIL;
  const double end = Now();
  o.seconds[2] = measure::CpuSeconds() - cpu;
  o.peakKb = probe.PeakKb();
  o.seconds[0] = built - start;
  o.seconds[1] = end - built;
  o.counts[0] = measure::FileSize(path);
  o.ok = generated == S_OK && saved == S_OK;
  return o;
}

Outcome FloorCase(uint64_t entities, const std::string& path) {
  Outcome o;
  synth::g_entityCount = entities;
  std::unordered_set<std::string> removal;
  for (const std::string& name : synth::RemovalNames()) removal.insert(name);
  measure::PeakProbe probe;
  probe.Start();

  const double cpu = measure::CpuSeconds();
  const double start = Now();
  void* p = nullptr;
  if (QORFailed(QORInstantiateComponent(synth::kLateType, IID_QORIInputFilterStructure, &p)) || !p)
    return o;
  auto* provider = static_cast<QORIInputFilterStructure*>(p);
  FloorWriter writer(provider, removal);
  const std::string text = writer.Write();
  const double built = Now();
  const bool written = measure::WriteDurably(path, text);
  const double end = Now();
  o.seconds[2] = measure::CpuSeconds() - cpu;
  o.peakKb = probe.PeakKb();
  o.seconds[0] = built - start;
  o.seconds[1] = end - built;
  o.counts[0] = text.size();
  o.ok = written;
  provider->Release();
  return o;
}

struct Series {
  std::vector<double> total, part0, part1, cpu, peakMb;
  bool ok = true;
  void Add(const Outcome& o) {
    ok = ok && o.ok;
    total.push_back(o.seconds[0] + o.seconds[1]);
    part0.push_back(o.seconds[0]);
    part1.push_back(o.seconds[1]);
    cpu.push_back(o.seconds[2]);
    peakMb.push_back(static_cast<double>(o.peakKb) * 1024.0 / 1e6);
  }
};

void Row(const char* name, uint64_t entities, double docMb, double seconds, double floorSeconds,
         double peakMb) {
  std::printf("  %-26s %9llu %8.1f %8.3f %11.0f %8.0f %8.2f %9.0f %8.2f\n", name,
              static_cast<unsigned long long>(entities), docMb, seconds,
              static_cast<double>(entities) / seconds, docMb / seconds, seconds / floorSeconds,
              peakMb, peakMb / docMb);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  const int runs = measure::ParseRuns(argc, argv, 3, words);
  std::vector<uint64_t> sizes;
  for (const std::string& word : words) sizes.push_back(std::strtoull(word.c_str(), nullptr, 10));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string why;
  if (QORFailed(QORLoadModule("libDXInputFilterServices.so", &why))) {
    std::fprintf(stderr, "cannot load the input-filtering module: %s\n", why.c_str());
    return 2;
  }
  synth::RegisterProvider();

  const std::string generatorPath = measure::TempPath("dx_bench_generator");
  const std::string floorPath = measure::TempPath("dx_bench_generator_floor");
  std::printf(
      "Filter document generation: GenerateDocument + SaveDocumentToFile (compact) into %s\n",
      generatorPath.c_str());
  std::printf(
      "synthetic provider: fan-out %u, %d cell columns, half NLS, 1,000 names left out; "
      "%d runs a case, each in its own process, cases alternating.\n",
      synth::kFanOut, synth::kColumnCount - 1, runs);
  std::printf(
      "floor = same provider calls and bytes appended by hand to one std::string, written "
      "and flushed to disk the same way.\n");
  std::printf(
      "peak = resident high-water mark of the case beyond the process's baseline; MB = 10^6 "
      "bytes.\n\n");

  bool allMet = true;
  for (const uint64_t entities : sizes) {
    Series generator, floor;
    bool identical = true;
    uint64_t docBytes = 0;
    for (int run = 0; run < runs; ++run) {
      // Alternating, so that neither case always follows the other.
      const Outcome f = measure::RunInChild([&] { return FloorCase(entities, floorPath); });
      const Outcome g = measure::RunInChild([&] { return GeneratorCase(entities, generatorPath); });
      floor.Add(f);
      generator.Add(g);
      docBytes = g.counts[0];
      identical = identical && g.ok && f.ok && measure::SameFiles(generatorPath, floorPath);
    }
    std::remove(generatorPath.c_str());
    std::remove(floorPath.c_str());
    const double docMb = static_cast<double>(docBytes) / 1e6;

    std::printf(
        "%llu entities, document %.1f MB; generator output %s the floor's byte for byte%s\n",
        static_cast<unsigned long long>(entities), docMb, identical ? "equals" : "DIFFERS FROM",
        generator.ok && floor.ok ? "" : "  (A RUN FAILED)");
    std::printf("  %-26s %9s %8s %8s %11s %8s %8s %9s %8s\n", "case", "entities", "doc MB",
                "time s", "entities/s", "MB/s", "x floor", "peak MB", "peak/doc");
    const double gBest = measure::Best(generator.total), gMed = measure::Median(generator.total);
    const double fBest = measure::Best(floor.total), fMed = measure::Median(floor.total);
    Row("floor (best)", entities, docMb, fBest, fBest, measure::Best(floor.peakMb));
    Row("floor (median)", entities, docMb, fMed, fMed, measure::Median(floor.peakMb));
    Row("generator (best)", entities, docMb, gBest, fBest, measure::Best(generator.peakMb));
    Row("generator (median)", entities, docMb, gMed, fMed, measure::Median(generator.peakMb));
    std::printf(
        "  parts, median s: generator %.3f generate + %.3f save; floor %.3f build + %.3f write\n",
        measure::Median(generator.part0), measure::Median(generator.part1),
        measure::Median(floor.part0), measure::Median(floor.part1));
    std::printf(
        "  CPU s, median: generator %.3f, floor %.3f (%.2f x); run-by-run time ratio, median "
        "%.2f\n",
        measure::Median(generator.cpu), measure::Median(floor.cpu),
        measure::Median(generator.cpu) / measure::Median(floor.cpu),
        measure::PairedRatio(generator.total, floor.total));
    const double ratio = gMed / fMed;
    const double memory = measure::Median(generator.peakMb) / docMb;
    const bool met = identical && ratio <= 2.0 && memory <= 3.0;
    std::printf(
        "  targets: time %.2f x floor (median; best %.2f) <= 2.0 %s; peak %.2f x document <= 3.0 "
        "%s\n\n",
        ratio, gBest / fBest, ratio <= 2.0 ? "met" : "MISSED", memory,
        memory <= 3.0 ? "met" : "MISSED");
    allMet = allMet && met;
  }
  return allMet ? 0 : 1;
}
