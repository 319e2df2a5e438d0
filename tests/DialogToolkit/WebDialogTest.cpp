// The web backend seen from the page: a dialog with a web viewer is shown, and an
// HTTP client plays the browser tab (window page, viewer page, the bridge's script
// stream and messages). Every event must arrive on the host thread.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "DialogToolkit/WebDialogFixture.h"
#include "ObjectModelRuntime/QORMsgCatalog.h"

namespace {

using namespace std::chrono_literals;

// --- the pages

TEST_F(WebDialog, EachShownWindowGetsItsOwnLoopbackAddressWithAFreshToken) {
  EXPECT_EQ(dialog->GetAddress(), "");  // not shown yet
  Show();
  auto* other = new QORVidFraDialog(nullptr, "Other");
  other->SetVisibleFlag(1);
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_NE(announced[1], announced[0]);
  EXPECT_TRUE(announced[1].starts_with("http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(announced[1].find(token), std::string::npos);
  other->RequestDelayedDestruction();
  QOREventLoop::Host().RunPending();

  // Showing it again announces nothing new.
  dialog->SetVisibleFlag(1);
  EXPECT_EQ(announced.size(), 2u);
}

TEST_F(WebDialog, WindowPageShowsTheEscapedTitleAndFramesTheViewersHomePage) {
  Show();
  PageClient page(port, token);
  auto answer = page.Get("/");
  ASSERT_EQ(Status(answer), 200);
  EXPECT_TRUE(answer->get_header_value("Content-Type").starts_with("text/html"));
  const std::string& html = answer->body;
  EXPECT_NE(html.find("<title>Filter &lt;import&gt; &amp; &quot;check&quot;</title>"),
            std::string::npos);
  EXPECT_EQ(html.find("<import>"), std::string::npos);
  EXPECT_NE(html.find("src=\"/" + token + "/webapps/DialogToolkitTests/viewer.html\""),
            std::string::npos);
  EXPECT_NE(html.find("/" + token + "/__qor/window.js"), std::string::npos);
  EXPECT_NE(html.find("/" + token + "/__qor/window.css"), std::string::npos);
  EXPECT_EQ(html.find("{{"), std::string::npos);
  EXPECT_EQ(Status(page.Get("/__qor/window.js")), 200);
  EXPECT_EQ(Status(page.Get("/__qor/window.css")), 200);
}

TEST_F(WebDialog, ServedApplicationPagesGetTheBridgeFirstInTheirHead) {
  Show();
  PageClient page(port, token);
  std::string html = page.LoadViewer(kViewerPath);
  const std::string bridge = "<script src=\"/" + token + "/__qor/bridge.js\" data-language=\"";
  ASSERT_TRUE(html.starts_with("<!doctype html><html><head>" + bridge)) << html;
  EXPECT_NE(html.find("<meta charset=\"utf-8\"><title>viewer</title>"), std::string::npos);

  // A page without <head> still gets it, after the doctype.
  ASSERT_TRUE(QORWebAssets::Register("webapps/DialogToolkitTests/bare.html",
                                     "<!DOCTYPE html><p>x</p>", "text/html; charset=utf-8"));
  auto bare = page.Get("/webapps/DialogToolkitTests/bare.html");
  ASSERT_EQ(Status(bare), 200);
  EXPECT_TRUE(bare->body.starts_with("<!DOCTYPE html>" + bridge)) << bare->body;
  QORWebAssets::Unregister("webapps/DialogToolkitTests/bare.html");

  auto script = page.Get("/__qor/bridge.js");
  ASSERT_EQ(Status(script), 200);
  EXPECT_TRUE(script->get_header_value("Content-Type").starts_with("text/javascript"));
  EXPECT_NE(script->body.find("window.qor"), std::string::npos);
}

// --- scripts

TEST_F(WebDialog, ScriptsRunInTheOrderGivenAlsoThoseGivenBeforeThePageWasReady) {
  viewer->RunJavaScript("one()", __FILE__, __LINE__);  // the window is not even shown
  Show();
  viewer->RunJavaScript("two()", __FILE__, __LINE__);  // shown, the page not loaded
  PageClient page(port, token);
  auto first = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.RunScripts(2);
  });
  EXPECT_EQ(first, (std::vector<std::string>{"one()", "two()"}));

  // The page waits for more while the program pushes.
  auto later = Async([&] { return page.RunScripts(2); });
  RunFor(100ms);
  viewer->RunJavaScript("three()", __FILE__, __LINE__);
  viewer->RunJavaScript("four()", __FILE__, __LINE__);
  ASSERT_TRUE(RunUntil([&] { return later.wait_for(0s) == std::future_status::ready; }));
  EXPECT_EQ(later.get(), (std::vector<std::string>{"three()", "four()"}));
}

// The program makes what it sends on LoadStart while the browser boots the page: the
// page's own HTML starts the load, not its first question for scripts.
TEST_F(WebDialog, TheViewersPageRaisesLoadStartOnceAndAReloadRunsTheSameScriptsAgain) {
  Show();
  PageClient page(port, token);
  EXPECT_FALSE(OffHost([&] { return page.LoadViewer(kViewerPath); }).empty());
  ASSERT_TRUE(RunUntil([&] { return !recorder->loadStarts.empty(); }, 5s));
  EXPECT_EQ(recorder->loadStarts[0], viewer);
  // The bridge's first question finds the init script waiting.
  viewer->RunJavaScript("init()", __FILE__, __LINE__);
  EXPECT_EQ(OffHost([&] { return page.RunScripts(1); }), (std::vector<std::string>{"init()"}));
  viewer->RunJavaScript("more()", __FILE__, __LINE__);
  EXPECT_EQ(OffHost([&] { return page.RunScripts(1); }), (std::vector<std::string>{"more()"}));

  auto reload = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.RunScripts(2);
  });
  EXPECT_EQ(reload, (std::vector<std::string>{"init()", "more()"}));
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->loadStarts.size(), 1u);
  EXPECT_EQ(recorder->offHostThread, 0);
}

