// DxfilterFixture.cpp - running dxfilter and playing its page.
#include "DxfilterFixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace dxtest {

namespace {

constexpr const char* kTab = "tab0000000000000000000000000000e";

}  // namespace

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

int CountOf(const std::string& text, char c) {
  return static_cast<int>(std::count(text.begin(), text.end(), c));
}

// --- Background

Background::Background(const std::string& dir, const std::vector<std::string>& args) : _dir(dir) {
  // A file left by an earlier run must not be read as this one's.
  std::ofstream(dir + "/err", std::ios::trunc).close();
  _pid = fork();
  if (_pid == 0) {
    std::string program = DX_DXFILTER;
    std::vector<std::string> copies = args;
    std::vector<char*> argv{program.data()};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!freopen("/dev/null", "r", stdin) || !freopen((dir + "/out").c_str(), "w", stdout) ||
        !freopen((dir + "/err").c_str(), "w", stderr) || chdir(dir.c_str()) != 0)
      _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

Background::~Background() {
  if (_pid > 0 && !_ended) {
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
  }
}

bool Background::Address(int& port, std::string& token) {
  static const std::regex kLine(R"(dialog: http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/)");
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline) {
    std::smatch match;
    const std::string err = Err();
    if (std::regex_search(err, match, kLine)) {
      port = std::stoi(match[1]);
      token = match[2];
      return true;
    }
    if (Exited(0ms)) return false;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

bool Background::Exited(std::chrono::milliseconds limit) {
  if (_ended) return true;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    if (waitpid(_pid, &status, WNOHANG) == _pid) {
      _ended = true;
      _code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    std::this_thread::sleep_for(10ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// --- Page

Page::Page(int port, const std::string& token)
    : _client("127.0.0.1", port),
      _base("/" + token),
      _origin("http://127.0.0.1:" + std::to_string(port)) {
  _client.set_read_timeout(30, 0);
  auto first = _client.Get(_base + "/");
  if (first && first->has_header("Set-Cookie")) {
    const std::string set = first->get_header_value("Set-Cookie");
    _cookie = set.substr(0, set.find(';'));
  }
}

httplib::Headers Page::Headers() const {
  return {{"X-Qor-Tab", kTab}, {"Origin", _origin}, {"Cookie", _cookie}};
}

int Page::Post(const std::string& path, const std::string& body) {
  auto answer = _client.Post(_base + path, Headers(), body, "application/json");
  return answer ? answer->status : -1;
}

int Page::Say(const std::string& name, const std::string& text) {
  std::string body = "[\"" + name + "\",\"";
  for (char c : text) {
    if (c == '"' || c == '\\') body += '\\';
    body += c;
  }
  return Post("/__qor/message", body + "\"]");
}

std::vector<std::string> Page::ScriptsUntil(const std::string& until) {
  static const std::regex kAddress("\"(/[^\"]+)\"");
  static const std::regex kNext("\"next\":(\\d+)");
  for (int turn = 0; turn < 20; ++turn) {
    auto answer = _client.Get(
        _base + "/__qor/scripts?load=load00000001&after=" + std::to_string(_next), Headers());
    if (!answer || answer->status != 200) continue;
    for (std::sregex_iterator it(answer->body.begin(), answer->body.end(), kAddress), end;
         it != end; ++it) {
      auto script = _client.Get((*it)[1].str(), Headers());
      _scripts.push_back(script && script->status == 200 ? script->body : "<missing>");
    }
    std::smatch next;
    if (std::regex_search(answer->body, next, kNext)) _next = std::stoul(next[1]);
    for (const std::string& script : _scripts)
      if (script.find(until) != std::string::npos) return _scripts;
  }
  return _scripts;
}

// --- DxfilterTest

void DxfilterTest::SetUp() {
  char pattern[] = "/tmp/dxfilter-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  _dir = pattern;
}

void DxfilterTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(_dir, ignored);
}

Result DxfilterTest::Run(const std::vector<std::string>& args, const std::string& input) {
  std::string command = "cd " + Quote(_dir) + " && ";
  if (input.starts_with('|')) command += input.substr(1) + " | ";
  command += Quote(DX_DXFILTER);
  for (const std::string& a : args) command += " " + Quote(a);
  if (!input.starts_with('|')) command += " <" + Quote(input);
  command += " >" + Quote(File("out")) + " 2>" + Quote(File("err"));
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read("out"), Read("err")};
}

std::unique_ptr<Page> DxfilterTest::OpenPage(Background& process) {
  int port = 0;
  std::string token;
  if (!process.Address(port, token)) {
    ADD_FAILURE() << "no dialog address: " << process.Err();
    return nullptr;
  }
  return std::make_unique<Page>(port, token);
}

std::string DxfilterTest::Generate(const std::string& model, const std::string& name,
                                   const std::string& format) {
  const Result r = Run({"generate", format, model, "-o", name});
  EXPECT_EQ(r.code, 0) << r.err;
  return Read(name);
}

std::string DxfilterTest::Write(const std::string& name, const std::string& text) const {
  std::ofstream(File(name), std::ios::binary) << text;
  return File(name);
}

bool DxfilterTest::Exists(const std::string& name) const {
  return std::filesystem::exists(File(name));
}

}  // namespace dxtest
