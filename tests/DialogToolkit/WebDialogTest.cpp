// The web backend seen from the page: a dialog with a web viewer is shown, and an
// HTTP client plays the browser tab (window page, viewer page, the bridge's script
// stream and messages). Every event must arrive on the host thread.
#include <gtest/gtest.h>

#include "DialogToolkit/DialogTestSupport.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"

namespace {

TEST_F(WebDialog, EachWindowGetsItsOwnAddressAndItsPagesCarryTheBridge) {
  EXPECT_EQ(dialog->GetAddress(), "");  // not shown yet
  Show();
  auto* other = new QORVidFraDialog(nullptr, "Other");
  other->SetVisibleFlag(1);
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_TRUE(announced[1].starts_with("http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(announced[1].find(token), std::string::npos);
  other->RequestDelayedDestruction();
  QOREventLoop::Host().RunPending();
  dialog->SetVisibleFlag(1);  // shown again: nothing new announced
  EXPECT_EQ(announced.size(), 2u);

  PageClient page(port, token);
  auto window = page.Get("/");
  ASSERT_EQ(Status(window), 200);
  const std::string& html = window->body;
  EXPECT_NE(html.find("<title>Filter &lt;import&gt; &amp; &quot;check&quot;</title>"),
            std::string::npos);
  EXPECT_NE(html.find("src=\"/" + token + kViewerRoute + "\""), std::string::npos);
  EXPECT_EQ(html.find("{{"), std::string::npos);
  EXPECT_EQ(Status(page.Get("/__qor/window.js")), 200);
  EXPECT_EQ(Status(page.Get("/__qor/window.css")), 200);

  // Application pages get the bridge first in their head, or after the doctype.
  const std::string bridge = "<script src=\"/" + token + "/__qor/bridge.js\" data-language=\"";
  EXPECT_TRUE(page.LoadViewer(kViewerPath).starts_with("<!doctype html><html><head>" + bridge));
  ASSERT_TRUE(QORWebAssets::Register("webapps/DialogToolkitTests/bare.html",
                                     "<!DOCTYPE html><p>x</p>", "text/html; charset=utf-8"));
  auto bare = page.Get("/webapps/DialogToolkitTests/bare.html");
  QORWebAssets::Unregister("webapps/DialogToolkitTests/bare.html");
  ASSERT_EQ(Status(bare), 200);
  EXPECT_TRUE(bare->body.starts_with("<!DOCTYPE html>" + bridge)) << bare->body;
  auto script = page.Get("/__qor/bridge.js");
  ASSERT_EQ(Status(script), 200);
  EXPECT_TRUE(script->get_header_value("Content-Type").starts_with("text/javascript"));
}

// The program makes what it sends on LoadStart while the browser boots the page: the
// page's own HTML starts the load, not its first question for scripts.
TEST_F(WebDialog, ScriptsRunInOrderEachServedOnceAndAReloadRunsThemAgain) {
  viewer->RunJavaScript("one()", __FILE__, __LINE__);  // the window is not even shown
  Show();
  viewer->RunJavaScript("two()", __FILE__, __LINE__);  // shown, the page not loaded
  PageClient page(port, token);
  std::vector<std::string> addresses = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.NextScriptAddresses();
  });
  ASSERT_TRUE(RunUntil([&] { return !recorder->loadStarts.empty(); }, 5s));
  EXPECT_EQ(recorder->loadStarts[0], viewer);
  ASSERT_EQ(addresses.size(), 2u);
  const std::regex kScript("^/" + token + "/__qor/script/[0-9a-f]{32}$");
  for (const std::string& a : addresses) EXPECT_TRUE(std::regex_match(a, kScript)) << a;
  auto once = page.Raw().Get(addresses[0]);
  ASSERT_EQ(Status(once), 200);
  EXPECT_EQ(once->body, "one()");
  EXPECT_TRUE(once->get_header_value("Content-Type").starts_with("text/javascript"));
  EXPECT_EQ(Status(page.Raw().Get(addresses[0])), 404);

  // The page waits for more while the program pushes.
  auto later = Async([&] { return page.RunScripts(2); });
  RunFor(100ms);
  viewer->RunJavaScript("three()", __FILE__, __LINE__);
  viewer->RunJavaScript("four()", __FILE__, __LINE__);
  ASSERT_TRUE(RunUntil([&] { return later.Ready(); }));
  EXPECT_EQ(later.get(), (std::vector<std::string>{"three()", "four()"}));

  // A reload voids what the previous load was handed and runs everything again.
  auto reload = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.RunScripts(4);
  });
  EXPECT_EQ(reload, (std::vector<std::string>{"one()", "two()", "three()", "four()"}));
  EXPECT_EQ(Status(page.Raw().Get(addresses[1])), 404);
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->loadStarts.size(), 1u);
  EXPECT_EQ(recorder->offHostThread, 0);
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
    page.LoadViewer(kViewerPath);
    return page.NextScriptAddresses();
  });
  ASSERT_EQ(addresses.size(), 2u);
  auto joined = page.Raw().Get(addresses[0]);
  ASSERT_EQ(Status(joined), 200);
  EXPECT_EQ(joined->body, "run('it\\'s \\\"q\\\" \\\\ \\u003c/script>\\u003c!-- \\u2028\\n');");
  EXPECT_EQ(viewer->GetScripts()[0], joined->body);

  auto fetching = page.Raw().Get(addresses[1]);
  ASSERT_EQ(Status(fetching), 200);
  EXPECT_LT(fetching->body.size(), 2048u);
  EXPECT_NE(fetching->body.find("Filter.init(__qorText); });"), std::string::npos);
  std::smatch match;
  const std::regex kText("'(/" + token + "/webapps/__qor_text/[0-9a-f]{32})'");
  ASSERT_TRUE(std::regex_search(fetching->body, match, kText)) << fetching->body;
  auto text = page.Raw().Get(match[1].str());
  ASSERT_EQ(Status(text), 200);
  EXPECT_TRUE(text->body == longText);
  EXPECT_TRUE(text->get_header_value("Content-Type").starts_with("text/plain"));
}