TEST_F(WebDialog, PushedScriptsAreServedOnceUnderUnguessableAddresses) {
  viewer->RunJavaScript("first()", __FILE__, __LINE__);
  viewer->RunJavaScript("second()", __FILE__, __LINE__);
  Show();
  PageClient page(port, token);
  std::vector<std::string> addresses = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.NextScriptAddresses();
  });
  ASSERT_EQ(addresses.size(), 2u);
  const std::regex kScript("^/" + token + "/__qor/script/[0-9a-f]{32}$");
  for (const std::string& a : addresses) EXPECT_TRUE(std::regex_match(a, kScript)) << a;
  EXPECT_NE(addresses[0], addresses[1]);

  auto once = page.Raw().Get(addresses[0]);
  ASSERT_EQ(Status(once), 200);
  EXPECT_EQ(once->body, "first()");
  EXPECT_TRUE(once->get_header_value("Content-Type").starts_with("text/javascript"));
  EXPECT_EQ(Status(page.Raw().Get(addresses[0])), 404);

  // A reload voids what the previous load was handed and gets new addresses.
  std::vector<std::string> again = OffHost([&] {
    page.LoadViewer(kViewerPath);
    return page.NextScriptAddresses();
  });
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(Status(page.Raw().Get(addresses[1])), 404);
  EXPECT_NE(again[0], addresses[0]);
  auto replay = page.Raw().Get(again[1]);
  ASSERT_EQ(Status(replay), 200);
  EXPECT_EQ(replay->body, "second()");
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
  EXPECT_EQ(viewer->GetScripts()[0],
            "run('it\\'s \\\"q\\\" \\\\ \\u003c/script>\\u003c!-- \\u2028\\n');");

  auto joined = page.Raw().Get(addresses[0]);
  ASSERT_EQ(Status(joined), 200);
  EXPECT_EQ(joined->body, viewer->GetScripts()[0]);

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

// --- messages

TEST_F(WebDialog, MessagesThePagePostsReachJSMessageWithTheirStringsOnTheHostThread) {
  Show();
  PageClient page(port, token);
  const std::vector<std::string> bodies = {
      R"(["onOkClick","{\"label\":\"a\\\\b\",\"n\":[1,2]}"])",
      "[\"\xC3\xA9t\\u00e9\",\"\",\"\\ud83d\\ude00 \\n\"]",
      "[]",
      "  [ \"onLoad\" ]  ",
  };
  std::vector<int> statuses = OffHost([&] {
    std::vector<int> out;
    for (const std::string& body : bodies) out.push_back(Status(page.Post("/__qor/message", body)));
    return out;
  });
  EXPECT_EQ(statuses, (std::vector<int>{204, 204, 204, 204}));
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == 4; }));
  EXPECT_EQ(recorder->messages[0],
            (std::vector<std::string>{"onOkClick", "{\"label\":\"a\\\\b\",\"n\":[1,2]}"}));
  EXPECT_EQ(recorder->messages[1],
            (std::vector<std::string>{"\xC3\xA9t\xC3\xA9", "", "\xF0\x9F\x98\x80 \n"}));
  EXPECT_EQ(recorder->messages[2], std::vector<std::string>{});
  EXPECT_EQ(recorder->messages[3], std::vector<std::string>{"onLoad"});
  EXPECT_EQ(recorder->offHostThread, 0);
}

