// bench_json_streams - JSON stream throughput and memory on filter-shaped documents.
//
// Each run of a case is a forked child, so that its peak memory (the child's maximum
// resident set) is its own. Floors measured in the same run sit beside each figure:
// building = one std::string appended by hand with the same bytes; parsing = bare
// simdjson with a new parser, as JIStream uses one.
//
//   bench_json_streams [nodes...]      (default: 100000 1000000)
#include <simdjson.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "BenchProcess.h"
#include "JsonStreams/JIStream.h"
#include "JsonStreams/JOStream.h"

namespace {

constexpr uint32_t kFanOut = 8;
constexpr int kCells = 10;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The strings of one node, made the same way for every builder.
struct NodeText {
  char label[32];
  char uid[23];
  char cells[kCells][24];
  char nls[2][24];
};

// Writes prefix and number into out (to_chars: snprintf would cost more than the JSON).
void Compose(char* out, size_t size, std::string_view prefix, uint32_t number, int suffix = -1) {
  char* p = std::copy(prefix.begin(), prefix.end(), out);
  p = std::to_chars(p, out + size - 4, number).ptr;
  if (suffix >= 0) {
    *p++ = '-';
    *p++ = static_cast<char>('0' + suffix);
  }
  *p = '\0';
}

void Fill(uint32_t id, NodeText& node) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  Compose(node.label, sizeof(node.label), "Node ", id);
  uint64_t x = id * 0x9E3779B97F4A7C15ULL + 12345;
  for (int i = 0; i < 22; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    node.uid[i] = kAlphabet[(x >> 40) % 62];
  }
  node.uid[22] = '\0';
  for (int c = 0; c < kCells; ++c)
    Compose(node.cells[c], sizeof(node.cells[c]), "value ", id % 100000, c);
  Compose(node.nls[0], sizeof(node.nls[0]), "\xC3\x89tage ", id % 1000);
  Compose(node.nls[1], sizeof(node.nls[1]), "Zone ", id % 97);
}

const char* const kColumns[kCells] = {"col1", "col2", "col3", "col4", "col5",
                                      "col6", "col7", "col8", "col9", "col10"};

// --- the floor: the same bytes appended by hand to one string -----------------------

void AppendNode(std::string& out, uint32_t id, uint32_t count) {
  NodeText t;
  Fill(id, t);
  out += "{\"label\":\"";
  out += t.label;
  out += "\",\"data\":{\"uid\":[\"";
  out += t.uid;
  out += "\"],\"NLS_grid\":{\"col1\":\"";
  out += t.nls[0];
  out += "\",\"col2\":\"";
  out += t.nls[1];
  out += "\"}},\"grid\":{";
  for (int c = 0; c < kCells; ++c) {
    out += c ? ",\"" : "\"";
    out += kColumns[c];
    out += "\":\"";
    out += t.cells[c];
    out += '"';
  }
  out += '}';
  const uint64_t first = uint64_t{id} * kFanOut + 1;
  if (first < count) {
    out += ",\"children\":[";
    for (uint64_t child = first; child < first + kFanOut && child < count; ++child) {
      if (child != first) out += ',';
      AppendNode(out, static_cast<uint32_t>(child), count);
    }
    out += ']';
  }
  out += '}';
}

std::string HandWritten(uint32_t count) {
  std::string out = "{\"data\":{\"filterID\":\"F-0001\",\"formatUsage\":\"Import\"},\"columns\":[";
  out += "{\"dataIndex\":\"tree\",\"editableFlag\":false,\"data\":{\"NLS_text\":\"Tree\"}}";
  for (const char* column : kColumns) {
    out += ",{\"dataIndex\":\"";
    out += column;
    out += "\",\"data\":{\"NLS_text\":\"Column ";
    out += column;
    out += "\"}}";
  }
  out += "],\"roots\":[";
  AppendNode(out, 0, count);
  out += "]}";
  return out;
}

// --- the same document through JOStream, bottom-up as a generator builds it --------

