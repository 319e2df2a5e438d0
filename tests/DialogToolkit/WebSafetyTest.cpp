// The web backend's defences: each bad request is refused with its own 4xx, raises
// nothing, and leaves the dialog answering its own page.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "DialogToolkit/DialogTestSupport.h"

namespace {

class WebSafety : public WebDialog {
 protected:
  void SetUp() override {
    WebDialog::SetUp();
    Show();
    page = std::make_unique<PageClient>(port, token);
    // The tab that holds the session.
    ASSERT_EQ(OffHost([&] { return Status(page->Get("/__qor/state")); }), 200);
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }

  // The dialog still hears its own page, and heard nothing else before.
  void ExpectOnlyTheControlsArrive() {
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", "[\"mine\"]")); }), 204);
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/button/2")); }), 204);
    ASSERT_TRUE(RunUntil([&] { return !recorder->accepted.empty(); }));
    EXPECT_EQ(recorder->messages, std::vector<std::vector<std::string>>{{"mine"}});
    EXPECT_EQ(recorder->accepted, std::vector<int>{2});
    EXPECT_TRUE(recorder->rejected.empty());
    EXPECT_TRUE(recorder->closed.empty());
  }

  std::unique_ptr<PageClient> page;
};

// A request as the tab's own page makes it, with one thing changed: a header given
// an empty value is left out.
struct Case {
  std::string method, path;  // {t} is the page's token
  std::vector<std::pair<std::string, std::string>> changes;
  std::string body;
  int status;
};

TEST_F(WebSafety, EachRefusalPathAnswersItsStatusWithTheSecurityHeadersAndNothingElse) {
  QORDialogToolkit::SetMessageSizeLimit(64);
  const std::string p = std::to_string(port);
  std::string forged = page->Cookie();
  forged.back() = forged.back() == '0' ? '1' : '0';
  std::string wrong = token;
  wrong.back() = wrong.back() == '0' ? '1' : '0';
  const std::string other = "tab1111111111111111111111111111b";
  const std::vector<Case> cases = {
      {"GET", "/{t}/", {}, "", 200},
      {"GET", "/{t}" + kViewerRoute, {}, "", 200},
      {"GET", "/{t}/__qor/bridge.js", {}, "", 200},
      {"GET", "/{t}/__qor/state", {}, "", 200},
      {"GET", "/" + wrong + "/", {}, "", 404},
      {"GET", "/__qor/bridge.js", {}, "", 404},
      {"GET", "/{t}/", {{"Host", "localhost:" + p}}, "", 403},
      {"GET", "/{t}/", {{"Host", ""}}, "", 403},
      {"GET", "/{t}/", {{"Host", Host() + "\r\nHost: attacker.example"}}, "", 403},
      {"POST", "/{t}/__qor/message", {{"Origin", "http://localhost:" + p}}, "[\"x\"]", 403},
      {"POST", "/{t}/__qor/close", {{"Origin", ""}}, "", 403},
      {"GET", "/{t}/__qor/state", {{"Cookie", ""}}, "", 403},
      {"POST", "/{t}/__qor/button/2", {{"Cookie", forged}}, "", 403},
      {"GET", "/{t}/__qor/state", {{"X-Qor-Tab", other}}, "", 409},
      {"POST", "/{t}/__qor/message", {{"X-Qor-Tab", other}}, "[\"x\"]", 409},
      {"GET", "/{t}/__qor/state", {{"X-Qor-Tab", ""}}, "", 400},
      {"GET", "/{t}/__qor/state?v=x", {}, "", 400},
      {"POST", "/{t}/__qor/button/4", {}, "", 404},  // a button not shown
      {"POST", "/{t}/__qor/close", {{"Content-Length", "1x"}}, "", 400},
      {"POST", "/{t}/__qor/message", {}, "[\"" + std::string(100, 'x') + "\"]", 413},
      {"POST", "/{t}/__qor/message", {{"Content-Length", "300000000"}}, "[\"", 413},
      {"POST",
       "/{t}/__qor/message",
       {{"Content-Length", ""}, {"Transfer-Encoding", "chunked"}},
       "5\r\n[\"a\"]\r\n0\r\n\r\n",
       411},
      {"POST", "/{t}/__qor/message", {}, "[1]", 400},
      {"POST", "/{t}/__qor/button/2", {}, "[\"2\"]", 400},
      {"GET", "/{t}/webapps/DialogToolkitTests/%2e%2e/DialogToolkitTests/viewer.html", {}, "", 404},
      {"GET", "/{t}/__qor/window.html", {}, "", 404},
      {"PUT", "/{t}/__qor/message", {}, "[\"x\"]", 405},
      {"OPTIONS",
       "/{t}/__qor/message",
       {{"Origin", "http://attacker.example"}, {"Access-Control-Request-Method", "POST"}},
       "",
       405},
  };
  const std::string kSecurity[] = {
      "Content-Security-Policy: default-src 'self'; script-src 'self'; object-src 'none'; "
      "base-uri 'none'; frame-ancestors 'self'",
      "X-Content-Type-Options: nosniff", "Cache-Control: no-store", "Referrer-Policy: no-referrer"};
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> headers = {
        {"Host", Host()},
        {"Origin", page->Origin()},
        {"X-Qor-Tab", page->Tab()},
        {"Cookie", page->Cookie()},
        {"Accept-Encoding", "gzip, deflate, br"},  // over loopback compression only costs
        {"Content-Length", std::to_string(c.body.size())}};
    for (const auto& [name, value] : c.changes) {
      auto found = std::find_if(headers.begin(), headers.end(),
                                [&](const auto& h) { return h.first == name; });
      if (found == headers.end()) found = headers.insert(headers.end(), {name, value});
      found->second = value;
    }
    std::string path = c.path;
    if (path.starts_with("/{t}")) path = "/" + token + path.substr(4);
    std::string request = c.method + " " + path + " HTTP/1.1\r\n";
    for (const auto& [name, value] : headers)
      if (!value.empty()) request += name + ": " + value + "\r\n";
    request += "Connection: close\r\n\r\n" + c.body;
    const std::string what = c.method + " " + c.path + " " +
                             (c.changes.empty() ? "" : c.changes[0].first + c.changes[0].second);
    const std::string answer = OffHost([&] { return RawExchange(port, request); });
    ASSERT_TRUE(answer.starts_with("HTTP/1.1 ")) << what;
    EXPECT_EQ(std::atoi(answer.c_str() + 9), c.status) << what;
    const std::string head = answer.substr(0, answer.find("\r\n\r\n") + 2);
    for (const std::string& header : kSecurity) {
      const size_t at = head.find("\r\n" + header + "\r\n");
      EXPECT_NE(at, std::string::npos) << what << ": " << header;
      EXPECT_EQ(head.find("\r\n" + header.substr(0, header.find(':') + 1), at + 1),
                std::string::npos)
          << what << ": twice " << header;
    }
    EXPECT_EQ(head.find("\r\nAccess-Control-"), std::string::npos) << what;
    EXPECT_EQ(head.find("\r\nContent-Encoding:"), std::string::npos) << what;
  }
  ExpectOnlyTheControlsArrive();
}

