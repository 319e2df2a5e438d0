// The web backend seen from the page: a dialog with a web viewer is shown, and an
// HTTP client plays the browser tab (window page, viewer page, the bridge's script
// stream and messages). Every event must arrive on the host thread.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "DialogToolkit/DialogTestSupport.h"

namespace {

TEST_F(WebDialog, EachWindowGetsItsOwnAddressAndItsPagesCarryTheBridge) {
  EXPECT_EQ(dialog->GetAddress(), "");  // not shown yet
  Show();

  PageClient page(port, token);
  auto window = page.Get("/");
  ASSERT_EQ(Status(window), 200);
  const std::string& html = window->body;
  EXPECT_NE(html.find("<title>Filter &lt;import&gt; &amp; &quot;check&quot;</title>"),
            std::string::npos);
  EXPECT_NE(html.find("src=\"/" + token + "/" + kViewerPath + "\""), std::string::npos);
  EXPECT_EQ(html.find("{{"), std::string::npos);

  // Application pages get the bridge first in their head.
  const std::string bridge = "<script src=\"/" + token + "/__qor/bridge.js\" data-language=\"";
  EXPECT_TRUE(page.LoadViewer().starts_with("<!doctype html><html><head>" + bridge));
}

// The program makes what it sends on LoadStart while the browser boots the page: the
// page's own HTML starts the load, not its first question for scripts.
TEST_F(WebDialog, ScriptsRunInOrderEachServedOnceAndAReloadRunsThemAgain) {
  viewer->RunJavaScript("one()", __FILE__, __LINE__);  // the window is not even shown
  Show();
  viewer->RunJavaScript("two()", __FILE__, __LINE__);  // shown, the page not loaded
  PageClient page(port, token);
  std::vector<std::string> addresses = OffHost([&] {
    page.LoadViewer();
    return page.NextScriptAddresses();
  });
  ASSERT_TRUE(RunUntil([&] { return !recorder->log.empty(); }, 5s));
  ASSERT_EQ(addresses.size(), 2u);
  const std::regex kScript("^/" + token + "/__qor/script/[0-9a-f]{32}$");
  for (const std::string& a : addresses) EXPECT_TRUE(std::regex_match(a, kScript)) << a;
  EXPECT_EQ(page.Fetch(addresses[0]), "one()");
  EXPECT_EQ(page.Fetch(addresses[0]), "<404>");

  // The page waits for more while the program pushes.
  auto later = Async([&] { return page.RunScripts(2); });
  RunFor(100ms);
  viewer->RunJavaScript("three()", __FILE__, __LINE__);
  viewer->RunJavaScript("four()", __FILE__, __LINE__);
  ASSERT_TRUE(RunUntil([&] { return later.Ready(); }));
  EXPECT_EQ(later.get(), (std::vector<std::string>{"three()", "four()"}));

  // A reload voids what the previous load was handed and runs everything again.
  auto reload = OffHost([&] {
    page.LoadViewer();
    return page.RunScripts(4);
  });
  EXPECT_EQ(reload, (std::vector<std::string>{"one()", "two()", "three()", "four()"}));
  EXPECT_EQ(page.Fetch(addresses[1]), "<404>");
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->log, std::vector<std::string>{"loadstart TestViewer"});
}

// A script given with its text: a long text is served to the page as it is, beside a
// small script that fetches it; a short one is joined into the script, escaped.
TEST_F(WebDialog, AScriptsLongTextIsServedAsItIsAndAShortOneJoined) {
  // Bytes a script literal must escape, and markup that would end a script element.
  const std::string awkward = "it's \"q\" \\ </script><!-- \xE2\x80\xA8\n";
  std::string longText;
  while (longText.size() < (300u << 10)) longText += awkward;
  viewer->RunJavaScriptWithText("run(", std::make_shared<const std::string>(awkward), ");",
                                __FILE__, __LINE__);
  viewer->RunJavaScriptWithText("Filter.init(", std::make_shared<const std::string>(longText),
                                "); });", __FILE__, __LINE__);
  Show();
  PageClient page(port, token);
  std::vector<std::string> addresses = OffHost([&] {
    page.LoadViewer();
    return page.NextScriptAddresses();
  });
  ASSERT_EQ(addresses.size(), 2u);
  const std::string joined = page.Fetch(addresses[0]);
  EXPECT_EQ(joined, "run('it\\'s \\\"q\\\" \\\\ \\u003c/script>\\u003c!-- \\u2028\\n');");

  const std::string fetching = page.Fetch(addresses[1]);
  EXPECT_LT(fetching.size(), 2048u);
  EXPECT_NE(fetching.find("Filter.init(__qorText); });"), std::string::npos);
  std::smatch match;
  const std::regex kText("'(/" + token + "/webapps/__qor_text/[0-9a-f]{32})'");
  ASSERT_TRUE(std::regex_search(fetching, match, kText)) << fetching;
  auto text = page.client.Get(match[1].str());
  ASSERT_EQ(Status(text), 200);
  EXPECT_TRUE(text->body == longText);
  EXPECT_TRUE(text->get_header_value("Content-Type").starts_with("text/plain"));
}

