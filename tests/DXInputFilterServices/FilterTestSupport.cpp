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

// Child side of RunReaderInChild: runs before main when the program is started with
// DXT_CHILD_ROLE, and never returns.
constexpr const char* kRoleVariable = "DXT_CHILD_ROLE";
constexpr const char* kReaderVariable = "DXT_READER";
constexpr const char* kDocumentVariable = "DXT_DOCUMENT";
constexpr const char* kAfterLoadVariable = "DXT_AFTER_LOAD";

[[noreturn]] void RunChildRole() {
  if (QORFailed(QORLoadModule(kModuleFile))) std::exit(20);
  if (const char* change = std::getenv(kAfterLoadVariable)) {
    const std::string assignment(change);
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos)
      unsetenv(change);
    else
      setenv(assignment.substr(0, eq).c_str(), assignment.substr(eq + 1).c_str(), 1);
  }
  void* p = nullptr;
  const char* lateType = std::getenv(kReaderVariable);
  if (QORFailed(QORInstantiateComponent(lateType, IID_QORIResolvedInputFilter, &p)) || !p)
    std::exit(21);
  auto* reader = static_cast<QORIResolvedInputFilter*>(p);
  HRESULT hr = reader->ReadFilterFile(QORUnicodeString(std::getenv(kDocumentVariable)));
  reader->Release();
  std::fflush(stdout);
  std::exit(hr == S_OK ? 0 : 10);
}

[[maybe_unused]] const bool s_childRoleChecked = [] {
  if (const char* role = std::getenv(kRoleVariable); role && std::strcmp(role, "read") == 0)
    RunChildRole();
  return true;
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

ChildRun RunReaderInChild(const ChildRequest& request) {
  EnvChanges env{{"KWT_DUMP_QORResolvedFilter", std::nullopt}, {"MDW_KWT_TMP", std::nullopt}};
  for (const auto& [name, value] : request.env) env[name] = value;
  env[kRoleVariable] = "read";
  env[kReaderVariable] = request.readerLateType;
  env[kDocumentVariable] = request.documentPath;
  if (!request.afterLoad.empty()) env[kAfterLoadVariable] = request.afterLoad;
  return RunSelfInChild({}, env);
}

ChildRun RunSelfInChild(const std::vector<std::string>& arguments, const EnvChanges& changes,
                        bool captureStandardError) {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
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
  std::vector<std::string> args(arguments);
  std::vector<char*> argv{self};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

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
    if (captureStandardError) dup2(fds[1], STDERR_FILENO);
    close(fds[0]);
    close(fds[1]);
    execve(self, argv.data(), envp.data());
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

}  // namespace dxtest
