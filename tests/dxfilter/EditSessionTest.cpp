// EditSessionTest.cpp - what `dxfilter edit` makes of the page's end: an answer it
// counts from, and a browser that goes away without a word (a cancel, said so).
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";

// A browser for the kit to start: it opens the dialog's page as a browser would (the
// file it is given forwards to the address), then ends, as a killed browser does.
constexpr char kShortLivedBrowser[] = R"(#!/bin/bash
forwarder=${1#file://}
[[ $(<"$forwarder") =~ url=http://127\.0\.0\.1:([0-9]+)(/[0-9a-f]{32}/) ]] || exit 1
port=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]}
exec 3<>/dev/tcp/127.0.0.1/$port || exit 1
printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n' "$path" "$port" >&3
cat <&3 >/dev/null
touch "$(dirname "$0")/opened"
sleep 0.5
)";

class EditSession : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dxfilter-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    _dir = pattern;
  }
  void TearDown() override {
    if (_pid > 0) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
    }
    std::filesystem::remove_all(_dir);
  }

  void Start(const std::vector<std::string>& args) {
    // A file left by an earlier run must not be read as this one's.
    std::ofstream(_dir + "/err", std::ios::trunc).close();
    _pid = fork();
    if (_pid == 0) {
      std::vector<char*> argv;
      std::string program = DX_DXFILTER;
      std::vector<std::string> copies = args;
      argv.push_back(program.data());
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      freopen("/dev/null", "r", stdin);
      freopen((_dir + "/out").c_str(), "w", stdout);
      freopen((_dir + "/err").c_str(), "w", stderr);
      if (chdir(_dir.c_str()) != 0) _exit(126);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }

  // The exit code when the process ended within the time, else -1.
  int Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(_pid, &status, WNOHANG) == _pid) {
        _pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }

  std::string Slurp(const std::string& name) const {
    std::ifstream in(_dir + "/" + name);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  std::string Err() const { return Slurp("err"); }

  // The dialog's address on standard error: port and page path.
  bool Address(int& port, std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string err = Err();
      const size_t at = err.find("dialog: http://127.0.0.1:");
      const size_t end = err.find('\n', at);
      if (at != std::string::npos && end != std::string::npos) {
        const std::string address = err.substr(at + 25, end - at - 25);
        port = std::stoi(address);
        path = address.substr(address.find('/'));
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  // Plays the page: takes the session's cookie, then answers OK with document.
  int Answer(int port, const std::string& path, const std::string& document) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    auto first = client.Get(path);
    if (!first || !first->has_header("Set-Cookie")) return -1;
    const std::string cookie = first->get_header_value("Set-Cookie");
    httplib::Headers headers{{"X-Qor-Tab", "tab0000000000000000000000000000e"},
                             {"Origin", "http://127.0.0.1:" + std::to_string(port)},
                             {"Cookie", cookie.substr(0, cookie.find(';'))}};
    std::string body = "[\"onOkClick\",\"";
    for (char c : document) {
      if (c == '"' || c == '\\') body += '\\';
      body += c;
    }
    body += "\"]";
    auto answer = client.Post(path + "__qor/message", headers, body, "application/json");
    return answer ? answer->status : -1;
  }

  std::string _dir;
  pid_t _pid = -1;
};

// The summary counts the import ticks of the document confirmed, under whichever
// column that document marks as the boolean one.
TEST_F(EditSession, TheSummaryCountsTheConfirmedDocumentsImportTicks) {
  Start({"generate", "IFC", kHouse, "-o", "generated.json"});
  ASSERT_EQ(Wait(60s), 0) << Err();
  const std::string generated = Slurp("generated.json");
  const std::string site = "\"grid\":{\"Import\":\"true\",\"Type\":\"IfcSite\"";
  const std::string boolean = "\"typeRepresentation\":\"boolean\"";
  ASSERT_NE(generated.find(site), std::string::npos);
  ASSERT_NE(generated.find(boolean), std::string::npos);
  std::string unticked = generated;
  unticked.replace(unticked.find(site), site.size(),
                   "\"grid\":{\"Import\":\"false\",\"Type\":\"IfcSite\"");
  // The same edit, in a document whose import column is no longer a boolean one.
  std::string untyped = unticked;
  untyped.replace(untyped.find(boolean), boolean.size(), "\"typeRepresentation\":\"string\"");
  const std::pair<std::string, std::string> cases[] = {
      {unticked, "37 of 38 entities will be imported"},
      {untyped, "38 of 38 entities will be imported"}};
  for (const auto& [answer, expected] : cases) {
    SCOPED_TRACE(expected);
    Start({"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    int port = 0;
    std::string path;
    ASSERT_TRUE(Address(port, path)) << Err();
    EXPECT_EQ(Answer(port, path, answer), 204);
    ASSERT_EQ(Wait(60s), 0) << Err();
    EXPECT_EQ(Slurp("out"), expected + "\n");
  }
}

TEST_F(EditSession, ABrowserThatEndsAfterOpeningThePageEndsTheEditAsACancel) {
  const std::string browser = _dir + "/browser.sh";
  std::ofstream(browser) << kShortLivedBrowser;
  ASSERT_EQ(chmod(browser.c_str(), 0700), 0);
  Start({"edit", "IFC", kHouse, "-o", "out.json", "--browser", browser});
  // Well before the twenty seconds that a page with a browser of unknown fate gets.
  const int code = Wait(60s);
  ASSERT_TRUE(std::filesystem::exists(_dir + "/opened")) << "the browser never reached the page\n"
                                                         << Err();
  EXPECT_EQ(code, 3) << Err();
  const std::string err = Err();
  EXPECT_NE(err.find("dialog: the page stopped answering"), std::string::npos) << err;
  EXPECT_NE(err.find("cancelled, nothing written"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(_dir + "/out.json"));
  const auto opened = std::filesystem::last_write_time(_dir + "/opened");
  const auto ended = std::filesystem::last_write_time(_dir + "/err");
  EXPECT_LT(ended - opened, std::chrono::seconds(8))
      << "the ended browser did not shorten the wait";
}

}  // namespace
