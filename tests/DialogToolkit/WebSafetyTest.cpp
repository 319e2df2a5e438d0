// The web backend's defences: each bad request is refused with a 4xx, raises nothing,
// and leaves the dialog answering its own page.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "DialogToolkit/WebDialogFixture.h"

namespace {

class WebSafety : public WebDialog {
 protected:
  void SetUp() override {
    WebDialog::SetUp();
    Show();
    page = std::make_unique<PageClient>(port, token);
    // The tab that holds the session, with its viewer loaded.
    ASSERT_EQ(OffHost([&] { return Status(page->Get("/__qor/state")); }), 200);
  }

  // The dialog still hears its own page: a message and a click come through.
  void ExpectTheDialogStillAnswers() {
    const size_t messages = recorder->messages.size();
    const size_t accepted = recorder->accepted.size();
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", "[\"still here\"]")); }),
              204);
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/button/2")); }), 204);
    ASSERT_TRUE(RunUntil([&] {
      return recorder->messages.size() == messages + 1 && recorder->accepted.size() == accepted + 1;
    }));
    EXPECT_EQ(recorder->messages.back(), std::vector<std::string>{"still here"});
  }

  void ExpectNothingRaised() {
    RunFor(50ms);
    EXPECT_TRUE(recorder->messages.empty());
    EXPECT_TRUE(recorder->accepted.empty());
    EXPECT_TRUE(recorder->rejected.empty());
    EXPECT_TRUE(recorder->closed.empty());
  }

  std::string Request(const std::string& method, const std::string& path, const std::string& host,
                      const std::string& extra = "", const std::string& body = "") {
    return method + " " + path + " HTTP/1.1\r\n" + (host.empty() ? "" : "Host: " + host + "\r\n") +
           extra + "Connection: close\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }

  std::unique_ptr<PageClient> page;
};

