// DxfilterEditTest.cpp - dxfilter's interactive commands end to end, with the dialog's
// page played by an HTTP client (or by nobody): what is written, and what is not.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kHouse = std::string(DX_SAMPLES_DIR) + "/SampleHouse.ifc";
constexpr const char* kTab = "tab0000000000000000000000000000e";

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// One dxfilter process in the background, its output in files.
class Background {
 public:
  Background(const std::string& dir, const std::vector<std::string>& args) : _dir(dir) {
    // A file left by an earlier run must not be read as this one's.
    std::ofstream(dir + "/err", std::ios::trunc).close();
    _pid = fork();
    if (_pid == 0) {
      std::vector<char*> argv;
      std::string program = DX_DXFILTER;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      freopen("/dev/null", "r", stdin);
      freopen((dir + "/out").c_str(), "w", stdout);
      freopen((dir + "/err").c_str(), "w", stderr);
      if (chdir(dir.c_str()) != 0) _exit(126);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Background() {
    if (_pid > 0 && !_ended) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
    }
  }

  // Waits (within a deadline) for the dialog's address on standard error.
  bool Address(int& port, std::string& token) {
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

  // True when the process ended within the time; its exit code then in Code().
  bool Exited(std::chrono::milliseconds limit) {
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
  int Code() const { return _code; }
  std::string Err() const { return Slurp(_dir + "/err"); }
  pid_t Pid() const { return _pid; }

 private:
  std::string _dir;
  pid_t _pid = -1;
  bool _ended = false;
  int _code = -1;
};

// The filter page as the browser would drive it: the first load takes the cookie,
// then the session is held by one tab.
class Page {
 public:
  Page(int port, const std::string& token) : _client("127.0.0.1", port), _base("/" + token) {
    _client.set_read_timeout(30, 0);
    auto first = _client.Get(_base + "/");
    if (first && first->has_header("Set-Cookie")) {
      const std::string set = first->get_header_value("Set-Cookie");
      _cookie = set.substr(0, set.find(';'));
    }
    _origin = "http://127.0.0.1:" + std::to_string(port);
  }
  int Post(const std::string& path, const std::string& body = "") {
    httplib::Headers headers{{"X-Qor-Tab", kTab}, {"Origin", _origin}, {"Cookie", _cookie}};
    auto answer = _client.Post(_base + path, headers, body, "application/json");
    return answer ? answer->status : -1;
  }
  // A message of the page: a JSON array of strings.
  int Say(const std::string& name, const std::string& text) {
    httplib::Headers headers{{"X-Qor-Tab", kTab}, {"Origin", _origin}, {"Cookie", _cookie}};
    std::string body = "[\"" + name + "\",\"";
    for (char c : text) {
      if (c == '"' || c == '\\') body += '\\';
      body += c;
    }
    body += "\"]";
    auto answer = _client.Post(_base + "/__qor/message", headers, body, "application/json");
    return answer ? answer->status : -1;
  }

  // The scripts the dialog ran in the page so far, each fetched once, in order; waits
  // (a few long polls) until one holds until.
  std::vector<std::string> ScriptsUntil(const std::string& until) {
    httplib::Headers headers{{"X-Qor-Tab", kTab}, {"Origin", _origin}, {"Cookie", _cookie}};
    for (int turn = 0; turn < 20; ++turn) {
      auto answer = _client.Get(
          _base + "/__qor/scripts?load=load00000001&after=" + std::to_string(_next), headers);
      if (!answer || answer->status != 200) continue;
      static const std::regex kAddress("\"(/[^\"]+)\"");
      for (std::sregex_iterator it(answer->body.begin(), answer->body.end(), kAddress), end;
           it != end; ++it) {
        auto script = _client.Get((*it)[1].str(), headers);
        _scripts.push_back(script && script->status == 200 ? script->body : "<missing>");
      }
      std::smatch next;
      static const std::regex kNext("\"next\":(\\d+)");
      if (std::regex_search(answer->body, next, kNext)) _next = std::stoul(next[1]);
      for (const std::string& script : _scripts)
        if (script.find(until) != std::string::npos) return _scripts;
    }
    return _scripts;
  }

 private:
  httplib::Client _client;
  std::string _base, _cookie, _origin;
  size_t _next = 0;
  std::vector<std::string> _scripts;
};

class DxfilterEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/dxfilter-edit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    _dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(_dir); }
  std::string File(const std::string& name) const { return _dir + "/" + name; }

  std::string _dir;
};

// --- the page's answer decides what is written, and a bad one is said so

TEST_F(DxfilterEdit, AnAnswerThatIsNotAFilterDocumentWritesNothing) {
  const std::vector<std::pair<std::string, std::string>> answers = {
      {"not json", "not valid JSON"},
      {"[1,2]", "top level is not a JSON object"},
      {R"({"data":{},"columns":[]})", "no \"roots\" array"},
  };
  for (const auto& [answer, why] : answers) {
    SCOPED_TRACE(answer);
    Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    int port = 0;
    std::string token;
    ASSERT_TRUE(edit.Address(port, token)) << edit.Err();
    Page page(port, token);
    EXPECT_EQ(page.Post("/__qor/button/2"), 204);
    EXPECT_EQ(page.Say("onOkClick", answer), 204);
    ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
    EXPECT_EQ(edit.Code(), 1) << edit.Err();
    EXPECT_NE(edit.Err().find("the page's answer is not a filter document: "), std::string::npos)
        << edit.Err();
    EXPECT_NE(edit.Err().find(why), std::string::npos) << edit.Err();
    EXPECT_EQ(edit.Err().find("wrote"), std::string::npos) << edit.Err();
    EXPECT_FALSE(std::filesystem::exists(File("out.json")));
  }
}

TEST_F(DxfilterEdit, TheAnswerTakenIsWhatIsWrittenWithOrWithoutTheOkClick) {
  Background generate(_dir, {"generate", "IFC", kHouse, "-o", "generated.json"});
  ASSERT_TRUE(generate.Exited(60s));
  ASSERT_EQ(generate.Code(), 0);
  std::string answer = Slurp(File("generated.json"));
  // An edit the page made: a new name for the project.
  const size_t at = answer.find("\"label\":\"");
  ASSERT_NE(at, std::string::npos);
  answer.insert(at + 9, "Edited ");
  for (bool click : {true, false}) {
    SCOPED_TRACE(click ? "after OK" : "the page alone");
    std::filesystem::remove(File("out.json"));
    Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    int port = 0;
    std::string token;
    ASSERT_TRUE(edit.Address(port, token)) << edit.Err();
    Page page(port, token);
    if (click) {
      EXPECT_EQ(page.Post("/__qor/button/2"), 204);
    }
    EXPECT_EQ(page.Say("onOkClick", answer), 204);
    ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
    EXPECT_EQ(edit.Code(), 0) << edit.Err();
    EXPECT_NE(edit.Err().find("wrote out.json"), std::string::npos) << edit.Err();
    EXPECT_NE(Slurp(File("out.json")).find("\"label\":\"Edited "), std::string::npos);
  }
}

// --- another local user, reading every command line, cannot take the dialog

// Scans /proc/*/cmdline for the fake browser's, follows any address or file named
// there, and tries the session's endpoints; prints "seen" once it found the browser,
// "GOT ..." for every 2xx answer.
constexpr const char* kScanner = R"SH(
probe() {
  rest=${1#http://127.0.0.1:}; port=${rest%%/*}; path=/${rest#*/}
  for request in "GET ${path}" "GET ${path}__qor/state" "POST ${path}__qor/button/2" "POST ${path}__qor/close"; do
    exec 3<>"/dev/tcp/127.0.0.1/$port" || continue
    printf '%s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nOrigin: http://127.0.0.1:%s\r\nX-Qor-Tab: scannerscannerscanner001\r\nContent-Length: 0\r\nConnection: close\r\n\r\n' "$request" "$port" "$port" >&3
    status=""
    read -r -t 5 status <&3
    exec 3<&-
    case "$status" in "HTTP/1.1 2"*) echo "GOT $request $status";; esac
  done
}
end=$((SECONDS + 3))
seen=0
while [ "$SECONDS" -lt "$end" ]; do
  for f in /proc/[0-9]*/cmdline; do
    line=$(tr '\0' ' ' < "$f" 2>/dev/null) || continue
    case "$line" in sh\ -c*fakebrowser*) ;; *) continue ;; esac
    [ "$seen" = 1 ] || echo seen
    seen=1
    for word in $line; do
      case "$word" in
        *http://127.0.0.1:*) probe "http${word#*http}" ;;
        *file://*)
          for url in $(grep -o 'http://127.0.0.1:[0-9]*/[0-9a-f]*/' "${word#*file://}" 2>/dev/null); do probe "$url"; done ;;
      esac
    done
  done
