// Opening a large STEP assembly: the instance index, the expanded product structure and the
// whole filter document generation through the modules, beside a bare scan floor measured in
// the same run.
//
// Generates a synthetic AP214 assembly of at least 200 MB and 100,000 occurrences once
// ($TMPDIR or /tmp, reused when present): a root, sub-assemblies used twice, groups shared
// between them, and parts whose faceted geometry makes most of the file, as exported
// assemblies are. Then times, each in a fresh child process so peak memory is its own:
//   floor     map the file and count instances with a bare string-aware scan
//   index     step::StepFile::Open (map, header, index every instance)
//   open      step::StepAssembly::Open (the above, product records and the expanded tree)
//   generate  the input-filtering module and the STEP provider loaded from lib/modules, the
//             generator created by late type, GenerateDocument("STEP", file) and
//             SaveDocumentToFile into $TMPDIR (loading the modules is not timed)
// The phases take turns, round after round. Prints best and median times, MB/s of the file,
// their ratio to the floor of the same round, processor time and the child's peak memory.
//
//   bench_step_assembly [--runs N] [file.stp]
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "StepAssembly.h"
#include "StepFile.h"

namespace {

constexpr uint64_t kTargetBytes = 210'000'000;
constexpr int kDefaultRuns = 5;

// ---- synthetic assembly ------------------------------------------------------------------

class Writer {
 public:
  explicit Writer(std::FILE* out) : _out(out) {}
  uint64_t Bytes() const { return _bytes; }
  // Appends "#id=TEXT;\n" and returns id.
  uint64_t Rec(const std::string& text) {
    const uint64_t id = ++_id;
    _bytes += static_cast<uint64_t>(
        std::fprintf(_out, "#%llu=%s;\n", static_cast<unsigned long long>(id), text.c_str()));
    return id;
  }

