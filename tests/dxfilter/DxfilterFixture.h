// DxfilterFixture.h - dxfilter as a user or a script runs it: one scratch folder per
// test, the program run to its end or kept in the background, and the dialog's page
// played by an HTTP client.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "JsonStreams/QORJsonString.h"

namespace dxtest {

using namespace std::chrono_literals;

inline const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
inline const std::string kGearbox = std::string(DX_SAMPLES_DIR) + "/Gearbox.stp";

struct Result {
  int code = -1;
  std::string out, err;
};

inline std::string Slurp(const std::string& path) {
  return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// A word for the shell, in single quotes.
inline std::string Quote(const std::string& arg) {
  return "'" + std::regex_replace(arg, std::regex("'"), "'\\''") + "'";
}

inline int CountOf(const std::string& text, char c) {
  return static_cast<int>(std::count(text.begin(), text.end(), c));
}

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// dxfilter with its arguments, run in the folder, for the shell.
inline std::string Command(const std::string& dir, const std::vector<std::string>& args,
                           const std::string& redirections) {
  std::string command = Quote(DX_DXFILTER);
  for (const std::string& a : args) command += " " + Quote(a);
  return "cd " + Quote(dir) + " && { " + command + " " + redirections + "; }";
}

// One dxfilter process in the background of a folder, its output in files there, run by
// a shell that notes its process id and, at its end, its exit code.
class Background {
 public:
  Background(const std::string& dir, const std::vector<std::string>& args) : _dir(dir) {
    for (const char* name : {"pid", "code", "out", "err"})
      std::filesystem::remove(dir + "/" + name);
    const std::string command =
        Command(dir, args, "</dev/null >out 2>err & echo $! >pid; wait $!; echo $? >code");
    EXPECT_EQ(std::system(("(" + command + ") >/dev/null 2>&1 &").c_str()), 0);
    while (Slurp(dir + "/pid").empty()) std::this_thread::sleep_for(5ms);
    _pid = std::stoi(Slurp(dir + "/pid"));
  }
  ~Background() {
    if (!Exited(0ms)) kill(_pid, SIGKILL);
  }

  // Waits for the dialog's address on standard error; false when the process ended first.
  bool Address() {
    static const std::regex kLine(R"(dialog: http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/)");
    std::smatch match;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (bool ended = false; !ended && std::chrono::steady_clock::now() < deadline;) {
      ended = Exited(20ms);
      const std::string err = Err();
      if (std::regex_search(err, match, kLine))
        return _port = std::stoi(match[1]), _token = match[2], true;
    }
    return false;
  }
  int Port() const { return _port; }
  const std::string& Token() const { return _token; }
  // True when the process ended within the time; its exit code then in Code().
  bool Exited(std::chrono::milliseconds limit) {
    for (const auto deadline = std::chrono::steady_clock::now() + limit;;) {
      const std::string code = Slurp(_dir + "/code");
      if (code.ends_with('\n')) return (_code = std::stoi(code)), true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
  }
  int Code() const { return _code; }
  std::string Out() const { return Slurp(_dir + "/out"); }
  std::string Err() const { return Slurp(_dir + "/err"); }
  pid_t Pid() const { return _pid; }

 private:
  std::string _dir;
  pid_t _pid = -1;
  int _code = -1, _port = 0;
  std::string _token;
};

// The filter page as a browser drives it: the first load takes the cookie, then the
// session is held by one tab.
class Page {
 public:
  // The page of a command in the background that gave its address.
  explicit Page(Background& process) : Page(process.Port(), process.Token()) {}
  Page(int port, const std::string& token)
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
  int Post(const std::string& path, const std::string& body = "") {
    auto answer = _client.Post(_base + path, Headers(), body, "application/json");
    return answer ? answer->status : -1;
  }
  // A message of the page: a JSON array of two strings.
  int Say(const std::string& name, const std::string& text) {
    std::string body = "[\"" + name + "\",";
    QORAppendJsonString(body, text);
    return Post("/__qor/message", body + "]");
  }
  // The scripts the dialog ran in the page so far, each fetched once, in order; waits (a
  // few long polls) until they hold until.
  std::string ScriptsUntil(const std::string& until) {
    static const std::regex kAddress("\"(/[^\"]+)\""), kNext("\"next\":(\\d+)");
    for (int turn = 0; turn < 20 && !Has(_scripts, until); ++turn) {
      auto answer = _client.Get(
          _base + "/__qor/scripts?load=load00000001&after=" + std::to_string(_next), Headers());
      if (!answer || answer->status != 200) continue;
      for (std::sregex_iterator it(answer->body.begin(), answer->body.end(), kAddress), end;
           it != end; ++it) {
        auto script = _client.Get((*it)[1].str(), Headers());
        _scripts += (script && script->status == 200 ? script->body : "<missing>") + "\n";
      }
      std::smatch next;
      if (std::regex_search(answer->body, next, kNext)) _next = std::stoul(next[1]);
    }
    return _scripts;
  }

 private:
  httplib::Headers Headers() const {
    return {{"X-Qor-Tab", "tab0000000000000000000000000000e"},
            {"Origin", _origin},
            {"Cookie", _cookie}};
  }

  httplib::Client _client;
  std::string _base, _cookie, _origin;
  size_t _next = 0;
  std::string _scripts;
};

class DxfilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dxfilter-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    _dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(_dir); }

  // Runs dxfilter to its end in the folder, with standard input from a file, or from a
  // shell pipeline's output when input starts with '|'.
  Result Run(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    std::string command = Command(
        _dir, args, input.starts_with('|') ? ">out 2>err" : "<" + Quote(input) + " >out 2>err");
    if (input.starts_with('|'))
      command = "cd " + Quote(_dir) + " && " + input.substr(1) + " | (" + command + ")";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read("out"), Read("err")};
  }
  // Generates the filter of a model into the named file and gives its text.
  std::string Generate(const std::string& model, const std::string& name) {
    const Result r = Run({"generate", "IFC", model, "-o", name});
    EXPECT_EQ(r.code, 0) << r.err;
    return Read(name);
  }

  std::string File(const std::string& name) const { return _dir + "/" + name; }
  std::string Read(const std::string& name) const { return Slurp(File(name)); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name), std::ios::binary) << text;
    return File(name);
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

  std::string _dir;
};

}  // namespace dxtest
