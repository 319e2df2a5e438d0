// Opening a large IFC file: the instance index, the full tree and the whole filter document
// generation through the modules, beside a bare scan floor measured in the same run.
//
// Generates a synthetic model of at least 200 MB once ($TMPDIR or /tmp, reused when
// present), then times, each in a fresh child process so peak memory is its own:
//   floor     map the file and count instances with a bare string-aware scan
//   index     ifc::StepFile::Open (map, header, index every instance)
//   open      ifc::Model::Open (the above plus the entity tree): what SetInputFile does
//   generate  the input-filtering module and the IFC provider loaded from lib/modules, the
//             generator created by late type, GenerateDocument("IFC", file) and
//             SaveDocumentToFile into $TMPDIR (loading the modules is not timed)
//   columns   the same with five chosen columns (three properties, the material, the tag)
//   list      the whole `dxfilter generate IFC file --list-properties --json` process, as the
//             user runs it to discover the columns (skipped when dxfilter is not beside this)
// The phases take turns, round after round, so a busy machine slows them alike. Prints the
// best and the median of the rounds in MB/s of the IFC file (10^6 bytes), their ratio to
// the floor of the same round, processor time, and the peak resident memory of the child.
//
//   bench_ifc_parse [--runs N] [file.ifc]
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "IfcModel.h"
#include "StepFile.h"

namespace {

constexpr uint64_t kTargetBytes = 210'000'000;
constexpr int kDefaultRuns = 5;

// ---- synthetic model ---------------------------------------------------------------------

class Writer {
 public:
  explicit Writer(std::FILE* out) : out_(out) {}
  uint64_t Bytes() const { return bytes_; }
  uint64_t Next() { return ++id_; }

  // Appends "#id=TEXT;\n" and returns id.
  uint64_t Rec(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    const uint64_t id = Next();
    char line[4096];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    bytes_ +=
        static_cast<uint64_t>(std::fprintf(out_, "#%llu=", static_cast<unsigned long long>(id)));
    std::fwrite(line, 1, static_cast<std::size_t>(std::min(n, static_cast<int>(sizeof line) - 1)),
                out_);
    std::fputs(";\n", out_);
    bytes_ += static_cast<uint64_t>(n) + 2;
    return id;
  }
  // A long record written piecewise (containment lists).
  void Raw(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    bytes_ += text.size();
  }