TEST_F(WebSafety, WrongTokensAreNotFound) {
  std::string upper = token;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string changed = token;
  changed.back() = changed.back() == '0' ? '1' : '0';
  const std::vector<std::string> tokens = {std::string(32, '0'), changed, token.substr(0, 31),
                                           token + "0",
                                           upper == token ? std::string(32, 'f') : upper};
  for (const std::string& wrong : tokens) {
    PageClient stranger(port, wrong);
    EXPECT_EQ(Status(stranger.Get("/")), 404) << wrong;
    EXPECT_EQ(Status(stranger.Get("/__qor/bridge.js")), 404) << wrong;
    EXPECT_EQ(Status(stranger.Get(kViewerRoute)), 404) << wrong;
    EXPECT_EQ(Status(stranger.Post("/__qor/message", "[\"intruder\"]")), 404) << wrong;
    EXPECT_EQ(Status(stranger.Post("/__qor/button/2")), 404) << wrong;
  }
  httplib::Client bare("127.0.0.1", port);
  EXPECT_EQ(Status(bare.Get("/")), 404);
  EXPECT_EQ(Status(bare.Get("/__qor/bridge.js")), 404);
  EXPECT_EQ(Status(bare.Get("/webapps/DialogToolkitTests/viewer.html")), 404);
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, OnlyTheExactLoopbackHostHeaderIsServed) {
  const std::string p = std::to_string(port);
  for (const std::string& host :
       {"localhost:" + p, std::string("127.0.0.1"), std::string("127.0.0.1:1"),
        "attacker.example:" + p, "127.0.0.1:" + p + ".attacker.example", "[::1]:" + p,
        "127.0.0.1:" + p + "0"}) {
    EXPECT_EQ(RawStatus(RawExchange(port, Request("GET", "/" + token + "/", host))), 403) << host;
    EXPECT_EQ(RawStatus(RawExchange(
                  port, Request("POST", "/" + token + "/__qor/message", host,
                                "Origin: http://" + host + "\r\nX-Qor-Tab: " + page->Tab() + "\r\n",
                                "[\"rebound\"]"))),
              403)
        << host;
  }
  EXPECT_EQ(RawStatus(RawExchange(port, Request("GET", "/" + token + "/", ""))), 403);
  EXPECT_EQ(
      RawStatus(RawExchange(port, "GET /" + token + "/ HTTP/1.1\r\nHost: " + Host() +
                                      "\r\nHost: attacker.example\r\nConnection: close\r\n\r\n")),
      403);
  // The control: the same request with the right host is served.
  EXPECT_EQ(RawStatus(RawExchange(port, Request("GET", "/" + token + "/", Host(),
                                                "Cookie: " + page->Cookie() + "\r\n"))),
            200);
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, PostsFromAnotherOriginOrWithoutOneAreRefused) {
  const std::string p = std::to_string(port);
  for (const std::string& origin :
       {std::string("http://attacker.example"), std::string("null"), "http://localhost:" + p,
        "https://127.0.0.1:" + p, "http://127.0.0.1:" + p + "/", std::string("http://127.0.0.1")}) {
    httplib::Headers foreign{{"Origin", origin}};
    EXPECT_EQ(Status(page->Post("/__qor/message", "[\"forged\"]", foreign)), 403) << origin;
    EXPECT_EQ(Status(page->Post("/__qor/button/2", "", foreign)), 403) << origin;
    EXPECT_EQ(Status(page->Post("/__qor/close", "", foreign)), 403) << origin;
    EXPECT_EQ(Status(page->Get("/", foreign)), 403) << origin;
  }
  // No Origin at all on a POST.
  httplib::Headers tabOnly{{"X-Qor-Tab", page->Tab()}};
  EXPECT_EQ(Status(page->Raw().Post("/" + token + "/__qor/message", tabOnly, "[\"forged\"]",
                                    "application/json")),
            403);
  EXPECT_EQ(Status(page->Raw().Post("/" + token + "/__qor/close", tabOnly, "", "application/json")),
            403);
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, OversizedMessagesAreRefusedAndDropped) {
  QORDialogToolkit::SetMessageSizeLimit(64 * 1024);
  const std::string big = "[\"" + std::string(100 * 1024, 'x') + "\"]";
  EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", big)); }), 413);
  // A declared length over the cap is refused before any of the body is read.
  EXPECT_EQ(RawStatus(RawExchange(
                port, "POST /" + token + "/__qor/message HTTP/1.1\r\nHost: " + Host() +
                          "\r\nOrigin: http://" + Host() + "\r\nX-Qor-Tab: " + page->Tab() +
                          "\r\nCookie: " + page->Cookie() +
                          "\r\nContent-Length: 300000000\r\nConnection: close\r\n\r\n[\"")),
            413);
  // A body of undeclared length is not taken at all.
  httplib::Headers headers{{"X-Qor-Tab", page->Tab()}, {"Origin", page->Origin()}};
  auto chunked = page->Raw().Post(
      "/" + token + "/__qor/message", headers,
      [](size_t, httplib::DataSink& sink) {
        sink.write("[\"a\"]", 5);
        sink.done();
        return true;
      },
      "application/json");
  EXPECT_EQ(Status(chunked), 411);
  ExpectNothingRaised();

  const std::string fits = "[\"" + std::string(60 * 1024, 'y') + "\"]";
  EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", fits)); }), 204);
  ASSERT_TRUE(RunUntil([&] { return recorder->messages.size() == 1; }));
  EXPECT_EQ(recorder->messages[0][0].size(), 60u * 1024);
}

