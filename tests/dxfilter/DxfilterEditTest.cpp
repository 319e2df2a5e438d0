// DxfilterEditTest.cpp - dxfilter's interactive commands end to end, with the dialog's
// page played by an HTTP client (or by nobody): what is written, and what is not.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "DxfilterFixture.h"

namespace dxtest {
namespace {

using DxfilterEdit = DxfilterTest;

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
    const auto page = OpenPage(edit);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Post("/__qor/button/2"), 204);
    EXPECT_EQ(page->Say("onOkClick", answer), 204);
    ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
    EXPECT_EQ(edit.Code(), 1) << edit.Err();
    EXPECT_NE(edit.Err().find("the page's answer is not a filter document: "), std::string::npos)
        << edit.Err();
    EXPECT_NE(edit.Err().find(why), std::string::npos) << edit.Err();
    EXPECT_EQ(edit.Err().find("wrote"), std::string::npos) << edit.Err();
    EXPECT_FALSE(Exists("out.json"));
  }
}

// The summary counts the import ticks of the document taken, under whichever column
// that document marks as the boolean one.
TEST_F(DxfilterEdit, TheAnswerTakenIsWhatIsWrittenWithOrWithoutTheOkClick) {
  std::string edited = Generate(kHouse, "generated.json");
  const std::string site = "\"grid\":{\"Import\":\"true\",\"Type\":\"IfcSite\"";
  const std::string boolean = "\"typeRepresentation\":\"boolean\"";
  ASSERT_NE(edited.find(site), std::string::npos);
  ASSERT_NE(edited.find(boolean), std::string::npos);
  // The page's edits: a new name for the project, the site not imported.
  edited.insert(edited.find("\"label\":\"") + 9, "Edited ");
  edited.replace(edited.find(site), site.size(),
                 "\"grid\":{\"Import\":\"false\",\"Type\":\"IfcSite\"");
  // The same edits, in a document whose import column is no longer a boolean one.
  std::string untyped = edited;
  untyped.replace(untyped.find(boolean), boolean.size(), "\"typeRepresentation\":\"string\"");
  const struct {
    bool click;
    const std::string& answer;
    const char* summary;
  } cases[] = {{true, edited, "37 of 38 entities will be imported\n"},
               {false, untyped, "38 of 38 entities will be imported\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.summary);
    std::filesystem::remove(File("out.json"));
    Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    const auto page = OpenPage(edit);
    ASSERT_TRUE(page);
    if (c.click) {
      EXPECT_EQ(page->Post("/__qor/button/2"), 204);
    }
    EXPECT_EQ(page->Say("onOkClick", c.answer), 204);
    ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
    EXPECT_EQ(edit.Code(), 0) << edit.Err();
    EXPECT_NE(edit.Err().find("wrote out.json"), std::string::npos) << edit.Err();
    EXPECT_EQ(edit.Out(), c.summary);
    EXPECT_NE(Read("out.json").find("\"label\":\"Edited "), std::string::npos);
  }
}

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

TEST_F(DxfilterEdit, ABrowserThatEndsAfterOpeningThePageEndsTheEditAsACancel) {
  ASSERT_EQ(chmod(Write("browser.sh", kShortLivedBrowser).c_str(), 0700), 0);
  Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--browser", File("browser.sh")});
  // Well before the twenty seconds that a page with a browser of unknown fate gets.
  ASSERT_TRUE(edit.Exited(60s));
  ASSERT_TRUE(Exists("opened")) << "the browser never reached the page\n" << edit.Err();
  EXPECT_EQ(edit.Code(), 3) << edit.Err();
  const std::string err = edit.Err();
  EXPECT_NE(err.find("dialog: the page stopped answering"), std::string::npos) << err;
  EXPECT_NE(err.find("cancelled, nothing written"), std::string::npos) << err;
  EXPECT_FALSE(Exists("out.json"));
  const auto opened = std::filesystem::last_write_time(File("opened"));
  const auto ended = std::filesystem::last_write_time(File("err"));
  EXPECT_LT(ended - opened, std::chrono::seconds(8))
      << "the ended browser did not shorten the wait";
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
  EXPECT_FALSE(Exists("out.json"));
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
  EXPECT_FALSE(Exists("out.json"));
}

TEST_F(DxfilterEdit, AReplayEndingInCloseCancels) {
  std::ofstream(File("closed.jsonl")) << "{\"button\":\"Close\"}\n";
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-close";
  Background replay(_dir, {"replay", "closed.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout",
                           "60", "--browser", "sh -c 'sleep 60; true' " + marker});
  const auto page = OpenPage(replay);
  ASSERT_TRUE(page);
  // The page says it is ready; the replay then sends its button.
  EXPECT_EQ(page->Post("/__qor/message", "[\"onLoad\"]"), 204);
  ASSERT_TRUE(replay.Exited(30s)) << replay.Err();
  EXPECT_EQ(replay.Code(), 3) << replay.Err();
  EXPECT_FALSE(Exists("out.json"));
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
  EXPECT_FALSE(Exists("out.json"));
  EXPECT_EQ(ProcessesWith(marker), 0) << "the browser outlived the replay";
}

// --- Save in test mode: recorded in its place, its document written beside the output

TEST_F(DxfilterEdit, SaveIsRecordedWrittenBesideTheOutputAndReplayed) {
  const std::string generated = Generate(kHouse, "generated.json");
  const size_t at = generated.find("\"label\":\"");
  ASSERT_NE(at, std::string::npos);
  std::string saved = generated, confirmed = generated;
  saved.insert(at + 9, "Saved ");
  confirmed.insert(at + 9, "Confirmed ");

  {
    Background record(
        _dir, {"record", "scenario.jsonl", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    const auto page = OpenPage(record);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Say("registerInteraction", "first"), 204);
    EXPECT_EQ(page->Post("/__qor/button/8"), 204);
    EXPECT_EQ(page->Say("onSaveClick", saved), 204);
    EXPECT_EQ(page->Say("registerInteraction", "second"), 204);
    EXPECT_EQ(page->Post("/__qor/button/2"), 204);
    EXPECT_EQ(page->Say("onOkClick", confirmed), 204);
    ASSERT_TRUE(record.Exited(30s)) << record.Err();
    EXPECT_EQ(record.Code(), 0) << record.Err();
    EXPECT_NE(record.Err().find("Save: wrote out.save-1.json"), std::string::npos) << record.Err();
  }
  EXPECT_EQ(Read("scenario.jsonl"),
            "{\"interaction\":\"first\"}\n{\"button\":\"Save\"}\n"
            "{\"interaction\":\"second\"}\n{\"button\":\"OK\"}\n");
  EXPECT_NE(Read("out.save-1.json").find("\"label\":\"Saved "), std::string::npos);
  EXPECT_NE(Read("out.json").find("\"label\":\"Confirmed "), std::string::npos);
  EXPECT_EQ(Read("out.json").find("\"label\":\"Saved "), std::string::npos);

  // The replay asks the page for its document at the same point, and writes it again.
  std::filesystem::remove(File("out.save-1.json"));
  std::filesystem::remove(File("out.json"));
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-save";
  Background replay(_dir, {"replay", "scenario.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout",
                           "60", "--browser", "sh -c 'sleep 60; true' " + marker});
  const auto page = OpenPage(replay);
  ASSERT_TRUE(page);
  page->ScriptsUntil("Filter.init(");
  EXPECT_EQ(page->Post("/__qor/message", "[\"onLoad\"]"), 204);
  std::string ran;
  for (const std::string& script : page->ScriptsUntil("onOkClick")) ran += script + "\n";
  const size_t first = ran.find("simulate('first')"), save = ran.find("sendNewJson('onSaveClick')"),
               second = ran.find("simulate('second')"), ok = ran.find("sendNewJson('onOkClick')");
  ASSERT_NE(ok, std::string::npos) << ran;
  EXPECT_LT(first, save) << ran;
  EXPECT_LT(save, second) << ran;
  EXPECT_LT(second, ok) << ran;
  EXPECT_EQ(page->Say("onSaveClick", saved), 204);
  EXPECT_EQ(page->Say("onOkClick", confirmed), 204);
  ASSERT_TRUE(replay.Exited(30s)) << replay.Err();
  EXPECT_EQ(replay.Code(), 0) << replay.Err();
  EXPECT_NE(Read("out.save-1.json").find("\"label\":\"Saved "), std::string::npos);
  EXPECT_NE(Read("out.json").find("\"label\":\"Confirmed "), std::string::npos);
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
}  // namespace dxtest
