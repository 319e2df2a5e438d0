// The web backend's defences: each bad request is refused with its own 4xx, raises
// nothing, and leaves the dialog answering its own page.
#include <poll.h>

#include <map>

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

  // The dialog still hears its own page, and heard nothing else before.
  void ExpectOnlyTheControlsArrive() {
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/message", "[\"mine\"]")); }), 204);
    EXPECT_EQ(OffHost([&] { return Status(page->Post("/__qor/button/2")); }), 204);
    std::erase(recorder->log, "loadstart TestViewer");  // the viewer page was asked for
    ASSERT_TRUE(RunUntil([&] { return recorder->log.size() >= 2; }));
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"message [\"mine\"]", "accept 2"}));
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

// The address is traded for a strict, HttpOnly cookie at the first load; then each
// refusal path answers its status, with the security headers and nothing else.
TEST_F(WebSafety, TheCookieGuardsTheSessionAndEachRefusalAnswersItsStatusAndHeaders) {
  const std::string set = page->setCookie;
  EXPECT_TRUE(set.starts_with(page->cookie + ";")) << set;
  for (const char* attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"})
    EXPECT_NE(set.find(attribute), std::string::npos) << set;
  EXPECT_GE(page->cookie.size(), 64u) << "a value too short to guess";
  // Another browser with the address alone gets nothing, not even a cookie.
  auto stranger =
      OffHost([&] { return httplib::Client("127.0.0.1", port).Get("/" + token + "/"); });
  EXPECT_EQ(Status(stranger), 403);
  EXPECT_FALSE(stranger->has_header("Set-Cookie"));

  QORDialogToolkit::SetMessageSizeLimit(64);
  const std::string p = std::to_string(port);
  std::string forged = page->cookie;
  forged.back() = forged.back() == '0' ? '1' : '0';
  std::string wrong = token;
  wrong.back() = wrong.back() == '0' ? '1' : '0';
  const std::string other = "tab1111111111111111111111111111b";
  const std::vector<Case> cases = {
      {"GET", "/{t}/", {}, "", 200},
      {"GET", "/{t}/" + std::string(kViewerPath), {}, "", 200},
      {"GET", "/{t}/__qor/bridge.js", {}, "", 200},
      {"GET", "/{t}/__qor/icon.svg", {}, "", 200},  // the window's icon, allowed by its policy
      {"GET", "/{t}/__qor/state", {}, "", 200},
      {"GET", "/{t}/__qor/catalog/NoSuchCatalog", {}, "", 200},  // served as {}
      {"GET", "/{t}/__qor/catalog/a.json", {}, "", 404},
      {"GET", "/" + wrong + "/", {}, "", 404},
      {"GET", "/__qor/bridge.js", {}, "", 404},
      {"GET", "/{t}/", {{"Host", "localhost:" + p}}, "", 403},
      {"GET", "/{t}/", {{"Host", ""}}, "", 403},
      {"GET",
       "/{t}/",
       {{"Host", ("127.0.0.1:" + std::to_string(port)) + "\r\nHost: attacker.example"}},
       "",
       403},
      {"POST", "/{t}/__qor/message", {{"Origin", "http://localhost:" + p}}, "[\"x\"]", 403},
      {"POST", "/{t}/__qor/close", {{"Origin", ""}}, "", 403},
      {"POST", "/{t}/__qor/button/2", {{"Cookie", forged}}, "", 403},
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
    std::map<std::string, std::string> headers = {
        {"Host", ("127.0.0.1:" + std::to_string(port))},
        {"Origin", page->origin},
        {"X-Qor-Tab", page->tab},
        {"Cookie", page->cookie},
        {"Accept-Encoding", "gzip, deflate, br"},  // over loopback compression only costs
        {"Content-Length", std::to_string(c.body.size())}};
    for (const auto& [name, value] : c.changes) headers[name] = value;
    std::string request = c.method + " " + std::regex_replace(c.path, std::regex("\\{t\\}"), token);
    request += " HTTP/1.1\r\n";
    for (const auto& [name, value] : headers)
      if (!value.empty()) request += name + ": " + value + "\r\n";
    SCOPED_TRACE(request);
    const std::string answer =
        OffHost([&] { return RawExchange(port, request + "Connection: close\r\n\r\n" + c.body); });
    ASSERT_TRUE(answer.starts_with("HTTP/1.1 "));
    EXPECT_EQ(std::atoi(answer.c_str() + 9), c.status);
    const std::string head = answer.substr(0, answer.find("\r\n\r\n") + 2);
    for (const std::string& header : kSecurity) {
      const size_t at = head.find("\r\n" + header + "\r\n");
      EXPECT_NE(at, std::string::npos) << header;
      EXPECT_EQ(head.find("\r\n" + header.substr(0, header.find(':') + 1), at + 1),
                std::string::npos)
          << "twice " << header;
    }
    EXPECT_EQ(head.find("\r\nAccess-Control-"), std::string::npos);
    EXPECT_EQ(head.find("\r\nContent-Encoding:"), std::string::npos);
  }
  ExpectOnlyTheControlsArrive();
}

// Sends first, then next again and again (pausing between them), until the server
// closes the connection, 8 s pass or 16 MB went: how long that took, and how much went.
std::pair<std::chrono::milliseconds, size_t> SendHead(int port, std::string first,
                                                      const std::string& next, int pauseMs) {
  const int fd = ConnectLoopback(port);
  const auto start = std::chrono::steady_clock::now();
  size_t sent = 0;
  for (pollfd p{fd, POLLIN, 0};
       std::chrono::steady_clock::now() - start < 8s && sent < (size_t(16) << 20); first = next) {
    const ssize_t n = send(fd, first.data(), first.size(), MSG_NOSIGNAL);
    if (n <= 0 || poll(&p, 1, pauseMs) != 0) break;
    sent += static_cast<size_t>(n);
  }
  close(fd);
  return {std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start),
          sent};
}

TEST_F(WebSafety, SlowOrEndlessHeadsAreCutOffAndHoldNoRealRequest) {
  const std::string head =
      "GET /" + token + "/ HTTP/1.1\r\nHost: " + ("127.0.0.1:" + std::to_string(port)) + "\r\n";
  // More trickling connections than there are workers.
  std::vector<std::future<std::pair<std::chrono::milliseconds, size_t>>> slow;
  for (int i = 0; i < 20; ++i)
    slow.push_back(
        std::async(std::launch::async, [&] { return SendHead(port, head, "X: 1\r\n", 300); }));
  std::this_thread::sleep_for(200ms);  // let them take the workers first
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OffHost([&] { return Status(page->Get("/__qor/window.js")); }), 200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s) << "a request waited behind slow heads";
  for (auto& connection : slow)
    EXPECT_LT(connection.get().first, 6000ms) << "an endless head was kept";
  // A head of 16 MB is refused long before its end.
  EXPECT_LT(SendHead(port, head, "X-Filler: " + std::string(1000, 'a') + "\r\n", 0).second,
            size_t(16) << 20);
  ExpectOnlyTheControlsArrive();
}

}  // namespace