TEST_F(WebSafety, MalformedMessagesAreRefusedAndDropped) {
  const std::vector<std::string> bodies = {
      "",
      "{}",
      "\"text\"",
      "[1]",
      "[\"a\",2]",
      "[[\"a\"]]",
      "[null]",
      "[\"a\"",
      "[\"a\"] x",
      "[\"a\",]",
      "[\"\xff\"]",
      "[\"a\x01\"]",
      "[\"\\ud800\"]",
      "[\"a\"][\"b\"]",
      "[\"\\x41\"]",
      "[{\"a\":\"b\"}]",
      "[\"a\" \"b\"]",
      "nul",
  };
  for (const std::string& body : bodies)
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", body)); }), 400) << body;
  // Requests other than a message carry no body.
  EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/button/2", "[\"2\"]")); }), 400);
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, ASecondTabIsRefusedWhileTheFirstKeepsItsSession) {
  PageClient other(port, token, "tab1111111111111111111111111111b");
  OffHost([&] {
    auto state = other.Get("/__qor/state");
    EXPECT_EQ(Status(state), 409);
    if (state) {
      EXPECT_NE(state->body.find("another tab"), std::string::npos);
    }
    other.LoadViewer(kViewerPath);
    int status = 0;
    other.NextScriptAddresses(&status);
    EXPECT_EQ(status, 409);
    EXPECT_EQ(Status(other.Post("/__qor/message", "[\"other\"]")), 409);
    EXPECT_EQ(Status(other.Post("/__qor/button/2")), 409);
    EXPECT_EQ(Status(other.Post("/__qor/close")), 409);
    EXPECT_EQ(Status(other.Post("/__qor/leave?load=window00000001")), 409);
    return 0;
  });
  // A request that names no tab is no page session at all.
  EXPECT_EQ(Status(page->Raw().Get("/" + token + "/__qor/state")), 400);
  ExpectNothingRaised();

  // A reload of the first tab is still its session.
  viewer->RunJavaScript("mine()", __FILE__, __LINE__);
  std::vector<std::string> scripts = OffHost([&] {
    page->LoadViewer(kViewerPath);
    return page->RunScripts(1);
  });
  EXPECT_EQ(scripts, std::vector<std::string>{"mine()"});
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, PathsOutsideTheTableAreNotFound) {
  EXPECT_EQ(Status(page->Get("/webapps/DialogToolkitTests/viewer.html")), 200);  // the control
  for (const std::string path :
       {"/webapps/../__qor/bridge.js",
        "/webapps/DialogToolkitTests/../DialogToolkitTests/viewer.html",
        "/webapps/DialogToolkitTests/%2e%2e/DialogToolkitTests/viewer.html",
        "/webapps/DialogToolkitTests/./viewer.html", "/webapps/DialogToolkitTests//viewer.html",
        "/webapps/DialogToolkitTests/viewer.html/", "/webapps/DialogToolkitTests/VIEWER.html",
        "/webapps/DialogToolkitTests/", "/webapps/", "/webapps", "/__qor/window.html", "/__qor/",
        "/__qor/script/", "/__qor/script/00000000000000000000000000000000", "/etc/passwd",
        "/__qor/../webapps/DialogToolkitTests/viewer.html", "/%2fetc%2fpasswd"}) {
    EXPECT_EQ(Status(page->Get(path)), 404) << path;
  }
  ExpectNothingRaised();
}

TEST_F(WebSafety, MethodsOtherThanGetAndPostAreRefused) {
  httplib::Headers headers{{"X-Qor-Tab", page->Tab()}, {"Origin", page->Origin()}};
  EXPECT_EQ(Status(page->Raw().Put("/" + token + "/__qor/message", headers, "[\"x\"]",
                                   "application/json")),
            405);
  EXPECT_EQ(Status(page->Raw().Delete("/" + token + "/")), 405);
  httplib::Headers preflight{{"Origin", "http://attacker.example"},
                             {"Access-Control-Request-Method", "POST"}};
  auto options = page->Raw().Options("/" + token + "/__qor/message", preflight);
  ASSERT_TRUE(options);
  EXPECT_GE(options->status, 400);
  EXPECT_LT(options->status, 500);
  EXPECT_FALSE(options->has_header("Access-Control-Allow-Origin"));
  ExpectNothingRaised();
}

TEST_F(WebSafety, EveryAnswerCarriesTheSecurityHeadersAndNoCorsHeadersUncompressed) {
  viewer->RunJavaScript("pushed()", __FILE__, __LINE__);
  std::vector<std::string> scripts = OffHost([&] {
    page->LoadViewer(kViewerPath);
    return page->NextScriptAddresses();
  });
  ASSERT_EQ(scripts.size(), 1u);
  PageClient other(port, token, "tab1111111111111111111111111111b");
  httplib::Headers foreign{{"Origin", "http://attacker.example"}};
  QORDialogToolkit::SetMessageSizeLimit(16);
  struct Answer {
    const char* what;
    httplib::Result result;
  };
  std::vector<Answer> answers;
  auto add = [&](const char* what, httplib::Result result) {
    answers.push_back(Answer{what, std::move(result)});
  };
  // As a browser asks: over loopback compressed answers only cost time.
  const httplib::Headers compressed{{"Accept-Encoding", "gzip, deflate, br"}};
  add("window page", page->Get("/", compressed));
  add("viewer page", page->Get(kViewerRoute, compressed));
  add("bridge", page->Get("/__qor/bridge.js", compressed));
  add("pushed script", page->Raw().Get(scripts[0]));
  add("state", page->Get("/__qor/state?v=0", compressed));
  add("catalog", page->Get("/__qor/catalog/NoSuchCatalog", compressed));
  add("not found", page->Get("/webapps/none.html"));
  add("other tab", other.Get("/__qor/state"));
  add("foreign origin", page->Post("/__qor/message", "[\"x\"]", foreign));
  add("too large", page->Post("/__qor/message", "[\"0123456789abcdef\"]"));
  add("malformed", page->Post("/__qor/message", "[1]"));
  add("accepted", page->Post("/__qor/message", "[\"ok\"]"));
  const std::map<std::string, std::string> expected = {
      {"Content-Security-Policy",
       "default-src 'self'; script-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors "
       "'self'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Cache-Control", "no-store"},
      {"Referrer-Policy", "no-referrer"},
  };
  std::set<int> statuses;
  for (const auto& [what, answer] : answers) {
    ASSERT_TRUE(answer) << what;
    statuses.insert(answer->status);
    for (const auto& [name, value] : expected) {
      EXPECT_EQ(answer->get_header_value_count(name), 1u) << what << ": " << name;
      EXPECT_EQ(answer->get_header_value(name), value) << what << ": " << name;
    }
    for (const auto& [name, value] : answer->headers)
      EXPECT_FALSE(name.starts_with("Access-Control-")) << what << ": " << name;
    EXPECT_FALSE(answer->has_header("Content-Encoding")) << what;
  }
  EXPECT_EQ(statuses, (std::set<int>{200, 204, 400, 403, 404, 409, 413}));
}