 private:
  std::FILE* _out;
  uint64_t _bytes = 0;
  uint64_t _id = 0;
};

std::string Ref(uint64_t id) {
  return "#" + std::to_string(id);
}

constexpr int kParts = 2000;
constexpr int kGroups = 400;
constexpr int kPartsPerGroup = 45;
constexpr int kSubAssemblies = 40;
constexpr int kGroupsPerSub = 30;
// 1 + 80 + 80 * 30 + 80 * 30 * 45 = 110,481 occurrences.

struct Shape {
  uint64_t definition = 0;
  uint64_t representation = 0;
};

bool Generate(const std::string& path) {
  const std::string temp = path + ".part";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) return false;
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  std::fputs(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('synthetic assembly'),'2;1');\n"
      "FILE_NAME('synthetic.stp','2026-01-01T00:00:00',('Team'),('Bench'),'bench','bench','');\n"
      "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\nENDSEC;\nDATA;\n",
      out);
  Writer w(out);
  const uint64_t app = w.Rec("APPLICATION_CONTEXT('automotive design')");
  const uint64_t pctx = w.Rec("PRODUCT_CONTEXT(''," + Ref(app) + ",'mechanical')");
  const uint64_t dctx =
      w.Rec("PRODUCT_DEFINITION_CONTEXT('part definition'," + Ref(app) + ",'design')");
  const uint64_t geo = w.Rec("GEOMETRIC_REPRESENTATION_CONTEXT('3D','',3)");
  const uint64_t origin = w.Rec("CARTESIAN_POINT('',(0.,0.,0.))");
  const uint64_t z = w.Rec("DIRECTION('',(0.,0.,1.))");
  const uint64_t x = w.Rec("DIRECTION('',(1.,0.,0.))");
  const uint64_t world =
      w.Rec("AXIS2_PLACEMENT_3D(''," + Ref(origin) + "," + Ref(z) + "," + Ref(x) + ")");

  auto product = [&](const std::string& id, const std::string& name,
                     const std::string& items) -> Shape {
    const uint64_t p = w.Rec("PRODUCT('" + id + "','" + name + "',''," + "(" + Ref(pctx) + "))");
    const uint64_t f =
        w.Rec("PRODUCT_DEFINITION_FORMATION_WITH_SPECIFIED_SOURCE('A',''," + Ref(p) + ",.MADE.)");
    const uint64_t d = w.Rec("PRODUCT_DEFINITION('design',''," + Ref(f) + "," + Ref(dctx) + ")");
    const uint64_t s =
        w.Rec("PRODUCT_DEFINITION_SHAPE(''," + std::string("''") + "," + Ref(d) + ")");
    const uint64_t r = w.Rec("SHAPE_REPRESENTATION('" + id + "',(" + items + ")," + Ref(geo) + ")");
    w.Rec("SHAPE_DEFINITION_REPRESENTATION(" + Ref(s) + "," + Ref(r) + ")");
    return {d, r};
  };
  auto use = [&](const Shape& parent, const Shape& child, const std::string& id,
                 const std::string& description, int k) {
    const uint64_t u =
        w.Rec("NEXT_ASSEMBLY_USAGE_OCCURRENCE('" + id + "','Next assembly relationship','" +
              description + "'," + Ref(parent.definition) + "," + Ref(child.definition) + ",$)");
    const uint64_t pt = w.Rec("CARTESIAN_POINT('',(" + std::to_string(k * 25) + ".," +
                              std::to_string(k % 7 * 10) + ".,0.))");
    const uint64_t ax =
        w.Rec("AXIS2_PLACEMENT_3D(''," + Ref(pt) + "," + Ref(z) + "," + Ref(x) + ")");
    const uint64_t t = w.Rec("ITEM_DEFINED_TRANSFORMATION(''," + std::string("''") + "," +
                             Ref(world) + "," + Ref(ax) + ")");
    const uint64_t rr = w.Rec("(REPRESENTATION_RELATIONSHIP(''," + std::string("''") + "," +
                              Ref(child.representation) + "," + Ref(parent.representation) +
                              ")REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION(" + Ref(t) +
                              ")SHAPE_REPRESENTATION_RELATIONSHIP())");
    const uint64_t ps = w.Rec("PRODUCT_DEFINITION_SHAPE('Placement',''," + Ref(u) + ")");
    w.Rec("CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(" + Ref(rr) + "," + Ref(ps) + ")");
  };

  // Parts: faceted bodies, until the file is large enough (geometry is most of an export).
  const uint64_t perPart = kTargetBytes / kParts + 1;
  std::vector<Shape> parts;
  for (int i = 0; i < kParts; ++i) {
    const uint64_t start = w.Bytes();
    std::string shells;
    for (int block = 0; w.Bytes() - start < perPart - 2000; ++block) {
      uint64_t points[24];
      for (int k = 0; k < 24; ++k) {
        points[k] = w.Rec("CARTESIAN_POINT('',(" + std::to_string(k * 3 + block) + ".125," +
                          std::to_string(i % 97) + ".5," + std::to_string(k * k % 41) + ".75))");
      }
      std::string faces;
      for (int k = 0; k < 8; ++k) {
        const uint64_t loop = w.Rec("POLY_LOOP('',(" + Ref(points[3 * k]) + "," +
                                    Ref(points[3 * k + 1]) + "," + Ref(points[3 * k + 2]) + "))");
        const uint64_t bound = w.Rec("FACE_OUTER_BOUND(''," + Ref(loop) + ",.T.)");
        const uint64_t face = w.Rec("FACE(''," + std::string("(") + Ref(bound) + "))");
        faces += (faces.empty() ? "" : ",") + Ref(face);
      }
      const uint64_t shell = w.Rec("CLOSED_SHELL('',(" + faces + "))");
      const uint64_t brep = w.Rec("FACETED_BREP(''," + Ref(shell) + ")");
      shells += (shells.empty() ? "" : ",") + Ref(brep);
      if (shells.size() > 1500) shells.clear();  // keep the representation's list short
    }
    const std::string name = i % 10 == 0 ? "Bolt M" + std::to_string(6 + i % 7)
                                         : "Part \\X2\\00E4\\X0\\ " + std::to_string(i);
    parts.push_back(product("P-" + std::to_string(100000 + i), name, shells));
  }
  std::vector<Shape> groups;
  for (int g = 0; g < kGroups; ++g) {
    groups.push_back(product("G-" + std::to_string(g), "Group " + std::to_string(g), Ref(world)));
    for (int k = 0; k < kPartsPerGroup; ++k) {
      const int part = (g * 37 + k * 11) % kParts;
      use(groups.back(), parts[static_cast<std::size_t>(part)],
          "G" + std::to_string(g) + "." + std::to_string(k), "Item " + std::to_string(k), k);
    }
  }
  std::vector<Shape> subs;
  for (int s = 0; s < kSubAssemblies; ++s) {
    subs.push_back(product("S-" + std::to_string(s), "Module " + std::to_string(s), Ref(world)));
    for (int k = 0; k < kGroupsPerSub; ++k) {
      const int group = (s * 13 + k * 7) % kGroups;
      use(subs.back(), groups[static_cast<std::size_t>(group)],
          "S" + std::to_string(s) + "." + std::to_string(k), "Group " + std::to_string(k), k);
    }
  }
  const Shape root = product("ROOT", "Synthetic machine", Ref(world));
  for (int s = 0; s < kSubAssemblies; ++s) {
    for (int copy = 0; copy < 2; ++copy) {
      use(root, subs[static_cast<std::size_t>(s)],
          "R" + std::to_string(s) + "." + std::to_string(copy),
          "Module " + std::to_string(s) + (copy ? " left" : " right"), s * 2 + copy);
    }
  }
  std::fputs("ENDSEC;\nEND-ISO-10303-21;\n", out);
  const bool ok = std::fclose(out) == 0;
  return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace measure;
  std::vector<std::string> words;
  const int runs = ParseRuns(argc, argv, kDefaultRuns, words);
  std::string path = words.empty() ? std::string() : words.back();
  const uint64_t bytes = PrepareFile(path, "step_bench_synthetic_v1.stp", kTargetBytes, Generate);
  if (bytes == 0) return 1;
  const double mb = static_cast<double>(bytes) / 1e6;
  const double fileMiB = static_cast<double>(bytes) / (1024.0 * 1024.0);
  const std::string document =
      TempDir() + "/step_bench_document_" + std::to_string(::getpid()) + ".json";

  auto floorWork = [&](Result& r) { return FloorScan(path, r.count); };
  auto indexWork = [&](Result& r) {
    step::StepFile file;
    std::string error;
    if (!file.Open(path, error)) return false;
    r.count = file.Entries().size();
    return true;
  };
  auto openWork = [&](Result& r) {
    step::StepAssembly assembly;
    std::string error;
    if (!assembly.Open(path, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    r.count = assembly.OccurrenceCount();
    return true;
  };
  auto generateWork = [&](Result& r) {
    return GenerateThroughModules("STEP", "libInputStepFilter.so", path, document, r.count,
                                  r.seconds);
  };

  InChild(floorWork);  // warm the page cache
  Series floor, index, open, generate;
  for (int round = 0; round < runs; ++round) {
    floor.Add(InChild(floorWork));
    index.Add(InChild(indexWork));
    open.Add(InChild(openWork));
    generate.Add(InChild(generateWork));
  }
  std::remove(document.c_str());
  if (!floor.ok || !index.ok || !open.ok || !generate.ok) {
    std::fprintf(stderr, "a measurement failed\n");
    return 1;
  }
  PrintHeader(path, mb, runs);
  Row("floor", floor, floor, mb, fileMiB);
  Row("index", index, floor, mb, fileMiB);
  Row("open", open, floor, mb, fileMiB);
  Row("generate", generate, floor, mb, fileMiB);
  std::printf(
      "count: instances (floor, index), occurrences (open), document bytes (generate).\n"
      "x floor: floor time / phase time in the same round, best and median of rounds;\n"
      "x file: peak resident memory / file size. Targets: generate >= 0.8 x floor, <= 0.6 x "
      "file.\n");
  return 0;
}