done
)SH";

TEST_F(DxfilterEdit, AnotherUserReadingCommandLinesGetsNothingFromTheDialog) {
  if (geteuid() != 0) GTEST_SKIP() << "running a process as another user needs root";
  if (std::system("id -u dxscan >/dev/null 2>&1 || useradd --system --no-create-home dxscan "
                  ">/dev/null 2>&1") != 0 ||
      std::system("command -v setpriv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no other user to scan as (useradd or setpriv missing)";
  std::ofstream(File("scanner.sh")) << kScanner;

  // The browser only waits, as one that has not loaded the page yet.
  Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--browser",
                         "sh -c 'sleep 6; true' fakebrowser"});
  int port = 0;
  std::string token;
  ASSERT_TRUE(edit.Address(port, token)) << edit.Err();
  const std::string command = "setpriv --reuid=dxscan --regid=dxscan --clear-groups bash -s < '" +
                              File("scanner.sh") + "' 2>/dev/null";
  FILE* scan = popen(command.c_str(), "r");
  ASSERT_NE(scan, nullptr);
  std::string report;
  char buffer[512];
  while (fgets(buffer, sizeof(buffer), scan)) report += buffer;
  pclose(scan);
  if (report.find("seen") == std::string::npos)
    GTEST_SKIP() << "other users cannot read command lines here (/proc hides them)";
  EXPECT_EQ(report.find("GOT"), std::string::npos) << report;

  // The dialog is still the user's: the address, loaded first by them, works.
  Page page(port, token);
  EXPECT_EQ(page.Post("/__qor/button/16"), 204);
  ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
  EXPECT_EQ(edit.Code(), 3) << edit.Err();
  EXPECT_FALSE(std::filesystem::exists(File("out.json")));
}