TEST_F(WebDialog, AWholeDocumentArrivesIntact) {
  Show();
  PageClient page(port, token);
  // A document of some megabytes, sent as a JSON string, with escapes of every kind
  // that fall across the body's chunks somewhere.
  std::string document = "[";
  for (int i = 0; document.size() < (4u << 20); ++i)
    document += "{\"label\":\"Entity " + std::to_string(i) +
                " \xC3\xA9\xF0\x9F\x98\x80\\n\t/\",\"uid\":[\"" + std::to_string(i * 7919) +
                "\"]},";
  document.back() = ']';
  std::string escaped;
  for (size_t i = 0; i < document.size(); ++i) {
    const char c = document[i];
    if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c == '/') {
      escaped += "\\/";
    } else if (document.compare(i, 2, "\xC3\xA9") == 0) {
      escaped += "\\u00E9";
      ++i;
    } else if (document.compare(i, 4, "\xF0\x9F\x98\x80") == 0) {
      escaped += "\\ud83d\\ude00";
      i += 3;
    } else {
      escaped += c;
    }
  }
  const std::string body = "[\"onOkClick\",\"" + escaped + "\"]";
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/message", body)); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == 1; }));
  ASSERT_EQ(recorder->messages[0].size(), 2u);
  EXPECT_EQ(recorder->messages[0][0], "onOkClick");
  EXPECT_TRUE(recorder->messages[0][1] == document);
}

TEST_F(WebDialog, EscapesAreDecodedWhereverTheyFallInTheBody) {
  Show();
  PageClient page(port, token);
  // Every escape JSON has, and runs of backslashes, at every offset of a 16-byte block.
  const std::vector<std::string> pieces = {
      "\\\"",    "\\\\",           "\\/",          "\\n",      "\\t",        "\\b\\f\\r", "\\u00e9",
      "\\u20AC", "\\ud83d\\ude00", "\\\\\\\\\\\"", "\xC3\xA9", "\\\\\\u0041"};
  std::vector<std::string> literals;
  for (size_t offset = 0; offset < 48; ++offset) {
    std::string literal(offset, 'x');
    for (const std::string& piece : pieces) literal += piece + std::string(offset % 7, 'y');
    literals.push_back(literal);
  }
  std::string body = "[", object = "{";
  for (size_t i = 0; i < literals.size(); ++i) {
    body += (i ? ",\"" : "\"") + literals[i] + "\"";
    object += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":\"" + literals[i] + "\"";
  }
  body += "]";
  object += "}";
  // What an independent JSON reader makes of the same text.
  JSON::JIStream reference;
  ASSERT_TRUE(reference.Parse(object));
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/message", body)); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == 1; }));
  ASSERT_EQ(recorder->messages[0].size(), literals.size());
  for (size_t i = 0; i < literals.size(); ++i)
    EXPECT_EQ(recorder->messages[0][i],
              reference.ReadString(("k" + std::to_string(i)).c_str()).Str())
        << i;
}

TEST_F(WebDialog, ConcurrentMessagesFromSeveralConnectionsAllArriveInTheirOrder) {
  Show();
  constexpr int kClients = 4, kEach = 40;
  auto send = [&](int client) {
    PageClient page(port, token);
    int ok = 0;
    for (int i = 0; i < kEach; ++i)
      ok += Status(page.Post("/__qor/message", "[\"c" + std::to_string(client) + "\",\"" +
                                                   std::to_string(i) + "\"]")) == 204;
    return ok;
  };
  std::vector<Background<int>> clients;
  for (int c = 0; c < kClients; ++c) clients.push_back(Async([&send, c] { return send(c); }));
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == kClients * kEach; }, 60s));
  for (auto& c : clients) EXPECT_EQ(c.get(), kEach);
  std::vector<int> next(kClients, 0);
  for (const auto& m : recorder->messages) {
    ASSERT_EQ(m.size(), 2u);
    const int client = m[0][1] - '0';
    EXPECT_EQ(std::stoi(m[1]), next[client]++) << "client " << client;
  }
  EXPECT_EQ(recorder->offHostThread, 0);
}