// Escapes wherever they fall in a body are the message reader's test; here, that the
// strings reach JSMessage whole and in order, from bodies read in many chunks and from
// several connections at once.
TEST_F(WebDialog, ConcurrentMessagesArriveWholeAndInTheirOrderOnTheHostThread) {
  Show();
  PageClient first(port, token);
  const std::string big(3u << 20, 'x');
  for (const std::string& body :
       {std::string("  [ \"on\\\"Ok\", \"\\u00e9\" ]  "), "[\"" + big + "\",\"\"]"})
    EXPECT_EQ(OffHost([&] { return Status(first.Post("/__qor/message", body)); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->log.size() == 2; }));
  EXPECT_EQ(recorder->log[0], "message [\"on\\\"Ok\",\"\xC3\xA9\"]");
  EXPECT_TRUE(recorder->log[1] == "message [\"" + big + "\",\"\"]");
  recorder->log.clear();

  constexpr int kClients = 4, kEach = 40;
  std::vector<Background<int>> clients;
  for (int c = 0; c < kClients; ++c)
    clients.push_back(Async([&, c] {
      PageClient page(port, token, first.cookie);
      for (int i = 0; i < kEach; ++i)
        page.Post("/__qor/message",
                  "[\"c" + std::to_string(c) + "\",\"" + std::to_string(i) + "\"]");
      return 0;
    }));
  ASSERT_TRUE(RunUntil([&] { return recorder->log.size() == kClients * kEach; }, 60s));
  std::vector<int> next(kClients, 0);
  for (const std::string& line : recorder->log) {
    int c = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "message [\"c%d\",\"%d\"]", &c, &i), 2) << line;
    EXPECT_EQ(i, next.at(c)++) << line;
  }
}

TEST_F(WebDialog, TheWindowPageFollowsTheDialogAndItsButtonsAndCloseRaiseItsEvents) {
  Show();
  PageClient page(port, token);
  JSON::JIStream state = ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }));
  EXPECT_EQ(state.ReadString("title").Str(), "Filter <import> & \"check\"");
  EXPECT_EQ(state.ReadRawString("buttons").Str(), "18");
  EXPECT_EQ(state.ReadRawString("visible").Str(), "true");
  EXPECT_EQ(state.ReadObject("labels").ReadString("2").Str(), "OK");
  // A page waiting for news hears of the new title.
  const std::string version = state.ReadRawString("v").Str();
  auto waiting = Async([&] { return page.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  dialog->SetTitle(QORUnicodeString("Second title"));
  ASSERT_TRUE(RunUntil([&] { return waiting.Ready(); }));
  JSON::JIStream changed = ParseJson(waiting.get());
  EXPECT_EQ(changed.ReadString("title").Str(), "Second title");

  for (const auto& [button, status] : std::vector<std::pair<std::string, int>>{
           {"2", 204}, {"16", 204}, {"8", 404}, {"3", 404}, {"x", 404}})  // 8 is not shown
    EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/" + button)); }), status);
  dialog->SetStandardButtons(QORVidFraDialog::kOkSaveCancel);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/8")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->log.size() == 3; }));
  EXPECT_EQ(recorder->log, (std::vector<std::string>{"accept 2", "reject 16", "accept 8"}));

  // Hidden, the page says so; shown again in the same tab.
  dialog->SetVisibleFlag(0);
  EXPECT_EQ(page.State("visible", "?v=0"), "false");
  dialog->SetVisibleFlag(1);
  EXPECT_EQ(announced.size(), 1u);

  // Closing from the page raises Closed once, however often it is asked.
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/2")); }), 409);
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->log.size(), 4u);
  EXPECT_EQ(recorder->log.back(), "closed TestDialog");
}

TEST_F(WebDialog, ATabThatLeavesClosesTheWindowAfterTheGraceUnlessItComesBack) {
  QORDialogToolkit::SetLeaveGrace(300ms);
  Show();
  PageClient page(port, token);
  OffHost([&] {
    page.Get("/__qor/state?load=window00000001");
    page.Post("/__qor/leave?load=window00000001");
    return page.Get("/__qor/state?load=window00000002");  // the reloaded page, same tab
  });
  RunFor(700ms);
  // The old load's word arriving late changes nothing either.
  OffHost([&] { return page.Post("/__qor/leave?load=window00000001"); });
  RunFor(700ms);
  EXPECT_TRUE(recorder->log.empty());
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/leave?load=window00000002")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return !recorder->log.empty(); }, 5s));
  EXPECT_EQ(recorder->log, std::vector<std::string>{"closed TestDialog"});
}