// --- a replay always ends, and takes its browser with it

// Processes whose command line holds the marker.
int ProcessesWith(const std::string& marker) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string line = Slurp(entry.path().string() + "/cmdline");
    if (line.find(marker) != std::string::npos) ++count;
  }
  return count;
}

TEST_F(DxfilterEdit, AScenarioWithoutItsButtonIsRefused) {
  std::ofstream(File("cut.jsonl")) << "{\"interaction\":\"select\"}\n";
  Background replay(_dir,
                    {"replay", "cut.jsonl", "IFC", kHouse, "-o", "out.json", "--browser", "true"});
  ASSERT_TRUE(replay.Exited(30s));
  EXPECT_EQ(replay.Code(), 1);
  EXPECT_NE(replay.Err().find("cut.jsonl: no button line"), std::string::npos) << replay.Err();
  EXPECT_FALSE(std::filesystem::exists(File("out.json")));
}

TEST_F(DxfilterEdit, AReplayEndingInCloseCancels) {
  std::ofstream(File("closed.jsonl")) << "{\"button\":\"Close\"}\n";
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-close";
  Background replay(_dir, {"replay", "closed.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout",
                           "60", "--browser", "sh -c 'sleep 60; true' " + marker});
  int port = 0;
  std::string token;
  ASSERT_TRUE(replay.Address(port, token)) << replay.Err();
  // The page says it is ready; the replay then sends its button.
  Page page(port, token);
  EXPECT_EQ(page.Post("/__qor/message", "[\"onLoad\"]"), 204);
  ASSERT_TRUE(replay.Exited(30s)) << replay.Err();
  EXPECT_EQ(replay.Code(), 3) << replay.Err();
  EXPECT_FALSE(std::filesystem::exists(File("out.json")));
  EXPECT_EQ(ProcessesWith(marker), 0);
}

TEST_F(DxfilterEdit, AReplayThatNeverEndsGivesUpAndEndsItsBrowser) {
  std::ofstream(File("ok.jsonl")) << "{\"button\":\"OK\"}\n";
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-stuck";
  // A browser that never loads the page, with a child of its own.
  const auto start = std::chrono::steady_clock::now();
  Background replay(
      _dir, {"replay", "ok.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout", "2", "--browser",
             "sh -c 'sh -c \"sleep 60; true\" & sleep 60; true' " + marker});
  ASSERT_TRUE(replay.Exited(60s)) << replay.Err();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(replay.Code(), 1) << replay.Err();
  EXPECT_NE(replay.Err().find("the dialog did not close within 2 s"), std::string::npos)
      << replay.Err();
  EXPECT_FALSE(std::filesystem::exists(File("out.json")));
  EXPECT_EQ(ProcessesWith(marker), 0) << "the browser outlived the replay";
}

// --- Save in test mode: recorded in its place, its document written beside the output

