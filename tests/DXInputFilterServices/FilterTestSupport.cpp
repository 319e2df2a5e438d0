// FilterTestSupport.cpp - module loading, files, JSON comparison and child processes.
#include "FilterTestSupport.h"

#include <dlfcn.h>
#include <link.h>
#include <simdjson.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ObjectModelRuntime/QOROMModule.h"
#include "QORJsonFilterWriter.h"

extern char** environ;

namespace dxtest {

namespace {

// Names the one test a child process was started for.
constexpr const char* kChildTestVariable = "DXT_CHILD_TEST";

// The environment as the module saw it when it loaded, before any test changed it.
const std::map<std::string, std::string> s_startEnvironment = [] {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    if (const size_t eq = entry.find('='); eq != std::string::npos)
      env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  return env;
}();

std::string& ModulePath() {
  static std::string path;
  return path;
}

simdjson::dom::element Parse(simdjson::dom::parser& parser, std::string_view text, bool& ok) {
  simdjson::dom::element root;
  ok = parser.parse(simdjson::padded_string(text)).get(root) == simdjson::SUCCESS;
  return root;
}

struct ChildRun {
  int exitCode = -1;
  std::string out;
};

// This test program run again for one test, on top of the environment it started
// with; its standard output and error together.
ChildRun RunTestInChild(const std::string& test, const EnvChanges& changes) {
  std::map<std::string, std::string> env = s_startEnvironment;
  for (const auto& [name, value] : changes) {
    if (value)
      env[name] = *value;
    else
      env.erase(name);
  }

  std::vector<std::string> entries;
  for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char self[] = "/proc/self/exe";
  std::string filter = "--gtest_filter=" + test;
  char* argv[] = {self, filter.data(), nullptr};

  ChildRun run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return run;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    close(fds[0]);
    close(fds[1]);
    execve(self, argv, envp.data());
    _exit(127);
  }
  close(fds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof(buffer))) > 0)
    run.out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

::testing::AssertionResult LoadFilterModule() {
  std::string why;
  HRESULT hr = QORLoadModule(kModuleFile, &why);
  if (QORFailed(hr)) return ::testing::AssertionFailure() << "module not loaded: " << why;
  for (const std::string& path : QORLoadedModules())
    if (path.size() >= std::strlen(kModuleFile) &&
        path.compare(path.size() - std::strlen(kModuleFile), std::string::npos, kModuleFile) == 0)
      ModulePath() = path;
  return ::testing::AssertionSuccess();
}

std::string LoadedModulePath() {
  return ModulePath();
}

// nm reads the symbol table; the module's load address turns the file's addresses into
// the process's.
void* HiddenSymbol(const std::string& mangledName) {
  static const std::map<std::string, uintptr_t> symbols = [] {
    std::map<std::string, uintptr_t> found;
    void* handle = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    link_map* map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0) return found;
    FILE* nm = popen(("nm --defined-only '" + ModulePath() + "'").c_str(), "r");
    char line[1024], type = 0, name[900];
    unsigned long long value = 0;
    while (nm && std::fgets(line, sizeof(line), nm))
      if (std::sscanf(line, "%llx %c %899s", &value, &type, name) == 3)
        found[name] = map->l_addr + value;
    if (nm) pclose(nm);
    dlclose(handle);
    return found;
  }();
  auto it = symbols.find(mangledName);
  return it == symbols.end() ? nullptr : reinterpret_cast<void*>(it->second);
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dxfilter-XXXXXX").string();
  if (char* made = mkdtemp(pattern.data())) _path = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!_path.empty()) std::filesystem::remove_all(_path, ignored);
}

std::string TempDir::Write(const std::string& name, std::string_view text) const {
  std::string path = File(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return path;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Json(std::string_view text) {
  return JsonAt(text, "");
}

std::string JsonAt(std::string_view text, std::string_view pointer) {
  simdjson::dom::parser parser;
  bool ok = false;
  simdjson::dom::element root = Parse(parser, text, ok);
  if (!ok) return "<invalid JSON>";
  simdjson::dom::element value;
  if (root.at_pointer(pointer).get(value) != simdjson::SUCCESS) return "<missing>";
  return simdjson::minify(value);
}

// The class's type information stays inside the module, so the undefined-behaviour
// checker must not look for it here.
__attribute__((no_sanitize("vptr"))) std::string GeneratorSourcePath(
    QORIInputFilterGenerator* generator) {
  return static_cast<QORJsonFilterWriter*>(generator->GetImpl())->GetSourcePath().Str();
}

std::string SavedDocument(QORIInputFilterGenerator* generator, const TempDir& dir) {
  static int counter = 0;
  std::string path = dir.File("saved-" + std::to_string(++counter) + ".json");
  if (generator->SaveDocumentToFile(QORUnicodeString(path)) != S_OK) return "<not saved>";
  return ReadFile(path).value_or("<not saved>");
}

bool RunsHere(const EnvChanges& wanted) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string test = std::string(info->test_suite_name()) + "." + info->name();
  // A child started for this test runs it, in whatever fresh folders it makes.
  const char* child = std::getenv(kChildTestVariable);
  if (child && test == child) return true;
  bool same = true;
  for (const auto& [name, value] : wanted) {
    const auto it = s_startEnvironment.find(name);
    same = same && (value ? it != s_startEnvironment.end() && it->second == *value
                          : it == s_startEnvironment.end());
  }
  if (same) return true;

  EnvChanges env = wanted;
  env[kChildTestVariable] = test;
  for (const char* name : {"GTEST_FILTER", "GTEST_OUTPUT", "GTEST_SHUFFLE", "GTEST_REPEAT"})
    env[name] = std::nullopt;
  ChildRun run = RunTestInChild(test, env);
  // The child must have run this very test, and passed it. ctest calls any test whose
  // output holds gtest's skip marker skipped, failed or not: the marker is never written
  // out here, neither in the check nor in the child's output shown with a failure.
  const std::string skipMark = std::string("[  SKIP") + "PED ]";
  const bool passed = run.exitCode == 0 &&
                      run.out.find("[       OK ] " + test) != std::string::npos &&
                      run.out.find(skipMark) == std::string::npos;
  for (size_t at = run.out.find(skipMark); at != std::string::npos; at = run.out.find(skipMark, at))
    run.out.replace(at, skipMark.size(), "[ child skipped ]");
  EXPECT_TRUE(passed) << "in a child process started with the environment the test needs, exit "
                      << run.exitCode << ":\n"
                      << run.out;
  return false;
}

}  // namespace dxtest
