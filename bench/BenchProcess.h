// BenchProcess.h - what the benchmarks share to time work as the user waits for it: each
// measurement in a child process of its own (so its peak memory and processor time are its
// own), clocks, peak memory, medians, durable writes; for the file benchmarks the bare scan
// floor, the whole generation through the modules and the table of best and median rounds.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
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

namespace measure {

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of this process, user and system: on a machine shared with other work
// it moves less than the clock on the wall.
inline double CpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in kB ("VmHWM:", "VmRSS:"), -1 when unreadable.
inline long StatusKb(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof(line), f)) {
    if (std::strncmp(line, field, length) == 0) {
      kb = std::strtol(line + length, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return kb;
}

// Peak resident memory of this process since Start, beyond what it held at Start. The
// high-water mark is reset where the kernel allows it (clear_refs 5); otherwise the
// baseline is the mark as it stood, which can only make the figure smaller.
class PeakProbe {
 public:
  void Start() {
    bool reset = false;
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      reset = std::fputs("5", f) >= 0;
      reset = std::fclose(f) == 0 && reset;
    }
    _baseKb = StatusKb(reset ? "VmRSS:" : "VmHWM:");
  }
  long PeakKb() const { return StatusKb("VmHWM:") - _baseKb; }
  long BaseKb() const { return _baseKb; }

 private:
  long _baseKb = 0;
};

// What a case reports from its child; plain data, sent through a pipe.
struct Outcome {
  double seconds[4] = {};
  double values[4] = {};
  uint64_t counts[4] = {};
  long peakKb = 0;
  bool ok = false;
};

// Runs body in a child process and gives back what it returned (plain data, sent through
// a pipe), with ok false when the child failed; usage, when given, receives the child's
// resource usage: its peak memory and processor time are its own.
template <class T>
inline T RunInChild(const std::function<T()>& body, struct rusage* usage = nullptr) {
  int fds[2];
  if (::pipe(fds) != 0) std::abort();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const T outcome = body();
    std::fflush(stdout);
    const bool sent =
        ::write(fds[1], &outcome, sizeof(outcome)) == static_cast<ssize_t>(sizeof(outcome));
    // Leaving without destructors: tearing down a million nodes is not part of any case.
    ::_exit(sent ? 0 : 2);
  }
  ::close(fds[1]);
  T outcome{};
  const bool got =
      ::read(fds[0], &outcome, sizeof(outcome)) == static_cast<ssize_t>(sizeof(outcome));
  ::close(fds[0]);
  int status = 0;
  struct rusage own {};
  ::wait4(pid, &status, 0, usage ? usage : &own);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) outcome.ok = false;
  return outcome;
}

inline Outcome RunInChild(const std::function<Outcome()>& body) {
  return RunInChild<Outcome>(body);
}

inline double Best(std::vector<double> v) {
  return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Median over runs of the run-by-run ratio: the cases of one round share the state of
// a machine that other work loads unevenly.
inline double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) r.push_back(a[i] / b[i]);
  return Median(r);
}

inline std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/" + name + "." + std::to_string(::getpid()) +
         ".json";
}

inline uint64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

// True when both files hold the same bytes.
inline bool SameFiles(const std::string& a, const std::string& b) {
  if (FileSize(a) != FileSize(b)) return false;
  const int fa = ::open(a.c_str(), O_RDONLY), fb = ::open(b.c_str(), O_RDONLY);
  bool same = fa >= 0 && fb >= 0;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (same) {
    const ssize_t na = ::read(fa, ba.data(), ba.size());
    ssize_t nb = 0;
    while (nb < na) {
      const ssize_t got = ::read(fb, bb.data() + nb, static_cast<size_t>(na - nb));
      if (got <= 0) break;
      nb += got;
    }
    if (na < 0 || nb != na || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0)
      same = false;
    if (na <= 0) break;
  }
  if (fa >= 0) ::close(fa);
  if (fb >= 0) ::close(fb);
  return same;
}

// Writes text to a new file beside the target, flushes it to disk and renames it over
// the target, as the generator's save does. Writes go by the megabyte: one write of
// hundreds of megabytes was seen to take several times longer on this kernel.
inline bool WriteDurably(const std::string& path, std::string_view text) {
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, std::min<size_t>(left, size_t{1} << 20));
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  bool ok = left == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// ---- file benchmarks: a phase per child process, rounds, ratios to the floor -------------

// "--runs N" and the other words, in order.
inline int ParseRuns(int argc, char** argv, int defaultRuns, std::vector<std::string>& rest) {
  int runs = defaultRuns;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      rest.emplace_back(argv[i]);
    }
  }
  return runs;
}

// $TMPDIR, else /tmp.
inline std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

struct Result {
  double seconds = 0;
  double cpuSeconds = 0;
  uint64_t count = 0;
  bool ok = false;
  long peakKiB = 0;
};