TEST_F(DxfilterEdit, SaveIsRecordedWrittenBesideTheOutputAndReplayed) {
  Background generate(_dir, {"generate", "IFC", kHouse, "-o", "generated.json"});
  ASSERT_TRUE(generate.Exited(60s));
  const std::string generated = Slurp(File("generated.json"));
  const size_t at = generated.find("\"label\":\"");
  ASSERT_NE(at, std::string::npos);
  std::string saved = generated, confirmed = generated;
  saved.insert(at + 9, "Saved ");
  confirmed.insert(at + 9, "Confirmed ");

  {
    Background record(
        _dir, {"record", "scenario.jsonl", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    int port = 0;
    std::string token;
    ASSERT_TRUE(record.Address(port, token)) << record.Err();
    Page page(port, token);
    EXPECT_EQ(page.Say("registerInteraction", "first"), 204);
    EXPECT_EQ(page.Post("/__qor/button/8"), 204);
    EXPECT_EQ(page.Say("onSaveClick", saved), 204);
    EXPECT_EQ(page.Say("registerInteraction", "second"), 204);
    EXPECT_EQ(page.Post("/__qor/button/2"), 204);
    EXPECT_EQ(page.Say("onOkClick", confirmed), 204);
    ASSERT_TRUE(record.Exited(30s)) << record.Err();
    EXPECT_EQ(record.Code(), 0) << record.Err();
    EXPECT_NE(record.Err().find("Save: wrote out.save-1.json"), std::string::npos) << record.Err();
  }
  EXPECT_EQ(Slurp(File("scenario.jsonl")),
            "{\"interaction\":\"first\"}\n{\"button\":\"Save\"}\n"
            "{\"interaction\":\"second\"}\n{\"button\":\"OK\"}\n");
  EXPECT_NE(Slurp(File("out.save-1.json")).find("\"label\":\"Saved "), std::string::npos);
  EXPECT_NE(Slurp(File("out.json")).find("\"label\":\"Confirmed "), std::string::npos);
  EXPECT_EQ(Slurp(File("out.json")).find("\"label\":\"Saved "), std::string::npos);

  // The replay asks the page for its document at the same point, and writes it again.
  std::filesystem::remove(File("out.save-1.json"));
  std::filesystem::remove(File("out.json"));
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-save";
  Background replay(_dir, {"replay", "scenario.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout",
                           "60", "--browser", "sh -c 'sleep 60; true' " + marker});
  int port = 0;
  std::string token;
  ASSERT_TRUE(replay.Address(port, token)) << replay.Err();
  Page page(port, token);
  page.ScriptsUntil("Filter.init(");
  EXPECT_EQ(page.Post("/__qor/message", "[\"onLoad\"]"), 204);
  std::string ran;
  for (const std::string& script : page.ScriptsUntil("onOkClick")) ran += script + "\n";
  const size_t first = ran.find("simulate('first')"), save = ran.find("sendNewJson('onSaveClick')"),
               second = ran.find("simulate('second')"), ok = ran.find("sendNewJson('onOkClick')");
  ASSERT_NE(ok, std::string::npos) << ran;
  EXPECT_LT(first, save) << ran;
  EXPECT_LT(save, second) << ran;
  EXPECT_LT(second, ok) << ran;
  EXPECT_EQ(page.Say("onSaveClick", saved), 204);
  EXPECT_EQ(page.Say("onOkClick", confirmed), 204);
  ASSERT_TRUE(replay.Exited(30s)) << replay.Err();
  EXPECT_EQ(replay.Code(), 0) << replay.Err();
  EXPECT_NE(Slurp(File("out.save-1.json")).find("\"label\":\"Saved "), std::string::npos);
  EXPECT_NE(Slurp(File("out.json")).find("\"label\":\"Confirmed "), std::string::npos);
}

// --- a signal ends the program at once, whatever a client is doing

TEST_F(DxfilterEdit, TerminationEndsTheProgramWithinASecondDespiteASlowClient) {
  Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
  int port = 0;
  std::string token;
  ASSERT_TRUE(edit.Address(port, token)) << edit.Err();
  // A client that started a request and sends nothing more.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  const std::string start = "GET /" + token + "/ HTTP/1.1\r\n";
  ASSERT_GT(send(fd, start.data(), start.size(), MSG_NOSIGNAL), 0);
  std::this_thread::sleep_for(100ms);  // the server is reading it now

  const auto signalled = std::chrono::steady_clock::now();
  kill(edit.Pid(), SIGTERM);
  ASSERT_TRUE(edit.Exited(10s));
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1500ms);
  EXPECT_EQ(edit.Code(), 3) << edit.Err();
  EXPECT_NE(edit.Err().find("interrupted, nothing written"), std::string::npos) << edit.Err();
  close(fd);
}

}  // namespace