// Work the server accepted while the host thread was busy elsewhere is dropped when
// its widget goes before the host runs it; a window that goes releases its waiting page
// and forgets its token.
TEST_F(WebDialog, DestroyedWidgetsDropTheirPendingWorkAndTheWindowItsPages) {
  Show();
  PageClient page(port, token);
  EXPECT_EQ(Async([&] { return Status(page.Post("/__qor/message", "[\"late\"]")); }).get(), 204);
  viewer->RequestDelayedDestruction();
  viewer = nullptr;
  QOREventLoop::Host().RunPending();
  EXPECT_TRUE(recorder->log.empty());
  const std::string version = page.State("v");
  PageClient poller(port, token, page.cookie);  // the tab's other connection
  auto waiting = Async([&] { return poller.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  EXPECT_EQ(Async([&] { return Status(page.Post("/__qor/button/2")); }).get(), 204);
  dialog->RequestDelayedDestruction();
  dialog = nullptr;
  QOREventLoop::Host().RunPending();
  QOREventLoop::Host().RunPending();
  EXPECT_TRUE(recorder->log.empty());
  ASSERT_TRUE(RunUntil([&] { return waiting.Ready(); }));
  EXPECT_EQ(ParseJson(waiting.get()).ReadRawString("closed").Str(), "true");
  EXPECT_EQ(Status(page.Get("/")), 404);
}

// A page whose browser went away without a word (killed, crashed): the window closes
// as if the user closed it, after a grace, and the user is told; a page that is still
// there, however slowly it asks, is never taken as gone.
class WebPageLost : public WebDialog {
 protected:
  bool ClosedAndTold() {
    return RunUntil([&] { return !recorder->log.empty(); }, 8s) && notices.size() == 1 &&
           notices[0].find("stopped answering") != std::string::npos;
  }
};

TEST_F(WebPageLost, ABrowserKilledDuringAPollClosesTheWindowOnceAfterTheGrace) {
  QORDialogToolkit::SetLostGrace(400ms);
  Show();
  RunFor(800ms);  // nobody opened the address yet: nothing to lose
  PageClient page(port, token);
  const std::string version = page.State("v");
  // A long poll on a connection of its own, waiting far beyond the grace, is being there.
  const int poll = ConnectLoopback(port);
  const std::string request =
      "GET " + page.base + "/__qor/state?v=" + version +
      "&load=window00000001 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nCookie: " + page.cookie + "\r\nX-Qor-Tab: " + page.tab + "\r\n\r\n";
  ASSERT_GT(send(poll, request.data(), request.size(), MSG_NOSIGNAL), 0);
  RunFor(1s);
  EXPECT_TRUE(recorder->log.empty());
  close(poll);  // what the system does to a killed browser's sockets
  RunFor(150ms);
  EXPECT_TRUE(recorder->log.empty()) << "closed before the grace";
  EXPECT_TRUE(ClosedAndTold());
  EXPECT_EQ(page.State("closed"), "true");
  RunFor(600ms);
  EXPECT_EQ(recorder->log, std::vector<std::string>{"closed TestDialog"});
}

// A browser the kit started that ends after the page was asked for shortens the grace
// (one that ends before only handed the address to a running browser). The browser is
// given a file only this user can read, which forwards to the address: its command
// line, which every local user can read, holds no address.
TEST_F(WebPageLost, ABrowserThatEndsAfterThePageWasAskedForShortensTheGraceAndSawNoAddress) {
  QORDialogToolkit::SetLostGrace(60s);
  Show();
  char folder[] = "/tmp/dialog-browser-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string argumentFile = std::string(folder) + "/argument";
  QORDialogToolkit::SetBrowserCommand("sh -c 'printf %s \"$1\" > " + argumentFile +
                                      "; sleep 1' browser");
  announced.clear();
  auto* second = new QORVidFraDialog(nullptr, "Second");
  Subscribe(second, QORVidFraWindow::Closed(), recorder, &EventRecorder::OnClosed);
  second->SetVisibleFlag(1);
  ASSERT_EQ(announced.size(), 1u);  // a window of its own, on the same server
  EXPECT_EQ(announced[0].find(token), std::string::npos);
  PageClient page(port, announced[0].substr(announced[0].size() - 33, 32));
  const auto seen = std::chrono::steady_clock::now();
  std::string argument;
  ASSERT_TRUE(RunUntil(
      [&] { return std::getline(std::ifstream(argumentFile), argument) && !argument.empty(); }));
  ASSERT_TRUE(argument.starts_with("file:///")) << argument;
  struct stat info;
  ASSERT_EQ(stat(argument.substr(7).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_uid, geteuid());
  std::ifstream in(argument.substr(7));
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(html.find("http-equiv=\"refresh\" content=\"0;url=" + announced[0] + "\""),
            std::string::npos)
      << html;
  EXPECT_TRUE(ClosedAndTold());
  EXPECT_GT(std::chrono::steady_clock::now() - seen, 900ms);
  second->RequestDelayedDestruction();
  std::filesystem::remove_all(folder);
}

}  // namespace
