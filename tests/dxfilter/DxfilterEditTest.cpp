// DxfilterEditTest.cpp - dxfilter's interactive commands end to end, with the dialog's
// page played by an HTTP client (or by nobody): what is written, and what is not.
#include <sys/stat.h>

#include "DxfilterFixture.h"

namespace dxtest {
namespace {

using DxfilterEdit = DxfilterTest;

// Processes whose command line holds the marker as a word of its own: the fake browsers,
// not the dxfilter or shell that name them.
int ProcessesWith(const std::string& marker) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    if (entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos &&
        Has(Slurp(entry.path().string() + "/cmdline"), std::string(1, '\0') + marker))
      ++count;
  return count;
}

// The summary counts the import ticks of the document taken, under whichever column that
// document marks as the boolean one; an answer that is no filter document writes nothing.
TEST_F(DxfilterEdit, ThePagesAnswerDecidesWhatIsWritten) {
  std::string edited = Generate(kHouse, "generated.json");
  const std::string site = "\"grid\":{\"Import\":\"true\",\"Type\":\"IfcSite\"";
  const std::string boolean = "\"typeRepresentation\":\"boolean\"";
  ASSERT_TRUE(Has(edited, site) && Has(edited, boolean));
  // The page's edits: a new name for the project, the site not imported.
  edited.insert(edited.find("\"label\":\"") + 9, "Edited ");
  edited.replace(edited.find(site), site.size(),
                 "\"grid\":{\"Import\":\"false\",\"Type\":\"IfcSite\"");
  // The same edits, in a document whose import column is no longer a boolean one.
  std::string untyped = edited;
  untyped.replace(untyped.find(boolean), boolean.size(), "\"typeRepresentation\":\"string\"");
  const struct {
    bool click;
    std::string answer;
    int code;
    const char* said;  // on standard output when written, else on standard error
  } cases[] = {
      {true, edited, 0, "37 of 38 entities will be imported\n"},
      {false, untyped, 0, "38 of 38 entities will be imported\n"},
      {true, "not json", 1, "not valid JSON"},
      {true, "[1,2]", 1, "top level is not a JSON object"},
      {true, R"({"data":{},"columns":[]})", 1, "no \"roots\" array"},
      {true, R"({"data":{},"columns":[],"roots":{"children":[]}})", 1, "no \"roots\" array"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    std::filesystem::remove(File("out.json"));
    Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    ASSERT_TRUE(edit.Address()) << edit.Err();
    Page page(edit);
    EXPECT_TRUE(!c.click || page.Post("/__qor/button/2") == 204);
    EXPECT_EQ(page.Say("onOkClick", c.answer), 204);
    ASSERT_TRUE(edit.Exited(30s)) << edit.Err();
    EXPECT_EQ(edit.Code(), c.code) << edit.Err();
    if (c.code == 0) {
      EXPECT_TRUE(Has(edit.Err(), "wrote out.json")) << edit.Err();
      EXPECT_EQ(edit.Out(), c.said);
      EXPECT_TRUE(Has(Read("out.json"), "\"label\":\"Edited "));
    } else {
      EXPECT_TRUE(Has(edit.Err(), "the page's answer is not a filter document: ")) << edit.Err();
      EXPECT_TRUE(Has(edit.Err(), c.said)) << edit.Err();
      EXPECT_FALSE(Has(edit.Err(), "wrote") || Exists("out.json")) << edit.Err();
    }
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
echo "$*" >"$(dirname "$0")/words"
stat -c %a "$forwarder" >"$(dirname "$0")/mode"
sleep 0.5
)";

TEST_F(DxfilterEdit, ABrowserSeesOnlyAPrivateFileAndItsEndEndsTheEditAsACancel) {
  ASSERT_EQ(chmod(Write("browser.sh", kShortLivedBrowser).c_str(), 0700), 0);
  Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--browser", File("browser.sh")});
  // Well before the twenty seconds that a page with a browser of unknown fate gets.
  ASSERT_TRUE(edit.Exited(60s));
  ASSERT_TRUE(Exists("words")) << "the browser never reached the page\n" << edit.Err();
  EXPECT_EQ(edit.Code(), 3) << edit.Err();
  EXPECT_TRUE(Has(edit.Err(), "dialog: the page stopped answering")) << edit.Err();
  EXPECT_TRUE(Has(edit.Err(), "cancelled, nothing written")) << edit.Err();
  EXPECT_FALSE(Exists("out.json"));
  // Another local user reads the browser's command line under /proc: it names only a
  // file that they cannot read, never the session's address.
  ASSERT_TRUE(edit.Address());
  EXPECT_FALSE(Has(Read("words"), edit.Token())) << Read("words");
  EXPECT_EQ(Read("mode"), "600\n") << "others may read the page's address";
  EXPECT_LT(std::filesystem::last_write_time(File("err")) -
                std::filesystem::last_write_time(File("words")),
            std::chrono::seconds(8))
      << "the ended browser did not shorten the wait";
}

// A replay that never sees its page gives up, and takes its browser (and the browser's
// children) with it.
TEST_F(DxfilterEdit, AReplayEndsAtItsTimeLimit) {
  Write("ok.jsonl", "{\"button\":\"OK\"}\n");
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-stuck";
  Background replay(
      _dir, {"replay", "ok.jsonl", "IFC", kHouse, "-o", "out.json", "--timeout", "2", "--browser",
             "sh -c 'sh -c \"sleep 60; true\" & sleep 60; true' " + marker});
  ASSERT_TRUE(replay.Exited(60s)) << replay.Err();
  EXPECT_EQ(replay.Code(), 1) << replay.Err();
  EXPECT_TRUE(Has(replay.Err(), "the dialog did not close within 2 s")) << replay.Err();
  EXPECT_FALSE(Exists("out.json"));
  EXPECT_EQ(ProcessesWith(marker), 0) << "the browser outlived the replay";
}

// Save in test mode: recorded in its place, its document written beside the output, and
// asked for again at the same point of the replay.
TEST_F(DxfilterEdit, SaveIsRecordedWrittenBesideTheOutputAndReplayed) {
  const std::string generated = Generate(kHouse, "generated.json");
  const size_t at = generated.find("\"label\":\"") + 9;
  const std::string saved = std::string(generated).insert(at, "Saved "),
                    confirmed = std::string(generated).insert(at, "Confirmed ");
  const auto answer = [&](Page& page, bool record) {
    EXPECT_TRUE(!record || page.Post("/__qor/button/8") == 204);
    EXPECT_EQ(page.Say("onSaveClick", saved), 204);
    EXPECT_TRUE(!record || page.Say("registerInteraction", "second") == 204);
    EXPECT_TRUE(!record || page.Post("/__qor/button/2") == 204);
    EXPECT_EQ(page.Say("onOkClick", confirmed), 204);
  };
  const auto expectWritten = [&](Background& process) {
    ASSERT_TRUE(process.Exited(30s)) << process.Err();
    EXPECT_EQ(process.Code(), 0) << process.Err();
    EXPECT_TRUE(Has(Read("out.save-1.json"), "\"label\":\"Saved "));
    EXPECT_TRUE(Has(Read("out.json"), "\"label\":\"Confirmed "));
    std::filesystem::remove(File("out.save-1.json"));
    std::filesystem::remove(File("out.json"));
  };
  {
    Background record(_dir, {"record", "s.jsonl", "IFC", kHouse, "-o", "out.json", "--no-browser"});
    ASSERT_TRUE(record.Address()) << record.Err();
    Page page(record);
    EXPECT_EQ(page.Say("registerInteraction", "first"), 204);
    answer(page, true);
    expectWritten(record);
    EXPECT_TRUE(Has(record.Err(), "Save: wrote out.save-1.json")) << record.Err();
  }
  EXPECT_EQ(Read("s.jsonl"),
            "{\"interaction\":\"first\"}\n{\"button\":\"Save\"}\n"
            "{\"interaction\":\"second\"}\n{\"button\":\"OK\"}\n");

  // The replay shows the carried document (carried in the generator's place).
  const std::string uid = generated.substr(generated.find("\"uid\":[\"") + 8, 22);
  Write("old.json",
        std::string(generated).insert(9, "\"userEdits\":{\"" + uid + R"(":{"Import":"false"}},)"));
  const std::string marker = "fakebrowser-" + std::to_string(getpid()) + "-save";
  Background replay(_dir,
                    {"replay", "s.jsonl", "IFC", kHouse, "--carry", "old.json", "-o", "out.json",
                     "--timeout", "60", "--browser", "sh -c 'sleep 60; true' " + marker});
  ASSERT_TRUE(replay.Address()) << replay.Err();
  Page page(replay);
  page.ScriptsUntil("Filter.init(");
  EXPECT_EQ(page.Post("/__qor/message", "[\"onLoad\"]"), 204);
  const std::string ran = page.ScriptsUntil("onOkClick");
  const size_t first = ran.find("simulate('first')"), save = ran.find("'onSaveClick'"),
               second = ran.find("simulate('second')"), ok = ran.find("sendNewJson('onOkClick')");
  EXPECT_TRUE(first < save && save < second && second < ok && ok != std::string::npos) << ran;
  answer(page, false);
  expectWritten(replay);
  EXPECT_TRUE(Has(replay.Out(), "1 edit carried, 0 new, 0 gone, 0 dropped\n")) << replay.Out();
  EXPECT_EQ(ProcessesWith(marker), 0) << "the browser outlived the replay";
}

// A signal ends the program at once, whatever a client is doing.
TEST_F(DxfilterEdit, TerminationEndsTheProgramWithinASecondDespiteASlowClient) {
  Background edit(_dir, {"edit", "IFC", kHouse, "-o", "out.json", "--no-browser"});
  ASSERT_TRUE(edit.Address()) << edit.Err();
  // A client that started a request and sends nothing more.
  const std::string client = "exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(edit.Port()) +
                             "; printf 'GET /" + edit.Token() + "/ HTTP/1.1\\r\\n' >&3; sleep 5";
  ASSERT_EQ(std::system(("bash -c " + Quote(client) + " >/dev/null 2>&1 &").c_str()), 0);
  std::this_thread::sleep_for(100ms);  // the server is reading it now
  const auto signalled = std::chrono::steady_clock::now();
  kill(edit.Pid(), SIGTERM);
  ASSERT_TRUE(edit.Exited(10s));
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1500ms);
  EXPECT_EQ(edit.Code(), 3) << edit.Err();
  EXPECT_TRUE(Has(edit.Err(), "interrupted, nothing written")) << edit.Err();
}

}  // namespace
}  // namespace dxtest