TEST_F(WebSafety, AFloodOfBadRequestsLeavesTheDialogAnswering) {
  constexpr int kThreads = 4, kEach = 500;
  const std::string host = Host();
  const std::string tab = page->Tab();
  auto flood = [&, host, tab](int seed) {
    int refused = 0;
    PageClient stranger(port, std::string(32, 'a'));
    PageClient other(port, token, "tab1111111111111111111111111111b");
    PageClient mine(port, token, tab);
    for (int i = 0; i < kEach; ++i) {
      int status = -1;
      switch ((i + seed) % 5) {
        case 0:
          status = Status(stranger.Get("/"));
          break;
        case 1:
          status = RawStatus(RawExchange(
              port,
              "GET /" + token + "/ HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n"));
          break;
        case 2:
          status = Status(
              mine.Post("/__qor/message", "[\"x\"]", {{"Origin", "http://attacker.example"}}));
          break;
        case 3:
          status = Status(other.Post("/__qor/message", "[\"x\"]"));
          break;
        case 4:
          status = Status(mine.Post("/__qor/message", "[\"x\",1]"));
          break;
      }
      refused += status >= 400 && status < 500;
    }
    return refused;
  };
  std::vector<Background<int>> threads;
  for (int t = 0; t < kThreads; ++t) threads.push_back(Async([&flood, t] { return flood(t); }));
  ASSERT_TRUE(RunUntil(
      [&] {
        return std::all_of(threads.begin(), threads.end(), [](const Background<int>& f) {
          return f.wait_for(0s) == std::future_status::ready;
        });
      },
      120s));
  int refused = 0;
  for (auto& t : threads) refused += t.get();
  EXPECT_EQ(refused, kThreads * kEach);
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

// --- the address is traded for the browser's cookie at the first load

TEST_F(WebSafety, TheFirstLoadGivesAStrictHttpOnlyCookie) {
  const std::string set = page->SetCookie();
  EXPECT_TRUE(set.starts_with(page->Cookie() + ";")) << set;
  for (const char* attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"})
    EXPECT_NE(set.find(attribute), std::string::npos) << set;
  EXPECT_GE(page->Cookie().size(), 64u) << "a value too short to guess";
}

TEST_F(WebSafety, AnotherBrowserWithTheAddressGetsNothing) {
  const std::string name = page->Cookie().substr(0, page->Cookie().find('='));
  std::string forged = page->Cookie();
  forged.back() = forged.back() == '0' ? '1' : '0';
  // No cookie, a forged one, and the right name with an empty value.
  for (const std::string& cookie : {std::string(), forged, name + "="}) {
    SCOPED_TRACE(cookie);
    OffHost([&] {
      httplib::Client stranger("127.0.0.1", port);
      httplib::Headers headers = {{"X-Qor-Tab", "tab2222222222222222222222222222c"},
                                  {"Origin", "http://" + Host()}};
      if (!cookie.empty()) headers.emplace("Cookie", cookie);
      for (const std::string& path :
           {std::string("/"), std::string("/__qor/state"), std::string("/__qor/bridge.js"),
            kViewerRoute, std::string("/__qor/scripts?load=load00000001&after=0")}) {
        EXPECT_EQ(Status(stranger.Get("/" + token + path, headers)), 403) << path;
      }
      for (const char* path : {"/__qor/message", "/__qor/button/2", "/__qor/close",
                               "/__qor/leave?load=window00000001"}) {
        const std::string body = std::string(path) == "/__qor/message" ? "[\"intruder\"]" : "";
        EXPECT_EQ(Status(stranger.Post("/" + token + path, headers, body, "application/json")), 403)
            << path;
      }
      return 0;
    });
  }
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

// The browser is given a file only this user can read, which forwards to the address:
// its command line, which every local user can read, holds no address.
TEST_F(WebSafety, TheBrowserIsOpenedOnAPrivateFileThatForwards) {
  char folder[] = "/tmp/dialog-browser-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string seen = std::string(folder) + "/argument";
  QORDialogToolkit::SetBrowserCommand("sh -c 'printf %s \"$1\" > " + seen + "' browser");
  announced.clear();
  auto* second = new QORVidFraDialog(nullptr, "SecondDialog");
  second->SetVisibleFlag(1);
  ASSERT_EQ(announced.size(), 1u);
  std::string argument;
  ASSERT_TRUE(RunUntil([&] {
    std::ifstream in(seen);
    std::getline(in, argument);
    return !argument.empty();
  }));
  EXPECT_EQ(argument.find("127.0.0.1"), std::string::npos) << argument;
  ASSERT_TRUE(argument.starts_with("file:///")) << argument;
  const std::string file = argument.substr(7);
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_uid, geteuid());
  std::ifstream in(file);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(html.find("http-equiv=\"refresh\" content=\"0;url=" + announced[0] + "\""),
            std::string::npos)
      << html;
  second->RequestDelayedDestruction();
  QOREventLoop::Host().RunPending();
  std::filesystem::remove_all(folder);
}

// --- slow and endless heads are cut off; they never hold the server

// Sends a head one header line at a time, every interval, until the server closes the
// connection or the time is up; gives how long the server kept it.
std::chrono::milliseconds Trickle(int port, const std::string& token,
                                  std::chrono::milliseconds interval,
                                  std::chrono::milliseconds limit) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return std::chrono::milliseconds(-1);
  const auto start = std::chrono::steady_clock::now();
  const std::string first =
      "GET /" + token + "/ HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
  bool open = send(fd, first.data(), first.size(), MSG_NOSIGNAL) > 0;
  while (open && std::chrono::steady_clock::now() - start < limit) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(interval.count())) > 0) {
      open = false;  // an answer or the end: the head was cut off
    } else {
      open = send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL) > 0;
    }
  }
  close(fd);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