JSON::JOStream BuildNode(uint32_t id, uint32_t count) {
  NodeText t;
  Fill(id, t);
  JSON::JOStream node, data, grid, nlsGrid;
  node.Add("label", t.label);
  std::vector<QORUnicodeString> uid;
  uid.emplace_back(t.uid);
  data.Add("uid", uid);
  nlsGrid.Add("col1", t.nls[0]);
  nlsGrid.Add("col2", t.nls[1]);
  data.Add("NLS_grid", std::move(nlsGrid));
  for (int c = 0; c < kCells; ++c) grid.Add(kColumns[c], t.cells[c]);
  node.Add("data", std::move(data));
  node.Add("grid", std::move(grid));
  const uint64_t first = uint64_t{id} * kFanOut + 1;
  if (first < count) {
    std::vector<JSON::JOStream> children;
    for (uint64_t child = first; child < first + kFanOut && child < count; ++child)
      children.push_back(BuildNode(static_cast<uint32_t>(child), count));
    node.Add("children", std::move(children));
  }
  return node;
}

JSON::JOStream BuildDocument(uint32_t count) {
  JSON::JOStream document, data;
  data.Add("filterID", "F-0001");
  data.Add("formatUsage", "Import");
  std::vector<JSON::JOStream> columns;
  {
    JSON::JOStream column, columnData;
    column.Add("dataIndex", "tree");
    column.Add("editableFlag", false);
    columnData.Add("NLS_text", "Tree");
    column.Add("data", std::move(columnData));
    columns.push_back(std::move(column));
  }
  for (const char* name : kColumns) {
    JSON::JOStream column, columnData;
    column.Add("dataIndex", name);
    columnData.Add("NLS_text", QORUnicodeString(std::string("Column ") + name));
    column.Add("data", std::move(columnData));
    columns.push_back(std::move(column));
  }
  std::vector<JSON::JOStream> roots;
  roots.push_back(BuildNode(0, count));
  document.Add("data", std::move(data));
  document.Add("columns", std::move(columns));
  document.Add("roots", std::move(roots));
  return document;
}

// --- running cases in children ------------------------------------------------------

struct Outcome {
  double seconds = 0;   // the timed part
  double seconds2 = 0;  // a second timed part, where the case has one
  uint64_t bytes = 0;   // of the document
  uint64_t digest = 0;  // of the text produced, to compare builders
  bool ok = false;
  long peakKb = 0;  // filled in by the parent
};

uint64_t Digest(std::string_view text) {
  return std::hash<std::string_view>()(text);
}

Outcome RunInChild(const std::function<Outcome()>& body) {
  struct rusage usage {};
  Outcome outcome = measure::RunInChild<Outcome>(body, &usage);
  outcome.peakKb = usage.ru_maxrss;
  return outcome;
}

// Keeps the best time and the highest peak of the runs of one case.
void Merge(Outcome& best, const Outcome& run, bool first) {
  const long peak = first ? run.peakKb : std::max(best.peakKb, run.peakKb);
  const bool ok = run.ok && (first || best.ok);
  if (first || run.seconds < best.seconds) best = run;
  best.peakKb = peak;
  best.ok = ok;
}

