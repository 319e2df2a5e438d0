// EditSessionLostBrowserTest.cpp - `dxfilter edit` whose browser goes away without a
// word: the edit ends as a cancel, says why, and writes nothing.
#include <gtest/gtest.h>
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

class EditSessionLostBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dxfilter-lost-XXXXXX";
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

  std::string Err() const {
    std::ifstream in(_dir + "/err");
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::string _dir;
  pid_t _pid = -1;
};

TEST_F(EditSessionLostBrowser, ABrowserThatEndsAfterOpeningThePageEndsTheEditAsACancel) {
  const std::string browser = _dir + "/browser.sh";
  std::ofstream(browser) << kShortLivedBrowser;
  ASSERT_EQ(chmod(browser.c_str(), 0700), 0);
  Start({"edit", "IFC", kHouse, "-o", "out.json", "--browser", browser});
  // Well before the ten seconds that a page with a browser of unknown fate gets.
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