// Escapes wherever they fall in a body are the message reader's test; here, that the
// strings reach JSMessage whole and in order, from a body read in many chunks.
TEST_F(WebDialog, MessagesReachJSMessageWithTheirStringsOnTheHostThread) {
  Show();
  PageClient page(port, token);
  const std::string big(3u << 20, 'x');
  std::vector<int> statuses = OffHost([&] {
    std::vector<int> out;
    for (const std::string& body : std::vector<std::string>{
             "[]", "  [ \"on\\\"Ok\", \"\\u00e9\" ]  ", "[\"" + big + "\",\"\"]"})
      out.push_back(Status(page.Post("/__qor/message", body)));
    return out;
  });
  EXPECT_EQ(statuses, (std::vector<int>{204, 204, 204}));
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == 3; }));
  EXPECT_EQ(recorder->messages[0], std::vector<std::string>{});
  EXPECT_EQ(recorder->messages[1], (std::vector<std::string>{"on\"Ok", "\xC3\xA9"}));
  EXPECT_TRUE(recorder->messages[2] == (std::vector<std::string>{big, ""}));
  EXPECT_EQ(recorder->offHostThread, 0);
}

TEST_F(WebDialog, ConcurrentMessagesFromSeveralConnectionsAllArriveInTheirOrder) {
  Show();
  const std::string cookie = PageClient(port, token).Cookie();
  constexpr int kClients = 4, kEach = 40;
  std::vector<Background<int>> clients;
  for (int c = 0; c < kClients; ++c)
    clients.push_back(Async([&, c] {
      PageClient page(port, token, cookie);
      int ok = 0;
      for (int i = 0; i < kEach; ++i)
        ok += Status(page.Post("/__qor/message", "[\"c" + std::to_string(c) + "\",\"" +
                                                     std::to_string(i) + "\"]")) == 204;
      return ok;
    }));
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == kClients * kEach; }, 60s));
  for (auto& c : clients) EXPECT_EQ(c.get(), kEach);
  std::vector<int> next(kClients, 0);
  for (const auto& m : recorder->messages) {
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(std::stoi(m[1]), next[m[0][1] - '0']++) << m[0];
  }
  EXPECT_EQ(recorder->offHostThread, 0);
}