TEST_F(WebSafety, TheAddressIsTradedForAStrictHttpOnlyCookieAtTheFirstLoad) {
  const std::string set = page->SetCookie();
  EXPECT_TRUE(set.starts_with(page->Cookie() + ";")) << set;
  for (const char* attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"})
    EXPECT_NE(set.find(attribute), std::string::npos) << set;
  EXPECT_GE(page->Cookie().size(), 64u) << "a value too short to guess";
  // Another browser with the address alone gets nothing, not even a cookie.
  auto stranger =
      OffHost([&] { return httplib::Client("127.0.0.1", port).Get("/" + token + "/"); });
  EXPECT_EQ(Status(stranger), 403);
  EXPECT_FALSE(stranger->has_header("Set-Cookie"));
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

// Sends a head one header line at a time until the server closes the connection or
// the time is up; how long the server kept it.
std::chrono::milliseconds Trickle(int port, const std::string& token) {
  const int fd = ConnectLoopback(port);
  const auto start = std::chrono::steady_clock::now();
  const std::string first = "GET /" + token + "/ HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  bool open = fd >= 0 && send(fd, first.data(), first.size(), MSG_NOSIGNAL) > 0;
  while (open && std::chrono::steady_clock::now() - start < 8s) {
    pollfd p{fd, POLLIN, 0};
    open = poll(&p, 1, 300) == 0 && send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL) > 0;
  }
  if (fd >= 0) close(fd);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

TEST_F(WebSafety, SlowOrEndlessHeadsAreCutOffAndHoldNoRealRequest) {
  // More trickling connections than there are workers.
  std::vector<std::future<std::chrono::milliseconds>> slow;
  for (int i = 0; i < 20; ++i)
    slow.push_back(std::async(std::launch::async, [&] { return Trickle(port, token); }));
  std::this_thread::sleep_for(200ms);  // let them take the workers first
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OffHost([&] { return Status(page->Get("/__qor/window.js")); }), 200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << "a request waited behind slow heads";
  for (auto& connection : slow) EXPECT_LT(connection.get(), 6000ms) << "an endless head was kept";

  // A head of 16 MB is refused long before its end.
  const int fd = ConnectLoopback(port);
  ASSERT_GE(fd, 0);
  const std::string head = "GET /" + token + "/ HTTP/1.1\r\nHost: " + Host() + "\r\n";
  const std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
  size_t sent = 0;
  auto sender = std::async(std::launch::async, [&] {
    if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) <= 0) return;
    for (ssize_t n = 0; sent < (size_t(16) << 20); sent += static_cast<size_t>(n))
      if ((n = send(fd, line.data(), line.size(), MSG_NOSIGNAL)) <= 0) return;
  });
  ASSERT_EQ(sender.wait_for(20s), std::future_status::ready);
  close(fd);
  EXPECT_LT(sent, size_t(16) << 20) << "the server read 16 MB of headers";
  ExpectOnlyTheControlsArrive();
}

}  // namespace