// --- the window: buttons, state, closing

TEST_F(WebDialog, ButtonsClickedOnThePageRaiseTheDialogsButtonEvents) {
  Show();
  PageClient page(port, token);
  std::vector<int> statuses = OffHost([&] {
    return std::vector<int>{
        Status(page.Post("/__qor/button/2")), Status(page.Post("/__qor/button/16")),
        Status(page.Post("/__qor/button/8")),  // not shown
        Status(page.Post("/__qor/button/3")), Status(page.Post("/__qor/button/x"))};
  });
  EXPECT_EQ(statuses, (std::vector<int>{204, 204, 404, 404, 404}));
  ASSERT_TRUE(
      RunUntil([&] { return recorder->accepted.size() == 1 && recorder->rejected.size() == 1; }));
  EXPECT_EQ(recorder->accepted, std::vector<int>{2});
  EXPECT_EQ(recorder->rejected, std::vector<int>{16});

  dialog->SetStandardButtons(0x1A);  // OK, Save, Cancel
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/8")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->accepted.size() == 2; }));
  EXPECT_EQ(recorder->accepted[1], 8);
  EXPECT_EQ(recorder->offHostThread, 0);
}

TEST_F(WebDialog, TheWindowPageFollowsTitleButtonsAndVisibility) {
  Show();
  PageClient page(port, token);
  JSON::JIStream state = ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }));
  EXPECT_EQ(state.ReadString("title").Str(), "Filter <import> & \"check\"");
  EXPECT_EQ(state.ReadRawString("buttons").Str(), "18");
  EXPECT_EQ(state.ReadRawString("visible").Str(), "true");
  EXPECT_EQ(state.ReadRawString("closed").Str(), "false");
  EXPECT_EQ(state.ReadString("labels").Str(), "");  // an object, not a string
  EXPECT_EQ(state.ReadObject("labels").ReadString("2").Str(), "OK");

  // A page waiting for news hears of the new title.
  const std::string version = state.ReadRawString("v").Str();
  auto waiting = Async([&] { return page.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  dialog->SetTitle(QORUnicodeString("Second title"));
  ASSERT_TRUE(RunUntil([&] { return waiting.wait_for(0s) == std::future_status::ready; }));
  JSON::JIStream changed = ParseJson(waiting.get());
  EXPECT_EQ(changed.ReadString("title").Str(), "Second title");
  EXPECT_NE(changed.ReadRawString("v").Str(), version);

  // Hidden: the page says the dialog is closed and clicks are refused.
  dialog->SetVisibleFlag(0);
  JSON::JIStream hidden = ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }));
  EXPECT_EQ(hidden.ReadRawString("visible").Str(), "false");
  EXPECT_FALSE(hidden.ReadString("closedText").IsEmpty());
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/2")); }), 409);
  RunFor(50ms);
  EXPECT_TRUE(recorder->accepted.empty());

  dialog->SetVisibleFlag(1);
  EXPECT_EQ(ParseJson(OffHost([&] { return page.Get("/__qor/state?v=0"); }))
                .ReadRawString("visible")
                .Str(),
            "true");
  EXPECT_EQ(announced.size(), 1u);  // the same tab shows it again
}

TEST_F(WebDialog, ClosingFromThePageRaisesClosedOnceOnTheWindow) {
  Show();
  PageClient page(port, token);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }));
  EXPECT_EQ(recorder->closed[0], dialog);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/close")); }), 204);
  RunFor(50ms);
  EXPECT_EQ(recorder->closed.size(), 1u);
  EXPECT_EQ(
      ParseJson(OffHost([&] { return page.Get("/__qor/state"); })).ReadRawString("closed").Str(),
      "true");
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/button/2")); }), 409);
}