TEST_F(WebDialog, TheWindowPageFollowsTheDialogAndItsButtonsAndCloseRaiseItsEvents) {
  Show();
  PageClient page(port, token);
  JSON::JIStream state = ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }));
  EXPECT_EQ(state.ReadString("title").Str(), "Filter <import> & \"check\"");
  EXPECT_EQ(state.ReadRawString("buttons").Str(), "18");
  EXPECT_EQ(state.ReadRawString("visible").Str(), "true");
  EXPECT_EQ(state.ReadRawString("closed").Str(), "false");
  EXPECT_EQ(state.ReadObject("labels").ReadString("2").Str(), "OK");
  // A page waiting for news hears of the new title.
  const std::string version = state.ReadRawString("v").Str();
  auto waiting = Async([&] { return page.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  dialog->SetTitle(QORUnicodeString("Second title"));
  ASSERT_TRUE(RunUntil([&] { return waiting.Ready(); }));
  JSON::JIStream changed = ParseJson(waiting.get());
  EXPECT_EQ(changed.ReadString("title").Str(), "Second title");
  EXPECT_NE(changed.ReadRawString("v").Str(), version);

  std::vector<int> statuses = OffHost([&] {
    std::vector<int> out;
    for (const char* button : {"2", "16", "8", "3", "x"})
      out.push_back(Status(page.Post(std::string("/__qor/button/") + button)));
    return out;
  });
  EXPECT_EQ(statuses, (std::vector<int>{204, 204, 404, 404, 404}));  // 8 is not shown
  dialog->SetStandardButtons(QORVidFraDialog::kOkSaveCancel);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/8")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->accepted.size() == 2; }));
  EXPECT_EQ(recorder->accepted, (std::vector<int>{2, 8}));
  EXPECT_EQ(recorder->rejected, std::vector<int>{16});

  // Hidden, the page says so and clicks are refused; shown again in the same tab.
  dialog->SetVisibleFlag(0);
  JSON::JIStream hidden = ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }));
  EXPECT_EQ(hidden.ReadRawString("visible").Str(), "false");
  EXPECT_FALSE(hidden.ReadString("closedText").IsEmpty());
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/2")); }), 409);
  dialog->SetVisibleFlag(1);
  EXPECT_EQ(announced.size(), 1u);

  // Closing from the page raises Closed once, however often it is asked.
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/2")); }), 409);
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->closed, std::vector<QORBaseUnknown*>{dialog});
  EXPECT_EQ(recorder->accepted.size(), 2u);
  EXPECT_EQ(recorder->offHostThread, 0);
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
  EXPECT_TRUE(recorder->closed.empty());
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/leave?load=window00000002")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }, 5s));
  EXPECT_EQ(recorder->closed, std::vector<QORBaseUnknown*>{dialog});
}

TEST_F(WebDialog, DestroyingTheWindowReleasesItsWaitingPageAndForgetsItsToken) {
  Show();
  PageClient page(port, token);
  const std::string version =
      ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("v").Str();
  auto waiting = Async([&] { return page.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  viewer->RequestDelayedDestruction();
  dialog->RequestDelayedDestruction();
  viewer = nullptr;
  dialog = nullptr;
  QOREventLoop::Host().RunPending();
  ASSERT_TRUE(RunUntil([&] { return waiting.Ready(); }));
  EXPECT_EQ(ParseJson(waiting.get()).ReadRawString("closed").Str(), "true");
  EXPECT_EQ(Status(page.Get("/")), 404);
  EXPECT_EQ(Status(page.Post("/__qor/message", "[\"late\"]")), 404);
}

// Work the server accepted while the host thread was busy elsewhere is dropped when
// its widget goes before the host runs it.
TEST_F(WebDialog, WorkPostedForAWidgetAskedForDestructionIsDropped) {
  Show();
  PageClient page(port, token);
  EXPECT_EQ(Async([&] { return Status(page.Post("/__qor/message", "[\"late\"]")); }).get(), 204);
  viewer->RequestDelayedDestruction();
  viewer = nullptr;
  QOREventLoop::Host().RunPending();
  EXPECT_TRUE(recorder->messages.empty());
  EXPECT_EQ(Async([&] { return Status(page.Post("/__qor/button/2")); }).get(), 204);
  dialog->RequestDelayedDestruction();
  dialog = nullptr;
  QOREventLoop::Host().RunPending();
  QOREventLoop::Host().RunPending();
  EXPECT_TRUE(recorder->accepted.empty());
}

TEST_F(WebDialog, CatalogsAreServedAsJsonObjects) {
  setenv("QOR_CATALOG_PATH", DX_SOURCE_DIR "/catalogs", 1);
  Show();
  PageClient page(port, token);
  auto known = page.Get("/__qor/catalog/DataExchangeInputFiltering");
  unsetenv("QOR_CATALOG_PATH");
  ASSERT_EQ(Status(known), 200);
  EXPECT_EQ(known->body, QORMsgCatalog::CatalogAsJson("DataExchangeInputFiltering"));
  EXPECT_NE(known->body, "{}");
  EXPECT_EQ(page.Get("/__qor/catalog/NoSuchCatalog")->body, "{}");
  EXPECT_EQ(Status(page.Get("/__qor/catalog/a.json")), 404);
}

}  // namespace