 private:
  std::FILE* out_;
  uint64_t bytes_ = 0;
  uint64_t id_ = 0;
};

std::string Guid(uint64_t& state) {
  static const char kAlphabet[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  std::string g(22, '0');
  for (int i = 0; i < 22; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    g[static_cast<std::size_t>(i)] = kAlphabet[(state >> 33) % (i == 0 ? 4 : 64)];
  }
  return g;
}

bool Generate(const std::string& path) {
  const std::string temp = path + ".part";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (out == nullptr) return false;
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  std::fputs(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');\n"
      "FILE_NAME('synthetic.ifc','2024-01-01T00:00:00',('Team'),('Bench'),'bench','bench','');\n"
      "FILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n",
      out);
  Writer w(out);
  uint64_t rng = 42;
  auto guid = [&] { return Guid(rng); };
  const char* oh = "#5";
  w.Rec("IFCPERSON($,'Bench',$,$,$,$,$,$)");
  w.Rec("IFCORGANIZATION($,'Bench',$,$,$)");
  w.Rec("IFCPERSONANDORGANIZATION(#1,#2,$)");
  w.Rec("IFCAPPLICATION(#2,'1.0','Bench','Bench')");
  w.Rec("IFCOWNERHISTORY(#3,#4,$,.ADDED.,$,$,$,1700000000)");
  const uint64_t origin = w.Rec("IFCCARTESIANPOINT((0.,0.,0.))");
  const uint64_t zDir = w.Rec("IFCDIRECTION((0.,0.,1.))");
  const uint64_t xDir = w.Rec("IFCDIRECTION((1.,0.,0.))");
  const uint64_t world = w.Rec("IFCAXIS2PLACEMENT3D(#%llu,#%llu,#%llu)", (unsigned long long)origin,
                               (unsigned long long)zDir, (unsigned long long)xDir);
  const uint64_t context = w.Rec("IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#%llu,$)",
                                 (unsigned long long)world);
  const uint64_t body =
      w.Rec("IFCGEOMETRICREPRESENTATIONSUBCONTEXT('Body','Model',*,*,*,*,#%llu,$,.MODEL_VIEW.,$)",
            (unsigned long long)context);
  const uint64_t unit = w.Rec("IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.)");
  const uint64_t units = w.Rec("IFCUNITASSIGNMENT((#%llu))", (unsigned long long)unit);
  const uint64_t project =
      w.Rec("IFCPROJECT('%s',%s,'Bench Tower',$,$,$,$,(#%llu),#%llu)", guid().c_str(), oh,
            (unsigned long long)context, (unsigned long long)units);
  const uint64_t sitePlacement = w.Rec("IFCLOCALPLACEMENT($,#%llu)", (unsigned long long)world);
  const uint64_t site = w.Rec("IFCSITE('%s',%s,'Site',$,$,#%llu,$,$,.ELEMENT.,$,$,0.,$,$)",
                              guid().c_str(), oh, (unsigned long long)sitePlacement);
  const uint64_t buildingPlacement =
      w.Rec("IFCLOCALPLACEMENT(#%llu,#%llu)", (unsigned long long)sitePlacement,
            (unsigned long long)world);
  const uint64_t building = w.Rec("IFCBUILDING('%s',%s,'Tower',$,$,#%llu,$,$,.ELEMENT.,$,$,$)",
                                  guid().c_str(), oh, (unsigned long long)buildingPlacement);
  w.Rec("IFCRELAGGREGATES('%s',%s,$,$,#%llu,(#%llu))", guid().c_str(), oh,
        (unsigned long long)project, (unsigned long long)site);
  w.Rec("IFCRELAGGREGATES('%s',%s,$,$,#%llu,(#%llu))", guid().c_str(), oh, (unsigned long long)site,
        (unsigned long long)building);
  const uint64_t material = w.Rec("IFCMATERIAL('Concrete',$,'Concrete')");

  static const char* kKinds[] = {"IFCWALL", "IFCSLAB",   "IFCCOLUMN",    "IFCBEAM",
                                 "IFCDOOR", "IFCWINDOW", "IFCFURNITURE", "IFCMEMBER"};
  std::string storeys;
  constexpr int kElementsPerStorey = 3000;
  constexpr int kSpacesPerStorey = 40;
  for (int level = 0; w.Bytes() < kTargetBytes; ++level) {
    const double elevation = 3000.0 * level;
    const uint64_t pt = w.Rec("IFCCARTESIANPOINT((0.,0.,%.1f))", elevation);
    const uint64_t ax = w.Rec("IFCAXIS2PLACEMENT3D(#%llu,$,$)", (unsigned long long)pt);
    const uint64_t storeyPlacement =
        w.Rec("IFCLOCALPLACEMENT(#%llu,#%llu)", (unsigned long long)buildingPlacement,
              (unsigned long long)ax);
    const uint64_t storey =
        w.Rec("IFCBUILDINGSTOREY('%s',%s,'Level %d',$,$,#%llu,$,$,.ELEMENT.,%.1f)", guid().c_str(),
              oh, level, (unsigned long long)storeyPlacement, elevation);
    storeys += (storeys.empty() ? "#" : ",#") + std::to_string(storey);

    std::string spaces;
    for (int s = 0; s < kSpacesPerStorey; ++s) {
      const uint64_t space = w.Rec(
          "IFCSPACE('%s',%s,'%d%02d',$,$,#%llu,$,'R\\X2\\00E4\\X0\\um %d',.ELEMENT.,.INTERNAL.,$)",
          guid().c_str(), oh, level, s, (unsigned long long)storeyPlacement, s);
      spaces += (spaces.empty() ? "#" : ",#") + std::to_string(space);
    }
    w.Rec("IFCRELAGGREGATES('%s',%s,$,$,#%llu,(%s))", guid().c_str(), oh,
          (unsigned long long)storey, spaces.c_str());

    std::string elements;
    for (int e = 0; e < kElementsPerStorey; ++e) {
      const char* kind = kKinds[e % 8];
      const uint64_t p =
          w.Rec("IFCCARTESIANPOINT((%d.,%d.,0.))", (e * 37) % 50000, (e * 91) % 40000);
      const uint64_t a = w.Rec("IFCAXIS2PLACEMENT3D(#%llu,#%llu,#%llu)", (unsigned long long)p,
                               (unsigned long long)zDir, (unsigned long long)xDir);
      const uint64_t placement = w.Rec("IFCLOCALPLACEMENT(#%llu,#%llu)",
                                       (unsigned long long)storeyPlacement, (unsigned long long)a);
      uint64_t item = 0;
      if (e % 4 == 3) {
        // A small faceted solid: many short records, as exported furniture and equipment have.
        uint64_t points[8];
        for (int k = 0; k < 8; ++k) {
          points[k] = w.Rec("IFCCARTESIANPOINT((%d.,%d.,%d.))", (k & 1) * 600, ((k >> 1) & 1) * 400,
                            ((k >> 2) & 1) * 900);
        }
        static const int kFaces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                         {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
        std::string faces;
        for (const auto& f : kFaces) {
          const uint64_t loop =
              w.Rec("IFCPOLYLOOP((#%llu,#%llu,#%llu,#%llu))", (unsigned long long)points[f[0]],
                    (unsigned long long)points[f[1]], (unsigned long long)points[f[2]],
                    (unsigned long long)points[f[3]]);
          const uint64_t bound = w.Rec("IFCFACEOUTERBOUND(#%llu,.T.)", (unsigned long long)loop);
          const uint64_t face = w.Rec("IFCFACE((#%llu))", (unsigned long long)bound);
          faces += (faces.empty() ? "#" : ",#") + std::to_string(face);
        }
        const uint64_t shell = w.Rec("IFCCLOSEDSHELL((%s))", faces.c_str());
        item = w.Rec("IFCFACETEDBREP(#%llu)", (unsigned long long)shell);
      } else {
        const uint64_t c = w.Rec("IFCCARTESIANPOINT((0.,0.))");
        const uint64_t a2 = w.Rec("IFCAXIS2PLACEMENT2D(#%llu,$)", (unsigned long long)c);
        const uint64_t profile = w.Rec("IFCRECTANGLEPROFILEDEF(.AREA.,$,#%llu,%d.,%d.)",
                                       (unsigned long long)a2, 1000 + e % 5000, 200 + e % 100);
        item = w.Rec("IFCEXTRUDEDAREASOLID(#%llu,#%llu,#%llu,3000.)", (unsigned long long)profile,
                     (unsigned long long)world, (unsigned long long)zDir);
      }
      const uint64_t rep =
          w.Rec("IFCSHAPEREPRESENTATION(#%llu,'Body','%s',(#%llu))", (unsigned long long)body,
                e % 4 == 3 ? "Brep" : "SweptSolid", (unsigned long long)item);
      const uint64_t shape =
          w.Rec("IFCPRODUCTDEFINITIONSHAPE($,$,(#%llu))", (unsigned long long)rep);
      const char* tail = (e % 8 == 4 || e % 8 == 5) ? ",2100.,900.,$,$,$" : ",$";
      const uint64_t element =
          w.Rec("%s('%s',%s,'%s %d-%d','Generated element',$,#%llu,#%llu,'T%d'%s)", kind,
                guid().c_str(), oh, kind + 3, level, e, (unsigned long long)placement,
                (unsigned long long)shape, e, tail);
      elements += (elements.empty() ? "#" : ",#") + std::to_string(element);

      const uint64_t v1 = w.Rec("IFCPROPERTYSINGLEVALUE('IsExternal',$,IFCBOOLEAN(.%s.),$)",
                                e % 3 == 0 ? "T" : "F");
      const uint64_t v2 =
          w.Rec("IFCPROPERTYSINGLEVALUE('Reference',$,IFCIDENTIFIER('Type %d'),$)", e % 17);
      const uint64_t v3 =
          w.Rec("IFCPROPERTYSINGLEVALUE('Width',$,IFCLENGTHMEASURE(%d.5),$)", 100 + e % 300);
      const uint64_t pset =
          w.Rec("IFCPROPERTYSET('%s',%s,'Pset_Common',$,(#%llu,#%llu,#%llu))", guid().c_str(), oh,
                (unsigned long long)v1, (unsigned long long)v2, (unsigned long long)v3);
      w.Rec("IFCRELDEFINESBYPROPERTIES('%s',%s,$,$,(#%llu),#%llu)", guid().c_str(), oh,
            (unsigned long long)element, (unsigned long long)pset);
    }
    const uint64_t rel = w.Next();
    w.Raw("#" + std::to_string(rel) + "=IFCRELCONTAINEDINSPATIALSTRUCTURE('" + guid() + "'," + oh +
          ",$,$,(" + elements + "),#" + std::to_string(storey) + ");\n");
    const std::string firstElements = elements.substr(0, elements.find(',', 1000));
    w.Rec("IFCRELASSOCIATESMATERIAL('%s',%s,$,$,(%s),#%llu)", guid().c_str(), oh,
          firstElements.c_str(), (unsigned long long)material);
  }
  const uint64_t rel = w.Next();
  w.Raw("#" + std::to_string(rel) + "=IFCRELAGGREGATES('" + guid() + "'," + oh + ",$,$,#" +
        std::to_string(building) + ",(" + storeys + "));\n");
  std::fputs("ENDSEC;\nEND-ISO-10303-21;\n", out);
  const bool ok = std::fclose(out) == 0;
  return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

// The five columns of the "columns" phase, as the host hands them to the provider.
constexpr const char* kFiveColumns =
    R"(["Pset_Common.IsExternal","Pset_Common.Reference","Pset_Common.Width","Material","Tag"])";

}  // namespace

int main(int argc, char** argv) {
  using namespace measure;
  std::vector<std::string> words;
  const int runs = ParseRuns(argc, argv, kDefaultRuns, words);
  std::string path = words.empty() ? std::string() : words.back();
  const uint64_t bytes = PrepareFile(path, "ifc_bench_synthetic_v1.ifc", kTargetBytes, Generate);
  if (bytes == 0) return 1;
  const double mb = static_cast<double>(bytes) / 1e6;
  const double fileMiB = static_cast<double>(bytes) / (1024.0 * 1024.0);
  const std::string document =
      TempDir() + "/ifc_bench_document_" + std::to_string(::getpid()) + ".json";

  auto floorWork = [&](Result& r) { return FloorScan(path, r.count); };
  auto indexWork = [&](Result& r) {
    ifc::StepFile file;
    std::string error;
    if (!file.Open(path, error)) return false;
    r.count = file.Entries().size();
    return true;
  };
  auto openWork = [&](Result& r) {
    ifc::Model model;
    std::string error;
    if (!model.Open(path, error)) return false;
    r.count = model.NodeCount();
    return true;
  };
  auto generateWork = [&](Result& r) {
    return GenerateThroughModules("IFC", "libInputIfcFilter.so", path, document, r.count,
                                  r.seconds);
  };
  auto columnsWork = [&](Result& r) {
    ::setenv("QORDX_FILTER_COLUMNS", kFiveColumns, 1);
    return GenerateThroughModules("IFC", "libInputIfcFilter.so", path, document, r.count,
                                  r.seconds);
  };
  const std::string dxfilter = Beside("dxfilter");
  const bool listing = ::access(dxfilter.c_str(), X_OK) == 0;

  InChild(floorWork);  // warm the page cache
  Series floor, index, open, generate, columns, list;
  for (int round = 0; round < runs; ++round) {
    floor.Add(InChild(floorWork));
    index.Add(InChild(indexWork));
    open.Add(InChild(openWork));
    generate.Add(InChild(generateWork));
    columns.Add(InChild(columnsWork));
    if (listing)
      list.Add(RunProgram({dxfilter, "generate", "IFC", path, "--list-properties", "--json"}));
  }
  std::remove(document.c_str());
  if (!floor.ok || !index.ok || !open.ok || !generate.ok || !columns.ok || !list.ok) {
    std::fprintf(stderr, "a measurement failed\n");
    return 1;
  }
  PrintHeader(path, mb, runs);
  Row("floor", floor, floor, mb, fileMiB);
  Row("index", index, floor, mb, fileMiB);
  Row("open", open, floor, mb, fileMiB);
  Row("generate", generate, floor, mb, fileMiB);
  Row("columns", columns, floor, mb, fileMiB);
  if (listing) Row("list", list, floor, mb, fileMiB);
  std::printf(
      "count: instances (floor, index), tree nodes (open), document bytes (generate, columns).\n");
  std::printf(
      "x floor: floor time / phase time in the same round, best and median of rounds;\n"
      "cpu ms: median processor time of the child (the index uses two threads).\n");
  return 0;
}