void PrintRow(uint32_t nodes, const char* name, const Outcome& o, double floorSeconds,
              const char* floorName) {
  const double mb = static_cast<double>(o.bytes) / 1e6;
  std::printf("%8u  %-34s %8.3f %8.0f %7.2f x %-9s %8.0f %6.2f x%s\n", nodes, name, o.seconds,
              mb / o.seconds, o.seconds / floorSeconds, floorName,
              static_cast<double>(o.peakKb) / 1024.0,
              static_cast<double>(o.peakKb) * 1024.0 / static_cast<double>(o.bytes),
              o.ok ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint32_t> sizes;
  for (int i = 1; i < argc; ++i)
    sizes.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::printf(
      "Filter documents, fan-out %u, %d grid cells a node; best of several runs, each in its own "
      "process.\n",
      kFanOut, kCells);
  std::printf(
      "peak = maximum resident set of the case's process; peak/doc against the compact text "
      "size.\n\n");
  std::printf("%8s  %-34s %8s %8s %9s %-9s %8s %8s\n", "nodes", "case", "time s", "MB/s", "ratio",
              "to", "peak MB", "peak/doc");
  bool targetsMet = true;
  for (const uint32_t nodes : sizes) {
    const int runs = nodes <= 200000 ? 5 : 3;

    auto floorCase = [nodes] {
      Outcome o;
      const double start = Now();
      const std::string text = HandWritten(nodes);
      o.seconds = Now() - start;
      o.bytes = text.size();
      o.digest = Digest(text);
      o.ok = true;
      return o;
    };
    auto buildCase = [nodes] {
      Outcome o;
      const double start = Now();
      JSON::JOStream document = BuildDocument(nodes);
      const double built = Now();
      const QORUnicodeString text = document.Stringify();
      o.seconds = Now() - start;
      o.seconds2 = built - start;
      o.bytes = text.Str().size();
      o.digest = Digest(text.View());
      o.ok = true;
      return o;
    };
    // Parsing: the text is made first (not timed), with room for the padding, as
    // JOStream::Stringify leaves it.
    auto parseCase = [nodes](bool bare) {
      return [nodes, bare] {
        Outcome o;
        QORUnicodeString text(HandWritten(nodes));
        text.Str().reserve(text.Str().size() + simdjson::SIMDJSON_PADDING);
        o.bytes = text.Str().size();
        if (bare) {
          const double start = Now();
          simdjson::dom::parser parser;
          simdjson::dom::element root;
          o.ok = parser.parse(text.Str()).get(root) == simdjson::SUCCESS;
          o.seconds = Now() - start;
          // the same parser again: its memory is touched already
          const double again = Now();
          o.ok = o.ok && parser.parse(text.Str()).get(root) == simdjson::SUCCESS;
          o.seconds2 = Now() - again;
        } else {
          JSON::JIStream view;
          const double start = Now();
          o.ok = view.Parse(text);
          o.seconds = Now() - start;
          o.ok = o.ok && view.ReadObjects("roots").size() == 1;
        }
        return o;
      };
    };
    // Rounds run every case in turn, so that the state of the machine's memory favours
    // none of them.
    const std::function<Outcome()> cases[] = {floorCase, buildCase, parseCase(true),
                                              parseCase(false)};
    Outcome best[4];
    for (int round = 0; round < runs; ++round) {
      for (int c = 0; c < 4; ++c) Merge(best[c], RunInChild(cases[c]), round == 0);
    }
    const Outcome &floor = best[0], &build = best[1], &bare = best[2], &parse = best[3];
    if (build.digest != floor.digest)
      std::printf("JOStream text differs from the hand-written text!\n");

    PrintRow(nodes, "floor: std::string by hand", floor, floor.seconds, "floor");
    PrintRow(nodes, "JOStream build + Stringify", build, floor.seconds, "floor");
    std::printf("%8s  %-34s %8.3f   (build %.3f s, Stringify %.3f s)\n", "", "", build.seconds,
                build.seconds2, build.seconds - build.seconds2);
    PrintRow(nodes, "simdjson parse, new parser", bare, bare.seconds, "simdjson");
    std::printf("%8s  %-34s %8.3f %8.0f   (second parse, same parser)\n", "", "", bare.seconds2,
                static_cast<double>(bare.bytes) / 1e6 / bare.seconds2);
    PrintRow(nodes, "JIStream::Parse", parse, bare.seconds, "simdjson");
    std::printf("\n");

    if (nodes >= 1000000) {
      const double ratio = build.seconds / floor.seconds;
      const double memory =
          static_cast<double>(build.peakKb) * 1024.0 / static_cast<double>(build.bytes);
      std::printf(
          "targets at %u nodes: build+Stringify %.2f x floor (<= 2) %s; peak %.2f x document (<= "
          "3) %s\n\n",
          nodes, ratio, ratio <= 2.0 ? "met" : "MISSED", memory, memory <= 3.0 ? "met" : "MISSED");
      targetsMet = targetsMet && ratio <= 2.0 && memory <= 3.0;
    }
  }
  return targetsMet ? 0 : 1;
}