TEST_F(WebSafety, ATrickledHeadIsCutOffAndHoldsNoRealRequest) {
  // Twenty trickling connections, more than there are workers.
  std::vector<std::future<std::chrono::milliseconds>> slow;
  for (int i = 0; i < 20; ++i)
    slow.push_back(
        std::async(std::launch::async, [&] { return Trickle(port, token, 300ms, 8000ms); }));
  std::this_thread::sleep_for(200ms);  // let them take the workers first
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OffHost([&] { return Status(page->Get("/__qor/window.js")); }), 200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s)
      << "a real request waited behind slow heads";
  for (auto& connection : slow) {
    const auto kept = connection.get();
    EXPECT_GE(kept.count(), 0);
    EXPECT_LT(kept, 6000ms) << "a head that never ends was kept";
  }
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

TEST_F(WebSafety, AnEndlessHeadIsRefusedBeforeItIsRead) {
  const int fd = ConnectLoopback(port);
  ASSERT_GE(fd, 0);
  std::string head = "GET /" + token + "/ HTTP/1.1\r\nHost: " + Host() + "\r\n";
  const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
  size_t sent = 0;
  const size_t total = size_t(16) << 20;
  auto sender = std::async(std::launch::async, [&] {
    if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) <= 0) return;
    while (sent < total) {
      const ssize_t n = send(fd, line.data(), line.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  });
  ASSERT_EQ(sender.wait_for(20s), std::future_status::ready);
  close(fd);
  EXPECT_LT(sent, total) << "the server read 16 MB of headers";
  ExpectNothingRaised();
  ExpectTheDialogStillAnswers();
}

}  // namespace