inline double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs `work` in a child process; the child's peak memory and processor time are its own.
// The time is the whole call's unless `work` sets its own.
inline Result InChild(const std::function<bool(Result&)>& work) {
  struct rusage usage {};
  Result r = RunInChild<Result>(
      [&] {
        Result child;
        const auto start = std::chrono::steady_clock::now();
        child.ok = work(child);
        const auto end = std::chrono::steady_clock::now();
        if (child.seconds == 0) child.seconds = std::chrono::duration<double>(end - start).count();
        return child;
      },
      &usage);
  r.peakKiB = usage.ru_maxrss;
  r.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  return r;
}

// Runs a program with its output thrown away; its time, processor time and peak memory are
// the whole process's.
inline Result RunProgram(const std::vector<std::string>& args) {
  std::fflush(stdout);
  std::fflush(stderr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  Result r;
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  r.peakKiB = usage.ru_maxrss;
  r.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  return r;
}

// A program in the folder of this one.
inline std::string Beside(const char* program) {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return {};
  std::string path(self, static_cast<std::size_t>(n));
  return path.substr(0, path.find_last_of('/') + 1) + program;
}

// The floor: map the file and count top-level ';' outside strings, nothing else.
inline bool FloorScan(const std::string& path, uint64_t& count) {
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

// The whole generation as the host runs it: modules from disk, the generator by late type,
// the provider by format. Only GenerateDocument and SaveDocumentToFile are timed; `count`
// is the size of the saved document.
inline bool GenerateThroughModules(const char* format, const char* providerModule,
                                   const std::string& path, const std::string& out, uint64_t& count,
                                   double& seconds) {
  std::string why;
  if (QORFailed(QORLoadModule("libDXInputFilterServices.so", &why)) ||
      QORFailed(QORLoadModule(providerModule, &why))) {
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
  const HRESULT generated = generator->GenerateDocument(format, QORUnicodeString(path), nullptr);
  const HRESULT saved =
      QORSucceeded(generated) ? generator->SaveDocumentToFile(QORUnicodeString(out)) : E_FAIL;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  generator->Release();
  struct stat info {};
  if (generated != S_OK || saved != S_OK || ::stat(out.c_str(), &info) != 0) return false;
  count = static_cast<uint64_t>(info.st_size);
  return true;
}

// The benchmark's file: `path` when given, else the synthetic one in $TMPDIR, written by
// `generate` (in a child) when missing or smaller than `minBytes`. Its size in bytes, 0 when
// it cannot be had.
inline uint64_t PrepareFile(std::string& path, const std::string& syntheticName, uint64_t minBytes,
                            const std::function<bool(const std::string&)>& generate) {
  const bool synthetic = path.empty();
  if (synthetic) path = TempDir() + "/" + syntheticName;
  struct stat info {};
  if (synthetic &&
      (::stat(path.c_str(), &info) != 0 || static_cast<uint64_t>(info.st_size) < minBytes)) {
    std::printf("generating %s ...\n", path.c_str());
    std::fflush(stdout);
    if (!InChild([&](Result&) { return generate(path); }).ok) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 0;
    }
  }
  if (::stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 0;
  }
  return static_cast<uint64_t>(info.st_size);
}

// All rounds of one phase.
struct Series {
  std::vector<Result> runs;
  bool ok = true;

  void Add(const Result& r) {
    ok = ok && r.ok;
    runs.push_back(r);
  }
  std::vector<double> Times() const {
    std::vector<double> s;
    for (const Result& r : runs) s.push_back(r.seconds);
    return s;
  }
  double Best() const {
    const auto s = Times();
    return s.empty() ? 0 : *std::min_element(s.begin(), s.end());
  }
  double MedianSeconds() const { return Median(Times()); }
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
  uint64_t Count() const { return runs.empty() ? 0 : runs.back().count; }
};

inline void PrintHeader(const std::string& path, double mb, int runs) {
  std::printf("file %s: %.1f MB; %d rounds, each phase in its own process; MB/s of the file\n",
              path.c_str(), mb, runs);
  std::printf("%-9s %8s %8s %8s %8s %7s %7s %8s %9s %7s %12s\n", "phase", "best ms", "med ms",
              "best MB/s", "med MB/s", "x floor", "x fl md", "cpu ms", "peak MiB", "x file",
              "count");
}

inline void Row(const char* name, const Series& s, const Series& floor, double mb, double fileMiB) {
  // Ratios to the floor are taken round by round, so both sides saw the same machine.
  std::vector<double> ratios;
  for (std::size_t i = 0; i < s.runs.size() && i < floor.runs.size(); ++i) {
    ratios.push_back(floor.runs[i].seconds / s.runs[i].seconds);
  }
  const double bestRatio = ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
  const double peakMiB = static_cast<double>(s.PeakKiB()) / 1024.0;
  std::printf("%-9s %8.1f %8.1f %8.0f %8.0f %7.2f %7.2f %8.1f %9.0f %7.2f %12llu\n", name,
              s.Best() * 1000.0, s.MedianSeconds() * 1000.0, mb / s.Best(), mb / s.MedianSeconds(),
              bestRatio, Median(ratios), s.MedianCpu() * 1000.0, peakMiB, peakMiB / fileMiB,
              static_cast<unsigned long long>(s.Count()));
}

}  // namespace measure
