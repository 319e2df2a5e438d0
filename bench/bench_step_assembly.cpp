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
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "InputFilteringInterfaces/QORIInputFilterGenerator.h"
#include "ObjectModelRuntime/QORInstantiateComponent.h"
#include "ObjectModelRuntime/QOROMModule.h"
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

// ---- measurements ------------------------------------------------------------------------

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  uint64_t count = 0;
  bool ok = false;
  long peakKiB = 0;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs `work` in a child process; the child's peak memory and processor time are its own.
Result InChild(const std::function<bool(Result&)>& work) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    Result r;
    const auto start = std::chrono::steady_clock::now();
    r.ok = work(r);
    const auto end = std::chrono::steady_clock::now();
    if (r.seconds == 0) r.seconds = std::chrono::duration<double>(end - start).count();
    const ssize_t written = ::write(fds[1], &r, sizeof r);
    ::_exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
  }
  ::close(fds[1]);
  Result r;
  if (::read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r.ok = false;
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) r.ok = false;
  r.peakKiB = usage.ru_maxrss;
  r.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  return r;
}

// The floor: map the file and count top-level ';' outside strings, nothing else.
bool FloorScan(const std::string& path, uint64_t& count) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat info {};
  ::fstat(fd, &info);
  const auto size = static_cast<std::size_t>(info.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  ::madvise(map, size, MADV_SEQUENTIAL);
  const char* p = static_cast<const char*>(map);
  const char* end = p + size;
  uint64_t n = 0;
  while (p < end) {
    const char c = *p++;
    if (c == ';') {
      ++n;
    } else if (c == '\'') {
      const void* q = std::memchr(p, '\'', static_cast<std::size_t>(end - p));
      p = q ? static_cast<const char*>(q) + 1 : end;
    }
  }
  ::munmap(map, size);
  count = n;
  return true;
}

// The whole generation as the host runs it; only GenerateDocument and SaveDocumentToFile
// are timed. `count` is the size of the saved document.
bool GenerateThroughModules(const std::string& path, const std::string& out, uint64_t& count,
                            double& seconds) {
  std::string why;
  if (QORFailed(QORLoadModule("libDXInputFilterServices.so", &why)) ||
      QORFailed(QORLoadModule("libInputStepFilter.so", &why))) {
    std::fprintf(stderr, "cannot load a module: %s\n", why.c_str());
    return false;
  }
  void* p = nullptr;
  if (QORFailed(
          QORInstantiateComponent("INPUT_FILTER_GENERATOR", IID_QORIInputFilterGenerator, &p)) ||
      p == nullptr) {
    std::fprintf(stderr, "cannot create INPUT_FILTER_GENERATOR\n");
    return false;
  }
  auto* generator = static_cast<QORIInputFilterGenerator*>(p);
  const auto start = std::chrono::steady_clock::now();
  const HRESULT generated = generator->GenerateDocument("STEP", QORUnicodeString(path), nullptr);
  const HRESULT saved =
      QORSucceeded(generated) ? generator->SaveDocumentToFile(QORUnicodeString(out)) : E_FAIL;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  generator->Release();
  struct stat info {};
  if (generated != S_OK || saved != S_OK || ::stat(out.c_str(), &info) != 0) return false;
  count = static_cast<uint64_t>(info.st_size);
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

struct Series {
  std::vector<Result> runs;
  bool ok = true;
  std::vector<double> Times() const {
    std::vector<double> s;
    for (const Result& r : runs) s.push_back(r.seconds);
    return s;
  }
  double Best() const {
    const auto s = Times();
    return s.empty() ? 0 : *std::min_element(s.begin(), s.end());
  }
  double MedianCpu() const {
    std::vector<double> c;
    for (const Result& r : runs) c.push_back(r.cpuSeconds);
    return Median(c);
  }
  long PeakKiB() const {
    long peak = 0;
    for (const Result& r : runs) peak = std::max(peak, r.peakKiB);
    return peak;
  }
};

void Row(const char* name, const Series& s, const Series& floor, double mb, double fileMiB) {
  // Ratios to the floor are taken round by round, so both sides saw the same machine.
  std::vector<double> ratios;
  for (std::size_t i = 0; i < s.runs.size() && i < floor.runs.size(); ++i) {
    ratios.push_back(floor.runs[i].seconds / s.runs[i].seconds);
  }
  const double bestRatio = ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
  const double peakMiB = static_cast<double>(s.PeakKiB()) / 1024.0;
  std::printf("%-9s %8.1f %8.1f %8.0f %8.0f %7.2f %7.2f %8.1f %9.0f %7.2f %12llu\n", name,
              s.Best() * 1000.0, Median(s.Times()) * 1000.0, mb / s.Best(), mb / Median(s.Times()),
              bestRatio, Median(ratios), s.MedianCpu() * 1000.0, peakMiB, peakMiB / fileMiB,
              static_cast<unsigned long long>(s.runs.empty() ? 0 : s.runs.back().count));
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  int runs = kDefaultRuns;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      path = argv[i];
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string tmpDir = tmp && *tmp ? tmp : "/tmp";
  const bool generated = path.empty();
  if (generated) path = tmpDir + "/step_bench_synthetic_v1.stp";
  struct stat info {};
  if (generated &&
      (::stat(path.c_str(), &info) != 0 || static_cast<uint64_t>(info.st_size) < kTargetBytes)) {
    std::printf("generating %s ...\n", path.c_str());
    std::fflush(stdout);
    const Result gen = InChild([&](Result&) { return Generate(path); });
    if (!gen.ok) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  if (::stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const double mb = static_cast<double>(info.st_size) / 1e6;
  const double fileMiB = static_cast<double>(info.st_size) / (1024.0 * 1024.0);
  const std::string document =
      tmpDir + "/step_bench_document_" + std::to_string(::getpid()) + ".json";

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
    return GenerateThroughModules(path, document, r.count, r.seconds);
  };

  InChild(floorWork);  // warm the page cache
  Series floor, index, open, generate;
  auto add = [](Series& s, const Result& r) {
    s.ok = s.ok && r.ok;
    s.runs.push_back(r);
  };
  for (int round = 0; round < runs; ++round) {
    add(floor, InChild(floorWork));
    add(index, InChild(indexWork));
    add(open, InChild(openWork));
    add(generate, InChild(generateWork));
  }
  std::remove(document.c_str());
  if (!floor.ok || !index.ok || !open.ok || !generate.ok) {
    std::fprintf(stderr, "a measurement failed\n");
    return 1;
  }
  std::printf("file %s: %.1f MB; %d rounds, each phase in its own process; MB/s of the file\n",
              path.c_str(), mb, runs);
  std::printf("%-9s %8s %8s %8s %8s %7s %7s %8s %9s %7s %12s\n", "phase", "best ms", "med ms",
              "best MB/s", "med MB/s", "x floor", "x fl md", "cpu ms", "peak MiB", "x file",
              "count");
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