TEST_F(WebDialog, ATabThatLeavesAndDoesNotComeBackClosesTheWindowAfterTheGrace) {
  QORDialogToolkit::SetLeaveGrace(150ms);
  Show();
  PageClient page(port, token);
  EXPECT_EQ(OffHost([&] { return Status(page.Get("/__qor/state?load=window00000001")); }), 200);
  EXPECT_EQ(OffHost([&] { return Status(page.Post("/__qor/leave?load=window00000001")); }), 204);
  ASSERT_TRUE(RunUntil([&] { return !recorder->closed.empty(); }, 5s));
  EXPECT_EQ(recorder->closed.size(), 1u);
  EXPECT_EQ(recorder->closed[0], dialog);
}

TEST_F(WebDialog, AReloadOfTheWindowPageWithinTheGraceKeepsTheWindowOpen) {
  QORDialogToolkit::SetLeaveGrace(300ms);
  Show();
  PageClient page(port, token);
  OffHost([&] {
    page.Get("/__qor/state?load=window00000001");
    page.Post("/__qor/leave?load=window00000001");
    return page.Get("/__qor/state?load=window00000002");  // the reloaded page, same tab
  });
  RunFor(700ms);
  EXPECT_TRUE(recorder->closed.empty());
  // The old load's word arriving late changes nothing either.
  OffHost([&] { return page.Post("/__qor/leave?load=window00000001"); });
  RunFor(700ms);
  EXPECT_TRUE(recorder->closed.empty());
}

TEST_F(WebDialog, DestroyingTheWindowReleasesItsWaitingPageAndForgetsItsToken) {
  Show();
  PageClient page(port, token);
  JSON::JIStream state = ParseJson(OffHost([&] { return page.Get("/__qor/state"); }));
  const std::string version = state.ReadRawString("v").Str();
  auto waiting = Async([&] { return page.Get("/__qor/state?v=" + version); });
  RunFor(100ms);
  viewer->RequestDelayedDestruction();
  dialog->RequestDelayedDestruction();
  viewer = nullptr;
  dialog = nullptr;
  QOREventLoop::Host().RunPending();
  ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(ParseJson(waiting.get()).ReadRawString("closed").Str(), "true");
  EXPECT_EQ(Status(page.Get("/")), 404);
  EXPECT_EQ(Status(page.Post("/__qor/message", "[\"late\"]")), 404);
}

// Work the server accepted while the host thread was busy elsewhere is dropped when
// its widget goes before the host runs it; the window's own page goes on meanwhile.
TEST_F(WebDialog, WorkPostedForAWidgetAskedForDestructionIsDropped) {
  Show();
  PageClient page(port, token);
  auto posted = Async([&] {
    return std::vector<int>{Status(page.Post("/__qor/message", "[\"late\"]")),
                            Status(page.Post("/__qor/button/2"))};
  });
  EXPECT_EQ(posted.get(), (std::vector<int>{204, 204}));
  viewer->RequestDelayedDestruction();
  viewer = nullptr;
  QOREventLoop::Host().RunPending();
  EXPECT_TRUE(recorder->messages.empty());
  EXPECT_EQ(recorder->accepted, std::vector<int>{2});

  EXPECT_EQ(Async([&] { return Status(page.Post("/__qor/button/2")); }).get(), 204);
  dialog->RequestDelayedDestruction();
  dialog = nullptr;
  QOREventLoop::Host().RunPending();
  QOREventLoop::Host().RunPending();
  EXPECT_EQ(recorder->accepted.size(), 1u);
}

TEST_F(WebDialog, CatalogsAreServedAsJsonObjects) {
  setenv("QOR_CATALOG_PATH", DX_SOURCE_DIR "/catalogs", 1);
  Show();
  PageClient page(port, token);
  auto known = page.Get("/__qor/catalog/DataExchangeInputFiltering");
  ASSERT_EQ(Status(known), 200);
  EXPECT_EQ(known->get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(known->body, QORMsgCatalog::CatalogAsJson("DataExchangeInputFiltering"));
  EXPECT_NE(known->body, "{}");
  auto unknown = page.Get("/__qor/catalog/NoSuchCatalog");
  ASSERT_EQ(Status(unknown), 200);
  EXPECT_EQ(unknown->body, "{}");
  EXPECT_EQ(Status(page.Get("/__qor/catalog/..")), 404);
  EXPECT_EQ(Status(page.Get("/__qor/catalog/a.json")), 404);
  EXPECT_EQ(Status(page.Get("/__qor/catalog/")), 404);
  unsetenv("QOR_CATALOG_PATH");
}

}  // namespace
